// Opening regular files for reading without ever waiting on a pipe or device.
#include "platform/regular_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string PathLimitText(const std::string& path)
{
    if (path.size() > kMaxPathBytes)
        return "The path is longer than " + std::to_string(kMaxPathBytes) + " bytes, the longest path the system opens.";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end - start > kMaxNameBytes)
            return "A name in the path is longer than " + std::to_string(kMaxNameBytes) +
                   " bytes, the longest name the system allows.";
        start = end + 1;
    }
    return "";
}

RegularFile::~RegularFile() { close(); }

void RegularFile::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

bool RegularFile::open(const std::string& path)
{
    close();
    error_.clear();
    // Non-blocking, so that a pipe without a writer never holds the open; the
    // descriptor is kept only for a regular file, and checked on itself, so a
    // path swapped for a pipe after any earlier look is refused too.
    const int fd = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int cause = path.empty() ? ENOENT : errno;
        const std::string limit = cause == ENAMETOOLONG ? PathLimitText(path) : std::string();
        error_ = "Cannot open " + path + ": " + (limit.empty() ? std::string(std::strerror(cause)) + "." : limit);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error_ = path + " is not a regular file.";
        return false;
    }
    // Reads of a regular file wait for the disk as they should.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags != -1) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    size_ = uint64_t(st.st_size);
    return true;
}

int RegularFile::release()
{
    const int fd = fd_;
    fd_ = -1;
    size_ = 0;
    return fd;
}

int64_t RegularFile::readAt(uint64_t offset, void* buffer, size_t n)
{
    if (fd_ < 0) return -1;
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd_, out + done, n - done, off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        done += size_t(got);
    }
    return int64_t(done);
}

bool RegularFile::readExactlyAt(uint64_t offset, void* buffer, size_t n)
{
    return readAt(offset, buffer, n) == int64_t(n);
}

int OpenRegularFile(const std::string& path, int64_t* size, std::string* error, int64_t maxBytes)
{
    RegularFile file;
    std::string why;
    if (!file.open(path))
        why = file.error();
    else if (maxBytes >= 0 && file.size() > uint64_t(maxBytes))
        why = path + " is too large (more than " + std::to_string(maxBytes) + " bytes).";
    if (!why.empty()) {
        if (error) *error = why;
        return -1;
    }
    if (size) *size = int64_t(file.size());
    return file.release();
}

bool ReadRegularFile(const std::string& path, uint64_t maxBytes, std::string* bytes, std::string* error)
{
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    RegularFile file;
    if (!file.open(path)) return fail(file.error());
    auto tooLarge = [&] { return fail(path + " is too large (more than " + std::to_string(maxBytes) + " bytes)."); };
    if (file.size() > maxBytes) return tooLarge();
    std::string text;
    char buf[8192];
    for (;;) {
        const int64_t n = file.readAt(text.size(), buf, sizeof buf);
        if (n < 0) return fail("Cannot read " + path + ": " + std::strerror(errno) + ".");
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
        if (text.size() > maxBytes)   // a file that grows while it is read
            return tooLarge();
    }
    if (bytes) *bytes = std::move(text);
    return true;
}

} // namespace platform
