// Matrix utilities: copies, mask application, extremes, difference.
#include "varnholde/internal.h"
#include "varnholde/varnholde.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace varnholde;

namespace {

// In the static thread-local block: the library is loaded at run time, and
// dynamically allocated thread-local blocks outlive an unload as stale entries
// that tools walking them at exit (the leak checker) trip over.
__attribute__((tls_model("initial-exec"))) thread_local std::string g_lastError;

template <typename T>
int32_t CopyMatrix(const T* src, int16_t rows, int16_t cols, T* dst)
{
    return Guard([&] {
        if (!ValidSize(rows, cols) || !Present(src, "source") || !Present(dst, "destination")) return kBadArgument;
        if (src != dst) std::memmove(dst, src, Count(rows, cols) * sizeof(T));
        return kOk;
    });
}

// `best`, or `v` when that is a data value further out.
template <bool Smallest>
inline float Further(float best, float v)
{
    return IsData(v) && (Smallest ? v < best : v > best) ? v : best;
}

// Smallest or largest data value; kNoData when there is none. Eight running
// extremes side by side (four-wide vectors where the processor has them)
// keep the loop free of branches; only a zero result, whose sign depends on
// which zero came first, is looked up again in order.
template <bool Smallest>
float Extreme(const float* data, int16_t rows, int16_t cols)
{
    ClearError();
    if (!ValidSize(rows, cols) || !Present(data, "data")) return kNoData;
    const size_t n = Count(rows, cols);
    constexpr float kInfinity = std::numeric_limits<float>::infinity();
    constexpr float kNone = Smallest ? kInfinity : -kInfinity;
    float lane[8];
    std::fill(lane, lane + 8, kNone);
    size_t i = 0;
#if defined(__SSE2__)
    {
        const __m128 infinity = _mm_set1_ps(kInfinity), noData = _mm_set1_ps(kNoData), none = _mm_set1_ps(kNone);
        const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
        __m128 best[2] = {none, none};
        for (; i + 8 <= n; i += 8)
            for (int k = 0; k < 2; ++k) {
                const __m128 v = _mm_loadu_ps(data + i + 4 * k);
                // Data: finite (NaN fails the comparison) and not 9999.0.
                const __m128 isData =
                    _mm_and_ps(_mm_cmplt_ps(_mm_and_ps(v, magnitude), infinity), _mm_cmpneq_ps(v, noData));
                const __m128 candidate = _mm_or_ps(_mm_and_ps(isData, v), _mm_andnot_ps(isData, none));
                best[k] = Smallest ? _mm_min_ps(candidate, best[k]) : _mm_max_ps(candidate, best[k]);
            }
        _mm_storeu_ps(lane, best[0]);
        _mm_storeu_ps(lane + 4, best[1]);
    }
#endif
    for (; i < n; ++i) lane[i % 8] = Further<Smallest>(lane[i % 8], data[i]);
    float result = kNone;
    for (float v : lane) result = Further<Smallest>(result, v);
    if (result == kNone) {
        SetError("The matrix holds no data.");
        return kNoData;
    }
    if (result == 0.0f) {
        for (i = 0; i < n; ++i)
            if (IsData(data[i]) && data[i] == 0.0f) return data[i];
    }
    return result;
}

} // namespace

namespace varnholde {
void SetError(const std::string& text) { g_lastError = text; }
void ClearError() { g_lastError.clear(); }
} // namespace varnholde

extern "C" {

const char* Varnholde_LastError(void) { return g_lastError.c_str(); }

int32_t CopyByteMatrix(const uint8_t* src, int16_t rows, int16_t cols, uint8_t* dst)
{
    return CopyMatrix(src, rows, cols, dst);
}

int32_t CopySingleMatrix(const float* src, int16_t rows, int16_t cols, float* dst)
{
    return CopyMatrix(src, rows, cols, dst);
}

// The plots read element (0, 0) as the upper-left corner, which is how the
// displacement is laid out already, so the arrangement is kept as it is.
int32_t SwapSingleMatrix(const float* src, int16_t rows, int16_t cols, float* dst)
{
    return CopyMatrix(src, rows, cols, dst);
}

int32_t Mask_UserAdd(const uint8_t* phase, const uint8_t* mask, int16_t rows, int16_t cols, uint8_t* out)
{
    return Guard([&] {
        if (!ValidSize(rows, cols) || !Present(phase, "phase") || !Present(mask, "mask") ||
            !Present(out, "output"))
            return kBadArgument;
        const size_t n = Count(rows, cols);
        for (size_t i = 0; i < n; ++i) out[i] = mask[i] == 0 ? kBlank : phase[i];
        return kOk;
    });
}

float MinSingle(const float* data, int16_t rows, int16_t cols) { return Extreme<true>(data, rows, cols); }
float MaxSingle(const float* data, int16_t rows, int16_t cols) { return Extreme<false>(data, rows, cols); }

int32_t SubtractSingleMatrix(const float* a, const float* b, int16_t rows, int16_t cols, float* out)
{
    return Guard([&] {
        if (!ValidSize(rows, cols) || !Present(a, "first") || !Present(b, "second") || !Present(out, "output"))
            return kBadArgument;
        const size_t n = Count(rows, cols);
        for (size_t i = 0; i < n; ++i) {
            const float x = a[i], y = b[i];
            out[i] = IsData(x) && IsData(y) ? AsData(x - y) : kNoData;
        }
        return kOk;
    });
}

} // extern "C"
