#pragma once
// The result browser's rules as plain functions: the kinds of result pictures
// and their name patterns, the filter that turns kinds on, the grid layouts,
// which pictures offer "Load Phase Image" and which phase image belongs to a
// picture, and where an item lies in the grid. The windows only wire these to
// the thumbnail control and their menus.
#include <array>
#include <functional>
#include <string>

namespace browser {

// Kinds of pictures, in the order of their filter entries.
enum Kind : int { Kind3D, KindContour, KindDiagonal, KindChord, KindPhase, KindMask, KindLegend, KindCount };

// Menu item name and caption of a kind ("mnuopt3D", "3D Surface Plots").
const char* KindMenuName(int kind);
const char* KindCaption(int kind);
// The entry a shown kind puts into the pattern ("*_3D.bmp;*_3D.jpg;"); `ext`
// is the phase-image format in lower case ("tif" or "bmp").
std::string KindEntryText(int kind, const std::string& ext);
// What a filter must contain for the kind to be shown ("*_3D*").
std::string KindTestPattern(int kind, const std::string& ext);

using FilterEntries = std::array<std::string, KindCount>;

// Each kind's entry for a filter: its text when the filter matches the
// kind's test pattern, else empty.
FilterEntries EntriesForFilter(const std::string& filter, const std::string& ext);
// The entries joined, without the last ";" (empty when every kind is off).
std::string JoinEntries(const FilterEntries& entries);
// The filter of all seven kinds (the browser's start and the main window's).
std::string AllKindsFilter(const std::string& ext);
// The batch window's filter: plot pictures and legends.
inline constexpr const char* kBatchFilter =
    "*_3D.bmp;*_3D.jpg;*_ctr.bmp;*_ctr.jpg;*_dia.bmp;*_dia.jpg;*Legend*.bmp;*Legend*.jpg";

// Grid layouts n x n with their thumbnail sizes.
struct GridLayout {
    int n;
    int thumbnailHeight;
    int thumbnailWidth;
    const char* menuName;
    const char* caption;
};
// The layout of n (3, 4 or 5); null for any other n.
const GridLayout* LayoutFor(int n);
const std::array<GridLayout, 3>& Layouts();  // 5, 4, 3 as the menu lists them

// True when the picture is a phase image or a plot picture, the files whose
// right-click menu offers "Load Phase Image".
bool OffersLoadPhaseImage(const std::string& path, const std::string& ext);

// The phase image that belongs to a picture: a phase image itself, or the
// image of the same base name in the same folder. A relative batch output
// ("part_rel_3D.bmp") belongs to "part_ph.<ext>", unless an image named
// "part_rel_ph.<ext>" exists. `exists` tells whether a file is there.
std::string PhaseFileFor(const std::string& path, const std::string& ext,
                         const std::function<bool(const std::string&)>& exists);
// "The corresponding phase image file" CR name " was not found in this folder."
std::string PhaseNotFoundText(const std::string& phaseFile);

// Top index that brings `index` into an n x n window starting at `top`
// (unchanged when it is already in view).
long TopIndexToShow(long index, long top, int n);

// Where the full-size viewer puts a picture of `width` x `height` in a client
// area of `areaWidth` x `areaHeight` whose top `reserved` rows hold the file
// name: centred on (centreX, centreY) when it lies whole in the area there;
// otherwise centred in the area below the name, scaled down with its aspect
// kept when it is larger than that area, so that every part, its header
// above all, can be seen.
struct PictureBox {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const PictureBox& o) const
    {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
};
PictureBox PlacePicture(int width, int height, int areaWidth, int areaHeight, int reserved, int centreX = 513,
                        int centreY = 330);

} // namespace browser
