#include "app/core/gui/frm_analysis.h"

#include "app/core/gui/analysis_commands.h"
#include "app/core/gui/frm_units.h"
#include "app/core/gui/named_controls.h"
#include "app/core/gui/settings_forms.h"
#include "app/core/gui/windows.h"
#include "app/core/grating.h"
#include "app/core/header.h"
#include "app/core/loader.h"
#include "app/core/reset.h"
#include "app/core/model/hold.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "app/core/settings.h"
#include "platform/commandguards.h"
#include "platform/guiservices.h"
#include "platform/dialogs.h"
#include "platform/qtext.h"
#include "platform/regular_file.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/picturebuffer.h"
#include "platform/wildcard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace gui {
namespace {

QPointer<FrmAnalysis> gInstance;

using platform::Q;
using platform::S;

// N(v) of the size question: a leading space stands for the sign of a
// non-negative number.
std::string SignedNumber(int v) { return (v >= 0 ? " " : "") + std::to_string(v); }

void MakeBold(QLabel* title)
{
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
}

// The commands that work on a calculated result.
void EnableResultCommands(FrmAnalysis& w, bool on)
{
    for (QPushButton* b : {w.cmdSaveData, w.cmd3DPlot, w.cmdContour, w.cmdDiagonal, w.cmdChordPlot, w.cmdParameters})
        b->setEnabled(on);
}

void InvalidFormat(const std::string& title)
{
    model::ShowMsg(platform::kMsgCannotOpenInvalidFormat, 16, title);
}

} // namespace

FrmAnalysis::FrmAnalysis(QWidget* parent) : QWidget(parent)
{
    setObjectName("frmAnalysis");
    setWindowTitle("Sorvanta Phase Image Display");
    exitProgram = [] { QCoreApplication::exit(0); };
    core::SetAnalysisWindow(this);
    platform::InstallCommandClickGuard();

    auto* outer = new QHBoxLayout(this);
    BuildPictureArea(*outer);
    QVBoxLayout& col = BuildSidePanel(*outer);
    QWidget& panel = *col.parentWidget();
    BuildProcessingGroup(panel, col);
    BuildPresentationGroup(panel, col);
    BuildWindowButtons(panel, col);
    FitPanelArea();
    EnableResultCommands(*this, false);

    WireOptionHandlers();
    WireCommands();
    WirePictureClicks();

    // While a batch job holds the shared model only the job's windows take
    // input (platform::HoldWindows), and the commands on the single image show
    // as unavailable; an image handed over meanwhile is loaded after.
    model::SetSingleImageHoldListener([w = QPointer<FrmAnalysis>(this)](bool held) {
        if (held) {
            if (w) platform::HoldUnavailable(*w->panel_, true);
            platform::HoldWindows(true);
            return;
        }
        platform::HoldWindows(false);
        if (!w) return;
        platform::HoldUnavailable(*w->panel_, false);
        if (!w->loadAfterHold_.empty())
            QTimer::singleShot(0, w, [w, file = std::exchange(w->loadAfterHold_, std::string())] {
                if (w) w->LoadPhaseImage(file);
            });
    });
}

// The phase image display, scrolled.
void FrmAnalysis::BuildPictureArea(QHBoxLayout& outer)
{
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("Picbuf1Area");
    scroll_->setAccessibleName("Phase Image");   // the first stop of the keyboard reads what it scrolls
    Picbuf1 = new platform::PictureBuffer;
    Picbuf1->setObjectName("Picbuf1");
    Picbuf1->setAccessibleName("Phase Image");
    Picbuf1->createBlank(640, 480, 0);
    scroll_->setWidget(Picbuf1);
    scroll_->setAlignment(Qt::AlignCenter);
    outer.addWidget(scroll_, 1);
}

// The panel of groups and commands beside the picture; returns its column.
// On a screen too low for the whole column (800 x 600) the panel scrolls, so
// the window still fits the work area and every command can be reached.
QVBoxLayout& FrmAnalysis::BuildSidePanel(QHBoxLayout& outer)
{
    auto* area = new QScrollArea(this);
    area->setObjectName("panelArea");
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus);   // the panel's controls take the keyboard
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidgetResizable(true);
    auto* panel = new QWidget(area);
    panel->setObjectName("panel");
    panel_ = panel;
    panel->setMaximumWidth(360);
    auto* col = new QVBoxLayout(panel);
    col->setContentsMargins(4, 2, 4, 2);
    col->setSpacing(3);
    area->setWidget(panel);
    outer.addWidget(area);
    return *col;
}

// The panel area is as wide as the panel needs, with room for its scroll bar.
void FrmAnalysis::FitPanelArea()
{
    auto* area = qobject_cast<QScrollArea*>(panel_->parentWidget()->parentWidget());
    if (!area) return;
    const int bar = area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, area);
    area->setFixedWidth(std::min(360, panel_->minimumSizeHint().width()) + bar);
}

// "Processing": loading, options, sample size, figures and the commands on a result.
void FrmAnalysis::BuildProcessingGroup(QWidget& panel, QVBoxLayout& col)
{
    lblTitle1 = Make<QLabel>(&panel, "lblTitle1", "Processing");
    MakeBold(lblTitle1);
    col.addWidget(lblTitle1);
    auto* proc = new QGroupBox(&panel);
    proc->setObjectName("fraProcessing");
    auto* pg = new QGridLayout(proc);
    pg->setVerticalSpacing(2);
    pg->setContentsMargins(6, 4, 6, 4);
    int r = 0;
    AddImageRows(*proc, *pg, r);
    AddOptionRows(*proc, *pg, r);
    AddSampleSizeRows(*proc, *pg, r);
    AddFigureRows(*proc, *pg, r);
    TieBoxCaptions();
    AddResultCommandRows(*proc, *pg, r);
    col.addWidget(proc);
}

// The image loaders, the image and reference names and the fringe value.
void FrmAnalysis::AddImageRows(QGroupBox& proc, QGridLayout& pg, int& r)
{
    cmdLoadFile = Make<QPushButton>(&proc, "cmdLoadFile", "&Load Phase Image");
    cmdAutoLoadImagePH = Make<QPushButton>(&proc, "cmdAutoLoadImagePH", "Load &Image_ph.bmp");
    cmdAutoLoadImagePH->setVisible(false);
    pg.addWidget(cmdLoadFile, r, 0);
    pg.addWidget(cmdAutoLoadImagePH, r++, 1);
    lblImageName = Make<QLabel>(&proc, "lblImageName", "Image: None");
    pg.addWidget(lblImageName, r++, 0, 1, 2);
    lblReference = Make<QLabel>(&proc, "lblReference", "Reference: None");
    pg.addWidget(lblReference, r++, 0, 1, 2);
    chkFringeValuetxt = Make<QCheckBox>(&proc, "chkFringeValuetxt", "&Use FringeValue.txt");
    pg.addWidget(chkFringeValuetxt, r++, 0, 1, 2);
    lblFringeValueLabel = Make<QLabel>(&proc, "lblFringeValueLabel", "TIF Fringe Value:");
    lblFringeValue = Make<QLabel>(&proc, "lblFringeValue", "None");
    pg.addWidget(lblFringeValueLabel, r, 0);
    pg.addWidget(lblFringeValue, r++, 1);
}

// Grating, rotation, the processing options and the domain choice.
void FrmAnalysis::AddOptionRows(QGroupBox& proc, QGridLayout& pg, int& r)
{
    lblGrating = Make<QLabel>(&proc, "lblGrating", "&Grating (lpi)");
    cmbGrating = MakeCombo(&proc, "cmbGrating", GratingItems(), "Grating (lpi)");
    pg.addWidget(lblGrating, r, 0);
    pg.addWidget(cmbGrating, r++, 1);
    lblRotation = Make<QLabel>(&proc, "lblRotation", "Rotation");
    cmbRotation = MakeCombo(&proc, "cmbRotation", RotationItems(), "Rotation");
    pg.addWidget(lblRotation, r, 0);
    pg.addWidget(cmbRotation, r++, 1);
    chkExclude128 = Make<QCheckBox>(&proc, "chkExclude128", "Exclude &128");
    chkPhaseFilter = Make<QCheckBox>(&proc, "chkPhaseFilter", "Phase &Filter");
    pg.addWidget(chkExclude128, r, 0);
    pg.addWidget(chkPhaseFilter, r++, 1);
    chkCompensate = Make<QCheckBox>(&proc, "chkCompensate", "Compe&nsate");
    pg.addWidget(chkCompensate, r++, 0);
    chkReference = Make<QCheckBox>(&proc, "chkReference", "&Set as Reference");
    chkRelative = Make<QCheckBox>(&proc, "chkRelative", "Calculate R&elative");
    pg.addWidget(chkReference, r, 0);
    pg.addWidget(chkRelative, r++, 1);
    lblAnalyze = Make<QLabel>(&proc, "lblAnalyze", "Domain Select");
    cmbDomain = MakeCombo(&proc, "cmbDomain", {}, "Domain Select");
    pg.addWidget(lblAnalyze, r, 0);
    pg.addWidget(cmbDomain, r++, 1);
    lblAnalyze->setVisible(false);   // shown while a partition is in memory
    cmbDomain->setVisible(false);
}

// The sample width and height boxes.
void FrmAnalysis::AddSampleSizeRows(QGroupBox& proc, QGridLayout& pg, int& r)
{
    lblLateralDimensions = Make<QLabel>(&proc, "lblLateralDimensions", "X/Y Dimensions");
    pg.addWidget(lblLateralDimensions, r++, 0, 1, 2);
    lblSampleWidth = Make<QLabel>(&proc, "lblSampleWidth", "&Width (X)");
    txtSampleWidth = MakeEdit(&proc, "txtSampleWidth", "Width (X)");
    pg.addWidget(lblSampleWidth, r, 0);
    pg.addWidget(txtSampleWidth, r++, 1);
    lblSampleHeight = Make<QLabel>(&proc, "lblSampleHeight", "Height (&Y)");
    txtSampleHeight = MakeEdit(&proc, "txtSampleHeight", "Height (Y)");
    pg.addWidget(lblSampleHeight, r, 0);
    pg.addWidget(txtSampleHeight, r++, 1);
}

// Calculate Displacement and the figures it shows.
void FrmAnalysis::AddFigureRows(QGroupBox& proc, QGridLayout& pg, int& r)
{
    cmdUnwrap = Make<QPushButton>(&proc, "cmdUnwrap", "&Calculate Displacement");
    pg.addWidget(cmdUnwrap, r++, 0, 1, 2);
    lblMaxZ = Make<QLabel>(&proc, "lblMaxZ", "Max Z");
    lblMaxZValue = Make<QLabel>(&proc, "lblMaxZValue", "");
    pg.addWidget(lblMaxZ, r, 0);
    pg.addWidget(lblMaxZValue, r++, 1);
    lblMinZ = Make<QLabel>(&proc, "lblMinZ", "Min Z");
    lblMinZValue = Make<QLabel>(&proc, "lblMinZValue", "");
    pg.addWidget(lblMinZ, r, 0);
    pg.addWidget(lblMinZValue, r++, 1);
    lblCoplanarity = Make<QLabel>(&proc, "lblCoplanarity", "Coplanarity");
    lblCoplanarityData = Make<QLabel>(&proc, "lblCoplanarityData", "");
    pg.addWidget(lblCoplanarity, r, 0);
    pg.addWidget(lblCoplanarityData, r++, 1);
    lblZUnits = Make<QLabel>(&proc, "lblZUnits", "(Z Units)");
    {
        // Its row keeps its height while the units are hidden: the panel
        // does not move when a result shows them.
        QSizePolicy keep = lblZUnits->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        lblZUnits->setSizePolicy(keep);
    }
    lblZUnits->setVisible(false);
    pg.addWidget(lblZUnits, r++, 1);
    // The value labels carry no name of their own: assistive technology reads
    // the figure they show.
    for (QLabel* l : {lblMaxZValue, lblMinZValue, lblCoplanarityData}) {
        QFont f = l->font();
        f.setBold(true);
        f.setPointSizeF(f.pointSizeF() * 1.2);
        l->setFont(f);
        // As tall empty as with a figure, so the rows below never move.
        l->setText("0");
        l->setMinimumHeight(l->sizeHint().height());
        l->setText("");
    }
}

// The captions beside the boxes.
void FrmAnalysis::TieBoxCaptions()
{
    // Each caption labels its box, so assistive technology reads "Width (X)"
    // with the box. The figures are tied to theirs while they show one.
    const std::pair<QLabel*, QWidget*> captions[] = {
        {lblFringeValueLabel, lblFringeValue}, {lblGrating, cmbGrating},         {lblRotation, cmbRotation},
        {lblAnalyze, cmbDomain},               {lblSampleWidth, txtSampleWidth}, {lblSampleHeight, txtSampleHeight}};
    for (const auto& [caption, value] : captions) caption->setBuddy(value);
}

// The commands on a result and the editor commands.
void FrmAnalysis::AddResultCommandRows(QGroupBox& proc, QGridLayout& pg, int& r)
{
    cmdParameters = Make<QPushButton>(&proc, "cmdParameters", "Calculate &Parameters");
    cmdSaveData = Make<QPushButton>(&proc, "cmdSaveData", "S&ave Data File");
    pg.addWidget(cmdParameters, r, 0);
    pg.addWidget(cmdSaveData, r++, 1);
    cmdCrop = Make<QPushButton>(&proc, "cmdCrop", "C&rop...");
    cmdMask = Make<QPushButton>(&proc, "cmdMask", "&Mask...");
    cmdCrop->setVisible(false);
    cmdMask->setVisible(false);
    pg.addWidget(cmdCrop, r, 0);
    pg.addWidget(cmdMask, r++, 1);
}

// "Presentation": the Z range boxes and the plot, batch and browser commands.
void FrmAnalysis::BuildPresentationGroup(QWidget& panel, QVBoxLayout& col)
{
    lblTitle2 = Make<QLabel>(&panel, "lblTitle2", "Presentation");
    MakeBold(lblTitle2);
    col.addWidget(lblTitle2);
    auto* pres = new QGroupBox(&panel);
    pres->setObjectName("fraPresentation");
    auto* rg = new QGridLayout(pres);
    rg->setVerticalSpacing(2);
    rg->setContentsMargins(6, 4, 6, 4);
    int r = 0;
    lblZmax = Make<QLabel>(pres, "lblZmax", "&Z Max");
    txtZmax = MakeEdit(pres, "txtZmax", "Z Max");
    rg->addWidget(lblZmax, r, 0);
    rg->addWidget(txtZmax, r++, 1);
    lblZmin = Make<QLabel>(pres, "lblZmin", "Z Min");
    txtZmin = MakeEdit(pres, "txtZmin", "Z Min");
    rg->addWidget(lblZmin, r, 0);
    rg->addWidget(txtZmin, r++, 1);
    lblZmax->setBuddy(txtZmax);
    lblZmin->setBuddy(txtZmin);
    cmd3DPlot = Make<QPushButton>(pres, "cmd3DPlot", "&3D Surface Plot");
    cmdContour = Make<QPushButton>(pres, "cmdContour", "3D Con&tour Plot");
    rg->addWidget(cmd3DPlot, r, 0);
    rg->addWidget(cmdContour, r++, 1);
    cmdDiagonal = Make<QPushButton>(pres, "cmdDiagonal", "&Diagonal Plot");
    cmdChordPlot = Make<QPushButton>(pres, "cmdChordPlot", "Ch&ord Plot");
    rg->addWidget(cmdDiagonal, r, 0);
    rg->addWidget(cmdChordPlot, r++, 1);
    cmdBatchProcess = Make<QPushButton>(pres, "cmdBatchProcess", "&Batch Process...");
    cmdViewThumbnails = Make<QPushButton>(pres, "cmdViewThumbnails", "&View Thumbnails");
    rg->addWidget(cmdBatchProcess, r, 0);
    rg->addWidget(cmdViewThumbnails, r++, 1);
    col.addWidget(pres);
}

// Hide and Exit Program at the foot of the panel.
void FrmAnalysis::BuildWindowButtons(QWidget& panel, QVBoxLayout& col)
{
    col.addStretch(1);
    auto* bottom = new QHBoxLayout;
    cmdClose = Make<QPushButton>(&panel, "cmdClose", "&Hide");
    cmdExit = Make<QPushButton>(&panel, "cmdExit", "E&xit Program");
    bottom->addWidget(cmdClose);
    bottom->addWidget(cmdExit);
    col.addLayout(bottom);
}

// Option handlers: a change made by code runs them as a click would.
void FrmAnalysis::WireOptionHandlers()
{
    connect(chkFringeValuetxt, &QCheckBox::stateChanged, this, [this] { chkFringeValuetxt_Click(); });
    connect(chkExclude128, &QCheckBox::stateChanged, this, [this] { chkExclude128_Click(); });
    connect(chkPhaseFilter, &QCheckBox::stateChanged, this, [this] { chkPhaseFilter_Click(); });
    connect(chkCompensate, &QCheckBox::stateChanged, this, [this] { chkCompensate_Click(); });
    connect(chkReference, &QCheckBox::stateChanged, this, [this] { chkReference_Click(); });
    connect(chkRelative, &QCheckBox::stateChanged, this, [this] { chkRelative_Click(); });
    connect(cmbGrating, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { cmbGrating_Click(); });
    connect(cmbRotation, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { cmbRotation_Click(); });
    connect(cmbDomain, qOverload<int>(&QComboBox::activated), this, [this] { cmbDomain_Click(); });
    connect(txtSampleWidth, &QLineEdit::textChanged, this, [this] { SampleBoxChanged(txtSampleWidth); });
    connect(txtSampleHeight, &QLineEdit::textChanged, this, [this] { SampleBoxChanged(txtSampleHeight); });
    connect(txtZmax, &QLineEdit::textChanged, this, [this] { ZBoxChanged(); });
    connect(txtZmin, &QLineEdit::textChanged, this, [this] { ZBoxChanged(); });
    for (QLineEdit* e : {txtSampleWidth, txtSampleHeight, txtZmax, txtZmin}) e->installEventFilter(this);
}

// The command buttons.
void FrmAnalysis::WireCommands()
{
    connect(cmdLoadFile, &QPushButton::clicked, this, [this] { cmdLoadFile_Click(); });
    connect(cmdAutoLoadImagePH, &QPushButton::clicked, this, [this] { cmdAutoLoadImagePH_Click(); });
    connect(cmdUnwrap, &QPushButton::clicked, this, [this] { cmdUnwrap_Click(); });
    connect(cmdParameters, &QPushButton::clicked, this, [this] { cmdParameters_Click(); });
    connect(cmdSaveData, &QPushButton::clicked, this, [this] { cmdSaveData_Click(); });
    connect(cmd3DPlot, &QPushButton::clicked, this, [this] { cmd3DPlot_Click(); });
    connect(cmdContour, &QPushButton::clicked, this, [this] { cmdContour_Click(); });
    connect(cmdDiagonal, &QPushButton::clicked, this, [this] { cmdDiagonal_Click(); });
    connect(cmdChordPlot, &QPushButton::clicked, this, [this] { cmdChordPlot_Click(); });
    connect(cmdBatchProcess, &QPushButton::clicked, this, [this] { cmdBatchProcess_Click(); });
    connect(cmdCrop, &QPushButton::clicked, this, [this] { cmdCrop_Click(); });
    connect(cmdMask, &QPushButton::clicked, this, [this] { cmdMask_Click(); });
    connect(cmdViewThumbnails, &QPushButton::clicked, this, [this] { cmdViewThumbnails_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });
}

// A click refreshes an 8-bit picture; a right click shows the image header.
void FrmAnalysis::WirePictureClicks()
{
    connect(Picbuf1, &platform::PictureBuffer::clicked, this, [this] {
        if (model::files.DisplayBitsPerPixel == 8) Picbuf1->refresh();
    });
    connect(Picbuf1, &platform::PictureBuffer::mouseDown, this, [this](int button, int shift, double, double) {
        if (button == 2 && shift == 0) ShowHeaderMenu();
    });
}

FrmAnalysis::~FrmAnalysis()
{
    if (core::CurrentAnalysisWindow() == this) core::SetAnalysisWindow(nullptr);
}

// ---------------------------------------------------------------- options

void FrmAnalysis::chkFringeValuetxt_Click()
{
    core::ResetAnalysisState();
    if (chkFringeValuetxt->isChecked()) {
        lblGrating->setEnabled(true);
        cmbGrating->setEnabled(true);
        lblFringeValue->setEnabled(false);
        lblFringeValueLabel->setEnabled(false);
    } else {
        lblGrating->setEnabled(false);
        if (!chkCompensate->isChecked()) cmbGrating->setEnabled(false);
        lblFringeValue->setEnabled(true);
        lblFringeValueLabel->setEnabled(true);
    }
}

void FrmAnalysis::chkExclude128_Click() { core::ResetAnalysisState(); }
void FrmAnalysis::chkPhaseFilter_Click() { core::ResetAnalysisState(); }
void FrmAnalysis::cmbGrating_Click() { core::ResetAnalysisState(); }

void FrmAnalysis::chkCompensate_Click()
{
    if (!model::state.PhaseInMemory) {
        if (!lblGrating->isEnabled()) cmbGrating->setEnabled(false);
        core::ResetAnalysisState();
        return;
    }
    if (chkCompensate->isChecked()) {
        const std::string w = S(txtSampleWidth->text());
        const std::string h = S(txtSampleHeight->text());
        if (!core::IsNumeric(w) || !core::IsNumeric(h)) {
            model::ShowMsg("Compensation requires image physical Width(X) and Height(Y).", 16,
                           "Analysis Setup Error");
            txtSampleWidth->setFocus();
            chkCompensate->setChecked(false);
            return;
        }
        double wi = 0, hi = 0;
        if (!core::EqualsNoCase(model::files.XYUnits, "in")) {
            wi = core::Val(w) / model::MmPerInch;
            hi = core::Val(h) / model::MmPerInch;
        } else {
            core::ParseNumber(w, &wi);
            core::ParseNumber(h, &hi);
        }
        const int g = cmbGrating->currentIndex();
        const std::string answer =
            core::CheckCompensationArea(static_cast<uint8_t>(g < 0 ? 0 : g), float(wi), float(hi));
        if (!answer.empty()) {
            model::ShowMsg(answer, 16, "Analysis Setup Error");
            chkCompensate->setChecked(false);
            return;
        }
    }
    cmbGrating->setEnabled(true);
    core::ResetAnalysisState();
}

void FrmAnalysis::chkReference_Click()
{
    core::ResetAnalysisState();
    if (chkReference->isChecked()) chkRelative->setChecked(false);
}

void FrmAnalysis::chkRelative_Click()
{
    if (chkRelative->isChecked()) chkReference->setChecked(false);
    if (chkRelative->isChecked()) {
        const auto& st = model::state;
        const auto& im = model::images;
        if (!st.ReferenceInMemory) {
            model::ShowMsg("No reference data in memory.", 16, "Analysis Setup Error");
            chkRelative->setChecked(false);
            return;
        }
        if (st.RefXMax != im.XMax || st.RefYMax != im.YMax) {
            model::ShowMsg("Current and Reference images have different dimensions.", 16, "Analysis Setup Error");
            chkRelative->setChecked(false);
            return;
        }
    }
    core::ResetAnalysisState();
}

void FrmAnalysis::cmbRotation_Click()
{
    lblCoplanarity->setText(core::ContainsNoCase(S(cmbRotation->currentText()), "Lsf") ? "Coplanarity"
                                                                                       : "Maximum Deflection");
    core::ResetAnalysisState();
}

void FrmAnalysis::cmbDomain_Click()
{
    core::ResetAnalysisState();
    const int k = cmbDomain->currentIndex();
    if (k < 0 || k >= model::MaxDomains) return;
    PhaseImageWindow& editor = frmPhaseImage();
    if (editor.cmbDomains && k < editor.cmbDomains->count()) editor.cmbDomains->setCurrentIndex(k);
    // The region of interest from the domain's left, top, width and height.
    const model::Domain& d = model::maskPartition.DomainTable[size_t(k)];
    Picbuf1->outlineOff();
    Picbuf1->setOutlineColor(255);
    Picbuf1->setRoi(d.Left, d.Top, d.Width, d.Height);
    Picbuf1->outlineOn();
}

void FrmAnalysis::SampleBoxChanged(QLineEdit* box)
{
    const std::string t = S(box->text());
    if (t != ".") {
        double v = 0;
        if (!core::ParseNumber(t, &v) || v < 0) {
            if (!t.empty()) {
                box->setText("");   // runs this handler again for the empty text
                return;
            }
        }
    }
    if (chkCompensate->isChecked()) {
        core::ResetAnalysisState();
    } else {
        model::state.Surface3DValid = false;
        model::state.ContourValid = false;
    }
}

void FrmAnalysis::SampleBoxLostFocus(QLineEdit* box)
{
    double v = 0;
    if (!core::ParseNumber(S(box->text()), &v) || v <= 0) box->setText("");
}

void FrmAnalysis::ZBoxChanged()
{
    model::state.Surface3DValid = false;
    model::state.ContourValid = false;
}

bool FrmAnalysis::eventFilter(QObject* o, QEvent* e)
{
    if (auto* box = qobject_cast<QLineEdit*>(o)) {
        if (e->type() == QEvent::FocusIn) {
            QTimer::singleShot(0, box, [box] { box->selectAll(); });
        } else if (e->type() == QEvent::FocusOut && (box == txtSampleWidth || box == txtSampleHeight)) {
            SampleBoxLostFocus(box);
        }
    }
    return QWidget::eventFilter(o, e);
}

// ---------------------------------------------------------------- window

void FrmAnalysis::ShowWindow()
{
    platform::ShowMaximised(*this);
    raise();
    activateWindow();
}

void FrmAnalysis::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::WindowStateChange) {
        if (isMinimized()) {
            Picbuf1->refresh();
        } else if (!isMaximized() && !isFullScreen() && isVisible()) {
            QTimer::singleShot(0, this, [this] {
                if (isVisible() && windowState() == Qt::WindowNoState) showMaximized();
            });
        }
    }
    QWidget::changeEvent(e);
}

void FrmAnalysis::cmdClose_Click() { showMinimized(); }

void FrmAnalysis::closeEvent(QCloseEvent* e)
{
    e->ignore();
    if (exiting_) return;
    // A close given while a long command runs (the close box or Alt+F4 during
    // Calculate Displacement, a folder job) asks its question once the command
    // has ended, from the event loop: never in the middle of the work, and
    // never while the input given meanwhile is being dropped.
    if (platform::JobGuard::AnyRunning()) {
        if (closeDeferred_) return;
        closeDeferred_ = true;
        platform::JobGuard::WhenIdle([self = QPointer<FrmAnalysis>(this)] {
            if (!self) return;
            QTimer::singleShot(0, self, [self] {
                self->closeDeferred_ = false;
                if (platform::JobGuard::AnyRunning()) self->close();   // another job began meanwhile
                else self->cmdExit_Click();
            });
        });
        return;
    }
    cmdExit_Click();
}

void FrmAnalysis::cmdExit_Click()
{
    if (model::ShowMsg("Are you sure you want to quit?", 36, model::AppTitle) == platform::kAnsNo) return;
    core::CollectSettings();
    core::SaveSettingsFile(core::SettingsFilePath());
    exiting_ = true;   // a close that arrives now is the one being carried out
    QCoreApplication::processEvents();
    if (exitProgram) exitProgram();
}

void FrmAnalysis::ShowHeaderMenu()
{
    if (core::HasMakerHeader(model::files.ImageHeaderText))
        model::ShowMsg(model::files.ImageHeaderText, 64, "Phase Image Information");
    Picbuf1->refresh();
}

// ---------------------------------------------------------------- display

void FrmAnalysis::ShowBlankPicture()
{
    Picbuf1->createBlank(640, 480, 0);
    Picbuf1->refresh();
    Picbuf1->resize(640, 480);
}

QImage FrmAnalysis::Picture() const
{
    const int w = Picbuf1->imageWidth();
    const int h = Picbuf1->imageHeight();
    QImage img(w, h, QImage::Format_Grayscale8);
    const auto& px = Picbuf1->pixels();
    for (int y = 0; y < h; ++y)
        std::copy_n(px.data() + size_t(y) * size_t(w), size_t(w), img.scanLine(y));
    return img;
}

void FrmAnalysis::RefreshDisplay()
{
    const auto& im = model::images;
    const int cols = im.DisplayImage.cols();
    const int rows = im.DisplayImage.rows();
    Picbuf1->setPicture(cols, rows, im.DisplayImage.buffer());
    Picbuf1->resize(cols, rows);
    Picbuf1->refresh();
    frmPhaseImage().ShowPicture(Picture());
}

void FrmAnalysis::ClearCurrentImage()
{
    auto& st = model::state;
    model::files.ImageHeaderText.clear();
    st.HeaderFringeValue = 0;
    st.PhaseInMemory = false;
    st.MaskInMemory = false;
    if (st.PartitionInMemory) frmPhaseImage().cmdClearPartition_Click();
    cmdCrop->setVisible(false);
    cmdMask->setVisible(false);
    lblImageName->setText("Image: None");
    core::ResetAnalysisState();
    ShowBlankPicture();
}

// ---------------------------------------------------------------- loading

bool FrmAnalysis::ReloadCurrentMask(const std::string& fileName)
{
    auto& im = model::images;
    const std::string maskFile = platform::JoinPath(platform::UtilityFolder(), "CurrentMask.tif");
    if (!platform::FileExists(maskFile) || !platform::WildcardMatch("*CurrentPhase.tif", fileName)) return false;
    const core::PhaseImageFile mask = core::ReadPhaseImageFile(maskFile);
    // A mask of another size than the image does not belong to it.
    if (!mask.ok || mask.cols != im.ImageCols || mask.rows != im.ImageRows) return false;
    im.MaskImage.create(mask.cols, mask.rows);
    im.MaskImage.buffer() = mask.pixels;
    model::state.MaskInMemory = true;
    core::RebuildDisplayImage();
    core::ResetAnalysisState();
    return true;
}

void FrmAnalysis::LoadPhaseImage(const std::string& fileName)
{
    auto& st = model::state;
    if (model::SingleImageHeld()) {
        loadAfterHold_ = fileName;   // a batch job holds the model: loaded when it ends
        return;
    }

    // A name that is not there (handed over by a second start, or typed) is
    // not a file of the wrong kind; nor is a path beyond the system's limits.
    const std::string limit = platform::PathLimitText(fileName);
    if (!limit.empty() || !platform::FileExists(fileName)) {
        model::ShowMsg("The file cannot be opened." + (limit.empty() ? "" : model::CR + limit), 16, "Load Phase Image");
        return;
    }

    // The new image as a whole, refused before anything in memory changes.
    // The loader the tools and the batch use decides (a maker header that
    // breaks off included); an image too large to analyse says so, any other
    // refusal is a file of the wrong kind.
    core::PhaseImageFile file = core::ReadPhaseImageFile(fileName);
    if (!file.ok && file.message == core::kNotEnoughMemoryToLoad) {
        model::ShowMsg(file.message, 16, "Load Phase Image");
        return;
    }
    if (!file.ok) {
        InvalidFormat("Load Phase Image");
        return;
    }
    const int cols = file.cols;
    const int rows = file.rows;

    // A mask, partition or crop still being drawn belongs to the old image.
    if (!frmPhaseImage().EndOpenOperation()) return;

    // A mask or partition in memory keeps its size unless the user lets it go.
    const bool sizeDiffers = rows != Picbuf1->imageHeight() || cols != Picbuf1->imageWidth();
    auto sizeQuestion = [&](const char* what) {
        return "Selected phase image " + SignedNumber(cols) + " (X) x " + SignedNumber(rows) +
               " (Y) does not match the size of" + model::CR + "the current " + what +
               ". Continue and clear current " + what + " from memory?";
    };
    if (st.MaskInMemory && sizeDiffers) {
        if (model::ShowMsg(sizeQuestion("mask"), 36, "Image Size Mismatch") != platform::kAnsYes) return;
        frmPhaseImage().cmdClearMask_Click();
    }
    if (st.PartitionInMemory) {
        if (platform::WildcardMatch("*CurrentPhase.tif", fileName)) {
            frmPhaseImage().cmdClearPartition_Click();
        } else if (sizeDiffers) {
            if (model::ShowMsg(sizeQuestion("partition"), 36, "Image Size Mismatch") != platform::kAnsYes) return;
            frmPhaseImage().cmdClearPartition_Click();
        }
    }

    // The image becomes current (geometry, pixels, header, working copies,
    // overlays, names, working folder).
    const core::InstalledImage installed = core::InstallPhaseImage(fileName, std::move(file));

    // Header and fringe-value controls.
    lblFringeValue->setText(Q(installed.fringeLabel));
    chkExclude128->setChecked(installed.hasHeader);
    chkFringeValuetxt->setChecked(!installed.hasHeader);
    chkFringeValuetxt_Click();
    chkFringeValuetxt->setEnabled(installed.hasHeader);

    if (st.PartitionInMemory) cmbDomain_Click();
    cmdCrop->setVisible(true);
    if (!st.PartitionInMemory) cmdCrop->setEnabled(true);
    cmdMask->setVisible(true);

    // The current phase image brings the current mask back.
    ReloadCurrentMask(fileName);

    lblImageName->setText(Q(installed.imageLabel));
    RefreshDisplay();
    if (st.PartitionInMemory) frmPhaseImage().cmbDomains_Click();
}

void FrmAnalysis::cmdAutoLoadImagePH_Click()
{
    const std::string path = AcquisitionImagePath();
    if (!platform::FileExists(path)) {
        model::ShowMsg("Image_ph.bmp not found.", 16, "Phase Image Load Error");
        return;
    }
    LoadPhaseImage(path);
}

void FrmAnalysis::cmdLoadFile_Click()
{
    for (;;) {
        auto& files = model::files;
        platform::FileDialogRequest req;
        req.kind = platform::FileDialogRequest::Open;
        req.title = "Load Phase Image";
        req.filter = core::EqualsNoCase(files.ImageFileFormat, "BMP")
                         ? "Phase Image BMP Files (*_ph.bmp)|*_ph.bmp"
                         : "Phase Image TIF Files (*_ph.tif)|*_ph.tif";
        req.filterIndex = 1;
        req.initialFolder = files.WorkingFolder;
        const platform::FileDialogResult res = platform::ShowFileDialog(req);
        if (!res.confirmed) return;
        files.LastImageFile = res.path;
        if (platform::WildcardMatch("*_ph." + files.ImageFileFormat, files.LastImageFile)) {
            LoadPhaseImage(files.LastImageFile);
            cmdLoadFile->setText("&Load Phase Image");
            return;
        }
        InvalidFormat("Load Phase Image");
    }
}

// ---------------------------------------------------------------- reset

void FrmAnalysis::ClearResultDisplay()
{
    cmdUnwrap->setText("&Calculate Displacement");
    lblMaxZValue->setText("");
    lblMinZValue->setText("");
    lblCoplanarityData->setText("");
    TieFigureCaptions(false);
    lblZUnits->setVisible(false);
    cmdSaveData->setText("S&ave Data File");
    EnableResultCommands(*this, false);
}

void FrmAnalysis::ShowProcessing()
{
    cmdUnwrap->setText("Pro&cessing");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void FrmAnalysis::ShowResults(const std::string& maxZ, const std::string& minZ, const std::string& range)
{
    cmdUnwrap->setText("Displacement &Calculated");
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    lblMaxZValue->setText(Q(maxZ));
    lblMinZValue->setText(Q(minZ));
    lblCoplanarityData->setText(Q(range));
    TieFigureCaptions(true);
    lblZUnits->setVisible(true);
    EnableResultCommands(*this, true);
}

// A figure shown is read after its caption, with the units as its
// description ("Max Z 28.3 mils"); an empty one reads nothing.
void FrmAnalysis::TieFigureCaptions(bool tied)
{
    lblMaxZ->setBuddy(tied ? lblMaxZValue : nullptr);
    lblMinZ->setBuddy(tied ? lblMinZValue : nullptr);
    lblCoplanarity->setBuddy(tied ? lblCoplanarityData : nullptr);
}

void FrmAnalysis::SetReferenceCaption(const std::string& caption) { lblReference->setText(Q(caption)); }
void FrmAnalysis::UncheckCompensate() { chkCompensate->setChecked(false); }
void FrmAnalysis::UncheckRelative() { chkRelative->setChecked(false); }
void FrmAnalysis::FocusSampleWidth() { txtSampleWidth->setFocus(); }

FrmAnalysis& frmAnalysis()
{
    if (!gInstance) gInstance = new FrmAnalysis;
    return *gInstance;
}

bool frmAnalysisExists() { return !gInstance.isNull(); }

} // namespace gui
