#include "testsupport/offscreen_app.h"

#include "platform/bmp8.h"
#include "platform/folders.h"
#include "platform/picturebuffer.h"
#include "platform/strandel_binding.h"

#include "testsupport/testsupport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

using platform::PictureBuffer;
using testsupport::PutLe16;
using testsupport::PutLe32;

namespace {

std::vector<uint8_t> AllPixels(const PictureBuffer& b)
{
    std::vector<uint8_t> out;
    for (int y = 0; y < b.imageHeight(); ++y)
        for (int32_t v : b.readRow(y)) {
            EXPECT_GE(v, 0);
            EXPECT_LE(v, 255);
            out.push_back(uint8_t(v));
        }
    return out;
}

// An 8-bit BMP whose palette runs backwards (index i is grey 255 - i), so
// that indices and colours differ everywhere.
std::vector<uint8_t> ReversedPaletteBmp(int w, int h, const std::vector<uint8_t>& indices, bool topDown)
{
    const int stride = (w + 3) & ~3;
    const uint32_t off = 14 + 40 + 1024;
    const uint32_t size = off + uint32_t(stride * h);
    std::vector<uint8_t> b(size, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe32(b, 2, size);
    PutLe32(b, 10, off);
    PutLe32(b, 14, 40);
    PutLe32(b, 18, uint32_t(w));
    PutLe32(b, 22, uint32_t(topDown ? -h : h));
    PutLe16(b, 26, 1);
    PutLe16(b, 28, 8);
    PutLe32(b, 46, 256);
    for (int i = 0; i < 256; ++i) b[54 + 4 * i] = b[55 + 4 * i] = b[56 + 4 * i] = uint8_t(255 - i);
    for (int y = 0; y < h; ++y) {
        const int fileRow = topDown ? y : h - 1 - y;
        for (int x = 0; x < w; ++x) b[off + size_t(fileRow) * stride + x] = indices[size_t(y) * w + x];
    }
    return b;
}

} // namespace

TEST(PictureBuffer, BlankPictureReadsBackZerosAndRowsRoundTrip)
{
    testsupport::OffscreenApp();
    PictureBuffer buf;
    buf.createBlank(640, 480, 0);
    EXPECT_EQ(buf.imageWidth(), 640);
    EXPECT_EQ(buf.imageHeight(), 480);
    EXPECT_EQ(buf.size(), QSize(640, 480)); // one screen pixel per image pixel
    const auto px = AllPixels(buf);
    EXPECT_EQ(px, std::vector<uint8_t>(640 * 480, 0));

    std::vector<int32_t> row(640);
    for (int x = 0; x < 640; ++x) row[x] = (x * 7) % 256;
    ASSERT_TRUE(buf.writeRow(479, row));
    EXPECT_EQ(buf.readRow(479), row);
    EXPECT_EQ(buf.readRow(478), std::vector<int32_t>(640, 0)); // neighbours untouched

    // Out-of-range rows and short row buffers are refused, values are kept to bytes.
    EXPECT_FALSE(buf.writeRow(480, row));
    EXPECT_FALSE(buf.writeRow(-1, row));
    EXPECT_TRUE(buf.readRow(480).empty());
    EXPECT_FALSE(buf.writeRow(0, std::vector<int32_t>(10, 1)));
    row[0] = 300;
    row[1] = -4;
    buf.writeRow(0, row);
    EXPECT_EQ(buf.readRow(0)[0], 255);
    EXPECT_EQ(buf.readRow(0)[1], 0);

    buf.createBlank(4, 2, 16777215); // white fill
    EXPECT_EQ(AllPixels(buf), std::vector<uint8_t>(8, 255));
}

TEST(PictureBuffer, EightBitBmpGivesPaletteIndices)
{
    testsupport::OffscreenApp();
    testsupport::TempDir dir("bmp");
    // Odd width (row padding) and a 256-colour palette as ImageMagick writes it.
    const std::string path = dir.file("gradient_ph.bmp");
    int code = 0;
    testsupport::Shell("convert -size 13x40 gradient: -type Palette BMP3:'" + path + "'", &code);
    ASSERT_EQ(code, 0);
    const auto bytes = testsupport::ReadBytes(path);
    ASSERT_EQ(bytes[28], 8) << "fixture is not an 8-bit BMP";
    const auto source = testsupport::MagickPixels(path, "gray");
    ASSERT_EQ(source.size(), 13u * 40u);

    PictureBuffer buf;
    buf.setFileName(QString::fromStdString(path));
    ASSERT_EQ(buf.load(), PictureBuffer::LoadResult::Ok) << buf.lastError().toStdString();
    ASSERT_EQ(buf.imageWidth(), 13);
    ASSERT_EQ(buf.imageHeight(), 40);
    const auto px = AllPixels(buf);
    for (size_t i = 0; i < px.size(); ++i) {
        // The value read is the palette index whose colour is the source's grey.
        EXPECT_EQ(bytes[54 + 4 * px[i]], source[i]) << "pixel " << i;
    }
    // The same picture written uncompressed gives the same indices.
    const std::string plain = dir.file("plain.bmp");
    testsupport::Shell("convert '" + path + "' -compress None BMP3:'" + plain + "'");
    const auto plainBytes = testsupport::ReadBytes(plain);
    ASSERT_EQ(plainBytes[30], 0) << "fixture is compressed";
    buf.setFileName(QString::fromStdString(plain));
    ASSERT_EQ(buf.load(), PictureBuffer::LoadResult::Ok) << buf.lastError().toStdString();
    const auto plainPx = AllPixels(buf);
    ASSERT_EQ(plainPx.size(), px.size());
    for (size_t i = 0; i < px.size(); ++i) EXPECT_EQ(plainBytes[54 + 4 * plainPx[i]], source[i]) << "pixel " << i;

    // A palette that runs backwards: the reader gives indices, not colours.
    std::vector<uint8_t> idx(5 * 3);
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = uint8_t(i * 17);
    for (bool topDown : {false, true}) {
        const std::string rev = dir.file(topDown ? "rev_td.bmp" : "rev.bmp");
        testsupport::WriteBytes(rev, ReversedPaletteBmp(5, 3, idx, topDown));
        buf.setFileName(QString::fromStdString(rev));
        ASSERT_EQ(buf.load(), PictureBuffer::LoadResult::Ok);
        EXPECT_EQ(AllPixels(buf), idx) << "top-down " << topDown;
        if (!topDown) {
            const auto colours = testsupport::MagickPixels(rev, "gray");
            ASSERT_EQ(colours.size(), idx.size());
            EXPECT_EQ(colours[1], 255 - idx[1]); // what a colour reader would have given
        }
    }
}

TEST(PictureBuffer, Rle8RunsLiteralsAndMoves)
{
    testsupport::OffscreenApp();
    testsupport::TempDir dir("rle");
    auto bmp = ReversedPaletteBmp(5, 3, std::vector<uint8_t>(15, 0), false);
    bmp.resize(14 + 40 + 1024);
    bmp[30] = 1; // RLE8
    const std::vector<uint8_t> stream = {
        2, 9, 0, 3, 1, 2, 3, 0, 0, 0, // bottom row: a run, an odd literal with its pad byte, end of line
        0, 2, 1, 0, 4, 7, 0, 0,       // middle row: move one right, a run
        5, 4, 0, 1,                   // top row, end of picture
    };
    auto full = bmp;
    full.insert(full.end(), stream.begin(), stream.end());
    testsupport::WriteBytes(dir.file("rle.bmp"), full);
    PictureBuffer buf;
    buf.setFileName(QString::fromStdString(dir.file("rle.bmp")));
    ASSERT_EQ(buf.load(), PictureBuffer::LoadResult::Ok) << buf.lastError().toStdString();
    // The pixel skipped by the move is blank (128), not phase 0.
    EXPECT_EQ(AllPixels(buf), (std::vector<uint8_t>{4, 4, 4, 4, 4, 128, 7, 7, 7, 7, 9, 9, 1, 2, 3}));

    // Runs that end early in the rows and in the last row: the rest is blank too.
    const std::vector<uint8_t> shortRows = {2, 9, 0, 0, 1, 7, 0, 0, 3, 5, 0, 1};
    auto partial = bmp;
    partial.insert(partial.end(), shortRows.begin(), shortRows.end());
    testsupport::WriteBytes(dir.file("partial.bmp"), partial);
    buf.setFileName(QString::fromStdString(dir.file("partial.bmp")));
    ASSERT_EQ(buf.load(), PictureBuffer::LoadResult::Ok) << buf.lastError().toStdString();
    EXPECT_EQ(AllPixels(buf), (std::vector<uint8_t>{5, 5, 5, 128, 128, 7, 128, 128, 128, 128, 9, 9, 128, 128, 128}));

    auto cut = bmp;
    cut.insert(cut.end(), stream.begin(), stream.begin() + 10);
    testsupport::WriteBytes(dir.file("cut.bmp"), cut);
    buf.setFileName(QString::fromStdString(dir.file("cut.bmp")));
    EXPECT_EQ(buf.load(), PictureBuffer::LoadResult::BadFile);
}

TEST(PictureBuffer, OtherPicturesAreRefusedAndLeaveThePicture)
{
    testsupport::OffscreenApp();
    testsupport::TempDir dir("bad");
    PictureBuffer buf;
    buf.createBlank(3, 2, 7);

    const std::string rgb = dir.file("rgb.bmp");
    const std::string four = dir.file("four.bmp");
    const std::string png = dir.file("x.png");
    testsupport::Shell("convert -size 5x3 xc:red -type TrueColor BMP3:'" + rgb + "'");
    testsupport::Shell("convert -size 16x8 gradient: -type Palette BMP3:'" + four + "'");
    testsupport::Shell("convert -size 4x4 xc:gray PNG:'" + png + "'");
    auto truncated = ReversedPaletteBmp(8, 8, std::vector<uint8_t>(64, 1), false);
    truncated.resize(truncated.size() - 9);
    testsupport::WriteBytes(dir.file("short.bmp"), truncated);

    struct {
        std::string path;
        PictureBuffer::LoadResult result;
    } cases[] = {
        {rgb, PictureBuffer::LoadResult::NotEightBit},
        {four, PictureBuffer::LoadResult::NotEightBit},
        {png, PictureBuffer::LoadResult::Unsupported},
        {dir.file("short.bmp"), PictureBuffer::LoadResult::BadFile},
        {dir.file("missing.bmp"), PictureBuffer::LoadResult::CannotOpen},
    };
    for (auto& c : cases) {
        buf.setFileName(QString::fromStdString(c.path));
        EXPECT_EQ(buf.load(), c.result) << c.path;
        EXPECT_FALSE(buf.lastError().isEmpty());
        EXPECT_EQ(buf.imageWidth(), 3);
        EXPECT_EQ(AllPixels(buf), std::vector<uint8_t>(6, 7));
    }
    EXPECT_EQ(platform::ReadBmp8(rgb).bitsPerPixel, 24);
    buf.setFileName("");
    EXPECT_EQ(buf.load(), PictureBuffer::LoadResult::NoFileName);
}

TEST(PictureBuffer, TiffLoadsThroughTheTiffLibrary)
{
    testsupport::OffscreenApp();
    platform::SetSystemFolder(SORVANTA_BIN_DIR);
    testsupport::TempDir dir("tif");
    const std::string path = dir.file("mask_msk.tif");
    std::vector<uint8_t> px(7 * 5);
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i % 2 ? 255 : i);
    ASSERT_EQ(strandel::WriteTIFFFile(path, 7, 5, "", px.data()), 0) << strandel::LoadError();
    PictureBuffer buf;
    buf.setFileName(QString::fromStdString(path));
    ASSERT_EQ(buf.load(), PictureBuffer::LoadResult::Ok) << buf.lastError().toStdString();
    EXPECT_EQ(buf.imageWidth(), 7);
    EXPECT_EQ(buf.imageHeight(), 5);
    EXPECT_EQ(AllPixels(buf), px);
}

TEST(PictureBuffer, TakeOverCopiesThePictureOrItsRegion)
{
    testsupport::OffscreenApp();
    PictureBuffer a, b;
    a.createBlank(6, 4, 0);
    for (int y = 0; y < 4; ++y) {
        std::vector<int32_t> row(6);
        for (int x = 0; x < 6; ++x) row[x] = y * 10 + x;
        a.writeRow(y, row);
    }
    b.createBlank(640, 480, 0);
    ASSERT_TRUE(b.takeOver(a));
    EXPECT_EQ(b.imageWidth(), 6);
    EXPECT_EQ(b.imageHeight(), 4);
    EXPECT_EQ(AllPixels(b), AllPixels(a));

    // Region only, onto itself: the picture shrinks to the region.
    b.setRoi(1.5, 1, 3, 2); // 1.5 rounds to 2 (halves to even)
    EXPECT_EQ(b.roiLeft(), 2);
    ASSERT_TRUE(b.takeOver(b, true));
    EXPECT_EQ(b.imageWidth(), 3);
    EXPECT_EQ(b.imageHeight(), 2);
    EXPECT_EQ(AllPixels(b), (std::vector<uint8_t>{12, 13, 14, 22, 23, 24}));

    // A region reaching past the picture gives just the part on it; one wholly
    // outside changes nothing.
    a.setRoi(4, 3, 10, 10);
    ASSERT_TRUE(b.takeOver(a, true));
    EXPECT_EQ(AllPixels(b), (std::vector<uint8_t>{34, 35}));
    a.setRoi(50, 50, 3, 3);
    EXPECT_FALSE(b.takeOver(a, true));
    EXPECT_EQ(b.imageWidth(), 2);
}

TEST(PictureBuffer, ARegionPastThePictureIsDrawnOnlyOnThePicture)
{
    testsupport::OffscreenApp();
    PictureBuffer buf;
    buf.createBlank(100, 80, 0);
    buf.resize(200, 160);   // a layout gave the control more room than the picture
    buf.setRoi(60, 10, 100, 100);
    buf.setOutlineColor(65535);
    buf.outlineOn();
    buf.show();
    const QImage shot = buf.grab().toImage();
    EXPECT_EQ(shot.pixelColor(60, 40), QColor(255, 255, 0));    // left edge, on the picture
    EXPECT_EQ(shot.pixelColor(120, 10), QColor(buf.palette().color(QPalette::Window)));   // top edge, past it
    EXPECT_EQ(shot.pixelColor(70, 100), QColor(buf.palette().color(QPalette::Window)));   // below the picture
}

TEST(PictureBuffer, RegionOutlineSwitchesAndMouseEventsInImagePixels)
{
    testsupport::OffscreenApp();
    PictureBuffer buf;
    buf.createBlank(100, 80, 0);
    buf.setRoi(10.4, 20.6, 30.5, 41.5);
    EXPECT_EQ(buf.roiLeft(), 10);
    EXPECT_EQ(buf.roiTop(), 21);
    EXPECT_EQ(buf.roiWidth(), 30);
    EXPECT_EQ(buf.roiHeight(), 42);
    EXPECT_FALSE(buf.regionVisible());
    buf.outlineOn();
    EXPECT_TRUE(buf.regionVisible());
    buf.setRegionDisplay(false);
    EXPECT_FALSE(buf.regionVisible());
    buf.setRegionDisplay(true);
    buf.setOutlineColor(65280);

    // The outline is drawn in the outline colour (green) on the region's edge.
    buf.show();
    QImage shot = buf.grab().toImage();
    EXPECT_EQ(shot.pixelColor(10, 30), QColor(0, 255, 0));
    EXPECT_EQ(shot.pixelColor(20, 30), QColor(0, 0, 0));
    buf.outlineOff();
    shot = buf.grab().toImage();
    EXPECT_EQ(shot.pixelColor(10, 30), QColor(0, 0, 0));

    QSignalSpy down(&buf, &PictureBuffer::mouseDown);
    QSignalSpy up(&buf, &PictureBuffer::mouseUp);
    QSignalSpy click(&buf, &PictureBuffer::clicked);
    QTest::mousePress(&buf, Qt::RightButton, Qt::ShiftModifier, QPoint(12, 34));
    QTest::mouseRelease(&buf, Qt::RightButton, Qt::ShiftModifier, QPoint(12, 34));
    ASSERT_EQ(down.count(), 1);
    EXPECT_EQ(down[0][0].toInt(), 2);
    EXPECT_EQ(down[0][1].toInt(), 1);
    EXPECT_DOUBLE_EQ(down[0][2].toDouble(), 12.0);
    EXPECT_DOUBLE_EQ(down[0][3].toDouble(), 34.0);
    EXPECT_EQ(up.count(), 1);
    EXPECT_EQ(click.count(), 1);
    EXPECT_EQ(buf.accessibleName(), "Picture");
}

TEST(PictureBuffer, APipeIsRefusedAtOnce)
{
    testsupport::OffscreenApp();
    testsupport::TempDir dir("pipe");
    const std::string fifo = dir.file("pipe.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);   // no writer: a blocking read would wait for ever
    EXPECT_EQ(platform::ReadBmp8(fifo).status, platform::Bmp8Status::CannotOpen);
    PictureBuffer buf;
    buf.setFileName(QString::fromStdString(fifo));
    EXPECT_NE(buf.load(), PictureBuffer::LoadResult::Ok);
}
