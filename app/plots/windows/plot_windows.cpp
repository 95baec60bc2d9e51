#include "plot_windows.h"

#include "frm_3dchart.h"
#include "frm_chordplot.h"
#include "frm_contour.h"
#include "frm_diagonal.h"

#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/windows.h"
#include "app/core/model/model.h"
#include "plots/builders/chart_builders.h"
#include "plots/builders/plot_state.h"

namespace plots {

OptionBoxes MainWindowBoxes()
{
    OptionBoxes b;
    if (!gui::frmAnalysisExists()) return b;
    gui::FrmAnalysis& a = gui::frmAnalysis();
    b.rotation = a.cmbRotation->currentText().toStdString();
    b.sampleWidth = a.txtSampleWidth->text().toStdString();
    b.sampleHeight = a.txtSampleHeight->text().toStdString();
    b.zMin = a.txtZmin->text().toStdString();
    b.zMax = a.txtZmax->text().toStdString();
    return b;
}

namespace {

template <typename W, typename G>
W& Typed(G& window)
{
    auto* w = dynamic_cast<W*>(&window);
    Q_ASSERT_X(w, "plots", "InstallPlotWindows() was not called before the first use of a plot window");
    return *w;
}

} // namespace

gui::Chart3DWindow* NewChart3DWindow() { return new Frm3DChart; }
gui::ContourWindow* NewContourWindow() { return new FrmContour; }
gui::DiagonalWindow* NewDiagonalWindow() { return new FrmDiagonal; }
gui::ChordPlotWindow* NewChordPlotWindow() { return new FrmChordPlot; }

void InstallPlotWindows()
{
    gui::WindowFactories f;
    f.frm3DChart = NewChart3DWindow;
    f.frmContour = NewContourWindow;
    f.frmDiagonal = NewDiagonalWindow;
    f.frmChordPlot = NewChordPlotWindow;
    gui::SetWindowFactories(f);
}

Frm3DChart& frm3DChart() { return Typed<Frm3DChart>(gui::frm3DChart()); }
FrmContour& frmContour() { return Typed<FrmContour>(gui::frmContour()); }
FrmDiagonal& frmDiagonal() { return Typed<FrmDiagonal>(gui::frmDiagonal()); }
FrmChordPlot& frmChordPlot() { return Typed<FrmChordPlot>(gui::frmChordPlot()); }

void Setup3DChart(bool reduced)
{
    const SurfaceBuild b =
        plots::Setup3DChart(frm3DChart().chart(), ModelGrid(reduced), ModelFacts(), MainWindowBoxes());
    if (b.levelStepWritten) plotState.LevelStep = b.levelStep;
}

void SetupContourChart(int cols, int rows, bool reduce)
{
    GridInput grid = ModelGrid(reduce);
    grid.cols = cols;
    grid.rows = rows;
    const ContourBuild b = plots::SetupContourChart(frmContour().chart(), grid, ModelFacts(), MainWindowBoxes(),
                                                    model::state.ChordPickMode);
    if (b.contourLimitsWritten) {
        plotState.ContourZMin = b.contourZMin;
        plotState.ContourZMax = b.contourZMax;
    }
    plotState.LevelStep = b.levelStep;
}

void SetupDiagonalChart()
{
    FrmDiagonal& w = frmDiagonal();
    std::vector<float> ab, cd;
    ModelDiagonals(&ab, &cd);
    OptionBoxes boxes = MainWindowBoxes();
    const DiagonalBuild b =
        plots::SetupDiagonalChart(w.chart(), ab, cd, w.chkNormalize->isChecked(), ModelFacts(), boxes);
    if (b.cornerMasked) {
        model::ShowMsg(kCornerMaskMessage, 0, model::AppTitle);
        // Clearing the box runs its handler, which draws the plain profiles.
        w.chkNormalize->setChecked(false);
        return;
    }
    model::images.DiagonalAB = b.ab;
    model::images.DiagonalCD = b.cd;
}

} // namespace plots
