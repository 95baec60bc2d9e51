#pragma once
// Small TIFF files built byte by byte for the probe and extraction tests:
// any byte order, any entries, strips placed where the test wants them.
#include <algorithm>
#include <cstdint>
#include <vector>

namespace tiffbuild {

using Bytes = std::vector<uint8_t>;

struct Entry {
    uint16_t tag, type;
    uint32_t count;
    Bytes value;  // raw value bytes in the file's order; > 4 bytes go out of line
};

class Writer {
public:
    explicit Writer(bool little) : little_(little) {}
    void u16(Bytes& b, uint32_t v) const
    {
        if (little_) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
        else { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); }
    }
    void u32(Bytes& b, uint32_t v) const
    {
        for (int i = 0; i < 4; ++i) b.push_back(uint8_t(little_ ? v >> (8 * i) : v >> (24 - 8 * i)));
    }
    Bytes shorts(std::vector<uint32_t> v) const { Bytes b; for (uint32_t x : v) u16(b, x); return b; }
    Bytes longs(std::vector<uint32_t> v) const { Bytes b; for (uint32_t x : v) u32(b, x); return b; }
    void put32(Bytes& b, size_t at, uint32_t v) const
    {
        Bytes t;
        u32(t, v);
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = t[size_t(i)];
    }
    bool little() const { return little_; }

private:
    bool little_;
};

// One page: width x height 8-bit grey, `strips` strips of rows, pixel value
// seed + x + y. Entries besides the image ones may be added.
struct Page {
    int width = 6, height = 4, strips = 1;
    uint8_t seed = 0;
    bool shortStripOffsets = false;
    std::vector<Entry> extra;
};

inline Bytes PagePixels(const Page& p)
{
    Bytes px;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) px.push_back(uint8_t(p.seed + x * 7 + y * 13));
    return px;
}

// A multi-page file: header, then each page as pixel strips, out-of-line
// values and its directory, directories chained in order.
inline Bytes MultiPage(const std::vector<Page>& pages, bool little)
{
    Writer w(little);
    Bytes f = {uint8_t(little ? 'I' : 'M'), uint8_t(little ? 'I' : 'M')};
    w.u16(f, 42);
    w.u32(f, 0);
    size_t linkAt = 4;
    for (const Page& p : pages) {
        const Bytes px = PagePixels(p);
        const int rows = (p.height + p.strips - 1) / p.strips;
        std::vector<uint32_t> offsets, counts;
        for (int s = 0; s < p.strips; ++s) {
            const int r0 = s * rows, r1 = std::min(p.height, r0 + rows);
            offsets.push_back(uint32_t(f.size()));
            counts.push_back(uint32_t((r1 - r0) * p.width));
            f.insert(f.end(), px.begin() + r0 * p.width, px.begin() + r1 * p.width);
        }
        std::vector<Entry> entries = {
            {256, 3, 1, w.shorts({uint32_t(p.width), 0})},
            {257, 3, 1, w.shorts({uint32_t(p.height), 0})},
            {258, 3, 1, w.shorts({8, 0})},
            {259, 3, 1, w.shorts({1, 0})},
            {262, 3, 1, w.shorts({1, 0})},
            {273, uint16_t(p.shortStripOffsets ? 3 : 4), uint32_t(p.strips),
             p.shortStripOffsets ? w.shorts(offsets) : w.longs(offsets)},
            {277, 3, 1, w.shorts({1, 0})},
            {278, 3, 1, w.shorts({uint32_t(rows), 0})},
            {279, 4, uint32_t(p.strips), w.longs(counts)},
        };
        entries.insert(entries.end(), p.extra.begin(), p.extra.end());
        std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        std::vector<uint32_t> valueAt(entries.size(), 0);
        for (size_t i = 0; i < entries.size(); ++i) {
            Bytes v = entries[i].value;
            if (v.size() > 4) {
                if (f.size() % 2) f.push_back(0);
                valueAt[i] = uint32_t(f.size());
                f.insert(f.end(), v.begin(), v.end());
            }
        }
        if (f.size() % 2) f.push_back(0);
        w.put32(f, linkAt, uint32_t(f.size()));
        w.u16(f, uint32_t(entries.size()));
        for (size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            w.u16(f, e.tag);
            w.u16(f, e.type);
            w.u32(f, e.count);
            if (e.value.size() > 4) {
                w.u32(f, valueAt[i]);
            } else {
                Bytes v = e.value;
                v.resize(4, 0);
                f.insert(f.end(), v.begin(), v.end());
            }
        }
        linkAt = f.size();
        w.u32(f, 0);
    }
    return f;
}

} // namespace tiffbuild
