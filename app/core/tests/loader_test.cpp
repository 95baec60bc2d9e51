// The phase-image loader as every window and tool uses it: TIFF in each
// compression and BMP in each layout, files whose declared size their data
// cannot fill, padded and special files, and paths beyond the system's limits.
#include "app/core/loader.h"
#include "app/core/pipeline.h"
#include "platform/folders.h"
#include "platform/tests/bmp_fixtures.h"
#include "tifflib/tests/tiff_fixtures.h"

#include "testsupport/peak_memory.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace core;

namespace {

namespace tf = tifffixtures;
namespace bf = bmpfixtures;

constexpr int64_t kPeakBound = 50 << 20;
// A measurement header the analysis reads whole: nine fields, the fringe value in the ninth.
const std::string kWholeHeader = "Calverdine\r\nHeader Fields:9\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\nFringe:10\r\n\\\\EndHeader\r\n";

class Loader : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetSystemFolder(SORVANTA_BIN_DIR);
        // Room for the 30000 x 30000 images the files below declare: what
        // refuses them is their data, not the computer's memory.
        SetAnalysisMemoryBudget(uint64_t(64) << 30);
    }
    void TearDown() override { SetAnalysisMemoryBudget(0); }
    testsupport::TempDir dir{"loader"};
};

} // namespace

// Under a kilobyte declaring 30000 x 30000 pixels, in every compression: "The
// file cannot be opened." at once, in a few megabytes.
TEST_F(Loader, DeclaredSizesTheDataCannotFillAreRefusedInAFewMegabytes)
{
    for (const tf::Compression& c : tf::Compressions()) {
        const std::string path = dir.file(std::string(c.name) + "_ph.tif");
        tf::Write(path, tf::HugeDeclaredTiff(c));
        PhaseImageFile f;
        const int64_t peak = testsupport::PeakBytes([&] {
            f = ReadPhaseImageFile(path);
            return !f.ok && f.message == "The file cannot be opened." && f.pixels.empty();
        });
        EXPECT_GE(peak, 0) << c.name << ": refused as a file that cannot be opened";
        EXPECT_LT(peak, kPeakBound) << c.name;
    }
}

// What the main window's two readers give, the loader gives: a "*_ph.bmp" is
// read as the picture buffer reads it (its values, no header, any layout, a
// TIFF under that name too), any other name through the TIFF library.
TEST_F(Loader, ReadsTiffAndBmpPhaseImagesAsTheMainWindowDoes)
{
    const int w = 61, h = 37;
    const auto px = bf::Indices(w, h);
    for (bf::BmpKind kind : {bf::BmpKind::BottomUp, bf::BmpKind::TopDown, bf::BmpKind::Rle8, bf::BmpKind::Os2}) {
        const std::string path = dir.file("Part_PH.BMP");
        testsupport::WriteBytes(path, bf::Bmp(kind, w, h, px));
        const PhaseImageFile f = ReadPhaseImageFile(path);
        ASSERT_TRUE(f.ok) << bf::Name(kind) << ": " << f.message;
        EXPECT_EQ(f.cols, w);
        EXPECT_EQ(f.rows, h);
        EXPECT_EQ(f.header, "");
        EXPECT_EQ(f.pixels, px) << bf::Name(kind);
    }
    const std::string tiffAsBmp = dir.file("other_ph.bmp"), tiff = dir.file("other_ph.tif");
    tf::Write(tiffAsBmp, tf::ValidTiff(tf::ByName("packbits"), w, h, px, 8, kWholeHeader));
    tf::Write(tiff, tf::ValidTiff(tf::ByName("packbits"), w, h, px, 8, kWholeHeader));
    const PhaseImageFile b = ReadPhaseImageFile(tiffAsBmp);
    ASSERT_TRUE(b.ok) << b.message;
    EXPECT_EQ(b.pixels, px);
    EXPECT_EQ(b.header, "") << "a BMP phase image carries no header";
    const PhaseImageFile t = ReadPhaseImageFile(tiff);
    ASSERT_TRUE(t.ok) << t.message;
    EXPECT_EQ(t.pixels, px);
    EXPECT_EQ(t.header, kWholeHeader);
    // A BMP under a TIFF name is no TIFF.
    const std::string bmpAsTiff = dir.file("bmp_ph.tif");
    testsupport::WriteBytes(bmpAsTiff, bf::Bmp(bf::BmpKind::BottomUp, w, h, px));
    EXPECT_FALSE(ReadPhaseImageFile(bmpAsTiff).ok);
}

// Whether an image is accepted is the loader's decision, the same for every
// reader: a maker header that breaks off (a count that is no number, a text
// ending before its count, a fringe value that is not a number) makes a file
// of the wrong kind, refused by ReadPhaseImageFile itself; a header without
// its end line, or no maker header at all, is an image.
TEST_F(Loader, AMakerHeaderThatBreaksOffIsRefusedByTheLoaderItself)
{
    const int w = 20, h = 10;
    const std::vector<uint8_t> px(size_t(w) * h, 10);
    const std::string invalid = "The file cannot be opened.\rInvalid file format.";
    const struct {
        const char* what;
        std::string header;
        bool accepted;
    } cases[] = {
        {"count no number", "Calverdine\r\nHeader Fields:twelve\r\n", false},
        {"text ends before its count", "Calverdine Phase\r\nHeader Fields:12\r\nA:1\r\n", false},
        {"fringe value no number", "Calverdine\r\nHeader Fields:9\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\nFringe:ten\r\n\\\\EndHeader\r\n", false},
        {"lower-case maker, fringe cut", "CALVERDINE\r\nHeader Fields:9\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n", false},
        {"whole", kWholeHeader, true},
        {"end line missing", "Calverdine\r\nHeader Fields:9\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\nFringe:10\r\n", true},
        {"no maker header", "Other maker\r\nHeader Fields:twelve\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file("h_ph.tif");
        tf::Write(path, tf::ValidTiff(tf::ByName("none"), w, h, px, 8, c.header));
        const PhaseImageFile f = ReadPhaseImageFile(path);
        EXPECT_EQ(f.ok, c.accepted) << f.message;
        if (!c.accepted) {
            EXPECT_EQ(f.message, invalid);
            EXPECT_TRUE(f.pixels.empty());
        }
        // Every way the loader is asked gives the same answer.
        EXPECT_EQ(ReadPhaseImageFile(path, PhaseFormat::Tiff).ok, c.accepted);
        std::string message;
        EXPECT_EQ(LoadPhaseImageFile(path, &message), c.accepted) << message;
        if (!c.accepted) EXPECT_EQ(message, invalid);
    }
}

// A BMP phase image with a gigabyte after it is read exactly from its rows;
// cut short it is refused; both in a few megabytes. The memory budget refuses
// a BMP as it refuses a TIFF, before reading it.
TEST_F(Loader, PaddedTruncatedAndOverBudgetBmpPhaseImages)
{
    const int w = 301, h = 203;
    const auto px = bf::Indices(w, h);
    const auto bytes = bf::Bmp(bf::BmpKind::BottomUp, w, h, px);
    const std::string padded = dir.file("padded_ph.bmp"), cut = dir.file("cut_ph.bmp");
    testsupport::MakeSparseFile(padded, bytes, int64_t(1) << 30);
    testsupport::WriteBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.end() - w));
    const int64_t read = testsupport::PeakBytes([&] {
        const PhaseImageFile f = ReadPhaseImageFile(padded);
        return f.ok && f.pixels == px;
    });
    EXPECT_GE(read, 0) << "read exactly";
    EXPECT_LT(read, kPeakBound);
    const int64_t refused = testsupport::PeakBytes([&] {
        const PhaseImageFile f = ReadPhaseImageFile(cut);
        return !f.ok && f.message == "The picture data is incomplete.";
    });
    EXPECT_GE(refused, 0) << "refused";
    EXPECT_LT(refused, kPeakBound);

    SetAnalysisMemoryBudget(4 * uint64_t(w) * h - 1);
    EXPECT_EQ(ReadPhaseImageFile(padded).message, kNotEnoughMemoryToLoad);
    SetAnalysisMemoryBudget(4 * uint64_t(w) * h);
    EXPECT_TRUE(ReadPhaseImageFile(padded).ok);
}

// Pipes, folders, devices and huge sparse files in an image's place are
// refused without waiting or reading them; a path beyond the system's limits
// is refused with the limit named.
TEST_F(Loader, SpecialFilesAndPathsBeyondTheLimits)
{
    testsupport::HangGuard guard;
    for (const char* name : {"pipe_ph.tif", "pipe_ph.bmp"}) testsupport::MakeFifo(dir.file(name));
    for (const char* name : {"sparse_ph.tif", "sparse_ph.bmp"})
        testsupport::MakeSparseFile(dir.file(name), {}, int64_t(20) << 30);
    testsupport::Shell("mkdir -p '" + dir.file("folder_ph.tif") + "'");
    for (const std::string& path : {dir.file("pipe_ph.tif"), dir.file("pipe_ph.bmp"), dir.file("sparse_ph.tif"),
                                    dir.file("sparse_ph.bmp"), dir.file("folder_ph.tif"), std::string("/dev/zero"),
                                    dir.file("missing_ph.bmp")}) {
        const PhaseImageFile f = ReadPhaseImageFile(path);
        EXPECT_FALSE(f.ok) << path;
        EXPECT_EQ(f.message.rfind("The file cannot be opened.", 0), 0u) << path << ": " << f.message;
    }
    struct {
        std::string path, limit;
    } tooLong[] = {
        {dir.file(std::string(5267, 'p') + "_ph.tif"), "The path is longer than 4095 bytes"},
        {"/" + std::string(2000, 'a') + "/" + std::string(2000, 'b') + "/" + std::string(300, 'c') + "_ph.bmp",
         "The path is longer than 4095 bytes"},
        {dir.file(std::string(300, 'n') + "_ph.tif"), "A name in the path is longer than 255 bytes"},
    };
    for (const auto& c : tooLong) {
        const PhaseImageFile f = ReadPhaseImageFile(c.path);
        EXPECT_FALSE(f.ok);
        EXPECT_EQ(f.message.rfind("The file cannot be opened.\r" + c.limit, 0), 0u) << f.message.substr(0, 200);
    }
}
