#pragma once
// Bounded byte access to a file or a memory block: every read names its
// offset and length and fails, rather than reading short, when they reach
// past the end. Sizes and offsets are 64-bit.
#include <cstdint>
#include <string>

namespace thumbctl {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual int64_t size() const = 0;
    // Reads exactly `n` bytes at `offset`; false when they do not all lie in
    // the data or the read fails.
    virtual bool read(int64_t offset, void* buffer, int64_t n) = 0;
    // Reads up to `n` bytes at `offset`; returns how many (0 past the end).
    int64_t readSome(int64_t offset, void* buffer, int64_t n);
};

class FileBytes : public ByteSource {
public:
    FileBytes() = default;
    ~FileBytes() override;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    // Opens for reading; on failure the control error of the cause:
    // 2110 not found, 2112 bad path, 2120 any other.
    bool open(const std::string& path, int* error);
    void close();
    int64_t size() const override { return size_; }
    bool read(int64_t offset, void* buffer, int64_t n) override;

private:
    int fd_ = -1;
    int64_t size_ = 0;
};

class MemoryBytes : public ByteSource {
public:
    MemoryBytes(const void* data, int64_t size) : data_(static_cast<const uint8_t*>(data)), size_(data ? size : 0) {}
    int64_t size() const override { return size_; }
    bool read(int64_t offset, void* buffer, int64_t n) override;

private:
    const uint8_t* data_;
    int64_t size_;
};

} // namespace thumbctl
