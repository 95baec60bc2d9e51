// TIFF through the decode entry points: files written by libtiff (tiffcp) in
// every layout and coding the kernel reads must give bitmaps equal to
// ImageMagick's reading; damaged and unsupported files fail cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
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

} // namespace
