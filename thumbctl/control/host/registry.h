#pragma once
// The class registry: a small text file of keys and values that maps class
// ids and ProgIDs to the modules serving them, and type libraries to their
// modules. Modules write it from their self-registration entry points;
// containers read it to create an object by ProgID: load the registered
// module by path and ask its class factory. Every change is made under a
// kernel lock on a lock file beside the registry (registry_lock.h: it
// cannot outlive its holder; the file is removed when the change is done,
// and one left by a holder that was killed is simply locked again) and
// written through a temporary file renamed into place; the temporary files
// of changes that were ended by force are removed by the next change. A
// registry that is a symbolic link is read and written at the file the link
// names.
//
// Two scopes, looked up in this order:
// - the user's registry: $SORVANTA_CLASS_REGISTRY when set, else
//   "<config>/Sorvanta/classes.reg" in the user's configuration folder
//   (platform::UserConfigFolder(): $XDG_CONFIG_HOME, else ~/.config of the
//   user's home, from the password database when HOME is unset);
// - the registry of the installation the running program belongs to,
//   "<Calverdine>/classes.reg" when the program runs from
//   "<Calverdine>/Sorvanta": the one a package's post-install step writes
//   (norvikel-regsvr register --system), read by every user.
// A lookup passes over a scope it cannot use: a registry that cannot be
// read, one that someone other than this user or root owns or may write (or
// whose folder is so), and an entry whose library is gone or cannot be
// loaded; the next scope's entry is used then. A change is refused, naming
// why, where no lookup would use its result, and where it would make a
// folder inside another user's (root run with that user's HOME).
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "thumbctl/control/host/object.h"
#include "thumbctl/control/host/registry_lock.h"

namespace host {

// Keys such as "CLSID/{...}" or "ProgID/THUMBNAIL.ThumbnailCtrl.1", each
// holding named values.
using RegistryKeys = std::map<std::string, std::map<std::string, std::string>>;

// "" when the user has no home folder at all.
std::string RegistryPath();
// Overrides the location for this process (tests); empty restores the default.
void SetRegistryPath(const std::string& path);

// File name of an installation's registry in its "Calverdine" folder.
inline constexpr const char* kInstallationRegistryFile = "classes.reg";
// The registry of the installation that holds `module` (a file in
// "<Calverdine>/Sorvanta"), "" when the module is in no installation.
std::string InstallationRegistryPathOf(const std::string& module);
// The registry of the installation the running program belongs to, read
// after the user's; "" when it runs from elsewhere (a build folder).
std::string InstallationRegistryPath();
// Overrides it for this process (tests); empty restores the default.
void SetInstallationRegistryPath(const std::string& path);
// Runs `hook` with the registry's path after a lookup has checked a registry
// and before it reads it (tests: a file swapped in between is not read);
// empty removes it.
void SetLookupReadHook(std::function<void(const std::string&)> hook);

// A registry file larger than this is refused unread.
constexpr int64_t kMaxRegistryBytes = int64_t(16) << 20;

// Reads the whole registry; a missing file is an empty registry. A file that
// is not a regular file, is too large or holds a malformed line is refused,
// *error naming the file (and the line).
bool ReadRegistry(RegistryKeys* keys, std::string* error = nullptr);
// Runs `edit` on the current contents of the user's registry under the
// lock; when it returns true the result is written back atomically. False
// when the lock, the read (a damaged registry is never overwritten) or the
// write fails; *error then names the file and the system's reason.
bool EditRegistry(const std::function<bool(RegistryKeys&)>& edit, std::string* error = nullptr);

// Why a change of the user's registry would fail, "" when it would not: the
// steps of EditRegistry short of replacing the file (its folder, the lock,
// the read, a temporary file beside it). *damaged is set when the registry
// exists but cannot be read as one (a damaged file, to be moved aside; not
// one this user may not read).
// It waits up to lockWaitMs for another process's change to end (a caller
// that has just waited the full time for the same lock need not again).
std::string RegistryWriteProblem(bool* damaged = nullptr, int lockWaitMs = kRegistryLockWaitMs);

// Entry points a module exports for self-registration and creation.
extern "C" {
typedef Status (*RegisterServerFn)();
typedef Status (*GetClassObjectFn)(const char* classId, const char* iid, void** out);
typedef Status (*CanUnloadNowFn)();
}

// Each lookup below reads the scopes in order and uses the first that holds
// a usable entry; *registry (when given) is set to the registry file it
// used. On failure *error names every scope passed over and why.
//
// Class id registered for a ProgID; kClassNotRegistered when none, also
// when no registry holding it can be read.
Status ClassIdFromProgId(const std::string& progId, std::string* classId, std::string* error = nullptr,
                         std::string* registry = nullptr);
// The registered module path of a class whose file exists; kModuleNotFound
// when every registered path is gone, kClassNotRegistered when none is.
Status ModuleOfClass(const std::string& classId, std::string* modulePath, std::string* error = nullptr,
                     std::string* registry = nullptr);
// Loads the class's module (once per process) and asks its factory; an
// entry whose module cannot be loaded gives way to the next scope's.
Status GetClassFactory(const std::string& classId, ClassFactory** factory, std::string* error = nullptr,
                       std::string* registry = nullptr);
// Creates an object by ProgID and asks it for `iid`. kClassNotRegistered
// when the ProgID or its class is not in a registry that can be used,
// kModuleNotFound when no registered module can be loaded; *error says more.
Status CreateObject(const std::string& progId, const std::string& iid, void** out, std::string* error = nullptr,
                    std::string* registry = nullptr);

} // namespace host
