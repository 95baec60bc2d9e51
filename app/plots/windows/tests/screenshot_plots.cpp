// Screenshot harness of tools/screenshot-plots.sh (run under Xvfb, not by
// CTest): analyses a synthetic dome, shows each plot window in turn and grabs
// the screen with ImageMagick's import.
//   screenshot_plots SCRATCH_DIR OUT_DIR
#include "app/core/figures.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/pipeline.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/strandel_binding.h"
#include "plots/builders/plot_state.h"
#include "plots/windows/frm_3dchart.h"
#include "plots/windows/frm_chordplot.h"
#include "plots/windows/frm_contour.h"
#include "plots/windows/frm_createlegend.h"
#include "plots/windows/frm_diagonal.h"
#include "plots/windows/plot_windows.h"
#include "testsupport/screenshot.h"
#include "testsupport/windows/standin_windows.h"
#include "tools/synth/synth.h"

#include <QMouseEvent>

#include <cstdio>
#include <string>

namespace {

QPoint OnNode(charts::Chart3D& c, int i, int j)
{
    QPointF p;
    c.gridNodeToPixel(i, j, &p);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint q(int(p.x()) + dx, int(p.y()) + dy);
            const charts::NearestPoint n = c.nearestDataPoint(q.x(), q.y());
            if (n.gridX == i && n.gridY == j && n.region == -100) return q;
        }
    return p.toPoint();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshot_plots SCRATCH_DIR OUT_DIR\n");
        return 2;
    }
    const std::string scratch = argv[1], out = argv[2];
    testsupport::ScreenshotApp app(argc, argv);
    platform::SetMessageHandler([](const std::string& text, int, const std::string& title) {
        std::printf("%s: %s\n", title.c_str(), text.c_str());
        return 1;
    });
    platform::SetBaseFolder(scratch + "/base");
    testsupport::standins::InstallStandinWindows();
    plots::InstallPlotWindows();

    // A dome with a blank border, 320 x 240, analysed with LSF levelling.
    const int cols = 320, rows = 240;
    std::string err;
    auto z = synth::ParseSurface("dome:0.0004+plane:0.002,0.001,0", cols, rows, &err);
    auto px = synth::WrapToPhase(cols, rows, z, 0.5, synth::ParseBlank("border:4", cols, rows, &err));
    const std::string img = scratch + "/Dome_ph.tif";
    if (strandel::WriteTIFFFile(img, cols, rows, synth::MakeHeader(0.5, cols, rows), px.data()) != 0) return 1;
    model::ResetModel();
    model::state.StartupInProgress = false;
    core::SetUnitScaleFactor();
    core::InstalledImage installed;
    if (!core::LoadPhaseImageFile(img, &err, &installed)) return 1;
    core::AnalysisOptions o;
    o.exclude128 = installed.hasHeader;
    if (!core::RunCalculateDisplacement(o).completed) return 1;

    bool ok = true;
    auto& w3 = plots::frm3DChart();
    w3.setWindowTitle("Sorvanta 3D Surface Plot");
    w3.Setup3DChart(true);
    w3.chkLegend->setChecked(true);
    w3.txtHeader->setText(w3.ChartHeader());
    w3.txtFooter->setText(w3.ChartFooter());
    w3.show();
    w3.cmdCustomize_Click();
    testsupport::Settle();
    // A point readout with P held.
    plots::plotState.PickKeyHeld = true;
    QPointF node;
    w3.chart().gridNodeToPixel(20, 30, &node);
    w3.Chart3D1_MouseUp(1, 0, int(node.x()), int(node.y()));
    plots::plotState.PickKeyHeld = false;
    ok &= testsupport::SettleAndGrab(out + "/plot-3d.png");
    w3.cmdClose_Click();

    auto& wc = plots::frmContour();
    wc.setWindowTitle("Sorvanta Contour Plot");
    wc.SetupContourChart(50, 50, true);
    wc.txtHeader->setText(wc.ChartHeader());
    wc.txtFooter->setText(wc.ChartFooter());
    wc.show();
    ok &= testsupport::SettleAndGrab(out + "/plot-contour.png");
    wc.cmbAppearance->setCurrentIndex(3);
    wc.cmdCustomize_Click();
    ok &= testsupport::SettleAndGrab(out + "/plot-contour-lines.png");
    wc.cmdCustomize_Click();
    wc.cmbAppearance->setCurrentIndex(0);

    // Chord pick: press on one node, then the start label.
    model::state.ChordPickMode = true;
    wc.SetupContourChart(50, 50, true);
    for (QPushButton* b : {wc.cmdPrintCntr, wc.cmdSave, wc.cmdCustomize}) b->setEnabled(false);
    testsupport::Settle();
    const QPoint a = OnNode(wc.chart(), 5, 45), b = OnNode(wc.chart(), 46, 8);
    wc.Chart3D2_MouseDown(1, 0, a.x(), a.y());
    ok &= testsupport::SettleAndGrab(out + "/plot-chord-start.png");
    wc.Chart3D2_MouseUp(1, 0, b.x(), b.y());
    ok &= testsupport::SettleAndGrab(out + "/plot-chord.png");
    plots::frmChordPlot().cmdClose_Click();

    auto& wd = plots::frmDiagonal();
    wd.setWindowTitle("Sorvanta Diagonal Plot");
    wd.SetupDiagonalChart();
    wd.txtHeader->setText(wd.ChartHeader());
    wd.show();
    wd.cmdCustomize->click();
    ok &= testsupport::SettleAndGrab(out + "/plot-diagonal.png");
    wd.cmdClose_Click();

    plots::FrmCreateLegend* legend = plots::ShowLegendMaker(plots::LegendType::Contour);
    legend->txtZmin->setText("-4");
    legend->txtZmax->setText("9");
    ok &= testsupport::SettleAndGrab(out + "/plot-legend-maker.png");
    legend->close();
    return ok ? 0 : 1;
}
