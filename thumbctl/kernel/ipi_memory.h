#pragma once
// Movable global-memory blocks addressed by 32-bit handles.
//
// A handle is an index into a process-wide table plus a generation counter,
// so that a stale handle (freed block) or a foreign number is refused and
// never dereferenced. Handle 0 is never valid. Blocks are zero-filled at
// allocation. Thread-safe. The packed DIBs the decode entry points hand out
// are such blocks; the caller frees them with ipiGlobalFree.
#include "thumbctl/kernel/ipi_base.h"

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

// ---- files with 64-bit sizes and temporary files ------------------------
// Whole file into a new global block. *error: 0, 25 (cannot open),
// 22 (empty file), -1 (too large, read or allocation failure).
IPIHANDLE ReadFileToGlobal(const char* path, int* error);
// The same without the first 14 bytes (a BMP's file header); 22 when the
// file holds no more than 14 bytes.
IPIHANDLE ReadBmpFileAsPackedDib(const char* path, int* error);
// Size of a file in bytes, -1 when it cannot be examined.
int64_t ipiFileSize(const char* path);
// Makes a new empty temporary file "ipiXXXXXX" in the temporary folder
// ($TMPDIR, else /tmp) and returns its path; empty string on failure.
// The kernel deletes the files it makes this way when the data is freed.
std::string ipiMakeTempFile();
