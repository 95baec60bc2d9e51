#include "app/outside/varnholde_calls.h"

#include "platform/dynlib.h"

namespace outside {
namespace {

platform::DynamicLibrary& Library()
{
    static platform::DynamicLibrary lib(kLibraryFile);
    return lib;
}

} // namespace

std::string LibraryPath() { return Library().path(); }
std::string LoadError() { return Library().lastError(); }

std::string LastError()
{
    static platform::LazyFunction<decltype(::Varnholde_LastError)> fn(Library(), "Varnholde_LastError");
    auto f = fn.get();
    const char* s = f ? f() : nullptr;
    return s ? std::string(s) : LoadError();
}

// Each wrapper binds its function once and forwards the call.
#define VARNHOLDE_FORWARD(ret, name, failValue, params, args)                              \
    ret name params                                                                        \
    {                                                                                      \
        static platform::LazyFunction<decltype(::name)> fn(Library(), #name);             \
        auto f = fn.get();                                                                 \
        return f ? f args : failValue;                                                     \
    }

VARNHOLDE_FORWARD(int32_t, CopyByteMatrix, kLibraryMissing,
                  (const uint8_t* src, int16_t rows, int16_t cols, uint8_t* dst), (src, rows, cols, dst))
VARNHOLDE_FORWARD(int32_t, Mask_UserAdd, kLibraryMissing,
                  (const uint8_t* phase, const uint8_t* mask, int16_t rows, int16_t cols, uint8_t* out),
                  (phase, mask, rows, cols, out))
VARNHOLDE_FORWARD(int32_t, PhaseFiltering, kLibraryMissing,
                  (uint8_t* phase, int16_t kernel, int16_t rows, int16_t cols), (phase, kernel, rows, cols))
VARNHOLDE_FORWARD(int32_t, Unwrap_FloodFill, kLibraryMissing,
                  (const uint8_t* wrapped, int16_t seed, int16_t rows, int16_t cols, float* unwrapped),
                  (wrapped, seed, rows, cols, unwrapped))
VARNHOLDE_FORWARD(int32_t, PhiToMils, kLibraryMissing,
                  (const float* unwrapped, int16_t rows, int16_t cols, float fringeValue, float* out),
                  (unwrapped, rows, cols, fringeValue, out))
VARNHOLDE_FORWARD(int32_t, PhiToMicrons, kLibraryMissing,
                  (const float* unwrapped, int16_t rows, int16_t cols, float fringeValue, float* out),
                  (unwrapped, rows, cols, fringeValue, out))
VARNHOLDE_FORWARD(int32_t, Compensate_Standard, kLibraryMissing,
                  (float* displacement, const char* path, int16_t rows, int16_t cols, float width, float height,
                   uint8_t grating),
                  (displacement, path, rows, cols, width, height, grating))
VARNHOLDE_FORWARD(int32_t, RotateDisplacement, kLibraryMissing,
                  (float* displacement, int16_t rows, int16_t cols, uint8_t mode), (displacement, rows, cols, mode))
VARNHOLDE_FORWARD(float, MinSingle, 9999.0f, (const float* data, int16_t rows, int16_t cols), (data, rows, cols))
VARNHOLDE_FORWARD(float, MaxSingle, 9999.0f, (const float* data, int16_t rows, int16_t cols), (data, rows, cols))
VARNHOLDE_FORWARD(int32_t, CopySingleMatrix, kLibraryMissing,
                  (const float* src, int16_t rows, int16_t cols, float* dst), (src, rows, cols, dst))
VARNHOLDE_FORWARD(int32_t, SubtractSingleMatrix, kLibraryMissing,
                  (const float* a, const float* b, int16_t rows, int16_t cols, float* out), (a, b, rows, cols, out))
VARNHOLDE_FORWARD(int32_t, SwapSingleMatrix, kLibraryMissing,
                  (const float* src, int16_t rows, int16_t cols, float* dst), (src, rows, cols, dst))
VARNHOLDE_FORWARD(float, ReadFringeValue, 9999.0f, (const char* path, uint8_t grating), (path, grating))
VARNHOLDE_FORWARD(int32_t, SaveSingleAsText, kLibraryMissing,
                  (const float* data, int16_t rows, int16_t cols, int16_t mils, const char* path),
                  (data, rows, cols, mils, path))
VARNHOLDE_FORWARD(int32_t, SaveSingleAsBinary, kLibraryMissing,
                  (const float* data, int16_t rows, int16_t cols, int16_t mils, const char* path),
                  (data, rows, cols, mils, path))

#undef VARNHOLDE_FORWARD

} // namespace outside
