// Global-memory blocks behind 32-bit handles, whole-file reads and
// temporary files.
#include "thumbctl/kernel/ipi_memory.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// handle = generation (high 12 bits, never 0) << 20 | (slot + 1)
constexpr uint32_t kSlotBits = 20;
constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;
constexpr uint32_t kMaxSlots = kSlotMask - 1;
constexpr uint32_t kGenMask = 0xFFFu;

struct Slot {
    uint8_t* data = nullptr;
    int64_t size = 0;
    size_t mapped = 0;  // bytes mapped for the block; 0 for a heap block
    int locks = 0;
    uint32_t generation = 1;
    bool live = false;
};

struct Table {
    std::mutex mutex;
    std::vector<Slot> slots;
    std::vector<uint32_t> freeSlots;
    int live = 0;
};

Table& table()
{
    static Table t;
    return t;
}

Slot* Find(Table& t, IPIHANDLE h)
{
    uint32_t index = h & kSlotMask;
    uint32_t gen = h >> kSlotBits;
    if (index == 0 || index > t.slots.size()) return nullptr;
    Slot& s = t.slots[index - 1];
    if (!s.live || s.generation != gen) return nullptr;
    return &s;
}

// Blocks from this size on (the bitmaps of large pictures) are mapped on
// their own and asked to use 2 MiB pages: the first write to a fresh block
// then costs one page fault for every 2 MiB instead of one for every 4 KiB.
constexpr int64_t kMappedBlockBytes = int64_t(4) << 20;
constexpr size_t kLargePage = size_t(2) << 20;

// A zero-filled block of `size` bytes; *mapped receives the bytes mapped
// for it, 0 for a heap block.
uint8_t* AllocateZeroed(int64_t size, size_t* mapped)
{
    *mapped = 0;
    if (size < kMappedBlockBytes) return static_cast<uint8_t*>(std::calloc(1, size_t(size)));
    const size_t length = (size_t(size) + kLargePage - 1) / kLargePage * kLargePage;
    void* raw = ::mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    // Keep the large-page-aligned part only.
    auto* start = static_cast<uint8_t*>(raw);
    auto* aligned = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(start) + kLargePage - 1) &
                                               ~uintptr_t(kLargePage - 1));
    if (aligned > start) ::munmap(start, size_t(aligned - start));
    const size_t tail = size_t(start + length + kLargePage - (aligned + length));
    if (tail) ::munmap(aligned + length, tail);
#ifdef MADV_HUGEPAGE
    ::madvise(aligned, length, MADV_HUGEPAGE);
#endif
    *mapped = length;
    return aligned;
}

void Release(uint8_t* data, size_t mapped)
{
    if (mapped) ::munmap(data, mapped);
    else std::free(data);
}

} // namespace

IPIHANDLE ipiGlobalAlloc(int64_t size)
{
    if (size <= 0 || size > kIpiMaxBytes) return 0;
    size_t mapped = 0;
    uint8_t* data = AllocateZeroed(size, &mapped);
    if (!data) return 0;
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    uint32_t index;
    if (!t.freeSlots.empty()) {
        index = t.freeSlots.back();
        t.freeSlots.pop_back();
    } else {
        if (t.slots.size() >= kMaxSlots) {
            Release(data, mapped);
            return 0;
        }
        t.slots.emplace_back();
        index = uint32_t(t.slots.size() - 1);
    }
    Slot& s = t.slots[index];
    s.data = data;
    s.size = size;
    s.mapped = mapped;
    s.locks = 0;
    s.live = true;
    ++t.live;
    return (s.generation << kSlotBits) | (index + 1);
}

void* ipiGlobalLock(IPIHANDLE handle)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Slot* s = Find(t, handle);
    if (!s) return nullptr;
    ++s->locks;
    return s->data;
}

bool ipiGlobalUnlock(IPIHANDLE handle)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Slot* s = Find(t, handle);
    if (!s || s->locks == 0) return false;
    --s->locks;
    return true;
}

bool ipiGlobalFree(IPIHANDLE handle)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Slot* s = Find(t, handle);
    if (!s) return false;
    Release(s->data, s->mapped);
    s->data = nullptr;
    s->size = 0;
    s->mapped = 0;
    s->locks = 0;
    s->live = false;
    s->generation = (s->generation + 1) & kGenMask;
    if (s->generation == 0) s->generation = 1;
    t.freeSlots.push_back((handle & kSlotMask) - 1);
    --t.live;
    return true;
}

int64_t ipiGlobalSize(IPIHANDLE handle)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Slot* s = Find(t, handle);
    return s ? s->size : 0;
}

bool ipiGlobalIsValid(IPIHANDLE handle)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return Find(t, handle) != nullptr;
}

int ipiGlobalLiveCount()
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    return t.live;
}

int64_t ipiFileSize(const char* path)
{
    struct stat st;
    if (!path || ::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return int64_t(st.st_size);
}

int ipiOpenRegularFile(const char* path, int64_t* size)
{
    if (!path || !*path) {
        errno = ENOENT;
        return -1;
    }
    // Non-blocking, so that a pipe without a writer or a device never holds
    // the open; only a regular file is kept, and its reads block again.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    int cause = 0;
    if (::fstat(fd, &st) != 0) cause = errno;
    else if (S_ISDIR(st.st_mode)) cause = EISDIR;
    else if (!S_ISREG(st.st_mode)) cause = ENODEV;
    else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) cause = errno;
    if (cause) {
        ::close(fd);
        errno = cause;
        return -1;
    }
    if (size) *size = int64_t(st.st_size);
    return fd;
}

int64_t ipiReadAt(int fd, int64_t offset, void* buffer, int64_t n)
{
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, out + done, size_t(n - done), off_t(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += got;
    }
    return done;
}

int ipiReadRegularFile(const char* path, int64_t maxBytes, std::string* bytes)
{
    int64_t size = 0;
    const int fd = ipiOpenRegularFile(path, &size);
    if (fd < 0) return errno;
    int cause = 0;
    if (size > maxBytes) {
        cause = EFBIG;
    } else {
        try {
            bytes->assign(size_t(size), '\0');
        } catch (const std::bad_alloc&) {
            cause = ENOMEM;
        }
        if (!cause && ipiReadAt(fd, 0, &(*bytes)[0], size) != size) cause = EIO;
    }
    ::close(fd);
    if (cause) bytes->clear();
    return cause;
}

namespace {

// The first `size` bytes of the open file `fd` into a new block.
IPIHANDLE ReadOpenFileToGlobal(int fd, int64_t size, int* error)
{
    if (size <= 0) {
        *error = 22;
        return 0;
    }
    if (size > kIpiMaxBytes) {
        errno = EFBIG;
        *error = -1;
        return 0;
    }
    IPIHANDLE h = ipiGlobalAlloc(size);
    if (!h) {
        errno = ENOMEM;
        *error = -1;
        return 0;
    }
    auto* p = static_cast<uint8_t*>(ipiGlobalLock(h));
    const int64_t done = ipiReadAt(fd, 0, p, size);
    ipiGlobalUnlock(h);
    if (done != size) {
        ipiGlobalFree(h);
        *error = -1;
        return 0;
    }
    return h;
}

} // namespace

IPIHANDLE ReadFileToGlobal(const char* path, int* error, IpiExtentFn extent)
{
    int dummy = 0;
    if (!error) error = &dummy;
    *error = 0;
    int64_t fileSize = 0;
    const int fd = ipiOpenRegularFile(path, &fileSize);
    if (fd < 0) {
        *error = 25;
        return 0;
    }
    const int64_t size = extent ? int64_t(extent(ipiFileBytes(fd, fileSize))) : fileSize;
    const IPIHANDLE h = ReadOpenFileToGlobal(fd, size, error);
    ::close(fd);
    return h;
}

std::string ipiMakeTempFile()
{
    const char* dir = std::getenv("TMPDIR");
    std::string folder = (dir && *dir) ? dir : "/tmp";
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::string pattern = folder + "/ipiXXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = ::mkstemp(buf.data());
    if (fd < 0) return std::string();
    ::close(fd);
    return std::string(buf.data());
}
