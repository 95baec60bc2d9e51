#pragma once
// The plot windows of the program and the chart builders as the main window
// calls them, fed from the shared data model and the main window's boxes.
//
// The program's window table names the New...Window factories; a test that
// runs without that table calls InstallPlotWindows() before the first use of
// a plot window.
#include "app/core/gui/windows.h"
#include "app/core/model/matrix.h"
#include "plots/builders/chart_builders.h"

namespace plots {

class Frm3DChart;
class FrmContour;
class FrmDiagonal;
class FrmChordPlot;

gui::Chart3DWindow* NewChart3DWindow();
gui::ContourWindow* NewContourWindow();
gui::DiagonalWindow* NewDiagonalWindow();
gui::ChordPlotWindow* NewChordPlotWindow();

void InstallPlotWindows();

// The main window's option boxes the single-image builders read (rotation,
// sample size, Z range); empty texts when there is no main window.
OptionBoxes MainWindowBoxes();

// The one instance of each window (created on first use; InstallPlotWindows first).
Frm3DChart& frm3DChart();
FrmContour& frmContour();
FrmDiagonal& frmDiagonal();
FrmChordPlot& frmChordPlot();

// Fills frm3DChart's surface from ReducedData when `reduced`, else ChartData,
// with the main window's boxes; writes LevelStep when the Z range comes from
// the boxes.
void Setup3DChart(bool reduced);
// Fills frmContour's map: (50, 50, true) the reduced grid, else the full
// chart data; writes ContourZMin, ContourZMax and LevelStep.
void SetupContourChart(int cols, int rows, bool reduce);
// Fills frmDiagonal's chart from ResultMatrix's diagonals, normalised when its
// Normalize box is ticked; writes DiagonalAB and DiagonalCD. With a corner
// missing it shows "Data cannot be normalized due to corner mask." and clears
// the box, which draws the plain profiles.
void SetupDiagonalChart();

} // namespace plots
