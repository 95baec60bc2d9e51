#pragma once
// Builders of the kernel's own file formats, for fixtures and tests: the
// bit-stuffed bilevel run code and its "KOL1" file, and the picture
// container with a binary CGM CELL ARRAY. No public tool writes these
// formats, so the kernel's tests make them from these byte layouts.
// Header-only, plain C++17.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace kfix {

using Bytes = std::vector<uint8_t>;

inline void Be16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); }
inline void Be32(Bytes& b, uint32_t v) { Be16(b, v >> 16); Be16(b, v & 0xFFFF); }

// A one-bit picture: rows of (width + 7) / 8 bytes, most significant bit
// first, 1 = set.
struct Bilevel {
    int width = 0, height = 0;
    Bytes rows;
    int RowBytes() const { return (width + 7) / 8; }
    bool At(int x, int y) const { return (rows[size_t(y * RowBytes() + x / 8)] >> (7 - x % 8)) & 1; }
    void Set(int x, int y, bool v)
    {
        uint8_t& b = rows[size_t(y * RowBytes() + x / 8)];
        const uint8_t m = uint8_t(0x80 >> (x % 8));
        b = v ? uint8_t(b | m) : uint8_t(b & ~m);
    }
};

inline Bilevel MakeBilevel(int width, int height)
{
    Bilevel b;
    b.width = width, b.height = height;
    b.rows.assign(size_t(b.RowBytes()) * size_t(height), 0);
    return b;
}

// The picture as one continuous bit plane: row y begins at bit y x width
// (no row padding), most significant bit first.
inline Bytes ContinuousBits(const Bilevel& b)
{
    Bytes out(size_t((int64_t(b.width) * b.height + 7) / 8), 0);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            if (b.At(x, y)) {
                const int64_t bit = int64_t(y) * b.width + x;
                out[size_t(bit / 8)] |= uint8_t(0x80 >> (bit % 8));
            }
    return out;
}

// Shapes that exercise every mode: a disc, a frame, stripes and noise.
inline Bilevel PatternBilevel(int width, int height, uint32_t seed = 1)
{
    Bilevel b = MakeBilevel(width, height);
    uint32_t s = seed;
    auto rnd = [&]() { return s = s * 1103515245u + 12345u, (s >> 16) & 0x7FFF; };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int dx = x - width / 2, dy = y - height / 2;
            bool v = dx * dx + dy * dy < (width * width) / 16;
            if (x == 0 || y == 0 || x == width - 1 || y == height - 1) v = true;
            if (y > height * 3 / 4) v = ((x / 3) % 2) == 0;
            if (y < height / 8 && x > width / 2) v = rnd() % 3 == 0;
            b.Set(x, y, v);
        }
    return b;
}

// ---- bit-stuffed bilevel run code ------------------------------------------

// Bits with a 0 inserted after every five 1 bits, padded with 0 bits.
class StuffedBits {
public:
    void Put(int bit)
    {
        Raw(bit);
        if (bit) {
            if (++ones_ == 5) {
                Raw(0);
                ones_ = 0;
            }
        } else {
            ones_ = 0;
        }
    }
    void PutBits(const std::string& text)
    {
        for (char c : text)
            if (c == '0' || c == '1') Put(c - '0');
    }
    Bytes Finish()
    {
        while (n_ % 8) Raw(0);
        return out_;
    }
    size_t Bits() const { return n_; }

private:
    void Raw(int bit)
    {
        if (n_ % 8 == 0) out_.push_back(0);
        if (bit) out_.back() |= uint8_t(0x80 >> (n_ % 8));
        ++n_;
    }
    Bytes out_;
    size_t n_ = 0;
    int ones_ = 0;
};

inline void PutRun(StuffedBits& bits, int run)
{
    int k = 0;
    while (run >= (1 << (k + 3)) - 4) ++k;
    for (int i = 0; i < k; ++i) bits.Put(1);
    bits.Put(0);
    const int value = run - ((1 << (k + 2)) - 4);
    for (int i = k + 1; i >= 0; --i) bits.Put((value >> i) & 1);
}

// Changing elements of a row (columns where the value changes, the row
// beginning with 0 bits).
inline std::vector<int> RowElements(const Bilevel& b, int y)
{
    std::vector<int> e;
    int colour = 0;
    for (int x = 0; x < b.width; ++x)
        if (int(b.At(x, y)) != colour) {
            e.push_back(x);
            colour ^= 1;
        }
    return e;
}

// One coded line of `cur` against `ref` (changing elements); vertical modes
// up to `maxVertical` away, pass and horizontal modes otherwise.
inline Bytes CodeLine(const std::vector<int>& curIn, const std::vector<int>& refIn, int width, int maxVertical = 6)
{
    std::vector<int> cur = curIn, ref = refIn;
    for (int i = 0; i < 4; ++i) cur.push_back(width), ref.push_back(width);
    StuffedBits bits;
    int a0 = -1, colour = 0;
    size_t ai = 0;
    while (a0 < width) {
        const int a1 = ai < cur.size() ? cur[ai] : width;
        const int a2 = ai + 1 < cur.size() ? cur[ai + 1] : width;
        size_t i = size_t(colour);
        while (i < ref.size() && ref[i] <= a0) i += 2;
        const int b1 = i < ref.size() ? ref[i] : width;
        const int b2 = i + 1 < ref.size() ? ref[i + 1] : width;
        if (b2 < a1) {
            bits.PutBits("1110");
            a0 = b2;
        } else if (a1 - b1 <= maxVertical && b1 - a1 <= maxVertical) {
            const int d = a1 - b1;
            if (d == 0) {
                bits.Put(0);
            } else if (d == 1 || d == -1) {
                bits.PutBits(d > 0 ? "100" : "101");
            } else {
                bits.PutBits(d > 0 ? "1100" : "1101");
                for (int m = 0; m < (d > 0 ? d : -d) - 2; ++m) bits.Put(0);
                bits.Put(1);
            }
            a0 = a1;
            ++ai;
            colour ^= 1;
        } else {
            bits.PutBits("1111");
            PutRun(bits, a1 - (a0 < 0 ? 0 : a0));
            PutRun(bits, a2 - a1);
            a0 = a2;
            ai += 2;
        }
    }
    return bits.Finish();
}

// Raw line: the row's bits, stuffed.
inline Bytes RawLine(const Bilevel& b, int y)
{
    StuffedBits bits;
    for (int x = 0; x < b.width; ++x) bits.Put(b.At(x, y));
    return bits.Finish();
}

// A plane in the run code: coded lines, raw lines for the rows in `rawRows`,
// then the end mark (0x7F 0x7F).
inline Bytes EncodeRunPlane(const Bilevel& b, const std::vector<int>& rawRows = {})
{
    Bytes out;
    std::vector<int> ref;
    for (int y = 0; y < b.height; ++y) {
        bool raw = false;
        for (int r : rawRows) raw = raw || r == y;
        std::vector<int> cur = RowElements(b, y);
        if (cur.size() > 700) raw = true;
        if (raw) {
            out.push_back(0x7F);
            Bytes line = RawLine(b, y);
            if (line.empty()) line.push_back(0);
            out.insert(out.end(), line.begin(), line.end());
            ref.clear();
        } else {
            out.push_back(0x7E);
            Bytes line = CodeLine(cur, ref, b.width);
            out.insert(out.end(), line.begin(), line.end());
            ref = cur;
        }
    }
    out.push_back(0x7F);
    out.push_back(0x7F);
    return out;
}

// "KOL1" file: 27-byte header, then the data.
inline Bytes Kol1File(int width, int height, const Bytes& data, uint8_t colourCode = 0, uint16_t flags = 0x8000)
{
    Bytes f = {'K', 'O', 'L', '1'};
    Be32(f, uint32_t(data.size()));
    Be16(f, uint32_t(height));
    Be16(f, flags);
    for (int i = 0; i < 8; ++i) f.push_back(0);
    f.push_back(0xC1);
    f.push_back(colourCode);
    f.push_back(0x01);
    Be16(f, uint32_t(width));
    Be16(f, 0);
    f.insert(f.end(), data.begin(), data.end());
    return f;
}

// ---- picture container -------------------------------------------------------

// CGM command word with short-form parameters.
inline void CgmCommand(Bytes& out, int cls, int id, const Bytes& params)
{
    Be16(out, uint32_t(cls << 12 | id << 5 | int(params.size())));
    out.insert(out.end(), params.begin(), params.end());
}

// CGM command in long form, parameters in partitions of at most `piece` bytes.
inline void CgmLongCommand(Bytes& out, int cls, int id, const Bytes& params, size_t piece)
{
    Be16(out, uint32_t(cls << 12 | id << 5 | 31));
    size_t at = 0;
    do {
        const size_t n = params.size() - at < piece ? params.size() - at : piece;
        const bool more = at + n < params.size();
        Be16(out, uint32_t((more ? 0x8000 : 0) | n));
        out.insert(out.end(), params.begin() + long(at), params.begin() + long(at + n));
        at += n;
    } while (at < params.size());
}

struct CgmPicture {
    int compressionCode = 249;  // 242, 243, 244 (CCITT G3), 245 (G4), 249 none
    int resolutionCode = 196;   // 300 x 300
    int width = 0, height = 0;
    Bytes raster;               // CCITT data, or rows of (width + 7) / 8 bytes
    uint16_t vdc[4] = {0, 0, 0, 0};
    uint16_t cellMarker = 0xF007;
    uint16_t flag = 0;          // 0x8000: two end words
    bool continued = false;     // stream in continuation records (0xF501)
    size_t continuationPiece = 4000;
    bool trailingRecord = false;  // one record after the stream (continued only)
    size_t partition = 0;       // >0: CELL ARRAY in long form with partitions of this size
    Bytes extraCommands;        // commands placed before the CELL ARRAY
};

inline Bytes CgmStream(const CgmPicture& p)
{
    Bytes s;
    CgmCommand(s, 0, 1, {});          // BEGIN METAFILE
    CgmCommand(s, 1, 1, {0, 1});      // METAFILE VERSION
    CgmCommand(s, 0, 3, {});          // BEGIN PICTURE
    Bytes vdc;
    for (uint16_t v : p.vdc) Be16(vdc, v);
    CgmCommand(s, 2, 6, vdc);         // VDC EXTENT
    CgmCommand(s, 2, 7, {0xFF, 0xFF});  // BACKGROUND COLOUR
    CgmCommand(s, 0, 4, {});          // BEGIN PICTURE BODY
    s.insert(s.end(), p.extraCommands.begin(), p.extraCommands.end());
    Bytes cell(16, 0);
    Be16(cell, p.cellMarker);
    cell.push_back(uint8_t(p.compressionCode));
    cell.push_back(uint8_t(p.resolutionCode));
    Be16(cell, uint32_t(p.width));
    Be16(cell, uint32_t(p.height));
    cell.insert(cell.end(), p.raster.begin(), p.raster.end());
    if (p.partition > 0 || cell.size() >= 31) CgmLongCommand(s, 4, 10, cell, p.partition ? p.partition : 30000);
    else CgmCommand(s, 4, 10, cell);
    CgmCommand(s, 0, 5, {});          // END PICTURE
    CgmCommand(s, 0, 2, {});          // END METAFILE
    return s;
}

// Container of pictures; `digits` x 256 is where the pictures begin.
inline Bytes CgmContainer(const std::vector<CgmPicture>& pictures, int digits = 1)
{
    Bytes f = {uint8_t(0xF0 + digits / 10), uint8_t(0xF0 + digits % 10), 0x23, 0x40};
    f.resize(size_t(digits) * 256, 0x40);
    Be32(f, 0xF1118000u);
    for (const CgmPicture& p : pictures) {
        Be32(f, 0xF1108000u);
        Bytes head(24, 0);
        head[12] = 0xF1;
        f.insert(f.end(), head.begin(), head.end());
        Be16(f, 0xF110);
        Be16(f, p.flag);
        Be16(f, 0xF500);
        Be16(f, 4);
        Be32(f, 0x12345678u);
        const Bytes s = CgmStream(p);
        if (!p.continued) {
            Be16(f, 0xF401);
            Be16(f, uint32_t(s.size() & 0x7FFF));
            f.insert(f.end(), s.begin(), s.end());
        } else {
            Be16(f, 0xF501);
            Be16(f, 0);
            for (size_t at = 0; at < s.size(); at += p.continuationPiece) {
                const size_t n = s.size() - at < p.continuationPiece ? s.size() - at : p.continuationPiece;
                f.push_back(0xF0);
                f.push_back(0x04);
                Be16(f, uint32_t(n));
                f.insert(f.end(), s.begin() + long(at), s.begin() + long(at + n));
            }
            if (p.trailingRecord) {
                Be32(f, 0xF0050006u);
                for (int i = 0; i < 6; ++i) f.push_back(uint8_t(i));
            }
        }
        Be32(f, 0xF0000000u);
        if (p.flag == 0x8000) Be32(f, 0xF0000000u);
    }
    Be32(f, 0xF0000000u);
    return f;
}

inline CgmPicture UncompressedPicture(const Bilevel& b)
{
    CgmPicture p;
    p.compressionCode = 249;
    p.width = b.width, p.height = b.height;
    p.raster = b.rows;
    p.vdc[2] = uint16_t(b.width), p.vdc[3] = uint16_t(b.height);
    return p;
}

// ---- TIFF strips (to wrap what libtiff writes) -----------------------------

struct TiffStrips {
    uint32_t width = 0, height = 0, compression = 0;
    Bytes data;  // all strips back to back
};

// Width, height, compression and strip bytes of a TIFF's first directory.
inline bool ReadTiffStrips(const Bytes& f, TiffStrips* out)
{
    if (f.size() < 8) return false;
    const bool le = f[0] == 'I';
    auto u16 = [&](size_t o) -> uint32_t { return le ? f[o] | f[o + 1] << 8 : f[o] << 8 | f[o + 1]; };
    auto u32 = [&](size_t o) -> uint32_t {
        return le ? f[o] | f[o + 1] << 8 | f[o + 2] << 16 | uint32_t(f[o + 3]) << 24
                  : uint32_t(f[o]) << 24 | f[o + 1] << 16 | f[o + 2] << 8 | f[o + 3];
    };
    const size_t ifd = u32(4);
    if (ifd + 2 > f.size()) return false;
    const uint32_t n = u16(ifd);
    std::vector<uint32_t> offsets, counts;
    for (uint32_t i = 0; i < n; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if (e + 12 > f.size()) return false;
        const uint32_t tag = u16(e), type = u16(e + 2), count = u32(e + 4);
        const size_t size = type == 3 ? 2 : 4;
        const size_t at = size * count <= 4 ? e + 8 : u32(e + 8);
        std::vector<uint32_t> v;
        for (uint32_t k = 0; k < count && at + size * (k + 1) <= f.size(); ++k)
            v.push_back(size == 2 ? u16(at + 2 * k) : u32(at + 4 * k));
        if (v.empty()) continue;
        if (tag == 256) out->width = v[0];
        if (tag == 257) out->height = v[0];
        if (tag == 259) out->compression = v[0];
        if (tag == 273) offsets = v;
        if (tag == 279) counts = v;
    }
    if (offsets.size() != counts.size() || offsets.empty()) return false;
    for (size_t i = 0; i < offsets.size(); ++i) {
        if (size_t(offsets[i]) + counts[i] > f.size()) return false;
        out->data.insert(out->data.end(), f.begin() + offsets[i], f.begin() + offsets[i] + counts[i]);
    }
    return true;
}

} // namespace kfix
