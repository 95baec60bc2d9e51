// Class registry file, its lock, and creation of objects through it.
#include "thumbctl/control/host/registry.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "thumbctl/kernel/ipi_memory.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace host {

namespace {

std::mutex gMutex;
std::string gOverride;
std::string gInstallationOverride;
std::map<std::string, void*> gModules;

// How long a change waits for another process's change to end.
constexpr auto kLockWait = std::chrono::seconds(10);

std::string SystemError(int err) { return std::strerror(err); }

// Why a file taken as a regular file only could not be opened or read.
std::string RegularFileError(int err)
{
    return err == ENODEV || err == EISDIR ? std::string("not a regular file") : SystemError(err);
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path names once every symbolic link on its last part is
// followed (a dangling link: the file it would name).
std::string Resolved(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        char buf[4096];
        const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf);
        if (n <= 0 || size_t(n) >= sizeof buf) return current;
        const std::string target(buf, size_t(n));
        current = target.front() == '/' ? target : FolderOf(current) + "/" + target;
    }
    return current;
}

// Makes a folder and its parents; "" or the reason naming the folder.
std::string MakeFolders(const std::string& folder)
{
    std::string path;
    for (size_t i = 0; i <= folder.size(); ++i) {
        if (i < folder.size() && folder[i] != '/') {
            path += folder[i];
            continue;
        }
        if (!path.empty()) {
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0) {
                if (!S_ISDIR(st.st_mode)) return "cannot make the folder " + folder + ": " + path + " is not a folder";
            } else if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
                return "cannot make the folder " + folder + ": " + SystemError(errno);
            }
        }
        if (i < folder.size()) path += '/';
    }
    return "";
}

// The lock of one change: a kernel lock (flock) on "<registry>.lock". The
// system drops it when its holder ends, however it ends; the file itself is
// removed by its holder before the lock is let go, and a file whose holder
// was killed is locked again as it stands.
class RegistryLock {
public:
    ~RegistryLock() { Release(); }

    // "" once held, else why not.
    std::string Take(const std::string& lockPath)
    {
        path_ = lockPath;
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        for (;;) {
            fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
            if (fd_ < 0) return "cannot lock the class registry: " + path_ + ": " + SystemError(errno);
            struct stat st {};
            if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
                Close();
                return "cannot lock the class registry: " + path_ + ": not a regular file";
            }
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                // Held, unless the file was removed (by the holder before
                // us) after this process opened it: then lock the new one.
                struct stat mine {}, now {};
                if (::fstat(fd_, &mine) == 0 && ::stat(path_.c_str(), &now) == 0 && mine.st_ino == now.st_ino &&
                    mine.st_dev == now.st_dev)
                    return "";
            } else if (errno != EWOULDBLOCK) {
                const int err = errno;
                Close();
                return "cannot lock the class registry: " + path_ + ": " + SystemError(err);
            }
            Close();
            if (std::chrono::steady_clock::now() >= deadline)
                return "the class registry is locked by another process (" + path_ + ")";
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    void Release()
    {
        if (fd_ < 0) return;
        ::unlink(path_.c_str());
        Close();
    }

private:
    void Close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_ = -1;
    std::string path_;
};

// A temporary file beside `path` (descriptor and name), or -1 with *error.
int MakeTemporary(const std::string& path, std::string* name, std::string* error)
{
    std::string pattern = FolderOf(path) + "/." + NameOf(path) + ".XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkstemp(buf.data());
    if (fd < 0) {
        if (error) *error = "cannot write " + path + ": " + SystemError(errno);
        return -1;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    name->assign(buf.data());
    return fd;
}

// Writes `text` to `path` through a temporary file renamed into place, the
// folder synced after; the mode of the file it replaces is kept (0644 for
// a new one, so that every user reads an installation's registry).
bool WriteWhole(const std::string& path, const std::string& text, std::string* error)
{
    std::string temp;
    const int fd = MakeTemporary(path, &temp, error);
    if (fd < 0) return false;
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    int err = 0;
    for (size_t done = 0; done < text.size() && !err;) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        else done += size_t(n);
    }
    if (!err && ::fchmod(fd, mode) != 0) err = errno;
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
    if (err) {
        ::unlink(temp.c_str());
        if (error) *error = "cannot write " + path + ": " + SystemError(err);
        return false;
    }
    const int folder = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

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

namespace {

// Reads one registry file; a missing file is an empty registry.
bool ReadRegistryFile(const std::string& path, RegistryKeys* keys, std::string* error)
{
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
                     (cause == EFBIG ? "larger than " + std::to_string(kMaxRegistryBytes) + " bytes"
                                     : RegularFileError(cause));
        }
        return false;
    }
    return Parse(path, text, keys, error);
}

// The user's registry as it is written: its folder made, symbolic links
// followed. "" with *error when the folder cannot be made.
std::string WritablePath(std::string* error)
{
    const std::string path = RegistryPath();
    const std::string problem = MakeFolders(FolderOf(path));
    if (!problem.empty()) {
        if (error) *error = problem;
        return "";
    }
    const std::string resolved = Resolved(path);
    struct stat st {};
    const int err = ::stat(FolderOf(resolved).c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (err) {
        if (error)
            *error = "cannot write " + resolved + ": " + SystemError(err) + " (the class registry " + path +
                     " is a link to it)";
        return "";
    }
    return resolved;
}

} // namespace

bool ReadRegistry(RegistryKeys* keys, std::string* error)
{
    return ReadRegistryFile(Resolved(RegistryPath()), keys, error);
}

std::string InstallationRegistryPathOf(const std::string& module)
{
    const std::string folder = FolderOf(module);
    const std::string calverdine = FolderOf(folder);
    if (NameOf(folder) != "Sorvanta" || NameOf(calverdine) != "Calverdine") return "";
    return calverdine + "/" + kInstallationRegistryFile;
}

std::string InstallationRegistryPath()
{
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (!gInstallationOverride.empty()) return gInstallationOverride;
    }
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    return InstallationRegistryPathOf(std::string(buf, size_t(n)));
}

void SetInstallationRegistryPath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gInstallationOverride = path;
}

bool EditRegistry(const std::function<bool(RegistryKeys&)>& edit, std::string* error)
{
    const std::string path = WritablePath(error);
    if (path.empty()) return false;
    RegistryLock lock;
    if (const std::string why = lock.Take(path + ".lock"); !why.empty()) {
        if (error) *error = why;
        return false;
    }
    RegistryKeys keys;
    if (!ReadRegistryFile(path, &keys, error)) return false;
    if (!edit(keys)) return true;
    return WriteWhole(path, Format(keys), error);
}

std::string RegistryWriteProblem(bool* damaged)
{
    if (damaged) *damaged = false;
    std::string why;
    const std::string path = WritablePath(&why);
    if (path.empty()) return why;
    RegistryLock lock;
    if (why = lock.Take(path + ".lock"); !why.empty()) return why;
    RegistryKeys keys;
    if (!ReadRegistryFile(path, &keys, &why)) {
        struct stat st {};
        if (damaged) *damaged = ::lstat(path.c_str(), &st) == 0;
        return why;
    }
    std::string temp;
    const int fd = MakeTemporary(path, &temp, &why);
    if (fd < 0) return why;
    ::close(fd);
    ::unlink(temp.c_str());
    return "";
}

namespace {
// One value of one registry key; kClassNotRegistered when either is missing
// or the registry cannot be read (then *error says why).
// Looks in the user's registry, then in the installation's.
Status RegistryValue(const std::string& key, const char* name, std::string* value, std::string* error)
{
    const std::string user = Resolved(RegistryPath());
    const std::string installation = InstallationRegistryPath();
    std::vector<std::string> scopes = {user};
    if (!installation.empty() && Resolved(installation) != user) scopes.push_back(Resolved(installation));
    for (const std::string& path : scopes) {
        RegistryKeys keys;
        if (!ReadRegistryFile(path, &keys, error)) return kClassNotRegistered;
        auto it = keys.find(key);
        if (it == keys.end() || !it->second.count(name)) continue;
        *value = it->second.at(name);
        return kOk;
    }
    return kClassNotRegistered;
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
            // A regular file only: the loader would wait on a pipe.
            const int fd = ipiOpenRegularFile(module.c_str(), nullptr);
            if (fd < 0) {
                if (error) *error = module + ": " + RegularFileError(errno);
                return kModuleNotFound;
            }
            ::close(fd);
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
