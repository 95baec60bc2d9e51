#pragma once
// The class registry: a small text file of keys and values that maps class
// ids and ProgIDs to the modules serving them, and type libraries to their
// modules. Modules write it from their self-registration entry points;
// containers read it to create an object by ProgID: load the registered
// module by path and ask its class factory. Every change is made under a
// kernel lock on a lock file beside the registry (it cannot outlive its
// holder; the file is removed when the change is done, and one left by a
// holder that was killed is simply locked again) and written through a
// temporary file renamed into place. A registry that is a symbolic link is
// read and written at the file the link names.
//
// Two scopes, looked up in this order:
// - the user's registry: $SORVANTA_CLASS_REGISTRY when set, else
//   $XDG_CONFIG_HOME/Sorvanta/classes.reg (~/.config when unset);
// - the registry of the installation the running program belongs to,
//   "<Calverdine>/classes.reg" when the program runs from
//   "<Calverdine>/Sorvanta": the one a package's post-install step writes
//   (norvikel-regsvr register --system), read by every user.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "thumbctl/control/host/object.h"

namespace host {

// Keys such as "CLSID/{...}" or "ProgID/THUMBNAIL.ThumbnailCtrl.1", each
// holding named values.
using RegistryKeys = std::map<std::string, std::map<std::string, std::string>>;

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
// exists but cannot be read as one (a damaged file, to be moved aside).
std::string RegistryWriteProblem(bool* damaged = nullptr);

// Entry points a module exports for self-registration and creation.
extern "C" {
typedef Status (*RegisterServerFn)();
typedef Status (*GetClassObjectFn)(const char* classId, const char* iid, void** out);
typedef Status (*CanUnloadNowFn)();
}

// Class id registered for a ProgID, in the user's registry or else the
// installation's; kClassNotRegistered when none, also when a registry
// cannot be read (*error then names the file and the cause).
Status ClassIdFromProgId(const std::string& progId, std::string* classId, std::string* error = nullptr);
// The registered module path of a class; failures as above.
Status ModuleOfClass(const std::string& classId, std::string* modulePath, std::string* error = nullptr);
// Loads the class's module (once per process) and asks its factory.
Status GetClassFactory(const std::string& classId, ClassFactory** factory, std::string* error = nullptr);
// Creates an object by ProgID and asks it for `iid`. kClassNotRegistered
// when the ProgID or its class is not in the registry or the registry cannot
// be read, kModuleNotFound when the module cannot be loaded; *error says more.
Status CreateObject(const std::string& progId, const std::string& iid, void** out, std::string* error = nullptr);

} // namespace host
