#pragma once
// Movable global-memory blocks addressed by 32-bit handles.
//
// A handle is an index into a process-wide table plus a generation counter,
// so that a stale handle (freed block) or a foreign number is refused and
// never dereferenced. Handle 0 is never valid. Blocks are zero-filled at
// allocation. Thread-safe. The packed DIBs the decode entry points hand out
// are such blocks; the caller frees them with ipiGlobalFree.
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_extent.h"

#include <memory>
#include <new>
#include <string>

typedef uint32_t IPIHANDLE;

// New zero-filled block of `size` bytes (1 .. kIpiMaxBytes); 0 on failure.
IPIHANDLE ipiGlobalAlloc(int64_t size);
// Pointer to the block's bytes, lock count raised; null for a bad handle.
void* ipiGlobalLock(IPIHANDLE handle);
// Lowers the lock count; false for a bad handle or an unlocked block.
bool ipiGlobalUnlock(IPIHANDLE handle);
// Frees the block (locked or not); false for a bad handle.
bool ipiGlobalFree(IPIHANDLE handle);
// Byte size of the block; 0 for a bad handle.
int64_t ipiGlobalSize(IPIHANDLE handle);
// True while the handle names a live block.
bool ipiGlobalIsValid(IPIHANDLE handle);
// Number of live blocks (tests check that nothing leaks).
int ipiGlobalLiveCount();

// RAII lock for kernel code: ptr() is null when the handle is bad.
class IpiGlobalLock {
public:
    explicit IpiGlobalLock(IPIHANDLE h) : h_(h), p_(static_cast<uint8_t*>(ipiGlobalLock(h))) {}
    ~IpiGlobalLock() { if (p_) ipiGlobalUnlock(h_); }
    IpiGlobalLock(const IpiGlobalLock&) = delete;
    IpiGlobalLock& operator=(const IpiGlobalLock&) = delete;
    uint8_t* ptr() const { return p_; }
    int64_t size() const { return p_ ? ipiGlobalSize(h_) : 0; }

private:
    IPIHANDLE h_;
    uint8_t* p_;
};

// A scratch buffer for data that is written whole before it is read: it
// grows to the largest size asked for and is never cleared.
class IpiScratch {
public:
    // At least `n` bytes; null when they cannot be had.
    uint8_t* Reserve(int64_t n)
    {
        if (n > size_) {
            p_.reset(n > 0 && n <= kIpiMaxBytes ? new (std::nothrow) uint8_t[size_t(n)] : nullptr);
            size_ = p_ ? n : 0;
        }
        return n <= size_ ? p_.get() : nullptr;
    }

private:
    std::unique_ptr<uint8_t[]> p_;
    int64_t size_ = 0;
};

// ---- files with 64-bit sizes and temporary files ------------------------
// Whole file into a new global block; with `extent`, only the bytes of the
// picture it finds at the file's start (ipi_extent.h). *error: 0, 25 (cannot
// open), 22 (empty, or the extent found no end within what the picture can
// take), -1 (too large, read or allocation failure).
IPIHANDLE ReadFileToGlobal(const char* path, int* error, IpiExtentFn extent = nullptr);
// Opens `path` for reading when it names a regular file, never waiting on a
// pipe or a device: the descriptor (reads block as usual) and *size, or -1
// with errno: the open's own cause, EISDIR for a folder, ENODEV for any other
// file that is not a regular file. Every file the kernel and the thumbnail
// control read is opened this way.
int ipiOpenRegularFile(const char* path, int64_t* size);
// Reads up to `n` bytes at `offset` of an open file; returns how many were
// read (fewer only at the end of the file or on a failure).
int64_t ipiReadAt(int fd, int64_t offset, void* buffer, int64_t n);
// A whole regular file of at most `maxBytes` into *bytes: 0, or the cause
// (ipiOpenRegularFile's errno, EFBIG when larger, ENOMEM, EIO on a short read).
int ipiReadRegularFile(const char* path, int64_t maxBytes, std::string* bytes);
// Size of a file in bytes, -1 when it cannot be examined.
int64_t ipiFileSize(const char* path);
// Makes a new empty temporary file "ipiXXXXXX" in the temporary folder
// ($TMPDIR, else /tmp) and returns its path; empty string on failure.
// The kernel deletes the files it makes this way when the data is freed.
std::string ipiMakeTempFile();
