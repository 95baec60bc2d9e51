// libFuzzer target: DecodeImageFromFile with every decode format (the input
// is written to a scratch file first).
#include "thumbctl/kernel/fuzz/fuzz_common.h"

#include <string>
#include <unistd.h>

namespace {
std::string ScratchFile()
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/kernel-fuzz-" + std::to_string(::getpid()) + ".img";
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = ScratchFile();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    for (int format : fuzzcheck::kFormats) {
        const int before = ipiGlobalLiveCount();
        IPIHANDLE dibs[2] = {0, 0};
        const int count = format == DecodeFormatTiff ? 2 : 1;
        int error = 0;
        const int made = DecodeImageFromFile(path.c_str(), dibs, count, format, 0, nullptr, 0, &error);
        fuzzcheck::CheckDecode(made, dibs, count, format, error);
        fuzzcheck::CheckNoBlocks(before, format);
    }
    std::remove(path.c_str());
    return 0;
}
