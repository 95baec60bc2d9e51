// libFuzzer target: CountPagesInFile with every decode format.
#include "thumbctl/kernel/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzcheck::ScratchFile("count");
    if (!fuzzcheck::WriteInput(path, data, size)) return 0;
    for (int format : fuzzcheck::kFormats) {
        const int before = ipiGlobalLiveCount();
        int error = 0;
        const int pages = CountPagesInFile(path.c_str(), format, nullptr, 0, &error);
        fuzzcheck::CheckCount(pages, format, error);
        fuzzcheck::CheckNoBlocks(before, format);
    }
    std::remove(path.c_str());
    return 0;
}
