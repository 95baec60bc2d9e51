// PNG and JPEG through the decode entry points: the bitmaps against
// ImageMagick's and djpeg's reading.
#include "thumbctl/kernel/decode.h"
#include "thumbctl/kernel/tests/dib_view.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>

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
