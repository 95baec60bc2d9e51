#pragma once
// Opening a file for reading: only a regular file is taken, and the open never
// waits (a pipe without a writer, a device or a folder in the file's place is
// refused at once); the checks are made on the opened descriptor, so a name
// swapped between a look and the open changes nothing. Readers then read what
// their format needs from it, never the whole file unless the whole file is
// what they read. The layer below the program, its tools and the upgrade tool.
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The longest path the system opens, in bytes, and the longest name of one
// file or folder in it.
inline constexpr size_t kMaxPathBytes = 4095;
inline constexpr size_t kMaxNameBytes = 255;

// A sentence naming the limit a path goes beyond ("" when it keeps to both).
std::string PathLimitText(const std::string& path);

class RegularFile {
public:
    RegularFile() = default;
    explicit RegularFile(const std::string& path) { open(path); }
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // False (the reason in error()) for a missing file, a folder, a pipe, a
    // device or a path beyond the system's limits.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    // The size the file had when it was opened.
    uint64_t size() const { return size_; }
    // The open descriptor (-1 when closed), for a reader that reads from it
    // itself; it stays this object's to close.
    int descriptor() const { return fd_; }
    // Hands the descriptor over: the caller closes it; this object is closed.
    int release();

    // Reads up to n bytes at `offset`; the number read, short only at the end
    // of the file; -1 on a read error.
    int64_t readAt(uint64_t offset, void* buffer, size_t n);
    // Exactly n bytes at `offset`; false when the file ends first or a read fails.
    bool readExactlyAt(uint64_t offset, void* buffer, size_t n);

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    std::string error_;
};

// Opens `path` as RegularFile::open does and hands the descriptor (blocking
// again) to the caller, who closes it, with the file's size in *size. -1 with
// the reason in *error when the open is refused or the file is larger than
// maxBytes (-1: any size).
int OpenRegularFile(const std::string& path, int64_t* size, std::string* error, int64_t maxBytes = -1);

// Reads a whole regular file of at most maxBytes into *bytes (a file that
// grows past the bound while it is read is refused too). False with the
// reason in *error.
bool ReadRegularFile(const std::string& path, uint64_t maxBytes, std::string* bytes, std::string* error = nullptr);

} // namespace platform
