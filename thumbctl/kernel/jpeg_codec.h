#pragma once
// Baseline JPEG codec: 8-bit samples, Huffman coding, one component (grey)
// or three (Y, Cb, Cr) in one interleaved scan with 8x8 (238), 16x8 (239) or
// 16x16 (240) MCUs. Works on plain memory: the entropy-coded segment in, the
// pixels out (or the other way round); the kernel objects sit on top of it
// (jpeg_reader.cpp).
//
// Return values are kernel codes: 0, 8 (data ran out), 12 (option or table
// missing), 18, 19 (0xFF followed by a marker inside the data), 22 (no code
// matches, corrupt block), -1 (no memory).
#include "thumbctl/kernel/ipi_base.h"

#include <vector>

enum JpegSampling : int {
    kJpegSampling1x1 = 238,
    kJpegSampling2x1 = 239,
    kJpegSampling2x2 = 240,
};

// Table slots: luminance DC/AC, chrominance DC/AC.
enum JpegHuffSlot : int { kJpegLumDC = 0, kJpegLumAC = 1, kJpegChromDC = 2, kJpegChromAC = 3 };

// The tables one scan is coded with, as the file carries them: quantisation
// tables in zig-zag order, Huffman tables as BITS (code counts of length 1 to
// 16) and HUFFVAL (symbols in code order).
struct JpegTables {
    uint8_t quant[2][64] = {};  // 0 luminance, 1 chrominance
    bool hasQuant[2] = {false, false};
    uint8_t bits[4][16] = {};
    uint8_t vals[4][256] = {};
    bool hasHuff[4] = {false, false, false, false};
    int restartInterval = 0;  // MCUs between restart markers, 0 none
};

// Where one band of pixels lies: `origin` is pixel (0, 0); a pixel is
// `pixelStep` bytes from its left neighbour, a row `rowStep` bytes from the
// row above (negative for bottom-up layouts).
struct JpegPlane {
    uint8_t* origin = nullptr;
    ptrdiff_t pixelStep = 1;
    ptrdiff_t rowStep = 0;
};
struct JpegConstPlane {
    const uint8_t* origin = nullptr;
    ptrdiff_t pixelStep = 1;
    ptrdiff_t rowStep = 0;
};

// Natural (row-major) position of zig-zag index k.
extern const uint8_t kJpegZigZag[64];
// Built-in tables of the baseline standard (Annex K): quantisation in natural
// order, Huffman BITS / HUFFVAL per slot.
extern const uint8_t kJpegStdQuant[2][64];
extern const uint8_t kJpegStdBits[4][16];
extern const uint8_t* const kJpegStdVals[4];
extern const int kJpegStdValCount[4];

// MCU size in pixels for a band count and sampling code; false for a colour
// sampling code the codec does not know.
bool JpegMcuSize(int bands, int sampling, int* mcuWidth, int* mcuHeight);

// Decodes one scan. `planes` has `bands` entries (1: grey; 3: red, green,
// blue). Only the part of each MCU inside width x height is stored.
//
// With `scale` 2, 4 or 8 the picture comes out at that fraction of its size,
// JpegScaledLength(width, scale) x JpegScaledLength(height, scale): each
// block gives 4 x 4 or 2 x 2 pixels, the means of the pixels the full-size
// decode gives there (up to rounding and the clamp), or at 1/8 one pixel,
// its DC value, for which the other coefficients are read but not used.
// Other scales answer 18.
int JpegDecodeScan(const uint8_t* data, size_t size, const JpegTables& tables, int width, int height,
                   int bands, int sampling, const JpegPlane* planes, int scale = 1);
// Length of a side decoded at 1 / scale: rounded up.
int JpegScaledLength(int length, int scale);

// Vector (SSE2, and AVX2 where the processor has it) paths of the decoder:
// on by default where the build has them; off runs the portable code, which
// stores the very same pixels (tests and benchmarks compare them).
// Process-wide; returns whether the build has vector paths at all.
bool JpegUseVectorCode(bool on);
// The decoder's paths one by one, for tests and benchmarks that compare
// them: 0 the portable code, 1 SSE2 vectors, 2 AVX2 vectors (where the
// processor has them; on by default there). False, changing nothing, for a
// path this build or processor does not have.
bool JpegSelectCode(int path);

// Quantisation divisors in natural order for a quality factor: q >= 1 scales
// the built-in table (T + q/2) / q, q <= 0 gives 1 + |q| (1 + r + c). Every
// divisor is kept within 1..255 so the stored table is the one coded with.
void JpegQuantForQuality(int quality, int table, uint8_t natural[64]);

// Encodes pixels into an entropy-coded segment (stuffed, restart markers
// after every `restartInterval` MCUs, final partial byte padded with 0 bits).
// Fills `tables` with the quantisation and Huffman tables used.
int JpegEncodeScan(const JpegConstPlane* planes, int width, int height, int bands, int sampling,
                   int quality, int restartInterval, JpegTables* tables, std::vector<uint8_t>* out);

// ---- JPEG stream (file) parsing -----------------------------------------
struct JpegStreamInfo {
    int width = 0;
    int height = 0;
    int components = 0;   // 1 or 3
    int sampling = 0;     // 238, 239, 240
    JpegTables tables;
    size_t scanOffset = 0;  // first byte of entropy-coded data
    size_t scanSize = 0;    // from there to the end of the stream
};

// Parses the markers of a baseline JPEG stream up to its scan (junk before
// SOI skipped, APPn and COM skipped; progressive, arithmetic, 12-bit and
// layouts other than 1x1, 2x1, 2x2 refused with 22). Returns a kernel code.
int JpegParseStream(const uint8_t* data, size_t size, JpegStreamInfo* info);
