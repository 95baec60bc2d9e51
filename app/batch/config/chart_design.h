#pragma once
// The five charts of the batch plot configuration as designed, before any
// preview or output fills them: what each draws, its picture size, its
// placeholder texts, axis fonts and the "Color Fill" contour appearance. The
// configuration window and the command-line batch output start from it.
#include "plots/charts/chart2d.h"
#include "plots/charts/chart3d.h"

namespace batchcfg {

struct ConfigCharts {
    charts::Chart3D* surface = nullptr;
    charts::Chart3D* contour = nullptr;
    charts::Chart2D* diagonal = nullptr;
    charts::Chart3D* surfaceLegend = nullptr;
    charts::Chart3D* contourLegend = nullptr;
};

void DesignCharts(const ConfigCharts& charts);

// The legend labels of a 64-level 3D chart that carry values in an output
// picture (second texts of labels 1, 2 and 64, main texts of every fourth
// label), each "--------"; no other label.
void SurfaceLegendPlaceholders(charts::Chart3D& chart);

// Axis font sizes: the window's size boxes hold the chart component's units
// (40 is the normal size), the 3D charts take percent of their base font.
int AxisFontPercent(int units);
int AxisFontUnits(int percent);

} // namespace batchcfg
