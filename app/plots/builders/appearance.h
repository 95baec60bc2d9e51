#pragma once
// The four contour appearances: list entry, style file in "Utility Files",
// filled bands or lines, and the chart and legend background.
#include "plots/charts/chart3d.h"

#include <QString>

namespace plots {

struct Appearance {
    const char* entry;       // "Color Fill", "Gray Fill", "Color Lines", "Black Lines"
    const char* styleFile;   // e.g. "Colorfill Contour.sty"
    bool filled;
    unsigned background;     // 0xRRGGBB
};

// The four entries in list order.
const Appearance* Appearances();
// Index of an entry text or of its settings name ("ColorFill" ...), any case
// and spacing; -1 for none.
int AppearanceIndex(const QString& entry);
// Sets a contour chart's filled flag, style file and backgrounds for
// appearance i (nothing for another i). A missing or unreadable style file
// falls back to the built-in twin of that file.
void ApplyAppearanceStyle(charts::Chart3D& chart, int i);

} // namespace plots
