#include "chart_builders.h"

#include "app/core/figures.h"
#include "app/core/runtime.h"
#include "platform/qtext.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace plots {

using charts::Axis2D;
using charts::Axis3D;
using charts::Chart2D;
using charts::Chart3D;

const char* const kChordPickPrompt = "Click and hold left mouse button to select initial point:";
const char* const kCornerMaskMessage = "Data cannot be normalized due to corner mask.";
const char* const kSeriesAB = "Upper Left to Lower Right (AB)";
const char* const kSeriesCD = "Lower Left to Upper Right (CD)";

namespace {

constexpr double kNoData = 9999.0;

using platform::Q;
bool Auto(const std::string& box) { return core::EqualsNoCase(box, "Auto"); }
bool BothNumeric(const std::string& a, const std::string& b) { return core::IsNumeric(a) && core::IsNumeric(b); }
// Gaps between the points along an axis; a one-point axis counts one gap so
// that its spacing stays finite.
double GapCount(int points) { return points > 1 ? points - 1.0 : 1.0; }

// Grid, header, footer, X and Y axes: the steps the surface and contour builders share.
void CommonSteps(Chart3D& chart, const GridInput& grid, const ResultFacts& facts, const OptionBoxes& boxes,
                 const BatchChartOptions* batch, bool setHeader, const std::string& headerText)
{
    chart.setHoleValue(kNoData);
    chart.setPointsX(grid.cols);
    chart.setPointsY(grid.rows);
    if (setHeader) chart.setHeaderText(Q(headerText));
    const bool setFooter = !batch || (Auto(batch->footer) && (batch->footerTicked));
    if (setFooter) chart.setFooterText(Q(RangeFooter(boxes.rotation, facts)));
    const bool xTitle = !batch || batch->xLabel, yTitle = !batch || batch->yLabel;
    if (BothNumeric(boxes.sampleWidth, boxes.sampleHeight)) {
        const double w = core::Val(boxes.sampleWidth), h = core::Val(boxes.sampleHeight);
        chart.setSpacingX(w / GapCount(grid.cols));
        chart.setOriginX(0.0);
        chart.setAxisMax(Axis3D::X, w);
        chart.setAxisMin(Axis3D::X, 0.0);
        if (xTitle) chart.setAxisTitle(Axis3D::X, Q("X (" + facts.xyUnits + ")"));
        chart.setSpacingY(h / GapCount(grid.rows));
        chart.setOriginY(0.0);
        chart.setAxisMax(Axis3D::Y, h);
        chart.setAxisMin(Axis3D::Y, 0.0);
        if (yTitle) chart.setAxisTitle(Axis3D::Y, Q("Y (" + facts.xyUnits + ")"));
    } else {
        chart.setSpacingX(grid.reduced ? facts.xMax / 49.0 : 1.0);
        chart.setSpacingY(grid.reduced ? facts.yMax / 49.0 : 1.0);
        chart.setOriginX(0.0);
        chart.setAxisMaxAuto(Axis3D::X, true);
        chart.setAxisMinAuto(Axis3D::X, true);
        if (xTitle) chart.setAxisTitle(Axis3D::X, "X (pixels)");
        chart.setOriginY(0.0);
        chart.setAxisMaxAuto(Axis3D::Y, true);
        chart.setAxisMinAuto(Axis3D::Y, true);
        if (yTitle) chart.setAxisTitle(Axis3D::Y, "Y (pixels)");
    }
}

// Replaces the level table with count levels from lo up in steps of
// (hi - lo) / divisions (the step kept as a 4-byte float); returns the step.
float EvenLevelTable(Chart3D& chart, double lo, double hi, int divisions, int count)
{
    chart.setLevelTableReset(true);
    chart.setLevelCount(0);
    const float step = float((hi - lo) / divisions);
    for (int i = 0; i < count; ++i) chart.addLevel(lo + i * double(step));
    return step;
}

std::vector<float> Values(const GridInput& grid) { return grid.values ? *grid.values : std::vector<float>(); }

// The 3D legend's labels in sixteenths from zmin, `labelStep` apart: label 1
// and 2 second text the minimum, label 4k main text the k-th sixteenth,
// label 64 second text the maximum.
void Label3DLegend(Chart3D& chart, double zmin, double labelStep, const std::string& zFormat)
{
    std::vector<double> values;
    for (int k = 0; k <= 16; ++k) values.push_back(zmin + k * labelStep);
    const std::vector<std::string> texts = LegendLabelTexts(values, labelStep, zFormat);
    chart.setLegendLabelSecondText(1, Q(texts[0]));
    chart.setLegendLabelSecondText(2, chart.legendLabelSecondText(1));
    for (int k = 1; k <= 15; ++k) chart.setLegendLabelText(4 * k, Q(texts[size_t(k)]));
    chart.setLegendLabelSecondText(64, Q(texts[16]));
}

// The Z range of a pair of boxes: both numeric and a range the charts can
// draw (core::PlotRangeProblem); otherwise the builders take the automatic
// range.
bool BoxRange(const OptionBoxes& boxes, double* zmin, double* zmax)
{
    if (!BothNumeric(boxes.zMin, boxes.zMax)) return false;
    *zmin = core::Val(boxes.zMin);
    *zmax = core::Val(boxes.zMax);
    return core::PlotRangeProblem(*zmin, *zmax).empty();
}

SurfaceBuild Surface(Chart3D& chart, const GridInput& grid, const ResultFacts& facts, const OptionBoxes& boxes,
                     const BatchChartOptions* batch)
{
    SurfaceBuild out;
    chart.setIsBatched(true);
    const bool header = !batch || Auto(batch->header);
    CommonSteps(chart, grid, facts, boxes, batch, header, facts.dataSetName);
    if (!batch || batch->zLabel) chart.setAxisTitle(Axis3D::Z, Q("Displacement (" + facts.zUnits + ")"));
    double zmin, zmax;
    if (BoxRange(boxes, &zmin, &zmax)) {
        chart.setAxisMax(Axis3D::Z, zmax);
        chart.setAxisMin(Axis3D::Z, zmin);
        out.levelStepWritten = true;
        out.levelStep = Apply3DLevels(chart, zmin, zmax, facts.zFormat);
    } else {
        chart.setAxisMinAuto(Axis3D::Z, true);
        chart.setAxisMaxAuto(Axis3D::Z, true);
        chart.setLevelTableReset(true);
        chart.setLevelCount(64);
        Label3DLegend(chart, facts.minZ, facts.zRange / 16.0f, facts.zFormat);
    }
    chart.setGridValues(Values(grid));
    if (facts.xMax <= facts.yMax) {
        chart.setPlotExtentY(800);
        chart.setPlotExtentX(800.0 * (facts.xMax + 1) / (facts.yMax + 1));
    } else {
        chart.setPlotExtentX(800);
        chart.setPlotExtentY(800.0 * (facts.yMax + 1) / (facts.xMax + 1));
    }
    if (chart.chartLabelCount() >= 1) chart.removeAllChartLabels();
    chart.setIsBatched(false);
    return out;
}

ContourBuild Contour(Chart3D& chart, const GridInput& grid, const ResultFacts& facts, const OptionBoxes& boxes,
                     const BatchChartOptions* batch, bool chordPickMode)
{
    ContourBuild out;
    chart.setIsBatched(true);
    const bool header = !batch || Auto(batch->header);
    CommonSteps(chart, grid, facts, boxes, batch, header,
                !batch && chordPickMode ? std::string(kChordPickPrompt) : facts.dataSetName);
    chart.setAxisTitle(Axis3D::Z, Q("Z (" + facts.zUnits + ")"));
    double zmax, zmin;
    if (BoxRange(boxes, &zmin, &zmax)) {
        if (!batch) {
            zmax = float(zmax);
            zmin = float(zmin);
        }
    } else {
        zmax = facts.maxZ;
        zmin = facts.minZ;
    }
    if (!batch) {
        out.contourLimitsWritten = true;
        out.contourZMax = float(zmax);
        out.contourZMin = float(zmin);
    }
    chart.setAxisMax(Axis3D::Z, zmax);
    chart.setAxisMin(Axis3D::Z, zmin);
    out.levelStep = ApplyContourLayout(chart, chart.contourFilled(), chart.axisMin(Axis3D::Z),
                                       chart.axisMax(Axis3D::Z), facts.zFormat);
    chart.setGridValues(Values(grid));
    if (facts.xMax > facts.yMax) {
        chart.setPlotExtentX(10);
        chart.setPlotExtentY(10.0 * (facts.yMax + 1) / (facts.xMax + 1));
    } else {
        chart.setPlotExtentY(10);
        chart.setPlotExtentX(10.0 * (facts.xMax + 1) / (facts.yMax + 1));
    }
    chart.setIsBatched(false);
    return out;
}

DiagonalBuild Diagonal(Chart2D& chart, const std::vector<float>& profileAB, const std::vector<float>& profileCD,
                       bool normalise, const ResultFacts& facts, const OptionBoxes& boxes,
                       const BatchChartOptions* batch)
{
    DiagonalBuild out;
    const float hole = float(kNoData);
    const size_t n = profileAB.size();
    out.ab = profileAB;
    out.cd = profileCD;
    out.cd.resize(n, hole);
    if (normalise && n > 0) {
        const bool masked =
            out.ab.front() == hole || out.ab.back() == hole || out.cd.front() == hole || out.cd.back() == hole;
        if (masked) {
            out.cornerMasked = true;
            if (!batch) return out;
        }
        // A profile whose end value is missing keeps its plain values: the line
        // through its ends is not known.
        NormaliseProfile(out.ab);
        NormaliseProfile(out.cd);
    }
    if (batch) {
        auto track = [&](float v, float& mn, float& mx) {
            if (v == hole) return;
            const float rounded = float(core::Val(core::FormatNumber(v, facts.zFormat)));
            if (v > mx) mx = rounded;
            if (v < mn) mn = rounded;
        };
        for (size_t i = 0; i < n; ++i) {
            track(out.ab[i], out.minAB, out.maxAB);
            track(out.cd[i], out.minCD, out.maxCD);
        }
    }
    chart.setIsBatched(true);
    chart.setHoleValue(kNoData);
    chart.setSeriesCount(2);
    chart.setPointCount(int(n));
    if (!batch || Auto(batch->header)) chart.setHeaderText(Q(facts.dataSetName));
    if (batch && Auto(batch->footer)) {
        const std::string gap = "       ";
        chart.setFooterText(Q("Min AB: " + core::ShortText(out.minAB) + gap + "Max AB: " + core::ShortText(out.maxAB) +
                              gap + "Min CD: " + core::ShortText(out.minCD) + gap + "Max CD: " +
                              core::ShortText(out.maxCD) + gap + "(" + facts.zUnits + ")"));
    }
    float length;
    std::string title;
    if (BothNumeric(boxes.sampleWidth, boxes.sampleHeight)) {
        const double w = core::Val(boxes.sampleWidth), h = core::Val(boxes.sampleHeight);
        length = float(std::sqrt(w * w + h * h));
        title = "Position Along Diagonal (" + facts.xyUnits + ")";
    } else {
        const double c = facts.xMax + 1.0, r = facts.yMax + 1.0;
        length = float(core::RoundHalfEven(std::sqrt(c * c + r * r)));
        title = "Position Along Diagonal (pixels)";
    }
    if (!batch || batch->xLabel) chart.setAxisTitle(Axis2D::X, Q(title));
    chart.setAxisMax(Axis2D::X, length);
    for (size_t i = 1; i <= n; ++i) chart.setX(int(i), double(float(i - 1) * length / float(n)));
    if (!batch || batch->yLabel) chart.setAxisTitle(Axis2D::Y, Q("Displacement (" + facts.zUnits + ")"));
    double lo, hi;
    if (BoxRange(boxes, &lo, &hi)) {
        chart.setAxisMin(Axis2D::Y, lo);
        chart.setAxisMax(Axis2D::Y, hi);
    } else {
        chart.setAxisMinAuto(Axis2D::Y, true);
        chart.setAxisMaxAuto(Axis2D::Y, true);
    }
    for (size_t i = 1; i <= n; ++i) chart.setY(1, int(i), out.ab[i - 1]);
    for (size_t i = 1; i <= n; ++i) chart.setY(2, int(i), out.cd[i - 1]);
    chart.setIsBatched(false);
    out.built = true;
    return out;
}

constexpr int kMostLabelDecimals = 12;

int DecimalsOf(const std::string& zFormat)
{
    const size_t point = zFormat.find('.');
    return point == std::string::npos ? 0 : int(zFormat.size() - point - 1);
}

std::string PatternWith(int decimals) { return decimals == 0 ? "0" : "0." + std::string(size_t(decimals), '0'); }

// A value as the 4-byte floats of the results hold it: the nearest decimal
// of seven significant digits (0.1f is 0.1, not 0.100000001).
double Snapped(double v)
{
    if (v == 0.0 || !std::isfinite(v)) return v;
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", v);
    return std::strtod(text, nullptr);
}

bool Whole(double scaled) { return std::fabs(scaled - std::round(scaled)) <= 1e-9 * std::max(1.0, std::fabs(scaled)); }

// Half-way between two values of the last decimal: either rounding is as true.
bool HalfWay(double scaled)
{
    const double f = std::fabs(scaled - std::trunc(scaled));
    return std::fabs(f - 0.5) < 1e-6;
}

// The text of n units of the last of `decimals` decimals.
std::string UnitsText(long long n, int decimals)
{
    std::string digits = std::to_string(n < 0 ? -n : n);
    if (int(digits.size()) <= decimals) digits.insert(0, size_t(decimals + 1) - digits.size(), '0');
    std::string out = n < 0 ? "-" : "";
    out += digits.substr(0, digits.size() - size_t(decimals));
    if (decimals > 0) out += "." + digits.substr(digits.size() - size_t(decimals));
    return out;
}

} // namespace

std::string LegendLabelFormat(double labelStep, const std::string& zFormat, double first)
{
    const int shown = DecimalsOf(zFormat);
    const double step = std::fabs(Snapped(labelStep));
    first = Snapped(first);
    if (!(step > 0) || !std::isfinite(step)) return zFormat;
    // The fewest decimals that keep neighbouring labels apart ...
    int least = shown;
    while (least < kMostLabelDecimals && step * std::pow(10.0, least) < 1.0 - 1e-9) ++least;
    // ... or up to two more, where they write the step exactly and the first
    // label not half-way between two values: then every label is exact and
    // the labels read evenly spaced.
    for (int d = least; d <= std::min(least + 2, kMostLabelDecimals); ++d) {
        const double scale = std::pow(10.0, d);
        if (Whole(step * scale) && !HalfWay(first * scale)) return d == shown ? zFormat : PatternWith(d);
    }
    return least == shown ? zFormat : PatternWith(least);
}

std::vector<std::string> LegendLabelTexts(const std::vector<double>& values, double step, const std::string& zFormat)
{
    std::vector<std::string> out;
    if (values.empty()) return out;
    const std::string pattern = LegendLabelFormat(step, zFormat, values.front());
    const int d = DecimalsOf(pattern);
    const double scale = std::pow(10.0, d);
    bool sane = true;
    for (double v : values) sane = sane && std::isfinite(v) && std::fabs(v * scale) < 1e17;
    if (!sane) {
        for (double v : values) out.push_back(core::FormatNumber(v, pattern));
        return out;
    }
    // A step the decimals write exactly: the first label and whole steps from
    // it, so that every pair of neighbours is the same distance apart, as
    // long as each label stays its value rounded; otherwise each value rounded.
    const double units = Snapped(step) * scale;
    std::vector<long long> n;
    bool exact = Whole(units);
    for (size_t k = 0; k < values.size() && exact; ++k) {
        n.push_back(std::llround(Snapped(values.front()) * scale) + static_cast<long long>(k) * std::llround(units));
        exact = std::fabs(double(n.back()) - values[k] * scale) <= 0.5 + 1e-6 * std::max(1.0, std::fabs(values[k] * scale));
    }
    if (!exact) {
        n.clear();
        for (double v : values) n.push_back(std::llround(v * scale));
    }
    for (long long units_k : n) out.push_back(UnitsText(units_k, d));
    return out;
}

float Apply3DLevels(Chart3D& chart, double zmin, double zmax, const std::string& zFormat)
{
    const float step = EvenLevelTable(chart, zmin, zmax, 64, 64);
    Label3DLegend(chart, zmin, 4 * double(step), zFormat);
    return step;
}

float ApplyContourLayout(Chart3D& chart, bool filled, double lo, double hi, const std::string& zFormat)
{
    chart.removeAllLegendLabels();
    const float step = filled ? EvenLevelTable(chart, lo, hi, 16, 17) : EvenLevelTable(chart, lo, hi, 18, 19);
    chart.setLegendMode(filled ? 2 : 1);
    chart.appendLegendLabel("");
    // Filled: every level; lines: the levels 2 to 18 as the chart holds them.
    std::vector<double> values;
    for (int j = filled ? 1 : 2; j <= (filled ? 17 : 18); ++j) values.push_back(chart.level(j));
    for (const std::string& t : LegendLabelTexts(values, step, zFormat)) chart.appendLegendLabel(Q(t));
    return step;
}

std::string LegendTitle(const std::string& zUnits) { return "Z (" + zUnits + ")"; }

std::string LegendName(bool threeD, double zmin, double zmax, const std::string& zFormat, const std::string& zUnits)
{
    return std::string(threeD ? "3D Legend (" : "Contour Legend (") + core::FormatNumber(zmin, zFormat) + " to " +
           core::FormatNumber(zmax, zFormat) + " " + zUnits + ")";
}

namespace {
void ShowLegendTitle(Chart3D& chart, const std::string& zUnits)
{
    chart.setHeaderText(Q(LegendTitle(zUnits)));
    chart.setHeaderShown(true);
}
} // namespace

float FillSurfaceLegend(Chart3D& chart, double zmin, double zmax, const std::string& zFormat,
                        const std::string& zUnits)
{
    chart.setIsBatched(true);
    chart.setLegendMode(0);
    const float step = Apply3DLevels(chart, zmin, zmax, zFormat);
    ShowLegendTitle(chart, zUnits);
    chart.setIsBatched(false);
    return step;
}

float FillContourLegend(Chart3D& chart, double zmin, double zmax, const std::string& zFormat,
                        const std::string& zUnits)
{
    chart.setIsBatched(true);
    const float step = ApplyContourLayout(chart, chart.contourFilled(), zmin, zmax, zFormat);
    ShowLegendTitle(chart, zUnits);
    chart.setIsBatched(false);
    return step;
}

std::string RangeFooter(const std::string& rotation, const ResultFacts& facts)
{
    const std::string word = core::MatchesPattern(rotation, "*Lsf*") ? "Coplanarity = " : "Maximum Deflection = ";
    return word + core::FormatNumber(facts.zRange, facts.zFormat) + " " + facts.zUnits;
}

SurfaceBuild Setup3DChart(Chart3D& chart, const GridInput& grid, const ResultFacts& facts, const OptionBoxes& boxes)
{
    return Surface(chart, grid, facts, boxes, nullptr);
}

SurfaceBuild SetupBatch3DChart(Chart3D& chart, const GridInput& grid, const ResultFacts& facts,
                               const OptionBoxes& boxes, const BatchChartOptions& options)
{
    return Surface(chart, grid, facts, boxes, &options);
}

ContourBuild SetupContourChart(Chart3D& chart, const GridInput& grid, const ResultFacts& facts,
                               const OptionBoxes& boxes, bool chordPickMode)
{
    return Contour(chart, grid, facts, boxes, nullptr, chordPickMode);
}

ContourBuild SetupBatchContourChart(Chart3D& chart, const GridInput& grid, const ResultFacts& facts,
                                    const OptionBoxes& boxes, const BatchChartOptions& options)
{
    return Contour(chart, grid, facts, boxes, &options, false);
}

void ConfigureDiagonalChart(Chart2D& chart, bool batch)
{
    chart.setIsBatched(true);
    chart.setSeriesCount(2);
    chart.setSeriesLabel(1, kSeriesAB);
    chart.setSeriesLabel(2, kSeriesCD);
    if (batch) {
        chart.setHeaderText("Phase Image Name");
        chart.setFooterText("Min/Max Values");
        chart.setAxisTitle(Axis2D::X, "Position Along Diagonal (units)");
        chart.setAxisTitle(Axis2D::Y, "Displacement (units)");
    } else {
        chart.setAxisTitle(Axis2D::X, "Position Along Diagonal");
        chart.setAxisTitle(Axis2D::Y, "Displacement");
    }
    chart.setIsBatched(false);
}

bool NormaliseProfile(std::vector<float>& p)
{
    const size_t n = p.size();
    if (n == 0) return true;
    if (p.front() == float(kNoData) || p.back() == float(kNoData)) return false;
    if (n < 2) {
        p[0] = 0.0f;
        return true;
    }
    const float a = p.front(), b = p.back();
    const float d = b - a;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] == float(kNoData)) continue;
        p[i] = p[i] - a - float(i) * d / float(n - 1);
    }
    return true;
}

DiagonalBuild SetupDiagonalChart(Chart2D& chart, const std::vector<float>& profileAB,
                                 const std::vector<float>& profileCD, bool normalise, const ResultFacts& facts,
                                 const OptionBoxes& boxes)
{
    return Diagonal(chart, profileAB, profileCD, normalise, facts, boxes, nullptr);
}

float ChordLength(int x1, int y1, int x2, int y2, int xMax, int yMax, const std::string& widthText,
                  const std::string& heightText, bool* inSampleUnits)
{
    const bool sized = BothNumeric(widthText, heightText);
    if (inSampleUnits) *inSampleUnits = sized;
    double dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
    if (sized) {
        dx = dx * core::Val(widthText) / (xMax + 1.0);
        dy = dy * core::Val(heightText) / (yMax + 1.0);
    }
    return float(std::sqrt(dx * dx + dy * dy));
}

std::vector<double> ProfileXValues(int n, float length)
{
    std::vector<double> x(n > 0 ? size_t(n) : 0);
    for (int i = 1; i <= n; ++i) x[size_t(i - 1)] = double(i - 1) * double(length) / n;
    return x;
}

void SetupChordChart(Chart2D& c, const std::vector<float>& profile, int x1, int y1, int x2, int y2,
                     const ResultFacts& facts, const OptionBoxes& boxes)
{
    const int n = int(profile.size());
    c.setIsBatched(true);
    c.setHoleValue(kNoData);
    c.setSeriesCount(1);
    c.setPointCount(n);
    c.setHeaderText(Q(facts.dataSetName));
    c.setAxisTitle(Axis2D::Y, Q("Displacement (" + facts.zUnits + ")"));
    bool sized = false;
    const float length = ChordLength(x1, y1, x2, y2, facts.xMax, facts.yMax, boxes.sampleWidth, boxes.sampleHeight, &sized);
    c.setAxisTitle(Axis2D::X, Q(sized ? "Position Along Chord (" + facts.xyUnits + ")" : std::string("Position Along Chord (pixels)")));
    c.setAxisMax(Axis2D::X, length);
    const std::vector<double> xs = ProfileXValues(n, length);
    for (int i = 1; i <= n; ++i) c.setX(i, xs[size_t(i - 1)]);
    double lo, hi;
    if (BoxRange(boxes, &lo, &hi)) {
        c.setAxisMin(Axis2D::Y, lo);
        c.setAxisMax(Axis2D::Y, hi);
    } else {
        c.setAxisMinAuto(Axis2D::Y, true);
        c.setAxisMaxAuto(Axis2D::Y, true);
    }
    for (int i = 1; i <= n; ++i) c.setY(1, i, profile[size_t(i - 1)]);
    c.setIsBatched(false);
}

DiagonalBuild SetupBatchDiagonalChart(Chart2D& chart, const std::vector<float>& profileAB,
                                      const std::vector<float>& profileCD, bool normalise, const ResultFacts& facts,
                                      const OptionBoxes& boxes, const BatchChartOptions& options)
{
    return Diagonal(chart, profileAB, profileCD, normalise, facts, boxes, &options);
}

} // namespace plots
