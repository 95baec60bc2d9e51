#include "app/core/figures.h"

#include "app/core/reset.h"
#include "app/core/runtime.h"

#include <cmath>
#include <cstdlib>

namespace core {
namespace {

using model::NoDataValue;

bool IsData(float v) { return !IsNoData(v); }

float ValueAt(const model::SingleMatrix& m, int x, int y) { return m.contains(x, y) ? m(x, y) : NoDataValue; }

bool AllCornersFound(const Corners& c)
{
    return IsData(c.A.value) && IsData(c.B.value) && IsData(c.C.value) && IsData(c.D.value);
}

// A computed figure as a float; one that is not finite as a float is no figure.
float Figure(double v)
{
    const float f = static_cast<float>(v);
    return IsNoData(f) ? NoDataValue : f;
}

} // namespace

bool UsableSampleSize(double size)
{
    return std::isfinite(size) && size >= kMinSampleSize && size <= kMaxSampleSize;
}

std::vector<ProfilePoint> LineProfile(const model::SingleMatrix& m, int16_t x1, int16_t y1, int16_t x2, int16_t y2)
{
    const int dx = x2 - x1, dy = y2 - y1;
    const int sx = dx > 0 ? 1 : (dx < 0 ? -1 : 0);
    const int sy = dy > 0 ? 1 : (dy < 0 ? -1 : 0);
    const int adx = std::abs(dx), ady = std::abs(dy);
    std::vector<ProfilePoint> pts;
    pts.reserve(static_cast<size_t>(std::max(adx, ady)) + 1);
    auto add = [&](int x, int y) { pts.push_back({x, y, ValueAt(m, x, y)}); };
    // Steps along the longer axis; a horizontal or vertical line never moves
    // on the other (its error never reaches 0).
    if (ady <= adx) {
        int x = x1, y = y1;
        int err = 2 * ady - adx;
        const int inc1 = 2 * ady, inc2 = 2 * (ady - adx);
        add(x, y);
        while (x != x2) {
            x += sx;
            if (err >= 0) {
                err += inc2;
                y += sy;
            } else {
                err += inc1;
            }
            add(x, y);
        }
    } else {
        int x = x1, y = y1;
        int err = 2 * adx - ady;
        const int inc1 = 2 * adx, inc2 = 2 * (adx - ady);
        add(x, y);
        while (y != y2) {
            y += sy;
            if (err >= 0) {
                err += inc2;
                x += sx;
            } else {
                err += inc1;
            }
            add(x, y);
        }
    }
    return pts;
}

void ChordProfile(int16_t x1, int16_t y1, int16_t x2, int16_t y2)
{
    auto pts = LineProfile(model::images.ResultMatrix, x1, y1, x2, y2);
    auto& out = model::images.ProfileData;
    out.assign(pts.size(), 0.0f);
    for (size_t i = 0; i < pts.size(); ++i)
        out[i] = pts[i].value;
}

int CornerWindow(int n) { return static_cast<int>(RoundHalfEven(0.05 * n)); }

Corners FindCorners(const model::SingleMatrix& m)
{
    Corners c;
    if (m.empty())
        return c;
    const int16_t xMax = static_cast<int16_t>(m.cols() - 1), yMax = static_cast<int16_t>(m.rows() - 1);
    const auto ab = LineProfile(m, 0, 0, xMax, yMax);
    const auto cd = LineProfile(m, 0, yMax, xMax, 0);
    auto search = [](const std::vector<ProfilePoint>& line, bool fromStart) {
        Corner corner;
        const int n = static_cast<int>(line.size());
        const int k = CornerWindow(n);
        for (int step = 0; step <= k && step < n; ++step) {
            const ProfilePoint& p = line[fromStart ? step : n - 1 - step];
            if (IsData(p.value)) {
                corner = {p.value, p.x, p.y};
                break;
            }
        }
        return corner;
    };
    c.A = search(ab, true);
    c.B = search(ab, false);
    c.C = search(cd, true);
    c.D = search(cd, false);
    return c;
}

float ComputeCenterDeflection(const model::SingleMatrix& m)
{
    if (m.empty())
        return NoDataValue;
    const Corners c = FindCorners(m);
    const int xMax = m.cols() - 1, yMax = m.rows() - 1;
    const int x = static_cast<int>(RoundHalfEven(xMax / 2.0));
    const int jMax = static_cast<int>(RoundHalfEven(0.05 * yMax));
    float centre = NoDataValue;
    for (int j = 0; j <= jMax; ++j) {
        const int y = static_cast<int>(RoundHalfEven(yMax / 2.0 + j));
        const float v = ValueAt(m, x, y);
        if (IsData(v)) {
            centre = v;
            break;
        }
    }
    if (!AllCornersFound(c) || IsNoData(centre))
        return NoDataValue;
    const double sum = static_cast<double>(c.A.value) + c.B.value + c.D.value + c.C.value;
    return Figure(sum / 4.0 - centre);
}

float ComputeBow(const model::SingleMatrix& m, float width, float height)
{
    if (m.empty() || !UsableSampleSize(width) || !UsableSampleSize(height))
        return NoDataValue;
    const Corners c = FindCorners(m);
    if (!AllCornersFound(c))
        return NoDataValue;
    struct Edge {
        const Corner& from;
        const Corner& to;
        float length;
    } edges[] = {{c.A, c.D, width}, {c.C, c.B, width}, {c.A, c.C, height}, {c.D, c.B, height}};
    double kept = 0;
    for (const Edge& e : edges) {
        const auto line = LineProfile(m, static_cast<int16_t>(e.from.x), static_cast<int16_t>(e.from.y),
                                      static_cast<int16_t>(e.to.x), static_cast<int16_t>(e.to.y));
        const int n = static_cast<int>(line.size());
        if (n < 2)
            continue;   // both ends on one pixel: no chord, no deviation
        const double v0 = line.front().value, vLast = line.back().value;
        const float span = static_cast<float>(n - 1);
        for (int i = 0; i < n; ++i) {
            if (IsNoData(line[i].value))
                continue;
            const double dev = (line[i].value - v0) - (vLast - v0) * (static_cast<float>(i) / span);
            const double r = dev / e.length;
            if (std::fabs(r) > std::fabs(kept))
                kept = r;
        }
    }
    return Figure(kept * model::state.UnitScaleFactor);
}

float ComputeIpcTwist(const model::SingleMatrix& m, float width, float height)
{
    if (m.empty() || !UsableSampleSize(width) || !UsableSampleSize(height))
        return NoDataValue;
    const Corners c = FindCorners(m);
    if (!AllCornersFound(c))
        return NoDataValue;
    const float diagonal = static_cast<float>(std::sqrt(static_cast<double>(width) * width +
                                                         static_cast<double>(height) * height));
    const double sum = static_cast<double>(c.A.value) + c.B.value - c.C.value - c.D.value;
    const float t = static_cast<float>((sum / diagonal) / 2.0);
    return Figure(t * model::state.UnitScaleFactor);
}

void SetUnitScaleFactor()
{
    const auto& f = model::files;
    if (EqualsNoCase(f.XYUnits, "mm") && EqualsNoCase(f.ZUnits, "mils"))
        model::state.UnitScaleFactor = 2.54;
    else if (EqualsNoCase(f.XYUnits, "in") && EqualsNoCase(f.ZUnits, "microns"))
        model::state.UnitScaleFactor = 0.003937;
    else
        model::state.UnitScaleFactor = 0.1;
}

std::optional<std::string> CalculateParametersText(const std::string& widthText, const std::string& heightText)
{
    double width = 0, height = 0;
    if (!ParseNumber(heightText, &height) || !ParseNumber(widthText, &width)) {
        model::ShowMsg("Parameters require image physical Width and Height.", 16, "Information Missing");
        if (AnalysisWindow* w = CurrentAnalysisWindow())
            w->FocusSampleWidth();
        return std::nullopt;
    }
    const auto& m = model::images.ResultMatrix;
    const float cd = ComputeCenterDeflection(m);
    const std::string cdText =
        IsNoData(cd) ? "n/a" : FormatNumber(cd, model::files.ZFormat) + " " + model::files.ZUnits;
    const float bow = ComputeBow(m, static_cast<float>(width), static_cast<float>(height));
    const std::string bowText = IsNoData(bow) ? "n/a" : FormatNumber(bow, "0.00") + "%";
    const float twist = ComputeIpcTwist(m, static_cast<float>(width), static_cast<float>(height));
    const std::string twistText = IsNoData(twist) ? "n/a" : FormatNumber(twist, "0.00") + "%";
    return "IPC Twist: " + twistText + "    Bow: " + bowText + "    Center Deflection: " + cdText;
}

bool RunCalculateParameters(const std::string& widthText, const std::string& heightText)
{
    auto text = CalculateParametersText(widthText, heightText);
    if (!text)
        return false;
    model::ShowMsg(*text, 64, "Parameter Values");
    return true;
}

bool UsablePlotRangeValue(double value) { return std::isfinite(value) && std::fabs(value) <= kPlotRangeLimit; }

std::string PlotRangeValueMessage(const std::string& box)
{
    return box + " must be a number from " + FormatNumber(-kPlotRangeLimit, "0") + " to " +
           FormatNumber(kPlotRangeLimit, "0") + ".";
}

std::string PlotRangeProblem(double lo, double hi, const std::string& loBox, const std::string& hiBox)
{
    if (!UsablePlotRangeValue(lo)) return PlotRangeValueMessage(loBox);
    if (!UsablePlotRangeValue(hi)) return PlotRangeValueMessage(hiBox);
    // A span a hair under the least one (0.000001 typed as a difference of
    // two decimals) is still taken.
    if (hi > lo && hi - lo < kLeastPlotSpan * (1 - 1e-6))
        return hiBox + " must exceed " + loBox + " by at least 0.000001.";
    return {};
}

} // namespace core
