#pragma once
// Shared pieces of the analysis library's kernels (not exported).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <string>

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
