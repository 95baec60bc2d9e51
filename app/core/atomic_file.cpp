// Files written whole or not at all (see atomic_file.h).
#include "app/core/atomic_file.h"

#include "platform/regular_file.h"

#include <atomic>
#include <mutex>
#include <set>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace core {
namespace {

std::function<void(const std::string&)> gBeforeRename;

std::string FolderPart(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Reason(int error) { return std::string(std::strerror(error)) + "."; }

// A fresh temporary name beside `target`: ".vh<pid>_s<n>.tmp".
std::string TemporaryName(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    return FolderPart(target) + ".vh" + std::to_string(::getpid()) + "_s" + std::to_string(counter++) + ".tmp";
}

bool ProcessAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

// Clears the stale temporary files of the folder `target` lies in, once a
// process: a folder is read once, however many files are written into it.
void ClearFolderOnce(const std::string& target)
{
    static std::mutex mutex;
    static std::set<std::string> cleared;
    const std::string folder = FolderPart(target);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!cleared.insert(folder).second)
            return;
    }
    RemoveStaleTemporaries(folder);
}

} // namespace

std::string WriteTarget(const std::string& path)
{
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return p;
        std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
        if (n <= 0 || size_t(n) >= buf.size())
            return p;
        const std::string link(buf.data(), size_t(n));
        p = link[0] == '/' ? link : FolderPart(p) + link;
    }
    return p;
}

std::string ReplaceProblem(const std::string& path)
{
    if (std::string limit = platform::PathLimitText(path); !limit.empty())
        return limit;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? std::string() : Reason(errno);
    if (S_ISDIR(st.st_mode))
        return Reason(EISDIR);
    // A pipe, a device or a socket is never swapped for a file of that name.
    if (!S_ISREG(st.st_mode))
        return "It is not a regular file.";
    // Mode bits rather than access(): root may write anything, but a file
    // that grants nobody write permission was made read-only on purpose.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0)
        return "The file is read-only.";
    return std::string();
}

bool AtomicFile::fail(const std::string& why)
{
    if (error_.empty())
        error_ = why;
    return false;
}

bool AtomicFile::open(const std::string& path)
{
    discard();
    error_.clear();
    target_ = WriteTarget(path);
    if (const std::string problem = ReplaceProblem(target_); !problem.empty())
        return fail(problem);
    ClearFolderOnce(target_);
    struct stat old {};
    const bool replacing = ::stat(target_.c_str(), &old) == 0;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporary_ = TemporaryName(target_);
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        const int e = errno;
        temporary_.clear();
        return fail(Reason(e));
    }
    // The replaced file's mode is given at commit: until then the file stays
    // as made, so an encoder may open it again by its descriptor's name.
    mode_ = replacing ? int(old.st_mode & 07777) : -1;
    return true;
}

bool AtomicFile::write(const char* data, size_t size)
{
    if (fd_ < 0 || !error_.empty())
        return fail("The file is not open.");
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(Reason(n < 0 ? errno : ENOSPC));
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool AtomicFile::commit()
{
    if (fd_ < 0 || !error_.empty()) {
        discard();
        return fail("The file is not open.");
    }
    if (mode_ >= 0)
        ::fchmod(fd_, mode_t(mode_));   // a folder that keeps no modes still takes the file
    if (::fsync(fd_) != 0 && errno != EINVAL)
        fail(Reason(errno));
    if (::close(fd_) != 0)
        fail(Reason(errno));
    fd_ = -1;
    if (error_.empty() && gBeforeRename)
        gBeforeRename(target_);
    if (error_.empty() && ::rename(temporary_.c_str(), target_.c_str()) != 0)
        fail(Reason(errno));
    if (!error_.empty()) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void AtomicFile::discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool IsProgramTemporary(const std::string& name, pid_t* pid)
{
    // ".vh" digits "_" anything ".tmp"
    if (name.size() < 9 || name.compare(0, 3, ".vh") != 0 || name.compare(name.size() - 4, 4, ".tmp") != 0)
        return false;
    size_t i = 3;
    long long value = 0;
    while (i < name.size() && name[i] >= '0' && name[i] <= '9' && value < (1LL << 31))
        value = value * 10 + (name[i++] - '0');
    if (i == 3 || i >= name.size() || name[i] != '_' || value <= 0 || value >= (1LL << 31))
        return false;
    if (pid)
        *pid = static_cast<pid_t>(value);
    return true;
}

int RemoveStaleTemporaries(const std::string& folder)
{
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d)
        return 0;
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(d)) {
        pid_t pid = 0;
        if (IsProgramTemporary(e->d_name, &pid) && pid != ::getpid() && !ProcessAlive(pid))
            stale.push_back(e->d_name);
    }
    ::closedir(d);
    int removed = 0;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const std::string& name : stale) {
        struct stat st {};
        const std::string path = prefix + name;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    return removed;
}

void SetBeforeRenameHook(std::function<void(const std::string&)> hook) { gBeforeRename = std::move(hook); }

} // namespace core
