// The batch configuration charts as designed.
#include "chart_design.h"

#include "app/core/runtime.h"
#include "plots/builders/appearance.h"
#include "plots/builders/chart_builders.h"

#include <cmath>

namespace batchcfg {

using charts::Axis3D;

namespace {

void Placeholders(charts::Chart3D& c, int count)
{
    c.removeAllLegendLabels();
    for (int k = 0; k < count; ++k) c.appendLegendLabel("--------");
}

} // namespace

void SurfaceLegendPlaceholders(charts::Chart3D& c)
{
    c.removeAllLegendLabels();
    c.setLegendLabelSecondText(1, "--------");
    c.setLegendLabelSecondText(2, c.legendLabelSecondText(1));
    for (int k = 1; k <= 15; ++k) c.setLegendLabelText(4 * k, "--------");
    c.setLegendLabelSecondText(64, "--------");
}

int AxisFontPercent(int units) { return int(std::lround(units * 2.5)); }
int AxisFontUnits(int percent) { return int(core::RoundHalfEven(percent / 2.5)); }

void DesignCharts(const ConfigCharts& k)
{
    charts::Chart3D& s = *k.surface;
    charts::Chart3D& c = *k.contour;
    s.setKind(charts::ChartKind::Surface);
    c.setKind(charts::ChartKind::Contour);
    for (charts::Chart3D* p : {&s, &c}) {
        p->setHeaderText("Phase Image Name");
        p->setFooterText("Coplanarity Value");
        p->setAxisTitle(Axis3D::X, "X (units)");
        p->setAxisTitle(Axis3D::Y, "Y (units)");
    }
    s.setAxisTitle(Axis3D::Z, "Displacement (units)");
    SurfaceLegendPlaceholders(s);
    Placeholders(c, 15);
    c.setLegendMode(2);
    for (Axis3D a : {Axis3D::X, Axis3D::Y, Axis3D::Z}) {
        s.setAxisTitleFontSize(a, AxisFontPercent(40));
        s.setAxisNumberFontSize(a, AxisFontPercent(40));
        c.setAxisTitleFontSize(a, AxisFontPercent(50));
        c.setAxisNumberFontSize(a, AxisFontPercent(50));
    }
    s.setSize(QSize(860, 640));
    c.setSize(QSize(860, 640));
    plots::ApplyAppearanceStyle(c, 0);
    k.diagonal->setSize(QSize(860, 560));
    plots::ConfigureDiagonalChart(*k.diagonal, true);

    for (charts::Chart3D* l : {k.surfaceLegend, k.contourLegend}) {
        l->setKind(charts::ChartKind::LegendOnly);
        l->setSize(QSize(180, 480));
        l->setHeaderText("Phase Image Filename");
        l->setFooterText("Coplanarity Value");
        l->setHeaderShown(false);
        l->setFooterShown(false);
        l->setLegendShown(true);
    }
    k.surfaceLegend->setAxisTitle(Axis3D::X, "X (in)");
    k.surfaceLegend->setAxisTitle(Axis3D::Y, "Y (in)");
    k.surfaceLegend->setAxisTitle(Axis3D::Z, "Displacement (mils)");
    SurfaceLegendPlaceholders(*k.surfaceLegend);
    k.contourLegend->removeAllLegendLabels();
    for (int n = 1; n <= 18; ++n) k.contourLegend->appendLegendLabel(QString("Level %1").arg(n));
    plots::ApplyAppearanceStyle(*k.contourLegend, 0);
    k.contourLegend->setChartBackground(Qt::white);
}

} // namespace batchcfg
