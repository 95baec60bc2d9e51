#pragma once
// Test helper: a packed DIB (40-byte header, colour table, bottom-up rows)
// as top-down 8-bit RGB.
#include "thumbctl/kernel/ipi_memory.h"

#include <cstdint>
#include <cstring>
#include <vector>

struct DibView {
    int width = 0, height = 0, bits = 0;
    std::vector<uint8_t> rgb;
};

inline DibView ViewDib(IPIHANDLE h) {
    DibView v;
    IpiGlobalLock lock(h);
    const uint8_t* p = lock.ptr();
    if (!p || lock.size() < 40) return v;
    auto le32 = [](const uint8_t* q) { return int32_t(q[0] | (q[1] << 8) | (q[2] << 16) | (uint32_t(q[3]) << 24)); };
    v.width = le32(p + 4);
    v.height = le32(p + 8);
    v.bits = p[14];
    int colours = le32(p + 32);
    if (colours == 0 && v.bits <= 8) colours = 1 << v.bits;
    const uint8_t* table = p + 40;
    const uint8_t* pixels = table + 4 * colours;
    const int64_t stride = (int64_t(v.width) * v.bits + 31) / 32 * 4;
    if (pixels + stride * v.height > p + lock.size()) return DibView();
    for (int y = 0; y < v.height; ++y) {
        const uint8_t* row = pixels + (v.height - 1 - y) * stride;
        for (int x = 0; x < v.width; ++x) {
            if (v.bits == 24) {
                v.rgb.push_back(row[3 * x + 2]);
                v.rgb.push_back(row[3 * x + 1]);
                v.rgb.push_back(row[3 * x]);
                continue;
            }
            int index = 0;
            if (v.bits == 8) index = row[x];
            else if (v.bits == 4) index = (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
            else if (v.bits == 1) index = (row[x / 8] >> (7 - x % 8)) & 1;
            for (int c = 2; c >= 0; --c) v.rgb.push_back(table[4 * index + c]);
        }
    }
    return v;
}
