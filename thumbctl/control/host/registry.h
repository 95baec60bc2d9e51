#pragma once
// The class registry: a small text file of keys and values that maps class
// ids and ProgIDs to the modules serving them, and type libraries to their
// modules. Modules write it from their self-registration entry points;
// containers read it to create an object by ProgID: load the registered
// module by path and ask its class factory. Every change is made under a
// lock file and written through a temporary file renamed into place.
//
// Location: $SORVANTA_CLASS_REGISTRY when set, else
// $XDG_CONFIG_HOME/Sorvanta/classes.reg (~/.config when unset).
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

// A registry file larger than this is refused unread.
constexpr int64_t kMaxRegistryBytes = int64_t(16) << 20;

// Reads the whole registry; a missing file is an empty registry. A file that
// is not a regular file, is too large or holds a malformed line is refused,
// *error naming the file (and the line).
bool ReadRegistry(RegistryKeys* keys, std::string* error = nullptr);
// Runs `edit` on the current contents under the lock; when it returns true
// the result is written back atomically. False when the lock, the read (a
// damaged registry is never overwritten) or the write fails.
bool EditRegistry(const std::function<bool(RegistryKeys&)>& edit, std::string* error = nullptr);

// Entry points a module exports for self-registration and creation.
extern "C" {
typedef Status (*RegisterServerFn)();
typedef Status (*GetClassObjectFn)(const char* classId, const char* iid, void** out);
typedef Status (*CanUnloadNowFn)();
}

// Class id registered for a ProgID; kClassNotRegistered when none, also when
// the registry cannot be read (*error then names the file and the cause).
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
