// The full-size viewer's picture read: result pictures (BMP, JPEG) and TIFF
// phase images, with a gigabyte after them, cut short (with and without
// zeros after them), and a pipe, a folder or a device in their place.
#include "app/browser/picture_file.h"
#include "platform/folders.h"
#include "platform/strandel_binding.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/peak_memory.h"
#include "testsupport/testsupport.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int64_t kPeakBound = 50 << 20;

std::vector<uint8_t> Encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// A run-length BMP (8 bits, a grey table) of w x h: each row runs of four
// pixels of one level, an end of line after each row, the end of the bitmap
// after the last.
std::vector<uint8_t> RunLengthBmp(int w, int h)
{
    std::vector<uint8_t> codes;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; x += 4) codes.insert(codes.end(), {4, uint8_t((x * 3 + y * 5) & 255)});
        codes.insert(codes.end(), {0, 0});
    }
    codes.insert(codes.end(), {0, 1});
    std::vector<uint8_t> f(54 + 1024, 0);
    f[0] = 'B', f[1] = 'M';
    Put32(f, 10, 54 + 1024);
    Put32(f, 14, 40);
    Put32(f, 18, uint32_t(w));
    Put32(f, 22, uint32_t(h));
    f[26] = 1, f[28] = 8;
    Put32(f, 30, 1);
    Put32(f, 34, uint32_t(codes.size()));
    Put32(f, 46, 256);
    for (int i = 0; i < 256; ++i) f[54 + 4 * i] = f[55 + 4 * i] = f[56 + 4 * i] = uint8_t(i);
    f.insert(f.end(), codes.begin(), codes.end());
    Put32(f, 2, uint32_t(f.size()));
    return f;
}

} // namespace

// The viewer reads a plot picture as the thumbnail list does: a run-length
// BMP cut short, which the list refuses, is never shown as a whole picture
// (its missing rows blank), and a picture cut short with zeros after it
// is read no further than its picture can take.
TEST(ViewerPicture, CutPicturesAreRefusedAsTheListRefusesThem)
{
    testsupport::OffscreenApp();
    testsupport::HangGuard guard;
    platform::SetSystemFolder(SORVANTA_BIN_DIR);
    testsupport::TempDir dir("viewer-cut");
    QImage plot(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < plot.height(); ++y)
        for (int x = 0; x < plot.width(); ++x) plot.setPixel(x, y, qRgb(x * 2, y * 3, (x * y) & 255));
    const std::vector<uint8_t> rle = RunLengthBmp(72, 40);
    const std::string path = dir.file("cut_3D.bmp");
    testsupport::WriteBytes(path, rle);
    std::string error;
    const QImage whole = browser::ReadPicture(path, &error);
    ASSERT_FALSE(whole.isNull()) << error;
    EXPECT_EQ(whole.size(), QSize(72, 40));
    EXPECT_EQ(qGray(whole.pixel(4, 39)), (4 * 3) & 255);   // the first row in the file is the bottom one
    struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } pictures[] = {
        {"run-length BMP", rle},
        {"JPEG", Encoded(plot, "JPEG")},
    };
    for (const auto& p : pictures) {
        for (const double part : {0.4, 0.8}) {
            SCOPED_TRACE(std::string(p.name) + " cut to " + std::to_string(part));
            std::vector<uint8_t> cut(p.bytes.begin(), p.bytes.begin() + int64_t(p.bytes.size() * part));
            testsupport::WriteBytes(path, cut);
            std::string why;
            EXPECT_TRUE(browser::ReadPicture(path, &why).isNull());
            EXPECT_EQ(why, "The picture data is incomplete or damaged.");
            // Zeros after the cut: end-of-line codes to a run-length BMP,
            // which may give the picture with its last rows blank; a JPEG
            // without its end is refused. Neither reads the zeros.
            testsupport::MakeSparseFile(path, cut, int64_t(48) << 20);
            const bool marksItsEnd = std::string(p.name) == "JPEG";
            const int64_t peak = testsupport::PeakBytes([&] {
                const QImage got = browser::ReadPicture(path);
                return marksItsEnd ? got.isNull() : got.isNull() || got.size() == whole.size();
            });
            EXPECT_GE(peak, 0) << "cut and padded";
            EXPECT_LT(peak, int64_t(16) << 20);
        }
    }
}

TEST(ViewerPicture, ReadExactlyOrRefusedNeverWaitingOrReadingPastThePicture)
{
    testsupport::OffscreenApp();
    testsupport::HangGuard guard;
    platform::SetSystemFolder(SORVANTA_BIN_DIR);
    testsupport::TempDir dir("viewer");
    QImage plot(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < plot.height(); ++y)
        for (int x = 0; x < plot.width(); ++x) plot.setPixel(x, y, qRgb(x & 255, y, (x * y) & 255));
    std::vector<uint8_t> grey(64 * 48);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i * 7);
    const std::string phase = dir.file("phase_ph.tif");
    ASSERT_EQ(strandel::WriteTIFFFile(phase, 64, 48, "", grey.data()), 0);
    struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } pictures[] = {
        {"part_3D.bmp", Encoded(plot, "BMP")},
        {"part_3D.jpg", Encoded(plot, "JPEG")},
        {"part_ph.tif", testsupport::ReadBytes(phase)},
    };
    for (const auto& p : pictures) {
        const std::string path = dir.file(p.name);
        testsupport::WriteBytes(path, p.bytes);
        std::string error;
        const QImage whole = browser::ReadPicture(path, &error);
        ASSERT_FALSE(whole.isNull()) << p.name << ": " << error;

        testsupport::MakeSparseFile(path, p.bytes, int64_t(1) << 30);
        const int64_t padded = testsupport::PeakBytes([&] { return browser::ReadPicture(path) == whole; });
        EXPECT_GE(padded, 0) << p.name << " padded to 1 GB: read exactly";
        EXPECT_LT(padded, kPeakBound) << p.name;

        for (const double part : {0.1, 0.5, 0.9}) {
            testsupport::WriteBytes(path, std::vector<uint8_t>(p.bytes.begin(), p.bytes.begin() + int64_t(p.bytes.size() * part)));
            std::string why;
            EXPECT_TRUE(browser::ReadPicture(path, &why).isNull()) << p.name << " cut to " << part;
            EXPECT_FALSE(why.empty()) << p.name;
        }
    }
    testsupport::MakeFifo(dir.file("pipe_3D.bmp"));
    for (const std::string& path : {dir.file("pipe_3D.bmp"), dir.path().string(), std::string("/dev/zero")}) {
        std::string why;
        EXPECT_TRUE(browser::ReadPicture(path, &why).isNull()) << path;
        EXPECT_EQ(why, "The file cannot be opened.") << path;
    }
    std::string why;
    EXPECT_TRUE(browser::ReadPicture(dir.file(std::string(300, 'n') + "_3D.bmp"), &why).isNull());
    EXPECT_EQ(why, "The file cannot be opened.\rA name in the path is longer than 255 bytes, the longest name the "
                   "system allows.");
}
