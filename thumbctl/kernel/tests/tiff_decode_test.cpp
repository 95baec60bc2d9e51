// TIFF through the decode entry points: files written by libtiff (tiffcp) in
// every layout and coding the kernel reads must give bitmaps equal to
// ImageMagick's reading; damaged and unsupported files fail cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>
#include <string>
#include <vector>

#include "testsupport/testsupport.h"
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/ipi_memory.h"
#include "thumbctl/kernel/tests/dib_view.h"
#include "thumbctl/kernel/tiff_format.h"

#ifdef SORVANTA_HAVE_STRANDEL
#include "tifflib/strandel.h"
#endif

namespace {

using Bytes = std::vector<uint8_t>;

// Decodes one page of a file; the bitmap, or an empty one with the error.
DibView DecodePage(const std::string& path, int page, int* error) {
    IPIHANDLE h = 0;
    *error = 0;
    const int n = DecodeImageFromFile(path.c_str(), &h, 1, DecodeFormatTiff, page, nullptr, 0, error);
    if (n != 1) {
        EXPECT_EQ(h, 0u);
        return DibView{};
    }
    return TakeDib(h);
}

int MaxDifference(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size()) return 256;
    int m = 0;
    for (size_t i = 0; i < a.size(); ++i) m = std::max(m, std::abs(int(a[i]) - int(b[i])));
    return m;
}

class TiffDecode : public ::testing::Test {
protected:
    std::string Run(const std::string& command, int* code = nullptr) {
        int rc = 0;
        const std::string log = testsupport::Shell(command, &rc);
        if (code) *code = rc;
        else EXPECT_EQ(rc, 0) << command << "\n" << log;
        return log;
    }
    std::string Make(const std::string& name, const std::string& recipe) {
        const std::string path = dir.file(name);
        Run("convert " + recipe + " -compress none '" + path + "'");
        return path;
    }
    std::string Tiffcp(const std::string& in, const std::string& options, const std::string& name) {
        const std::string out = dir.file(name);
        Run("tiffcp " + options + " '" + in + "' '" + out + "'");
        return out;
    }
    testsupport::TempDir dir{"tiffdecode"};
};

TEST_F(TiffDecode, LibtiffVariantsMatchImageMagick) {
    const std::string art = "-size 37x23 gradient:navy-orange -fill white -draw 'circle 18,11 25,15' "
                            "-fill black -draw 'line 0,22 36,0'";
    struct Source {
        const char* name;
        std::string recipe;
        int bits;
        std::vector<std::string> variants;
    };
    const std::vector<std::string> common = {"-c none", "-c packbits", "-B", "-c none -r 7", "-B -c packbits -r 5",
                                             "-f lsb2msb", "-f lsb2msb -c packbits -r 3"};
    const Source sources[] = {
        {"grey8.tif", art + " -colorspace gray -depth 8 -type grayscale", 8, common},
        {"palette8.tif", art + " -colors 200 -type palette -depth 8", 8, common},
        {"grey4.tif", art + " -colorspace gray -depth 4 -type grayscale", 4, common},
        {"rgb.tif", art + " -type truecolor -depth 8", 24, common},
        {"bilevel.tif", art + " -colorspace gray -threshold 50% -type bilevel -depth 1", 1,
         {"-c none", "-c packbits", "-B -r 7", "-f lsb2msb", "-c g3:1d", "-c g3:2d", "-c g4", "-c g3:1d:fill -r 5",
          "-c g3:2d -r 4 -B", "-c g4 -f lsb2msb -r 9", "-c g4 -f lsb2msb"}},
    };
    int v = 0;
    for (const Source& s : sources) {
        const std::string src = Make(s.name, s.recipe);
        const Bytes want = testsupport::MagickPixels(src, "rgb");
        ASSERT_EQ(want.size(), 37u * 23u * 3u) << s.name;
        for (const std::string& options : s.variants) {
            SCOPED_TRACE(std::string(s.name) + " " + options);
            const std::string path = Tiffcp(src, options, "v" + std::to_string(v++) + ".tif");
            int error = -2;
            const DibView d = DecodePage(path, 0, &error);
            ASSERT_EQ(error, 0);
            EXPECT_EQ(d.width, 37);
            EXPECT_EQ(d.height, 23);
            EXPECT_EQ(d.bits, s.bits);
            EXPECT_EQ(d.rgb, want);
        }
    }
}

TEST_F(TiffDecode, FivePagesCountedAndDecodedOneByOne) {
    std::string inputs;
    std::vector<Bytes> want;
    const char* looks[] = {"-type grayscale -depth 8", "-type bilevel -depth 1", "-type truecolor -depth 8",
                           "-colors 9 -type palette -depth 4", "-type grayscale -depth 8"};
    for (int i = 0; i < 5; ++i) {
        const std::string p = Make("page" + std::to_string(i) + ".tif",
                                   "-size " + std::to_string(20 + 3 * i) + "x" + std::to_string(11 + i) +
                                       " plasma:red-blue -seed " + std::to_string(i) + " " + looks[i]);
        want.push_back(testsupport::MagickPixels(p, "rgb"));
        inputs += " '" + p + "'";
    }
    const std::string multi = dir.file("multi.tif");
    Run("tiffcp -c packbits" + inputs + " '" + multi + "'");
    int error = -2;
    EXPECT_EQ(CountPagesInFile(multi.c_str(), DecodeFormatTiff, nullptr, 0, &error), 5);
    EXPECT_EQ(error, 0);
    for (int i = 0; i < 5; ++i) {
        const DibView d = DecodePage(multi, i, &error);
        EXPECT_EQ(error, 0) << i;
        EXPECT_EQ(d.rgb, want[size_t(i)]) << "page " << i;
    }
    // From memory, two pages from page 2 on.
    const Bytes file = testsupport::ReadBytes(multi);
    IPIHANDLE h[2] = {0, 0};
    EXPECT_EQ(DecodeImageFromMemory(file.data(), h, 2, DecodeFormatTiff, 2, int64_t(file.size()), nullptr, 0, &error),
              2);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(TakeDib(h[i]).rgb, want[size_t(2 + i)]) << "memory page " << 2 + i;
    // Asking for more pages than follow the first one gives what there is.
    IPIHANDLE more[4] = {0, 0, 0, 0};
    EXPECT_EQ(DecodeImageFromMemory(file.data(), more, 4, DecodeFormatTiff, 3, int64_t(file.size()), nullptr, 0,
                                    &error),
              2);
    EXPECT_EQ(ViewDib(more[1]).rgb, want[4]);
    for (IPIHANDLE x : more)
        if (x) ipiGlobalFree(x);
    EXPECT_EQ(ipiGlobalLiveCount(), 0);
}

TEST_F(TiffDecode, PhaseImageOfTheMeasurementSystem) {
#ifndef SORVANTA_HAVE_STRANDEL
    GTEST_SKIP() << "Strandel is not part of this build";
#else
    const int cols = 45, rows = 30;  // four strips of 8 rows
    Bytes pixels(size_t(cols) * rows);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i);
    const std::string path = dir.file("sample_ph.tif");
    ASSERT_EQ(WriteTIFFFile(path.c_str(), cols, rows, "Calverdine test header", pixels.data()), STRANDEL_OK);
    int error = -2;
    const DibView d = DecodePage(path, 0, &error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(d.bits, 8);
    // The ascending grey ramp as colour table...
    IPIHANDLE h = 0;
    ASSERT_EQ(DecodeImageFromFile(path.c_str(), &h, 1, DecodeFormatTiff, 0, nullptr, 0, &error), 1);
    {
        IpiGlobalLock lock(h);
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(lock.ptr()[40 + 4 * i], i);
            ASSERT_EQ(lock.ptr()[40 + 4 * i + 1], i);
            ASSERT_EQ(lock.ptr()[40 + 4 * i + 2], i);
        }
    }
    ipiGlobalFree(h);
    // ... and the same bytes, bottom row first.
    const size_t stride = (cols + 3) / 4 * 4;
    ASSERT_EQ(d.stored.size(), stride * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            ASSERT_EQ(d.stored[size_t(rows - 1 - y) * stride + size_t(x)], pixels[size_t(y) * cols + size_t(x)])
                << x << "," << y;
#endif
}

TEST_F(TiffDecode, UnsupportedLayoutsAreRefused) {
    const std::string art = "-size 16x8 gradient:red-blue";
    struct Case {
        const char* name;
        std::string make;  // shell command writing "$OUT"
        int error;
    };
    const std::string base = Make("base.tif", art + " -type truecolor -depth 8");
    const std::string grey = Make("grey.tif", art + " -colorspace gray -type grayscale -depth 8");
    const Case cases[] = {
        {"tiles", "tiffcp -t -w 16 -l 16 '" + grey + "' \"$OUT\"", 22},
        {"YCbCr", "tiffcp -c jpeg '" + base + "' \"$OUT\"", 22},
        {"CMYK", "convert '" + base + "' -colorspace cmyk -compress none \"$OUT\"", 22},
        {"RGBA", "convert '" + base + "' -alpha set -channel A -evaluate set 50% -compress none \"$OUT\"", 22},
        {"grey with alpha", "convert '" + grey + "' -alpha set -compress none \"$OUT\"", 22},
        {"Lab", "convert '" + base + "' -colorspace Lab -compress none \"$OUT\"", 22},
        {"LZW", "tiffcp -c lzw '" + grey + "' \"$OUT\"", 12},
        {"deflate", "tiffcp -c zip '" + grey + "' \"$OUT\"", 22},
    };
    int i = 0;
    for (const Case& c : cases) {
        const std::string out = dir.file("u" + std::to_string(i++) + ".tif");
        Run("OUT='" + out + "'; " + c.make);
        int error = 0;
        const DibView d = DecodePage(out, 0, &error);
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(d.width, 0) << c.name;
    }

    // One 16-bit grey sample per pixel is grey (the high byte), not colour.
    const std::string g16 = Make("g16.tif", art + " -colorspace gray -type grayscale -depth 16");
    int error = 0;
    const DibView d = DecodePage(g16, 0, &error);
    ASSERT_EQ(error, 0);
    EXPECT_EQ(d.bits, 8);
    EXPECT_LE(MaxDifference(d.rgb, testsupport::MagickPixels(g16, "rgb")), 1);
    const std::string g16be = Tiffcp(g16, "-B", "g16be.tif");
    EXPECT_LE(MaxDifference(DecodePage(g16be, 0, &error).rgb, testsupport::MagickPixels(g16, "rgb")), 1);
}

TEST_F(TiffDecode, HostileFilesEndCleanly) {
    const std::string grey = Make("h.tif", "-size 24x16 gradient:white-black -type grayscale -depth 8");
    Bytes file = testsupport::ReadBytes(Tiffcp(grey, "-c none -r 4", "h4.tif"));
    tiff::Source src;
    src.size = file.size();
    src.read = [&file](uint64_t o, void* b, uint64_t n) {
        if (o > file.size() || n > file.size() - o) return false;
        std::memcpy(b, file.data() + o, size_t(n));
        return true;
    };
    tiff::Header header;
    ASSERT_EQ(tiff::ReadHeader(src, &header), 0);
    ASSERT_TRUE(header.littleEndian);
    // Point the directory's next-offset field back at itself: one page, promptly.
    const uint32_t ifd = header.firstIfd;
    const uint32_t entries = file[ifd] | file[ifd + 1] << 8;
    Bytes loop = file;
    const size_t next = ifd + 2 + 12 * entries;
    for (int k = 0; k < 4; ++k) loop[next + size_t(k)] = uint8_t(ifd >> (8 * k));
    int error = -2;
    EXPECT_EQ(CountPagesInMemory(loop.data(), DecodeFormatTiff, int64_t(loop.size()), nullptr, 0, &error), 1);
    EXPECT_EQ(error, 0);
    IPIHANDLE h[3] = {0, 0, 0};
    EXPECT_EQ(DecodeImageFromMemory(loop.data(), h, 3, DecodeFormatTiff, 0, int64_t(loop.size()), nullptr, 0, &error),
              1);
    for (IPIHANDLE x : h)
        if (x) ipiGlobalFree(x);

    // Damaged facsimile strips decode without reading or writing out of
    // bounds (the sanitizer build watches); the call returns a bitmap or an
    // error, never a handle on failure.
    const std::string bilevel = Make("b.tif", "-size 203x61 plasma: -seed 5 -threshold 50% -type bilevel -depth 1");
    std::mt19937 rng(7);
    for (const char* coding : {"-c g3:1d -r 8", "-c g3:2d -r 8", "-c g4", "-c packbits -r 8"}) {
        Bytes good = testsupport::ReadBytes(Tiffcp(bilevel, coding, "c.tif"));
        tiff::Page page;
        tiff::Source s2 = src;
        s2.size = good.size();
        s2.read = [&good](uint64_t o, void* b, uint64_t n) {
            if (o > good.size() || n > good.size() - o) return false;
            std::memcpy(b, good.data() + o, size_t(n));
            return true;
        };
        ASSERT_EQ(tiff::ReadPage(s2, 0, &page), 0) << coding;
        for (int round = 0; round < 25; ++round) {
            Bytes bad = good;
            const size_t first = page.stripOffsets[0];
            const size_t span = size_t(page.compressedSize);
            for (int k = 0; k < 1 + round % 9; ++k) bad[first + rng() % span] = uint8_t(rng());
            IPIHANDLE one = 0;
            const int n = DecodeImageFromMemory(bad.data(), &one, 1, DecodeFormatTiff, 0, int64_t(bad.size()), nullptr,
                                                0, &error);
            if (n == 1) {
                EXPECT_EQ(TakeDib(one).width, 203);
            } else {
                EXPECT_EQ(one, 0u);
            }
        }
    }

    // Truncated files and random damage in the directory.
    for (int round = 0; round < 200; ++round) {
        Bytes bad = file;
        if (round % 3 == 0) bad.resize(rng() % bad.size());
        else
            for (int k = 0; k < 4; ++k) bad[ifd + rng() % (2 + 12 * entries + 4)] = uint8_t(rng());
        IPIHANDLE one = 0;
        if (bad.empty()) continue;
        if (DecodeImageFromMemory(bad.data(), &one, 1, DecodeFormatTiff, 0, int64_t(bad.size()), nullptr, 0,
                                  &error) == 1)
            ipiGlobalFree(one);
        else
            EXPECT_NE(error, 0);
    }
    EXPECT_EQ(ipiGlobalLiveCount(), 0);
}

void Put16(Bytes& b, size_t at, uint32_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); }
void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + size_t(k)] = uint8_t(v >> (8 * k));
}

// A little-endian 8-bit grey TIFF whose strips are given byte for byte
// (compression 32773 PackBits unless `compression` says otherwise); the
// directory follows the strips. With `dataAt` the bytes after the 8-byte
// header belong at that file offset (a gap lies between).
Bytes GreyTiff(uint32_t width, uint32_t height, uint32_t rowsPerStrip, const std::vector<Bytes>& strips,
               uint32_t compression = 32773, uint32_t dataAt = 8) {
    Bytes f(8, 0);
    f[0] = 'I', f[1] = 'I', f[2] = 42;
    const uint32_t shift = dataAt - 8;
    std::vector<uint32_t> offsets, counts;
    for (const Bytes& s : strips) {
        offsets.push_back(uint32_t(f.size()) + shift);
        counts.push_back(uint32_t(s.size()));
        f.insert(f.end(), s.begin(), s.end());
    }
    if (f.size() % 2) f.push_back(0);
    const uint32_t n = uint32_t(strips.size());
    uint32_t offsetsAt = 0, countsAt = 0;
    if (n > 1) {
        offsetsAt = uint32_t(f.size());
        f.resize(f.size() + 8 * n);
        for (uint32_t i = 0; i < n; ++i) {
            Put32(f, offsetsAt + 4 * i, offsets[i]);
            Put32(f, offsetsAt + 4 * n + 4 * i, counts[i]);
        }
        countsAt = offsetsAt + 4 * n + shift;
        offsetsAt += shift;
    }
    const uint32_t ifd = uint32_t(f.size());
    Put32(f, 4, ifd + shift);
    struct Entry {
        uint16_t tag, type;
        uint32_t count, value;
    } e[] = {{256, 4, 1, width},           {257, 4, 1, height},
             {258, 3, 1, 8},               {259, 3, 1, compression},
             {262, 3, 1, 1},               {273, 4, n, n > 1 ? offsetsAt : offsets[0]},
             {277, 3, 1, 1},               {278, 4, 1, rowsPerStrip},
             {279, 4, n, n > 1 ? countsAt : counts[0]}};
    const size_t k = sizeof e / sizeof e[0];
    f.resize(f.size() + 2 + 12 * k + 4, 0);
    Put16(f, ifd, uint16_t(k));
    for (size_t i = 0; i < k; ++i) {
        const size_t at = ifd + 2 + 12 * i;
        Put16(f, at, e[i].tag);
        Put16(f, at + 2, e[i].type);
        Put32(f, at + 4, e[i].count);
        if (e[i].type == 3 && e[i].count == 1) Put16(f, at + 8, e[i].value);
        else Put32(f, at + 8, e[i].value);
    }
    return f;
}

// Grey values of a decoded 8-bit page, top row first.
Bytes Grey(const DibView& v) {
    Bytes g;
    for (size_t i = 0; i < v.rgb.size(); i += 3) g.push_back(v.rgb[i]);
    return g;
}

// Hand-made PackBits strips that libtiff reads: the no-op code 128, a pad
// byte counted at a strip's end, and a run that crosses a row end inside a
// strip. ImageMagick (through libtiff) gives the expected pixels too.
TEST_F(TiffDecode, PackBitsStripsDecodeAsLibtiffDoes) {
    struct Case {
        const char* name;
        uint32_t width, height, rowsPerStrip;
        std::vector<Bytes> strips;
        Bytes pixels;
    };
    const Case cases[] = {
        {"no-op codes", 4, 3, 3,
         {{0x80, 0x03, 1, 2, 3, 4, 0x80, 0xFD, 5, 0x80, 0x03, 6, 7, 8, 9}},
         {1, 2, 3, 4, 5, 5, 5, 5, 6, 7, 8, 9}},
        {"pad bytes at strip ends", 4, 3, 1,
         {{0x03, 1, 2, 3, 4, 0x00}, {0xFD, 5, 0x00}, {0x03, 6, 7, 8, 9, 0x00}},
         {1, 2, 3, 4, 5, 5, 5, 5, 6, 7, 8, 9}},
        {"run across a row end", 4, 3, 2,
         {{0xFA, 7, 0x00, 9}, {0x01, 1, 2, 0xFF, 3}},
         {7, 7, 7, 7, 7, 7, 7, 9, 1, 2, 3, 3}},
        {"literal across a row end", 3, 2, 2, {{0x05, 1, 2, 3, 4, 5, 6}}, {1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("pb.tif");
        testsupport::WriteBytes(path, GreyTiff(c.width, c.height, c.rowsPerStrip, c.strips));
        EXPECT_EQ(testsupport::MagickPixels(path, "gray"), c.pixels) << c.name << " (ImageMagick)";
        const Bytes bytes = testsupport::ReadBytes(path);
        IPIHANDLE h = 0;
        int error = 0;
        ASSERT_EQ(DecodeImageFromMemory(bytes.data(), &h, 1, DecodeFormatTiff, 0, int64_t(bytes.size()), nullptr, 0,
                                        &error), 1) << c.name << " error " << error;
        EXPECT_EQ(Grey(TakeDib(h)), c.pixels) << c.name;
        EXPECT_EQ(Grey(DecodePage(path, 0, &error)), c.pixels) << c.name << " from the file";
        EXPECT_EQ(error, 0);
    }
}

// A palette page's colours are the high bytes of its 16-bit colour map
// values: every entry here has high and low bytes that differ.
TEST_F(TiffDecode, PaletteColoursAreTheHighBytesOfTheColourMap) {
    const uint32_t mapAt = 16, ifd = mapAt + 3 * 256 * 2;
    Bytes f(ifd, 0);
    f[0] = 'I', f[1] = 'I', f[2] = 42;
    Put32(f, 4, ifd);
    for (uint8_t i = 0; i < 4; ++i) f[8 + i] = i;  // the strip: indices 0 1 2 3
    for (uint32_t i = 0; i < 256; ++i) {
        Put16(f, mapAt + 2 * i, (0x10 * (i & 15)) << 8 | (0xFF - i));       // red
        Put16(f, mapAt + 512 + 2 * i, (0x40 + (i & 15)) << 8 | 0x0F);        // green
        Put16(f, mapAt + 1024 + 2 * i, (0x80 + (i & 15)) << 8 | (i ^ 0xA5));  // blue
    }
    const uint32_t entries[][4] = {{256, 4, 1, 4},   {257, 4, 1, 1}, {258, 3, 1, 8},   {259, 3, 1, 1},
                                   {262, 3, 1, 3},   {273, 4, 1, 8}, {277, 3, 1, 1},   {278, 4, 1, 1},
                                   {279, 4, 1, 4},   {320, 3, 768, mapAt}};
    f.resize(ifd + 2 + 12 * 10 + 4, 0);
    Put16(f, ifd, 10);
    for (size_t i = 0; i < 10; ++i) {
        const size_t at = ifd + 2 + 12 * i;
        Put16(f, at, entries[i][0]);
        Put16(f, at + 2, entries[i][1]);
        Put32(f, at + 4, entries[i][2]);
        if (entries[i][1] == 3 && entries[i][2] == 1) Put16(f, at + 8, entries[i][3]);
        else Put32(f, at + 8, entries[i][3]);
    }
    IPIHANDLE h = 0;
    int error = -5;
    ASSERT_EQ(DecodeImageFromMemory(f.data(), &h, 1, DecodeFormatTiff, 0, int64_t(f.size()), nullptr, 0, &error), 1);
    const DibView v = TakeDib(h);
    EXPECT_EQ(v.bits, 8);
    EXPECT_EQ(v.rgb, (Bytes{0x00, 0x40, 0x80, 0x10, 0x41, 0x81, 0x20, 0x42, 0x82, 0x30, 0x43, 0x83}));
}

// 16-bit grey PackBits strips give the high byte of each sample, as the
// same page stored uncompressed does (both byte orders, odd widths, runs
// across rows).
TEST_F(TiffDecode, SixteenBitPackBitsGivesTheUncompressedPixels) {
    const std::string src = Make("g16.tif", "-size 9x5 gradient:black-white -colorspace gray -depth 16 -type grayscale");
    const std::string options[] = {"-c packbits", "-c packbits -B -r 2", "-c packbits -r 1"};
    int error = -2;
    const DibView want = DecodePage(Tiffcp(src, "-c none", "plain.tif"), 0, &error);
    ASSERT_EQ(error, 0);
    ASSERT_EQ(want.width, 9);
    for (const std::string& o : options) {
        const DibView got = DecodePage(Tiffcp(src, o, "pb16.tif"), 0, &error);
        EXPECT_EQ(error, 0) << o;
        EXPECT_EQ(got.stored, want.stored) << o;
        EXPECT_EQ(got.rgb, want.rgb) << o;
    }
}

// Small images never go through a temporary file: with an unusable
// temporary folder they still decode, from memory and from a file.
TEST_F(TiffDecode, SmallImagesNeedNoTemporaryFolder) {
    const std::string fax = Tiffcp(Make("fax.tif", "-size 5x3 xc:white -fill black -draw 'point 1,1' -type bilevel -depth 1"),
                                   "-c g4", "fax4.tif");
    const std::string png = dir.file("tiny.png");
    Run("convert -size 2x2 xc:navy -depth 8 '" + png + "'");
    const std::string packbits = dir.file("pb.tif");
    testsupport::WriteBytes(packbits, GreyTiff(2, 1, 1, {{0x01, 10, 20}}));
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    struct Case {
        std::string path;
        int format;
    } cases[] = {{fax, DecodeFormatTiff}, {png, DecodeFormatPng}, {packbits, DecodeFormatTiff}};
    for (const Case& c : cases) {
        const Bytes bytes = testsupport::ReadBytes(c.path);
        setenv("TMPDIR", "/nonexistent/no-such-folder", 1);
        IPIHANDLE a = 0, b = 0;
        int e1 = 0, e2 = 0;
        const int n1 = DecodeImageFromMemory(bytes.data(), &a, 1, c.format, 0, int64_t(bytes.size()), nullptr, 0, &e1);
        const int n2 = DecodeImageFromFile(c.path.c_str(), &b, 1, c.format, 0, nullptr, 0, &e2);
        if (old) setenv("TMPDIR", saved.c_str(), 1);
        else unsetenv("TMPDIR");
        EXPECT_EQ(n1, 1) << c.path;
        EXPECT_EQ(e1, 0) << c.path;
        EXPECT_EQ(n2, 1) << c.path;
        EXPECT_EQ(e2, 0) << c.path;
        EXPECT_GT(TakeDib(a).width, 0);
        EXPECT_GT(TakeDib(b).width, 0);
    }
}

// A TIFF file above the largest block the kernel copies whole (1 GiB) is read
// in place: a small page whose strip and directory lie past a sparse gap.
TEST_F(TiffDecode, FilesAboveOneGibibyteAreReadInPlace) {
    const uint32_t gap = (uint32_t(1) << 30) + 4096;
    const Bytes f = GreyTiff(4, 2, 2, {{0x07, 1, 2, 3, 4, 5, 6, 7, 8}}, 32773, gap);
    const std::string path = dir.file("big.tif");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, f.data(), 8, 0), 8);
    ASSERT_EQ(::pwrite(fd, f.data() + 8, f.size() - 8, off_t(gap)), ssize_t(f.size() - 8));
    ::close(fd);
    int error = -5;
    EXPECT_EQ(CountPagesInFile(path.c_str(), DecodeFormatTiff, nullptr, 0, &error), 1);
    EXPECT_EQ(error, 0);
    const DibView v = DecodePage(path, 0, &error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(Grey(v), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    std::remove(path.c_str());
}

} // namespace
