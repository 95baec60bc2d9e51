// PNG and JPEG through the decode entry points: the bitmaps against
// ImageMagick's and djpeg's reading.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/tests/dib_view.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>

#include <zlib.h>

using testsupport::MagickPixels;
using testsupport::ReadBytes;
using testsupport::Shell;
using testsupport::TempDir;

namespace {

struct Result {
    int count = 0;
    int error = 0;
    DibView dib;
};

Result DecodeMemory(const std::vector<uint8_t>& bytes, int format, const IPIATTRIBUTE* a = nullptr, int n = 0) {
    Result r;
    IPIHANDLE h = 0;
    r.count = DecodeImageFromMemory(bytes.data(), &h, 1, format, 0, int64_t(bytes.size()), a, n, &r.error);
    r.dib = TakeDib(h);
    return r;
}

Result DecodeFile(const std::string& path, int format) {
    Result r;
    IPIHANDLE h = 0;
    r.count = DecodeImageFromFile(path.c_str(), &h, 1, format, 0, nullptr, 0, &r.error);
    r.dib = TakeDib(h);
    return r;
}

TEST(PngDecode, EveryKindGivesImageMagicksPixels) {
    TempDir dir("pngdec");
    const char* kinds[][2] = {
        {"-colorspace gray -define png:color-type=0 -define png:bit-depth=1", "1"},
        {"-colorspace gray -define png:color-type=0 -define png:bit-depth=4", "4"},
        {"-colorspace gray -define png:color-type=0 -define png:bit-depth=8", "8"},
        {"-monochrome -define png:color-type=3 -define png:bit-depth=1", "1"},
        {"-colors 12 -define png:color-type=3 -define png:bit-depth=4", "4"},
        {"-colors 100 -define png:color-type=3 -define png:bit-depth=8", "8"},
        {"-define png:color-type=2 -define png:bit-depth=8", "24"},
        {"-alpha set -channel A -fx 0.5 +channel -define png:color-type=6 -define png:bit-depth=8", "24"},
    };
    const int before = ipiGlobalLiveCount();
    for (auto& k : kinds) {
        for (const char* interlace : {"none", "PNG"}) {
            const std::string path = dir.file("k.png");
            Shell(std::string("convert -size 37x23 -seed 2 plasma:green-yellow -depth 8 ") + k[0] + " -interlace " +
                  interlace + " " + path);
            const Result file = DecodeFile(path, DecodeFormatPng);
            ASSERT_EQ(file.count, 1) << k[0] << " error " << file.error;
            EXPECT_EQ(std::to_string(file.dib.bits), k[1]) << k[0];
            EXPECT_EQ(file.dib.rgb, MagickPixels(path, "rgb")) << k[0] << " " << interlace;
            const Result mem = DecodeMemory(ReadBytes(path), DecodeFormatPng);
            EXPECT_EQ(mem.dib.rgb, file.dib.rgb);
        }
    }
    EXPECT_EQ(ipiGlobalLiveCount(), before);
}

// A grey PNG of rows given as filtered bytes (filter 0), one IDAT chunk.
std::vector<uint8_t> GreyPng(uint32_t width, int depth, const std::vector<std::vector<uint8_t>>& rows) {
    std::vector<uint8_t> f = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    auto chunk = [&f](const char* type, const std::vector<uint8_t>& body) {
        const uint32_t n = uint32_t(body.size());
        f.insert(f.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
        const size_t start = f.size();
        f.insert(f.end(), type, type + 4);
        f.insert(f.end(), body.begin(), body.end());
        const uint32_t crc = uint32_t(crc32(0, f.data() + start, uInt(f.size() - start)));
        f.insert(f.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
    };
    const uint32_t h = uint32_t(rows.size());
    chunk("IHDR", {uint8_t(width >> 24), uint8_t(width >> 16), uint8_t(width >> 8), uint8_t(width), uint8_t(h >> 24),
                   uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h), uint8_t(depth), 0, 0, 0, 0});
    std::vector<uint8_t> raw;
    for (const auto& r : rows) {
        raw.push_back(0);
        raw.insert(raw.end(), r.begin(), r.end());
    }
    uLongf zn = compressBound(uLong(raw.size()));
    std::vector<uint8_t> z(zn);
    compress(z.data(), &zn, raw.data(), uLong(raw.size()));
    z.resize(zn);
    chunk("IDAT", z);
    chunk("IEND", {});
    return f;
}

// Bits past the last pixel of a row (set in the file) never reach the
// bitmap: its rows end in zero bits, bottom row first.
TEST(PngDecode, PaddingBitsOfTheFileAreNotKept) {
    struct Case {
        uint32_t width;
        int depth;
        std::vector<std::vector<uint8_t>> rows;
        std::vector<uint8_t> stored;  // bitmap rows, 4 bytes each, bottom first
    };
    const Case cases[] = {
        {5, 1, {{0xAF}, {0x57}}, {0x50, 0, 0, 0, 0xA8, 0, 0, 0}},
        {3, 4, {{0x12, 0x3F}, {0x45, 0x6F}}, {0x45, 0x60, 0, 0, 0x12, 0x30, 0, 0}},
    };
    for (const Case& c : cases) {
        const Result r = DecodeMemory(GreyPng(c.width, c.depth, c.rows), DecodeFormatPng);
        ASSERT_EQ(r.count, 1) << c.depth << " bits, error " << r.error;
        EXPECT_EQ(r.dib.bits, c.depth);
        EXPECT_EQ(r.dib.stored, c.stored) << c.depth << " bits";
    }
}

TEST(PngDecode, BadFilesGive22AndNoBitmap) {
    TempDir dir("pngdec");
    Shell("convert -size 20x10 gradient: -depth 8 -define png:color-type=0 " + dir.file("g.png"));
    std::vector<uint8_t> good = ReadBytes(dir.file("g.png"));
    ASSERT_EQ(DecodeMemory(good, DecodeFormatPng).count, 1);
    std::vector<uint8_t> bad = good;
    bad[8 + 8 + 13] ^= 0x40;  // IHDR CRC
    const Result r = DecodeMemory(bad, DecodeFormatPng);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(r.error, 22);
    // Progressive pass out of range is an argument error of the entry point.
    IPIATTRIBUTE a[] = {{"progressive", 1}, {"interlacePass", 9}};
    EXPECT_EQ(DecodeMemory(good, DecodeFormatPng, a, 2).error, -100);
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i) se += (a[i] - b[i]) * double(a[i] - b[i]);
    return se == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * a.size() / se);
}

TEST(JpegDecode, EntryPointsGiveDjpegsPixels) {
    TempDir dir("jpgdec");
    Shell("convert -size 75x51 -seed 5 plasma:red-blue -depth 8 ppm:" + dir.file("s.ppm"));
    for (const char* opt : {"-sample 2x2", "-sample 2x1 -restart 1", "-sample 1x1", "-grayscale"}) {
        const std::string jpg = dir.file("a.jpg");
        Shell(std::string("cjpeg ") + opt + " -outfile " + jpg + " " + dir.file("s.ppm"));
        Shell("djpeg -nosmooth -dct int -bmp -outfile " + dir.file("r.bmp") + " " + jpg);
        const Result r = DecodeFile(jpg, DecodeFormatJpeg);
        ASSERT_EQ(r.count, 1) << opt << " error " << r.error;
        EXPECT_EQ(r.dib.bits, std::string(opt) == "-grayscale" ? 8 : 24);
        EXPECT_GE(Psnr(r.dib.rgb, MagickPixels(dir.file("r.bmp"), "rgb")), 38.0) << opt;
    }
    Shell("cjpeg -progressive -outfile " + dir.file("p.jpg") + " " + dir.file("s.ppm"));
    EXPECT_EQ(DecodeFile(dir.file("p.jpg"), DecodeFormatJpeg).error, 22);
    Shell("cjpeg -arithmetic -outfile " + dir.file("p.jpg") + " " + dir.file("s.ppm"));
    EXPECT_EQ(DecodeFile(dir.file("p.jpg"), DecodeFormatJpeg).error, 22);
}

}  // namespace
