// The full-size viewer's picture read: result pictures (BMP, JPEG) and TIFF
// phase images, with a gigabyte after them, cut short, and a pipe, a folder
// or a device in their place.
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

} // namespace

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
