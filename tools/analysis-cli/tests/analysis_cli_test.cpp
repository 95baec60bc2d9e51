// The analysis options shared by the command-line harnesses, and sorvanta-plot
// run with the mask, partition domain and data-file options of sorvanta-analyze.
#include "tools/analysis-cli/analysis_cli.h"

#include "app/core/model/model.h"
#include "app/editor/core/image_files.h"
#include "app/editor/core/mask_ops.h"
#include "platform/folders.h"
#include "platform/strandel_binding.h"
#include "testsupport/peak_memory.h"
#include "testsupport/testsupport.h"
#include "tifflib/tests/tiff_fixtures.h"
#include "varnholde/tests/datafile_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

using analysiscli::Options;
using Parsed = cli::Parser::Outcome;

namespace {

// The command line read by a tool's parser holding the analysis options after
// `own` (the tool's own options), then the image taken from the operands.
Parsed ParseArgs(std::vector<std::string> args, Options* o, std::string* why,
                 const std::function<void(cli::Parser&)>& own = {})
{
    args.insert(args.begin(), "tool");
    std::vector<char*> argv;
    for (std::string& s : args)
        argv.push_back(s.data());
    cli::Parser p("tool", "");
    if (own)
        own(p);
    analysiscli::AddOptions(p, o);
    std::vector<std::string> operands;
    const Parsed r = p.read(static_cast<int>(argv.size()), argv.data(), &operands, why);
    if (r != Parsed::Go)
        return r;
    *why = analysiscli::TakeImage(operands, o);
    return why->empty() ? Parsed::Go : Parsed::Bad;
}

std::string Tool(const char* name) { return testsupport::BinDir() + "/" + name; }

} // namespace

TEST(AnalysisCli, ParsesEveryAnalysisOption)
{
    Options o;
    std::string why;
    ASSERT_EQ(Parsed::Go, ParseArgs({"--grating", "200", "--rotation", "3pt", "--xy", "MM", "--z", "Microns", "--width",
                               "4", "--height", "3", "--exclude128", "OFF", "--filter", "on", "--compensate", "on",
                               "--fringe-file", "on", "--base", "B", "--mask", "M", "--partition", "P", "--domain",
                               "2", "--reference", "R", "--save", "S.dat", "img_ph.tif"},
                              &o, &why))
        << why;
    EXPECT_EQ("img_ph.tif", o.image);
    EXPECT_EQ(2, o.grating);   // 50, 100, 200: the third position
    EXPECT_EQ("mm", o.xy);
    EXPECT_EQ("microns", o.z);
    EXPECT_EQ("4", o.width);
    EXPECT_EQ("3", o.height);
    EXPECT_EQ(std::optional<bool>(false), o.exclude128);
    EXPECT_EQ(std::optional<bool>(true), o.filter);
    EXPECT_EQ(std::optional<bool>(true), o.compensate);
    EXPECT_EQ(std::optional<bool>(true), o.fringeFile);
    EXPECT_EQ("B", o.base);
    EXPECT_EQ("M", o.mask);
    EXPECT_EQ("P", o.partition);
    EXPECT_EQ(1, o.domain);   // domain 2 counts from 0
    EXPECT_EQ("R", o.reference);
    EXPECT_EQ("S.dat", o.save);
}

TEST(AnalysisCli, RefusesBadCommandLines)
{
    struct Case {
        std::vector<std::string> args;
        std::string why;
    } cases[] = {
        {{}, "no image given"},
        {{"a_ph.tif", "b_ph.tif"}, "more than one image given"},
        {{"a_ph.tif", "--grating"}, "--grating needs a value"},
        {{"--grating", "150", "a_ph.tif"}, "--grating must be 50, 100, 200, 300, 500 or 1000, not \"150\""},
        {{"--grating", "100.5", "a_ph.tif"}, "--grating must be 50, 100, 200, 300, 500 or 1000, not \"100.5\""},
        {{"--rotation", "Tilt", "a_ph.tif"}, "--rotation must be None, LSF, 4Pt, 3Pt, LSF+ or LSF-, not \"Tilt\""},
        {{"--xy", "cm", "a_ph.tif"}, "--xy must be in or mm, not \"cm\""},
        {{"--z", "nm", "a_ph.tif"}, "--z must be mils or microns, not \"nm\""},
        {{"--filter", "yes", "a_ph.tif"}, "--filter must be on or off, not \"yes\""},
        {{"--width", "abc", "a_ph.tif"}, "--width needs a number above 0, not \"abc\""},
        {{"--height", "0", "a_ph.tif"}, "--height needs a number above 0, not \"0\""},
        {{"--domain", "0", "--partition", "p", "a_ph.tif"}, "--domain needs a whole number from 1 to 499, not \"0\""},
        {{"--domain", "1.5", "--partition", "p", "a_ph.tif"}, "--domain needs a whole number from 1 to 499, not \"1.5\""},
        {{"--domain", "1", "a_ph.tif"}, "--domain and --partition go together"},
        {{"--partition", "p", "a_ph.tif"}, "--domain and --partition go together"},
        {{"--kind", "3d", "a_ph.tif"}, "unknown option --kind"},
    };
    for (const Case& c : cases) {
        Options o;
        std::string why;
        EXPECT_EQ(Parsed::Bad, ParseArgs(c.args, &o, &why)) << c.why;
        EXPECT_EQ(c.why, why);
    }
    Options o;
    std::string why;
    EXPECT_EQ(Parsed::Help, ParseArgs({"--grating", "100", "--help"}, &o, &why));
}

TEST(AnalysisCli, ToolOptionsComeFirstAndMayBeRefused)
{
    std::string kind;
    const auto own = [&kind](cli::Parser& p) {
        for (const char* name : {"--kind", "--width"})
            p.option(name, [&kind, name](const std::string& v) {
                kind = v;
                return v == "bad" ? std::string(name) + " is bad" : std::string();
            });
    };
    Options o;
    std::string why;
    ASSERT_EQ(Parsed::Go, ParseArgs({"--kind", "3d", "--grating", "50", "a_ph.tif"}, &o, &why, own)) << why;
    EXPECT_EQ("3d", kind);
    EXPECT_EQ(0, o.grating);
    // A tool's own option takes the name before the analysis options.
    Options mine;
    ASSERT_EQ(Parsed::Go, ParseArgs({"--width", "7", "a_ph.tif"}, &mine, &why, own)) << why;
    EXPECT_EQ("", mine.width);
    EXPECT_EQ("7", kind);
    Options bad;
    EXPECT_EQ(Parsed::Bad, ParseArgs({"--kind", "bad", "a_ph.tif"}, &bad, &why, own));
    EXPECT_EQ("--kind is bad", why);
}

// sorvanta-plot takes the mask and the partition domain as sorvanta-analyze
// does: each changes the picture, and --save writes the data file.
TEST(AnalysisCli, PlotTakesMaskPartitionAndSave)
{
    if (!std::filesystem::exists(Tool("sorvanta-plot")) || !std::filesystem::exists(Tool("mkphase")))
        GTEST_SKIP() << "sorvanta-plot or mkphase not built";
    testsupport::TempDir dir("clip");
    const int cols = 160, rows = 120;
    const std::string img = dir.file("Dome_ph.tif"), base = dir.file("base");
    testsupport::Shell("'" + Tool("mkphase") + "' --size 160x120 --surface dome:0.0008 '" + img + "'");

    model::ByteMatrix mask;
    mask.create(cols, rows);
    std::fill(mask.buffer().begin(), mask.buffer().end(), uint8_t(255));
    for (int y = 20; y < 70; ++y)
        for (int x = 30; x < 100; ++x)
            mask.buffer()[size_t(y) * cols + x] = 0;
    const std::string maskFile = dir.file("Dome_msk.tif");
    std::string error;
    ASSERT_TRUE(editor::WriteMaskFile(maskFile, mask, &error)) << error;

    const std::string par = dir.file("Dome_par.txt");
    const std::string parText = "40\t30\t80\t60\tmiddle\r\n160\t120\t0\t0\t0\r\n";
    testsupport::WriteBytes(par, std::vector<uint8_t>(parText.begin(), parText.end()));

    const std::string run = "'" + Tool("sorvanta-plot") + "' --base '" + base + "' --kind contour '" + img + "' ";
    struct Case {
        std::string args, out;
    } cases[] = {
        {"", "plain.bmp"},
        {"--mask '" + maskFile + "'", "masked.bmp"},
        {"--partition '" + par + "' --domain 1 --save '" + dir.file("domain.dat") + "'", "domain.bmp"},
    };
    std::vector<std::vector<uint8_t>> pictures;
    for (const Case& c : cases) {
        int rc = -1;
        const std::string out = testsupport::Shell(run + c.args + " --out '" + dir.file(c.out) + "' 2>&1", &rc);
        EXPECT_EQ(0, rc) << c.args << "\n" << out;
        pictures.push_back(testsupport::ReadBytes(dir.file(c.out)));
        EXPECT_FALSE(pictures.back().empty()) << c.args << "\n" << out;
    }
    EXPECT_NE(pictures[0], pictures[1]);
    EXPECT_NE(pictures[0], pictures[2]);
    // The data file holds the domain's 80 x 60 result.
    const std::string data = testsupport::ReadText(dir.file("domain_ab.dat"));
    EXPECT_NE(std::string::npos, data.find("Rows\t60")) << data.substr(0, 200);
    EXPECT_NE(std::string::npos, data.find("Columns\t80")) << data.substr(0, 200);

    // A domain the partition does not hold stops the run as sorvanta-analyze does.
    int rc = -1;
    const std::string out = testsupport::Shell(run + "--partition '" + par + "' --domain 2 --out '" +
                                                   dir.file("none.bmp") + "' 2>&1",
                                               &rc);
    EXPECT_EQ(1, rc);
    EXPECT_NE(std::string::npos, out.find("No domain is selected.")) << out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.bmp")));
}

// A full disk (a file-size limit with SIGXFSZ ignored, as the shell passes it
// on) makes the chart export fail: exit 1 with the reason, no partial picture;
// a result without data draws nothing.
TEST(AnalysisCli, PlotReportsAFullDiskAndAResultWithoutData)
{
    if (!std::filesystem::exists(Tool("sorvanta-plot")) || !std::filesystem::exists(Tool("mkphase")))
        GTEST_SKIP() << "sorvanta-plot or mkphase not built";
    testsupport::TempDir dir("plotdisk");
    const std::string img = dir.file("Dome_ph.tif"), blank = dir.file("Blank_ph.tif");
    testsupport::Shell("'" + Tool("mkphase") + "' --size 160x120 --surface dome:0.0008 '" + img + "'");
    testsupport::Shell("'" + Tool("mkphase") + "' --size 160x120 --blank rect:0,0,160,120 '" + blank + "'");
    const std::string run = "'" + Tool("sorvanta-plot") + "' --base '" + dir.file("base") + "' --kind 3d ";
    for (const char* out : {"full.jpg", "full.bmp"}) {
        int rc = -1;
        const std::string text =
            testsupport::Shell("trap '' XFSZ; ulimit -f 4; " + run + "--out '" + dir.file(out) + "' '" + img + "' 2>&1", &rc);
        EXPECT_EQ(1, rc) << text;
        EXPECT_NE(std::string::npos, text.find("Save Graph Error: The file cannot be saved.")) << text;
        EXPECT_FALSE(std::filesystem::exists(dir.file(out))) << out;
    }
    int rc = -1;
    const std::string text = testsupport::Shell(run + "--save '" + dir.file("b.dat") + "' --out '" +
                                                    dir.file("blank.bmp") + "' '" + blank + "' 2>&1",
                                                &rc);
    EXPECT_EQ(1, rc) << text;
    EXPECT_NE(std::string::npos, text.find("The result holds no data")) << text;
    EXPECT_FALSE(std::filesystem::exists(dir.file("blank.bmp")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("b_ab.dat")));
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))   // no temporary left behind
        EXPECT_NE('.', e.path().filename().string()[0]) << e.path();
}

TEST(AnalysisCli, AHeaderWithoutItsEndLineIsAWarningBesideOneOutcome)
{
    if (!std::filesystem::exists(Tool("sorvanta-analyze")) || !std::filesystem::exists(Tool("mkphase")))
        GTEST_SKIP() << "sorvanta-analyze or mkphase not built";
    testsupport::TempDir dir("headerend");
    const std::string img = dir.file("Dome_ph.tif");
    testsupport::Shell("'" + Tool("mkphase") + "' --size 64x48 --surface dome:0.0008 '" + img + "'");
    // The end line spelled otherwise, at the same length.
    std::vector<uint8_t> bytes = testsupport::ReadBytes(img);
    std::string text(bytes.begin(), bytes.end());
    const size_t end = text.find("\\\\EndHeader");
    ASSERT_NE(end, std::string::npos);
    bytes[end + 2] = 'X';
    testsupport::WriteBytes(img, bytes);
    std::filesystem::create_directories(dir.file("home"));
    int rc = -1;
    const std::string out = testsupport::Shell("HOME='" + dir.file("home") + "' '" + Tool("sorvanta-analyze") +
                                                   "' --base '" + dir.file("base") + "' '" + img + "' 2>&1",
                                               &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("Max Z: "), std::string::npos) << out;
    const std::string warning = "Warning: Error reading header information; the image is analysed with the header "
                                "fields that were read.\n";
    const size_t at = out.find(warning);
    EXPECT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.find("Error reading", at + warning.size()), std::string::npos) << "stated once\n" << out;
    EXPECT_EQ(out.find("Sorvanta: Error"), std::string::npos) << out;
}

namespace {

// Runs a tool with its own home, runtime folder and class registry; its output
// (standard output and error) goes into *out. Returns the exit status; *peak
// gets the tool's peak resident memory. A tool that hangs is killed by a
// generous guard (exit status 137), so that the test fails instead of waiting.
int RunTool(const testsupport::TempDir& dir, const std::string& tool, const std::string& args, std::string* out,
            int64_t* peak = nullptr)
{
    const std::string home = dir.file("home"), run = dir.file("run"), log = dir.file("tool.log");
    testsupport::Shell("mkdir -p '" + home + "' && mkdir -p -m 700 '" + run + "'");
    int rc = -1;
    const int64_t bytes = testsupport::CommandPeakBytes("HOME='" + home + "' XDG_RUNTIME_DIR='" + run +
                                                            "' SORVANTA_CLASS_REGISTRY='" + dir.file("classes.reg") +
                                                            "' timeout -s KILL 300 '" + Tool(tool.c_str()) + "' " +
                                                            args + " > '" + log +
                                                            "' 2>&1",
                                                        &rc);
    if (peak) *peak = bytes;
    *out = testsupport::ReadText(log);
    return rc;
}

// The lines "Max Z: ...", "Min Z: ...", "Coplanarity: ..." of an analysis.
std::string Figures(const std::string& out)
{
    std::string figures;
    for (const char* label : {"Max Z: ", "Min Z: ", "Coplanarity: "}) {
        const size_t at = out.find(label);
        if (at != std::string::npos) figures += out.substr(at, out.find('\n', at) - at) + "\n";
    }
    return figures;
}

bool ToolsBuilt(std::initializer_list<const char*> tools)
{
    for (const char* t : tools)
        if (!std::filesystem::exists(Tool(t))) return false;
    return true;
}

} // namespace

// sorvanta-analyze and sorvanta-plot read a BMP phase image as the main window
// does: its values, no header (so FringeValue.txt is used), the same figures
// as the same pixels in a TIFF, and a plot of the same size (its title names
// the file).
TEST(AnalysisCli, BmpPhaseImagesAreReadAsTheMainWindowReadsThem)
{
    if (!ToolsBuilt({"sorvanta-analyze", "sorvanta-plot", "mkphase"})) GTEST_SKIP() << "tools not built";
    platform::SetSystemFolder(testsupport::BinDir());
    testsupport::TempDir dir("bmpcli");
    const std::string tif = dir.file("Dome_ph.tif"), bmp = dir.file("Dome_ph.bmp"), base = dir.file("base");
    testsupport::Shell("'" + Tool("mkphase") + "' --size 160x120 --surface dome:0.0008 --no-header '" + tif + "'");
    const strandel::ReadResult r = strandel::ReadImage(tif);
    ASSERT_EQ(r.status, 0);
    std::string error;
    ASSERT_TRUE(editor::WriteGreyBmp(bmp, r.cols, r.rows, r.pixels.data(), &error)) << error;
    const std::string utility = base + "/Calverdine/Utility Files";
    testsupport::Shell("mkdir -p '" + utility + "'");
    const std::string fringe = "100\t0.98425\n";
    testsupport::WriteBytes(utility + "/FringeValue.txt", std::vector<uint8_t>(fringe.begin(), fringe.end()));

    std::string fromTif, fromBmp;
    EXPECT_EQ(RunTool(dir, "sorvanta-analyze", "--base '" + base + "' '" + tif + "'", &fromTif), 0) << fromTif;
    EXPECT_EQ(RunTool(dir, "sorvanta-analyze", "--base '" + base + "' '" + bmp + "'", &fromBmp), 0) << fromBmp;
    EXPECT_NE(Figures(fromBmp).find("Coplanarity: "), std::string::npos) << fromBmp;
    EXPECT_EQ(Figures(fromBmp), Figures(fromTif));

    std::string out;
    for (const std::string& image : {tif, bmp}) {
        const std::string picture = image + ".contour.bmp";
        EXPECT_EQ(RunTool(dir, "sorvanta-plot", "--base '" + base + "' --kind contour --out '" + picture + "' '" +
                                                    image + "'",
                          &out),
                  0)
            << out;
    }
    EXPECT_EQ(testsupport::MagickPixels(bmp + ".contour.bmp").size(), testsupport::MagickPixels(tif + ".contour.bmp").size());
    EXPECT_FALSE(testsupport::MagickPixels(bmp + ".contour.bmp").empty());
}

// Files of under a kilobyte declaring 30000 x 30000 pixels, in every
// compression, cost sorvanta-analyze and the batch engine (sorvanta-batch)
// a few megabytes more than a missing file does, and say "The file cannot be
// opened."; the batch goes on to the good image.
TEST(AnalysisCli, DeclaredSizesTheDataCannotFillCostTheToolsAFewMegabytes)
{
    if (!ToolsBuilt({"sorvanta-analyze", "sorvanta-batch", "mkphase"})) GTEST_SKIP() << "tools not built";
    testsupport::TempDir dir("hugecli");
    const std::string base = dir.file("base"), folder = dir.file("folder");
    testsupport::Shell("mkdir -p '" + folder + "' && '" + Tool("mkphase") + "' --size 64x48 --surface dome:0.0008 '" + folder +
                       "/good_ph.tif'");
    std::string out;
    int64_t baseline = -1, peak = -1;
    EXPECT_EQ(RunTool(dir, "sorvanta-analyze", "--base '" + base + "' '" + dir.file("missing_ph.tif") + "'", &out,
                      &baseline),
              1);
    ASSERT_GT(baseline, 0);
    for (const tifffixtures::Compression& c : tifffixtures::Compressions()) {
        const std::string path = folder + "/" + c.name + "_ph.tif";
        tifffixtures::Write(path, tifffixtures::HugeDeclaredTiff(c));
        EXPECT_EQ(RunTool(dir, "sorvanta-analyze", "--base '" + base + "' '" + path + "'", &out, &peak), 1) << out;
        EXPECT_NE(out.find("Load Phase Image: The file cannot be opened."), std::string::npos) << c.name << out;
        EXPECT_LT(peak - baseline, 50 << 20) << c.name;
    }
    int64_t batchBaseline = -1;
    {
        testsupport::TempDir alone("hugebatch");
        testsupport::Shell("'" + Tool("mkphase") + "' --size 64x48 --surface dome:0.0008 '" + alone.file("good_ph.tif") + "'");
        EXPECT_EQ(RunTool(dir, "sorvanta-batch", "--base '" + base + "' '" + alone.path().string() + "'", &out,
                          &batchBaseline),
                  0)
            << out;
    }
    EXPECT_EQ(RunTool(dir, "sorvanta-batch", "--base '" + base + "' '" + folder + "'", &out, &peak), 0) << out;
    const size_t images = tifffixtures::Compressions().size() + 1;
    EXPECT_NE(out.find("Number of Images Processed: 1/" + std::to_string(images)), std::string::npos) << out;
    for (const tifffixtures::Compression& c : tifffixtures::Compressions())
        EXPECT_NE(out.find(std::string(c.name) + "_ph.tif: The file cannot be opened."), std::string::npos) << out;
    EXPECT_LT(peak - batchBaseline, 50 << 20);
}

// A path longer than the system opens is refused with the limit named, when
// an image is read and when one is written.
TEST(AnalysisCli, APathBeyondTheSystemLimitIsNamed)
{
    if (!ToolsBuilt({"sorvanta-analyze"})) GTEST_SKIP() << "sorvanta-analyze not built";
    testsupport::TempDir dir("longpath");
    std::string path = dir.path().string();
    while (path.size() < 5267 - 8) path += "/" + std::string(std::min<size_t>(200, 5267 - 8 - path.size() - 1), 'd');
    path += "/a_ph.tif";
    std::string out;
    EXPECT_EQ(RunTool(dir, "sorvanta-analyze", "'" + path + "'", &out), 1) << out;
    EXPECT_NE(out.find("Load Phase Image: The file cannot be opened.\nThe path is longer than 4095 bytes, the longest "
                       "path the system opens."),
              std::string::npos)
        << out.substr(0, 300);
    platform::SetSystemFolder(testsupport::BinDir());
    const std::vector<uint8_t> px(4, 1);
    std::string error;
    EXPECT_FALSE(editor::WriteTiffImage(path, 2, 2, "", px.data(), &error));
    EXPECT_EQ(error, "The path is longer than 4095 bytes, the longest path the system opens.");

    // The data file of an analysis that worked, at a path beyond the limits.
    if (!ToolsBuilt({"mkphase"})) return;
    const std::string image = dir.file("b_ph.tif");
    testsupport::Shell("'" + Tool("mkphase") + "' --size 40x30 --surface dome:0.0008 '" + image + "'");
    const std::string dat = path.substr(0, path.size() - 8) + "b_ab.dat";
    EXPECT_EQ(RunTool(dir, "sorvanta-analyze", "--fringe-file off --save '" + dat + "' '" + image + "'", &out), 1) << out;
    EXPECT_NE(out.find("Save Data File: The file cannot be saved.\nThe path is longer than 4095 bytes"),
              std::string::npos)
        << out.substr(0, 300);
}

// Pipes as the contour style files never hold sorvanta-plot: the built-in
// style draws the plot.
TEST(AnalysisCli, StyleFilesThatArePipesNeverHoldAPlot)
{
    if (!ToolsBuilt({"sorvanta-plot", "mkphase"})) GTEST_SKIP() << "tools not built";
    testsupport::TempDir dir("stylepipe");
    const std::string img = dir.file("Dome_ph.tif"), base = dir.file("base"), picture = dir.file("contour.bmp");
    testsupport::Shell("'" + Tool("mkphase") + "' --size 96x64 --surface dome:0.0008 '" + img + "'");
    const std::string utility = base + "/Calverdine/Utility Files";
    std::filesystem::create_directories(utility);
    for (const char* name : {"Colorfill Contour.sty", "Grayfill Contour.sty", "Colorline Contour.sty",
                             "Blackline Contour.sty", "Colorgray Contour.sty"})
        testsupport::MakeFifo(utility + "/" + name);
    std::string out;
    EXPECT_EQ(RunTool(dir, "sorvanta-plot", "--base '" + base + "' --kind contour --out '" + picture + "' '" + img + "'",
                      &out),
              0)
        << out;
    EXPECT_FALSE(testsupport::MagickPixels(picture).empty()) << out;
}

// The batch's figures take the batch's own width and height, each where it
// belongs: on a part much wider than high whose bow lies on a height edge,
// the batch table's twist and bow are those Calculate Parameters gives for
// the same image and sizes.
TEST(AnalysisCli, TheBatchFiguresUseItsOwnWidthAndHeight)
{
    if (!ToolsBuilt({"sorvanta-analyze", "sorvanta-batch", "mkphase"})) GTEST_SKIP() << "tools not built";
    testsupport::TempDir dir("batchsizes");
    const std::string folder = dir.file("parts"), image = folder + "/dome_ph.tif";
    testsupport::Shell("mkdir -p '" + folder + "' && '" + Tool("mkphase") +
                       "' --size 201x101 --surface 'dome:0.0008+saddle:0.0003' '" + image + "'");
    std::string analysed, batch;
    ASSERT_EQ(RunTool(dir, "sorvanta-analyze", "--width 8 --height 1 '" + image + "'", &analysed), 0) << analysed;
    const size_t at = analysed.find("IPC Twist: ");
    ASSERT_NE(at, std::string::npos) << analysed;
    ASSERT_EQ(RunTool(dir, "sorvanta-batch", "--width 8 --height 1 '" + folder + "'", &batch), 0) << batch;
    const std::string table = testsupport::ReadText(folder + "/Batch Results for parts (Abs).txt");
    const size_t row = table.find("dome_ph.tif\t");
    ASSERT_NE(row, std::string::npos) << table;
    std::vector<std::string> fields;
    std::stringstream line(table.substr(row, table.find('\r', row) - row));
    for (std::string f; std::getline(line, f, '\t');) fields.push_back(f);
    ASSERT_EQ(fields.size(), 11u) << line.str();
    const std::string expected = "IPC Twist: " + fields[8] + "%    Bow: " + fields[9] + "%";
    EXPECT_EQ(analysed.substr(at, expected.size()), expected) << analysed << line.str();
    EXPECT_NE(fields[9], "0.00");
    EXPECT_NE(fields[8], "0.00");
}

// Every field the program puts into a data file, read back in each mode:
// text and binary, mils and microns, from sorvanta-analyze --save and from
// the batch's Generate Output (both through the program's one writer, as
// Save Data File is): the image's rows and columns, the unit the analysis
// ran in, the no-data value and the values themselves, microns 25.4 times
// mils.
TEST(AnalysisCli, DataFilesHoldEveryFieldInEachMode)
{
    if (!ToolsBuilt({"sorvanta-analyze", "sorvanta-batch", "mkphase"})) GTEST_SKIP() << "tools not built";
    testsupport::TempDir dir("datafields");
    const std::string folder = dir.file("parts"), image = folder + "/tilt_ph.tif";
    testsupport::Shell("mkdir -p '" + folder + "' && '" + Tool("mkphase") +
                       "' --size 61x37 --blank rect:0,0,8,8 --surface 'dome:0.002+plane:0.05,0.02,0' '" + image + "'");
    std::map<std::string, datafile::Data> read;   // "analyze mils .dat" ...
    for (const std::string units : {"mils", "microns"}) {
        for (const std::string ext : {".dat", ".bin"}) {
            const std::string saved = dir.file(units + "_ab" + ext);
            std::string out;
            ASSERT_EQ(RunTool(dir, "sorvanta-analyze", "--z " + units + " --save '" + saved + "' '" + image + "'", &out),
                      0)
                << out;
            const std::vector<uint8_t> bytes = testsupport::ReadBytes(saved);
            read["analyze " + units + " " + ext] = ext == ".dat" ? datafile::ReadText(bytes) : datafile::ReadBinary(bytes);

            const std::string written = folder + "/tilt_ab" + ext;
            ASSERT_EQ(RunTool(dir, "sorvanta-batch",
                              "--z " + units + " --output data " + (ext == ".dat" ? "--text" : "--binary") + " '" +
                                  folder + "'",
                              &out),
                      0)
                << out;
            EXPECT_NE(out.find("Wrote: " + written), std::string::npos) << out;
            const std::vector<uint8_t> batchBytes = testsupport::ReadBytes(written);
            read["batch " + units + " " + ext] =
                ext == ".dat" ? datafile::ReadText(batchBytes) : datafile::ReadBinary(batchBytes);
            std::filesystem::remove(written);
        }
    }
    const datafile::Data& mils = read["analyze mils .bin"];
    ASSERT_TRUE(mils.ok);
    size_t noData = 0;
    for (float v : mils.values) noData += v == 9999.0f;
    EXPECT_GT(noData, 0u) << "the blank corner has no data";
    EXPECT_LT(noData, mils.values.size());
    for (const auto& [what, d] : read) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.rows, 37);
        EXPECT_EQ(d.cols, 61);
        const bool microns = what.find("microns") != std::string::npos;
        EXPECT_EQ(d.units, microns ? "microns" : "mils");
        ASSERT_EQ(d.values.size(), mils.values.size());
        for (size_t i = 0; i < d.values.size(); ++i) {
            if (mils.values[i] == 9999.0f) {
                EXPECT_EQ(d.values[i], 9999.0f) << i;
                continue;
            }
            const float expected = microns ? mils.values[i] * 25.4f : mils.values[i];
            // Text holds the values to the digits it prints.
            EXPECT_NEAR(d.values[i], expected, 1e-4f * std::max(1.0f, std::fabs(expected))) << i;
        }
    }
}
