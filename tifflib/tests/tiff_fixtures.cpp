// TIFF files for the reader tests, made at test time (see tiff_fixtures.h).
#include "tifflib/tests/tiff_fixtures.h"

#include "testsupport/testsupport.h"

#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace tifffixtures {

using testsupport::PutLe16;
using testsupport::PutLe32;

const std::vector<Compression>& Compressions()
{
    static const std::vector<Compression> all = {
        {"none", COMPRESSION_NONE, 8, false},
        {"packbits", COMPRESSION_PACKBITS, 8, false},
        {"lzw", COMPRESSION_LZW, 8, false},
        {"deflate", COMPRESSION_ADOBE_DEFLATE, 8, false},
        {"deflate-old", COMPRESSION_DEFLATE, 8, false},
        {"jpeg", COMPRESSION_JPEG, 8, true},
        {"ccitt-rle", COMPRESSION_CCITTRLE, 1, false},
        {"g3", COMPRESSION_CCITTFAX3, 1, false},
        {"g4", COMPRESSION_CCITTFAX4, 1, false},
    };
    return all;
}

const Compression& ByName(const std::string& name)
{
    for (const Compression& c : Compressions())
        if (name == c.name) return c;
    throw std::runtime_error("no compression " + name);
}

std::vector<uint8_t> Pattern(int width, int rows, int bits)
{
    std::vector<uint8_t> px(size_t(width) * size_t(rows));
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = (x * 7 + y * 13 + (x / 5) * (y % 7)) & 0xFF;
            px[size_t(y) * size_t(width) + size_t(x)] = bits == 1 ? uint8_t((v >> 5) & 1) : uint8_t(v);
        }
    return px;
}

namespace {

std::string TempName()
{
    char name[] = "/tmp/sorv_tiff_fixture_XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) throw std::runtime_error("no temporary file");
    ::close(fd);
    return name;
}

void PutRow(const uint8_t* px, int width, int bits, std::vector<uint8_t>& line)
{
    if (bits == 8) {
        line.assign(px, px + width);
        return;
    }
    line.assign(size_t((width + 7) / 8), 0);
    for (int x = 0; x < width; ++x)
        if (px[x]) line[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
}

} // namespace

std::vector<uint8_t> EncodeStrip(const Compression& c, int width, int rows, const std::vector<uint8_t>& pixels)
{
    const std::string path = TempName();
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) throw std::runtime_error("libtiff cannot write " + path);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(rows));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, c.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, c.code);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(rows));
    if (c.code == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGTABLESMODE, 0);   // each strip a whole JPEG stream
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 90);
    }
    std::vector<uint8_t> line;
    for (int y = 0; y < rows; ++y) {
        PutRow(pixels.data() + size_t(y) * size_t(width), width, c.bits, line);
        if (TIFFWriteScanline(tif, line.data(), uint32_t(y), 0) < 0) {
            TIFFClose(tif);
            throw std::runtime_error(std::string("libtiff cannot encode ") + c.name);
        }
    }
    TIFFClose(tif);
    tif = TIFFOpen(path.c_str(), "rc");   // the strip as written, not chopped into parts
    if (!tif) throw std::runtime_error("libtiff cannot read back " + path);
    uint64_t* counts = nullptr;
    TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
    std::vector<uint8_t> raw(counts ? size_t(counts[0]) : 0);
    const tmsize_t got = raw.empty() ? 0 : TIFFReadRawStrip(tif, 0, raw.data(), tmsize_t(raw.size()));
    TIFFClose(tif);
    std::remove(path.c_str());
    if (got != tmsize_t(raw.size())) throw std::runtime_error(std::string("no strip for ") + c.name);
    return raw;
}

std::vector<uint8_t> BuildTiff(const Layout& l)
{
    const size_t n = l.strips.size();
    const uint32_t rowsPerStrip = l.rowsPerStrip ? l.rowsPerStrip : l.length;
    const uint32_t entries = 10;
    const uint32_t ifd = 8;
    uint32_t next = ifd + 2 + 12 * entries + 4;   // out-of-line values from here
    const uint32_t offsetsAt = n > 1 ? next : 0;
    if (n > 1) next += uint32_t(4 * n);
    const uint32_t countsAt = n > 1 ? next : 0;
    if (n > 1) next += uint32_t(4 * n);
    const uint32_t textCount = uint32_t(l.text.size() + 1);
    const uint32_t textAt = textCount > 4 ? next : 0;
    if (textCount > 4) next += textCount;
    std::vector<uint32_t> offsets;
    for (const auto& s : l.strips) {
        offsets.push_back(next);
        next += uint32_t(s.size());
    }
    std::vector<uint8_t> b(next, 0);
    b[0] = b[1] = 'I';
    PutLe16(b, 2, 42);
    PutLe32(b, 4, ifd);
    PutLe16(b, ifd, entries);
    size_t e = ifd + 2;
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        PutLe16(b, e, tag);
        PutLe16(b, e + 2, type);
        PutLe32(b, e + 4, count);
        if (type == 3 && count == 1) PutLe16(b, e + 8, value);
        else PutLe32(b, e + 8, value);
        e += 12;
    };
    entry(256, 4, 1, l.width);
    entry(257, 4, 1, l.length);
    entry(258, 3, 1, uint32_t(l.bits));
    entry(259, 3, 1, l.compression);
    entry(262, 3, 1, 1);
    entry(273, 4, uint32_t(n), n > 1 ? offsetsAt : (n ? offsets[0] : 0));
    entry(277, 3, 1, 1);
    entry(278, 4, 1, rowsPerStrip);
    entry(279, 4, uint32_t(n), n > 1 ? countsAt : (n ? uint32_t(l.strips[0].size()) : 0));
    uint32_t inlineText = 0;
    for (size_t i = 0; i < l.text.size() && textCount <= 4; ++i) inlineText |= uint32_t(uint8_t(l.text[i])) << (8 * i);
    entry(32768, 2, textCount, textCount > 4 ? textAt : inlineText);
    PutLe32(b, e, 0);
    for (size_t i = 0; i < n && n > 1; ++i) {
        PutLe32(b, offsetsAt + 4 * i, offsets[i]);
        PutLe32(b, countsAt + 4 * i, uint32_t(l.strips[i].size()));
    }
    if (textCount > 4) std::copy(l.text.begin(), l.text.end(), b.begin() + textAt);
    for (size_t i = 0; i < n; ++i) std::copy(l.strips[i].begin(), l.strips[i].end(), b.begin() + offsets[i]);
    return b;
}

std::vector<uint8_t> ValidTiff(const Compression& c, int width, int rows, const std::vector<uint8_t>& pixels,
                               int rowsPerStrip, const std::string& text)
{
    Layout l;
    l.width = uint32_t(width);
    l.length = uint32_t(rows);
    l.bits = c.bits;
    l.compression = c.code;
    l.rowsPerStrip = uint32_t(rowsPerStrip);
    l.text = text;
    for (int y = 0; y < rows; y += rowsPerStrip) {
        const int n = std::min(rowsPerStrip, rows - y);
        const std::vector<uint8_t> part(pixels.begin() + int64_t(y) * width, pixels.begin() + int64_t(y + n) * width);
        l.strips.push_back(EncodeStrip(c, width, n, part));
    }
    return BuildTiff(l);
}

std::vector<uint8_t> HugeDeclaredTiff(const Compression& c)
{
    Layout l;
    l.width = l.length = 30000;
    l.bits = c.bits;
    l.compression = c.code;
    l.text = std::string(345, 'h');   // with the PackBits strip: 948 bytes in all
    std::vector<uint8_t> strip;
    if (c.code == COMPRESSION_PACKBITS) {
        for (int i = 0; i < 234; ++i) {
            strip.push_back(0x81);
            strip.push_back(0x00);
        }
    } else if (c.code == COMPRESSION_NONE) {
        strip.assign(468, 0);
    } else {
        // The start of a strip of many rows: the data breaks off.
        const int rows = c.bits == 1 ? 256 : 16;
        strip = EncodeStrip(c, 30000, rows, Pattern(30000, rows, c.bits));
        if (strip.size() > 468) strip.resize(468);
    }
    l.strips.push_back(strip);
    return BuildTiff(l);
}

std::vector<uint8_t> OldStyleLzwStrip(const std::vector<uint8_t>& pixels)
{
    // Every code 9 bits: the table stays far below 512 entries for a small image.
    if (pixels.size() > 200) throw std::runtime_error("too many pixels for 9-bit codes");
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int bits = 0;
    auto code = [&](uint32_t c) {
        acc |= c << bits;
        bits += 9;
        while (bits >= 8) {
            out.push_back(uint8_t(acc));
            acc >>= 8;
            bits -= 8;
        }
    };
    code(256);
    for (uint8_t p : pixels) code(p);
    code(257);
    if (bits > 0) out.push_back(uint8_t(acc));
    return out;
}

size_t FirstByteCountOffset(const std::vector<uint8_t>& b)
{
    auto u16 = [&](size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    const size_t ifd = u32(4);
    for (uint32_t i = 0, n = u16(ifd); i < n; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if (u16(e) == 279) return u32(e + 4) == 1 ? e + 8 : u32(e + 8);
    }
    throw std::runtime_error("no StripByteCounts");
}

std::vector<uint8_t> DecodeWithLibtiff(const std::string& path)
{
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return {};
    uint32_t width = 0, length = 0;
    uint16_t bits = 8;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    std::vector<uint8_t> line(size_t(TIFFScanlineSize(tif))), out;
    for (uint32_t y = 0; y < length; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0) {
            TIFFClose(tif);
            return {};
        }
        for (uint32_t x = 0; x < width; ++x)
            out.push_back(bits == 8 ? line[x] : uint8_t((line[x >> 3] >> (7 - (x & 7))) & 1));
    }
    TIFFClose(tif);
    return out;
}

void Write(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

} // namespace tifffixtures
