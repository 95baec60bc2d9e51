// The platform's readers of user files: regular files only, never waiting,
// and never reading or taking memory beyond what a picture's data fills; the
// BMP phase-image reader, the picture buffer's file read and the TIFF
// library's binding, each over padded, truncated and special files.
#include "platform/bmp8.h"
#include "platform/tests/bmp_fixtures.h"
#include "platform/folders.h"
#include "platform/picture_file.h"
#include "platform/regular_file.h"
#include "platform/strandel_binding.h"
#include "tifflib/strandel.h"
#include "tifflib/tests/tiff_fixtures.h"

#include "testsupport/peak_memory.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <tiffio.h>

#include <functional>
#include <string>
#include <vector>

namespace {

namespace tf = tifffixtures;
using namespace bmpfixtures;

constexpr int64_t kPeakBound = 50 << 20;
constexpr int64_t kGigabyte = int64_t(1) << 30;

const BmpKind kBmpKinds[] = {BmpKind::BottomUp, BmpKind::TopDown, BmpKind::Rle8, BmpKind::Os2};

} // namespace

// Each layout read exactly, with a gigabyte after the picture (a sparse file)
// as without: only the headers and the declared rows are read.
TEST(Bmp8Reader, APaddedPictureIsReadExactlyFromItsRowsAlone)
{
    testsupport::TempDir dir("bmppad");
    const int w = 257, h = 255;
    const auto px = Indices(w, h);
    for (BmpKind kind : kBmpKinds) {
        const std::string plain = dir.file("plain.bmp"), padded = dir.file("padded.bmp");
        const auto bytes = Bmp(kind, w, h, px);
        testsupport::WriteBytes(plain, bytes);
        const platform::Bmp8Image img = platform::ReadBmp8(plain);
        ASSERT_EQ(img.status, platform::Bmp8Status::Ok) << Name(kind);
        EXPECT_EQ(img.cols, w);
        EXPECT_EQ(img.rows, h);
        EXPECT_EQ(img.pixels, px) << Name(kind);
        EXPECT_EQ(platform::DecodeBmp8(bytes.data(), bytes.size()).pixels, px) << Name(kind);

        testsupport::MakeSparseFile(padded, bytes, kGigabyte);
        const int64_t peak = testsupport::PeakBytes([&] {
            const platform::Bmp8Image p = platform::ReadBmp8(padded);
            return p.status == platform::Bmp8Status::Ok && p.pixels == px;
        });
        EXPECT_GE(peak, 0) << Name(kind) << ": read exactly";
        EXPECT_LT(peak, kPeakBound) << Name(kind);
    }
}

// Cut anywhere before its last pixel, a picture is refused (never shown with
// blank or black rows), and the refusal takes no memory the data did not fill.
TEST(Bmp8Reader, ATruncatedPictureIsRefusedWherEverItIsCut)
{
    testsupport::TempDir dir("bmpcut");
    const int w = 97, h = 61;
    const auto px = Indices(w, h);
    for (BmpKind kind : kBmpKinds) {
        const auto bytes = Bmp(kind, w, h, px);
        const size_t off = kind == BmpKind::Os2 ? 14 + 12 + 768 : 14 + 40 + 1024;
        const size_t dataBytes = bytes.size() - off;
        // In the header, in the palette, at the first row, half-way, one row
        // short, and one pixel short (the last row's padding, or RLE8's end
        // of line and of picture, may be left out; its pixels may not).
        const size_t padding = size_t(((w + 3) & ~3) - w);
        const size_t cuts[] = {20, off - 100, off + 1, off + dataBytes / 2, bytes.size() - size_t((w + 3) & ~3),
                               kind == BmpKind::Rle8 ? bytes.size() - 6 : bytes.size() - padding - 1};
        for (size_t cut : cuts) {
            const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + int64_t(cut));
            const platform::Bmp8Image img = platform::DecodeBmp8(part.data(), part.size());
            EXPECT_NE(img.status, platform::Bmp8Status::Ok) << Name(kind) << " cut at " << cut;
            EXPECT_TRUE(img.pixels.empty()) << Name(kind) << " cut at " << cut;
            const std::string path = dir.file("cut.bmp");
            testsupport::WriteBytes(path, part);
            EXPECT_EQ(platform::ReadBmp8(path).status, img.status) << Name(kind) << " cut at " << cut;
        }
    }
}

// The largest size a header may declare, with almost no data behind it: an
// uncompressed picture is refused before its rows are sized, an RLE8 one as
// soon as its data runs out, and neither takes the 1 GB the size would need.
// A picture beyond the caller's limit is refused before any of it is read.
TEST(Bmp8Reader, DeclaredSizesTheDataCannotFillTakeNoMemory)
{
    testsupport::TempDir dir("bmphuge");
    const int side = 32767;
    for (BmpKind kind : {BmpKind::BottomUp, BmpKind::Rle8}) {
        auto bytes = Bmp(kind, 4, 4, Indices(4, 4));
        testsupport::PutLe32(bytes, 18, side);
        testsupport::PutLe32(bytes, 22, side);
        if (kind == BmpKind::Rle8) bytes.resize(bytes.size() - 2);   // no end of picture
        const std::string path = dir.file("huge.bmp");
        testsupport::WriteBytes(path, bytes);
        const int64_t peak = testsupport::PeakBytes([&] {
            return platform::ReadBmp8(path).status == platform::Bmp8Status::Truncated;
        });
        EXPECT_GE(peak, 0) << Name(kind) << ": refused as truncated";
        EXPECT_LT(peak, kPeakBound) << Name(kind);
        EXPECT_EQ(platform::ReadBmp8(path, 1000).status, platform::Bmp8Status::TooLarge) << Name(kind);
    }
}

// The picture buffer's file read takes BMP and TIFF by their first bytes, and
// refuses everything else, a pipe, a folder and a device without waiting.
TEST(GreyPicture, ReadsBmpAndTiffAndRefusesSpecialFiles)
{
    platform::SetSystemFolder(SORVANTA_BIN_DIR);
    testsupport::HangGuard guard;
    testsupport::TempDir dir("grey");
    const int w = 33, h = 17;
    const auto px = Indices(w, h);
    testsupport::WriteBytes(dir.file("a_ph.bmp"), Bmp(BmpKind::BottomUp, w, h, px));
    tf::Write(dir.file("b_ph.bmp"), tf::ValidTiff(tf::ByName("lzw"), w, h, px, 8));   // a TIFF under a BMP name
    for (const char* name : {"a_ph.bmp", "b_ph.bmp"}) {
        const platform::GreyPicture p = platform::ReadGreyPicture(dir.file(name));
        EXPECT_EQ(p.result, platform::GreyPicture::Result::Ok) << name << ": " << p.error;
        EXPECT_EQ(p.width, w);
        EXPECT_EQ(p.height, h);
        EXPECT_EQ(p.pixels, px) << name;
        EXPECT_EQ(platform::ReadGreyPicture(dir.file(name), uint64_t(w) * h - 1).result,
                  platform::GreyPicture::Result::TooLarge)
            << name;
    }
    testsupport::MakeFifo(dir.file("pipe_ph.bmp"));
    testsupport::WriteBytes(dir.file("text_ph.bmp"), {'h', 'e', 'l', 'l', 'o'});
    struct {
        std::string path;
        platform::GreyPicture::Result result;
    } refused[] = {
        {dir.file("pipe_ph.bmp"), platform::GreyPicture::Result::CannotOpen},
        {dir.path().string(), platform::GreyPicture::Result::CannotOpen},
        {"/dev/zero", platform::GreyPicture::Result::CannotOpen},
        {dir.file("missing_ph.bmp"), platform::GreyPicture::Result::CannotOpen},
        {dir.file("text_ph.bmp"), platform::GreyPicture::Result::Unsupported},
    };
    for (const auto& c : refused) {
        const platform::GreyPicture p = platform::ReadGreyPicture(c.path);
        EXPECT_EQ(p.result, c.result) << c.path;
        EXPECT_FALSE(p.error.empty()) << c.path;
        EXPECT_TRUE(p.pixels.empty()) << c.path;
    }
}

// Opening for reading: regular files only, at once, and a path beyond the
// system's limits is refused with the limit it goes beyond.
TEST(RegularFile, OpensRegularFilesOnlyAndNamesThePathLimits)
{
    testsupport::HangGuard guard;
    testsupport::TempDir dir("regular");
    testsupport::WriteBytes(dir.file("data"), {1, 2, 3, 4, 5});
    testsupport::MakeFifo(dir.file("pipe"));
    platform::RegularFile f;
    ASSERT_TRUE(f.open(dir.file("data"))) << f.error();
    EXPECT_EQ(f.size(), 5u);
    uint8_t buf[8] = {};
    EXPECT_EQ(f.readAt(3, buf, sizeof buf), 2);
    EXPECT_EQ(buf[0], 4);
    EXPECT_FALSE(f.readExactlyAt(3, buf, 3));

    const std::string longPath = "/" + std::string(300, 'd') + "/" + std::string(5000, 'n');
    const std::string longName = dir.file(std::string(300, 'n'));
    struct {
        std::string path, error;
    } refused[] = {
        {dir.file("pipe"), "is not a regular file"},
        {dir.path().string(), "is not a regular file"},
        {"/dev/zero", "is not a regular file"},
        {dir.file("missing"), "No such file"},
        {"", "Cannot open"},
        {longPath, "The path is longer than 4095 bytes"},
        {longName, "A name in the path is longer than 255 bytes"},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(f.open(c.path)) << c.path.substr(0, 80);
        EXPECT_NE(f.error().find(c.error), std::string::npos) << f.error().substr(0, 200);
        EXPECT_FALSE(f.isOpen());
    }
    EXPECT_EQ(platform::PathLimitText(dir.file("data")), "");
}

// The binding reads row by row into room it reserves, never filled ahead of
// the data: a file whose declared 30000 x 30000 its strip could fill (by the
// codec's bound) but whose data breaks off at once costs a few megabytes, not
// the 900 MB a zero-filled buffer would. The files that cannot fill their
// declared size are refused at once, in every compression.
TEST(StrandelBinding, ReadsTakeOnlyTheMemoryTheRowsFill)
{
    platform::SetSystemFolder(SORVANTA_BIN_DIR);
    testsupport::TempDir dir("bindmem");
    tf::Layout l;
    l.width = l.length = 30000;
    l.compression = COMPRESSION_ADOBE_DEFLATE;
    std::vector<uint8_t> strip = {0x78, 0x9C};
    for (uint32_t i = 0, v = 1; i < (1u << 20); ++i) strip.push_back(uint8_t((v = v * 1103515245u + 12345u) >> 24));
    l.strips.push_back(strip);
    const std::string broken = dir.file("broken_ph.tif");
    tf::Write(broken, tf::BuildTiff(l));
    ASSERT_EQ(strandel::GetTIFFCols(broken), 30000) << "the library takes the size; the data fails";
    const int64_t peak = testsupport::PeakBytes([&] {
        const strandel::ReadResult r = strandel::ReadImage(broken);
        return r.status == STRANDEL_ERR_READ && r.pixels.empty();
    });
    EXPECT_GE(peak, 0) << "a failed row, no pixels";
    EXPECT_LT(peak, kPeakBound);

    for (const tf::Compression& c : tf::Compressions()) {
        const std::string path = dir.file(std::string(c.name) + "_ph.tif");
        tf::Write(path, tf::HugeDeclaredTiff(c));
        const int64_t p = testsupport::PeakBytes([&] { return strandel::ReadImage(path).status == STRANDEL_ERR_OPEN; });
        EXPECT_GE(p, 0) << c.name << ": refused as a file that cannot be opened";
        EXPECT_LT(p, kPeakBound) << c.name;
    }
    // The caller's limit is checked against the declared size first.
    const auto px = Indices(20, 10);
    const std::string small = dir.file("small_ph.tif");
    ASSERT_EQ(strandel::WriteTIFFFile(small, 20, 10, "h", px.data()), 0);
    EXPECT_EQ(strandel::ReadImage(small, 199).status, strandel::kOverBudget);
    const strandel::ReadResult fits = strandel::ReadImage(small, 200);
    EXPECT_EQ(fits.status, STRANDEL_OK);
    EXPECT_EQ(fits.pixels, px);
    EXPECT_EQ(fits.pixels.capacity(), px.size()) << "room for the image, reserved once";
}
