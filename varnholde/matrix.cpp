// Matrix utilities: copies, mask application, extremes, difference.
#include "varnholde/internal.h"
#include "varnholde/varnholde.h"

#include <algorithm>
#include <cstring>
#include <limits>

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

// Whether `best` should give way to `v`: a data value (IsData, without
// branches) further out.
template <bool Smallest>
inline float Further(float best, float v)
{
    const bool data = (std::fabs(v) < std::numeric_limits<float>::infinity()) & (v != kNoData);
    const bool beyond = Smallest ? v < best : v > best;
    return (data & beyond) ? v : best;
}

// Smallest or largest data value; kNoData when there is none. Eight running
// extremes side by side keep the loop free of branches; only a zero result,
// whose sign depends on which zero came first, is looked up again in order.
template <bool Smallest>
float Extreme(const float* data, int16_t rows, int16_t cols)
{
    ClearError();
    if (!ValidSize(rows, cols) || !Present(data, "data")) return kNoData;
    const size_t n = Count(rows, cols);
    constexpr int kLanes = 8;
    constexpr float kNone = Smallest ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    float lane[kLanes];
    std::fill(lane, lane + kLanes, kNone);
    size_t i = 0;
    for (; i + kLanes <= n; i += kLanes)
        for (int k = 0; k < kLanes; ++k) lane[k] = Further<Smallest>(lane[k], data[i + k]);
    for (; i < n; ++i) lane[0] = Further<Smallest>(lane[0], data[i]);
    float best = kNone;
    for (float v : lane) best = Further<Smallest>(best, v);
    if (best == kNone) {
        SetError("The matrix holds no data.");
        return kNoData;
    }
    if (best == 0.0f) {
        for (i = 0; i < n; ++i)
            if (IsData(data[i]) && data[i] == 0.0f) return data[i];
    }
    return best;
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
