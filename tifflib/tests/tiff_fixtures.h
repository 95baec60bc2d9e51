#pragma once
// TIFF files for the tests of every reader of phase images, made at test
// time: strips encoded by libtiff in each compression the TIFF library reads,
// and files laid out by hand around them (any declared size, the directory
// before the strips, damaged byte counts).
#include <cstdint>
#include <string>
#include <vector>

namespace tifffixtures {

struct Compression {
    const char* name;
    uint16_t code;   // the TIFF compression number
    int bits;        // 1 for the CCITT ones, else 8
    bool lossy;      // JPEG: pixels come back near, not equal
};

// Every compression the TIFF library reads: none, PackBits, LZW, Deflate
// (both numbers), JPEG, CCITT RLE, Group 3 and Group 4.
const std::vector<Compression>& Compressions();
const Compression& ByName(const std::string& name);

// Pixels of one byte each, 0/1 for a 1-bit image: a pattern that compresses
// but not to nothing (every row differs).
std::vector<uint8_t> Pattern(int width, int rows, int bits);

// The raw bytes of one strip holding `rows` rows of `pixels`, as libtiff
// encodes them (a JPEG strip carries its own tables).
std::vector<uint8_t> EncodeStrip(const Compression& c, int width, int rows, const std::vector<uint8_t>& pixels);

// A little-endian TIFF laid out by hand: header, directory, header text,
// then the strips. `rowsPerStrip` rows per strip of the declared size.
struct Layout {
    uint32_t width = 0;
    uint32_t length = 0;
    int bits = 8;
    uint16_t compression = 1;
    uint32_t rowsPerStrip = 0;           // 0: all rows in one strip
    std::vector<std::vector<uint8_t>> strips;
    std::string text;                    // tag 32768
};
std::vector<uint8_t> BuildTiff(const Layout& layout);

// A valid image of the compression, `rowsPerStrip` rows a strip, written by
// hand around libtiff's strips (directory first, strips after it).
std::vector<uint8_t> ValidTiff(const Compression& c, int width, int rows, const std::vector<uint8_t>& pixels,
                               int rowsPerStrip, const std::string& text = "hdr");

// A file of under a kilobyte declaring 30000 x 30000 pixels in one strip
// whose bytes cannot fill them: for PackBits 234 pairs 81 00 with the header
// text that makes it 948 bytes; for the others the start of a strip of
// another image (a cut zlib stream for Deflate).
std::vector<uint8_t> HugeDeclaredTiff(const Compression& c);

// A strip of LZW as the earliest writers made it (codes low bit first):
// clear, one code a pixel, end of information.
std::vector<uint8_t> OldStyleLzwStrip(const std::vector<uint8_t>& pixels);

// Where the directory puts the first strip's byte count (to cut it).
size_t FirstByteCountOffset(const std::vector<uint8_t>& tiff);

// The pixels as libtiff itself decodes the file (one byte a pixel), for
// comparing lossy strips; empty when it cannot.
std::vector<uint8_t> DecodeWithLibtiff(const std::string& path);

void Write(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace tifffixtures
