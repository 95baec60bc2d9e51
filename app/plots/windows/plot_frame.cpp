#include "plot_frame.h"

#include "plot_print.h"
#include "plot_rules.h"

#include "app/core/gui/frm_analysis.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/accessibility.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/pathtext.h"
#include "platform/qtext.h"
#include "platform/taskbar.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace plots {
namespace {

using platform::Q;
using platform::S;

// The two captions of the options button; Alt+O works both.
const QString kShowOptions = QStringLiteral("Show &Options");
const QString kHideOptions = QStringLiteral("Hide &Options");

// A control with its code name. Its accessible name is what the user sees:
// a captioned control's own caption (read by the accessibility layer, so it
// follows caption changes such as "Show Options" / "Hide Options"), an
// unlabelled text box the caption beside it.
template <typename W>
W* Named(W* w, const char* name, const QString& beside = QString())
{
    w->setObjectName(name);
    if (!beside.isEmpty()) w->setAccessibleName(beside);
    return w;
}

} // namespace

void SampleSizeTexts(std::string* width, std::string* height)
{
    width->clear();
    height->clear();
    if (!gui::frmAnalysisExists()) return;
    gui::FrmAnalysis& a = gui::frmAnalysis();
    *width = S(a.txtSampleWidth->text());
    *height = S(a.txtSampleHeight->text());
}

void HidePlotWindow(QWidget* window)
{
    window->hide();
    platform::ShowTaskbar();
    if (gui::frmAnalysisExists()) {
        gui::FrmAnalysis& a = gui::frmAnalysis();
        if (a.isVisible()) {
            a.activateWindow();
            a.setFocus();
        }
    }
}

QSize PlotWindowMinimumSize() { return QSize(720, 480); }

PlotWindowBehaviour::PlotWindowBehaviour(QWidget* window, std::function<void()> close)
    : QObject(window), close_(std::move(close))
{
    window->installEventFilter(this);
    // The restored window: most of the screen, centred, its title bar on
    // screen; below the minimum size the chart's texts no longer fit.
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize minimum = PlotWindowMinimumSize().boundedTo(avail.size());
    window->setMinimumSize(minimum);
    const QSize normal = (QSizeF(avail.size()) * 0.8).toSize().expandedTo(minimum).boundedTo(avail.size());
    window->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, normal, avail));
}

bool PlotWindowBehaviour::eventFilter(QObject* watched, QEvent* event)
{
    auto* w = static_cast<QWidget*>(watched);
    if (event->type() == QEvent::Close) {
        // The close box runs the window's Close instead of unloading it.
        event->ignore();
        if (close_) close_();
        return true;
    }
    if (event->type() == QEvent::Show && !(w->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) {
        // Every showing opens maximised (set before the window is mapped, so
        // it never flashes at its restored size); a Restore afterwards is
        // left alone, so the window returns to its restored size and place.
        w->setWindowState(w->windowState() | Qt::WindowMaximized);
    }
    return false;
}

PlotFrame::PlotFrame(QWidget* window, PlotKind kind, charts::Chart3D* chart3d, charts::Chart2D* chart2d,
                     QWidget* chartWidget, std::function<void()> close)
    : QObject(window), window_(window), kind_(kind), chart3d_(chart3d), chart2d_(chart2d),
      chart_(chart3d ? static_cast<charts::ChartBase*>(chart3d) : chart2d)
{
    new PlotWindowBehaviour(window, close);
    auto* outer = new QHBoxLayout(window);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->addWidget(chartWidget, 1);
    auto* side = new QWidget(window);
    side->setFixedWidth(236);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(side);

    BuildButtons(side, sideLayout);
    fixedArea = new QWidget(side);
    fixedLayout = new QVBoxLayout(fixedArea);
    fixedLayout->setContentsMargins(0, 6, 0, 6);
    sideLayout->addWidget(fixedArea);
    panel = new QWidget(side);
    panel->setObjectName("OptionsPanel");
    panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    sideLayout->addWidget(panel);
    sideLayout->addStretch(1);
    BuildPanel();
    panel->hide();
    ShowDesignState();
    WireHandlers(std::move(close));
    connect(chart_, &charts::ChartBase::changed, this, [this] { NoteBuiltTitles(); });
    NoteBuiltTitles();
}

void PlotFrame::BuildButtons(QWidget* side, QVBoxLayout* sideLayout)
{
    const char* printName = kind_ == PlotKind::Contour    ? "cmdPrintCntr"
                            : kind_ == PlotKind::Surface  ? "cmdPrint3D"
                            : kind_ == PlotKind::Diagonal ? "cmdPrintDiag"
                                                          : "cmdPrintChord";
    const char* saveName = kind_ == PlotKind::Surface ? "cmdSave3DChart" : kind_ == PlotKind::Diagonal ? "cmdSave2DChart" : "cmdSave";
    auto* buttons = new QGridLayout;
    cmdPrint = Named(new QPushButton("&Print", side), printName);
    cmdSave = Named(new QPushButton("&Save", side), saveName);
    cmdClose = Named(new QPushButton("&Close", side), "cmdClose");
    cmdCustomize = Named(new QPushButton(kShowOptions, side), "cmdCustomize");
    for (QPushButton* b : {cmdPrint, cmdSave, cmdClose, cmdCustomize}) b->setAutoDefault(false);
    buttons->addWidget(cmdPrint, 0, 0);
    buttons->addWidget(cmdSave, 0, 1);
    buttons->addWidget(cmdClose, 1, 0);
    buttons->addWidget(cmdCustomize, 1, 1);
    sideLayout->addLayout(buttons);
}

void PlotFrame::BuildPanel()
{
    lblDisplay = Named(new QLabel("Display:", panel), "lblDisplay");
    panelLayout->addWidget(lblDisplay);
    auto row = [this](QCheckBox* c, QLineEdit* e) {
        auto* h = new QHBoxLayout;
        c->setFixedWidth(70);
        h->addWidget(c);
        h->addWidget(e, 1);
        panelLayout->addLayout(h);
    };
    chkHeader = Named(new QCheckBox("&Header", panel), "chkHeader");
    txtHeader = Named(new QLineEdit(panel), "txtHeader", "Header");
    row(chkHeader, txtHeader);
    chkFooter = Named(new QCheckBox("&Footer", panel), "chkFooter");
    txtFooter = Named(new QLineEdit(panel), "txtFooter", "Footer");
    row(chkFooter, txtFooter);
    auto* checks = new QGridLayout;
    int r = 0;
    if (kind_ != PlotKind::Chord) {
        chkLegend = Named(new QCheckBox("Show &Legend", panel), "chkLegend");
        checks->addWidget(chkLegend, r++, 0, 1, 2);
    }
    chkXLabel = Named(new QCheckBox("&X Label", panel), "chkXLabel");
    chkYLabel = Named(new QCheckBox("&Y Label", panel), "chkYLabel");
    chkXValues = Named(new QCheckBox("X &Values", panel), "chkXValues");
    chkYValues = Named(new QCheckBox("Y Val&ues", panel), "chkYValues");
    checks->addWidget(chkXLabel, r, 0);
    checks->addWidget(chkXValues, r++, 1);
    checks->addWidget(chkYLabel, r, 0);
    checks->addWidget(chkYValues, r++, 1);
    if (kind_ == PlotKind::Surface) {
        chkZLabel = Named(new QCheckBox("&Z Label", panel), "chkZLabel");
        checks->addWidget(chkZLabel, r++, 0);
    }
    panelLayout->addLayout(checks);
    auto sizeRow = [this](QLabel* l, QLineEdit* e) {
        l->setBuddy(e);
        auto* h = new QHBoxLayout;
        h->addWidget(l, 1);
        e->setFixedWidth(56);
        h->addWidget(e);
        panelLayout->addLayout(h);
    };
    lblLabelSize = Named(new QLabel("Ax&is Label Size", panel), "lblLabelSize");
    txtLabelSize = Named(new QLineEdit(panel), "txtLabelSize", "Axis Label Size");
    sizeRow(lblLabelSize, txtLabelSize);
    if (Is3D()) {
        lblTickSize = Named(new QLabel("&Axis Number Size", panel), "lblTickSize");
        txtTickSize = Named(new QLineEdit(panel), "txtTickSize", "Axis Number Size");
        sizeRow(lblTickSize, txtTickSize);
    }
}

void PlotFrame::ShowDesignState()
{
    // Everything shown, as the chart starts.
    for (QCheckBox* c : {chkHeader, chkFooter, chkLegend, chkXLabel, chkYLabel, chkZLabel, chkXValues, chkYValues})
        if (c) c->setChecked(true);
    txtLabelSize->setText(QString::number(TitleFontSize()));
    if (txtTickSize) txtTickSize->setText(QString::number(NumberFontSize()));
}

void PlotFrame::WireHandlers(std::function<void()> close)
{
    connect(chkHeader, &QCheckBox::toggled, this, [this] { chkHeader_Click(); });
    connect(chkFooter, &QCheckBox::toggled, this, [this] { chkFooter_Click(); });
    if (chkLegend) connect(chkLegend, &QCheckBox::toggled, this, [this] { chkLegend_Click(); });
    connect(chkXLabel, &QCheckBox::toggled, this, [this] { chkXLabel_Click(); });
    connect(chkYLabel, &QCheckBox::toggled, this, [this] { chkYLabel_Click(); });
    connect(chkXValues, &QCheckBox::toggled, this, [this] { chkXValues_Click(); });
    connect(chkYValues, &QCheckBox::toggled, this, [this] { chkYValues_Click(); });
    WireTextBox(txtHeader, [this] { txtHeader_Apply(); });
    WireTextBox(txtFooter, [this] { txtFooter_Apply(); });
    WireTextBox(txtLabelSize, [this] { txtLabelSize_Apply(); });
    if (txtTickSize) WireTextBox(txtTickSize, [this] { txtTickSize_Apply(); });
    connect(cmdCustomize, &QPushButton::clicked, this, [this] { cmdCustomize_Click(); });
    connect(cmdPrint, &QPushButton::clicked, this, [this] { cmdPrint_Click(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [close] {
        if (close) close();
    });
}

std::string PlotFrame::suffix() const
{
    switch (kind_) {
    case PlotKind::Contour: return "_ctr";
    case PlotKind::Surface: return "_3D";
    case PlotKind::Diagonal: return "_dia";
    case PlotKind::Chord: return "_crd";
    }
    return "";
}

void PlotFrame::WireTextBox(QLineEdit* box, std::function<void()> apply)
{
    boxes_.push_back({box, apply});
    box->installEventFilter(this);
    connect(box, &QLineEdit::returnPressed, this, [apply] { apply(); });
}

bool PlotFrame::eventFilter(QObject* watched, QEvent* event)
{
    for (auto& [box, apply] : boxes_) {
        if (watched != box) continue;
        if (event->type() == QEvent::FocusIn) {
            QLineEdit* b = box;
            QTimer::singleShot(0, b, [b] { b->selectAll(); });
        } else if (event->type() == QEvent::FocusOut) {
            apply();
        }
    }
    return false;
}

// ---------------------------------------------------------------- titles and legend

void PlotFrame::chkHeader_Click()
{
    const bool on = chkHeader->isChecked();
    txtHeader->setEnabled(on);
    chart_->setHeaderShown(on);
}

void PlotFrame::chkFooter_Click()
{
    const bool on = chkFooter->isChecked();
    txtFooter->setEnabled(on);
    chart_->setFooterShown(on);
}

void PlotFrame::chkLegend_Click() { chart_->setLegendShown(chkLegend->isChecked()); }

QString PlotFrame::XTitle() const
{
    std::string w, h;
    SampleSizeTexts(&w, &h);
    const std::string units = model::files.XYUnits;
    switch (kind_) {
    case PlotKind::Contour:
    case PlotKind::Surface:
        return Q(core::IsNumeric(w) && core::IsNumeric(h) ? "X (" + units + ")" : "X (pixels)");
    case PlotKind::Diagonal:
        return Q(core::IsNumeric(w) && core::IsNumeric(h) ? "Position Along Diagonal (" + units + ")"
                                                           : "Position Along Diagonal (pixels)");
    case PlotKind::Chord:
        // The chord is measured in sample units only when both sizes are given.
        return Q(core::IsNumeric(w) && core::IsNumeric(h) ? "Position Along Chord (" + units + ")"
                                                           : "Position Along Chord (pixels)");
    }
    return QString();
}

QString PlotFrame::YTitle() const
{
    if (kind_ == PlotKind::Diagonal || kind_ == PlotKind::Chord) return Q("Displacement (" + model::files.ZUnits + ")");
    std::string w, h;
    SampleSizeTexts(&w, &h);
    return Q(core::IsNumeric(w) && core::IsNumeric(h) ? "Y (" + model::files.XYUnits + ")" : "Y (pixels)");
}

void PlotFrame::SetAxisTitle(int axis, const QString& title)
{
    if (Is3D()) chart3d_->setAxisTitle(axis == 1 ? charts::Axis3D::X : charts::Axis3D::Y, title);
    else chart2d_->setAxisTitle(axis == 1 ? charts::Axis2D::X : charts::Axis2D::Y, title);
}

void PlotFrame::chkXLabel_Click() { SetAxisTitle(1, chkXLabel->isChecked() ? XTitle() : QString()); }
void PlotFrame::chkYLabel_Click() { SetAxisTitle(2, chkYLabel->isChecked() ? YTitle() : QString()); }

void PlotFrame::chkXValues_Click()
{
    const bool on = chkXValues->isChecked();
    if (Is3D()) chart3d_->setAxisAnnotation(charts::Axis3D::X, on ? 1 : 2);
    else chart2d_->setAxisAnnotation(charts::Axis2D::X, on ? 0 : 2);
}

void PlotFrame::chkYValues_Click()
{
    const bool on = chkYValues->isChecked();
    if (Is3D()) chart3d_->setAxisAnnotation(charts::Axis3D::Y, on ? 1 : 2);
    else chart2d_->setAxisAnnotation(charts::Axis2D::Y, on ? 0 : 2);
}

void PlotFrame::NoteBuiltTitles()
{
    // A text the frame did not write came from the builder (Calculate, a new
    // image): it is the automatic title from now on.
    for (auto [title, text] : {std::pair{&header_, chart_->headerText()}, std::pair{&footer_, chart_->footerText()}}) {
        if (text == title->seen) continue;
        title->automatic = text;
        title->seen = text;
    }
}

QString PlotFrame::TitleFor(const QLineEdit* box, Title& title)
{
    title.seen = box->text().isEmpty() ? title.automatic : box->text();
    return title.seen;
}

void PlotFrame::txtHeader_Apply() { chart_->setHeaderText(TitleFor(txtHeader, header_)); }
void PlotFrame::txtFooter_Apply() { chart_->setFooterText(TitleFor(txtFooter, footer_)); }

void PlotFrame::ApplyEmptiedTitles()
{
    if (txtHeader->text().isEmpty()) txtHeader_Apply();
    if (txtFooter->text().isEmpty()) txtFooter_Apply();
}

// ---------------------------------------------------------------- font sizes

int PlotFrame::TitleFontSize() const
{
    return Is3D() ? chart3d_->axisTitleFontSize(charts::Axis3D::X) : chart2d_->axisTitleFontSize(charts::Axis2D::X);
}

int PlotFrame::NumberFontSize() const { return Is3D() ? chart3d_->axisNumberFontSize(charts::Axis3D::X) : 0; }

void PlotFrame::txtLabelSize_Apply()
{
    const auto v = Is3D() ? SizeEntry(S(txtLabelSize->text()), 20, 200) : SizeEntry(S(txtLabelSize->text()), 8, 30);
    if (!v) {
        txtLabelSize->setText(QString::number(TitleFontSize()));
        return;
    }
    txtLabelSize->setText(QString::number(*v));
    // The title font of the first axis.
    if (Is3D()) chart3d_->setAxisTitleFontSize(charts::Axis3D::X, *v);
    else chart2d_->setAxisTitleFontSize(charts::Axis2D::X, *v);
}

void PlotFrame::txtTickSize_Apply()
{
    if (!txtTickSize || !Is3D()) return;
    const auto v = SizeEntry(S(txtTickSize->text()), 20, 200);
    if (!v) {
        txtTickSize->setText(QString::number(NumberFontSize()));
        return;
    }
    txtTickSize->setText(QString::number(*v));
    chart3d_->setIsBatched(true);
    for (auto a : {charts::Axis3D::X, charts::Axis3D::Y, charts::Axis3D::Z}) chart3d_->setAxisNumberFontSize(a, *v);
    chart3d_->setIsBatched(false);
}

// ---------------------------------------------------------------- commands

void PlotFrame::cmdCustomize_Click()
{
    const bool show = panel->isHidden();
    panel->setVisible(show);
    cmdCustomize->setText(show ? kHideOptions : kShowOptions);
}

void PlotFrame::cmdPrint_Click()
{
    ApplyEmptiedTitles();
    PrintWindow(window_);
}

void PlotFrame::cmdSave_Click()
{
    ApplyEmptiedTitles();
    auto& files = model::files;
    const std::string sfx = suffix();
    for (;;) {
        platform::FileDialogRequest req;
        req.kind = platform::FileDialogRequest::Save;
        req.filter = GraphSaveFilter(sfx);
        req.filterIndex = files.GraphFormatIndex == 2 ? 2 : 1;
        req.initialFolder = files.WorkingFolder;
        req.promptOverwrite = true;
        const platform::FileDialogResult res = platform::ShowFileDialog(req);
        if (!res.confirmed) return;
        files.OutputFileName = res.path;
        const int index = res.filterIndex == 2 ? 2 : 1;
        const auto target = GraphSaveTarget(res.path, index, sfx);
        if (!target) {
            model::ShowMsg(InvalidFileNameMessage(), 16, "Save Graph Error");
            continue;
        }
        if (*target != res.path && platform::FileExists(*target)) {
            // The dialog asked about the name typed, not about the name written.
            const int answer = model::ShowMsg(platform::FileNameOf(*target) + " already exists." + model::CR +
                                                  "Do you want to replace it?",
                                              36, "Save Graph");
            if (answer != platform::kAnsYes) continue;
        }
        const QString caption = cmdSave->text();
        cmdSave->setText("&Saving");
        QApplication::processEvents();
        QString why;
        const bool written =
            index == 1 ? chart_->exportBmp(platform::PathText(*target), &why)
                       : chart_->exportJpeg(platform::PathText(*target), 100, &why);
        cmdSave->setText(caption);
        if (!written) {
            // Nothing was written; a file of that name keeps what it held.
            model::ShowMsg(CannotSaveMessage(*target, S(why)), 16, "Save Graph Error");
            return;
        }
        files.WorkingFolder = FolderWithSeparator(*target);
        files.GraphFormatIndex = uint8_t(index);
        return;
    }
}

} // namespace plots
