#pragma once
// Data stores and accessors: the one way kernel code reads and writes an
// object's data, whether it lies in a file (repository 83), in caller
// memory (9, bounded by the object's `size`) or in a kernel workspace
// block (223).
//
// A file reader gets a `source` object whose store holds the file's bytes:
//
//   IPIACCESSOR* in = ipiOpenAccessor(env, source, "r", 1, nullptr, 0);
//   if (!in) return ipiGetError(env);
//   int64_t total = ipiStoreSize(in);            // bytes available
//   uint8_t hdr[40];
//   if (ipiReadFileAt(env, in, 14, hdr, 40) != 40) { ipiCloseAccessor(env, in); return 22; }
//   ...
//   ipiCloseAccessor(env, in);
//
// Reads are bounded by the real data: a read that would pass the end
// returns -1 and reports 8 (ipiReadFileAt), or stops short without error
// (ipiReadFileAtMost). Offsets and counts are 64-bit.
//
// Writing compressed bytes into a target (the readers leave compressed data
// as it stands): ipiWriteToStore(env, out, offset, bytes, n), then set the
// target's `size`. Writing pixel rows: p = ipiReadAtOffset(env, out, index)
// gives the line buffer at sample index `index` (pre-filled with existing
// data), fill it, then ipiWriteAt(env, out, index). Reading rows:
// ipiReadAt(env, in, index). A line is `xDimension` samples; the sample index
// of row y, plane z, t and band b is (((b*T + t)*Z + z)*Y + y)*X.
// Non-negative integer samples below 8 bits take one byte each; boolean
// samples are packed bits (row y begins at bit y * xDimension).
#include "thumbctl/kernel/ipi_base.h"

#include <cstdio>
#include <string>
#include <vector>

struct IPISTORE {
    IPIOBJECT* object = nullptr;
    int repository = 0;
    bool readMode = true;
    bool initedAtOpen = false;
    int64_t precision = 8;      // bits per sample as stored
    int64_t dataType = 0;
    int64_t compression = 0;
    int64_t lineWidth = 0;      // samples per line
    int64_t stride = 0;         // bytes per line
    int window = 1;             // lines in the sliding window
    int64_t totalSize = 0;      // bound of the data in bytes
    uint8_t* memory = nullptr;  // repositories 9 and 223
    int fd = -1;                // repository 83
    int64_t fileSize = 0;       // bytes in the file (grows on write)
    std::vector<uint8_t> line;  // line buffer (window x stride bytes)
    // bit streams
    unsigned bitMask = 128;
    unsigned pendingByte = 0;
    int64_t streamed = 0;       // bytes streamed (written) or consumed (read)
    int64_t readPos = 0;        // next byte offset for bit reads
    std::vector<uint8_t> transfer;
    int transferPos = 512;
    int transferFill = 0;
    bool streamedWrite = false;
    int bitsLeft = 0;           // read side: bits left in pendingByte
};

struct IPIACCESSOR {
    IPISTORE* store = nullptr;
    IPIOBJECT* object = nullptr;
    int bitOrder = 150;
    int byteOrder = 150;
    int precision = 8;
    int dataType = 0;
    uint8_t setMask[8] = {};
    uint8_t clearMask[8] = {};
    bool useMatchPoints = false;
    bool useRoi = false;
    IPIOBJECT* roi = nullptr;
    IPISTORE* roiStore = nullptr;
    int64_t dim[5] = {};
    int64_t matchPoint[5] = {};
};

// Stores. `mode` "r" reads, anything else writes. `lines` is the window
// height (negative: the whole block as one line of |lines| x xDimension).
IPISTORE* ipiOpenDataStore(IPIENVIRONMENT* env, IPIOBJECT* object, const char* mode, int lines);
int ipiCloseDataStore(IPIENVIRONMENT* env, IPISTORE* store);
// Accessors: a store plus the object's orders, dimensions and (when asked
// in `options` and switched on in the environment) match points and ROI.
IPIACCESSOR* ipiOpenAccessor(IPIENVIRONMENT* env, IPIOBJECT* object, const char* mode, int lines,
                             const IPIATTRIBUTE* options, int count);
int ipiCloseAccessor(IPIENVIRONMENT* env, IPIACCESSOR* accessor);

// A reader accessor on `source` and a writer accessor on `target`, the two
// a decoder or encoder works between. When either fails to open, both are
// null (the reader closed again) and the store's error is recorded:
//
//   IpiAccessorPair io(env, source, target);
//   if (!io) return ipiGetError(env);
//   ... io.in, io.out ...
//   const int closeRc = io.Close();
//
// Close() closes the writer, then the reader, and gives the first non-zero
// of their codes (a reader's close does not fail); the destructor closes
// whatever is still open.
class IpiAccessorPair {
public:
    IpiAccessorPair(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target,
                    const IPIATTRIBUTE* options = nullptr, int count = 0);
    ~IpiAccessorPair() { Close(); }
    IpiAccessorPair(const IpiAccessorPair&) = delete;
    IpiAccessorPair& operator=(const IpiAccessorPair&) = delete;
    explicit operator bool() const { return out != nullptr; }
    int Close();

    IPIACCESSOR* in = nullptr;
    IPIACCESSOR* out = nullptr;

private:
    IPIENVIRONMENT* env_;
};

// Bytes available in the store (file size, memory `size`, workspace size).
int64_t ipiStoreSize(const IPISTORE* store);
inline int64_t ipiStoreSize(const IPIACCESSOR* a) { return ipiStoreSize(a->store); }

// Line access by sample index. Null on failure (error recorded).
const uint8_t* ipiReadAt(IPIENVIRONMENT* env, IPISTORE* store, int64_t sampleIndex);
// True when a line ipiReadAt gave lies in the store's line buffer, which the
// next read overwrites; other lines point into the data of a memory store
// and stay valid until it is written or closed.
inline bool ipiIsLineBuffer(const IPISTORE* s, const uint8_t* line)
{
    return line >= s->line.data() && line < s->line.data() + s->line.size();
}
uint8_t* ipiReadAtOffset(IPIENVIRONMENT* env, IPISTORE* store, int64_t sampleIndex);
int ipiWriteAt(IPIENVIRONMENT* env, IPISTORE* store, int64_t sampleIndex);
// The three together for a line whose first `count` bytes come from
// `bytes`: the rest of the line keeps its stored data. A whole line
// (count >= the stride) is stored straight from `bytes`, old data unread.
int ipiWriteLineBytes(IPIENVIRONMENT* env, IPISTORE* store, int64_t sampleIndex, const uint8_t* bytes, int64_t count);

// Bytes: `count` on success; -1 on failure (8 recorded when the range
// passes the end of the data, -1 for I/O failures).
int64_t ipiReadFileAt(IPIENVIRONMENT* env, IPISTORE* store, int64_t offset, void* buffer, int64_t count);
// Reads what there is of the range: 0..count bytes, -1 on I/O failure.
int64_t ipiReadFileAtMost(IPIENVIRONMENT* env, IPISTORE* store, int64_t offset, void* buffer, int64_t count);
int64_t ipiWriteToStore(IPIENVIRONMENT* env, IPISTORE* store, int64_t offset, const void* buffer, int64_t count);
// The `count` bytes at `offset` where a memory store holds them (valid until
// the store is written or closed); null for a file store or a range past the
// data, with no error recorded: read them with ipiReadFileAt instead.
const uint8_t* ipiViewStoreAt(const IPISTORE* store, int64_t offset, int64_t count);

// Bit streams, most significant bit first (JPEG entropy data).
// Writing: with 0x00 stuffed after every 0xFF, or plain after flushing a
// pending partial byte. Reading: with unstuffing (FF must be followed by 00,
// else 19), one bit, or after aligning to a byte. Position: byte offset of
// the next read / write.
int ipiPutBitsStuffed(IPIENVIRONMENT* env, IPISTORE* store, uint32_t value, int n);
int ipiPutBitsAligned(IPIENVIRONMENT* env, IPISTORE* store, uint32_t value, int n);
int ipiGetBitsStuffed(IPIENVIRONMENT* env, IPISTORE* store, int n, uint32_t* value);
int ipiGetBitStuffed(IPIENVIRONMENT* env, IPISTORE* store, int* bit);
int ipiGetBitsAligned(IPIENVIRONMENT* env, IPISTORE* store, int n, uint32_t* value);
int ipiSetStreamPosition(IPIENVIRONMENT* env, IPISTORE* store, int64_t byteOffset);

// Accessor overloads of the store calls.
inline const uint8_t* ipiReadAt(IPIENVIRONMENT* e, IPIACCESSOR* a, int64_t i) { return ipiReadAt(e, a->store, i); }
inline uint8_t* ipiReadAtOffset(IPIENVIRONMENT* e, IPIACCESSOR* a, int64_t i) { return ipiReadAtOffset(e, a->store, i); }
inline int ipiWriteAt(IPIENVIRONMENT* e, IPIACCESSOR* a, int64_t i) { return ipiWriteAt(e, a->store, i); }
inline int ipiWriteLineBytes(IPIENVIRONMENT* e, IPIACCESSOR* a, int64_t i, const uint8_t* b, int64_t n) { return ipiWriteLineBytes(e, a->store, i, b, n); }
inline int64_t ipiReadFileAt(IPIENVIRONMENT* e, IPIACCESSOR* a, int64_t o, void* b, int64_t n) { return ipiReadFileAt(e, a->store, o, b, n); }
inline int64_t ipiReadFileAtMost(IPIENVIRONMENT* e, IPIACCESSOR* a, int64_t o, void* b, int64_t n) { return ipiReadFileAtMost(e, a->store, o, b, n); }
inline const uint8_t* ipiViewStoreAt(const IPIACCESSOR* a, int64_t o, int64_t n) { return ipiViewStoreAt(a->store, o, n); }
inline int64_t ipiWriteToStore(IPIENVIRONMENT* e, IPIACCESSOR* a, int64_t o, const void* b, int64_t n) { return ipiWriteToStore(e, a->store, o, b, n); }

// Releases an object's data (workspace block, generated temporary file,
// format record); clears `inited`.
int ipiFreeObjectData(IPIENVIRONMENT* env, IPIOBJECT* object);

// Line stride in bytes of `width` samples of `precision` bits (the store's
// rule: one byte more when two or more bits spill into the last byte).
int64_t ipiLineStride(int64_t width, int64_t precision);
