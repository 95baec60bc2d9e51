#pragma once
// PNG over plain memory: the chunk parser (signature, chunk order, CRCs,
// palette, transparency, where the image data lies) and the pixel decoder
// (inflate through zlib, the five row filters, Adam7). The kernel objects sit
// on top of it (png_reader.cpp).
//
// Supported: grey and palette at 1, 4 and 8 bits, RGB and RGBA at 8 bits.
// Return values are kernel codes: 0, 22 (malformed or unsupported stream),
// 18 (progressive pass out of range), -1 (no memory).
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_extent.h"

#include <vector>

// Kernel colour type codes.
enum PngColourCode : int {
    kPngColourPalette = 157,
    kPngColourGrey = 265,
    kPngColourRgb = 266,
    kPngColourGreyAlpha = 267,
    kPngColourRgbAlpha = 268,
};

struct PngStreamInfo {
    int width = 0;
    int height = 0;
    int bitDepth = 0;
    int colourType = 0;   // as in the file: 0, 2, 3, 6
    int interlaced = 0;   // 0 or 1
    int channels = 0;     // 1, 3 or 4
    // Palette (PLTE), entries * 3 bytes of red, green, blue.
    int paletteEntries = 0;
    std::vector<uint8_t> palette;
    // Transparency (tRNS).
    bool hasTransparency = false;
    int transparentGrey = 0;
    int transparentRed = 0, transparentGreen = 0, transparentBlue = 0;
    std::vector<uint8_t> paletteAlpha;   // one alpha value per palette entry given
    // Image data: the IDAT chunks' data ranges, in order, and their total.
    struct Range {
        size_t offset;
        size_t length;
    };
    std::vector<Range> idat;
    size_t idatTotal = 0;

    int KernelColourCode() const;
};

// Parses and checks the chunk structure. CRCs are checked on every chunk
// but IDAT (zlib's own check covers the image data once inflated), and image
// data too short to inflate to the declared picture is refused.
int PngParseStream(const uint8_t* data, size_t size, PngStreamInfo* info);

// The bytes of a PNG file up to and with its IEND chunk (ipi_extent.h).
uint64_t PngFileExtent(const IpiByteSource& src);

// The concatenated IDAT data.
std::vector<uint8_t> PngGatherImageData(const uint8_t* data, const PngStreamInfo& info);

// Shape of the pixel data to decode.
struct PngShape {
    int width = 0;
    int height = 0;
    int bitDepth = 8;   // 1, 4 or 8
    int channels = 1;   // 1, 3 or 4
    bool interlaced = false;
};

// Receives each finished image row, in PNG's packed form (bytes per row =
// (width * bitDepth * channels + 7) / 8, channels interleaved), top row first.
typedef void (*PngRowSink)(void* context, int y, const uint8_t* row);

// Decodes a zlib stream of filtered rows. With `progressive` set, `pass`
// (1..7, else 18) ends an interlaced image after that pass, every pixel of a
// pass painted over the block up to the next pixel of the pass.
int PngDecodeRows(const uint8_t* zdata, size_t zsize, const PngShape& shape, bool progressive, int pass,
                  PngRowSink sink, void* context);

// Bytes per packed row.
inline int64_t PngRowBytes(int64_t width, int bitDepth, int channels) {
    return (width * bitDepth * channels + 7) / 8;
}
