// The batch plot configuration window.
#include "frm_batch_configuration.h"

#include "chart_design.h"
#include "output_commands.h"
#include "utility_files.h"

#include "app/batch/gui/frm_batch_processing.h"
#include "app/core/gui/named_controls.h"
#include "app/core/runtime.h"
#include "platform/accessibility.h"
#include "platform/commandguards.h"
#include "platform/qtext.h"
#include "plots/builders/appearance.h"
#include "plots/builders/plot_state.h"
#include "plots/charts/chartstyle.h"
#include "plots/styles/plotstyles.h"
#include "plots/windows/frm_createlegend.h"

#include <QEvent>
#include <QGuiApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace batchcfg {

using charts::Axis2D;
using charts::Axis3D;

namespace {

const char* const kPlaceholder = "--------";
const QStringList kAppearanceEntries = {"Color Fill", "Gray Fill", "Color Lines", "Black Lines"};

// The legend chart of "Gray Fill" takes its own grey ramp.
const char* LegendStyleFile(int i) { return i == 1 ? "Colorgray Contour.sty" : plots::Appearances()[i].styleFile; }

using platform::S;
using platform::Q;

QCheckBox* Check(QWidget* parent, const char* name, const char* caption)
{
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    c->setChecked(true);
    return c;
}

QLineEdit* Edit(QWidget* parent, const char* name, const char* text, const QString& accessible)
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    e->setAccessibleName(accessible);
    return e;
}

charts::ChartView* View3D(QWidget* parent, const char* name, const char* accessible)
{
    auto* v = new charts::ChartView(parent);
    v->setObjectName(name);
    v->setAccessibleName(accessible);
    return v;
}

charts::ChartView* LegendView(QWidget* parent, const char* name, const char* accessible)
{
    charts::ChartView* v = View3D(parent, name, accessible);
    v->setFixedSize(180, 480);
    return v;
}

} // namespace

FrmBatchConfiguration::FrmBatchConfiguration()
{
    setObjectName("frmBatchConfiguration");
    setWindowTitle("Batch Output Configuration");
    // The batch jobs hold the single image; their windows stay live meanwhile.
    platform::MarkJobWindow(*this);
    auto* layout = new QVBoxLayout(this);
    // On a screen lower or narrower than the pages (800 x 600) they scroll,
    // so the window fits the work area and every control can be reached.
    auto* pages = new QScrollArea(this);
    pages->setObjectName("pagesArea");
    pages->setFrameShape(QFrame::NoFrame);
    pages->setFocusPolicy(Qt::NoFocus);   // the pages' controls take the keyboard
    pages->setWidgetResizable(true);
    layout->addWidget(pages);
    SSTab1 = new QTabWidget(pages);
    SSTab1->setObjectName("SSTab1");
    // The pages are reached through their tabs; the page holder itself is no
    // stop of the keyboard, and reads as the window it fills.
    SSTab1->setFocusPolicy(Qt::NoFocus);
    SSTab1->setAccessibleName(windowTitle());
    pages->setWidget(SSTab1);
    buildSurfaceTab();
    buildContourTab();
    buildDiagonalTab();
    buildMiscTab();
    setDesignTexts();
    bindChecks();
    Form_Load();
    // The style files and the sample files live in "Utility Files"; put back any that are missing.
    plots::InstallChartStyles();
    InstallUtilityFiles();
    plots::UseLegendCharts(&surfaceLegend(), &contourLegend());
    // The batch window's output commands work on this window's charts.
    if (auto* batchWindow = dynamic_cast<batch::FrmBatchProcessing*>(&gui::frmBatchProcessing()))
        WireOutputCommands(*batchWindow);
    // Its designed size, within the work area of its screen.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    QSize size(1100, 760);
    if (screen) size = size.boundedTo(screen->availableGeometry().size() - QSize(8, 32));   // room for the frame
    resize(size);
}

FrmBatchConfiguration::~FrmBatchConfiguration()
{
    // The legend maker goes back to charts of its own.
    if (&plots::SurfaceLegendChart() == &surfaceLegend()) plots::UseLegendCharts(nullptr, nullptr);
}

// One plot tab: a panel of controls beside its chart. From the top: an
// optional list with its caption, "Display:", the header and footer each a
// check box with its title box, the element check boxes, then the number
// boxes, each under its caption (the caption is the box's label).
struct FrmBatchConfiguration::TabDesign {
    struct Check {
        QCheckBox** box;
        const char* name;
        const char* caption;
    };
    struct Box {
        QLabel** label;   // may be null: the caption is not kept
        QLineEdit** box;
        const char *labelName, *boxName, *caption, *text;
    };
    const char* title;
    QLabel** list;   // the list's caption, or null
    QLabel** display;
    const char* displayName;
    Check header, footer;
    QLineEdit **headerText, **footerText;
    const char *headerTextName, *footerTextName;
    std::vector<Check> elements;
    std::vector<Box> boxes;
};

QHBoxLayout& FrmBatchConfiguration::buildPlotTab(const TabDesign& d)
{
    auto* tab = new QWidget;
    SSTab1->addTab(tab, d.title);
    auto* row = new QHBoxLayout(tab);
    auto* panel = new QGridLayout;
    row->addLayout(panel);
    int r = 0;
    if (d.list) {
        *d.list = gui::Make<QLabel>(tab, "lblAppearence", "Appearance");
        cmbAppearance = gui::MakeCombo(tab, "cmbAppearance", kAppearanceEntries, "Appearance");
        (*d.list)->setBuddy(cmbAppearance);
        panel->addWidget(*d.list, r, 0);
        panel->addWidget(cmbAppearance, r++, 1);
    }
    *d.display = gui::Make<QLabel>(tab, d.displayName, "Display:");
    panel->addWidget(*d.display, r++, 0, 1, 2);
    for (auto [check, text, textName] : {std::tuple{d.header, d.headerText, d.headerTextName},
                                         std::tuple{d.footer, d.footerText, d.footerTextName}}) {
        *check.box = Check(tab, check.name, check.caption);
        *text = Edit(tab, textName, "Auto", platform::VisibleCaption(check.caption));
        panel->addWidget(*check.box, r, 0);
        panel->addWidget(*text, r++, 1);
    }
    for (const TabDesign::Check& c : d.elements) {
        *c.box = Check(tab, c.name, c.caption);
        panel->addWidget(*c.box, r++, 0, 1, 2);
    }
    for (const TabDesign::Box& b : d.boxes) {
        auto* label = gui::Make<QLabel>(tab, b.labelName, b.caption);
        *b.box = Edit(tab, b.boxName, b.text, b.caption);
        label->setBuddy(*b.box);
        if (b.label) *b.label = label;
        panel->addWidget(label, r, 0);
        panel->addWidget(*b.box, r++, 1);
    }
    panel->setRowStretch(r, 1);
    return *row;
}

void FrmBatchConfiguration::buildSurfaceTab()
{
    QHBoxLayout& row = buildPlotTab({"3D Surface Plot",
                                     nullptr,
                                     &lbl3DDisplay,
                                     "lbl3DDisplay",
                                     {&chk3DHeader, "chk3DHeader", "&Header"},
                                     {&chk3DFooter, "chk3DFooter", "&Footer"},
                                     &txt3DHeader,
                                     &txt3DFooter,
                                     "txt3DHeader",
                                     "txt3DFooter",
                                     {{&chk3DLegend, "chk3DLegend", "&Legend"},
                                      {&chk3DXLabel, "chk3DXLabel", "&X Label"},
                                      {&chk3DYLabel, "chk3DYLabel", "&Y Label"},
                                      {&chk3DZLabel, "chk3DZLabel", "&Z Label"},
                                      {&chk3DXValues, "chk3DXValues", "X &Values"},
                                      {&chk3DYValues, "chk3DYValues", "Y Val&ues"}},
                                     {{&lbl3DLabelSize, &txt3DLabelSize, "lbl3DLabelSize", "txt3DLabelSize",
                                       "Axis Label Size", "40"},
                                      {&lbl3DTickSize, &txt3DTickSize, "lbl3DTickSize", "txt3DTickSize",
                                       "Axis Number Size", "40"},
                                      {&lblAltitude, &txtAltitude, "lblAltitude", "txtAltitude", "Altitude (degrees)",
                                       "45"},
                                      {&lblRotation, &txtRotation, "lblRotation", "txtRotation", "Rotation (degrees)",
                                       "45"}}});
    QWidget* tab = SSTab1->widget(SSTab1->count() - 1);
    chtSurface = View3D(tab, "chtSurface", "3D Surface Plot");
    row.addWidget(chtSurface, 1);
    cht3DLegend = LegendView(tab, "cht3DLegend", "3D Legend");
    row.addWidget(cht3DLegend, 0, Qt::AlignTop);

    connect(chtSurface, &charts::ChartView::keyDown, this, [this](int k, int s) { chtSurface_KeyDown(k, s); });
    connect(chtSurface, &charts::ChartView::keyUp, this, [this](int k, int s) { chtSurface_KeyUp(k, s); });
    connect(chtSurface, &charts::ChartView::viewChanging, this,
            [this](charts::ViewProposal* v) { chtSurface_ViewChanging(v); });
    connect(chtSurface, &charts::ChartView::viewChanged, this, [this] { chtSurface_ViewChanged(); });
}

void FrmBatchConfiguration::buildContourTab()
{
    QHBoxLayout& row = buildPlotTab({"Contour Plot",
                                     &lblAppearence,
                                     &lblContourDisplay,
                                     "lblContourDisplay",
                                     {&chkContourHeader, "chkContourHeader", "&Header"},
                                     {&chkContourFooter, "chkContourFooter", "&Footer"},
                                     &txtContourHeader,
                                     &txtContourFooter,
                                     "txtContourHeader",
                                     "txtContourFooter",
                                     {{&chkContourLegend, "chkContourLegend", "&Legend"},
                                      {&chkContourXLabel, "chkContourXLabel", "&X Label"},
                                      {&chkContourYLabel, "chkContourYLabel", "&Y Label"},
                                      {&chkContourXValues, "chkContourXValues", "X &Values"},
                                      {&chkContourYValues, "chkContourYValues", "Y Val&ues"}},
                                     {{nullptr, &txtContourLabelSize, "lblContourLabelSize", "txtContourLabelSize",
                                       "Axis Label Size", "50"},
                                      {nullptr, &txtContourTickSize, "lblContourTickSize", "txtContourTickSize",
                                       "Axis Number Size", "50"}}});
    QWidget* tab = SSTab1->widget(SSTab1->count() - 1);
    chtContour = View3D(tab, "chtContour", "Contour Plot");
    row.addWidget(chtContour, 1);
    chtContourLegend = LegendView(tab, "chtContourLegend", "Contour Legend");
    row.addWidget(chtContourLegend, 0, Qt::AlignTop);
    connect(cmbAppearance, &QComboBox::currentIndexChanged, this, [this] { cmbAppearance_Click(); });
}

void FrmBatchConfiguration::buildDiagonalTab()
{
    QHBoxLayout& row = buildPlotTab({"Diagonal Plot",
                                     nullptr,
                                     &lblDiagDisplay,
                                     "lblDiagDisplay",
                                     {&chkDiagHeader, "chkDiagHeader", "&Header"},
                                     {&chkDiagFooter, "chkDiagFooter", "&Footer"},
                                     &txtDiagHeader,
                                     &txtDiagFooter,
                                     "txtDiagHeader",
                                     "txtDiagFooter",
                                     {{&chkDiagLegend, "chkDiagLegend", "&Legend"},
                                      {&chkDiagXLabel, "chkDiagXLabel", "&X Label"},
                                      {&chkDiagYLabel, "chkDiagYLabel", "&Y Label"},
                                      {&chkDiagXValues, "chkDiagXValues", "X &Values"},
                                      {&chkDiagYValues, "chkDiagYValues", "Y Val&ues"}},
                                     {{&lblDiagLabelSize, &txtDiagLabelSize, "lblDiagLabelSize", "txtDiagLabelSize",
                                       "Axis Label Size", "10"}}});
    QWidget* tab = SSTab1->widget(SSTab1->count() - 1);
    chtDiagonal = new charts::Chart2DView(tab);
    chtDiagonal->setObjectName("chtDiagonal");
    chtDiagonal->setAccessibleName("Diagonal Plot");
    row.addWidget(chtDiagonal, 1);
}

void FrmBatchConfiguration::buildMiscTab()
{
    auto* tab = new QWidget;
    SSTab1->addTab(tab, "Misc");
    auto* grid = new QGridLayout(tab);
    lblGraphicalFormat = gui::Make<QLabel>(tab, "lblGraphicalFormat", "Graphical Format:");
    fraGraphOutput = new QGroupBox(tab);
    fraGraphOutput->setObjectName("fraGraphOutput");
    fraGraphOutput->setAccessibleName("Graphical Format:");
    auto* g = new QVBoxLayout(fraGraphOutput);
    optBitmap = new QRadioButton("&Bitmap", fraGraphOutput);
    optBitmap->setObjectName("optBitmap");
    optJPG = new QRadioButton("&JPG", fraGraphOutput);
    optJPG->setObjectName("optJPG");
    g->addWidget(optBitmap);
    g->addWidget(optJPG);
    optBitmap->setChecked(true);
    lblDataFormat = gui::Make<QLabel>(tab, "lblDataFormat", "Data File Format:");
    fraDataFileFormat = new QGroupBox(tab);
    fraDataFileFormat->setObjectName("fraDataFileFormat");
    fraDataFileFormat->setAccessibleName("Data File Format:");
    auto* d = new QVBoxLayout(fraDataFileFormat);
    optText = new QRadioButton("&Text", fraDataFileFormat);
    optText->setObjectName("optText");
    optBinary = new QRadioButton("B&inary", fraDataFileFormat);
    optBinary->setObjectName("optBinary");
    d->addWidget(optText);
    d->addWidget(optBinary);
    optText->setChecked(true);
    grid->addWidget(lblGraphicalFormat, 0, 0, Qt::AlignTop);
    grid->addWidget(fraGraphOutput, 0, 1);
    grid->addWidget(lblDataFormat, 1, 0, Qt::AlignTop);
    grid->addWidget(fraDataFileFormat, 1, 1);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(2, 1);
}

// The charts as designed, before any preview or output fills them.
void FrmBatchConfiguration::setDesignTexts()
{
    DesignCharts({&surface(), &contour(), &diagonal(), &surfaceLegend(), &contourLegend()});
    // The view the angle boxes show.
    surface().setViewElevation(45);
    surface().setViewRotation(45);
}

void FrmBatchConfiguration::bindChecks()
{
    charts::Chart3D* s = &surface();
    charts::Chart3D* c = &contour();
    charts::Chart2D* d = &diagonal();
    auto on = [this](QCheckBox* box, std::function<void(bool)> apply) {
        connect(box, &QCheckBox::toggled, this, [apply](bool ticked) { apply(ticked); });
    };
    auto element = [&](QCheckBox* box, QLineEdit* text, std::function<void(bool)> show) {
        on(box, [text, show](bool t) {
            text->setEnabled(t);
            show(t);
        });
    };
    element(chk3DHeader, txt3DHeader, [s](bool t) { s->setHeaderShown(t); });
    element(chk3DFooter, txt3DFooter, [s](bool t) { s->setFooterShown(t); });
    on(chk3DLegend, [s](bool t) { s->setLegendShown(t); });
    on(chk3DXLabel, [s](bool t) { s->setAxisTitle(Axis3D::X, t ? "X (units)" : ""); });
    on(chk3DYLabel, [s](bool t) { s->setAxisTitle(Axis3D::Y, t ? "Y (units)" : ""); });
    on(chk3DZLabel, [s](bool t) { s->setAxisTitle(Axis3D::Z, t ? "Displacement (units)" : ""); });
    on(chk3DXValues, [s](bool t) { s->setAxisAnnotation(Axis3D::X, t ? 1 : 2); });
    on(chk3DYValues, [s](bool t) { s->setAxisAnnotation(Axis3D::Y, t ? 1 : 2); });
    element(chkContourHeader, txtContourHeader, [c](bool t) { c->setHeaderShown(t); });
    element(chkContourFooter, txtContourFooter, [c](bool t) { c->setFooterShown(t); });
    on(chkContourLegend, [c](bool t) { c->setLegendShown(t); });
    on(chkContourXLabel, [c](bool t) { c->setAxisTitle(Axis3D::X, t ? "X (units)" : ""); });
    on(chkContourYLabel, [c](bool t) { c->setAxisTitle(Axis3D::Y, t ? "Y (units)" : ""); });
    on(chkContourXValues, [c](bool t) { c->setAxisAnnotation(Axis3D::X, t ? 1 : 2); });
    on(chkContourYValues, [c](bool t) { c->setAxisAnnotation(Axis3D::Y, t ? 1 : 2); });
    element(chkDiagHeader, txtDiagHeader, [d](bool t) { d->setHeaderShown(t); });
    element(chkDiagFooter, txtDiagFooter, [d](bool t) { d->setFooterShown(t); });
    on(chkDiagLegend, [d](bool t) { d->setLegendShown(t); });
    on(chkDiagXLabel, [d](bool t) { d->setAxisTitle(Axis2D::X, t ? "Position Along Diagonal (units)" : ""); });
    on(chkDiagYLabel, [d](bool t) { d->setAxisTitle(Axis2D::Y, t ? "Displacement (units)" : ""); });
    on(chkDiagXValues, [d](bool t) { d->setAxisAnnotation(Axis2D::X, t ? 0 : 2); });
    on(chkDiagYValues, [d](bool t) { d->setAxisAnnotation(Axis2D::Y, t ? 0 : 2); });

    titles_ = {
        {txt3DHeader, [s](const QString& t) { s->setHeaderText(t); }, "Phase Image Name", true},
        {txt3DFooter, [s](const QString& t) { s->setFooterText(t); }, "Coplanarity Value", true},
        {txtContourHeader, [c](const QString& t) { c->setHeaderText(t); }, "Phase Image Name", true},
        {txtContourFooter, [c](const QString& t) { c->setFooterText(t); }, "Coplanarity Value", true},
        {txtDiagHeader, [d](const QString& t) { d->setHeaderText(t); }, "Phase Image Name", false},
        {txtDiagFooter, [d](const QString& t) { d->setFooterText(t); }, "Min/Max Values", false},
    };
    auto all3D = [](charts::Chart3D* chart, bool title) {
        return [chart, title](int units) {
            for (Axis3D a : {Axis3D::X, Axis3D::Y, Axis3D::Z}) {
                if (title) chart->setAxisTitleFontSize(a, AxisFontPercent(units));
                else chart->setAxisNumberFontSize(a, AxisFontPercent(units));
            }
        };
    };
    sizes_ = {
        {txt3DLabelSize, 20, 200, all3D(s, true), [s] { return AxisFontUnits(s->axisTitleFontSize(Axis3D::X)); }},
        {txt3DTickSize, 20, 200, all3D(s, false), [s] { return AxisFontUnits(s->axisNumberFontSize(Axis3D::X)); }},
        {txtContourLabelSize, 20, 200, all3D(c, true),
         [c] { return AxisFontUnits(c->axisTitleFontSize(Axis3D::X)); }},
        {txtContourTickSize, 20, 200, all3D(c, false),
         [c] { return AxisFontUnits(c->axisNumberFontSize(Axis3D::X)); }},
        {txtDiagLabelSize, 8, 30,
         [d](int points) {
             d->setAxisTitleFontSize(Axis2D::X, points);
             d->setAxisTitleFontSize(Axis2D::Y, points);
         },
         [d] { return d->axisTitleFontSize(Axis2D::X); }},
    };
    for (const TitleBox& t : titles_) {
        connect(t.box, &QLineEdit::returnPressed, this, [this, box = t.box] { titleEnter(box); });
        t.box->installEventFilter(this);
    }
    for (const SizeBox& z : sizes_) {
        connect(z.box, &QLineEdit::returnPressed, this, [this, box = z.box] { sizeEnter(box); });
        z.box->installEventFilter(this);
    }
    for (QLineEdit* a : {txtAltitude, txtRotation}) {
        connect(a, &QLineEdit::returnPressed, this, [this, a] { angleEnter(a); });
        a->installEventFilter(this);
    }
}

// Mouse and key bindings of the three plot charts (the legends keep theirs):
// the surface turns with a plain left drag and Escape cancels a turn; a right
// click is taken and dropped on all three.
void FrmBatchConfiguration::Form_Load()
{
    surface().removeAllActions();
    contour().removeAllActions();
    diagonal().removeAllActions();
    surface().addAction(516, 2, 0, 12);
    surface().addAction(513, 33, 0, 1);
    surface().addAction(512, 33, 0, 4);
    surface().addAction(514, 32, 0, 2);
    surface().addAction(256, 1, 27, 3);
    contour().addAction(516, 2, 0, 12);
    diagonal().addAction(516, 2, 0, 11);
}

bool FrmBatchConfiguration::eventFilter(QObject* watched, QEvent* event)
{
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (box && event->type() == QEvent::FocusIn) {
        QTimer::singleShot(0, box, [box] { box->selectAll(); });
    } else if (box && event->type() == QEvent::FocusOut) {
        for (const TitleBox& t : titles_)
            if (t.box == box && t.onLostFocus) titleEnter(box);
        for (const SizeBox& z : sizes_)
            if (z.box == box) sizeEnter(box);
        if (box == txtAltitude || box == txtRotation) angleEnter(box);
    }
    return gui::BatchConfigurationWindow::eventFilter(watched, event);
}

void FrmBatchConfiguration::changeEvent(QEvent* event)
{
    gui::BatchConfigurationWindow::changeEvent(event);
    // The window fills the screen whenever it comes back to its normal state.
    if (event->type() == QEvent::WindowStateChange && isVisible() && windowState() == Qt::WindowNoState)
        QTimer::singleShot(0, this, [this] { setWindowState(Qt::WindowMaximized); });
}

void FrmBatchConfiguration::titleEnter(QLineEdit* box)
{
    for (const TitleBox& t : titles_)
        if (t.box == box) t.set(box->text() == "Auto" ? QString(t.placeholder) : box->text());
}

void FrmBatchConfiguration::sizeEnter(QLineEdit* box)
{
    for (const SizeBox& z : sizes_) {
        if (z.box != box) continue;
        double v = 0;
        if (core::ParseNumber(S(box->text()), &v) && v >= z.lo && v <= z.hi) {
            const int n = int(core::RoundHalfEven(v));
            box->setText(QString::number(n));
            z.set(n);
        } else {
            box->setText(QString::number(z.current()));
        }
    }
}

void FrmBatchConfiguration::angleEnter(QLineEdit* box)
{
    charts::Chart3D& c = surface();
    const bool altitude = box == txtAltitude;
    double v = 0;
    int16_t n = 0;
    if (core::ParseNumber(S(box->text()), &v) && core::RoundToInt16(v, &n)) {
        box->setText(QString::number(n));
        c.setIsBatched(true);
        if (altitude) c.setViewElevation(n);
        else c.setViewRotation(n);
        if (c.chartLabelCount() > 0) c.removeAllChartLabels();
        c.setIsBatched(false);
    } else if (altitude) {
        box->setText(QString::number(c.viewElevation(), 'g', 15));
    } else {
        box->setText(QString::number(int(core::RoundHalfEven(c.viewRotation()))));
    }
}

void FrmBatchConfiguration::chtSurface_KeyDown(int keyCode, int)
{
    if (keyCode == 65) plots::plotState.AltitudeKeyHeld = true;
    else if (keyCode == 82) plots::plotState.RotationKeyHeld = true;
}

void FrmBatchConfiguration::chtSurface_KeyUp(int keyCode, int)
{
    if (keyCode == 65) plots::plotState.AltitudeKeyHeld = false;
    else if (keyCode == 82) plots::plotState.RotationKeyHeld = false;
}

void FrmBatchConfiguration::chtSurface_ViewChanging(charts::ViewProposal* v)
{
    v->third = 0;
    if (plots::plotState.RotationKeyHeld) v->elevation = core::Val(S(txtAltitude->text()));
    if (plots::plotState.AltitudeKeyHeld) v->rotation = core::Val(S(txtRotation->text()));
}

void FrmBatchConfiguration::chtSurface_ViewChanged()
{
    const double e = surface().viewElevation();
    txtAltitude->setText(Q(core::FormatNumber(e <= 180 ? e : e - 360, "0")));
    txtRotation->setText(Q(core::FormatNumber(surface().viewRotation(), "0")));
}

double FrmBatchConfiguration::ViewElevation() const { return chtSurface->chart()->viewElevation(); }
void FrmBatchConfiguration::SetViewElevation(double degrees) { surface().setViewElevation(degrees); }
double FrmBatchConfiguration::ViewRotation() const { return chtSurface->chart()->viewRotation(); }
void FrmBatchConfiguration::SetViewRotation(double degrees) { surface().setViewRotation(degrees); }

void FrmBatchConfiguration::cmbAppearance_Click()
{
    charts::Chart3D& c = contour();
    c.setIsBatched(true);
    const int i = kAppearanceEntries.indexOf(cmbAppearance->currentText());
    if (i >= 0) {
        plots::ApplyAppearanceStyle(c, i);
        const bool lines = !plots::Appearances()[i].filled;
        const int n = c.levelCount();
        if ((n == 17 && lines) || (n == 19 && !lines)) {
            const double zmin = c.axisMin(Axis3D::Z), zmax = c.axisMax(Axis3D::Z);
            c.setLevelTableReset(true);
            c.setLevelCount(0);
            c.removeAllLegendLabels();
            const int divisions = lines ? 18 : 16;
            const float step = float((zmax - zmin) / divisions);
            for (int k = 0; k <= divisions; ++k) c.addLevel(zmin + k * double(step));
            c.setLegendMode(lines ? 1 : 2);
            c.appendLegendLabel("");
            if (lines) {
                for (int k = 1; k <= 17; ++k) c.appendLegendLabel(QString("Line %1").arg(k));
            } else {
                c.appendLegendLabel("Min");
                for (int k = 0; k < 15; ++k) c.appendLegendLabel(kPlaceholder);
                c.appendLegendLabel("Max");
            }
        }
    }
    c.setIsBatched(false);

    charts::Chart3D& legend = contourLegend();
    legend.setIsBatched(true);
    if (i >= 0) {
        const plots::Appearance& a = plots::Appearances()[i];
        legend.setContourFilled(a.filled);
        const char* file = LegendStyleFile(i);
        if (!legend.loadStyle(Q(plots::ChartStylePath(file)))) legend.setStyle(charts::BuiltInStyle(file));
        legend.setLegendBackground(QColor::fromRgb(a.background));
    }
    legend.setIsBatched(false);
}

plots::BatchChartOptions FrmBatchConfiguration::SurfaceOptions() const
{
    plots::BatchChartOptions o;
    o.header = S(txt3DHeader->text());
    o.footer = S(txt3DFooter->text());
    o.footerTicked = chk3DFooter->isChecked();
    o.xLabel = chk3DXLabel->isChecked();
    o.yLabel = chk3DYLabel->isChecked();
    o.zLabel = chk3DZLabel->isChecked();
    return o;
}

plots::BatchChartOptions FrmBatchConfiguration::ContourOptions() const
{
    plots::BatchChartOptions o;
    o.header = S(txtContourHeader->text());
    o.footer = S(txtContourFooter->text());
    o.footerTicked = chkContourFooter->isChecked();
    o.xLabel = chkContourXLabel->isChecked();
    o.yLabel = chkContourYLabel->isChecked();
    o.zLabel = true;
    return o;
}

plots::BatchChartOptions FrmBatchConfiguration::DiagonalOptions() const
{
    plots::BatchChartOptions o;
    o.header = S(txtDiagHeader->text());
    o.footer = S(txtDiagFooter->text());
    o.footerTicked = chkDiagFooter->isChecked();
    o.xLabel = chkDiagXLabel->isChecked();
    o.yLabel = chkDiagYLabel->isChecked();
    return o;
}

PreviewInputs FrmBatchConfiguration::PreviewInputsWith(const std::string& zMin, const std::string& zMax,
                                                       bool normalise) const
{
    PreviewInputs in;
    in.zMin = zMin;
    in.zMax = zMax;
    in.normaliseDiagonal = normalise;
    in.surfaceHeader = S(txt3DHeader->text());
    in.surfaceFooter = S(txt3DFooter->text());
    in.contourHeader = S(txtContourHeader->text());
    in.contourFooter = S(txtContourFooter->text());
    in.diagonalHeader = S(txtDiagHeader->text());
    in.diagonalFooter = S(txtDiagFooter->text());
    in.surfaceXLabel = chk3DXLabel->isChecked();
    in.surfaceYLabel = chk3DYLabel->isChecked();
    in.surfaceZLabel = chk3DZLabel->isChecked();
    in.contourXLabel = chkContourXLabel->isChecked();
    in.contourYLabel = chkContourYLabel->isChecked();
    in.diagonalXLabel = chkDiagXLabel->isChecked();
    in.diagonalYLabel = chkDiagYLabel->isChecked();
    return in;
}

bool FrmBatchConfiguration::Preview(const std::string& zMin, const std::string& zMax, bool normalise,
                                    std::string* error)
{
    return PreviewBatchConfiguration({&surface(), &contour(), &diagonal()}, PreviewInputsWith(zMin, zMax, normalise),
                                     error);
}

bool FrmBatchConfiguration::LoadSampleDiagonal(bool normalise, std::string* error)
{
    return batchcfg::LoadSampleDiagonal(diagonal(), normalise, error);
}

FrmBatchConfiguration* BatchConfiguration()
{
    return dynamic_cast<FrmBatchConfiguration*>(&gui::frmBatchConfiguration());
}

gui::BatchConfigurationWindow* NewBatchConfigurationWindow() { return new FrmBatchConfiguration; }

void InstallBatchConfigurationWindow()
{
    gui::WindowFactories f;
    f.frmBatchConfiguration = NewBatchConfigurationWindow;
    gui::SetWindowFactories(f);
}

} // namespace batchcfg
