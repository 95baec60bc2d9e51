// Phase to displacement, grating compensation and levelling.
#include "varnholde/internal.h"
#include "varnholde/varnholde.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>

using namespace varnholde;

namespace {

int32_t PhaseTo(const float* unwrapped, int16_t rows, int16_t cols, double fringeValue, double scale, float* out)
{
    return Guard([&] {
        if (!ValidSize(rows, cols) || !Present(unwrapped, "phase") || !Present(out, "output")) return kBadArgument;
        const size_t n = Count(rows, cols);
        if (!std::isfinite(fringeValue) || fringeValue <= 0.0 || fringeValue == kNoData) {
            // Without a usable fringe value no displacement can be stated.
            for (size_t i = 0; i < n; ++i) out[i] = kNoData;
            SetError("The fringe value " + std::to_string(fringeValue) + " is not a positive number.");
            return kBadArgument;
        }
        const double factor = fringeValue * scale / kTwoPi;
        // IsData and AsData spelt out without branches, so that the loop
        // runs on whole vectors of pixels.
        const float below = AsData(kNoData);
        size_t i = 0;
#if defined(__SSE2__)
        const __m128d f = _mm_set1_pd(factor);
        for (; i + 4 <= n; i += 4) {
            const __m128 v = _mm_loadu_ps(unwrapped + i);
            __m128d low, high;
            ToDouble4(v, low, high);
            const __m128 d = ToFloat4(_mm_mul_pd(low, f), _mm_mul_pd(high, f));
            _mm_storeu_ps(out + i, Select4(DataMask4(v), AsData4(d), _mm_set1_ps(kNoData)));
        }
#endif
        for (; i < n; ++i) {
            const float v = unwrapped[i];
            const float d = static_cast<float>(v * factor);
            const bool data = (std::fabs(v) < std::numeric_limits<float>::infinity()) & (v != kNoData);
            out[i] = data ? (d == kNoData ? below : d) : kNoData;
        }
        return kOk;
    });
}

// ---- Grating compensation ----

constexpr int kNumbersPerGrating = 8;

// The numbers of "GratingComp.txt": one number per line, other lines skipped,
// at most 48 kept.
bool ReadGratingTable(const char* path, std::vector<double>& table, std::string& why)
{
    std::vector<std::string> lines;
    if (!ReadTextLines(path, lines, why)) return false;
    table.clear();
    for (const std::string& line : lines) {
        double v;
        if (table.size() < kGratings * kNumbersPerGrating && ParseNumber(line, v)) table.push_back(v);
    }
    table.resize(kGratings * kNumbersPerGrating, 0.0);
    return true;
}

int32_t Compensate(float* d, const char* path, int rows, int cols, double width, double height, int grating)
{
    if (!ValidGrating(grating)) return kBadArgument;
    if (!std::isfinite(width) || !std::isfinite(height) || width <= 0.0 || height <= 0.0) {
        SetError("Compensation needs a positive sample width and height.");
        return kBadArgument;
    }
    std::vector<double> table;
    std::string why;
    if (!ReadGratingTable(path, table, why)) {
        SetError(why);
        return kFileError;
    }
    const double* g = table.data() + grating * kNumbersPerGrating;
    for (int k = 0; k < kNumbersPerGrating; ++k) {
        if (g[k] == 0.0) {
            SetError("There are no compensation parameters for this grating.");
            return kNoDataError;
        }
    }
    const double areaWidth = g[0], areaHeight = g[1];
    if (areaWidth < 0.0 || areaHeight < 0.0) {
        SetError("The compensated area of this grating is not valid.");
        return kFileError;
    }
    if (width > areaWidth || height > areaHeight) {
        SetError("The sample is larger than the compensated area of this grating.");
        return kBadArgument;
    }
    // The grating's systematic surface, in mils, over the compensated area
    // normalised to [-1, 1] in both directions around the sample's centre.
    const double* p = g + 2;
    for (int y = 0; y < rows; ++y) {
        const double v = ((y + 0.5) / rows - 0.5) * height * 2.0 / areaHeight;
        float* row = d + static_cast<size_t>(y) * cols;
        for (int x = 0; x < cols; ++x) {
            if (!IsData(row[x])) continue;
            const double u = ((x + 0.5) / cols - 0.5) * width * 2.0 / areaWidth;
            const double surface = p[0] + p[1] * u + p[2] * v + p[3] * u * u + p[4] * u * v + p[5] * v * v;
            row[x] = AsData(static_cast<float>(row[x] - surface));
        }
    }
    return kOk;
}

// ---- Levelling ----

// Least-squares plane z = a + b x + c y through weighted points, with the
// coordinates taken from the image centre to keep the sums well conditioned.
class PlaneFit {
public:
    PlaneFit(int rows, int cols) : rows_(rows), cx_(0.5 * (cols - 1)), cy_(0.5 * (rows - 1)) {}
    void add(int x, int y, double z)
    {
        const double u = x - cx_, v = y - cy_;
        n_ += 1;
        su_ += u, sv_ += v, sz_ += z;
        suu_ += u * u, svv_ += v * v, suv_ += u * v, suz_ += u * z, svz_ += v * z;
    }
    // The same sums for the data of a whole row of the image, `data`
    // telling which pixels hold data, when the coordinate sums are exact in
    // any order (CoordinateSumsExact): only the sums with z keep the pixel
    // order; those of the coordinates are taken in integers.
    void addRow(int y, const float* z, int cols)
    {
        const double v = y - cy_;
        const int64_t twiceV = 2 * int64_t(y) - (rows_ - 1);
        int64_t count = 0, twiceU = 0, twiceUSquared = 0;
        for (int x = 0; x < cols; ++x) {
            const float value = z[x];
            if (!IsData(value)) continue;
            const double u = x - cx_;
            sz_ += value, suz_ += u * value, svz_ += v * value;
            const int64_t U = 2 * int64_t(x) - (cols - 1);
            ++count, twiceU += U, twiceUSquared += U * U;
        }
        n_ += double(count);
        su_ += 0.5 * double(twiceU);
        sv_ += 0.5 * double(count * twiceV);
        suu_ += 0.25 * double(twiceUSquared);
        svv_ += 0.25 * double(count * twiceV * twiceV);
        suv_ += 0.25 * double(twiceU * twiceV);
    }
    // Whether every partial sum of the coordinates is a whole number of
    // quarters below 2^51, so that adding them in any order gives the same
    // double.
    static bool CoordinateSumsExact(int rows, int cols)
    {
        const double most = 0.25 * double(std::max(rows, cols)) * double(std::max(rows, cols));
        return double(rows) * double(cols) * most < std::ldexp(1.0, 51);
    }
    bool empty() const { return n_ == 0; }
    // Solves the plane; points on one line fix only the slope along it.
    void solve()
    {
        const double mu = su_ / n_, mv = sv_ / n_, mz = sz_ / n_;
        const double cuu = suu_ - su_ * mu, cvv = svv_ - sv_ * mv, cuv = suv_ - su_ * mv;
        const double cuz = suz_ - su_ * mz, cvz = svz_ - sv_ * mz;
        const double det = cuu * cvv - cuv * cuv;
        b_ = c_ = 0.0;
        if (cuu > 0.0 && cvv > 0.0 && det > 1e-9 * cuu * cvv) {
            b_ = (cuz * cvv - cvz * cuv) / det;
            c_ = (cvz * cuu - cuz * cuv) / det;
        } else if (cuu >= cvv && cuu > 0.0) {
            b_ = cuz / cuu;
        } else if (cvv > 0.0) {
            c_ = cvz / cvv;
        }
        a_ = mz - b_ * mu - c_ * mv;
    }
    double at(int x, int y) const { return a_ + b_ * (x - cx_) + c_ * (y - cy_); }
    // The parts of at(x, y), for a whole row at a time.
    double constantTerm() const { return a_; }
    double slopeX() const { return b_; }
    double centreX() const { return cx_; }
    double rowTerm(int y) const { return c_ * (y - cy_); }

private:
    int rows_;
    double cx_, cy_;
    double n_ = 0, su_ = 0, sv_ = 0, sz_ = 0, suu_ = 0, svv_ = 0, suv_ = 0, suz_ = 0, svz_ = 0;
    double a_ = 0, b_ = 0, c_ = 0;
};

struct Point {
    int x, y;
};

// The first pixel with data on the straight pixel line from a corner toward
// the opposite corner, searched over the half of the line nearest the corner.
bool CornerPoint(const float* d, int cols, Point from, Point to, Point& found)
{
    const int dx = std::abs(to.x - from.x), dy = std::abs(to.y - from.y);
    const int sx = to.x >= from.x ? 1 : -1, sy = to.y >= from.y ? 1 : -1;
    const int steps = dx >= dy ? dx : dy;
    int x = from.x, y = from.y;
    int err = dx >= dy ? 2 * dy - dx : 2 * dx - dy;
    for (int i = 0; i <= steps / 2; ++i) {
        if (IsData(d[static_cast<size_t>(y) * cols + x])) {
            found = {x, y};
            return true;
        }
        if (dx >= dy) {
            x += sx;
            if (err >= 0) y += sy, err += 2 * (dy - dx);
            else err += 2 * dy;
        } else {
            y += sy;
            if (err >= 0) x += sx, err += 2 * (dx - dy);
            else err += 2 * dx;
        }
    }
    return false;
}

int32_t Level(float* d, int rows, int cols, int mode)
{
    if (mode == 0) return kOk;
    if (mode > 3) {
        SetError("Rotation mode " + std::to_string(mode) + " is not supported (0 to 3).");
        return kBadArgument;
    }
    PlaneFit plane(rows, cols);
    if (mode == 1 && PlaneFit::CoordinateSumsExact(rows, cols)) {
        for (int y = 0; y < rows; ++y) plane.addRow(y, d + static_cast<size_t>(y) * cols, cols);
        if (plane.empty()) {
            SetError("The displacement holds no data to level.");
            return kNoDataError;
        }
    } else if (mode == 1) {
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x) {
                const float v = d[static_cast<size_t>(y) * cols + x];
                if (IsData(v)) plane.add(x, y, v);
            }
        if (plane.empty()) {
            SetError("The displacement holds no data to level.");
            return kNoDataError;
        }
    } else {
        const Point a{0, 0}, b{cols - 1, rows - 1}, c{0, rows - 1}, dd{cols - 1, 0};
        // Corners in order A (0,0), D (XMax,0), C (0,YMax), B (XMax,YMax), each
        // searched toward its opposite corner; 3 Pt uses the first three.
        const std::array<std::array<Point, 2>, 4> corners{{{a, b}, {dd, c}, {c, dd}, {b, a}}};
        const int used = mode == 2 ? 4 : 3;
        for (int k = 0; k < used; ++k) {
            Point p;
            if (!CornerPoint(d, cols, corners[k][0], corners[k][1], p)) {
                SetError("A corner of the displacement has no data near it; it cannot be levelled on its corners.");
                return kNoDataError;
            }
            plane.add(p.x, p.y, d[static_cast<size_t>(p.y) * cols + p.x]);
        }
    }
    plane.solve();
    // IsData and AsData spelt out without branches, so that the rows run on
    // whole vectors of pixels.
    const float below = AsData(kNoData);
    for (int y = 0; y < rows; ++y) {
        float* row = d + static_cast<size_t>(y) * cols;
        int x = 0;
#if defined(__SSE2__)
        const double rowTerm = plane.rowTerm(y);
        const __m128d a = _mm_set1_pd(plane.constantTerm()), b = _mm_set1_pd(plane.slopeX());
        const __m128d cx = _mm_set1_pd(plane.centreX()), yTerm = _mm_set1_pd(rowTerm);
        for (; x + 4 <= cols; x += 4) {
            const __m128 v = _mm_loadu_ps(row + x);
            // plane.at(x, y) for the four columns, in its order of operations.
            const __m128d x01 = _mm_set_pd(x + 1, x), x23 = _mm_set_pd(x + 3, x + 2);
            const __m128d at01 = _mm_add_pd(_mm_add_pd(a, _mm_mul_pd(b, _mm_sub_pd(x01, cx))), yTerm);
            const __m128d at23 = _mm_add_pd(_mm_add_pd(a, _mm_mul_pd(b, _mm_sub_pd(x23, cx))), yTerm);
            __m128d low, high;
            ToDouble4(v, low, high);
            const __m128 levelled = ToFloat4(_mm_sub_pd(low, at01), _mm_sub_pd(high, at23));
            _mm_storeu_ps(row + x, Select4(DataMask4(v), AsData4(levelled), v));
        }
#endif
        for (; x < cols; ++x) {
            const float v = row[x];
            const float levelled = static_cast<float>(v - plane.at(x, y));
            const bool data = (std::fabs(v) < std::numeric_limits<float>::infinity()) & (v != kNoData);
            row[x] = data ? (levelled == kNoData ? below : levelled) : v;
        }
    }
    return kOk;
}

} // namespace

extern "C" {

int32_t PhiToMils(const float* unwrapped, int16_t rows, int16_t cols, float fringeValue, float* out)
{
    return PhaseTo(unwrapped, rows, cols, fringeValue, 1.0, out);
}

int32_t PhiToMicrons(const float* unwrapped, int16_t rows, int16_t cols, float fringeValue, float* out)
{
    return PhaseTo(unwrapped, rows, cols, fringeValue, 25.4, out);
}

int32_t Compensate_Standard(float* displacement, const char* gratingCompPath, int16_t rows, int16_t cols,
                            float width, float height, uint8_t grating)
{
    return Guard([&] {
        if (!ValidSize(rows, cols) || !Present(displacement, "displacement") ||
            !Present(gratingCompPath, "file name"))
            return kBadArgument;
        return Compensate(displacement, gratingCompPath, rows, cols, width, height, grating);
    });
}

int32_t RotateDisplacement(float* displacement, int16_t rows, int16_t cols, uint8_t mode)
{
    return Guard([&] {
        if (!ValidSize(rows, cols) || !Present(displacement, "displacement")) return kBadArgument;
        return Level(displacement, rows, cols, mode);
    });
}

} // extern "C"
