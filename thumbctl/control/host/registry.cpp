// Class registry file, its lock, and creation of objects through it.
#include "thumbctl/control/host/registry.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <dlfcn.h>

#include "thumbctl/kernel/ipi_memory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>

namespace host {

namespace {

std::mutex gMutex;
std::string gOverride;
std::map<std::string, void*> gModules;

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

// A damaged registry names its file and the first line that is neither a
// key, a value, a comment nor blank.
bool Parse(const std::string& path, const std::string& text, RegistryKeys* keys, std::string* error)
{
    RegistryKeys out;
    std::istringstream in(text);
    std::string line, current;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            current = line.substr(1, line.size() - 2);
            out[current];
            continue;
        }
        const size_t eq = line.find('=');
        if (current.empty() || eq == std::string::npos) {
            if (error) {
                const std::string shown = line.size() > 60 ? line.substr(0, 60) + "..." : line;
                *error = "the class registry " + path + " is damaged: line " + std::to_string(number) +
                         " is neither a [key] nor a name=value line (\"" + shown + "\")";
            }
            return false;
        }
        out[current][Trim(line.substr(0, eq))] = Trim(line.substr(eq + 1));
    }
    *keys = std::move(out);
    return true;
}

std::string Format(const RegistryKeys& keys)
{
    std::ostringstream out;
    out << "# Class registry of in-process controls; written by their registration entry points.\n";
    for (const auto& k : keys) {
        out << "\n[" << k.first << "]\n";
        for (const auto& v : k.second) out << v.first << "=" << v.second << "\n";
    }
    return out.str();
}

} // namespace

std::string RegistryPath()
{
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (!gOverride.empty()) return gOverride;
    }
    if (const char* env = std::getenv("SORVANTA_CLASS_REGISTRY"); env && *env) return env;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.config";
    else base = "/tmp";
    return base + "/Sorvanta/classes.reg";
}

void SetRegistryPath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gOverride = path;
}

bool ReadRegistry(RegistryKeys* keys, std::string* error)
{
    const std::string path = RegistryPath();
    std::string text;
    // A regular file only, opened without waiting on a pipe and read no
    // further than the cap (a device in its place never ends).
    const int cause = ipiReadRegularFile(path.c_str(), kMaxRegistryBytes, &text);
    if (cause == ENOENT) {  // no registry yet: an empty one
        keys->clear();
        return true;
    }
    if (cause) {
        if (error) {
            *error = "cannot read the class registry " + path + ": " +
                     (cause == ENODEV || cause == EISDIR ? std::string("not a regular file")
                      : cause == EFBIG ? "larger than " + std::to_string(kMaxRegistryBytes) + " bytes"
                                       : std::string(std::strerror(cause)));
        }
        return false;
    }
    return Parse(path, text, keys, error);
}

bool EditRegistry(const std::function<bool(RegistryKeys&)>& edit, std::string* error)
{
    const QString path = QString::fromStdString(RegistryPath());
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error) *error = "cannot make the folder of " + path.toStdString();
        return false;
    }
    QLockFile lock(path + ".lock");
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(10000)) {
        if (error) *error = "the class registry is locked by another process";
        return false;
    }
    RegistryKeys keys;
    if (!ReadRegistry(&keys, error)) return false;
    if (!edit(keys)) return true;
    QSaveFile out(path);
    const std::string text = Format(keys);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.data(), qint64(text.size())) != qint64(text.size()) ||
        !out.commit()) {
        if (error) *error = "cannot write " + path.toStdString() + ": " + out.errorString().toStdString();
        return false;
    }
    return true;
}

namespace {
// One value of one registry key; kClassNotRegistered when either is missing
// or the registry cannot be read (then *error says why).
Status RegistryValue(const std::string& key, const char* name, std::string* value, std::string* error)
{
    RegistryKeys keys;
    if (!ReadRegistry(&keys, error)) return kClassNotRegistered;
    auto it = keys.find(key);
    if (it == keys.end() || !it->second.count(name)) return kClassNotRegistered;
    *value = it->second.at(name);
    return kOk;
}
} // namespace

Status ClassIdFromProgId(const std::string& progId, std::string* classId, std::string* error)
{
    return RegistryValue("ProgID/" + progId, "CLSID", classId, error);
}

Status ModuleOfClass(const std::string& classId, std::string* modulePath, std::string* error)
{
    return RegistryValue("CLSID/" + classId, "InprocServer", modulePath, error);
}

Status GetClassFactory(const std::string& classId, ClassFactory** factory, std::string* error)
{
    if (!factory) return kInvalidPointer;
    *factory = nullptr;
    std::string module;
    if (Status s = ModuleOfClass(classId, &module, error); Failed(s)) return s;
    void* handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        auto it = gModules.find(module);
        if (it != gModules.end()) {
            handle = it->second;
        } else {
            handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                if (error) *error = dlerror();
                return kModuleNotFound;
            }
            gModules[module] = handle;  // kept loaded for the life of the process
        }
    }
    auto get = reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    if (!get) {
        if (error) *error = module + " has no DllGetClassObject";
        return kClassNotAvailable;
    }
    return get(classId.c_str(), kIidClassFactory, reinterpret_cast<void**>(factory));
}

Status CreateObject(const std::string& progId, const std::string& iid, void** out, std::string* error)
{
    if (!out) return kInvalidPointer;
    *out = nullptr;
    std::string classId;
    if (Status s = ClassIdFromProgId(progId, &classId, error); Failed(s)) return s;
    ClassFactory* factory = nullptr;
    if (Status s = GetClassFactory(classId, &factory, error); Failed(s)) return s;
    const Status s = factory->CreateInstance(nullptr, iid, out);
    factory->Release();
    return s;
}

} // namespace host
