#pragma once
// Test helper: a packed DIB (40-byte header, colour table, bottom-up rows)
// as top-down 8-bit RGB. Only a clean packed DIB (ipiIsCleanPackedDib) gives
// a view; anything else gives an empty one.
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_memory.h"

#include <cstdint>
#include <vector>

struct DibView {
    int width = 0, height = 0, bits = 0;
    std::vector<uint8_t> rgb;     // top row first, through the colour table
    std::vector<uint8_t> stored;  // pixel area as stored: padded rows, bottom row first
};

inline DibView ViewDibBytes(const uint8_t* p, int64_t size) {
    DibView v;
    IpiDibLayout l;
    if (!ipiIsCleanPackedDib(p, size, &l)) return v;
    v.width = int(l.width);
    v.height = int(l.height);
    v.bits = l.bitsPerPixel;
    const uint8_t* table = p + 40;
    const uint8_t* pixels = p + l.headerBytes;
    v.stored.assign(pixels, pixels + l.imageBytes);
    for (int y = 0; y < v.height; ++y) {
        const uint8_t* row = pixels + (v.height - 1 - y) * l.stride;
        for (int x = 0; x < v.width; ++x) {
            if (v.bits == 24) {
                v.rgb.insert(v.rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
                continue;
            }
            int index = 0;
            if (v.bits == 8) index = row[x];
            else if (v.bits == 4) index = (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
            else index = (row[x / 8] >> (7 - x % 8)) & 1;
            v.rgb.insert(v.rgb.end(), {table[4 * index + 2], table[4 * index + 1], table[4 * index]});
        }
    }
    return v;
}

inline DibView ViewDib(IPIHANDLE h) {
    IpiGlobalLock lock(h);
    return ViewDibBytes(lock.ptr(), lock.size());
}

// The view of a bitmap a decode call handed out, which is freed; an empty
// view for a null handle.
inline DibView TakeDib(IPIHANDLE h) {
    DibView v = ViewDib(h);
    if (h) ipiGlobalFree(h);
    return v;
}
