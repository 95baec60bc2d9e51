// libFuzzer target: DecodeImageFromFile with every decode format (the input
// is written to a scratch file first).
#include "thumbctl/kernel/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzzcheck::ScratchFile("decode");
    if (!fuzzcheck::WriteInput(path, data, size)) return 0;
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
