// Class registry file, its lock, and creation of objects through it.
#include "thumbctl/control/host/registry.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/folders.h"
#include "thumbctl/control/host/registry_lock.h"
#include "thumbctl/kernel/ipi_memory.h"

#include <cerrno>
#include <csignal>
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
// Test hook run between the checks of a registry a lookup reads and its
// read (empty: none).
std::function<void(const std::string&)> gBetweenCheckAndRead;

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

// Makes a folder and its parents, each new one with mode 0700 whatever the
// umask (a folder others may write into would make its registry unusable);
// "" or the reason naming the folder. Never inside a folder of another
// user (root run with another user's HOME): a folder made there would be
// root's, and that user's own configuration folder closed to them.
std::string MakeFolders(const std::string& folder)
{
    std::string path;
    struct stat parent {};
    bool haveParent = false;
    for (size_t i = 0; i <= folder.size(); ++i) {
        if (i < folder.size() && folder[i] != '/') {
            path += folder[i];
            continue;
        }
        if (!path.empty()) {
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0) {
                if (!S_ISDIR(st.st_mode)) return "cannot make the folder " + folder + ": " + path + " is not a folder";
                parent = st;
                haveParent = true;
            } else if (haveParent && parent.st_uid != ::geteuid() && parent.st_uid != 0) {
                return "cannot make the folder " + folder + ": " + FolderOf(path) + " belongs to another user (uid " +
                       std::to_string(parent.st_uid) + ")";
            } else if (::mkdir(path.c_str(), 0700) == 0) {
                if (::chmod(path.c_str(), 0700) != 0)
                    return "cannot make the folder " + folder + ": " + SystemError(errno);
            } else if (errno != EEXIST) {
                return "cannot make the folder " + folder + ": " + SystemError(errno);
            }
        }
        if (i < folder.size()) path += '/';
    }
    return "";
}

// Test hook: with SORVANTA_REGISTRY_TEST_HALT=write a change stops itself
// (SIGSTOP) once its temporary file holds the new registry, before the
// rename, so that a test can end it there.
void HaltForTestAtTheWrite()
{
    if (const char* v = std::getenv("SORVANTA_REGISTRY_TEST_HALT"); v && std::strcmp(v, "write") == 0)
        ::raise(SIGSTOP);
}

// Writes `text` to `path` through a temporary file renamed into place, the
// folder synced after; the mode of the file it replaces is kept but for
// write permission of group and others (0644 for a new one, so that every
// user reads an installation's registry).
bool WriteWhole(const std::string& path, const std::string& text, std::string* error)
{
    std::string temp;
    const int fd = MakeRegistryTemporary(path, &temp, error);
    if (fd < 0) return false;
    struct stat old {};
    // Never writable by others: a lookup would not use it then.
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777 & ~mode_t(022)) : 0644;
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
    if (!err) HaltForTestAtTheWrite();
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
    const std::string base = platform::UserConfigFolder();
    return base.empty() ? std::string() : base + "/Sorvanta/classes.reg";
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

bool OwnedByUserOrRoot(const struct stat& st) { return st.st_uid == ::geteuid() || st.st_uid == 0; }

// Why a registry in `folder` may not be trusted for the folder's sake, ""
// when it may: the folder belongs to this user or root and no one else may
// write into it.
std::string FolderProblem(const std::string& folder)
{
    struct stat in {};
    if (::stat(folder.c_str(), &in) != 0) return folder + ": " + SystemError(errno);
    if (!OwnedByUserOrRoot(in))
        return "its folder " + folder + " belongs to another user (uid " + std::to_string(in.st_uid) + ")";
    if (in.st_mode & 022) return "users other than its owner may write into its folder " + folder;
    return "";
}

// The registry's own folder ("<config>/Sorvanta" or an installation's
// "Calverdine") that this user owns and an earlier release made open to the
// group or to all (at umask 002 or 000): that right is taken away, as a
// rewrite does for the file, so that lookups use the registry. Any other
// folder is left as it is.
void CloseOwnFolder(const std::string& folder)
{
    struct stat in {};
    if (::stat(folder.c_str(), &in) != 0 || !(in.st_mode & 022) || in.st_uid != ::geteuid()) return;
    if (in.st_mode & S_ISVTX) return;  // a shared folder such as /tmp
    const std::string name = NameOf(folder);
    if (name != "Sorvanta" && name != "Calverdine") return;
    ::chmod(folder.c_str(), in.st_mode & 07777 & ~mode_t(022));
}

// The user's registry as it is written: its folder made, symbolic links
// followed. "" with *error when the folder cannot be made, or when a lookup
// would not use a registry in it (a registration is never reported done in
// a registry no lookup reads).
std::string WritablePath(std::string* error)
{
    const std::string path = RegistryPath();
    if (path.empty()) {
        if (error) *error = "the user's class registry has no place: this user has no home folder";
        return "";
    }
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
    CloseOwnFolder(FolderOf(resolved));
    if (const std::string why = FolderProblem(FolderOf(resolved)); !why.empty()) {
        if (error)
            *error = "the class registry " + resolved + " is not written: no lookup would use it, as " + why;
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

void SetLookupReadHook(std::function<void(const std::string&)> hook)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gBetweenCheckAndRead = std::move(hook);
}

bool EditRegistry(const std::function<bool(RegistryKeys&)>& edit, std::string* error)
{
    const std::string path = WritablePath(error);
    if (path.empty()) return false;
    RegistryLock lock;
    if (const std::string why = lock.Take(RegistryLockPath(path)); !why.empty()) {
        if (error) *error = why;
        return false;
    }
    // What a change ended by force left beside the registry goes first.
    RemoveRegistryLeftovers(path);
    RegistryKeys keys;
    if (!ReadRegistryFile(path, &keys, error)) return false;
    if (!edit(keys)) return true;
    return WriteWhole(path, Format(keys), error);
}

std::string RegistryWriteProblem(bool* damaged, int lockWaitMs)
{
    if (damaged) *damaged = false;
    std::string why;
    const std::string path = WritablePath(&why);
    if (path.empty()) return why;
    RegistryLock lock;
    if (why = lock.Take(RegistryLockPath(path), lockWaitMs); !why.empty()) return why;
    RegistryKeys keys;
    if (!ReadRegistryFile(path, &keys, &why)) {
        // A file this user may not read is not damaged: its mode says why.
        struct stat st {};
        if (damaged)
            *damaged = ::lstat(path.c_str(), &st) == 0 && ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
        return why;
    }
    std::string temp;
    const int fd = MakeRegistryTemporary(path, &temp, &why);
    if (fd < 0) return why;
    ::close(fd);
    ::unlink(temp.c_str());
    return "";
}

namespace {

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

// Reads the registry file `path` for a lookup when it may decide which
// library this process loads: it (when it exists) and its folder belong to
// this user or to root, and no one else may write them. The checks and the
// read go through the same open folder and file, so that whoever may
// rename something above them cannot put another file in their place
// between the check and the read. A missing file is an empty registry.
// False with *why (naming the file) when it may not be used or read.
bool ReadTrustedRegistry(const std::string& path, RegistryKeys* keys, std::string* why)
{
    keys->clear();
    const std::string what = "the class registry " + path + " is not used: ";
    const std::string folder = FolderOf(path);
    // Links above the folder are the user's own choice: the folder is
    // opened where they lead, but never through a link put in its place.
    std::string real = folder;
    if (char* resolved = ::realpath(folder.c_str(), nullptr)) {
        real = resolved;
        std::free(resolved);
    }
    Fd dir;
    dir.fd = ::open(real.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir.fd < 0) {
        if (errno == ENOENT) return true;  // no folder: no registry
        *why = what + "its folder " + folder + ": " +
               (errno == ELOOP || errno == ENOTDIR ? std::string("not a folder") : SystemError(errno));
        return false;
    }
    Fd file;
    file.fd = ::openat(dir.fd, NameOf(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (file.fd < 0) {
        if (errno == ENOENT) return true;  // no file: nothing in it is used
        *why = errno == ELOOP ? what + "it is a symbolic link"
                              : "cannot read the class registry " + path + ": " + RegularFileError(errno);
        return false;
    }
    struct stat in {}, st {};
    if (::fstat(dir.fd, &in) != 0 || ::fstat(file.fd, &st) != 0) {
        *why = "cannot read the class registry " + path + ": " + SystemError(errno);
        return false;
    }
    if (!OwnedByUserOrRoot(st)) {
        *why = what + "it belongs to another user (uid " + std::to_string(st.st_uid) + ")";
        return false;
    }
    if (st.st_mode & 022) {
        *why = what + "users other than its owner may write it";
        return false;
    }
    if (!OwnedByUserOrRoot(in)) {
        *why = what + "its folder " + folder + " belongs to another user (uid " + std::to_string(in.st_uid) + ")";
        return false;
    }
    if (in.st_mode & 022) {
        *why = what + "users other than its owner may write into its folder " + folder;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = "cannot read the class registry " + path + ": " + RegularFileError(S_ISDIR(st.st_mode) ? EISDIR : ENODEV);
        return false;
    }
    if (st.st_size > kMaxRegistryBytes) {
        *why = "cannot read the class registry " + path + ": larger than " + std::to_string(kMaxRegistryBytes) +
               " bytes";
        return false;
    }
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        hook = gBetweenCheckAndRead;
    }
    if (hook) hook(path);
    std::string text(size_t(st.st_size), '\0');
    if (::fcntl(file.fd, F_SETFL, ::fcntl(file.fd, F_GETFL) & ~O_NONBLOCK) != 0 ||
        ipiReadAt(file.fd, 0, text.empty() ? nullptr : &text[0], st.st_size) != st.st_size) {
        *why = "cannot read the class registry " + path + ": " + SystemError(EIO);
        return false;
    }
    return Parse(path, text, keys, why);
}

// A registry a lookup reads.
struct Scope {
    std::string path;
    RegistryKeys keys;
};

void Note(std::string* notes, const std::string& line)
{
    if (!notes || line.empty()) return;
    if (!notes->empty()) *notes += "; ";
    *notes += line;
}

// The registries a lookup reads, in order: the user's, then the
// installation's. One that cannot be read, or that someone else could have
// written, is passed over; *notes says why.
std::vector<Scope> LookupScopes(std::string* notes)
{
    std::vector<std::string> paths;
    if (const std::string user = RegistryPath(); !user.empty()) paths.push_back(Resolved(user));
    if (const std::string installation = InstallationRegistryPath(); !installation.empty()) {
        const std::string resolved = Resolved(installation);
        if (paths.empty() || resolved != paths.front()) paths.push_back(resolved);
    }
    std::vector<Scope> scopes;
    for (const std::string& path : paths) {
        Scope scope{path, {}};
        std::string why;
        if (ReadTrustedRegistry(path, &scope.keys, &why)) scopes.push_back(std::move(scope));
        else Note(notes, why);
    }
    return scopes;
}

const std::string* ValueOf(const RegistryKeys& keys, const std::string& key, const char* name)
{
    const auto it = keys.find(key);
    if (it == keys.end()) return nullptr;
    const auto value = it->second.find(name);
    return value == it->second.end() ? nullptr : &value->second;
}

// Loads a module (once per process); nullptr with *why when it cannot.
void* LoadModule(const std::string& module, std::string* why)
{
    std::lock_guard<std::mutex> lock(gMutex);
    if (auto it = gModules.find(module); it != gModules.end()) return it->second;
    // A regular file only: the loader would wait on a pipe.
    const int fd = ipiOpenRegularFile(module.c_str(), nullptr);
    if (fd < 0) {
        *why = module + ": " + RegularFileError(errno);
        return nullptr;
    }
    ::close(fd);
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* text = dlerror();
        *why = text ? text : module + ": cannot be loaded";
        return nullptr;
    }
    gModules[module] = handle;  // kept loaded for the life of the process
    return handle;
}

} // namespace

Status ClassIdFromProgId(const std::string& progId, std::string* classId, std::string* error, std::string* registry)
{
    std::string notes;
    for (const Scope& scope : LookupScopes(&notes)) {
        if (const std::string* id = ValueOf(scope.keys, "ProgID/" + progId, "CLSID")) {
            *classId = *id;
            if (registry) *registry = scope.path;
            return kOk;
        }
    }
    if (error) *error = notes;
    return kClassNotRegistered;
}

Status ModuleOfClass(const std::string& classId, std::string* modulePath, std::string* error, std::string* registry)
{
    std::string notes;
    bool registered = false;
    for (const Scope& scope : LookupScopes(&notes)) {
        const std::string* module = ValueOf(scope.keys, "CLSID/" + classId, "InprocServer");
        if (!module) continue;
        registered = true;
        const int fd = ipiOpenRegularFile(module->c_str(), nullptr);
        if (fd < 0) {
            Note(&notes, "the class registry " + scope.path + " names " + *module + ": " + RegularFileError(errno));
            continue;
        }
        ::close(fd);
        *modulePath = *module;
        if (registry) *registry = scope.path;
        return kOk;
    }
    if (error) *error = notes;
    return registered ? kModuleNotFound : kClassNotRegistered;
}

Status GetClassFactory(const std::string& classId, ClassFactory** factory, std::string* error, std::string* registry)
{
    if (!factory) return kInvalidPointer;
    *factory = nullptr;
    // Scope by scope: an entry whose library is gone or cannot be loaded
    // gives way to the next registry's.
    std::string notes;
    bool registered = false;
    for (const Scope& scope : LookupScopes(&notes)) {
        const std::string* module = ValueOf(scope.keys, "CLSID/" + classId, "InprocServer");
        if (!module) continue;
        registered = true;
        std::string why;
        void* handle = LoadModule(*module, &why);
        if (!handle) {
            Note(&notes, "the class registry " + scope.path + " names " + why);
            continue;
        }
        if (registry) *registry = scope.path;
        auto get = reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
        if (!get) {
            if (error) *error = *module + " has no DllGetClassObject";
            return kClassNotAvailable;
        }
        return get(classId.c_str(), kIidClassFactory, reinterpret_cast<void**>(factory));
    }
    if (error) *error = notes;
    return registered ? kModuleNotFound : kClassNotRegistered;
}

Status CreateObject(const std::string& progId, const std::string& iid, void** out, std::string* error,
                    std::string* registry)
{
    if (!out) return kInvalidPointer;
    *out = nullptr;
    std::string classId;
    if (Status s = ClassIdFromProgId(progId, &classId, error); Failed(s)) return s;
    ClassFactory* factory = nullptr;
    if (Status s = GetClassFactory(classId, &factory, error, registry); Failed(s)) return s;
    const Status s = factory->CreateInstance(nullptr, iid, out);
    factory->Release();
    return s;
}

} // namespace host
