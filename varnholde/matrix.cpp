// Matrix utilities: copies, mask application, extremes, difference.
#include "varnholde/internal.h"
#include "varnholde/varnholde.h"

#include <cstring>

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

// Smallest (sign 1) or largest (sign -1) data value; kNoData when there is none.
float Extreme(const float* data, int16_t rows, int16_t cols, bool smallest)
{
    ClearError();
    if (!ValidSize(rows, cols) || !Present(data, "data")) return kNoData;
    const size_t n = Count(rows, cols);
    bool found = false;
    float best = kNoData;
    for (size_t i = 0; i < n; ++i) {
        const float v = data[i];
        if (!IsData(v)) continue;
        if (!found || (smallest ? v < best : v > best)) {
            best = v;
            found = true;
        }
    }
    if (!found) SetError("The matrix holds no data.");
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

float MinSingle(const float* data, int16_t rows, int16_t cols) { return Extreme(data, rows, cols, true); }
float MaxSingle(const float* data, int16_t rows, int16_t cols) { return Extreme(data, rows, cols, false); }

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
