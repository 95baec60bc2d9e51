#pragma once
// The phase filter as it stood before it ran on vectors, one pixel at a time:
// kept for the tests, which compare the library's PhaseFiltering with it
// byte for byte.
#include "varnholde/internal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace reference_filter {

using namespace varnholde;

struct UnitTable {
    std::array<float, 256> c{}, s{};
    UnitTable()
    {
        for (int v = 0; v < 256; ++v) {
            c[v] = v == kBlank ? 0.0f : static_cast<float>(std::cos(v * kRadiansPerCount));
            s[v] = v == kBlank ? 0.0f : static_cast<float>(std::sin(v * kRadiansPerCount));
        }
    }
};

inline float Angle(float s, float c)
{
    const float ax = std::fabs(c), ay = std::fabs(s);
    const float big = ax > ay ? ax : ay, small = ax > ay ? ay : ax;
    if (big == 0.0f) return 0.0f;
    const float a = small / big, q = a * a;
    float r = a * (0.9998660f + q * (-0.3302995f + q * (0.1801410f + q * (-0.0851330f + q * 0.0208351f))));
    if (ay > ax) r = 1.57079637f - r;
    if (c < 0.0f) r = 3.14159274f - r;
    return s < 0.0f ? -r : r;
}

inline uint8_t ByteOfAngle(float c, float s)
{
    constexpr float kCountsPerRadian = static_cast<float>(256.0 / kTwoPi);
    const float a = Angle(s, c) * kCountsPerRadian;
    const int v = static_cast<int>(static_cast<double>(a) + (a < 0.0f ? -0.5 : 0.5)) & 255;
    return v == kBlank ? static_cast<uint8_t>(kBlank - 1) : static_cast<uint8_t>(v);
}

// 3 x 3 vector mean over the non-blank pixels, rows filtered in place from
// the top.
inline void Filter3x3(uint8_t* phase, int rows, int cols)
{
    static const UnitTable u;
    std::vector<uint8_t> above(cols), current(cols);
    std::vector<float> colC(cols), colS(cols);
    for (int y = 0; y < rows; ++y) {
        uint8_t* out = phase + static_cast<size_t>(y) * cols;
        std::copy(out, out + cols, current.begin());
        const uint8_t* window[3] = {above.data(), current.data(), out + cols};
        const int first = y > 0 ? 0 : 1, last = y + 1 < rows ? 2 : 1;
        for (int x = 0; x < cols; ++x) {
            float c = 0.0f, s = 0.0f;
            for (int k = first; k <= last; ++k) {
                const uint8_t v = window[k][x];
                c += u.c[v];
                s += u.s[v];
            }
            colC[x] = c;
            colS[x] = s;
        }
        const uint8_t* in = current.data();
        for (int x = 0; x < cols; ++x) {
            if (in[x] == kBlank) continue;
            float c = colC[x], s = colS[x];
            if (x > 0) c += colC[x - 1], s += colS[x - 1];
            if (x + 1 < cols) c += colC[x + 1], s += colS[x + 1];
            if (std::fabs(c) < 1e-4f && std::fabs(s) < 1e-4f) continue;
            out[x] = ByteOfAngle(c, s);
        }
        above.swap(current);
    }
}

} // namespace reference_filter
