// Packed DIB geometry and building.
#include "thumbctl/kernel/ipi_dib.h"

#include <cerrno>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define IPI_DIB_SHUFFLE 1
#endif

namespace {

void RgbToBgrPortable(const uint8_t* s, uint8_t* d, int64_t n)
{
    for (int64_t x = 0; x < n; ++x, s += 3, d += 3) {
        const uint8_t r = s[0];
        d[0] = s[2];
        d[1] = s[1];
        d[2] = r;
    }
}

#ifdef IPI_DIB_SHUFFLE
// Five pixels (15 bytes) a step through one byte shuffle; each step reads
// and writes 16 bytes, so the last five pixels or fewer take the portable loop.
__attribute__((target("ssse3"))) void RgbToBgrShuffle(const uint8_t* s, uint8_t* d, int64_t n)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    int64_t x = 0;
    for (; x + 5 < n; x += 5, s += 15, d += 15)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d),
                         _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), order));
    RgbToBgrPortable(s, d, n - x);
}

bool HasShuffle()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

} // namespace

void ipiRgbToBgr(const uint8_t* rgb, uint8_t* bgr, int64_t pixels)
{
#ifdef IPI_DIB_SHUFFLE
    if (HasShuffle()) return RgbToBgrShuffle(rgb, bgr, pixels);
#endif
    RgbToBgrPortable(rgb, bgr, pixels);
}

int64_t ipiBmpStride(int64_t width, int bitsPerPixel)
{
    if (width <= 0) return 0;
    switch (bitsPerPixel) {
    case 1: return ((width + 7) / 8 + 3) / 4 * 4;
    case 4: return ((width + 1) / 2 + 3) / 4 * 4;
    case 8: return (width + 3) / 4 * 4;
    case 16: return (2 * width + 3) / 4 * 4;
    case 24: return (3 * width + 3) / 4 * 4;
    case 32: return 4 * width;
    default: return 0;
    }
}

int ipiDibLayoutFor(int64_t width, int64_t height, int bitsPerPixel, IpiDibLayout* layout)
{
    if (!layout) return ipiErrSyntacticalError;
    *layout = IpiDibLayout();
    if (width <= 0 || height <= 0 || width > kIpiMaxDimension || height > kIpiMaxDimension)
        return ipiErrSyntacticalError;
    int colours;
    switch (bitsPerPixel) {
    case 1: colours = 2; break;
    case 4: colours = 16; break;
    case 8: colours = 256; break;
    case 24: colours = 0; break;
    default: return ipiErrSyntacticalError;
    }
    int64_t stride = ipiBmpStride(width, bitsPerPixel);
    int64_t header = 40 + 4 * int64_t(colours);
    if (stride <= 0 || stride > kIpiMaxBytes / height) return ipiErrSyntacticalError;
    int64_t image = stride * height;
    if (image > kIpiMaxBytes - header) return ipiErrSyntacticalError;
    layout->width = width;
    layout->height = height;
    layout->bitsPerPixel = bitsPerPixel;
    layout->colours = colours;
    layout->stride = stride;
    layout->imageBytes = image;
    layout->headerBytes = header;
    layout->totalBytes = header + image;
    return 0;
}

IPIHANDLE ipiAllocPackedDib(const IpiDibLayout& layout, const uint8_t* palette, int* error, int32_t xPelsPerMetre,
                            int32_t yPelsPerMetre)
{
    int dummy = 0;
    if (!error) error = &dummy;
    *error = 0;
    if (layout.totalBytes <= 40) {
        *error = ipiErrSyntacticalError;
        return 0;
    }
    IPIHANDLE h = ipiGlobalAlloc(layout.totalBytes);
    if (!h) {
        errno = ENOMEM;
        *error = ipiErrSystem;
        return 0;
    }
    IpiGlobalLock lock(h);
    uint8_t* p = lock.ptr();
    ipiPutLe32(p + 0, 40);
    ipiPutLe32(p + 4, uint32_t(layout.width));
    ipiPutLe32(p + 8, uint32_t(layout.height));
    ipiPutLe16(p + 12, 1);
    ipiPutLe16(p + 14, uint32_t(layout.bitsPerPixel));
    ipiPutLe32(p + 16, 0);
    ipiPutLe32(p + 20, 0);
    ipiPutLe32(p + 24, uint32_t(xPelsPerMetre));
    ipiPutLe32(p + 28, uint32_t(yPelsPerMetre));
    ipiPutLe32(p + 32, uint32_t(layout.colours));
    ipiPutLe32(p + 36, uint32_t(layout.colours));
    uint8_t* table = p + 40;
    if (palette) {
        std::memcpy(table, palette, size_t(layout.colours) * 4);
    } else {
        for (int i = 0; i < layout.colours; ++i) {
            uint8_t v = layout.colours == 2 ? uint8_t(i * 255) : layout.colours == 16 ? uint8_t(i * 17) : uint8_t(i);
            table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = v;
        }
    }
    return h;
}

bool ipiIsCleanPackedDib(const uint8_t* data, int64_t size, IpiDibLayout* layout)
{
    if (!data || size < 40) return false;
    if (ipiLe32(data) != 40) return false;
    int32_t w = int32_t(ipiLe32(data + 4));
    int32_t h = int32_t(ipiLe32(data + 8));
    int bpp = ipiLe16(data + 14);
    uint32_t compression = ipiLe32(data + 16);
    uint32_t used = ipiLe32(data + 32);
    if (compression != 0 || ipiLe16(data + 12) != 1) return false;
    IpiDibLayout l;
    if (ipiDibLayoutFor(w, h, bpp, &l) != 0) return false;
    if (bpp == 24 ? used != 0 : (used != 0 && used != uint32_t(l.colours))) return false;
    if (size < l.totalBytes) return false;
    if (layout) *layout = l;
    return true;
}
