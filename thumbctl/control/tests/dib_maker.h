#pragma once
// Test helper: packed bitmaps of any depth built from a pixel function.
#include "thumbctl/control/thumbnail_dib.h"

#include <cstring>
#include <functional>
#include <vector>

namespace thumbctl::testkit {

struct PixelBgr {
    uint8_t b, g, r;  // at 1, 4 and 8 bits `b` is the table index
};

// Bottom-up bitmap with a 40-byte header; the table is written as given
// (colours used = its size when not empty).
inline IPIHANDLE MakeDib(int64_t w, int64_t h, int bits, const std::vector<PixelBgr>& table,
                         const std::function<PixelBgr(int64_t, int64_t)>& pixel)
{
    const int64_t stride = ((w * bits + 31) / 32) * 4;
    const int64_t tableBytes = int64_t(table.size()) * 4;
    const IPIHANDLE hd = ipiGlobalAlloc(40 + tableBytes + stride * h);
    IpiGlobalLock lock(hd);
    uint8_t* p = lock.ptr();
    auto put32 = [](uint8_t* q, uint32_t v) { std::memcpy(q, &v, 4); };
    put32(p, 40);
    put32(p + 4, uint32_t(w));
    put32(p + 8, uint32_t(h));
    p[12] = 1;
    p[14] = uint8_t(bits);
    put32(p + 32, uint32_t(table.size()));
    for (size_t k = 0; k < table.size(); ++k) {
        p[40 + 4 * k] = table[k].b;
        p[41 + 4 * k] = table[k].g;
        p[42 + 4 * k] = table[k].r;
    }
    uint8_t* pixels = p + 40 + tableBytes;
    for (int64_t y = 0; y < h; ++y) {
        uint8_t* row = pixels + (h - 1 - y) * stride;
        for (int64_t x = 0; x < w; ++x) {
            const PixelBgr v = pixel(x, y);
            switch (bits) {
            case 1: if (v.b) row[x >> 3] |= uint8_t(0x80 >> (x & 7)); break;
            case 4: row[x >> 1] |= (x & 1) ? (v.b & 15) : uint8_t(v.b << 4); break;
            case 8: row[x] = v.b; break;
            case 16: {
                const uint16_t q = uint16_t(((v.r >> 3) << 10) | ((v.g >> 3) << 5) | (v.b >> 3));
                std::memcpy(row + 2 * x, &q, 2);
                break;
            }
            case 24: row[3 * x] = v.b; row[3 * x + 1] = v.g; row[3 * x + 2] = v.r; break;
            case 32: row[4 * x] = v.b; row[4 * x + 1] = v.g; row[4 * x + 2] = v.r; break;
            }
        }
    }
    return hd;
}

} // namespace thumbctl::testkit
