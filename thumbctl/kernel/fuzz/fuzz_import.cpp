// libFuzzer target: the kernel's import of the formats that no decode format
// reaches ("KOL1" bilevel rasters, 215) and the picture container's page walk
// (216), through ipiImportIntoObject and ipiOpenMultiImageFromMemory.
#include "thumbctl/kernel/ipi.h"
#include "thumbctl/kernel/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int before = ipiGlobalLiveCount();
    IPIENVIRONMENT* env = ipiOpenEnvironment(nullptr);
    if (!env) return 0;
    IPIOBJECT* lut = ipiCreateLookupTable(env, "oLUT", nullptr, nullptr, 0);
    IPIATTRIBUTE a[] = {{"repository", ipiRepositoryWorkspace}, {"lut", reinterpret_cast<IPIVALUE>(lut)}};
    IPIOBJECT* image = ipiCreateGenericImage(env, "oImage", nullptr, a, 2);
    if (image) ipiImportIntoObject(env, data, image, ipiFormatBilevel, int64_t(size), nullptr, 0);
    ipiOpenMultiImageFromMemory(env, data, ipiFormatCgmContainer, int64_t(size));
    IPIATTRIBUTE ca[] = {{"entries", 3}, {"xMatchPoint", size > 0 ? data[0] % 3 : 0}};
    IPIOBJECT* array = ipiCreateCompositeIDArray(env, "oArray", nullptr, ca, 2);
    for (int i = 0; array && i < 3; ++i) {
        IPIOBJECT* page = ipiCreateGenericImage(env, "oPage", nullptr, a, 1);
        if (page) ipiSetCompositeElement(env, page, array, i);
    }
    if (array) ipiImportIntoObject(env, data, array, ipiFormatCgmContainer, int64_t(size), nullptr, 0);
    ipiCloseEnvironment(env);
    fuzzcheck::CheckNoBlocks(before, 215);
    return 0;
}
