// BMP / DIB decoding through the decode entry points, against ImageMagick's
// reading of the same files, and with hostile input.
#include "testsupport/testsupport.h"
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi_dib.h"
#include "thumbctl/kernel/ipi_memory.h"
#include "thumbctl/kernel/tests/dib_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

using testsupport::MagickPixels;
using testsupport::ReadBytes;
using testsupport::Shell;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

std::vector<uint8_t> BlockBytes(IPIHANDLE h)
{
    IpiGlobalLock lock(h);
    return std::vector<uint8_t>(lock.ptr(), lock.ptr() + lock.size());
}

// Top-down RGB pixels of a packed DIB; empty unless it is a clean one.
std::vector<uint8_t> DibToRgb(const std::vector<uint8_t>& d)
{
    return ViewDibBytes(d.data(), int64_t(d.size())).rgb;
}

struct Decoded {
    int count = 0;
    int error = 0;
    std::vector<uint8_t> dib;
};

Decoded DecodeFile(const std::string& path)
{
    Decoded r;
    IPIHANDLE h = 0;
    r.count = DecodeImageFromFile(path.c_str(), &h, 1, DecodeFormatBmp, 0, nullptr, 0, &r.error);
    if (r.count == 1) {
        r.dib = BlockBytes(h);
        ipiGlobalFree(h);
    }
    EXPECT_EQ(h == 0, r.count == 0);
    return r;
}

Decoded DecodeMemory(const std::vector<uint8_t>& bytes)
{
    Decoded r;
    IPIHANDLE h = 0;
    r.count = DecodeImageFromMemory(bytes.data(), &h, 1, DecodeFormatBmp, 0, int64_t(bytes.size()), nullptr, 0,
                                    &r.error);
    if (r.count == 1) {
        r.dib = BlockBytes(h);
        ipiGlobalFree(h);
    }
    return r;
}

void Put16(std::vector<uint8_t>& v, size_t at, uint32_t x) { ipiPutLe16(&v[at], x); }
void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) { ipiPutLe32(&v[at], x); }

// A BMP with a 40-byte header around given pixel bytes.
std::vector<uint8_t> MakeBmp(int w, int h, int bpp, int compression, const std::vector<uint8_t>& table,
                             const std::vector<uint8_t>& pixels)
{
    std::vector<uint8_t> f(54 + table.size() + pixels.size(), 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 2, uint32_t(f.size()));
    Put32(f, 10, uint32_t(54 + table.size()));
    Put32(f, 14, 40);
    Put32(f, 18, uint32_t(w));
    Put32(f, 22, uint32_t(h));
    Put16(f, 26, 1);
    Put16(f, 28, uint32_t(bpp));
    Put32(f, 30, uint32_t(compression));
    Put32(f, 34, compression ? uint32_t(pixels.size()) : 0);
    Put32(f, 46, uint32_t(table.size() / 4));
    std::copy(table.begin(), table.end(), f.begin() + 54);
    std::copy(pixels.begin(), pixels.end(), f.begin() + 54 + long(table.size()));
    return f;
}

class BmpFixtures : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir("kbmp");
        const std::string src = dir_->file("src.png");
        Shell("convert -size 37x23 plasma:fractal -seed 7 '" + src + "'");
        auto make = [&](const std::string& name, const std::string& args) {
            Shell("convert '" + src + "' " + args + "'" + dir_->file(name) + "'");
        };
        make("m1.bmp", "-monochrome BMP3:");
        make("c4.bmp", "-colors 16 -compress none BMP3:");
        make("c8.bmp", "-colors 200 -compress none BMP3:");
        make("rle8.bmp", "-colors 200 -compress RLE BMP3:");
        make("t24.bmp", "-compress none BMP3:");
        make("v5_24.bmp", "-compress none BMP:");      // 124-byte header
        make("v5_4.bmp", "-colors 16 -compress none BMP:");

        // 16-bit 5-5-5 and 32-bit, uncompressed, by hand.
        std::mt19937 rng(3);
        const int w = 13, h = 9;
        std::vector<uint8_t> p16(size_t(ipiBmpStride(w, 16) * h), 0), p32(size_t(4 * w * h), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                Put16(p16, size_t(y * ipiBmpStride(w, 16) + 2 * x), rng() & 0xFFFF);
                for (int k = 0; k < 4; ++k) p32[size_t(4 * (y * w + x) + k)] = uint8_t(rng());
            }
        WriteBytes(dir_->file("s16.bmp"), MakeBmp(w, h, 16, 0, {}, p16));
        WriteBytes(dir_->file("s32.bmp"), MakeBmp(w, h, 32, 0, {}, p32));

        // RLE4 by hand: encoded runs, an absolute run, a delta and an early end.
        std::vector<uint8_t> table(64, 0);
        for (int i = 0; i < 16; ++i) table[size_t(4 * i)] = table[size_t(4 * i + 1)] = table[size_t(4 * i + 2)] = uint8_t(i * 17);
        std::vector<uint8_t> rle = {
            0x04, 0x12, 0x00, 0x05, 0x34, 0x56, 0x70, 0x00, 0x01, 0xF0, 0x00, 0x00,  // row 0: 1 2 1 2 3 4 5 6 7 F
            0x00, 0x02, 0x03, 0x01,                                                  // delta right 3, up 1
            0x03, 0xAB, 0x00, 0x00,                                                  // row 2 from x=3: A B A
            0x0A, 0x99, 0x00, 0x00,                                                  // row 3: ten 9s
            0x00, 0x01,
        };
        WriteBytes(dir_->file("rle4.bmp"), MakeBmp(10, 4, 4, 2, table, rle));
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string F(const std::string& n) { return dir_->file(n); }
    static TempDir* dir_;
};

TempDir* BmpFixtures::dir_ = nullptr;

TEST_F(BmpFixtures, DecodesEqualToImageMagick)
{
    for (const char* name : {"m1.bmp", "c4.bmp", "c8.bmp", "rle8.bmp", "t24.bmp", "v5_24.bmp", "v5_4.bmp", "s16.bmp",
                             "s32.bmp", "rle4.bmp"}) {
        SCOPED_TRACE(name);
        Decoded d = DecodeFile(F(name));
        ASSERT_EQ(d.count, 1) << "error " << d.error;
        std::vector<uint8_t> expected = MagickPixels(F(name), "rgb");
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(DibToRgb(d.dib), expected);
    }
}

TEST_F(BmpFixtures, HandBuiltRle4RowsAndDelta)
{
    Decoded d = DecodeFile(F("rle4.bmp"));
    ASSERT_EQ(d.count, 1);
    IpiDibLayout l;
    ASSERT_TRUE(ipiIsCleanPackedDib(d.dib.data(), int64_t(d.dib.size()), &l));
    EXPECT_EQ(l.bitsPerPixel, 4);
    auto px = [&](int x, int yFromBottom) {
        const uint8_t* row = d.dib.data() + l.headerBytes + yFromBottom * l.stride;
        return x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4;
    };
    const int row0[10] = {1, 2, 1, 2, 3, 4, 5, 6, 7, 15};
    for (int x = 0; x < 10; ++x) EXPECT_EQ(px(x, 0), row0[x]) << x;
    // The delta after the first end of line skips row 1 and moves right 3.
    for (int x = 0; x < 10; ++x) EXPECT_EQ(px(x, 1), 0) << x;
    const int row2[10] = {0, 0, 0, 10, 11, 10, 0, 0, 0, 0};
    for (int x = 0; x < 10; ++x) EXPECT_EQ(px(x, 2), row2[x]) << x;
    for (int x = 0; x < 10; ++x) EXPECT_EQ(px(x, 3), 9);
}

TEST_F(BmpFixtures, PlainBmpPassesThroughAndFileEqualsMemory)
{
    std::vector<uint8_t> bytes = ReadBytes(F("c8.bmp"));
    Decoded m = DecodeMemory(bytes);
    ASSERT_EQ(m.count, 1);
    EXPECT_EQ(m.dib, std::vector<uint8_t>(bytes.begin() + 14, bytes.end()));
    for (const char* name : {"m1.bmp", "c4.bmp", "rle8.bmp", "v5_24.bmp", "s16.bmp", "rle4.bmp"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(DecodeFile(F(name)).dib, DecodeMemory(ReadBytes(F(name))).dib);
    }
}

TEST_F(BmpFixtures, ColourTableOfLongHeaderIsTakenAfterTheHeader)
{
    // The 124-byte header puts the table at 14 + 124; a fixed offset of 54
    // would read header bytes as colours.
    Decoded d = DecodeFile(F("v5_4.bmp"));
    ASSERT_EQ(d.count, 1);
    EXPECT_EQ(DibToRgb(d.dib), MagickPixels(F("v5_4.bmp"), "rgb"));
    EXPECT_EQ(ipiLe32(d.dib.data()), 40u);
}

TEST_F(BmpFixtures, TruncatedAndCorruptFilesGiveAnErrorOrACleanDib)
{
    const int liveBefore = ipiGlobalLiveCount();
    std::mt19937 rng(11);
    for (const char* name : {"m1.bmp", "c4.bmp", "c8.bmp", "rle8.bmp", "t24.bmp", "v5_4.bmp", "s16.bmp", "s32.bmp",
                             "rle4.bmp"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> good = ReadBytes(F(name));
        std::vector<std::vector<uint8_t>> cases;
        for (size_t n = 0; n < good.size(); n += 1 + good.size() / 60) cases.emplace_back(good.begin(), good.begin() + n);
        for (int i = 0; i < 150; ++i) {
            std::vector<uint8_t> bad = good;
            int flips = 1 + int(rng() % 4);
            for (int k = 0; k < flips; ++k) {
                size_t at = rng() % std::min<size_t>(bad.size(), 80 + (rng() % 2) * bad.size());
                bad[at] = uint8_t(rng());
            }
            cases.push_back(bad);
        }
        for (const auto& bytes : cases) {
            Decoded d = DecodeMemory(bytes);
            if (d.count == 0) {
                EXPECT_NE(d.error, 0);
                continue;
            }
            EXPECT_EQ(d.error, 0);
            EXPECT_TRUE(ipiIsCleanPackedDib(d.dib.data(), int64_t(d.dib.size()), nullptr));
        }
    }
    EXPECT_EQ(ipiGlobalLiveCount(), liveBefore);
}

// A 4-bit picture 9 pixels wide: each row holds 4.5 bytes of pixels and
// is padded to 8, in the file and in the bitmap. With a 124-byte header the
// file is not a bitmap as it stands, so its rows are read and written again:
// the file's padding (garbage here) and the unused low nibble become 0.
TEST(BmpDecode, FourBitRowsOfOddWidthArePadded)
{
    std::vector<uint8_t> table(64, 0);
    for (int i = 0; i < 16; ++i) table[size_t(4 * i)] = uint8_t(i), table[size_t(4 * i + 2)] = uint8_t(16 * i);
    std::vector<uint8_t> rows;  // bottom row first, as stored
    for (int y = 0; y < 3; ++y) {
        for (int k = 0; k < 4; ++k) rows.push_back(uint8_t(((2 * k + y) & 15) << 4 | ((2 * k + 1 + y) & 15)));
        rows.insert(rows.end(), {uint8_t(((8 + y) & 15) << 4 | 0xD), 0xEE, 0xEE, 0xEE});
    }
    std::vector<uint8_t> f = MakeBmp(9, 3, 4, 0, {}, {});
    f.resize(14 + 124, 0);
    Put32(f, 14, 124);
    Put32(f, 46, 16);
    Put32(f, 10, uint32_t(14 + 124 + 64));
    f.insert(f.end(), table.begin(), table.end());
    f.insert(f.end(), rows.begin(), rows.end());
    Put32(f, 2, uint32_t(f.size()));
    const Decoded d = DecodeMemory(f);
    ASSERT_EQ(d.count, 1) << d.error;
    const DibView v = ViewDibBytes(d.dib.data(), int64_t(d.dib.size()));
    ASSERT_EQ(v.width, 9);
    ASSERT_EQ(v.bits, 4);
    std::vector<uint8_t> want = rows;
    for (size_t row = 0; row < 3; ++row) {
        want[8 * row + 4] &= 0xF0;
        std::fill(want.begin() + long(8 * row + 5), want.begin() + long(8 * row + 8), 0);
    }
    EXPECT_EQ(v.stored, want);
    for (int x = 0; x < 9; ++x)  // the top row is the file's last: values 2 + x
        EXPECT_EQ(v.rgb[size_t(3 * x)], 16 * ((2 + x) & 15)) << x;
}

TEST(BmpDecode, RefusesWhatItCannotRead)
{
    std::vector<uint8_t> px(8, 0);
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        int error;
    } cases[] = {
        {"top-down", MakeBmp(2, -2, 24, 0, {}, px), 22},
        {"bit fields", MakeBmp(2, 2, 16, 3, {}, px), 22},
        {"RLE8 code on 4 bits", MakeBmp(2, 2, 4, 1, std::vector<uint8_t>(64), px), 22},
        {"RLE4 code on 8 bits", MakeBmp(2, 2, 8, 2, std::vector<uint8_t>(1024), px), 22},
        {"zero width", MakeBmp(0, 2, 24, 0, {}, px), 22},
        {"depth 2", MakeBmp(2, 2, 2, 0, {}, px), 22},
        {"huge", MakeBmp(1 << 30, 1 << 30, 24, 0, {}, px), 22},
        {"not BM", std::vector<uint8_t>(60, 'x'), 22},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Decoded d = DecodeMemory(c.bytes);
        EXPECT_EQ(d.count, 0);
        EXPECT_EQ(d.error, c.error);
    }
    IPIHANDLE h = 123;
    int error = 0;
    std::vector<uint8_t> ok = MakeBmp(2, 2, 24, 0, {}, px);
    EXPECT_EQ(DecodeImageFromMemory(ok.data(), &h, 1, 7, 0, 0, nullptr, 0, &error), 0);
    EXPECT_EQ(error, 22);  // zero size
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(DecodeImageFromMemory(ok.data(), &h, 1, 99, 0, int64_t(ok.size()), nullptr, 0, &error), 0);
    EXPECT_EQ(error, -100);
    EXPECT_EQ(DecodeImageFromMemory(ok.data(), &h, 0, 7, 0, int64_t(ok.size()), nullptr, 0, &error), 0);
    EXPECT_EQ(error, -100);
    EXPECT_EQ(DecodeImageFromFile("/nonexistent/x.bmp", &h, 1, 7, 0, nullptr, 0, &error), 0);
    EXPECT_EQ(error, 25);
}

// Pipes and devices are refused at once in every format; a BMP padded far
// past the kernel's size cap is read as far as its headers declare.
TEST(BmpDecode, SpecialAndPaddedFiles)
{
    TempDir dir("kernel-special");
    testsupport::HangGuard guard;
    testsupport::MakeFifo(dir.file("pipe"));
    for (const std::string& special : {dir.file("pipe"), std::string("/dev/zero")}) {
        for (int format : {DecodeFormatBmp, DecodeFormatTiff, DecodeFormatJpeg, DecodeFormatPng, DecodeFormatPcx}) {
            IPIHANDLE h = 0;
            int error = 0;
            EXPECT_EQ(DecodeImageFromFile(special.c_str(), &h, 1, format, 0, nullptr, 0, &error), 0);
            EXPECT_EQ(error, 25) << special << " " << format;
        }
        int error = 0;
        EXPECT_EQ(CountPagesInFile(special.c_str(), DecodeFormatTiff, nullptr, 0, &error), 0);
        EXPECT_NE(error, 0) << special;
        IPIHANDLE whole = ReadFileToGlobal(special.c_str(), &error);
        EXPECT_EQ(whole, 0u);
        EXPECT_EQ(error, 25) << special;
    }
    std::vector<uint8_t> px(3 * 4 * 5);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i * 11);
    const std::vector<uint8_t> bmp = MakeBmp(5, 3, 24, 0, {}, px);
    WriteBytes(dir.file("plain.bmp"), bmp);
    testsupport::MakeSparseFile(dir.file("padded.bmp"), bmp, int64_t(2) << 30);
    const Decoded plain = DecodeFile(dir.file("plain.bmp"));
    const Decoded padded = DecodeFile(dir.file("padded.bmp"));
    ASSERT_EQ(plain.count, 1);
    EXPECT_EQ(padded.count, 1);
    EXPECT_EQ(padded.error, 0);
    EXPECT_EQ(padded.dib, plain.dib);
}

TEST(BmpDecode, PageCounts)
{
    int error = 0;
    EXPECT_EQ(CountPagesInFile("/nonexistent.gif", DecodeFormatGif, nullptr, 0, &error), 1);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(CountPagesInFile("/nonexistent.png", DecodeFormatPng, nullptr, 0, &error), 0);
    EXPECT_EQ(error, -100);
    const uint8_t zeroIfd[] = {'I', 'I', 42, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(CountPagesInMemory(zeroIfd, DecodeFormatTiff, sizeof(zeroIfd), nullptr, 0, &error), 0);
    EXPECT_EQ(error, 0);
    // One directory whose next-offset lies past the end of the data.
    const uint8_t cut[] = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(CountPagesInMemory(cut, DecodeFormatTiff, sizeof(cut), nullptr, 0, &error), 0);
    EXPECT_EQ(error, 8);
    // Two directories that point at each other count once each.
    std::vector<uint8_t> loop(40, 0);
    loop[0] = loop[1] = 'I';
    loop[2] = 42;
    loop[4] = 8;
    loop[10] = 20;  // IFD at 8: 0 entries, next 20
    loop[22] = 8;   // IFD at 20: 0 entries, next 8
    EXPECT_EQ(CountPagesInMemory(loop.data(), DecodeFormatTiff, int64_t(loop.size()), nullptr, 0, &error), 2);
}

} // namespace
