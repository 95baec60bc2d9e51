// PCX through the decode entry points against pcxtoppm, and the parser on
// crafted headers.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/pcx_reader.h"
#include "thumbctl/kernel/tests/dib_view.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using testsupport::MagickPixels;
using testsupport::ReadBytes;
using testsupport::Shell;
using testsupport::TempDir;

namespace {

DibView Decode(const std::string& path, bool fromFile, int* error) {
    IPIHANDLE h = 0;
    *error = 0;
    if (fromFile) {
        DecodeImageFromFile(path.c_str(), &h, 1, DecodeFormatPcx, 0, nullptr, 0, error);
    } else {
        const std::vector<uint8_t> b = ReadBytes(path);
        DecodeImageFromMemory(b.data(), &h, 1, DecodeFormatPcx, 0, int64_t(b.size()), nullptr, 0, error);
    }
    return TakeDib(h);
}

TEST(PcxDecode, EveryKindEqualsPcxtoppm) {
    TempDir dir("pcx");
    struct Case {
        const char* make;     // ImageMagick options for the source picture
        const char* options;  // ppmtopcx options
        int mode;
        int bits;  // DIB depth
    } cases[] = {
        {"-monochrome", "", 1, 1},
        {"-colors 9 +dither", "", 2, 4},
        {"-colors 200", "-8bit", 3, 8},
        {"", "-24bit", 4, 24},
    };
    for (const Case& c : cases) {
        for (int w : {37, 64}) {
            const std::string src = dir.file("s.ppm"), pcx = dir.file("a.pcx");
            Shell("convert -size " + std::to_string(w) + "x29 -seed 8 plasma:navy-orange " + c.make +
                  " -depth 8 ppm:" + src);
            // (the tools chat on standard error, which Shell merges into the output)
            Shell(std::string("(ppmtopcx ") + c.options + " " + src + " 2>/dev/null) > " + pcx);
            Shell("(pcxtoppm " + pcx + " 2>/dev/null) > " + dir.file("r.ppm"));
            const std::vector<uint8_t> bytes = ReadBytes(pcx);
            PcxInfo info;
            ASSERT_EQ(PcxParse(bytes.data(), bytes.size(), &info), 0) << c.options << " width " << w << " bytes " << bytes.size();
            ASSERT_EQ(info.mode, c.mode) << c.make << " " << c.options;
            int error = 0;
            const DibView mem = Decode(pcx, false, &error);
            ASSERT_EQ(error, 0) << c.options;
            EXPECT_EQ(mem.bits, c.bits);
            EXPECT_EQ(mem.rgb, MagickPixels(dir.file("r.ppm"), "rgb")) << c.make << " width " << w;
            // The file path gives the very same bitmap.
            const DibView file = Decode(pcx, true, &error);
            ASSERT_EQ(error, 0);
            EXPECT_EQ(file.rgb, mem.rgb);
        }
    }
}

std::vector<uint8_t> Header(int bpp, int planes, int w, int h, int bpl) {
    std::vector<uint8_t> d(128, 0);
    d[0] = 10, d[1] = 5, d[2] = 1, d[3] = uint8_t(bpp);
    d[8] = uint8_t(w - 1), d[9] = uint8_t((w - 1) >> 8), d[10] = uint8_t(h - 1), d[11] = uint8_t((h - 1) >> 8);
    d[65] = uint8_t(planes);
    d[66] = uint8_t(bpl), d[67] = uint8_t(bpl >> 8);
    d[68] = 2;
    return d;
}

TEST(PcxParse, HeadersRunsAndLimits) {
    PcxInfo info;
    std::vector<uint8_t> d = Header(4, 1, 10, 1, 6);
    EXPECT_EQ(PcxParse(d.data(), d.size(), &info), ipiErrSemanticalError);
    d = Header(2, 2, 10, 1, 6);
    EXPECT_EQ(PcxParse(d.data(), d.size(), &info), ipiErrSyntacticalError);
    d = Header(8, 1, 10, 1, 10);
    d[0] = 11;
    EXPECT_EQ(PcxParse(d.data(), d.size(), &info), ipiErrSyntacticalError);

    // A run of 63 that passes the end of the first line fills the next one;
    // palette information 2 gives no palette.
    d = Header(8, 1, 40, 2, 40);
    d.push_back(0xFF), d.push_back(7);  // 63 x 7
    d.push_back(0xD1), d.push_back(9);  // 17 x 9
    ASSERT_EQ(PcxParse(d.data(), d.size(), &info), 0);
    EXPECT_EQ(info.dataSize, 4u);
    EXPECT_EQ(info.paletteEntries, 0);
    std::vector<uint8_t> lines;
    ASSERT_EQ(PcxExpand(d.data() + 128, info.dataSize, 40, 2, &lines), 0);
    EXPECT_EQ(lines[39], 7);
    EXPECT_EQ(lines[62], 7);
    EXPECT_EQ(lines[63], 9);
    // Data that stops short is refused, never read past its end.
    d.resize(d.size() - 1);
    EXPECT_EQ(PcxParse(d.data(), d.size(), &info), ipiErrSyntacticalError);
    EXPECT_EQ(PcxExpand(d.data() + 128, 3, 40, 2, &lines), ipiErrSyntacticalError);
    // A 256-colour picture whose palette is missing.
    d = Header(8, 1, 2, 1, 2);
    d[68] = 1;
    d.push_back(1), d.push_back(2), d.push_back(12);
    EXPECT_EQ(PcxParse(d.data(), d.size(), &info), ipiErrSyntacticalError);
}

TEST(PcxDecode, BytesPerLineMustFitTheWidth) {
    TempDir dir("pcx");
    for (int bpl : {161, 162, 160}) {
        std::vector<uint8_t> d = Header(8, 1, 161, 1, bpl);
        for (int n = bpl; n > 0; n -= 63) d.push_back(uint8_t(0xC0 | std::min(63, n))), d.push_back(5);
        testsupport::WriteBytes(dir.file("b.pcx"), d);
        int error = 0;
        const DibView v = Decode(dir.file("b.pcx"), false, &error);
        EXPECT_EQ(error, bpl == 160 ? 22 : 0) << bpl;
    }
}

// A line one byte short of the width used to pass the "rounded up to even"
// check: each row then took its last pixels from the next row and the last
// row read past the expanded lines. Every kind must refuse it.
TEST(PcxDecode, LinesShorterThanTheWidthAreRefusedInEveryKind) {
    TempDir dir("pcx");
    struct Case {
        int bpp, planes, width, bpl, error;
    } cases[] = {
        {8, 1, 162, 161, 22}, {8, 1, 162, 162, 0}, {8, 1, 161, 161, 0}, {8, 1, 161, 162, 0},
        {8, 3, 162, 161, 22}, {8, 3, 161, 161, 0}, {8, 3, 4, 3, 22},
        {1, 1, 9, 1, 22},     {1, 1, 9, 2, 0},     {1, 1, 16, 1, 22},  {1, 1, 8, 1, 0},
        {1, 4, 9, 1, 22},     {1, 4, 9, 2, 0},     {1, 4, 16, 1, 22},
    };
    for (const Case& c : cases) {
        const int height = 3;
        std::vector<uint8_t> d = Header(c.bpp, c.planes, c.width, height, c.bpl);
        for (int i = 0; i < c.planes * c.bpl * height; ++i) d.push_back(0xC1), d.push_back(uint8_t(i * 37));
        const std::string path = dir.file("short.pcx");
        testsupport::WriteBytes(path, d);
        for (bool fromFile : {false, true}) {
            int error = 0;
            const DibView v = Decode(path, fromFile, &error);
            EXPECT_EQ(error, c.error) << c.bpp << "x" << c.planes << " width " << c.width << " bpl " << c.bpl;
            if (c.error == 0) {
                EXPECT_EQ(v.width, c.width);
            }
        }
    }
}

// A run that passes a line's end goes on at the start of the next line, in
// the decoded picture as in the parser's count.
TEST(PcxDecode, ARunCarriesOnIntoTheNextLine) {
    std::vector<uint8_t> d = Header(8, 1, 40, 2, 40);
    d.insert(d.end(), {0xFF, 7, 0xD1, 9});  // 63 x 7, then 17 x 9
    int error = -5;
    IPIHANDLE h = 0;
    ASSERT_EQ(DecodeImageFromMemory(d.data(), &h, 1, DecodeFormatPcx, 0, int64_t(d.size()), nullptr, 0, &error), 1);
    const DibView v = TakeDib(h);
    ASSERT_EQ(v.bits, 8);
    // The first line: forty 7s; the second: twenty-three 7s, then seventeen 9s.
    std::vector<uint8_t> want(63, 7);
    want.resize(80, 9);
    // Stored bottom row first: the second line, then the first.
    std::vector<uint8_t> lines(v.stored.begin() + 40, v.stored.end());
    lines.insert(lines.end(), v.stored.begin(), v.stored.begin() + 40);
    EXPECT_EQ(lines, want);
}

// The colour table of the bitmap a PCX decodes to (B, G, R, 0 per entry);
// empty when it is refused.
std::vector<uint8_t> DecodedTable(const std::vector<uint8_t>& pcx, int* error) {
    IPIHANDLE h = 0;
    *error = 0;
    DecodeImageFromMemory(pcx.data(), &h, 1, DecodeFormatPcx, 0, int64_t(pcx.size()), nullptr, 0, error);
    std::vector<uint8_t> table;
    if (h) {
        IpiGlobalLock lock(h);
        const uint32_t colours = ipiLe32(lock.ptr() + 32);
        table.assign(lock.ptr() + 40, lock.ptr() + 40 + 4 * colours);
    }
    if (h) ipiGlobalFree(h);
    return table;
}

// The colours of a picture are the ones its file gives: a 256-colour table
// only behind its marker byte 12 (right after the run-length data, or at
// the very end with only zeros between), and a two-colour header table that writers left all zero
// is black and white.
TEST(PcxDecode, TheColourTableIsTheOneTheFileGives) {
    std::vector<uint8_t> table = {12};
    for (int i = 0; i < 256; ++i) table.insert(table.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    std::vector<uint8_t> want;  // as the bitmap holds it: blue, green, red, 0
    for (int i = 0; i < 256; ++i) want.insert(want.end(), {uint8_t(i / 2), uint8_t(255 - i), uint8_t(i), 0});
    // 4 x 2 pixels: a run of four 5s, then the literals 1 2 3 4.
    auto eightBit = [&](const std::vector<uint8_t>& data, size_t gap, uint8_t marker) {
        std::vector<uint8_t> d = Header(8, 1, 4, 2, 4);
        d[68] = 1;
        d.insert(d.end(), data.begin(), data.end());
        d.insert(d.end(), gap, 0);
        d.insert(d.end(), table.begin(), table.end());
        d[d.size() - 769] = marker;
        return d;
    };
    const std::vector<uint8_t> runs = {0xC4, 5, 1, 2, 3, 4};
    const std::vector<uint8_t> oneShort = {0xC3, 5, 1, 2, 3, 4};  // a run count one short
    const std::vector<uint8_t> oneLong = {0xC5, 5, 1, 2, 3, 4};   // and one long
    std::vector<uint8_t> blackAndWhite = {0, 0, 0, 0, 255, 255, 255, 0};
    std::vector<uint8_t> redAndBlue = {0, 0, 255, 0, 255, 0, 0, 0};
    auto oneBit = [](uint8_t r0, uint8_t b1) {
        std::vector<uint8_t> d = Header(1, 1, 8, 1, 2);
        d[16] = r0, d[21] = b1;  // entry 0 red r0, entry 1 blue b1
        d.insert(d.end(), {0xC1, 0xF0, 0xC1, 0x0F});
        return d;
    };
    const struct {
        const char* what;
        std::vector<uint8_t> pcx;
        int error;
        std::vector<uint8_t> table;
    } cases[] = {
        {"table right after the data", eightBit(runs, 0, 12), 0, want},
        {"table at the end, zeros between", eightBit(runs, 9, 12), 0, want},
        {"no marker before the table", eightBit(runs, 0, 11), 22, {}},
        // The data then takes the marker for a pixel and runs into the table.
        {"a run count one short", eightBit(oneShort, 0, 12), 22, {}},
        // The data then ends a byte early, the last literal left over before
        // the table: every pixel after the run would be shifted.
        {"a run count one long", eightBit(oneLong, 0, 12), 22, {}},
        {"a run count one long, zeros before the table", eightBit(oneLong, 9, 12), 22, {}},
        {"two colours left zero", oneBit(0, 0), 0, blackAndWhite},
        {"two colours given", oneBit(255, 255), 0, redAndBlue},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int error = -5;
        const std::vector<uint8_t> got = DecodedTable(c.pcx, &error);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(got, c.table);
    }
}

}  // namespace

namespace {

// An 8-bit PCX of 96 x 64 with its 256-colour table, coded as writers code
// it: a run for every repeated byte (and for a byte with both top bits set),
// a literal for the rest. Rows of short runs and single levels.
std::vector<uint8_t> EightBitPcx(std::vector<size_t>* runStarts) {
    const int w = 96, h = 64;
    std::vector<uint8_t> d = Header(8, 1, w, h, w);
    d[68] = 1;
    for (int y = 0; y < h; ++y) {
        std::vector<uint8_t> line(static_cast<size_t>(w), 0);
        for (int x = 0; x < w; ++x) line[size_t(x)] = uint8_t(((x / (1 + y % 5)) * 7 + y * 3) & 0xFF);
        for (size_t x = 0; x < line.size();) {
            size_t n = 1;
            while (x + n < line.size() && n < 63 && line[x + n] == line[x]) ++n;
            if (n > 1 || line[x] >= 0xC0) {
                runStarts->push_back(d.size());
                d.insert(d.end(), {uint8_t(0xC0 | n), line[x]});
            } else {
                d.push_back(line[x]);
            }
            x += n;
        }
    }
    d.push_back(12);
    for (int i = 0; i < 256; ++i) d.insert(d.end(), {uint8_t(i), uint8_t(i), uint8_t(255 - i)});
    return d;
}

DibView FromMemory(const std::vector<uint8_t>& b, int* error) {
    IPIHANDLE h = 0;
    *error = 0;
    DecodeImageFromMemory(b.data(), &h, 1, DecodeFormatPcx, 0, int64_t(b.size()), nullptr, 0, error);
    return TakeDib(h);
}

}  // namespace

// Damage is never shown as a picture: a changed run count moves every pixel
// after it, so the data no longer ends where the table begins (or a run
// passes the end of the picture's data); such a file is refused. A changed
// byte anywhere in the run-length data is refused or changes at most the
// pixels of one run, never shifts the picture.
TEST(PcxDecode, AChangedRunIsRefusedNeverAShiftedPicture) {
    std::vector<size_t> runs;
    const std::vector<uint8_t> good = EightBitPcx(&runs);
    int error = -5;
    const DibView want = FromMemory(good, &error);
    ASSERT_EQ(error, 0);
    ASSERT_EQ(want.width * want.height, 6144);
    ASSERT_GT(runs.size(), 100u);
    for (size_t at : runs) {
        for (int step : {-1, 1}) {
            const int count = (good[at] & 0x3F) + step;
            if (count < 1 || count > 63) continue;
            std::vector<uint8_t> bad = good;
            bad[at] = uint8_t(0xC0 | count);
            FromMemory(bad, &error);
            EXPECT_EQ(error, 22) << "run at " << at << " count " << count;
        }
    }
    const size_t dataEnd = good.size() - 769;
    int shifted = 0, refused = 0;
    for (size_t at = 128; at < dataEnd; at += 3) {
        for (uint8_t flip : {uint8_t(0x01), uint8_t(0x40), uint8_t(0xC0)}) {
            std::vector<uint8_t> bad = good;
            bad[at] ^= flip;
            const DibView got = FromMemory(bad, &error);
            if (error != 0) {
                ++refused;
                continue;
            }
            ASSERT_EQ(got.rgb.size(), want.rgb.size());
            int differ = 0;
            for (size_t i = 0; i < want.rgb.size(); i += 3)
                differ += !std::equal(want.rgb.begin() + long(i), want.rgb.begin() + long(i) + 3, got.rgb.begin() + long(i));
            if (differ > 63) ++shifted;
            EXPECT_LE(differ, 63) << "byte " << at << " ^ " << int(flip);
        }
    }
    EXPECT_EQ(shifted, 0);
    EXPECT_GT(refused, 0);
}
