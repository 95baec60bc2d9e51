// Masks: rectangles, undo, mask files, the shared save and open dialogs, burn.
#include "app/editor/core/image_files.h"
#include "app/editor/core/mask_ops.h"
#include "app/editor/core/save_dialog.h"
#include "app/core/tests/file_limit.h"
#include "editor_test_util.h"
#include "platform/dialogs.h"
#include "platform/messages.h"

using namespace editor;

namespace {

int CountZerosInRect(const std::vector<uint8_t>& px, int cols, int l, int t, int w, int h, int* outside)
{
    int in = 0;
    *outside = 0;
    for (size_t i = 0; i < px.size(); ++i) {
        const int x = int(i % size_t(cols)), y = int(i / size_t(cols));
        const bool inside = x >= l && x < l + w && y >= t && y < t + h;
        if (px[i] == 0) (inside ? in : *outside) += 1;
        else if (px[i] != 255) *outside += 1000;
    }
    return in;
}

} // namespace

TEST(Mask, CreateAddFinishWritesTheMaskFile)
{
    testsupport::TempDir dir;
    edtest::MakeCurrentImage(64, 48);
    model::files.WorkingFolder = dir.path().string() + "/";
    BeginMask();
    ASSERT_TRUE(AddMaskRect(10, 5, 20, 10));

    platform::ScriptedDialogs dialogs;
    platform::ScriptedMessages messages;
    dialogs.queueFile(dir.file("part3"));        // no extension: refused
    dialogs.queueFile(dir.file("part3.TIF"));    // upper case accepted, ending forced on
    SaveName name = AskSaveName({"Save Mask", "Mask TIF Files (*_msk.tif)|*_msk.tif", ".tif", "_msk.tif",
                                 "Save Mask Error", false, true});
    ASSERT_TRUE(name.confirmed);
    EXPECT_EQ(dir.file("part3_msk.tif"), name.path);
    EXPECT_EQ("part3.TIF", name.fileTitle);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("The file cannot be saved.\rInvalid filename specified.", messages.records[0].text);
    EXPECT_EQ("Save Mask Error", messages.records[0].title);
    EXPECT_EQ(2u, dialogs.fileRequests.size());
    EXPECT_EQ("Save Mask", dialogs.fileRequests[0].title);
    EXPECT_TRUE(dialogs.fileRequests[0].promptOverwrite);

    std::string err;
    ASSERT_TRUE(WriteMaskFile(name.path, model::images.MaskImage, &err)) << err;
    strandel::ReadResult r = strandel::ReadImage(name.path);
    ASSERT_EQ(0, r.status);
    EXPECT_EQ(64, r.cols);
    EXPECT_EQ(48, r.rows);
    EXPECT_EQ("", r.header);
    ASSERT_EQ(3072u, r.pixels.size());
    int outside = 0;
    EXPECT_EQ(200, CountZerosInRect(r.pixels, 64, 10, 5, 20, 10, &outside));
    EXPECT_EQ(0, outside);

    const std::string dump = testsupport::Shell("tiffdump '" + name.path + "'");
    EXPECT_NE(std::string::npos, dump.find("ImageWidth (256) SHORT (3) 1<64>")) << dump;
    EXPECT_NE(std::string::npos, dump.find("ImageLength (257) SHORT (3) 1<48>")) << dump;
    EXPECT_NE(std::string::npos, dump.find("BitsPerSample (258) SHORT (3) 1<8>")) << dump;
    // ImageMagick reads the same bytes.
    EXPECT_EQ(r.pixels, testsupport::MagickPixels(name.path));
    // Display shows the masked pixels white.
    EXPECT_EQ(255, model::images.DisplayImage(10, 5));
    EXPECT_NE(255, model::images.DisplayImage(9, 5));
}

TEST(Mask, MaskDrawnByImageMagickLoadsWithTheSameZeros)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("drawn_msk.tif");
    int code = 0;
    testsupport::Shell("convert -size 64x48 xc:white -fill black -draw 'rectangle 10,5 29,14' -depth 8 "
                       "-type Grayscale -compress None '" + path + "'",
                       &code);
    ASSERT_EQ(0, code);
    MaskRead r = ReadMaskFile(path, 64, 48);
    ASSERT_EQ(MaskRead::Ok, r.status) << r.message;
    int outside = 0;
    EXPECT_EQ(200, CountZerosInRect(r.mask.buffer(), 64, 10, 5, 20, 10, &outside));
    EXPECT_EQ(0, outside);

    MaskRead other = ReadMaskFile(path, 32, 24);
    EXPECT_EQ(MaskRead::SizeMismatch, other.status);
    EXPECT_EQ("Mask dimensions 64 (X) x 48 (Y) do not match current phase image size.",
              MaskSizeMessage(other.width, other.height));
    EXPECT_EQ(MaskRead::CannotOpen, ReadMaskFile(dir.file("none_msk.tif"), 64, 48).status);
}

TEST(Mask, UndoTakesOutTheLastRectangleOnlyAndNeverAfterARefusedAdd)
{
    edtest::MakeCurrentImage(64, 48);
    BeginMask();
    ASSERT_TRUE(AddMaskRect(0, 0, 10, 10));
    ASSERT_TRUE(AddMaskRect(5, 5, 10, 10));
    UndoMaskRect();
    // The overlap becomes unmasked although the first rectangle covered it.
    EXPECT_EQ(0, model::images.MaskImage(4, 4));
    EXPECT_EQ(255, model::images.MaskImage(5, 5));
    EXPECT_EQ(model::images.PhaseImage(5, 5), model::images.DisplayImage(5, 5));

    // A refused add (outside) keeps the last accepted rectangle as the one to undo.
    ASSERT_TRUE(AddMaskRect(50, 40, 10, 5));
    EXPECT_FALSE(AddMaskRect(60, 45, 10, 10));
    EXPECT_FALSE(AddMaskRect(-3, 0, 5, 5));
    const model::ByteMatrix before = model::images.MaskImage;
    UndoMaskRect();
    EXPECT_EQ(255, model::images.MaskImage(55, 42));
    int changed = 0;
    for (size_t i = 0; i < before.size(); ++i) changed += before.buffer()[i] != model::images.MaskImage.buffer()[i];
    EXPECT_EQ(50, changed);
    UndoMaskRect();   // nothing left to undo
    EXPECT_EQ(0, model::images.MaskImage(0, 0));
}

TEST(Mask, BurnWritesBlankUnderTheMaskAndKeepsTheHeader)
{
    testsupport::TempDir dir;
    const std::string source = dir.file("src_ph.tif");
    edtest::WriteTiff(source, 64, 48, 3);
    strandel::ReadResult src = strandel::ReadImage(source);
    ASSERT_EQ(0, src.status);
    edtest::MakeCurrentImage(64, 48, 3, source);
    model::files.ImageHeaderText = src.header;
    model::files.WorkingFolder = dir.path().string() + "/";
    BeginMask();
    ASSERT_TRUE(AddMaskRect(10, 5, 20, 10));
    ASSERT_TRUE(BurnMaskIntoPhase());

    platform::ScriptedDialogs dialogs;
    platform::ScriptedMessages messages;
    dialogs.queueFile(source);                    // exists: refused, never overwritten
    dialogs.queueFile(dir.file("burned.tif"));
    SaveName name = AskSaveName({"Save Phase Image", "Phase Image TIF Files (*_ph.tif)|*_ph.tif", ".tif", "_ph.tif",
                                 "Save Image Error", true, false});
    ASSERT_TRUE(name.confirmed);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("An existing file cannot be overwritten.\rType a new file name.", messages.records[0].text);
    EXPECT_EQ(dir.file("burned_ph.tif"), name.path);
    std::string err;
    const auto& im = model::images;
    ASSERT_TRUE(WriteTiffImage(name.path, im.FullXMax + 1, im.FullYMax + 1, model::files.ImageHeaderText,
                               im.PhaseImage.data(), &err))
        << err;

    strandel::ReadResult out = strandel::ReadImage(name.path);
    ASSERT_EQ(0, out.status);
    EXPECT_EQ(src.header, out.header);
    EXPECT_EQ(edtest::kHeader, out.header);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const size_t i = size_t(y) * 64 + x;
            const bool masked = x >= 10 && x < 30 && y >= 5 && y < 15;
            ASSERT_EQ(masked ? 128 : src.pixels[i], out.pixels[i]) << x << "," << y;
        }
    // The source is untouched.
    EXPECT_EQ(src.pixels, strandel::ReadImage(source).pixels);
}

TEST(Mask, BurnIsRefusedWhenTheMaskHasAnotherSize)
{
    edtest::MakeCurrentImage(64, 48);
    model::images.MaskImage.create(32, 24, 0);
    const auto before = model::images.PhaseImage;
    EXPECT_FALSE(BurnMaskIntoPhase());
    EXPECT_EQ(before, model::images.PhaseImage);
}

TEST(ImageFiles, FailedWritesAreReportedAndLeaveNothing)
{
    testsupport::TempDir dir;
    std::vector<uint8_t> px(16, 1);
    std::string err;
    EXPECT_FALSE(WriteTiffImage(dir.file("no/such/folder/a_ph.tif"), 4, 4, "", px.data(), &err));
    EXPECT_FALSE(err.empty());
    EXPECT_FALSE(WriteGreyBmp(dir.file("no/such/folder/a_ph.bmp"), 4, 4, px.data(), &err));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_EQ("", DerivedHeader("calverdine lower case"));
    EXPECT_EQ("Calverdine x", DerivedHeader("Calverdine x"));
}

TEST(ImageFiles, SizesOutsideOneTo32767AreRefusedByBothWriters)
{
    testsupport::TempDir dir;
    const std::vector<uint8_t> px(16, 1);   // never read: the size is checked first
    for (const auto& [cols, rows] : std::vector<std::pair<int, int>>{{0, 4}, {4, 0}, {-1, 4}, {32768, 1}, {1, 32768}}) {
        std::string tifErr, bmpErr;
        EXPECT_FALSE(WriteTiffImage(dir.file("a_ph.tif"), cols, rows, "", px.data(), &tifErr)) << cols << "x" << rows;
        EXPECT_FALSE(WriteGreyBmp(dir.file("a_ph.bmp"), cols, rows, px.data(), &bmpErr)) << cols << "x" << rows;
        EXPECT_EQ("The image size is not valid.", tifErr);
        EXPECT_EQ("The image size is not valid.", bmpErr);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(FileDialogs, OpenDialogAsksAgainUntilTheKindsEndingAndGivesNothingOnCancel)
{
    model::files.WorkingFolder = "/data/";
    platform::ScriptedDialogs dialogs;
    platform::ScriptedMessages messages;
    dialogs.queueFile("/data/wafer.txt");        // not a partition file: refused
    dialogs.queueFile("/data/WAFER_PAR.TXT");    // letter case ignored
    EXPECT_EQ("/data/WAFER_PAR.TXT", AskOpenName("Load Partition", "Partition Files (*_par.txt)|*_par.txt",
                                                 "*_par.txt", "Load Partition Error"));
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("The file cannot be opened.\rInvalid file format.", messages.records[0].text);
    EXPECT_EQ("Load Partition Error", messages.records[0].title);
    ASSERT_EQ(2u, dialogs.fileRequests.size());
    EXPECT_EQ(platform::FileDialogRequest::Open, dialogs.fileRequests[1].kind);
    EXPECT_EQ("Load Partition", dialogs.fileRequests[1].title);
    EXPECT_EQ("Partition Files (*_par.txt)|*_par.txt", dialogs.fileRequests[1].filter);
    EXPECT_EQ("/data/", dialogs.fileRequests[1].initialFolder);

    dialogs.queueFileCancel();
    EXPECT_EQ("", AskOpenName("Load Mask", "Mask TIF Files (*_msk.tif)|*_msk.tif", "*_msk.tif", "Load Mask Error"));
    EXPECT_EQ(1u, messages.records.size());
}

TEST(GreyBmp, AFullDiskKeepsTheOldPicture)
{
    testsupport::TempDir dir("bmpdisk");
    const std::string path = dir.file("old.bmp");
    const std::vector<uint8_t> small(4 * 3, 9), large(200 * 100, 7);
    ASSERT_TRUE(editor::WriteGreyBmp(path, 4, 3, small.data()));
    const auto before = testsupport::ReadBytes(path);
    // A 20 KB picture on a disk with room for 2 KB: refused with a reason, the old file whole.
    EXPECT_TRUE(coretest::WithFileSizeLimit(2048, [&] {
        std::string error;
        return !editor::WriteGreyBmp(path, 200, 100, large.data(), &error) && !error.empty();
    }));
    EXPECT_EQ(testsupport::ReadBytes(path), before);
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()));
}
