#pragma once
// Profiles along pixel lines and the flatness figures of a result: centre
// deflection, bow and twist ("IPC Twist"), and the Parameters command text.
// The matrix passed is model::images.ResultMatrix in every caller.
#include "app/core/model/model.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace core {

// True for a displacement value that carries no data: the no-data marker, NaN
// or an infinity. Every figure, range and check of a result uses this test.
inline bool IsNoData(float v) { return v == model::NoDataValue || !std::isfinite(v); }

// Sample sizes (in the lateral units) that the figures and the compensation
// accept: finite numbers from kMinSampleSize to kMaxSampleSize.
inline constexpr double kMinSampleSize = 0.001;
inline constexpr double kMaxSampleSize = 100000.0;
bool UsableSampleSize(double size);

struct ProfilePoint {
    int32_t x = 0;
    int32_t y = 0;
    float value = 0;
};

// The points of the integer line from (x1, y1) to (x2, y2), both ends
// included, max(|dx|, |dy|) + 1 of them, each with the matrix element there.
// (0,0)->(5,2) gives (0,0) (1,0) (2,1) (3,1) (4,2) (5,2). Points outside the
// matrix carry NoDataValue.
std::vector<ProfilePoint> LineProfile(const model::SingleMatrix& m, int16_t x1, int16_t y1, int16_t x2, int16_t y2);

// Samples ResultMatrix along the same line into model::images.ProfileData
// (element 0 at (x1, y1)).
void ChordProfile(int16_t x1, int16_t y1, int16_t x2, int16_t y2);

// Corner window of a diagonal of n points: 5 % of n, halves to even
// (50 -> 2, 70 -> 4, 641 -> 32).
int CornerWindow(int n);

struct Corner {
    float value = model::NoDataValue;
    int32_t x = 0;
    int32_t y = 0;
};
// Corners A (0,0), B (XMax,YMax), C (0,YMax), D (XMax,0): the first data point
// within the corner window stepping inward along the diagonals AB and CD.
struct Corners {
    Corner A, B, C, D;
};
Corners FindCorners(const model::SingleMatrix& m);

// Mean of the four corners less the centre value, or NoDataValue.
float ComputeCenterDeflection(const model::SingleMatrix& m);
// Largest signed deviation of an edge from its chord over the edge length, in
// percent (UnitScaleFactor), or NoDataValue; also NoDataValue when width or
// height is not a usable size.
float ComputeBow(const model::SingleMatrix& m, float width, float height);
// ((A + B - C - D) / diagonal length) / 2 in percent, or NoDataValue; also
// NoDataValue when width or height is not a usable size.
float ComputeIpcTwist(const model::SingleMatrix& m, float width, float height);

// Plot ranges typed into the Z and diagonal boxes of the windows, in the
// displacement units: a limit beyond any displacement a measurement gives
// and within what the plots' labels show as plain numbers.
inline constexpr double kPlotRangeLimit = 999999.0;
// True for a range value the plots can take: finite, from -kPlotRangeLimit to
// kPlotRangeLimit.
bool UsablePlotRangeValue(double value);
// The message for a box whose value a plot cannot take ("Z Max must be a
// number from -999999 to 999999.").
std::string PlotRangeValueMessage(const std::string& box);
// The narrowest range the plots draw: labels and levels need ends this far
// apart to stay distinct.
inline constexpr double kLeastPlotSpan = 0.000001;
// The reason a typed range lo..hi (boxes loBox and hiBox) cannot be drawn: an
// end the plots cannot take, or ends closer than kLeastPlotSpan; "" when it
// can. The order of the two ends is the callers' to check, with their own
// messages.
std::string PlotRangeProblem(double lo, double hi, const std::string& loBox = "Z Min",
                             const std::string& hiBox = "Z Max");

// UnitScaleFactor from XYUnits and ZUnits: mm with mils 2.54, in with microns
// 0.003937, else 0.1.
void SetUnitScaleFactor();

// The Parameters text of the current result for the two sample-size texts:
// "IPC Twist: 0.45%    Bow: -1.00%    Center Deflection: 20.0 mils" ("n/a" for
// a figure without data, and bow and twist for a size that UsableSampleSize
// refuses). When a text is not numeric it shows "Parameters require image
// physical Width and Height." (16, "Information Missing"), moves the focus to
// the width box and returns nothing.
std::optional<std::string> CalculateParametersText(const std::string& widthText, const std::string& heightText);
// The Parameters command: the text above in a box (64, "Parameter Values").
// Returns false when the sizes were missing.
bool RunCalculateParameters(const std::string& widthText, const std::string& heightText);

} // namespace core
