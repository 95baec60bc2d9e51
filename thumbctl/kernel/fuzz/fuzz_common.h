#pragma once
// Shared checks of the kernel's fuzz targets: every decode format is tried on
// each input; a success must be a clean packed DIB, a failure a null handle
// with a nonzero code, and no global block may outlive a call.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_memory.h"

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

constexpr int kFormats[] = {4, 5, 6, 7, 40, 44, 45};

[[noreturn]] inline void Fail(const char* what, int format, int error)
{
    std::fprintf(stderr, "kernel fuzz: %s (format %d, error %d)\n", what, format, error);
    std::abort();
}

// Checks the outcome of a decode call and frees the bitmaps.
inline void CheckDecode(int made, IPIHANDLE* dibs, int count, int format, int error)
{
    if (made == 0) {
        if (error == 0) Fail("failure without an error code", format, error);
        for (int i = 0; i < count; ++i)
            if (dibs[i]) Fail("failure left a handle", format, error);
        return;
    }
    if (error != 0) Fail("success with an error code", format, error);
    for (int i = 0; i < made; ++i) {
        IpiGlobalLock lock(dibs[i]);
        if (!lock.ptr() || !ipiIsCleanPackedDib(lock.ptr(), lock.size(), nullptr))
            Fail("success without a clean packed DIB", format, error);
    }
    for (int i = 0; i < count; ++i)
        if (dibs[i]) ipiGlobalFree(dibs[i]);
}

inline void CheckNoBlocks(int before, int format)
{
    if (ipiGlobalLiveCount() != before) Fail("a global block was left behind", format, 0);
}

} // namespace fuzzcheck
