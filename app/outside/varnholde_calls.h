#pragma once
// The analysis library's functions as the main program calls them. The
// library (libVarnholde.so in SystemFolder()) is loaded on the first call of
// any of them; each function is bound by name on its own first call.
// When the library or a function is missing, status calls return
// kLibraryMissing and value calls 9999.0; LoadError() tells why.
#include "varnholde/varnholde.h"

#include <cstdint>
#include <string>

namespace outside {

inline constexpr const char* kLibraryFile = "libVarnholde.so";
inline constexpr int32_t kLibraryMissing = -1000;

// Full path of the library file, for the version check at start-up.
std::string LibraryPath();
std::string LoadError();
// The library's reason for its last failure ("" when none).
std::string LastError();

int32_t CopyByteMatrix(const uint8_t* src, int16_t rows, int16_t cols, uint8_t* dst);
int32_t Mask_UserAdd(const uint8_t* phase, const uint8_t* mask, int16_t rows, int16_t cols, uint8_t* out);
int32_t PhaseFiltering(uint8_t* phase, int16_t kernel, int16_t rows, int16_t cols);
int32_t Unwrap_FloodFill(const uint8_t* wrapped, int16_t seed, int16_t rows, int16_t cols, float* unwrapped);
int32_t PhiToMils(const float* unwrapped, int16_t rows, int16_t cols, float fringeValue, float* out);
int32_t PhiToMicrons(const float* unwrapped, int16_t rows, int16_t cols, float fringeValue, float* out);
int32_t Compensate_Standard(float* displacement, const char* gratingCompPath, int16_t rows, int16_t cols,
                            float width, float height, uint8_t grating);
int32_t RotateDisplacement(float* displacement, int16_t rows, int16_t cols, uint8_t mode);
float MinSingle(const float* data, int16_t rows, int16_t cols);
float MaxSingle(const float* data, int16_t rows, int16_t cols);
int32_t CopySingleMatrix(const float* src, int16_t rows, int16_t cols, float* dst);
int32_t SubtractSingleMatrix(const float* a, const float* b, int16_t rows, int16_t cols, float* out);
int32_t SwapSingleMatrix(const float* src, int16_t rows, int16_t cols, float* dst);
float ReadFringeValue(const char* fringeValuePath, uint8_t grating);
int32_t SaveSingleAsText(const float* data, int16_t rows, int16_t cols, int16_t mils, const char* path);
int32_t SaveSingleAsBinary(const float* data, int16_t rows, int16_t cols, int16_t mils, const char* path);

} // namespace outside
