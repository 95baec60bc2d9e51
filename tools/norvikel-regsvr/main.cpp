// norvikel-regsvr register|unregister LIB: loads a control module and calls
// its self-registration entry point (the class registry is the one
// host/registry.h names; SORVANTA_CLASS_REGISTRY moves it).
// norvikel-regsvr where: prints the path of that class registry.
// Exit status 0 done, 2 usage, 1 any failure, which standard error names:
// "cannot load", "has no <entry point>", or "<entry point> failed: ...
// (0x...)" with the entry point's status. The upgrade tool runs it as a
// child process and tells the failures apart by these.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "thumbctl/control/host/registry.h"

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "where") {
        std::printf("%s\n", host::RegistryPath().c_str());
        return 0;
    }
    if (argc != 3 || (std::string(argv[1]) != "register" && std::string(argv[1]) != "unregister")) {
        std::fprintf(stderr, "usage: norvikel-regsvr register|unregister LIB | where\n");
        return 2;
    }
    const bool doRegister = std::string(argv[1]) == "register";
    char resolved[PATH_MAX];
    const std::string path = realpath(argv[2], resolved) ? resolved : argv[2];
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "norvikel-regsvr: cannot load %s: %s\n", argv[2], dlerror());
        return 1;
    }
    const char* entry = doRegister ? "DllRegisterServer" : "DllUnregisterServer";
    auto fn = reinterpret_cast<host::RegisterServerFn>(dlsym(module, entry));
    if (!fn) {
        std::fprintf(stderr, "norvikel-regsvr: %s has no %s\n", argv[2], entry);
        return 1;
    }
    const host::Status s = fn();
    if (host::Failed(s)) {
        std::fprintf(stderr, "norvikel-regsvr: %s failed: %s (%s)\n", entry, host::StatusText(s).c_str(),
                     host::StatusHex(s).c_str());
        // A registry that cannot be read is left as it is: say which and how to go on.
        host::RegistryKeys keys;
        std::string why;
        if (!host::ReadRegistry(&keys, &why)) {
            const std::string registry = host::RegistryPath();
            std::fprintf(stderr,
                         "norvikel-regsvr: %s\n"
                         "norvikel-regsvr: the file was left unchanged. Move it aside (for example: mv '%s' '%s.damaged') "
                         "and run norvikel-regsvr %s again; other controls registered there must then be registered "
                         "again too.\n",
                         why.c_str(), registry.c_str(), registry.c_str(), argv[1]);
        }
        return 1;
    }
    std::printf("%s %s in %s\n", doRegister ? "registered" : "unregistered", path.c_str(), host::RegistryPath().c_str());
    return 0;
}
