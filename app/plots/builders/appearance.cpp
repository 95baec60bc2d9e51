#include "appearance.h"

#include "plots/charts/chartstyle.h"
#include "plots/styles/plotstyles.h"

namespace plots {
namespace {

const Appearance kAppearances[4] = {
    {"Color Fill", "Colorfill Contour.sty", true, 0xFFFFFF},
    {"Gray Fill", "Grayfill Contour.sty", true, 0xFFFFFF},
    {"Color Lines", "Colorline Contour.sty", false, 0xD6D3CE},
    {"Black Lines", "Blackline Contour.sty", false, 0xD6D3CE},
};

QString Squeezed(QString s) { return s.remove(' ').toLower(); }

} // namespace

const Appearance* Appearances() { return kAppearances; }

int AppearanceIndex(const QString& entry)
{
    const QString want = Squeezed(entry);
    for (int i = 0; i < 4; ++i) {
        const QString e = Squeezed(kAppearances[i].entry);
        // "Color Lines" is "ColorLine" in the settings.
        if (want == e || (e.endsWith('s') && want == e.chopped(1))) return i;
    }
    return -1;
}

void ApplyAppearanceStyle(charts::Chart3D& chart, int i)
{
    if (i < 0 || i > 3) return;
    const Appearance& a = kAppearances[i];
    chart.setContourFilled(a.filled);
    const QString path = QString::fromStdString(ChartStylePath(a.styleFile));
    if (!chart.loadStyle(path)) chart.setStyle(charts::BuiltInStyle(a.styleFile));
    chart.setChartBackground(QColor::fromRgb(a.background));
    chart.setLegendBackground(QColor::fromRgb(a.background));
}

} // namespace plots
