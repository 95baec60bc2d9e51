#pragma once
// Reader for 8-bit palette BMP pictures. Phase images and masks stored as BMP
// carry their values as palette indices, so the reader hands back the raw
// indices (0 to 255), never the palette colours.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class Bmp8Status {
    Ok,
    CannotOpen,    // the file cannot be read
    NotBmp,        // no "BM" signature or an unknown header
    NotEightBit,   // a BMP with another depth (1, 4, 16, 24, 32 bits per pixel)
    Compressed,    // a compression other than RLE8: not read
    BadSize,       // zero, negative or more than 32767 columns or rows
    Truncated,     // the pixel data ends before the picture does
    TooLarge,      // more pixels than the caller takes, or than memory holds
};

struct Bmp8Image {
    Bmp8Status status = Bmp8Status::CannotOpen;
    int bitsPerPixel = 0;           // as the header states (when it could be read)
    int cols = 0;
    int rows = 0;
    std::vector<uint8_t> pixels;    // cols x rows, top row first, x fastest
};

// The value of an RLE8 pixel that no run reaches: the blank phase value.
inline constexpr uint8_t kUnreachedPixel = 128;

// Reads an 8-bit BMP, uncompressed or RLE8 (Windows or OS/2 header,
// bottom-up or top-down): the headers, then only the rows they declare, so a
// file padded far past its picture costs no more than the picture. A picture
// of more than maxPixels pixels is refused (TooLarge) before any is read.
// Memory grows with the rows read, never ahead of the data.
Bmp8Image ReadBmp8(const std::string& path, uint64_t maxPixels = UINT64_MAX);
Bmp8Image DecodeBmp8(const uint8_t* data, size_t size, uint64_t maxPixels = UINT64_MAX);

// A sentence for the user that says why a picture could not be read.
std::string Bmp8StatusText(Bmp8Status status);

} // namespace platform
