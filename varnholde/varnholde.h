#pragma once
/*
 * Varnholde: the numeric kernels of the displacement analysis.
 *
 * Matrices are caller-owned row-major buffers, element (x, y) at y * cols + x,
 * rows and cols as signed 16-bit values, rows first. Phase and mask matrices
 * hold one byte a pixel (phase byte 128 is blank); displacement matrices one
 * float a pixel (9999.0 is "no data" and is never scaled, subtracted or counted).
 * Every function does nothing (and reports failure) for rows or cols <= 0.
 *
 * Functions that return int32_t return 0 on success and a negative value on
 * failure; Varnholde_LastError() then holds a reason text.
 */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VARNHOLDE_EXPORT __attribute__((visibility("default")))

VARNHOLDE_EXPORT int32_t CopyByteMatrix(const uint8_t* src, int16_t rows, int16_t cols, uint8_t* dst);
VARNHOLDE_EXPORT int32_t Mask_UserAdd(const uint8_t* phase, const uint8_t* mask, int16_t rows, int16_t cols,
                                      uint8_t* out);
/* kernel: -1 selects the 3 x 3 filter. Filters in place. */
VARNHOLDE_EXPORT int32_t PhaseFiltering(uint8_t* phase, int16_t kernel, int16_t rows, int16_t cols);
/* seed: -1 selects the automatic seed. Output in radians, blank -> 9999.0. */
VARNHOLDE_EXPORT int32_t Unwrap_FloodFill(const uint8_t* wrapped, int16_t seed, int16_t rows, int16_t cols,
                                          float* unwrapped);
VARNHOLDE_EXPORT int32_t PhiToMils(const float* unwrapped, int16_t rows, int16_t cols, float fringeValue,
                                   float* out);
VARNHOLDE_EXPORT int32_t PhiToMicrons(const float* unwrapped, int16_t rows, int16_t cols, float fringeValue,
                                      float* out);
/* displacement in mils; width and height in inches; grating index 0..5. */
VARNHOLDE_EXPORT int32_t Compensate_Standard(float* displacement, const char* gratingCompPath, int16_t rows,
                                             int16_t cols, float width, float height, uint8_t grating);
/* mode: 0 none, 1 LSF, 2 4Pt, 3 3Pt. */
VARNHOLDE_EXPORT int32_t RotateDisplacement(float* displacement, int16_t rows, int16_t cols, uint8_t mode);
VARNHOLDE_EXPORT float MinSingle(const float* data, int16_t rows, int16_t cols);
VARNHOLDE_EXPORT float MaxSingle(const float* data, int16_t rows, int16_t cols);
VARNHOLDE_EXPORT int32_t CopySingleMatrix(const float* src, int16_t rows, int16_t cols, float* dst);
VARNHOLDE_EXPORT int32_t SubtractSingleMatrix(const float* a, const float* b, int16_t rows, int16_t cols,
                                              float* out);
VARNHOLDE_EXPORT int32_t SwapSingleMatrix(const float* src, int16_t rows, int16_t cols, float* dst);
/* Mils per fringe; -1.0 not calibrated; 9999.0 file missing or unreadable. */
VARNHOLDE_EXPORT float ReadFringeValue(const char* fringeValuePath, uint8_t grating);
/* mils: -1 when the unit is mils, 0 for microns. */
VARNHOLDE_EXPORT int32_t SaveSingleAsText(const float* data, int16_t rows, int16_t cols, int16_t mils,
                                          const char* path);
VARNHOLDE_EXPORT int32_t SaveSingleAsBinary(const float* data, int16_t rows, int16_t cols, int16_t mils,
                                            const char* path);

/* Reason for the last failure of a call on this thread ("" after a success). */
VARNHOLDE_EXPORT const char* Varnholde_LastError(void);

#ifdef __cplusplus
}
#endif
