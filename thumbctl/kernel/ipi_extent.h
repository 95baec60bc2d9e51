#pragma once
// Bounded byte sources, and where a picture's bytes end.
//
// A reader walks a file's structure through an IpiByteSource: a file, a
// block of memory or an object's store, every read checked against its size.
// Each file format has an extent function in its codec, registered beside
// its reader: where its picture ends (a JPEG's EOI, a PNG's IEND, a GIF's
// first image, a container's end word, a BMP's declared pixel rows), looked
// for no further than the declared picture can need. The decode entry points
// read a file only that far, and decode a picture in memory from the same
// bytes, so that a picture with a gigabyte after it, whole or cut, costs at
// most what its own picture could take.
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

// Bytes of a picture from offset 0 as its format marks them. An extent
// function reads no further than the picture its header declares can take:
// its dimensions, depth and the format's worst legitimate expansion, plus
// kIpiBesidePixels for what the format keeps beside its pixels. Returns the
// end it found; src.size when the data ends before the bound without an end
// (the reader then sees everything and refuses what it cannot read; a JPEG,
// whose readers take any bytes as scan data, answers 0 instead); 0 when
// the data runs on past the bound and no end was found within it: the
// picture is refused. Never above src.size.
typedef uint64_t (*IpiExtentFn)(const IpiByteSource& src);

// Room a picture's file may take beside its coded pixels: headers, colour
// tables, profiles, text and the like.
constexpr uint64_t kIpiBesidePixels = uint64_t(4) << 20;

// The answer of an extent function that found no end within `bound`.
inline uint64_t ipiNoEndWithin(const IpiByteSource& src, uint64_t bound) { return src.size > bound ? 0 : src.size; }

// `src` seen only up to `bound` bytes (its own size when that is smaller).
IpiByteSource ipiBytesUpTo(const IpiByteSource& src, uint64_t bound);

// a * b + c, held at UINT64_MAX instead of wrapping.
uint64_t ipiBoundOf(uint64_t a, uint64_t b, uint64_t c = 0);

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
