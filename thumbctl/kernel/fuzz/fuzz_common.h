#pragma once
// Shared checks of the kernel's fuzz targets: every decode format is tried on
// each input; a success must be a clean packed DIB, a failure a null handle
// with a nonzero code, and no global block may outlive a call.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_memory.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

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

// Checks the outcome of a page count call.
inline void CheckCount(int pages, int format, int error)
{
    if (pages > 0 && error != 0) Fail("pages with an error code", format, error);
    if (pages < 0) Fail("negative page count", format, error);
}

inline void CheckNoBlocks(int before, int format)
{
    if (ipiGlobalLiveCount() != before) Fail("a global block was left behind", format, 0);
}

// The file targets' scratch file, one per process: "kernel-fuzz-<tag>-<pid>.img"
// in $TMPDIR (or /tmp).
inline std::string ScratchFile(const char* tag)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/kernel-fuzz-" + tag + "-" + std::to_string(::getpid()) +
           ".img";
}

// Writes the input to `path`; false when the file cannot be written.
inline bool WriteInput(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    return true;
}

} // namespace fuzzcheck
