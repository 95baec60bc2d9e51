#pragma once
// The plain rules of the plot windows, kept apart from the widgets so that
// tests drive them directly: picture names of Save, the size boxes, the view
// angle boxes, the point readout, the chord pick's grid mapping and length,
// and the legend maker's names and range check.
#include <optional>
#include <string>
#include <vector>

namespace plots {

// --- Save.
// The save filter of a window with picture suffix "_ctr", "_3D", "_dia" or "_crd".
std::string GraphSaveFilter(const std::string& suffix);
// The file a Save writes for the name chosen under filter index 1 (bitmap) or
// 2 (JPEG): nothing when the name does not end in ".bmp" / ".jpg" (any case);
// else the name itself when it already ends in suffix + extension (any case),
// or the name without its last four characters plus suffix + extension.
std::optional<std::string> GraphSaveTarget(const std::string& chosen, int filterIndex, const std::string& suffix);
// "The file cannot be saved." CR "Invalid filename specified."
std::string InvalidFileNameMessage();
// A picture that could not be written: "The file cannot be saved." CR the
// file's path, ": " and the reason.
std::string CannotSaveMessage(const std::string& path, const std::string& reason);
// Folder of a path up to and including its last separator.
std::string FolderWithSeparator(const std::string& path);

// --- Size boxes: a numeric text within [lo, hi] gives its value rounded half
// to even; anything else nothing.
std::optional<int> SizeEntry(const std::string& text, double lo, double hi);

// --- View angle boxes.
// The altitude box text of an elevation: E, or E - 360 above 180, as a whole number.
std::string AltitudeText(double elevation);
std::string RotationText(double rotation);
// A typed angle: numeric text rounded half to even into the 16-bit range.
std::optional<int> TypedAngle(const std::string& text);
// The view's angle in the general number format (fractions kept).
std::string GeneralNumber(double v);

// --- Point readout of the 3D window.
// Position pattern: "0.00" for inches, "0.0" for millimetres when both sample
// size texts are numeric, else "0" (pixels).
std::string PositionPattern(const std::string& widthText, const std::string& heightText, const std::string& xyUnits);
// "12.3 mils" CR "(x,y) = (1.25,0.50)".
std::string PointLabelText(double z, double x, double y, const std::string& zFormat, const std::string& zUnits,
                           const std::string& positionPattern);
// The label stands in the plot area's corner on the side of the chart the
// point lies on, clear of the axis texts (Chart3DLayout::freeSpot).

// --- Chord pick.
// Image column or row of a reduced-grid index (1..50): columns run with the
// index, rows against it (grid row 50 is image row 0).
int GridToImageX(int gridX, int xMax);
int GridToImageY(int gridY, int yMax);
// Chord length and X values: ChordLength and ProfileXValues (chart_builders.h).

// --- Legend maker.
// "3D Legend (0 to 64 microns)" / "Contour Legend (-1.5 to 2.0 mils)".
std::string LegendDefaultName(bool threeD, double zmin, double zmax, const std::string& zFormat,
                              const std::string& zUnits);
// The legend's file name must end in ".bmp" (index 1) or ".jpg" (index 2), letter case as typed.
bool LegendNameMatches(const std::string& path, int filterIndex);
extern const char* const kLegendSaveFilter;   // "Bitmap Files (*.bmp)|*.bmp|JPEG Files (*.jpg)|*.jpg"

} // namespace plots
