#pragma once
// Shared pieces of the analysis library's kernels (not exported).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <limits>
#include <new>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnholde {

constexpr float kNoData = 9999.0f;
constexpr uint8_t kBlank = 128;
constexpr int32_t kOk = 0;
constexpr int32_t kBadArgument = -1;
constexpr int32_t kFileError = -2;
constexpr int32_t kNoDataError = -3;
constexpr int32_t kOutOfMemory = -4;
constexpr int32_t kInternalError = -5;

// Phase byte v is the angle 2*pi*v/256; one count is 1/256 fringe.
constexpr double kTwoPi = 6.283185307179586476925286766559;
constexpr double kRadiansPerCount = kTwoPi / 256.0;

// Wrapped difference b - a of two phase bytes, in [-128, 127]; a half-fringe
// step (+-128) always becomes -128.
inline int WrappedStep(uint8_t a, uint8_t b) { return static_cast<int8_t>(static_cast<uint8_t>(b - a)); }

inline bool IsData(float v) { return v != kNoData && std::isfinite(v); }

// A computed value that happens to land on the no-data marker is moved to the
// next float, so it is never mistaken for a missing pixel.
inline float AsData(float v) { return v == kNoData ? std::nextafter(kNoData, 0.0f) : v; }

#if defined(__SSE2__)
// Four floats at a time, for the passes over whole matrices. Each lane gives
// exactly what the scalar code gives (no fused or reordered arithmetic).
inline __m128 Select4(__m128 mask, __m128 a, __m128 b) { return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b)); }
// All ones in the lanes that hold data (IsData).
inline __m128 DataMask4(__m128 v)
{
    const __m128 magnitude = _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    return _mm_and_ps(_mm_cmplt_ps(magnitude, _mm_set1_ps(std::numeric_limits<float>::infinity())),
                      _mm_cmpneq_ps(v, _mm_set1_ps(kNoData)));
}
inline __m128 AsData4(__m128 v)
{
    return Select4(_mm_cmpeq_ps(v, _mm_set1_ps(kNoData)), _mm_set1_ps(std::nextafter(kNoData, 0.0f)), v);
}
// The four floats as doubles, and four doubles (rounded) as floats.
inline void ToDouble4(__m128 v, __m128d& low, __m128d& high)
{
    low = _mm_cvtps_pd(v);
    high = _mm_cvtps_pd(_mm_movehl_ps(v, v));
}
inline __m128 ToFloat4(__m128d low, __m128d high) { return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high)); }
#endif

void SetError(const std::string& text);
void ClearError();

inline bool ValidSize(int16_t rows, int16_t cols)
{
    if (rows <= 0 || cols <= 0) {
        SetError("The matrix size " + std::to_string(rows) + " x " + std::to_string(cols) + " is not valid.");
        return false;
    }
    return true;
}

inline size_t Count(int16_t rows, int16_t cols) { return static_cast<size_t>(rows) * static_cast<size_t>(cols); }

inline bool Present(const void* p, const char* what)
{
    if (!p) SetError(std::string("No ") + what + " buffer was given.");
    return p != nullptr;
}

// Gratings are numbered 0 to 5 (50 to 1000 lines per inch).
constexpr int kGratings = 6;

inline bool ValidGrating(int grating)
{
    if (grating >= kGratings) {
        SetError("Grating index " + std::to_string(grating) + " is out of range (0 to 5).");
        return false;
    }
    return true;
}

// Runs a kernel so that no exception leaves the library.
template <typename F>
int32_t Guard(F&& body)
{
    ClearError();
    try {
        return body();
    } catch (const std::bad_alloc&) {
        SetError("Not enough memory for the calculation.");
        return kOutOfMemory;
    } catch (const std::exception& e) {
        SetError(std::string("Internal error: ") + e.what());
        return kInternalError;
    } catch (...) {
        SetError("Internal error.");
        return kInternalError;
    }
}

} // namespace varnholde

#include <vector>

namespace varnholde {

// Text files of the library (calibration, compensation table) are small.
constexpr size_t kMaxTextFileBytes = 1 << 20;

// All lines of a regular text file of at most kMaxTextFileBytes, without their
// line ends (LF or CR LF). False with a reason when the file cannot be read.
bool ReadTextLines(const char* path, std::vector<std::string>& lines, std::string& why);
// A whole token (surrounding blanks ignored) read as one decimal number.
bool ParseNumber(const std::string& text, double& value);

} // namespace varnholde
