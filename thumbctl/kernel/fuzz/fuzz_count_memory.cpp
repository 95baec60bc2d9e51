// libFuzzer target: CountPagesInMemory with every decode format.
#include "thumbctl/kernel/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int format : fuzzcheck::kFormats) {
        const int before = ipiGlobalLiveCount();
        int error = 0;
        const int pages = CountPagesInMemory(data, format, int64_t(size), nullptr, 0, &error);
        fuzzcheck::CheckCount(pages, format, error);
        fuzzcheck::CheckNoBlocks(before, format);
    }
    return 0;
}
