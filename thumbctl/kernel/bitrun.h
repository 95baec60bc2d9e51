#pragma once
// Bit-stuffed bilevel run code (compression 217), the code of the "KOL1"
// bilevel raster (file format 215).
//
// The stream is line oriented: each line is a type byte followed by data
// bytes up to the next flag byte (0x7E or 0x7F), which is the next line's
// type byte. Data bits are taken most significant bit first and unstuffed
// (a 0 bit after five or more 1 bits is dropped). A 0x7F line is raw bits; a
// 0x7F line without data ends the plane; a 0x7E line without data (or with
// zero bytes only) repeats the previous row; any other line is coded against
// the previous line with vertical, pass and horizontal modes and exponential
// run lengths.
#include "thumbctl/kernel/ipi_base.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace bitrun {

// Most changing elements a coded line holds (the arrays hold 4 end marks more).
constexpr int kMaxElements = 744;
// Smallest line bit buffer, in bits.
constexpr int64_t kMinLineBits = 3552;

// Receives each output row of a plane: `row` is the row index within the
// plane, `bits` (width + 7) / 8 bytes, most significant bit first. Returns 0
// or a kernel error code, which stops the decoding.
using RowSink = std::function<int(int64_t row, const uint8_t* bits)>;

struct PlaneResult {
    int64_t rowsWritten = 0;  // rows handed to the sink (at most `rows`)
    bool endMark = false;     // the plane ended with its end mark
};

// Decodes one plane of `width` columns and `rows` rows from data[*pos ..
// size). Rows the stream does not reach are handed on as 0 bits. On return
// *pos is the first byte of the next plane. Returns 0; 22 for a run length
// that overruns its line or a run-length class above 14; 8 when the data
// ends before the plane's end mark (the rows decoded so far and the cleared
// rest have been handed on); or the sink's code.
int DecodePlane(const uint8_t* data, size_t size, size_t* pos, int64_t width, int64_t rows,
                const RowSink& sink, PlaneResult* result = nullptr);

// Convenience: decodes a single plane into packed rows of (width + 7) / 8
// bytes, top row first. *error receives DecodePlane's code.
std::vector<uint8_t> DecodeImage(const std::vector<uint8_t>& data, int64_t width, int64_t rows,
                                 int* error = nullptr);

} // namespace bitrun

// Merges `count` bits (bits[0] most significant first) into the packed one-bit
// data of `out` at sample index `sampleIndex` (row y of plane p of an object X
// wide and Y high: (p * Y + y) * X), honouring the object's bit order; the
// bits around the row keep their values. 0 or the store's error.
int ipiPutBitRow(IPIENVIRONMENT* env, IPIACCESSOR* out, int64_t sampleIndex, const uint8_t* bits, int64_t count);

// Kernel decoder registered for compression 217: expands the compressed
// bytes of `source` (`size` bytes) into the one-bit image `target`.
int BitStuffedRunDecode(IPIENVIRONMENT* env, IPIOBJECT* source, IPIOBJECT* target);
