// Stand-ins for a self-registering component, built in several flavours for
// the registration tests: UPGRADE_MODULE_KIND selects what the entry points do.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace {

// Appends one line to the file named by UPGRADE_TEST_REGISTRY.
[[maybe_unused]] int32_t Record(const char* line)
{
    const char* path = std::getenv("UPGRADE_TEST_REGISTRY");
    if (!path) return -1;
    std::FILE* f = std::fopen(path, "a");
    if (!f) return -1;
    std::fprintf(f, "%s\n", line);
    std::fclose(f);
    return 0;
}

} // namespace

#if UPGRADE_MODULE_KIND != 3
extern "C" __attribute__((visibility("default"))) int32_t DllRegisterServer()
{
#if UPGRADE_MODULE_KIND == 0
    return Record("register");
#elif UPGRADE_MODULE_KIND == 1
    // Never finishes, however long it is given: only the caller's time-out
    // ends it, with its process.
    for (;;) ::pause();
#else
    return int32_t(0x80004005u);  // failure
#endif
}

extern "C" __attribute__((visibility("default"))) int32_t DllUnregisterServer()
{
    return Record("unregister");
}
#endif
