// The lock of a class registry change and the temporary files it writes.
#include "thumbctl/control/host/registry_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace host {
namespace {

std::string SystemError(int err) { return std::strerror(err); }

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

// The characters mkstemp puts in place of its six X.
bool IsTemplateCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

std::string RegistryLockPath(const std::string& registry) { return registry + ".lock"; }

std::string RegistryLock::Take(const std::string& lockPath, int waitMs)
{
    Release();
    heldElsewhere_ = false;
    path_ = lockPath;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd_ < 0) return "cannot lock the class registry: " + path_ + ": " + SystemError(errno);
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            Close();
            return "cannot lock the class registry: " + path_ + ": not a regular file";
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            // Held, unless the file was removed (by the holder before us)
            // after this process opened it: then lock the new one.
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
        if (std::chrono::steady_clock::now() >= deadline) {
            heldElsewhere_ = true;
            return "the class registry is locked by another process (" + path_ + ")";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void RegistryLock::Release()
{
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    Close();
}

void RegistryLock::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int MakeRegistryTemporary(const std::string& registry, std::string* name, std::string* error)
{
    const std::string pattern = FolderOf(registry) + "/." + NameOf(registry) + ".XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = "cannot write " + registry + ": " + SystemError(errno);
        return -1;
    }
    name->assign(buf.data());
    return fd;
}

bool IsRegistryTemporaryName(const std::string& name, const std::string& registryName)
{
    const std::string stem = "." + registryName + ".";
    if (name.size() != stem.size() + 6 || name.compare(0, stem.size(), stem) != 0) return false;
    for (size_t i = stem.size(); i < name.size(); ++i)
        if (!IsTemplateCharacter(name[i])) return false;
    return true;
}

std::string RemoveRegistryLeftovers(const std::string& registry)
{
    const std::string folder = FolderOf(registry);
    const std::string name = NameOf(registry);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return errno == ENOENT ? std::string() : folder + ": " + SystemError(errno);
    std::vector<std::string> found;
    while (const dirent* entry = ::readdir(dir))
        if (IsRegistryTemporaryName(entry->d_name, name)) found.push_back(folder + "/" + entry->d_name);
    ::closedir(dir);
    std::string first;
    for (const std::string& path : found) {
        struct stat st {};
        // Only files: a folder or anything else of that name is not ours.
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::unlink(path.c_str()) != 0 && errno != ENOENT && first.empty()) first = path + ": " + SystemError(errno);
    }
    if (!found.empty()) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    return first;
}

} // namespace host
