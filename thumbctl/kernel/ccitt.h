#pragma once
// Facsimile (CCITT T.4 / T.6) bilevel decoding: modified Huffman, Group 3 one-
// and two-dimensional, Group 4. Decodes the coded bytes of one strip into rows
// of a packed one-bit plane (1 = black run, 0 = white run, most significant
// bit of each byte first).
//
// The decoder never reads outside the coded bytes it is given and never writes
// outside the plane; hostile data costs at most white or partly decoded rows.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace ccitt {

// Kernel compression codes of the four codings.
enum Coding : int {
    kGroup3OneD = 80,
    kGroup3TwoD = 81,
    kGroup4 = 82,
    kModifiedHuffman = 90,
};

bool IsCcittCoding(int code);

// Destination of the decoded rows: rows follow one another at a stride of
// rowBits bits (not necessarily a multiple of 8). With bottomUp, decoded row y
// goes to plane row rows - 1 - y.
struct BitPlane {
    uint8_t* data = nullptr;
    size_t sizeBytes = 0;
    uint64_t rowBits = 0;
    int64_t rows = 0;
    bool bottomUp = false;
};

struct StripResult {
    int64_t rowsWritten = 0;  // rows of the strip that reached the plane
    bool endOfPage = false;   // RTC (six EOLs) or EOFB (two EOLs) was met
    bool dataExhausted = false;  // the coded bytes ran out (or broke off) before the rows were whole
};

// Receives each decoded row of a strip: `row` counts from the strip's first
// row, `bits` holds (width + 7) / 8 bytes, most significant bit first, the
// bits past the width 0.
using RowSink = std::function<void(int64_t row, const uint8_t* bits)>;

// Decodes up to `rowCount` rows of one strip and hands each to `sink`, as
// DecodeStrip decodes them into a plane; a last row the bytes end inside is
// handed on as far as it was decoded and counts as exhausted data.
bool DecodeStripRows(int coding, const uint8_t* data, size_t size, bool lsbFirst, int64_t width, int64_t rowCount,
                     const RowSink& sink, StripResult* result = nullptr);

// Decodes the rows firstRow .. firstRow + rowCount - 1 of an image `width`
// columns wide from the coded bytes of one strip. lsbFirst: each byte's least
// significant bit comes first (TIFF FillOrder 2). Rows the data does not reach
// keep the plane's contents. Returns false only for arguments that cannot be
// decoded (unknown coding, width below 1); corrupt data is not an error.
bool DecodeStrip(int coding, const uint8_t* data, size_t size, bool lsbFirst, int64_t width,
                 int64_t firstRow, int64_t rowCount, BitPlane& plane, StripResult* result = nullptr);

// Convenience for tests and simple callers: decodes a whole image stored as
// consecutive strips of rowsPerStrip rows into packed rows of (width + 7) / 8
// bytes, top row first. Undecoded rows stay white.
std::vector<uint8_t> DecodeImage(int coding, const std::vector<std::vector<uint8_t>>& strips,
                                 bool lsbFirst, int64_t width, int64_t height, int64_t rowsPerStrip);

} // namespace ccitt
