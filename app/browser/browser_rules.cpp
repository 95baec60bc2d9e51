// The result browser's kinds, filters, layouts, phase-image lookup and grid positions.
#include "app/browser/browser_rules.h"

#include "platform/folders.h"
#include "platform/wildcard.h"

#include <algorithm>
#include <cmath>

namespace browser {

namespace {

struct KindRow {
    const char* menuName;
    const char* caption;
    const char* entry;  // "" for the phase kind, whose entry depends on the format
    const char* test;
};

const KindRow kKinds[KindCount] = {
    {"mnuopt3D", "3D Surface Plots", "*_3D.bmp;*_3D.jpg;", "*_3D*"},
    {"mnuoptContour", "Contour Plots", "*_ctr.bmp;*_ctr.jpg;", "*_ctr*"},
    {"mnuoptDiagonal", "Diagonal Plots", "*_dia.bmp;*_dia.jpg;", "*_dia*"},
    {"mnuoptChord", "Chord Plots", "*_crd.bmp;*_crd.jpg;", "*_crd*"},
    {"mnuoptPhaseImages", "Phase Images", "", ""},
    {"mnuoptMaskImages", "Mask Images", "*_msk.tif;", "*_msk.tif*"},
    {"mnuoptLegendFiles", "Legend Files", "*Legend*.bmp;*Legend*.jpg;", "*Legend*"},
};

const std::array<GridLayout, 3> kLayouts = {{
    {5, 110, 175, "optFiveByFive", "5 x 5"},
    {4, 143, 224, "optFourByFour", "4 x 4"},
    {3, 196, 305, "optThreeByThree", "3 x 3"},
}};

// Picture suffixes (from the last "_") that belong to an analysed image.
const char* const kPlotSuffixes[] = {"_3D.bmp", "_3D.jpg", "_ctr.bmp", "_ctr.jpg",
                                     "_dia.bmp", "_dia.jpg", "_crd.bmp", "_crd.jpg"};

// Kind tests and phase-image names respect letter case.
bool MatchCase(const std::string& pattern, const std::string& text)
{
    return platform::WildcardMatch(pattern, text, platform::LetterCase::Respect);
}

bool ValidKind(int kind) { return kind >= 0 && kind < KindCount; }

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

const char* KindMenuName(int kind) { return ValidKind(kind) ? kKinds[kind].menuName : ""; }
const char* KindCaption(int kind) { return ValidKind(kind) ? kKinds[kind].caption : ""; }

std::string KindEntryText(int kind, const std::string& ext)
{
    if (!ValidKind(kind)) return {};
    if (kind == KindPhase) return "*_ph." + ext + ";";
    return kKinds[kind].entry;
}

std::string KindTestPattern(int kind, const std::string& ext)
{
    if (!ValidKind(kind)) return {};
    if (kind == KindPhase) return "*_ph." + ext + "*";
    return kKinds[kind].test;
}

FilterEntries EntriesForFilter(const std::string& filter, const std::string& ext)
{
    FilterEntries e;
    for (int k = 0; k < KindCount; ++k)
        if (MatchCase(KindTestPattern(k, ext), filter)) e[size_t(k)] = KindEntryText(k, ext);
    return e;
}

std::string JoinEntries(const FilterEntries& entries)
{
    std::string all;
    for (const auto& e : entries) all += e;
    if (!all.empty()) all.pop_back();
    return all;
}

std::string AllKindsFilter(const std::string& ext)
{
    FilterEntries all;
    for (int k = 0; k < KindCount; ++k) all[size_t(k)] = KindEntryText(k, ext);
    return JoinEntries(all);
}

const GridLayout* LayoutFor(int n)
{
    for (const auto& l : kLayouts)
        if (l.n == n) return &l;
    return nullptr;
}

const std::array<GridLayout, 3>& Layouts() { return kLayouts; }

bool OffersLoadPhaseImage(const std::string& path, const std::string& ext)
{
    const size_t underscore = path.rfind('_');
    if (underscore == std::string::npos) return false;
    const std::string suffix = path.substr(underscore);
    if (suffix == "_ph." + ext) return true;
    for (const char* s : kPlotSuffixes)
        if (suffix == s) return true;
    return false;
}

std::string PhaseFileFor(const std::string& path, const std::string& ext,
                         const std::function<bool(const std::string&)>& exists)
{
    if (MatchCase("*_ph." + ext, path)) return path;
    const size_t underscore = path.rfind('_');
    if (underscore == std::string::npos) return "ph." + ext;
    const std::string base = path.substr(0, underscore);  // "folder/part" or "folder/part_rel"
    const std::string same = base + "_ph." + ext;
    // A relative output is named after its image with "_rel" added.
    if (EndsWith(base, "_rel") && base.size() > 4 && base[base.size() - 5] != '/' && !exists(same))
        return base.substr(0, base.size() - 4) + "_ph." + ext;
    return same;
}

std::string PhaseNotFoundText(const std::string& phaseFile)
{
    return "The corresponding phase image file\r" + platform::FileNameOf(phaseFile) + " was not found in this folder.";
}

long TopIndexToShow(long index, long top, int n)
{
    const long last = top + long(n) * n - 1;
    return index < top || index > last ? index : top;
}

PictureBox PlacePicture(int width, int height, int areaWidth, int areaHeight, int reserved, int centreX, int centreY)
{
    PictureBox b{centreX - width / 2, centreY - height / 2, width, height};
    if (b.left >= 0 && b.top >= 0 && b.left + width <= areaWidth && b.top + height <= areaHeight) return b;
    const int freeWidth = std::max(1, areaWidth);
    const int freeHeight = std::max(1, areaHeight - reserved);
    if (width > freeWidth || height > freeHeight) {
        const double scale = std::min(double(freeWidth) / width, double(freeHeight) / height);
        b.width = std::clamp(int(std::lround(width * scale)), 1, freeWidth);
        b.height = std::clamp(int(std::lround(height * scale)), 1, freeHeight);
    }
    b.left = (areaWidth - b.width) / 2;
    b.top = reserved + (freeHeight - b.height) / 2;
    return b;
}

} // namespace browser
