// libFuzzer target: DecodeImageFromMemory with every decode format.
#include "thumbctl/kernel/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int format : fuzzcheck::kFormats) {
        const int before = ipiGlobalLiveCount();
        IPIHANDLE dibs[2] = {0, 0};
        const int count = format == DecodeFormatTiff ? 2 : 1;
        int error = 0;
        const int made = DecodeImageFromMemory(data, dibs, count, format, 0, int64_t(size), nullptr, 0, &error);
        fuzzcheck::CheckDecode(made, dibs, count, format, error);
        fuzzcheck::CheckNoBlocks(before, format);
    }
    return 0;
}
