#include "frm_chordplot.h"

#include "frm_contour.h"
#include "plot_rules.h"
#include "plot_windows.h"

#include "app/core/gui/frm_analysis.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "plots/builders/chart_builders.h"

namespace plots {
FrmChordPlot::FrmChordPlot()
{
    setObjectName("frmChordPlot");
    setWindowTitle("Chord Plot");
    Chart2D2 = new charts::Chart2DView(this);
    Chart2D2->setObjectName("Chart2D2");
    Chart2D2->setAccessibleName("Chord Plot");
    frame = new PlotFrame(this, PlotKind::Chord, nullptr, &chart(), Chart2D2, [this] { cmdClose_Click(); });
    cmdPrintChord = frame->cmdPrint;
    cmdSave = frame->cmdSave;
    cmdClose = frame->cmdClose;
    cmdCustomize = frame->cmdCustomize;
    txtHeader = frame->txtHeader;
    txtFooter = frame->txtFooter;
    cmdNew = new QPushButton("Select Ne&w Chord", frame->fixedArea);
    cmdNew->setObjectName("cmdNew");
    cmdNew->setAccessibleName("Select New Chord");
    frame->fixedLayout->addWidget(cmdNew);
    connect(cmdNew, &QPushButton::clicked, this, [this] { cmdNew_Click(); });

    charts::Chart2D& c = chart();
    c.setSeriesCount(1);
    c.setSeriesLabel(1, "Chord");
    c.setLegendShown(false);
    c.setAxisTitle(charts::Axis2D::X, "Position Along Chord");
    c.setAxisTitle(charts::Axis2D::Y, "Displacement");
    c.removeAllActions();
    c.addAction(516, 2, 0, 11);
}

void FrmChordPlot::cmdNew_Click() { hide(); }

void FrmChordPlot::cmdClose_Click()
{
    FrmContour& contour = plots::frmContour();
    for (QPushButton* b : {contour.cmdPrintCntr, contour.cmdSave, contour.cmdClose, contour.cmdCustomize})
        b->setEnabled(true);
    model::state.ChordPickMode = false;
    model::state.ContourValid = false;
    contour.chart().setUserChangesAllowed(true);
    contour.chart().setActionsHeld(false);
    hide();
    HidePlotWindow(&contour);
}

void FillChordChart(int x1, int y1, int x2, int y2)
{
    FrmChordPlot& w = plots::frmChordPlot();
    SetupChordChart(w.chart(), model::images.ProfileData, x1, y1, x2, y2, ModelFacts(), MainWindowBoxes());
    w.txtHeader->setText(w.chart().headerText());
    w.show();
    w.raise();
}

} // namespace plots
