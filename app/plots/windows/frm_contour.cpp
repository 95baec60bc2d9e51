#include "frm_contour.h"

#include "frm_chordplot.h"
#include "frm_createlegend.h"
#include "plot_rules.h"
#include "plot_windows.h"

#include "app/core/figures.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "plots/builders/chart_builders.h"
#include "plots/builders/plot_state.h"
#include "plots/charts/chartstyle.h"
#include "plots/styles/plotstyles.h"

#include <QApplication>
#include <QFormLayout>

namespace plots {
namespace {

constexpr const char* kMovePrompt = "Move mouse cursor to endpoint and release button:";

} // namespace

FrmContour::FrmContour()
{
    setObjectName("frmContour");
    setWindowTitle("Contour Plot");
    Chart3D2 = new charts::ChartView(this);
    Chart3D2->setObjectName("Chart3D2");
    Chart3D2->setAccessibleName("Contour Plot");
    chart().setKind(charts::ChartKind::Contour);
    frame = new PlotFrame(this, PlotKind::Contour, &chart(), nullptr, Chart3D2, [this] { cmdClose_Click(); });
    cmdPrintCntr = frame->cmdPrint;
    cmdSave = frame->cmdSave;
    cmdClose = frame->cmdClose;
    cmdCustomize = frame->cmdCustomize;
    chkLegend = frame->chkLegend;
    txtHeader = frame->txtHeader;
    txtFooter = frame->txtFooter;

    auto* form = new QFormLayout;
    lblAppearence = new QLabel("App&earance", frame->fixedArea);
    lblAppearence->setObjectName("lblAppearence");
    cmbAppearance = new QComboBox(frame->fixedArea);
    cmbAppearance->setObjectName("cmbAppearance");
    cmbAppearance->setAccessibleName("Appearance");
    for (int i = 0; i < 4; ++i) cmbAppearance->addItem(Appearances()[i].entry);
    lblAppearence->setBuddy(cmbAppearance);
    form->addRow(lblAppearence, cmbAppearance);
    frame->fixedLayout->addLayout(form);

    chkReduceData = new QCheckBox("&Reduce Data", frame->panel);
    chkReduceData->setObjectName("chkReduceData");
    chkReduceData->setChecked(true);
    frame->panelLayout->addWidget(chkReduceData);
    cmdCreateLegend = new QPushButton("Create Le&gend...", frame->panel);
    cmdCreateLegend->setObjectName("cmdCreateLegend");
    frame->panelLayout->addWidget(cmdCreateLegend);

    // The style files live in "Utility Files"; put back any that are missing.
    InstallChartStyles();
    ApplyAppearanceStyle(chart(), 0);
    connect(cmbAppearance, &QComboBox::currentIndexChanged, this, [this] { cmbAppearance_Click(); });
    connect(chkReduceData, &QCheckBox::toggled, this, [this] { chkReduceData_Click(); });
    connect(cmdCreateLegend, &QPushButton::clicked, this, [this] { cmdCreateLegend_Click(); });
    connect(Chart3D2, &charts::ChartView::mouseDown, this, &FrmContour::Chart3D2_MouseDown);
    connect(Chart3D2, &charts::ChartView::mouseUp, this, &FrmContour::Chart3D2_MouseUp);

    chart().removeAllActions();
    chart().addAction(516, 2, 0, 12);
}

void FrmContour::SetupContourChart(int cols, int rows, bool reduce) { plots::SetupContourChart(cols, rows, reduce); }

// ---------------------------------------------------------------- appearance

void FrmContour::cmbAppearance_Click()
{
    charts::Chart3D& c = chart();
    c.setIsBatched(true);
    const int i = AppearanceIndex(cmbAppearance->currentText());
    ApplyAppearanceStyle(c, i);
    if (i >= 0) {
        const bool lines = !Appearances()[i].filled;
        const int count = c.levelCount();
        if ((count == 17 && lines) || (count == 19 && !lines))
            ApplyContourLayout(c, !lines, plotState.ContourZMin, plotState.ContourZMax, model::files.ZFormat);
    }
    c.setIsBatched(false);
}

void FrmContour::chkReduceData_Click()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (chkReduceData->isChecked()) SetupContourChart(model::ReducedSize, model::ReducedSize, true);
    else SetupContourChart(model::images.XMax + 1, model::images.YMax + 1, false);
    QApplication::restoreOverrideCursor();
}

void FrmContour::cmdCreateLegend_Click() { ShowLegendMaker(LegendType::Contour); }

void FrmContour::cmdClose_Click()
{
    if (model::state.ChordPickMode) {
        model::state.ContourValid = false;
        model::state.ChordPickMode = false;
        for (QPushButton* b : {cmdPrintCntr, cmdSave, cmdCustomize, cmdClose}) b->setEnabled(true);
        chart().setUserChangesAllowed(true);
        chart().setActionsHeld(false);
    }
    HidePlotWindow(this);
}

// ---------------------------------------------------------------- chord pick

void FrmContour::Chart3D2_MouseDown(int button, int shift, int x, int y)
{
    if (button != 1 || shift != 0 || !model::state.ChordPickMode) return;
    ChordStartPicked = false;
    charts::Chart3D& c = chart();
    const charts::NearestPoint p = c.nearestDataPoint(x, y);
    PickGridX = p.gridX;
    PickGridY = p.gridY;
    PickRegion = p.region;
    if (p.region != -100 || !(p.distance < 6)) return;
    c.setIsBatched(true);
    c.setActionsHeld(true);
    c.setHeaderText(kMovePrompt);
    ChordStartX = GridToImageX(PickGridX, model::images.XMax);
    ChordStartY = GridToImageY(PickGridY, model::images.YMax);
    ChordStartPicked = true;
    const int n = c.addChartLabel();
    charts::ChartLabel label = *c.chartLabel(n);
    label.text = "Start";
    label.attachMethod = 1;
    label.attachPoint = QPoint(x, y);
    label.shown = true;
    label.background = QColor(255, 255, 255);
    // Just above and right of the pressed point.
    label.offset = QPoint(6, -20);
    c.updateChartLabel(n, label);
    c.setIsBatched(false);
}

void FrmContour::Chart3D2_MouseUp(int button, int shift, int x, int y)
{
    if (button != 1 || shift != 0 || !ChordStartPicked || !model::state.ChordPickMode) return;
    charts::Chart3D& c = chart();
    const charts::NearestPoint p = c.nearestDataPoint(x, y);
    PickGridX = p.gridX;
    PickGridY = p.gridY;
    PickRegion = p.region;
    if (p.region != -100 || !(p.distance < 6)) {
        model::ShowMsg("Invalid endpoint selected.", 16, "Chord Error");
        c.setHeaderText(kChordPickPrompt);
        if (c.chartLabelCount() > 0) c.removeAllChartLabels();
        return;
    }
    ChordEndX = GridToImageX(PickGridX, model::images.XMax);
    ChordEndY = GridToImageY(PickGridY, model::images.YMax);
    if (c.chartLabelCount() > 0) c.removeAllChartLabels();
    if (ChordEndX == ChordStartX && ChordEndY == ChordStartY) {
        model::ShowMsg("No line selected.", 16, "Chord Error");
        c.setHeaderText(kChordPickPrompt);
        return;
    }
    // A new press starts a new chord.
    ChordStartPicked = false;
    core::ChordProfile(int16_t(ChordStartX), int16_t(ChordStartY), int16_t(ChordEndX), int16_t(ChordEndY));
    FillChordChart(ChordStartX, ChordStartY, ChordEndX, ChordEndY);
}

} // namespace plots
