#pragma once
// The lock and the temporary files of one change of a class registry file,
// shared by the registry's writer (registry.cpp) and by the upgrade tool,
// which puts a registry back after a registration it ran was ended. Every
// change holds the lock while it writes its temporary file beside the
// registry and renames it into place; a temporary file found while holding
// the lock was therefore left by a change that was ended by force.
#include <string>

namespace host {

// How long a change waits for another process's change to end. Whoever
// runs a change in a child process gives it longer than this, so that the
// child's own "locked by another process" is what the user hears.
inline constexpr int kRegistryLockWaitMs = 10000;

// The lock file of the registry file `registry` ("<registry>.lock").
std::string RegistryLockPath(const std::string& registry);

// The lock of one change: a kernel lock (flock) on the lock file. The
// system drops it when its holder ends, however it ends; the file itself is
// removed by its holder before the lock is let go, and a file whose holder
// was killed is locked again as it stands.
class RegistryLock {
public:
    RegistryLock() = default;
    ~RegistryLock() { Release(); }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

    // "" once held, else why not (after waiting up to waitMs for a holder).
    std::string Take(const std::string& lockPath, int waitMs = kRegistryLockWaitMs);
    // Removes the lock file and lets the lock go.
    void Release();
    // After a Take that failed: whether another process held the lock (else
    // the lock file could not be made or opened at all).
    bool HeldElsewhere() const { return heldElsewhere_; }

private:
    void Close();
    int fd_ = -1;
    bool heldElsewhere_ = false;
    std::string path_;
};

// A new temporary file beside `registry` for a change to write (mode 0600,
// close-on-exec): its descriptor and *name, or -1 with *error.
int MakeRegistryTemporary(const std::string& registry, std::string* name, std::string* error);

// Whether `name` (a file name, no folder) is one MakeRegistryTemporary
// gives for the registry file named `registryName`.
bool IsRegistryTemporaryName(const std::string& name, const std::string& registryName);

// Removes every temporary file of `registry` in its folder: call it only
// while holding the registry's lock. "" or the first reason one stayed.
std::string RemoveRegistryLeftovers(const std::string& registry);

} // namespace host
