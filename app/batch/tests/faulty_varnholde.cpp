// A stand-in for the analysis library in the batch fault tests: every call
// goes on to the real library, except the one named by the environment
// variable VARNHOLDE_FAULT, which is refused with a status and a reason as
// the real library refuses a step. It lets the tests see that a refused
// levelling or reference subtraction ends an image instead of passing unseen.
//
// VARNHOLDE_PAUSE="Name:fifo" holds the first call of Name until the test has
// done its part: the call opens the named pipe for reading (which waits for
// the test to open it for writing, so the test knows the call is reached) and
// reads it to its end (the test closes it when it is done).
#include "varnholde/varnholde.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void* Real()
{
    static void* handle = ::dlopen(VARNHOLDE_REAL_PATH, RTLD_NOW | RTLD_LOCAL);
    return handle;
}

template <typename F>
F* RealFunction(const char* name)
{
    return Real() ? reinterpret_cast<F*>(::dlsym(Real(), name)) : nullptr;
}

thread_local std::string gFault;

// True when the named call is to be refused (its reason kept for LastError).
bool Refused(const char* name)
{
    const char* fault = std::getenv("VARNHOLDE_FAULT");
    if (!fault || std::strcmp(fault, name) != 0)
        return false;
    gFault = std::string(name) + " refused by the test library.";
    return true;
}

constexpr int32_t kRefusedStatus = 7;

// Holds the first call of the function VARNHOLDE_PAUSE names (see above).
void PauseAt(const char* name)
{
    static bool paused = false;
    const char* pause = std::getenv("VARNHOLDE_PAUSE");
    if (paused || !pause) return;
    const std::string spec = pause;
    const size_t colon = spec.find(':');
    if (colon == std::string::npos || spec.compare(0, colon, name) != 0) return;
    paused = true;
    const int fd = ::open(spec.c_str() + colon + 1, O_RDONLY);
    if (fd < 0) return;
    char buffer[64];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
}

} // namespace

#define FORWARD(ret, name, refusedValue, params, args)                                     \
    extern "C" VARNHOLDE_EXPORT ret name params                                            \
    {                                                                                      \
        PauseAt(#name);                                                                    \
        if (Refused(#name))                                                                \
            return refusedValue;                                                           \
        gFault.clear();                                                                    \
        static auto* f = RealFunction<decltype(::name)>(#name);                            \
        return f args;                                                                     \
    }

FORWARD(int32_t, CopyByteMatrix, kRefusedStatus, (const uint8_t* src, int16_t rows, int16_t cols, uint8_t* dst),
        (src, rows, cols, dst))
FORWARD(int32_t, Mask_UserAdd, kRefusedStatus,
        (const uint8_t* phase, const uint8_t* mask, int16_t rows, int16_t cols, uint8_t* out),
        (phase, mask, rows, cols, out))
FORWARD(int32_t, PhaseFiltering, kRefusedStatus, (uint8_t* phase, int16_t kernel, int16_t rows, int16_t cols),
        (phase, kernel, rows, cols))
FORWARD(int32_t, Unwrap_FloodFill, kRefusedStatus,
        (const uint8_t* wrapped, int16_t seed, int16_t rows, int16_t cols, float* unwrapped),
        (wrapped, seed, rows, cols, unwrapped))
FORWARD(int32_t, PhiToMils, kRefusedStatus,
        (const float* unwrapped, int16_t rows, int16_t cols, float fringeValue, float* out),
        (unwrapped, rows, cols, fringeValue, out))
FORWARD(int32_t, PhiToMicrons, kRefusedStatus,
        (const float* unwrapped, int16_t rows, int16_t cols, float fringeValue, float* out),
        (unwrapped, rows, cols, fringeValue, out))
FORWARD(int32_t, Compensate_Standard, kRefusedStatus,
        (float* displacement, const char* path, int16_t rows, int16_t cols, float width, float height,
         uint8_t grating),
        (displacement, path, rows, cols, width, height, grating))
FORWARD(int32_t, RotateDisplacement, kRefusedStatus, (float* displacement, int16_t rows, int16_t cols, uint8_t mode),
        (displacement, rows, cols, mode))
FORWARD(float, MinSingle, 9999.0f, (const float* data, int16_t rows, int16_t cols), (data, rows, cols))
FORWARD(float, MaxSingle, 9999.0f, (const float* data, int16_t rows, int16_t cols), (data, rows, cols))
FORWARD(int32_t, CopySingleMatrix, kRefusedStatus, (const float* src, int16_t rows, int16_t cols, float* dst),
        (src, rows, cols, dst))
FORWARD(int32_t, SubtractSingleMatrix, kRefusedStatus,
        (const float* a, const float* b, int16_t rows, int16_t cols, float* out), (a, b, rows, cols, out))
FORWARD(int32_t, SwapSingleMatrix, kRefusedStatus, (const float* src, int16_t rows, int16_t cols, float* dst),
        (src, rows, cols, dst))
FORWARD(float, ReadFringeValue, 9999.0f, (const char* path, uint8_t grating), (path, grating))
FORWARD(int32_t, SaveSingleAsText, kRefusedStatus,
        (const float* data, int16_t rows, int16_t cols, int16_t mils, const char* path),
        (data, rows, cols, mils, path))
FORWARD(int32_t, SaveSingleAsBinary, kRefusedStatus,
        (const float* data, int16_t rows, int16_t cols, int16_t mils, const char* path),
        (data, rows, cols, mils, path))

#undef FORWARD

extern "C" VARNHOLDE_EXPORT const char* Varnholde_LastError(void)
{
    if (!gFault.empty())
        return gFault.c_str();
    static auto* f = RealFunction<decltype(::Varnholde_LastError)>("Varnholde_LastError");
    return f ? f() : "";
}
