// Data stores (file, caller memory, workspace) and accessors.
#include "thumbctl/kernel/ipi_store.h"

#include "thumbctl/kernel/ipi_env.h"
#include "thumbctl/kernel/ipi_memory.h"
#include "thumbctl/kernel/ipi_object.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Fail(IPIENVIRONMENT* env, int code)
{
    ipiReportError(env, code);
    return code;
}

bool IsMemory(const IPISTORE* s) { return s->repository == ipiRepositoryApplication || s->repository == ipiRepositoryWorkspace; }

// Bytes that can be read from the store.
int64_t Available(const IPISTORE* s)
{
    if (IsMemory(s)) return s->memory ? s->totalSize : 0;
    if (s->fd >= 0) return s->fileSize;
    return 0;
}

// Largest byte offset + 1 that may be written.
int64_t WriteLimit(const IPISTORE* s)
{
    if (IsMemory(s)) return s->memory ? s->totalSize : 0;
    return kIpiMaxBytes;
}

bool PReadAll(int fd, int64_t off, void* buf, int64_t n)
{
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        ssize_t r = ::pread(fd, p, size_t(n), off_t(off));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        off += r;
        n -= r;
    }
    return true;
}

bool PWriteAll(int fd, int64_t off, const void* buf, int64_t n)
{
    auto* p = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        ssize_t r = ::pwrite(fd, p, size_t(n), off_t(off));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        off += r;
        n -= r;
    }
    return true;
}

// Copies what exists of [off, off + n) into dst, zero-filling the rest.
// Returns false only on an I/O failure.
bool CopyOut(IPISTORE* s, int64_t off, uint8_t* dst, int64_t n)
{
    if (n <= 0) return true;
    int64_t avail = Available(s);
    int64_t take = off < 0 || off >= avail ? 0 : std::min(n, avail - off);
    std::memset(dst + take, 0, size_t(n - take));
    if (take == 0) return true;
    if (IsMemory(s)) {
        std::memcpy(dst, s->memory + off, size_t(take));
        return true;
    }
    return PReadAll(s->fd, off, dst, take);
}

int64_t ByteOffset(const IPISTORE* s, int64_t sampleIndex)
{
    if (sampleIndex < 0) return -1;
    __int128 bits = __int128(sampleIndex) * s->precision;
    if (bits / 8 > kIpiMaxBytes) return -1;
    return int64_t(bits / 8);
}

} // namespace

int64_t ipiLineStride(int64_t width, int64_t precision)
{
    int64_t bits = width * precision;
    if (bits % 8 == 0) return bits / 8;
    return (bits + 14) / 8;
}

namespace {

// A store's line geometry: precision as stored, samples per line, stride and
// the window of lines (negative `lines`: the whole block as one line).
// False when the window would pass the kernel's limit.
bool SetLines(IPIENVIRONMENT* env, IPISTORE* s, const IPIOBJECT* object, int lines)
{
    s->precision = object->dataPrecision;
    if (object->dataType == ipiTypeNonNegative && s->precision < 8) s->precision = env->nonnegativeIntegerPrecision;
    if (s->precision <= 0 || s->precision > 128) s->precision = 8;
    int64_t width = std::max<int64_t>(0, object->dim[0]);
    if (lines < 0) {
        width *= -int64_t(lines);
        s->window = 1;
    } else {
        s->window = std::max(1, lines);
    }
    s->lineWidth = width;
    if (width > kIpiMaxBytes) width = kIpiMaxBytes;
    s->stride = ipiLineStride(width, s->precision);
    return s->stride <= kIpiMaxBytes / s->window;
}

// A workspace store: the object's block, or a new zero-filled one when its
// data is not there yet; 0 or the error to report.
int AttachWorkspace(IPISTORE* s, IPIOBJECT* object, int64_t total)
{
    IPIHANDLE h = IPIHANDLE(object->workSpaceHandle);
    if (s->initedAtOpen && ipiGlobalIsValid(h)) {
        s->totalSize = ipiGlobalSize(h);
        s->memory = reinterpret_cast<uint8_t*>(object->workSpace);
        return 0;
    }
    if (ipiGlobalIsValid(h)) {
        ipiGlobalUnlock(h);
        ipiGlobalFree(h);
    }
    object->workSpaceHandle = 0;
    object->workSpace = 0;
    // Compressed data takes its own byte count (the block grows when more is
    // written), never the size of the picture it expands to.
    const int64_t bytes = object->compression != 0 && object->size > 0
                              ? object->size
                              : std::max<int64_t>(total, std::max<int64_t>(object->size, 0));
    if (total >= 0 && bytes <= kIpiMaxBytes) h = ipiGlobalAlloc(std::max<int64_t>(bytes, 1));
    if (total < 0 || bytes > kIpiMaxBytes || !h) {
        errno = ENOMEM;
        return ipiErrSystem;
    }
    object->workSpaceHandle = IPIVALUE(h);
    object->workSpace = reinterpret_cast<IPIVALUE>(ipiGlobalLock(h));
    s->totalSize = bytes;
    s->memory = reinterpret_cast<uint8_t*>(object->workSpace);
    return 0;
}

// A file store: the object's file (a new temporary one when it has none),
// opened to read (a regular file only) or to write; 0 or the error.
int AttachFile(IPISTORE* s, IPIOBJECT* object, int64_t total)
{
    if (object->fileName.empty()) {
        std::string name = ipiMakeTempFile();
        if (name.empty()) return ipiErrFileOpenFailure;
        object->fileName = name;
        object->flags |= ipiFlagTmpnam;
    }
    if (s->readMode) {
        s->fd = ipiOpenRegularFile(object->fileName.c_str(), &s->fileSize);
        if (s->fd < 0) return ipiErrFileOpenFailure;
    } else {
        const int flags = s->initedAtOpen ? O_RDWR : O_RDWR | O_CREAT | O_TRUNC;
        s->fd = ::open(object->fileName.c_str(), flags | O_CLOEXEC, 0644);
        if (s->fd < 0) return ipiErrFileOpenFailure;
        struct stat st;
        if (::fstat(s->fd, &st) != 0) return ipiErrSystem;
        s->fileSize = int64_t(st.st_size);
    }
    s->totalSize = s->readMode ? s->fileSize : std::max<int64_t>(total, 0);
    s->transfer.assign(512, 0);
    s->transferPos = 512;
    return 0;
}

} // namespace

IPISTORE* ipiOpenDataStore(IPIENVIRONMENT* env, IPIOBJECT* object, const char* mode, int lines)
{
    if (ipiCheckEnvironment(env)) return nullptr;
    if (!ipiIsValidObject(env, object)) return nullptr;
    auto* s = new (std::nothrow) IPISTORE;
    if (!s) {
        errno = ENOMEM;
        ipiReportError(env, ipiErrSystem);
        return nullptr;
    }
    s->object = object;
    s->readMode = mode && std::strcmp(mode, "r") == 0;
    s->initedAtOpen = ipiIsInited(object);
    s->dataType = object->dataType;
    s->compression = object->compression;
    s->repository = int(object->repository);
    auto fail = [&](int code) -> IPISTORE* {
        if (s->fd >= 0) ::close(s->fd);
        delete s;
        ipiReportError(env, code);
        return nullptr;
    };
    if (!SetLines(env, s, object, lines)) {
        errno = ENOMEM;
        return fail(ipiErrSystem);
    }
    try {
        s->line.assign(size_t(std::max<int64_t>(1, s->stride) * s->window), 0);
    } catch (...) {
        errno = ENOMEM;
        return fail(ipiErrSystem);
    }
    const int64_t total = ipiObjectDataSize(env, object);
    int rc = 0;
    switch (s->repository) {
    case ipiRepositoryApplication:
        s->memory = reinterpret_cast<uint8_t*>(object->applicationAddressSpace);
        if (!s->memory) rc = ipiErrNonPermissibleOption;
        s->totalSize = object->size > 0 ? object->size : std::max<int64_t>(0, total);
        break;
    case ipiRepositoryWorkspace: rc = AttachWorkspace(s, object, total); break;
    case ipiRepositoryFile: rc = AttachFile(s, object, total); break;
    default: break;
    }
    return rc ? fail(rc) : s;
}

int ipiCloseDataStore(IPIENVIRONMENT* env, IPISTORE* s)
{
    if (!s) return 0;
    int rc = 0;
    IPIOBJECT* o = s->object;
    if (!s->readMode) {
        if (s->streamedWrite) {
            if (s->bitMask != 128) {
                uint8_t b = uint8_t(s->pendingByte);
                if (IsMemory(s)) {
                    if (s->streamed < s->totalSize) s->memory[s->streamed] = b;
                    else rc = Fail(env, ipiErrInsufficientSize);
                } else {
                    s->transfer[size_t(s->transferFill++)] = b;
                }
                ++s->streamed;
                s->bitMask = 128;
            }
            if (!IsMemory(s) && s->fd >= 0 && s->transferFill > 0) {
                if (!PWriteAll(s->fd, s->streamed - s->transferFill, s->transfer.data(), s->transferFill))
                    rc = Fail(env, ipiErrSystem);
                s->transferFill = 0;
            }
            if (rc == 0) o->size = s->streamed;
        } else if (s->fd >= 0 && (s->compression == 0 || s->compression == ipiCompressionJpeg) &&
                   !s->initedAtOpen && s->fileSize < s->totalSize) {
            if (::ftruncate(s->fd, off_t(s->totalSize)) != 0) rc = Fail(env, ipiErrSystem);
        }
    }
    bool attached = s->fd >= 0 || s->memory != nullptr;
    if (s->fd >= 0) ::close(s->fd);
    if (attached && rc == 0) o->flags |= ipiFlagInited;
    delete s;
    return rc;
}

int64_t ipiStoreSize(const IPISTORE* store) { return store ? Available(store) : 0; }

const uint8_t* ipiReadAt(IPIENVIRONMENT* env, IPISTORE* s, int64_t sampleIndex)
{
    if (!s) return nullptr;
    int64_t off = ByteOffset(s, sampleIndex);
    int64_t avail = Available(s);
    if (s->window <= 1) {
        if (off < 0 || off >= avail) {
            Fail(env, ipiErrInsufficientSize);
            return nullptr;
        }
        if (IsMemory(s) && off + s->stride <= avail) return s->memory + off;
        if (!CopyOut(s, off, s->line.data(), s->stride)) {
            Fail(env, ipiErrSystem);
            return nullptr;
        }
        return s->line.data();
    }
    if (off < 0) {
        Fail(env, ipiErrInsufficientSize);
        return nullptr;
    }
    int half = s->window / 2;
    for (int k = 0; k < s->window; ++k) {
        int64_t lineOff = off + int64_t(k - half) * s->stride;
        if (!CopyOut(s, lineOff, s->line.data() + size_t(k) * size_t(s->stride), s->stride)) {
            Fail(env, ipiErrSystem);
            return nullptr;
        }
    }
    return s->line.data() + size_t(half) * size_t(s->stride);
}

uint8_t* ipiReadAtOffset(IPIENVIRONMENT* env, IPISTORE* s, int64_t sampleIndex)
{
    if (!s) return nullptr;
    int64_t off = ByteOffset(s, sampleIndex);
    if (off < 0 || off >= WriteLimit(s)) {
        Fail(env, ipiErrInsufficientSize);
        return nullptr;
    }
    if (!CopyOut(s, off, s->line.data(), s->stride)) {
        Fail(env, ipiErrSystem);
        return nullptr;
    }
    return s->line.data();
}

namespace {

// Stores one line of `stride` bytes from `src` at the line of `sampleIndex`
// (cut short at the end of the data).
int WriteLine(IPIENVIRONMENT* env, IPISTORE* s, int64_t sampleIndex, const uint8_t* src)
{
    int64_t off = ByteOffset(s, sampleIndex);
    int64_t limit = WriteLimit(s);
    if (!IsMemory(s) && s->totalSize > 0) limit = std::min(limit, s->totalSize);
    if (off < 0 || off >= limit) return Fail(env, ipiErrInsufficientSize);
    int64_t n = std::min(s->stride, limit - off);
    if (IsMemory(s)) {
        std::memcpy(s->memory + off, src, size_t(n));
        return 0;
    }
    if (s->fd < 0) return Fail(env, ipiErrInvalidInstance);
    if (!PWriteAll(s->fd, off, src, n)) return Fail(env, ipiErrSystem);
    s->fileSize = std::max(s->fileSize, off + n);
    return 0;
}

} // namespace

int ipiWriteAt(IPIENVIRONMENT* env, IPISTORE* s, int64_t sampleIndex)
{
    if (!s) return ipiErrInvalidInstance;
    return WriteLine(env, s, sampleIndex, s->line.data());
}

int ipiWriteLineBytes(IPIENVIRONMENT* env, IPISTORE* s, int64_t sampleIndex, const uint8_t* bytes, int64_t count)
{
    if (!s) return ipiErrInvalidInstance;
    if (count >= s->stride) return WriteLine(env, s, sampleIndex, bytes);
    uint8_t* line = ipiReadAtOffset(env, s, sampleIndex);
    if (!line) return ipiGetError(env);
    if (count > 0) std::memcpy(line, bytes, size_t(count));
    return WriteLine(env, s, sampleIndex, line);
}

namespace {

bool GrowWorkspace(IPISTORE* s, int64_t bytes)
{
    IPIHANDLE h = ipiGlobalAlloc(bytes);
    if (!h) return false;
    auto* p = static_cast<uint8_t*>(ipiGlobalLock(h));
    std::memcpy(p, s->memory, size_t(s->totalSize));
    IPIOBJECT* o = s->object;
    IPIHANDLE old = IPIHANDLE(o->workSpaceHandle);
    ipiGlobalUnlock(old);
    ipiGlobalFree(old);
    o->workSpaceHandle = IPIVALUE(h);
    o->workSpace = reinterpret_cast<IPIVALUE>(p);
    s->memory = p;
    s->totalSize = bytes;
    return true;
}

} // namespace

int64_t ipiReadFileAt(IPIENVIRONMENT* env, IPISTORE* s, int64_t offset, void* buffer, int64_t count)
{
    if (!s || !buffer || count < 0 || offset < 0) {
        if (s) Fail(env, ipiErrInsufficientSize);
        return -1;
    }
    int64_t avail = Available(s);
    if (offset > avail || count > avail - offset) {
        Fail(env, ipiErrInsufficientSize);
        return -1;
    }
    if (count == 0) return 0;
    if (IsMemory(s)) {
        std::memcpy(buffer, s->memory + offset, size_t(count));
        return count;
    }
    if (!PReadAll(s->fd, offset, buffer, count)) {
        Fail(env, ipiErrSystem);
        return -1;
    }
    return count;
}

const uint8_t* ipiViewStoreAt(const IPISTORE* s, int64_t offset, int64_t count)
{
    if (!s || !IsMemory(s) || !s->memory || count < 0 || offset < 0) return nullptr;
    const int64_t avail = Available(s);
    if (offset > avail || count > avail - offset) return nullptr;
    return s->memory + offset;
}

int64_t ipiReadFileAtMost(IPIENVIRONMENT* env, IPISTORE* s, int64_t offset, void* buffer, int64_t count)
{
    if (!s || !buffer || count < 0 || offset < 0) return -1;
    int64_t avail = Available(s);
    if (offset >= avail) return 0;
    int64_t n = std::min(count, avail - offset);
    return ipiReadFileAt(env, s, offset, buffer, n);
}

int64_t ipiWriteToStore(IPIENVIRONMENT* env, IPISTORE* s, int64_t offset, const void* buffer, int64_t count)
{
    if (!s || count < 0 || offset < 0 || (count > 0 && !buffer)) {
        if (s) Fail(env, ipiErrInsufficientSize);
        return -1;
    }
    int64_t limit = WriteLimit(s);
    if (s->repository == ipiRepositoryWorkspace && s->memory && offset <= kIpiMaxBytes &&
        count <= kIpiMaxBytes - offset && offset + count > limit) {
        // A workspace block grows for bytes written past its end (encoded data).
        if (!GrowWorkspace(s, std::max(offset + count, std::min<int64_t>(kIpiMaxBytes, 2 * limit)))) {
            Fail(env, ipiErrSystem);
            return -1;
        }
        limit = WriteLimit(s);
    }
    if (offset > limit || count > limit - offset) {
        Fail(env, ipiErrInsufficientSize);
        return -1;
    }
    if (count == 0) return 0;
    if (IsMemory(s)) {
        std::memcpy(s->memory + offset, buffer, size_t(count));
        return count;
    }
    if (s->fd < 0 || !PWriteAll(s->fd, offset, buffer, count)) {
        Fail(env, ipiErrSystem);
        return -1;
    }
    s->fileSize = std::max(s->fileSize, offset + count);
    return count;
}

// ---- bit streams ---------------------------------------------------------

namespace {

int PutByte(IPIENVIRONMENT* env, IPISTORE* s, uint8_t b)
{
    s->streamedWrite = true;
    if (IsMemory(s)) {
        if (s->streamed >= s->totalSize) return Fail(env, ipiErrInsufficientSize);
        s->memory[s->streamed++] = b;
        return 0;
    }
    if (s->fd < 0) return Fail(env, ipiErrInvalidInstance);
    if (s->transfer.size() < 512) s->transfer.assign(512, 0);
    s->transfer[size_t(s->transferFill++)] = b;
    ++s->streamed;
    if (s->transferFill == 512) {
        if (s->streamed > kIpiMaxBytes) return Fail(env, ipiErrInsufficientSize);
        if (!PWriteAll(s->fd, s->streamed - 512, s->transfer.data(), 512)) return Fail(env, ipiErrSystem);
        s->fileSize = std::max(s->fileSize, s->streamed);
        s->transferFill = 0;
    }
    return 0;
}

int PutBits(IPIENVIRONMENT* env, IPISTORE* s, uint32_t value, int n, bool stuff)
{
    if (n < 0 || n > 32) return Fail(env, ipiErrOutOfRange);
    for (int i = n - 1; i >= 0; --i) {
        if ((value >> i) & 1u) s->pendingByte |= s->bitMask;
        s->bitMask >>= 1;
        if (s->bitMask == 0) {
            uint8_t b = uint8_t(s->pendingByte);
            s->pendingByte = 0;
            s->bitMask = 128;
            if (int rc = PutByte(env, s, b)) return rc;
            if (stuff && b == 0xFF)
                if (int rc = PutByte(env, s, 0)) return rc;
        }
    }
    return 0;
}

int NextByte(IPIENVIRONMENT* env, IPISTORE* s, uint8_t* b)
{
    if (s->transfer.size() < 512) s->transfer.assign(512, 0);
    if (s->transferPos >= s->transferFill) {
        int64_t n = ipiReadFileAtMost(env, s, s->readPos, s->transfer.data(), 512);
        if (n < 0) return ipiGetError(env);
        if (n == 0) return Fail(env, ipiErrInsufficientSize);
        s->transferFill = int(n);
        s->transferPos = 0;
    }
    *b = s->transfer[size_t(s->transferPos++)];
    ++s->readPos;
    ++s->streamed;
    return 0;
}

int GetBit(IPIENVIRONMENT* env, IPISTORE* s, bool unstuff, int* bit)
{
    if (s->bitsLeft == 0) {
        uint8_t b = 0;
        if (int rc = NextByte(env, s, &b)) return rc;
        if (unstuff && b == 0xFF) {
            uint8_t z = 0;
            if (int rc = NextByte(env, s, &z)) return rc;
            if (z != 0) return Fail(env, ipiErrSemanticalError);
        }
        s->pendingByte = b;
        s->bitsLeft = 8;
    }
    --s->bitsLeft;
    *bit = int((s->pendingByte >> s->bitsLeft) & 1u);
    return 0;
}

int GetBits(IPIENVIRONMENT* env, IPISTORE* s, int n, bool unstuff, uint32_t* value)
{
    if (n < 0 || n > 32) return Fail(env, ipiErrOutOfRange);
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        int bit = 0;
        if (int rc = GetBit(env, s, unstuff, &bit)) return rc;
        v = (v << 1) | uint32_t(bit);
    }
    *value = v;
    return 0;
}

} // namespace

int ipiPutBitsStuffed(IPIENVIRONMENT* env, IPISTORE* s, uint32_t value, int n)
{
    if (!s) return ipiErrInvalidInstance;
    return PutBits(env, s, value, n, true);
}

int ipiPutBitsAligned(IPIENVIRONMENT* env, IPISTORE* s, uint32_t value, int n)
{
    if (!s) return ipiErrInvalidInstance;
    if (s->bitMask != 128) {
        uint8_t b = uint8_t(s->pendingByte);
        s->pendingByte = 0;
        s->bitMask = 128;
        if (int rc = PutByte(env, s, b)) return rc;
    }
    return PutBits(env, s, value, n, false);
}

int ipiGetBitsStuffed(IPIENVIRONMENT* env, IPISTORE* s, int n, uint32_t* value)
{
    if (!s || !value) return ipiErrInvalidInstance;
    return GetBits(env, s, n, true, value);
}

int ipiGetBitStuffed(IPIENVIRONMENT* env, IPISTORE* s, int* bit)
{
    if (!s || !bit) return ipiErrInvalidInstance;
    return GetBit(env, s, true, bit);
}

int ipiGetBitsAligned(IPIENVIRONMENT* env, IPISTORE* s, int n, uint32_t* value)
{
    if (!s || !value) return ipiErrInvalidInstance;
    s->bitsLeft = 0;
    return GetBits(env, s, n, false, value);
}

int ipiSetStreamPosition(IPIENVIRONMENT* env, IPISTORE* s, int64_t byteOffset)
{
    if (!s) return ipiErrInvalidInstance;
    if (byteOffset < 0) return Fail(env, ipiErrOutOfRange);
    s->readPos = byteOffset;
    s->transferPos = 512;
    s->transferFill = 0;
    s->bitsLeft = 0;
    s->streamed = byteOffset;
    s->bitMask = 128;
    s->pendingByte = 0;
    return 0;
}

// ---- accessors ------------------------------------------------------------

IPIACCESSOR* ipiOpenAccessor(IPIENVIRONMENT* env, IPIOBJECT* object, const char* mode, int lines,
                             const IPIATTRIBUTE* options, int count)
{
    IPISTORE* store = ipiOpenDataStore(env, object, mode, lines);
    if (!store) return nullptr;
    auto* a = new (std::nothrow) IPIACCESSOR;
    if (!a) {
        ipiCloseDataStore(env, store);
        errno = ENOMEM;
        ipiReportError(env, ipiErrSystem);
        return nullptr;
    }
    a->store = store;
    a->object = object;
    a->bitOrder = int(object->bitOrder);
    a->byteOrder = int(object->byteOrder);
    a->precision = int(store->precision);
    a->dataType = int(object->dataType);
    for (int i = 0; i < 8; ++i) {
        uint8_t m = a->bitOrder == ipiOrderLsbFirst ? uint8_t(1u << i) : uint8_t(0x80u >> i);
        a->setMask[i] = m;
        a->clearMask[i] = uint8_t(~m);
    }
    for (int i = 0; i < 5; ++i) {
        a->dim[i] = object->dim[i];
        a->matchPoint[i] = 0;
    }
    bool askMatch = false, askRoi = false;
    for (int i = 0; options && i < count; ++i) {
        if (!options[i].name) continue;
        if (std::strcmp(options[i].name, "matchPointState") == 0 && options[i].value) askMatch = true;
        if (std::strcmp(options[i].name, "roiState") == 0 && options[i].value) askRoi = true;
    }
    if (askMatch && env->matchPointState) {
        a->useMatchPoints = true;
        for (int i = 0; i < 5; ++i) a->matchPoint[i] = object->matchPoint[i];
    }
    if (askRoi && env->roiState && object->roi) {
        auto* roi = reinterpret_cast<IPIOBJECT*>(object->roi);
        if (ipiIsValidObject(env, roi)) {
            a->roiStore = ipiOpenDataStore(env, roi, "r", 1);
            if (a->roiStore) {
                a->roi = roi;
                a->useRoi = true;
            }
        }
    }
    return a;
}

int ipiCloseAccessor(IPIENVIRONMENT* env, IPIACCESSOR* a)
{
    if (!a) return 0;
    int rc = ipiCloseDataStore(env, a->store);
    if (a->roiStore) ipiCloseDataStore(env, a->roiStore);
    delete a;
    return rc;
}

IpiAccessorPair::IpiAccessorPair(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target,
                                 const IPIATTRIBUTE* options, int count)
    : env_(env)
{
    in = ipiOpenAccessor(env, source, "r", 1, options, count);
    if (!in) return;
    out = ipiOpenAccessor(env, target, "w", 1, options, count);
    if (!out) {
        ipiCloseAccessor(env, in);
        in = nullptr;
    }
}

int IpiAccessorPair::Close()
{
    const int outRc = ipiCloseAccessor(env_, out);
    const int inRc = ipiCloseAccessor(env_, in);
    out = in = nullptr;
    return outRc ? outRc : inRc;
}

int ipiFreeObjectData(IPIENVIRONMENT* env, IPIOBJECT* object)
{
    int rc = 0;
    if (object->flags & ipiFlagTmpnam) {
        if (!object->fileName.empty() && ::unlink(object->fileName.c_str()) != 0 && errno != ENOENT)
            rc = ipiReportError(env, ipiErrSystem);
        object->flags &= ~ipiFlagTmpnam;
    }
    object->fileName.clear();
    IPIHANDLE h = IPIHANDLE(object->workSpaceHandle);
    if (h && ipiGlobalIsValid(h)) {
        ipiGlobalUnlock(h);
        ipiGlobalFree(h);
    }
    object->workSpaceHandle = 0;
    object->workSpace = 0;
    ipiFreeFormatData(env, object);
    object->flags &= ~ipiFlagInited;
    return rc;
}
