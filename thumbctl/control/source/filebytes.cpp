// File and memory byte sources with bounded reads.
#include "thumbctl/control/source/filebytes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "thumbctl/control/constants.h"
#include "thumbctl/kernel/ipi_memory.h"

namespace thumbctl {

int64_t ByteSource::readSome(int64_t offset, void* buffer, int64_t n)
{
    if (offset < 0 || n <= 0 || offset >= size()) return 0;
    const int64_t take = n < size() - offset ? n : size() - offset;
    return read(offset, buffer, take) ? take : 0;
}

FileBytes::~FileBytes() { close(); }

void FileBytes::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

bool FileBytes::open(const std::string& path, int* error)
{
    close();
    int64_t size = 0;
    const int fd = ipiOpenRegularFile(path.c_str(), &size);
    if (fd < 0) {
        const int cause = errno;
        if (error) {
            if (cause == ENOENT) {
                // A missing folder on the way is a bad path, a missing file not found.
                const size_t slash = path.find_last_of('/');
                struct stat folder{};
                const bool folderThere =
                    slash == std::string::npos || slash == 0 || stat(path.substr(0, slash).c_str(), &folder) == 0;
                *error = folderThere ? trkErrFileNotFound : trkErrPathNotFound;
            } else if (cause == ENOTDIR || cause == ENAMETOOLONG) {
                *error = trkErrPathNotFound;
            } else {
                *error = trkErrFileIOError;
            }
        }
        return false;
    }
    fd_ = fd;
    size_ = size;
    return true;
}

bool FileBytes::read(int64_t offset, void* buffer, int64_t n)
{
    if (fd_ < 0 || offset < 0 || n < 0 || offset > size_ || n > size_ - offset) return false;
    return ipiReadAt(fd_, offset, buffer, n) == n;
}

bool MemoryBytes::read(int64_t offset, void* buffer, int64_t n)
{
    if (!data_ || offset < 0 || n < 0 || offset > size_ || n > size_ - offset) return false;
    if (n > 0) std::memcpy(buffer, data_ + offset, size_t(n));
    return true;
}

} // namespace thumbctl
