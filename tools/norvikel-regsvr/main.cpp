// norvikel-regsvr register|unregister [--system] LIB: loads a control module
// and calls its self-registration entry point. The class registry written is
// the user's (host/registry.h names it; SORVANTA_CLASS_REGISTRY moves it), or
// with --system the registry of the installation that holds LIB, which every
// user of that installation reads (a package's post-install step).
// norvikel-regsvr where [--system LIB]: prints the path of that registry.
// Exit status 0 done, 2 usage, 1 any failure, which standard error names:
// "cannot load", "has no <entry point>", or "<entry point> failed: ...
// (0x...)" with the entry point's status, then what kept the registry from
// being written (the file and the system's reason). The upgrade tool runs it
// as a child process and tells the failures apart by these.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/regular_file.h"
#include "thumbctl/control/host/registry.h"
#include "tools/cli/args.h"

#include <unistd.h>

namespace {

std::string Resolved(const char* path)
{
    char resolved[PATH_MAX];
    return realpath(path, resolved) ? std::string(resolved) : std::string(path);
}

// Points this process (and the module it loads) at the registry of the
// installation that holds `module`; false when it is in none.
bool UseInstallationRegistry(const std::string& module)
{
    const std::string registry = host::InstallationRegistryPathOf(module);
    if (registry.empty()) {
        std::fprintf(stderr, "norvikel-regsvr: %s is not in an installation (a \"Calverdine/Sorvanta\" folder)\n",
                     module.c_str());
        return false;
    }
    setenv("SORVANTA_CLASS_REGISTRY", registry.c_str(), 1);
    return true;
}

// Says why the registry could not be written; for a damaged file, how to go on.
void ExplainRegistryFailure(const char* verb)
{
    // The entry point has just waited its full time for a held lock: a lock
    // still held is named at once.
    bool damaged = false;
    const std::string why = host::RegistryWriteProblem(&damaged, 0);
    if (why.empty()) return;
    std::fprintf(stderr, "norvikel-regsvr: %s\n", why.c_str());
    if (!damaged) return;
    const std::string registry = host::RegistryPath();
    std::fprintf(stderr,
                 "norvikel-regsvr: the file was left unchanged. Move it aside (for example: mv '%s' '%s.damaged') "
                 "and run norvikel-regsvr %s again; other controls registered there must then be registered "
                 "again too.\n",
                 registry.c_str(), registry.c_str(), verb);
}

} // namespace

int main(int argc, char** argv)
{
    cli::Parser p("norvikel-regsvr",
                  "usage: norvikel-regsvr register|unregister [--system] LIB | where [--system LIB]\n"
                  "exit status: 0 done, 1 failed (standard error says why), 2 bad command line\n");
    bool system = false;
    p.flag("--system", &system);
    std::vector<std::string> args;
    if (const int status = p.parse(argc, argv, &args); status >= 0) return status;
    if (args.empty()) return p.usage("no command given");
    if (args[0] == "where") {
        if (args.size() == 1 && !system) {
            const std::string registry = host::RegistryPath();
            if (registry.empty()) {
                std::fprintf(stderr, "norvikel-regsvr: the user's class registry has no place: this user has no "
                                     "home folder\n");
                return 1;
            }
            std::printf("%s\n", registry.c_str());
            return 0;
        }
        if (args.size() != 2 || !system) return p.usage("where takes nothing or --system LIB");
        if (const int status = p.refuse(cli::ReadPath("LIB", args[1])); status >= 0) return status;
        if (!UseInstallationRegistry(Resolved(args[1].c_str()))) return 1;
        std::printf("%s\n", host::RegistryPath().c_str());
        return 0;
    }
    if (args[0] != "register" && args[0] != "unregister") return p.usage("unknown command " + args[0]);
    if (args.size() != 2) return p.usage(args[0] + " takes [--system] LIB");
    if (const int status = p.refuse(cli::ReadPath("LIB", args[1])); status >= 0) return status;
    const bool doRegister = args[0] == "register";
    const char* given = args[1].c_str();
    const std::string path = Resolved(given);
    if (system && !UseInstallationRegistry(path)) return 1;
    // A regular file only: the loader would wait on a pipe.
    std::string why;
    const int fd = platform::OpenRegularFile(path, nullptr, &why);
    if (fd < 0) {
        std::fprintf(stderr, "norvikel-regsvr: cannot load %s: %s\n", given, why.c_str());
        return 1;
    }
    ::close(fd);
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "norvikel-regsvr: cannot load %s: %s\n", given, dlerror());
        return 1;
    }
    const char* entry = doRegister ? "DllRegisterServer" : "DllUnregisterServer";
    auto fn = reinterpret_cast<host::RegisterServerFn>(dlsym(module, entry));
    if (!fn) {
        std::fprintf(stderr, "norvikel-regsvr: %s has no %s\n", given, entry);
        return 1;
    }
    const host::Status s = fn();
    if (host::Failed(s)) {
        std::fprintf(stderr, "norvikel-regsvr: %s failed: %s (%s)\n", entry, host::StatusText(s).c_str(),
                     host::StatusHex(s).c_str());
        ExplainRegistryFailure(args[0].c_str());
        return 1;
    }
    std::printf("%s %s in %s\n", doRegister ? "registered" : "unregistered", path.c_str(), host::RegistryPath().c_str());
    return 0;
}
