// Bounded reading of regular files: non-blocking open, checks on the descriptor.
#include "platform/regularfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

int OpenRegularFile(const std::string& path, int64_t* size, std::string* error, int64_t maxBytes)
{
    auto fail = [&](int fd, const std::string& why) {
        if (fd >= 0) ::close(fd);
        if (error) *error = path + ": " + why;
        return -1;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(-1, std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(fd, std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return fail(fd, "not a regular file");
    if (maxBytes >= 0 && st.st_size > maxBytes) return fail(fd, "larger than " + std::to_string(maxBytes) + " bytes");
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) return fail(fd, std::strerror(errno));
    if (size) *size = int64_t(st.st_size);
    return fd;
}

bool ReadRegularFile(const std::string& path, int64_t maxBytes, std::string* bytes, std::string* error)
{
    int64_t size = 0;
    const int fd = OpenRegularFile(path, &size, error, maxBytes);
    if (fd < 0) return false;
    std::string text(size_t(size), '\0');
    int64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, &text[size_t(done)], size_t(size - done), off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (error) *error = path + ": " + (n < 0 ? std::strerror(errno) : "cut short while it was read");
            ::close(fd);
            return false;
        }
        done += n;
    }
    ::close(fd);
    *bytes = std::move(text);
    return true;
}

} // namespace platform
