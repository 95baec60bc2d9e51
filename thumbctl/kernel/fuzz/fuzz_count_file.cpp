// libFuzzer target: CountPagesInFile with every decode format.
#include "thumbctl/kernel/fuzz/fuzz_common.h"

#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = std::string("/tmp/kernel-fuzz-count-") + std::to_string(::getpid()) + ".img";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    for (int format : fuzzcheck::kFormats) {
        const int before = ipiGlobalLiveCount();
        int error = 0;
        const int pages = CountPagesInFile(path.c_str(), format, nullptr, 0, &error);
        if (pages > 0 && error != 0) fuzzcheck::Fail("pages with an error code", format, error);
        if (pages < 0) fuzzcheck::Fail("negative page count", format, error);
        fuzzcheck::CheckNoBlocks(before, format);
    }
    std::remove(path.c_str());
    return 0;
}
