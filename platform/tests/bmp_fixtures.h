#pragma once
// 8-bit BMP pictures of palette indices for the reader tests, made at test
// time in each layout the phase-image reader takes.
#include "testsupport/testsupport.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace bmpfixtures {

// An 8-bit BMP of palette indices in one of the layouts the reader takes.
enum class BmpKind { BottomUp, TopDown, Rle8, Os2 };

inline const char* Name(BmpKind k)
{
    switch (k) {
    case BmpKind::BottomUp: return "bottom-up";
    case BmpKind::TopDown: return "top-down";
    case BmpKind::Rle8: return "RLE8";
    case BmpKind::Os2: return "OS/2";
    }
    return "";
}

// RLE8 rows: runs of equal indices, other pixels as literal runs, an end of
// line after each row and the end-of-picture marker.
inline std::vector<uint8_t> Rle8(int w, int h, const std::vector<uint8_t>& px)
{
    std::vector<uint8_t> out;
    for (int fileRow = 0; fileRow < h; ++fileRow) {
        const uint8_t* row = px.data() + size_t(h - 1 - fileRow) * size_t(w);
        int x = 0;
        while (x < w) {
            int run = 1;
            while (x + run < w && run < 255 && row[x + run] == row[x]) ++run;
            if (run >= 2 || w - x < 3) {
                out.push_back(uint8_t(run));
                out.push_back(row[x]);
                x += run;
                continue;
            }
            int lit = 3;
            while (x + lit < w && lit < 255 && row[x + lit] != row[x + lit - 1]) ++lit;
            out.push_back(0);
            out.push_back(uint8_t(lit));
            out.insert(out.end(), row + x, row + x + lit);
            if (lit & 1) out.push_back(0);
            x += lit;
        }
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(1);
    return out;
}

inline std::vector<uint8_t> Bmp(BmpKind kind, int w, int h, const std::vector<uint8_t>& px)
{
    const bool os2 = kind == BmpKind::Os2;
    const uint32_t info = os2 ? 12 : 40;
    const uint32_t palette = os2 ? 3 * 256 : 4 * 256;
    const uint32_t off = 14 + info + palette;
    const int stride = (w + 3) & ~3;
    std::vector<uint8_t> data;
    if (kind == BmpKind::Rle8) {
        data = Rle8(w, h, px);
    } else {
        data.assign(size_t(stride) * size_t(h), 0);
        for (int y = 0; y < h; ++y) {
            const int fileRow = kind == BmpKind::TopDown ? y : h - 1 - y;
            std::copy_n(px.begin() + int64_t(y) * w, w, data.begin() + int64_t(fileRow) * stride);
        }
    }
    using testsupport::PutLe16;
    using testsupport::PutLe32;
    std::vector<uint8_t> b(off, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe32(b, 2, uint32_t(off + data.size()));
    PutLe32(b, 10, off);
    PutLe32(b, 14, info);
    if (os2) {
        PutLe16(b, 18, uint32_t(w));
        PutLe16(b, 20, uint32_t(h));
        PutLe16(b, 22, 1);
        PutLe16(b, 24, 8);
    } else {
        PutLe32(b, 18, uint32_t(w));
        PutLe32(b, 22, uint32_t(kind == BmpKind::TopDown ? -h : h));
        PutLe16(b, 26, 1);
        PutLe16(b, 28, 8);
        PutLe32(b, 30, kind == BmpKind::Rle8 ? 1 : 0);
        PutLe32(b, 34, uint32_t(data.size()));
    }
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline std::vector<uint8_t> Indices(int w, int h)
{
    std::vector<uint8_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px[size_t(y) * size_t(w) + size_t(x)] = uint8_t((x / 3) * 11 + y * 5);
    return px;
}

} // namespace bmpfixtures
