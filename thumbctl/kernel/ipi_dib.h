#pragma once
// Packed device-independent bitmaps: the one place that defines their
// geometry. A packed DIB is a 40-byte information header, a colour table of
// 4-byte entries (blue, green, red, 0), then rows padded to 4 bytes, bottom
// row first. The kernel hands out only 1, 4, 8 (with 2, 16, 256 colours) and
// 24 bits per pixel (no table).
#include "thumbctl/kernel/ipi_base.h"
#include "thumbctl/kernel/ipi_memory.h"

struct IpiDibLayout {
    int64_t width = 0;
    int64_t height = 0;
    int bitsPerPixel = 0;
    int colours = 0;          // table entries: 2, 16, 256 or 0
    int64_t stride = 0;       // bytes per row
    int64_t imageBytes = 0;   // stride x height
    int64_t headerBytes = 0;  // 40 + 4 x colours (offset of the first row)
    int64_t totalBytes = 0;   // headerBytes + imageBytes
};

// Geometry for a width, height and depth (1, 4, 8, 24). 0, or 22 when a
// size is not positive, the depth is not one of these, or the bitmap would
// pass kIpiMaxBytes.
int ipiDibLayoutFor(int64_t width, int64_t height, int bitsPerPixel, IpiDibLayout* layout);

// Row stride of a BMP / DIB row of `width` pixels at any file depth
// (1, 4, 8, 16, 24, 32); 0 for another depth.
int64_t ipiBmpStride(int64_t width, int bitsPerPixel);

// New global block of layout.totalBytes with the information header written
// (size 40, planes 1, colours used / important = colours, compression 0,
// image size 0, resolutions `xPelsPerMetre`, `yPelsPerMetre`) and the
// colour table from `palette` (colours x 4 bytes B G R 0; null leaves the
// default: black/white, 16 grey levels i x 17, or the grey ramp).
// Returns 0 on failure (*error -1).
IPIHANDLE ipiAllocPackedDib(const IpiDibLayout& layout, const uint8_t* palette, int* error,
                            int32_t xPelsPerMetre = 0, int32_t yPelsPerMetre = 0);

// Checks that `data` (`size` bytes) is a packed DIB as the kernel hands
// out: 40-byte header, positive width and height, 1/4/8/24 bpp, compression
// 0, colours used 0 or exactly 2/16/256 for 1/4/8 bits (0 at 24 bits), and
// at least 40 + table + stride x height bytes. Fills `layout` when true.
bool ipiIsCleanPackedDib(const uint8_t* data, int64_t size, IpiDibLayout* layout);

// Copies `pixels` samples of red, green, blue as blue, green, red (the order
// of a 24-bit DIB row). `rgb` and `bgr` do not overlap.
void ipiRgbToBgr(const uint8_t* rgb, uint8_t* bgr, int64_t pixels);

// Little-endian helpers.
inline uint16_t ipiLe16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t ipiLe32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void ipiPutLe16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void ipiPutLe32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
