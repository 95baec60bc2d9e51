// Generate Output on a folder of synthetic phase images: the files written
// for each image and for the folder, their pictures, the refusals, images and
// files that cannot be read or written, and the user's image in memory.
#include "app/batch/output.h"

#include "app/batch/config/utility_files.h"
#include "app/core/model/model.h"
#include "platform/folders.h"
#include "plots/charts/chart3d_render.h"
#include "platform/strandel_binding.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/testsupport.h"
#include "tools/synth/synth.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace batch;
namespace fs = std::filesystem;

namespace {

void WritePhase(const std::string& path, bool header, const std::string& surface)
{
    std::string err;
    const int cols = 120, rows = 90;
    auto z = synth::ParseSurface(surface, cols, rows, &err);
    auto px = synth::WrapToPhase(cols, rows, z, 0.5, synth::ParseBlank("border:5", cols, rows, &err));
    ASSERT_EQ(0, strandel::WriteTIFFFile(path, cols, rows, header ? synth::MakeHeader(0.5, cols, rows) : "",
                                         px.data()));
}

std::set<std::string> Files(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename().string());
    return names;
}

// Width and height as ImageMagick reads the picture.
std::string MagickSize(const std::string& path)
{
    return testsupport::Shell("identify -format '%w %h' '" + path + "' 2>&1");
}

class Output : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::OffscreenApp();
        platform::SetBaseFolder(dir.file("base"));
        platform::SetSystemFolder(testsupport::BinDir());
        model::ResetModel();
        model::files.ImageFileFormat = "TIF";
        model::state.CalibratedFringeValue = -1.0f;
        batchcfg::InstallUtilityFiles();
        folder = dir.file("parts");
        fs::create_directories(folder);
        WritePhase(folder + "/a_ph.tif", true, "dome:0.0004");
        WritePhase(folder + "/b_ph.tif", true, "saddle:0.0003+plane:0.002,0,0");
        WritePhase(folder + "/c_ph.tif", true, "dome:0.0002");
        run.images = {{"a_ph.tif", folder + "/a_ph.tif", true},
                      {"b_ph.tif", folder + "/b_ph.tif", true},
                      {"c_ph.tif", folder + "/c_ph.tif", false}};   // the run left no result for c
        run.boxes.rotation = "LSF";
        options.plot3D = options.contour = options.diagonal = options.saveData = true;
        options.zMin = "-2";
        options.zMax = "3.5";
        options.folder = folder;
        surface.setSize(QSize(640, 480));
        contour.setKind(charts::ChartKind::Contour);
        contour.setSize(QSize(600, 500));
        diagonal.setSize(QSize(700, 400));
        for (charts::Chart3D* l : {&surfaceLegend, &contourLegend}) {
            l->setKind(charts::ChartKind::LegendOnly);
            l->setSize(QSize(180, 480));
        }
    }
    OutputCharts Charts() { return {&surface, &contour, &diagonal, &surfaceLegend, &contourLegend}; }
    void ExpectPicture(const std::string& path, QSize size, bool bitmap)
    {
        EXPECT_EQ(MagickSize(path), std::to_string(size.width()) + " " + std::to_string(size.height())) << path;
        const std::vector<uint8_t> rgb = testsupport::MagickPixels(path, "rgb");
        EXPECT_GT(std::set<uint8_t>(rgb.begin(), rgb.end()).size(), 8u) << path << " is uniform";
        const std::vector<uint8_t> bytes = testsupport::ReadBytes(path);
        ASSERT_GT(bytes.size(), 30u);
        if (bitmap) {
            EXPECT_EQ(bytes[0], 'B');
            EXPECT_EQ(bytes[28], 24) << path << " is not 24-bit";
        } else {
            EXPECT_EQ(bytes[0], 0xFF);
            EXPECT_EQ(bytes[1], 0xD8);
        }
    }

    testsupport::TempDir dir{"output"};
    std::string folder;
    OutputRun run;
    OutputOptions options;
    charts::Chart3D surface, contour, surfaceLegend, contourLegend;
    charts::Chart2D diagonal;
};

} // namespace

TEST(OutputRules, RefusalsNamesAndCaption)
{
    struct Case {
        bool any;
        const char *zMin, *zMax, *dMin, *dMax;
        const char* text;
    };
    const Case cases[] = {
        {false, "5", "5", "", "", "No output selected."},
        {true, "5", "5", "", "", "Z Max must be greater then Z Min."},
        {true, "5", "", "", "", ""},
        {true, "1", "2", "3", "1", "Diagonal Max must be greater then Diagonal Min."},
        {true, "abc", "1", "", "x", ""},
        {true, "1", "1.0000001", "", "", "Z Max must exceed Z Min by at least 0.000001."},
        {true, "", "", "0", "0.0000005", "Diagonal Max must exceed Diagonal Min by at least 0.000001."},
        {true, "-2", "1e300", "", "", "Z Max must be a number from -999999 to 999999."},
    };
    for (const Case& k : cases) {
        OutputOptions o;
        o.diagonal = k.any;
        o.zMin = k.zMin;
        o.zMax = k.zMax;
        o.diagMin = k.dMin;
        o.diagMax = k.dMax;
        EXPECT_EQ(CheckOutputRequest(o).text, k.text) << k.zMin << " " << k.zMax;
    }
    EXPECT_EQ(CheckOutputRequest(OutputOptions{}).title, "Batch Processing Error");
    EXPECT_EQ(OutputBaseName("/d/a_ph.tif"), "/d/a");
    EXPECT_EQ(ProcessedCaption(7, 10), "Phase Images Processed: 7/10");
}

TEST_F(Output, AbsoluteRunWritesTheNamedFilesForAnalysedImagesOnly)
{
    // The user's image in memory.
    model::images.ImageCols = 3;
    model::images.XMax = 2;
    model::images.CurrentPhase.create(3, 2, 9);
    model::files.DataSetName = "mine";

    std::vector<std::string> progress;
    const OutputReport r = GenerateOutput(run, options, Charts(), [&](int v, int n, int total) {
        progress.push_back(std::to_string(v) + ":" + ProcessedCaption(n, total));
    });
    EXPECT_TRUE(r.failed.empty()) << r.failed.front();
    EXPECT_EQ(r.processed, 2);
    EXPECT_EQ(progress, (std::vector<std::string>{"1:Phase Images Processed: 1/3", "2:Phase Images Processed: 2/3"}));

    const std::vector<std::string> expected = {
        folder + "/a_ab.dat", folder + "/a_3D.bmp", folder + "/a_ctr.bmp", folder + "/a_dia.bmp",
        folder + "/b_ab.dat", folder + "/b_3D.bmp", folder + "/b_ctr.bmp", folder + "/b_dia.bmp",
        folder + "/3D Legend (-2.0 to 3.5 mils).bmp", folder + "/Contour Legend (-2.0 to 3.5 mils).bmp",
        folder + "/Diagonal Legend.bmp"};
    EXPECT_EQ(r.written, expected);
    std::set<std::string> names = {"a_ph.tif", "b_ph.tif", "c_ph.tif"};
    for (const std::string& p : expected) names.insert(fs::path(p).filename().string());
    EXPECT_EQ(Files(folder), names);

    for (const char* img : {"a", "b"}) {
        const std::string base = folder + "/" + img;
        ExpectPicture(base + "_3D.bmp", surface.size(), true);
        ExpectPicture(base + "_ctr.bmp", contour.size(), true);
        ExpectPicture(base + "_dia.bmp", diagonal.size(), true);
        EXPECT_GT(testsupport::ReadText(base + "_ab.dat").size(), 1000u);
    }
    ExpectPicture(folder + "/3D Legend (-2.0 to 3.5 mils).bmp", surfaceLegend.size(), true);
    EXPECT_EQ(surfaceLegend.headerText(), "Z (mils)");
    EXPECT_EQ(surface.headerText(), "b_ph.tif");
    EXPECT_TRUE(surface.footerText().startsWith("Coplanarity = ")) << surface.footerText().toStdString();
    EXPECT_FLOAT_EQ(r.surfaceLevelStep, 5.5f / 64);

    // The user's image is still in memory.
    EXPECT_EQ(model::images.XMax, 2);
    EXPECT_EQ(model::images.CurrentPhase.buffer(), std::vector<uint8_t>(6, 9));
    EXPECT_EQ(model::files.DataSetName, "mine");
}

TEST_F(Output, RelativeJpegRunInMicronsWithBinaryData)
{
    model::files.ZUnits = "microns";
    model::files.ZFormat = "0";
    run.referenceDisplacement.create(120, 90, 0.0f);   // the run's reference
    run.refXMax = 119;
    run.refYMax = 89;
    run.relative = true;
    run.referenceIndex = 0;
    options.bitmap = false;
    options.textData = false;
    options.contour = false;
    options.zMin = "-50";
    options.zMax = "90";
    const OutputReport r = GenerateOutput(run, options, Charts());
    EXPECT_TRUE(r.failed.empty()) << r.failed.front();
    const std::vector<std::string> expected = {
        folder + "/a_rel.bin", folder + "/a_rel_3D.jpg", folder + "/a_rel_dia.jpg",
        folder + "/b_rel.bin", folder + "/b_rel_3D.jpg", folder + "/b_rel_dia.jpg",
        folder + "/3D Legend (-50 to 90 microns).jpg", folder + "/Diagonal Legend.jpg"};
    EXPECT_EQ(r.written, expected);
    for (const char* img : {"a", "b"}) ExpectPicture(folder + "/" + img + "_rel_3D.jpg", surface.size(), false);
    ExpectPicture(folder + "/3D Legend (-50 to 90 microns).jpg", surfaceLegend.size(), false);
    EXPECT_EQ(surfaceLegend.headerText(), "Z (microns)");
    // Two header lines: the image, then its reference.
    EXPECT_EQ(surface.headerText(), "b_ph.tif\rReference: a_ph.tif");
    EXPECT_EQ(diagonal.headerText(), "b_ph.tif\rReference: a_ph.tif");
    EXPECT_EQ(surface.axisTitle(charts::Axis3D::Z), "Displacement (microns)");
    // The CR breaks the header line in both chart kinds: the header takes two
    // lines' height and the plot starts lower than under a one-line header.
    const int twoLines = surface.layout().headerRect().height();
    const double diagonalTop = diagonal.plotRect().top();
    surface.setHeaderText("b_ph.tif");
    diagonal.setHeaderText("b_ph.tif");
    EXPECT_GT(twoLines, surface.layout().headerRect().height() * 3 / 2);
    EXPECT_GT(diagonalTop, diagonal.plotRect().top() + 8);
}

TEST_F(Output, ImagesAndFilesThatCannotBeReadOrWrittenAreListedAndTheRestGoOn)
{
    // d cannot be read; e has no maker header and the grating is not calibrated;
    // b's 3D picture cannot be written (a folder holds its name).
    testsupport::WriteBytes(folder + "/d_ph.tif", {'n', 'o', 't'});
    WritePhase(folder + "/e_ph.tif", false, "dome:0.0004");
    fs::create_directories(folder + "/b_3D.bmp");
    run.images.push_back({"d_ph.tif", folder + "/d_ph.tif", true});
    run.images.push_back({"e_ph.tif", folder + "/e_ph.tif", true});
    options.contour = options.saveData = false;
    fs::remove(batchcfg::UtilityFilePath(batchcfg::kDiagonalLegendBmp));
    const OutputReport r = GenerateOutput(run, options, Charts());
    EXPECT_EQ(r.processed, 2);
    ASSERT_EQ(r.failed.size(), 3u);
    EXPECT_EQ(r.failed[0].rfind(folder + "/b_3D.bmp: ", 0), 0u) << r.failed[0];
    EXPECT_EQ(r.failed[1].rfind(folder + "/d_ph.tif: ", 0), 0u) << r.failed[1];
    EXPECT_EQ(r.failed[2].rfind(folder + "/Diagonal Legend.bmp: ", 0), 0u) << r.failed[2];
    const std::set<std::string> files = Files(folder);
    EXPECT_TRUE(files.count("b_dia.bmp"));
    EXPECT_TRUE(files.count("a_3D.bmp"));
    for (const char* none : {"d_3D.bmp", "d_dia.bmp", "e_3D.bmp", "e_dia.bmp", "Diagonal Legend.bmp"})
        EXPECT_FALSE(files.count(none)) << none;
    // No leftovers of the failed writes.
    for (const std::string& f : files) EXPECT_EQ(f.find(".tmp"), std::string::npos) << f;
}

TEST_F(Output, CommandLineWritesTheSameOutputsWithoutWindows)
{
    const std::string tool = testsupport::BinDir() + "/sorvanta-batch";
    int code = -1;
    const std::string out = testsupport::Shell("'" + tool + "' --base '" + dir.file("base") +
                                                   "' --relative a_ph.tif --output 3d,diagonal,data --jpeg --binary"
                                                   " --zmin -5 --zmax 5 '" + folder + "' 2>&1",
                                               &code);
    EXPECT_EQ(code, 0) << out;
    for (const char* name : {"a_rel.bin", "a_rel_3D.jpg", "a_rel_dia.jpg", "b_rel.bin", "b_rel_3D.jpg",
                             "c_rel_dia.jpg", "3D Legend (-5.0 to 5.0 mils).jpg", "Diagonal Legend.jpg"})
        EXPECT_NE(out.find("Wrote: " + folder + "/" + name), std::string::npos) << name << "\n" << out;
    EXPECT_EQ(out.find("_ctr"), std::string::npos) << out;
    ExpectPicture(folder + "/b_rel_3D.jpg", QSize(860, 640), false);
    EXPECT_NE(testsupport::Shell("'" + tool + "' --output 3d,plots '" + folder + "' 2>&1").find("--output takes"),
              std::string::npos);
}

// A folder whose name is not UTF-8: every file, pictures and legends
// included, is written under the folder's own bytes, never into the folder
// its text names (U+FFFD in place of the byte).
TEST_F(Output, AFolderWhoseNameIsNotUtf8KeepsItsBytesOrSaysWhy)
{
    const std::string odd = dir.file("lat\xe9"), sibling = dir.file("lat\xef\xbf\xbd");
    fs::create_directories(odd);
    fs::create_directories(sibling);
    WritePhase(odd + "/a_ph.tif", true, "dome:0.0004");
    run.images = {{"a_ph.tif", odd + "/a_ph.tif", true}};
    options.folder = odd;
    options.contour = false;
    const OutputReport r = GenerateOutput(run, options, Charts());
    EXPECT_EQ(r.written, (std::vector<std::string>{odd + "/a_ab.dat", odd + "/a_3D.bmp", odd + "/a_dia.bmp",
                                                   odd + "/3D Legend (-2.0 to 3.5 mils).bmp",
                                                   odd + "/Diagonal Legend.bmp"}));
    EXPECT_TRUE(r.failed.empty());
    EXPECT_TRUE(Files(sibling).empty());
    EXPECT_EQ(Files(odd), (std::set<std::string>{"a_ph.tif", "a_ab.dat", "a_3D.bmp", "a_dia.bmp",
                                                 "3D Legend (-2.0 to 3.5 mils).bmp", "Diagonal Legend.bmp"}));
    ExpectPicture(odd + "/a_3D.bmp", QSize(640, 480), true);
}
