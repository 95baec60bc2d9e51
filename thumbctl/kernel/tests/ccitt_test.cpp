// Facsimile decoder: hand-made code streams for the framing rules, and the
// strips libtiff writes (tiffcp) for the codings it offers, checked pixel for
// pixel against ImageMagick's reading of the uncompressed original.
#include "thumbctl/kernel/ccitt.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "testsupport/testsupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

// "0011 0101 1" -> bytes, most significant bit first, zero padded.
Bytes Bits(const std::string& text) {
    Bytes out;
    int n = 0;
    for (char c : text) {
        if (c != '0' && c != '1') continue;
        if (n % 8 == 0) out.push_back(0);
        if (c == '1') out.back() |= static_cast<uint8_t>(0x80 >> (n % 8));
        ++n;
    }
    return out;
}

Bytes DecodeOne(int coding, const Bytes& data, int width, int height, bool lsbFirst = false) {
    return ccitt::DecodeImage(coding, {data}, lsbFirst, width, height, height);
}

// --- a small reader of the first directory of a TIFF, for the fixtures -----

struct StripFile {
    uint32_t width = 0, height = 0, compression = 1, rowsPerStrip = 0, fillOrder = 1, t4 = 0,
             photometric = 0;
    std::vector<Bytes> strips;
};

StripFile ReadStrips(const std::string& path) {
    const Bytes f = testsupport::ReadBytes(path);
    StripFile out;
    if (f.size() < 8) return out;
    const bool le = f[0] == 'I';
    auto u16 = [&](size_t o) -> uint32_t {
        return le ? f[o] | f[o + 1] << 8 : f[o] << 8 | f[o + 1];
    };
    auto u32 = [&](size_t o) -> uint32_t {
        return le ? f[o] | f[o + 1] << 8 | f[o + 2] << 16 | uint32_t(f[o + 3]) << 24
                  : uint32_t(f[o]) << 24 | f[o + 1] << 16 | f[o + 2] << 8 | f[o + 3];
    };
    const uint32_t ifd = u32(4);
    const uint32_t n = u16(ifd);
    std::vector<uint32_t> offsets, counts;
    auto values = [&](size_t e) {
        const uint32_t type = u16(e + 2), count = u32(e + 4);
        const size_t size = type == 3 ? 2 : 4;
        const size_t at = size * count <= 4 ? e + 8 : u32(e + 8);
        std::vector<uint32_t> v;
        for (uint32_t i = 0; i < count; ++i) v.push_back(size == 2 ? u16(at + 2 * i) : u32(at + 4 * i));
        return v;
    };
    for (uint32_t i = 0; i < n; ++i) {
        const size_t e = ifd + 2 + 12 * i;
        const uint32_t tag = u16(e);
        const auto v = values(e);
        switch (tag) {
        case 256: out.width = v[0]; break;
        case 257: out.height = v[0]; break;
        case 259: out.compression = v[0]; break;
        case 262: out.photometric = v[0]; break;
        case 266: out.fillOrder = v[0]; break;
        case 273: offsets = v; break;
        case 278: out.rowsPerStrip = v[0]; break;
        case 279: counts = v; break;
        case 292: out.t4 = v[0]; break;
        }
    }
    for (size_t i = 0; i < offsets.size() && i < counts.size(); ++i)
        out.strips.emplace_back(f.begin() + offsets[i], f.begin() + offsets[i] + counts[i]);
    if (out.rowsPerStrip == 0) out.rowsPerStrip = out.height;
    return out;
}

// Modified Huffman from Group 3 one-dimensional data without fill: the codes
// between the EOLs (which no code sequence can imitate) start on byte
// boundaries instead.
Bytes G3ToModifiedHuffman(const Bytes& g3) {
    std::vector<int> bits;
    for (uint8_t b : g3)
        for (int i = 7; i >= 0; --i) bits.push_back((b >> i) & 1);
    std::vector<std::vector<int>> lines;
    size_t i = 0;
    std::vector<int> line;
    while (i < bits.size()) {
        size_t z = 0;
        while (i + z < bits.size() && bits[i + z] == 0) ++z;
        if (z >= 11 && i + z < bits.size()) {  // EOL; zeros before its 11 end the last code
            line.insert(line.end(), z - 11, 0);
            if (!line.empty()) lines.push_back(line);
            line.clear();
            i += z + 1;
            continue;
        }
        if (i + z >= bits.size()) break;  // trailing padding
        line.insert(line.end(), z, 0);
        line.push_back(1);
        i += z + 1;
    }
    if (!line.empty()) lines.push_back(line);
    Bytes out;
    for (auto& l : lines) {
        while (l.size() % 8) l.push_back(0);
        for (size_t k = 0; k < l.size(); k += 8) {
            uint8_t b = 0;
            for (int j = 0; j < 8; ++j) b = static_cast<uint8_t>(b << 1 | l[k + j]);
            out.push_back(b);
        }
    }
    return out;
}

// Pixels as 1 bits (black for WhiteIsZero, white for BlackIsZero), packed in
// rows of (width + 7) / 8 bytes, from ImageMagick's grey reading.
Bytes PackBits(const Bytes& grey, uint32_t width, uint32_t height, uint32_t photometric) {
    const size_t rowBytes = (width + 7) / 8;
    Bytes out(rowBytes * height, 0);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            if ((grey[size_t(y) * width + x] < 128) == (photometric == 0)) out[y * rowBytes + x / 8] |= uint8_t(0x80 >> (x % 8));
    return out;
}

int Coding(const StripFile& f) {
    switch (f.compression) {
    case 2: return ccitt::kModifiedHuffman;
    case 3: return (f.t4 & 1) ? ccitt::kGroup3TwoD : ccitt::kGroup3OneD;
    case 4: return ccitt::kGroup4;
    }
    return -1;
}

class CcittFixture : public ::testing::Test {
protected:
    void SetUp() override {
        // Random dots (every code length and mode), shapes with long runs, and a
        // row wide enough for the extended make-up codes.
        Make("noise.tif", "-size 203x57 xc:gray50 -seed 11 +noise Random -colorspace gray -threshold 50%");
        Make("shapes.tif",
             "-size 333x120 xc:white -fill black -draw 'circle 160,60 200,100' "
             "-draw 'rectangle 0,0 332,3' -draw 'rectangle 10,50 12,119' -draw 'line 0,119 332,0'");
        Make("wide.tif", "-size 3000x9 xc:white -fill black -draw 'rectangle 100,2 2950,5' "
                         "-draw 'rectangle 0,7 2999,8'");
    }
    void Make(const std::string& name, const std::string& recipe) {
        int code = 0;
        testsupport::Shell("convert " + recipe + " -monochrome -type bilevel -depth 1 -compress none '" + dir.file(name) + "'", &code);
        ASSERT_EQ(code, 0) << name;
    }
    std::string Tiffcp(const std::string& in, const std::string& options, const std::string& out) {
        int code = 0;
        const std::string log =
            testsupport::Shell("tiffcp " + options + " '" + dir.file(in) + "' '" + dir.file(out) + "'", &code);
        EXPECT_EQ(code, 0) << log;
        return dir.file(out);
    }
    testsupport::TempDir dir{"ccitt"};
};

TEST_F(CcittFixture, DecodesLibtiffStripsPixelExact) {
    const char* images[] = {"noise.tif", "shapes.tif", "wide.tif"};
    const char* variants[] = {
        "-c g3:1d", "-c g3:2d", "-c g4", "-c g3:1d:fill", "-c g3:2d:fill",
        "-c g3:1d -r 7", "-c g3:2d -r 5", "-c g4 -r 16", "-c g4 -f lsb2msb", "-c g3:2d -f lsb2msb -r 3",
    };
    for (const char* image : images) {
        const std::string src = dir.file(image);
        const Bytes grey = testsupport::MagickPixels(src, "gray");
        ASSERT_FALSE(grey.empty());
        int v = 0;
        for (const char* options : variants) {
            SCOPED_TRACE(std::string(image) + " " + options);
            const StripFile f = ReadStrips(Tiffcp(image, options, "v" + std::to_string(v++) + ".tif"));
            ASSERT_GT(f.width, 0u);
            ASSERT_EQ(grey.size(), size_t(f.width) * f.height);
            const Bytes want = PackBits(grey, f.width, f.height, f.photometric);
            const Bytes got = ccitt::DecodeImage(Coding(f), f.strips, f.fillOrder == 2, f.width, f.height,
                                                 f.rowsPerStrip);
            EXPECT_EQ(got, want);
        }
        // Modified Huffman: the same lines byte-aligned and without EOLs.
        const StripFile g3 = ReadStrips(Tiffcp(image, "-c g3:1d -r 4", "mh.tif"));
        std::vector<Bytes> mh;
        for (const Bytes& s : g3.strips) mh.push_back(G3ToModifiedHuffman(s));
        EXPECT_EQ(ccitt::DecodeImage(ccitt::kModifiedHuffman, mh, false, g3.width, g3.height, 4),
                  PackBits(grey, g3.width, g3.height, g3.photometric))
            << image << " modified Huffman";
    }
}

TEST(CcittDecoder, FramingRules) {
    struct Case {
        const char* name;
        int coding;
        int width, height;
        std::string code;
        Bytes want;  // packed rows; rows never reached stay 0 (white)
    };
    const Case cases[] = {
        // Width 8: white 8 (10011) ends the row; the 3 bits left in the byte are
        // skipped; the second row (white 0, black 8) starts on the next byte.
        {"MH byte alignment", ccitt::kModifiedHuffman, 8, 2, "10011 111  00110101 000101", {0x00, 0xFF}},
        // EOL with fill bits before the line: white 2, black 3, white 3.
        {"G3 fill before EOL", ccitt::kGroup3OneD, 8, 1, "0000000000000001 0111 10 1000", {0x38}},
        // Extended make-up 1792 + white terminating 8 = 1800 white, then black 0... on a 1801 row
        // the last pixel: black 1.
        {"G3 extended make-up", ccitt::kGroup3OneD, 1801, 1, "000000000001 00000001000 10011 010",
         [] { Bytes b(226, 0); b[225] = 0x80; return b; }()},
        // Tag bit 1: one-dimensional line (black 8); tag 0: V0 copies it.
        {"G3 2D tag bits", ccitt::kGroup3TwoD, 8, 2,
         "000000000001 1  00110101 000101  000000000001 0  1 1", {0xFF, 0xFF}},
        // Group 4: first line against white (horizontal white 2 black 3, then V0),
        // second line V0 V0 V0 (copy); the EOFB stops before row 3.
        {"G4 EOFB", ccitt::kGroup4, 8, 3,
         "001 0111 10 1   1 1 1   000000000001 000000000001 1 1", {0x38, 0x38, 0x00}},
        // Six EOLs end the page: the third row is never decoded.
        {"G3 RTC", ccitt::kGroup3OneD, 8, 3,
         "000000000001 00110101 011 1011   000000000001 000000000001 000000000001 000000000001 "
         "000000000001 000000000001  000000000001 00110101 000101",
         {0xF0, 0x00, 0x00}},
        // An invalid code (eight 0 bits and a 1 within two more 0 bits) makes
        // the line white; decoding resynchronises on the next EOL.
        {"G3 invalid code", ccitt::kGroup3OneD, 8, 2,
         "000000000001 0111 000000001 0000  000000000001 00110101 000101", {0x00, 0xFF}},
        // Vertical modes against a reference of one black run at 2..5.
        {"G4 vertical offsets", ccitt::kGroup4, 16, 2,
         "001 0111 011 1   011 010 1", {0x3C, 0x00, 0x18, 0x00}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeOne(c.coding, Bits(c.code), c.width, c.height), c.want) << c.name;
    }
}

TEST(CcittDecoder, LeastSignificantBitFirst) {
    // Group 4, width 8: horizontal white 0 (00110101) black 8 (000101): "001 00110101 000101".
    const Bytes msb = Bits("001 00110101 000101");
    Bytes lsb = msb;
    for (uint8_t& b : lsb) {
        uint8_t r = 0;
        for (int i = 0; i < 8; ++i)
            if (b & (1 << i)) r |= uint8_t(0x80 >> i);
        b = r;
    }
    EXPECT_EQ(DecodeOne(ccitt::kGroup4, msb, 8, 1), (Bytes{0xFF}));
    EXPECT_EQ(DecodeOne(ccitt::kGroup4, lsb, 8, 1, true), (Bytes{0xFF}));
}

TEST(CcittDecoder, PlaneLayout) {
    // Bottom-up rows at a 12-bit stride: decoded row 0 lands in the last plane
    // row; bits of neighbouring rows are left alone.
    const Bytes code = Bits("001 00110101 000101  001 0111 10 1");  // G4 width 8: FF then 38
    Bytes data(3, 0xFF);  // two rows of 12 bits
    ccitt::BitPlane plane;
    plane.data = data.data();
    plane.sizeBytes = data.size();
    plane.rowBits = 12;
    plane.rows = 2;
    plane.bottomUp = true;
    ccitt::StripResult r;
    ASSERT_TRUE(ccitt::DecodeStrip(ccitt::kGroup4, code.data(), code.size(), false, 8, 0, 2, plane, &r));
    EXPECT_EQ(r.rowsWritten, 2);
    // Plane row 0 (decoded row 1) = 0011 1000 then 4 untouched 1 bits; plane
    // row 1 (decoded row 0) = 1111 1111 then 4 untouched bits.
    EXPECT_EQ(data, (Bytes{0x38, 0xFF, 0xFF}));

    EXPECT_FALSE(ccitt::DecodeStrip(79, code.data(), code.size(), false, 8, 0, 2, plane));
    EXPECT_FALSE(ccitt::DecodeStrip(ccitt::kGroup4, code.data(), code.size(), false, 0, 0, 2, plane));
    plane.rows = 3;  // more rows than the bytes hold
    EXPECT_FALSE(ccitt::DecodeStrip(ccitt::kGroup4, code.data(), code.size(), false, 8, 0, 2, plane));
}

TEST(CcittDecoder, BytesThatEndBeforeTheRowsAreWholeAreReported) {
    // Two rows of width 8: all black, then 0011 1000 (or 0111 1111 in the
    // modified Huffman row). Every cut of the bytes before the second row is
    // whole, one inside that row too, is reported; a cut in the end of line
    // that follows it is not.
    const struct {
        int coding;
        Bytes code;
        size_t whole;  // bytes up to the end of the second row
        Bytes rows;
    } cases[] = {
        {ccitt::kGroup4, Bits("001 00110101 000101  000011 0000010 1"), 4, {0xFF, 0x38}},
        {ccitt::kGroup3OneD, Bits("000000000001 00110101 000101  000000000001 0111 10 1000  0000 0000 0000 1"), 6,
         {0xFF, 0x38}},
        {ccitt::kModifiedHuffman, Bits("00110101 000101 00  000111 00011"), 4, {0xFF, 0x7F}},
    };
    for (const auto& c : cases) {
        for (size_t n = 0; n <= c.code.size(); ++n) {
            SCOPED_TRACE("coding " + std::to_string(c.coding) + ", " + std::to_string(n) + " bytes");
            Bytes rows(2, 0xA5);
            ccitt::StripResult r;
            ASSERT_TRUE(ccitt::DecodeStripRows(c.coding, c.code.data(), n, false, 8, 2,
                                               [&](int64_t row, const uint8_t* bits) { rows[size_t(row)] = bits[0]; },
                                               &r));
            EXPECT_EQ(r.dataExhausted, n < c.whole);
            if (n >= c.whole) {
                EXPECT_EQ(rows, c.rows);
            }
        }
    }
}

TEST_F(CcittFixture, HostileDataStaysInBounds) {
    // Real strips with bytes flipped, cut short, decoded at the wrong width, and
    // plain noise: every call returns, and only the plane's bytes are written
    // (the sanitizer build checks the rest).
    std::mt19937 rng(1234);
    const StripFile files[] = {ReadStrips(Tiffcp("shapes.tif", "-c g3:1d", "h1.tif")),
                               ReadStrips(Tiffcp("shapes.tif", "-c g3:2d", "h2.tif")),
                               ReadStrips(Tiffcp("noise.tif", "-c g4", "h3.tif"))};
    const int codings[] = {ccitt::kGroup3OneD, ccitt::kGroup3TwoD, ccitt::kGroup4, ccitt::kModifiedHuffman};
    for (int round = 0; round < 60; ++round) {
        const StripFile& f = files[round % 3];
        Bytes data = f.strips.at(0);
        const int flips = 1 + round % 7;
        for (int k = 0; k < flips; ++k) data[rng() % data.size()] ^= uint8_t(1 + rng() % 255);
        if (round % 4 == 1) data.resize(data.size() / 2);
        if (round % 10 == 9) {
            for (uint8_t& b : data) b = uint8_t(rng());
        }
        const int64_t width = round % 5 == 0 ? 1 + rng() % 700 : f.width;
        Bytes plane((width + 7) / 8 * f.height + 16, 0xA5);
        ccitt::BitPlane p;
        p.data = plane.data();
        p.sizeBytes = plane.size() - 16;
        p.rowBits = (width + 7) / 8 * 8;
        p.rows = f.height;
        p.bottomUp = round % 2 == 0;
        ccitt::StripResult r;
        for (int coding : codings) {
            ASSERT_TRUE(ccitt::DecodeStrip(coding, data.data(), data.size(), round % 3 == 0, width, 0,
                                           f.height, p, &r));
            EXPECT_LE(r.rowsWritten, int64_t(f.height));
        }
        for (size_t i = plane.size() - 16; i < plane.size(); ++i) ASSERT_EQ(plane[i], 0xA5);
    }
    // Runs far longer than the row, zero-length runs and vertical modes that
    // step left of the line start.
    const Bytes wild = Bits("001 000000011111 000000011111 000000011111 0111 0000010 0000010 010 010 "
                            "001 00110101 0000110111 00110101 0000110111 0001 0001 0001");
    for (int width : {1, 2, 7, 64}) {
        for (int coding : codings) {
            const Bytes out = DecodeOne(coding, wild, width, 4);
            EXPECT_EQ(out.size(), size_t((width + 7) / 8 * 4));
        }
    }
    // Empty input decodes nothing.
    EXPECT_EQ(DecodeOne(ccitt::kGroup4, {}, 8, 2), (Bytes{0, 0}));
}

} // namespace
