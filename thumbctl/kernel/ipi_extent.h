#pragma once
// Bounded byte sources, and where a picture's bytes end.
//
// A reader walks a file's structure through an IpiByteSource: a file, a
// block of memory or an object's store, every read checked against its size.
// Each file format that marks its own end (a JPEG's EOI, a PNG's IEND, a
// GIF's trailer, a container's end word, a BMP's declared pixel rows) has an
// extent function in its codec, registered beside its reader: the decode
// entry points read a file only that far, and decode a picture in memory
// from the same bytes, so that a valid picture with a gigabyte after it
// costs its own bytes.
#include "thumbctl/kernel/ipi_base.h"

#include <cstdint>
#include <functional>
#include <vector>

struct IpiByteSource {
    // Copies `count` bytes at `offset` into `buffer`; false when the range
    // passes `size` or the read fails.
    std::function<bool(uint64_t offset, void* buffer, uint64_t count)> read;
    uint64_t size = 0;
};

// `size` bytes at `data`.
IpiByteSource ipiMemoryBytes(const void* data, int64_t size);
// The first `size` bytes of the open file `fd`.
IpiByteSource ipiFileBytes(int fd, int64_t size);
// The store behind an "r" accessor; a failed read records its error there.
IpiByteSource ipiStoreBytes(IPIENVIRONMENT* env, IPIACCESSOR* in);

// Bytes of a picture from offset 0 as its format marks them; src.size when
// the data ends first or the structure cannot be followed (the reader then
// sees everything and refuses what it cannot read). Never above src.size.
typedef uint64_t (*IpiExtentFn)(const IpiByteSource& src);

// Sequential reading of a byte source in pieces, for the extent functions.
class IpiByteCursor {
public:
    explicit IpiByteCursor(const IpiByteSource& src, uint64_t at = 0) : src_(src), pos_(at) {}
    uint64_t Pos() const { return pos_; }
    uint64_t Size() const { return src_.size; }
    void Seek(uint64_t at) { pos_ = at; }
    // The next byte, -1 at the end of the data.
    int Get();
    // Moves on by n bytes; false when that passes the end.
    bool Skip(uint64_t n);
    // The next n bytes; false when the data ends first.
    bool Read(void* buffer, uint64_t n);
    // Moves to the next byte `b` (left unread); false when there is none.
    bool Find(uint8_t b);

private:
    bool Fill();
    const IpiByteSource& src_;
    uint64_t pos_ = 0;
    std::vector<uint8_t> piece_;
    uint64_t pieceAt_ = 0;
};
