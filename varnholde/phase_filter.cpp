// Wrapped-phase smoothing: the vector mean of the phase angles around each
// pixel, so that the 255 -> 0 wrap is averaged like any other step.
#include "varnholde/internal.h"
#include "varnholde/varnholde.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

using namespace varnholde;

namespace {

// Unit vector of each phase byte; the blank byte has none, so it adds nothing
// to a sum.
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

const UnitTable& Units()
{
    static const UnitTable table;
    return table;
}

// atan2 to about 1e-5 radians (a small fraction of a count), much faster
// than the library function.
float Angle(float s, float c)
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

// Phase byte nearest to the angle of (c, s); never the blank value.
uint8_t ByteOfAngle(float c, float s)
{
    constexpr float kCountsPerRadian = static_cast<float>(256.0 / kTwoPi);
    // Rounded half away from zero, as lround does: the float is exact in
    // double, and so is the sum with one half.
    const float a = Angle(s, c) * kCountsPerRadian;
    const int v = static_cast<int>(static_cast<double>(a) + (a < 0.0f ? -0.5 : 0.5)) & 255;
    return v == kBlank ? static_cast<uint8_t>(kBlank - 1) : static_cast<uint8_t>(v);
}

#if defined(__SSE2__)
// ByteOfAngle on four pixels at once, with the very float and double
// arithmetic of the scalar code (no fused or reordered operations).
inline __m128i BytesOfAngles4(__m128 c, __m128 s)
{
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 ax = _mm_and_ps(c, magnitude), ay = _mm_and_ps(s, magnitude);
    const __m128 yWins = _mm_cmpgt_ps(ay, ax);  // ay > ax
    const __m128 big = Select4(yWins, ay, ax), small = Select4(yWins, ax, ay);
    const __m128 bigZero = _mm_cmpeq_ps(big, _mm_setzero_ps());
    // A zero divisor is only ever taken where the result is replaced by 0.
    const __m128 a = _mm_div_ps(small, Select4(bigZero, _mm_set1_ps(1.0f), big));
    const __m128 q = _mm_mul_ps(a, a);
    __m128 p = _mm_add_ps(_mm_set1_ps(-0.0851330f), _mm_mul_ps(q, _mm_set1_ps(0.0208351f)));
    p = _mm_add_ps(_mm_set1_ps(0.1801410f), _mm_mul_ps(q, p));
    p = _mm_add_ps(_mm_set1_ps(-0.3302995f), _mm_mul_ps(q, p));
    p = _mm_add_ps(_mm_set1_ps(0.9998660f), _mm_mul_ps(q, p));
    __m128 r = _mm_mul_ps(a, p);
    r = Select4(yWins, _mm_sub_ps(_mm_set1_ps(1.57079637f), r), r);
    r = Select4(_mm_cmplt_ps(c, _mm_setzero_ps()), _mm_sub_ps(_mm_set1_ps(3.14159274f), r), r);
    r = Select4(_mm_cmplt_ps(s, _mm_setzero_ps()), _mm_sub_ps(_mm_setzero_ps(), r), r);
    r = _mm_andnot_ps(bigZero, r);
    // Counts, rounded half away from zero in double, as the scalar code does.
    const __m128 counts = _mm_mul_ps(r, _mm_set1_ps(static_cast<float>(256.0 / kTwoPi)));
    const __m128 negative = _mm_cmplt_ps(counts, _mm_setzero_ps());
    const __m128d half = _mm_set1_pd(0.5), minusHalf = _mm_set1_pd(-0.5);
    __m128d lo, hi;
    ToDouble4(counts, lo, hi);
    const __m128d negLo = _mm_castps_pd(_mm_unpacklo_ps(negative, negative));
    const __m128d negHi = _mm_castps_pd(_mm_unpackhi_ps(negative, negative));
    lo = _mm_add_pd(lo, _mm_or_pd(_mm_and_pd(negLo, minusHalf), _mm_andnot_pd(negLo, half)));
    hi = _mm_add_pd(hi, _mm_or_pd(_mm_and_pd(negHi, minusHalf), _mm_andnot_pd(negHi, half)));
    __m128i v = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
    v = _mm_and_si128(v, _mm_set1_epi32(255));
    // Never the blank value: 128 becomes 127.
    return _mm_add_epi32(v, _mm_cmpeq_epi32(v, _mm_set1_epi32(kBlank)));
}
#endif

// sum = (a + b) + c, or a + b without c, element by element.
void AddRows(const float* a, const float* b, const float* c, float* sum, int n)
{
    int x = 0;
#if defined(__SSE2__)
    if (c)
        for (; x + 4 <= n; x += 4)
            _mm_storeu_ps(sum + x, _mm_add_ps(_mm_add_ps(_mm_loadu_ps(a + x), _mm_loadu_ps(b + x)), _mm_loadu_ps(c + x)));
    else
        for (; x + 4 <= n; x += 4) _mm_storeu_ps(sum + x, _mm_add_ps(_mm_loadu_ps(a + x), _mm_loadu_ps(b + x)));
#endif
    for (; x < n; ++x) sum[x] = c ? (a[x] + b[x]) + c[x] : a[x] + b[x];
}

#if defined(__SSE2__)
// Pixels from x on whose neighbours on both sides exist, four at a time;
// returns the first pixel not done. `out` holds the row's unfiltered bytes,
// blank pixels and those whose neighbours cancel out keep theirs.
int FilterInsideSse2(uint8_t* out, const float* colC, const float* colS, int x, int cols)
{
    const __m128 tiny = _mm_set1_ps(1e-4f), magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    for (; x + 4 < cols; x += 4) {
        const __m128 c = _mm_add_ps(_mm_add_ps(_mm_loadu_ps(colC + x), _mm_loadu_ps(colC + x - 1)),
                                    _mm_loadu_ps(colC + x + 1));
        const __m128 s = _mm_add_ps(_mm_add_ps(_mm_loadu_ps(colS + x), _mm_loadu_ps(colS + x - 1)),
                                    _mm_loadu_ps(colS + x + 1));
        const __m128i v = BytesOfAngles4(c, s);
        const __m128 cancelled = _mm_and_ps(_mm_cmplt_ps(_mm_and_ps(c, magnitude), tiny),
                                            _mm_cmplt_ps(_mm_and_ps(s, magnitude), tiny));
        int32_t in;
        std::memcpy(&in, out + x, 4);
        const __m128i old =
            _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(in), _mm_setzero_si128()), _mm_setzero_si128());
        const __m128i keep = _mm_or_si128(_mm_castps_si128(cancelled), _mm_cmpeq_epi32(old, _mm_set1_epi32(kBlank)));
        const __m128i result = _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, v));
        const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(result, result), _mm_setzero_si128()));
        std::memcpy(out + x, &bytes, 4);
    }
    return x;
}
#endif

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VARNHOLDE_AVX2 1
// The same on eight pixels at once where the processor has AVX2: the same
// float and double operations in the same order (no fused products).
__attribute__((target("avx2"))) int FilterInsideAvx2(uint8_t* out, const float* colC, const float* colS, int x,
                                                     int cols)
{
    const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.0f);
    const __m256 magnitude = _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)), tiny = _mm256_set1_ps(1e-4f);
    const __m256d half = _mm256_set1_pd(0.5), minusHalf = _mm256_set1_pd(-0.5);
    for (; x + 8 < cols; x += 8) {
        const __m256 c = _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(colC + x), _mm256_loadu_ps(colC + x - 1)),
                                       _mm256_loadu_ps(colC + x + 1));
        const __m256 s = _mm256_add_ps(_mm256_add_ps(_mm256_loadu_ps(colS + x), _mm256_loadu_ps(colS + x - 1)),
                                       _mm256_loadu_ps(colS + x + 1));
        // Angle(s, c).
        const __m256 ax = _mm256_and_ps(c, magnitude), ay = _mm256_and_ps(s, magnitude);
        const __m256 yWins = _mm256_cmp_ps(ay, ax, _CMP_GT_OQ);
        const __m256 big = _mm256_blendv_ps(ax, ay, yWins), small = _mm256_blendv_ps(ay, ax, yWins);
        const __m256 bigZero = _mm256_cmp_ps(big, zero, _CMP_EQ_OQ);
        const __m256 a = _mm256_div_ps(small, _mm256_blendv_ps(big, one, bigZero));
        const __m256 q = _mm256_mul_ps(a, a);
        __m256 p = _mm256_add_ps(_mm256_set1_ps(-0.0851330f), _mm256_mul_ps(q, _mm256_set1_ps(0.0208351f)));
        p = _mm256_add_ps(_mm256_set1_ps(0.1801410f), _mm256_mul_ps(q, p));
        p = _mm256_add_ps(_mm256_set1_ps(-0.3302995f), _mm256_mul_ps(q, p));
        p = _mm256_add_ps(_mm256_set1_ps(0.9998660f), _mm256_mul_ps(q, p));
        __m256 r = _mm256_mul_ps(a, p);
        r = _mm256_blendv_ps(r, _mm256_sub_ps(_mm256_set1_ps(1.57079637f), r), yWins);
        r = _mm256_blendv_ps(r, _mm256_sub_ps(_mm256_set1_ps(3.14159274f), r), _mm256_cmp_ps(c, zero, _CMP_LT_OQ));
        r = _mm256_blendv_ps(r, _mm256_sub_ps(zero, r), _mm256_cmp_ps(s, zero, _CMP_LT_OQ));
        r = _mm256_andnot_ps(bigZero, r);
        // ByteOfAngle: counts rounded half away from zero in double.
        const __m256 counts = _mm256_mul_ps(r, _mm256_set1_ps(static_cast<float>(256.0 / kTwoPi)));
        const __m256 negative = _mm256_cmp_ps(counts, zero, _CMP_LT_OQ);
        const __m256d lo = _mm256_cvtps_pd(_mm256_castps256_ps128(counts));
        const __m256d hi = _mm256_cvtps_pd(_mm256_extractf128_ps(counts, 1));
        const __m256d negLo = _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm_castps_si128(_mm256_castps256_ps128(negative))));
        const __m256d negHi = _mm256_castsi256_pd(_mm256_cvtepi32_epi64(_mm_castps_si128(_mm256_extractf128_ps(negative, 1))));
        const __m128i iLo = _mm256_cvttpd_epi32(_mm256_add_pd(lo, _mm256_blendv_pd(half, minusHalf, negLo)));
        const __m128i iHi = _mm256_cvttpd_epi32(_mm256_add_pd(hi, _mm256_blendv_pd(half, minusHalf, negHi)));
        __m256i v = _mm256_and_si256(_mm256_set_m128i(iHi, iLo), _mm256_set1_epi32(255));
        v = _mm256_add_epi32(v, _mm256_cmpeq_epi32(v, _mm256_set1_epi32(kBlank)));  // never blank
        // Kept: blank pixels and those whose neighbours cancel out.
        const __m256 cancelled = _mm256_and_ps(_mm256_cmp_ps(ax, tiny, _CMP_LT_OQ), _mm256_cmp_ps(ay, tiny, _CMP_LT_OQ));
        const __m256i old = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(out + x)));
        const __m256i keep =
            _mm256_or_si256(_mm256_castps_si256(cancelled), _mm256_cmpeq_epi32(old, _mm256_set1_epi32(kBlank)));
        const __m256i result = _mm256_blendv_epi8(v, old, keep);
        const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(result), _mm256_extracti128_si256(result, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(words, words));
    }
    return x;
}
#endif

// Interior pixels from x on by the best vector code the processor has;
// returns the first pixel not done.
int FilterInside(uint8_t* out, const float* colC, const float* colS, int x, int cols)
{
#ifdef VARNHOLDE_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) x = FilterInsideAvx2(out, colC, colS, x, cols);
#endif
#if defined(__SSE2__)
    x = FilterInsideSse2(out, colC, colS, x, cols);
#endif
    return x;
}

// 3 x 3 vector mean over the non-blank pixels of the input. Rows are filtered
// in place from the top. The unit vectors of each row are looked up once and
// kept while the row is in the window; each pixel's sums run in the order
// the rows and then the columns come (above, at, below; at, left, right).
void Filter3x3(uint8_t* phase, int rows, int cols)
{
    const UnitTable& u = Units();
    // Unit vectors of the rows above, at and below the one being filtered.
    std::vector<float> unitC[3], unitS[3];
    for (int k = 0; k < 3; ++k) unitC[k].resize(cols), unitS[k].resize(cols);
    auto lookUp = [&](int y, int slot) {
        const uint8_t* __restrict r = phase + static_cast<size_t>(y) * cols;
        const float* __restrict tc = u.c.data();
        const float* __restrict ts = u.s.data();
        float* __restrict c = unitC[slot].data();
        float* __restrict s = unitS[slot].data();
        for (int x = 0; x < cols; ++x) {
            const uint8_t v = r[x];
            c[x] = tc[v];
            s[x] = ts[v];
        }
    };
    // Per row: sums of cos and sin over the rows of the window, by column.
    std::vector<float> colC(cols), colS(cols);
    int above = 0, at = 1, below = 2;
    lookUp(0, at);
    for (int y = 0; y < rows; ++y) {
        if (y + 1 < rows) lookUp(y + 1, below);
        const float* window[3][2] = {{unitC[above].data(), unitS[above].data()},
                                     {unitC[at].data(), unitS[at].data()},
                                     {unitC[below].data(), unitS[below].data()}};
        const int first = y > 0 ? 0 : 1, last = y + 1 < rows ? 2 : 1;
        // 0 + v is v, so the sum starts with the first row of the window.
        for (int part = 0; part < 2; ++part) {
            float* sum = part ? colS.data() : colC.data();
            const float* a = window[first][part];
            const float* b = window[first + 1][part];  // beyond `last` when the window has one row
            const float* c = window[2][part];
            if (last == first) std::copy(a, a + cols, sum);
            else if (last == first + 1) AddRows(a, b, nullptr, sum, cols);
            else AddRows(a, b, c, sum, cols);
        }
        uint8_t* out = phase + static_cast<size_t>(y) * cols;
        auto pixel = [&](int x) {
            if (out[x] == kBlank) return;
            float c = colC[x], s = colS[x];
            if (x > 0) c += colC[x - 1], s += colS[x - 1];
            if (x + 1 < cols) c += colC[x + 1], s += colS[x + 1];
            // Opposed neighbours can cancel out; the pixel then keeps its value.
            if (std::fabs(c) < 1e-4f && std::fabs(s) < 1e-4f) return;
            out[x] = ByteOfAngle(c, s);
        };
        int x = 0;
        if (cols > 0) pixel(x++);
        // Inside the row every pixel has both neighbours.
        x = FilterInside(out, colC.data(), colS.data(), x, cols);
        for (; x < cols; ++x) pixel(x);
        // The window moves down a row.
        const int oldAbove = above;
        above = at;
        at = below;
        below = oldAbove;
    }
}

} // namespace

extern "C" int32_t PhaseFiltering(uint8_t* phase, int16_t kernel, int16_t rows, int16_t cols)
{
    return Guard([&] {
        if (!ValidSize(rows, cols) || !Present(phase, "phase")) return kBadArgument;
        if (kernel != -1 && kernel != 3) {
            SetError("Filter kernel " + std::to_string(kernel) + " is not supported (use -1 for 3 x 3).");
            return kBadArgument;
        }
        Filter3x3(phase, rows, cols);
        return kOk;
    });
}
