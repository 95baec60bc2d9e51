// The crop-domains and burn-mask folder jobs.
#include "app/editor/core/folder_jobs.h"
#include "app/editor/core/image_files.h"
#include "editor_test_util.h"
#include "platform/folderjobs.h"

#include <filesystem>

using namespace editor;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> FilesIn(const std::string& folder)
{
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) out.push_back(fs::relative(e.path(), folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

// The domain's pixels cut from a pattern image, with 128 where the mask is 0.
std::vector<uint8_t> Expected(int cols, int rows, int seed, const model::Domain& d, const model::ByteMatrix* mask)
{
    const auto px = edtest::Pattern(cols, rows, seed);
    std::vector<uint8_t> out;
    for (int y = d.Top; y < d.Top + d.Height; ++y)
        for (int x = d.Left; x < d.Left + d.Width; ++x) {
            uint8_t v = px[size_t(y) * cols + x];
            if (mask && (*mask)(x, y) == 0) v = 128;
            out.push_back(v);
        }
    return out;
}

const std::vector<model::Domain> kDomains = {{2, 3, 20, 10, "Left"}, {30, 8, 16, 12, "Right"}};

} // namespace

TEST(CropNames, TheThreeNamingRules)
{
    EXPECT_EQ("part7_Left_ph.tif", CroppedFileName(CropNaming::AppendDomainToOriginal, "part7_ph.tif", "Left", "tif"));
    EXPECT_EQ("Left_part7_ph.tif", CroppedFileName(CropNaming::AppendOriginalToDomain, "part7_ph.tif", "Left", "tif"));
    EXPECT_EQ("Left_ph.tif", CroppedFileName(CropNaming::UseDomainName, "part7_ph.tif", "Left", "tif"));
    EXPECT_EQ("PART7_Left_ph.bmp", CroppedFileName(CropNaming::AppendDomainToOriginal, "PART7_PH.BMP", "Left", "BMP"));
}

TEST(CropDomainsJob, FolderRunCropsMatchingImagesAndListsTheOthers)
{
    testsupport::TempDir src("src"), dst("dst");
    edtest::WriteTiff(src.file("a_ph.tif"), 64, 48, 1);
    edtest::WriteTiff(src.file("b_ph.tif"), 64, 48, 2, "not a maker header");
    edtest::WriteTiff(src.file("c_ph.tif"), 32, 32, 3);
    edtest::WriteTiff(src.file("other.tif"), 64, 48, 4);
    edtest::MakeCurrentImage(64, 48);
    // A mask blanks one pixel of the first domain.
    model::images.MaskImage.create(64, 48, 255);
    model::images.MaskImage(5, 4) = 0;
    model::state.MaskInMemory = true;

    CropDomainsOptions o;
    o.sourceFolder = src.path().string();
    o.destination = dst.path().string();
    std::vector<int> progress;
    std::string counter;
    JobCallbacks cb;
    cb.progress = [&](int v, int max) { progress.push_back(v * 100 + max); };
    cb.counter = [&](int p, int t) { counter = std::to_string(p) + "/" + std::to_string(t); };
    JobOutcome out = RunCropDomains(o, kDomains, cb);
    ASSERT_TRUE(out.ran) << out.message;
    EXPECT_EQ(2, out.processed);
    EXPECT_EQ(3, out.total);
    EXPECT_EQ("2/3", counter);
    EXPECT_EQ("c_ph.tif\r", out.skippedList);
    EXPECT_TRUE(out.failedWrites.empty());
    // Progress over 3 files x 2 domains; the skipped third file adds nothing.
    EXPECT_EQ((std::vector<int>{6, 106, 206, 306, 406}), progress);
    EXPECT_EQ((std::vector<std::string>{"a_Left_ph.tif", "a_Right_ph.tif", "b_Left_ph.tif", "b_Right_ph.tif"}),
              FilesIn(dst.path().string()));

    for (int seed : {1, 2}) {
        for (const model::Domain& d : kDomains) {
            const std::string path = dst.file(std::string(seed == 1 ? "a" : "b") + "_" + d.Name + "_ph.tif");
            strandel::ReadResult r = strandel::ReadImage(path);
            ASSERT_EQ(0, r.status) << path;
            EXPECT_EQ(d.Width, r.cols);
            EXPECT_EQ(d.Height, r.rows);
            EXPECT_EQ(Expected(64, 48, seed, d, &model::images.MaskImage), r.pixels) << path;
            // The maker header is kept, any other header dropped.
            EXPECT_EQ(seed == 1 ? edtest::kHeader : "", r.header) << path;
        }
    }
}

TEST(CropDomainsJob, SubfoldersAndNamesOfEveryLayout)
{
    testsupport::TempDir src("src");
    edtest::WriteTiff(src.file("a_ph.tif"), 64, 48, 1);
    edtest::WriteTiff(src.file("b_ph.tif"), 64, 48, 2);
    const struct {
        bool domainSubfolders, imageSubfolders;
        CropNaming naming;
        std::vector<std::string> files;
    } layouts[] = {
        {true, false, CropNaming::AppendDomainToOriginal,
         {"Left/a_Left_ph.tif", "Left/b_Left_ph.tif", "Right/a_Right_ph.tif", "Right/b_Right_ph.tif"}},
        {false, true, CropNaming::UseDomainName, {"a/Left_ph.tif", "a/Right_ph.tif", "b/Left_ph.tif", "b/Right_ph.tif"}},
        {false, false, CropNaming::AppendOriginalToDomain,
         {"Left_a_ph.tif", "Left_b_ph.tif", "Right_a_ph.tif", "Right_b_ph.tif"}},
    };
    for (const auto& l : layouts) {
        testsupport::TempDir dst("dst");
        edtest::MakeCurrentImage(64, 48);
        CropDomainsOptions o;
        o.sourceFolder = src.path().string();
        o.destination = dst.path().string();
        o.domainSubfolders = l.domainSubfolders;
        o.imageSubfolders = l.imageSubfolders;
        o.naming = l.naming;
        std::vector<int> progress;
        JobCallbacks cb;
        cb.progress = [&](int v, int max) { progress.push_back(v * 100 + max); };
        const JobOutcome out = RunCropDomains(o, kDomains, cb);
        ASSERT_TRUE(out.ran) << out.message;
        EXPECT_EQ(2, out.processed);
        EXPECT_EQ("", out.skippedList);
        EXPECT_EQ(l.files, FilesIn(dst.path().string()));
        EXPECT_EQ((std::vector<int>{4, 104, 204, 304, 404}), progress);
        const strandel::ReadResult r = strandel::ReadImage(dst.path().string() + "/" + l.files[1]);
        ASSERT_EQ(0, r.status);
        EXPECT_EQ(Expected(64, 48, l.imageSubfolders ? 1 : 2, kDomains[l.imageSubfolders ? 1 : 0], nullptr), r.pixels);
    }
}

TEST(CropDomainsJob, BmpOutputsAreEightBitGreyWithTheSamePixels)
{
    testsupport::TempDir src("src"), dst("dst");
    // Phase-image BMPs carry the grey level as the palette index (identity grey palette).
    const auto srcPx = edtest::Pattern(64, 48, 5);
    ASSERT_TRUE(WriteGreyBmp(src.file("p_ph.bmp"), 64, 48, srcPx.data()));
    ASSERT_EQ(edtest::Pattern(64, 48, 5), testsupport::MagickPixels(src.file("p_ph.bmp")));
    edtest::MakeCurrentImage(64, 48);

    CropDomainsOptions o;
    o.sourceFolder = src.path().string();
    o.destination = dst.path().string();
    o.format = "bmp";
    o.domainSubfolders = true;
    o.naming = CropNaming::AppendOriginalToDomain;
    JobOutcome out = RunCropDomains(o, kDomains);
    ASSERT_TRUE(out.ran) << out.message;
    EXPECT_EQ(1, out.processed);
    EXPECT_EQ((std::vector<std::string>{"Left/Left_p_ph.bmp", "Right/Right_p_ph.bmp"}), FilesIn(dst.path().string()));
    for (const model::Domain& d : kDomains) {
        const std::string path = dst.file(d.Name + "/" + d.Name + "_p_ph.bmp");
        EXPECT_EQ(Expected(64, 48, 5, d, nullptr), testsupport::MagickPixels(path)) << path;
        const std::string info = testsupport::Shell("identify -format '%w %h %[bit-depth] %[type]' '" + path + "'");
        EXPECT_EQ(std::to_string(d.Width) + " " + std::to_string(d.Height) + " 8 Grayscale", info);
        GreyImage g = ReadGreyImage(path, "bmp");
        ASSERT_TRUE(g.ok) << g.message;
        EXPECT_EQ(Expected(64, 48, 5, d, nullptr), g.pixels);
    }
}

TEST(CropDomainsJob, CurrentImageWithEllipseAndImageSubfoldersIgnored)
{
    testsupport::TempDir dst("dst");
    edtest::MakeCurrentImage(64, 48, 9, "/somewhere/part7_ph.tif");
    model::files.ImageHeaderText = edtest::kHeader;
    CropDomainsOptions o;
    o.currentImage = true;
    o.destination = dst.path().string();
    o.ellipse = true;
    o.imageSubfolders = true;
    o.naming = CropNaming::UseDomainName;
    std::string counter;
    JobCallbacks cb;
    cb.counter = [&](int p, int t) { counter = std::to_string(p) + "/" + std::to_string(t); };
    JobOutcome out = RunCropDomains(o, {{0, 0, 5, 5, "Left"}}, cb);
    ASSERT_TRUE(out.ran);
    EXPECT_EQ("1/1", counter);
    strandel::ReadResult r = strandel::ReadImage(dst.file("Left_ph.tif"));
    ASSERT_EQ(0, r.status);
    EXPECT_EQ(128, r.pixels[0]);
    EXPECT_EQ(edtest::Pattern(64, 48, 9)[2], r.pixels[2]);
    EXPECT_EQ(edtest::kHeader, r.header);
}

TEST(CropDomainsJob, RefusalsAndSourcesNeverReplaced)
{
    testsupport::TempDir src("src");
    edtest::MakeCurrentImage(64, 48);
    CropDomainsOptions o;
    o.sourceFolder = src.path().string();
    o.destination = src.path().string();
    JobOutcome none = RunCropDomains(o, kDomains);
    EXPECT_FALSE(none.ran);
    EXPECT_EQ("No phase images found in this folder.", none.message);
    EXPECT_EQ("Folder Selection Error", none.title);

    // Domain-name-only output in the source folder would replace Left_ph.tif.
    edtest::WriteTiff(src.file("Left_ph.tif"), 64, 48, 1);
    const auto before = testsupport::ReadBytes(src.file("Left_ph.tif"));
    o.naming = CropNaming::UseDomainName;
    JobOutcome out = RunCropDomains(o, {{0, 0, 4, 4, "Left"}});
    ASSERT_TRUE(out.ran);
    EXPECT_EQ(0, out.processed);
    EXPECT_EQ(1u, out.failedWrites.size());
    EXPECT_EQ(before, testsupport::ReadBytes(src.file("Left_ph.tif")));

    // A name that would leave the destination is refused before anything is written.
    EXPECT_FALSE(RunCropDomains(o, {{0, 0, 4, 4, ".."}}).ran);

    // A second run while one is going on is refused.
    platform::JobGuard running("Crop Domains");
    EXPECT_FALSE(RunCropDomains(o, kDomains).ran);
}

TEST(BurnMaskJob, MaskedBytesBecomeBlankTheRestIsKept)
{
    testsupport::TempDir src("src"), dst("dst");
    edtest::WriteTiff(src.file("a_ph.tif"), 64, 48, 1);
    edtest::WriteTiff(src.file("b_ph.tif"), 32, 32, 2);
    edtest::MakeCurrentImage(64, 48);
    model::images.MaskImage.create(64, 48, 255);
    for (int y = 5; y < 15; ++y)
        for (int x = 10; x < 30; ++x) model::images.MaskImage(x, y) = 0;
    model::state.MaskInMemory = true;

    BurnMaskOptions o;
    o.sourceFolder = src.path().string();
    o.destination = dst.path().string();
    o.maskedSubfolder = true;
    o.tagFilenames = true;
    JobOutcome out = RunBurnMask(o);
    ASSERT_TRUE(out.ran) << out.message;
    EXPECT_EQ(1, out.processed);
    EXPECT_EQ(2, out.total);
    EXPECT_EQ("b_ph.tif\r", out.skippedList);
    EXPECT_EQ((std::vector<std::string>{"Masked/a_msk_ph.tif"}), FilesIn(dst.path().string()));
    strandel::ReadResult r = strandel::ReadImage(dst.file("Masked/a_msk_ph.tif"));
    ASSERT_EQ(0, r.status);
    const auto px = edtest::Pattern(64, 48, 1);
    for (size_t i = 0; i < px.size(); ++i)
        ASSERT_EQ(model::images.MaskImage.buffer()[i] == 0 ? 128 : px[i], r.pixels[i]) << i;
    EXPECT_EQ(edtest::kHeader, r.header);
}

TEST(BurnMaskJob, SourceEqualToDestinationIsRefusedHoweverWritten)
{
    testsupport::TempDir src("src");
    edtest::WriteTiff(src.file("a_ph.tif"), 64, 48, 1);
    edtest::WriteTiff(src.file("b_ph.tif"), 64, 48, 2);
    const auto a = testsupport::ReadBytes(src.file("a_ph.tif"));
    const auto b = testsupport::ReadBytes(src.file("b_ph.tif"));
    edtest::MakeCurrentImage(64, 48);
    model::images.MaskImage.create(64, 48, 0);
    model::state.MaskInMemory = true;
    fs::create_symlink(src.path(), src.path().string() + "-link");

    const std::string dir = src.path().string();
    for (const std::string& dest : {dir, dir + "/", dir + "/.", dir + "-link", dir + "-link/"}) {
        BurnMaskOptions o;
        o.sourceFolder = dir;
        o.destination = dest;
        JobOutcome out = RunBurnMask(o);
        EXPECT_FALSE(out.ran) << dest;
        EXPECT_EQ("Select a different destination directory\rOr choose a filename output option.", out.message);
        EXPECT_EQ("Output Path Error", out.title);
    }
    // Sources listed through the link, written into the real folder: refused too.
    BurnMaskOptions o;
    o.sourceFolder = dir + "-link/";
    o.destination = dir;
    EXPECT_FALSE(RunBurnMask(o).ran);
    EXPECT_EQ(a, testsupport::ReadBytes(src.file("a_ph.tif")));
    EXPECT_EQ(b, testsupport::ReadBytes(src.file("b_ph.tif")));
    fs::remove(src.path().string() + "-link");

    // With tagged names the outputs go beside the sources.
    o.sourceFolder = dir;
    o.tagFilenames = true;
    JobOutcome tagged = RunBurnMask(o);
    ASSERT_TRUE(tagged.ran);
    EXPECT_EQ(2, tagged.processed);
    EXPECT_TRUE(fs::exists(src.file("a_msk_ph.tif")));
    EXPECT_EQ(a, testsupport::ReadBytes(src.file("a_ph.tif")));
}

// The folder jobs take the loader's decision on each image: one whose
// measurement header breaks off (the fringe value is not a number) is a file
// of the wrong kind, skipped and listed, never cropped or masked as an image
// without a header.
TEST(FolderJobs, AnImageWhoseHeaderBreaksOffIsSkipped)
{
    testsupport::TempDir src("src"), crop("crop"), burn("burn");
    edtest::WriteTiff(src.file("a_ph.tif"), 64, 48, 1);
    std::string broken = edtest::kHeader;
    broken.replace(broken.find("0.5"), 3, "ten");
    edtest::WriteTiff(src.file("broken_ph.tif"), 64, 48, 2, broken);
    edtest::MakeCurrentImage(64, 48);
    model::images.MaskImage.create(64, 48, 255);
    model::images.MaskImage(5, 4) = 0;
    model::state.MaskInMemory = true;

    CropDomainsOptions c;
    c.sourceFolder = src.path().string();
    c.destination = crop.path().string();
    JobOutcome out = RunCropDomains(c, kDomains, {});
    ASSERT_TRUE(out.ran) << out.message;
    EXPECT_EQ(1, out.processed);
    EXPECT_EQ("broken_ph.tif\r", out.skippedList);
    EXPECT_EQ((std::vector<std::string>{"a_Left_ph.tif", "a_Right_ph.tif"}), FilesIn(crop.path().string()));

    BurnMaskOptions b;
    b.sourceFolder = src.path().string();
    b.destination = burn.path().string();
    out = RunBurnMask(b);
    ASSERT_TRUE(out.ran) << out.message;
    EXPECT_EQ(1, out.processed);
    EXPECT_EQ("broken_ph.tif\r", out.skippedList);
    EXPECT_EQ(1u, FilesIn(burn.path().string()).size());
}
