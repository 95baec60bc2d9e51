// End-to-end runs through the analysis library: synthetic images written by
// mkphase, analysed by sorvanta-analyze and by the pipeline in this process.
#include "app/core/figures.h"
#include "app/core/grating.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/pipeline.h"
#include "app/core/reset.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/strandel_binding.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sstream>

using namespace core;
using model::NoDataValue;

namespace {

std::string Bin(const std::string& name) { return testsupport::BinDir() + "/" + name; }

std::string MakePhase(const testsupport::TempDir& dir, const std::string& name, const std::string& surface,
                      const std::string& extra = "")
{
    const std::string path = dir.file(name);
    int rc = -1;
    const std::string out = testsupport::Shell(Bin("mkphase") + " --size 201x101 --fringe 10 --surface '" + surface +
                                                   "' " + extra + " '" + path + "'",
                                               &rc);
    EXPECT_EQ(rc, 0) << out;
    return path;
}

struct ToolRun {
    int rc = -1;
    std::string out;
    std::map<std::string, std::string> lines;   // "Max Z" -> "13.3", "IPC Twist" -> the whole parameters line
};

ToolRun Analyze(const std::string& args)
{
    ToolRun r;
    r.out = testsupport::Shell(Bin("sorvanta-analyze") + " " + args, &r.rc);
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t c = line.find(": ");
        if (c != std::string::npos)
            r.lines[line.substr(0, c)] = line.substr(c + 2);
        if (line.rfind("IPC Twist:", 0) == 0)
            r.lines["Parameters"] = line;
    }
    return r;
}

// The number after `label` in a parameters line ("Bow: -1.00%" -> -1.00).
double Figure(const std::string& params, const std::string& label)
{
    const size_t p = params.find(label + ": ");
    return p == std::string::npos ? 9999 : std::stod(params.substr(p + label.size() + 2));
}

class EndToEnd : public ::testing::Test {
protected:
    testsupport::TempDir dir{"e2e"};
};

} // namespace

TEST_F(EndToEnd, CylinderSaddleAndLevelling)
{
    const std::string cyl = MakePhase(dir, "cyl_ph.tif", "cylinder:0.002,100");
    const std::string sad = MakePhase(dir, "sad_ph.tif", "saddle:0.001,100,50");

    ToolRun c = Analyze("--width 2 --height 1 '" + cyl + "'");
    ASSERT_EQ(c.rc, 0) << c.out;
    EXPECT_EQ(c.lines["Coplanarity"], "20.0");
    EXPECT_NE(c.lines["Parameters"].find("Bow: -1.00%"), std::string::npos) << c.out;
    EXPECT_NE(c.lines["Parameters"].find("Center Deflection: 20.0 mils"), std::string::npos) << c.out;

    ToolRun s = Analyze("--width 2 --height 1 '" + sad + "'");
    ASSERT_EQ(s.rc, 0) << s.out;
    EXPECT_EQ(s.lines["Parameters"].rfind("IPC Twist: 0.45%", 0), 0u) << s.out;

    ToolRun low = Analyze("--rotation LSF+ '" + cyl + "'");
    ToolRun high = Analyze("--rotation LSF- '" + cyl + "'");
    ToolRun none = Analyze("--rotation 4Pt '" + cyl + "'");
    EXPECT_EQ(low.lines["Min Z"], "0.0") << low.out;
    EXPECT_EQ(high.lines["Max Z"], "0.0") << high.out;
    EXPECT_EQ(low.lines["Coplanarity"], c.lines["Coplanarity"]);
    EXPECT_EQ(high.lines["Coplanarity"], c.lines["Coplanarity"]);
    EXPECT_EQ(none.lines["Maximum Deflection"], "20.0") << none.out;
    EXPECT_EQ(low.lines.count("Parameters"), 0u);   // no sample size, no parameters
}

TEST_F(EndToEnd, FiguresHoldWithFilterUnitsAndBorder)
{
    const std::string cyl = MakePhase(dir, "cyl_ph.tif", "cylinder:0.002,100+noise:0.02,3");
    const std::string sad = MakePhase(dir, "sad_ph.tif", "saddle:0.001,100,50");

    // The 3 x 3 filter window is cut at the image edge, so the corner values
    // move toward the inside by about half a pixel (0.2 mils on this surface).
    ToolRun f = Analyze("--filter on --width 2 --height 1 '" + cyl + "'");
    ASSERT_EQ(f.rc, 0) << f.out;
    EXPECT_NEAR(Figure(f.lines["Parameters"], "Bow"), -1.00, 0.011) << f.out;
    EXPECT_NEAR(Figure(f.lines["Parameters"], "Center Deflection"), 20.0, 0.25) << f.out;

    // 2 x 1 in = 50.8 x 25.4 mm, 20 mils = 508 microns: the percentages stay.
    ToolRun m = Analyze("--xy mm --z microns --width 50.8 --height 25.4 '" + cyl + "'");
    ASSERT_EQ(m.rc, 0) << m.out;
    EXPECT_NEAR(Figure(m.lines["Parameters"], "Bow"), -1.00, 0.011) << m.out;
    EXPECT_NEAR(Figure(m.lines["Parameters"], "Center Deflection"), 508, 2) << m.out;
    EXPECT_NE(m.lines["Parameters"].find(" microns"), std::string::npos);
    ToolRun ms = Analyze("--xy mm --z microns --width 50.8 --height 25.4 '" + sad + "'");
    EXPECT_EQ(ms.lines["Parameters"].rfind("IPC Twist: 0.45%", 0), 0u) << ms.out;

    // A 5 % blank border (10 columns, 5 rows): the corner search finds the first
    // data pixels 10 steps in along the diagonals, at (10, 5), (190, 95) ...
    // so the figures are those of the inner corners: 0.002 x 90^2 = 16.2 mils,
    // bow -16.2 / 2 in x 0.1 = -0.81 %, twist (4 x 4.05 / sqrt 5) / 2 x 0.1.
    const std::string cylB = MakePhase(dir, "cylb_ph.tif", "cylinder:0.002,100", "--blank border:5");
    const std::string sadB = MakePhase(dir, "sadb_ph.tif", "saddle:0.001,100,50", "--blank border:5");
    ToolRun b = Analyze("--width 2 --height 1 '" + cylB + "'");
    ASSERT_EQ(b.rc, 0) << b.out;
    EXPECT_NEAR(Figure(b.lines["Parameters"], "Center Deflection"), 16.2, 0.11) << b.out;
    EXPECT_NEAR(Figure(b.lines["Parameters"], "Bow"), -0.81, 0.011) << b.out;
    EXPECT_EQ(b.lines["Coplanarity"], "16.2");
    ToolRun sb = Analyze("--width 2 --height 1 '" + sadB + "'");
    EXPECT_NEAR(Figure(sb.lines["Parameters"], "IPC Twist"), 0.36, 0.011) << sb.out;
}

TEST_F(EndToEnd, HarnessReportsErrorsAndSavesData)
{
    const std::string cyl = MakePhase(dir, "cyl_ph.tif", "cylinder:0.002,100");
    ToolRun r = Analyze("--compensate on '" + cyl + "'");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.out.find("Analysis Setup Error: Compensation requires image physical Width(X) and Height(Y)."),
              std::string::npos)
        << r.out;

    ToolRun missing = Analyze("'" + dir.file("nothing_ph.tif") + "'");
    EXPECT_EQ(missing.rc, 1);
    EXPECT_NE(missing.out.find("The file cannot be opened."), std::string::npos);

    // An image without header needs FringeValue.txt; without one the reason is shown.
    const std::string bare = MakePhase(dir, "bare_ph.tif", "cylinder:0.002,100", "--no-header");
    ToolRun nofile = Analyze("--base '" + dir.path().string() + "' '" + bare + "'");
    EXPECT_EQ(nofile.rc, 1);
    EXPECT_NE(nofile.out.find("Calibration Needed: FringeValue.txt cannot be read.\n"), std::string::npos)
        << nofile.out;

    // Domain 1 of a partition: columns 50..149, corners 5 and 4.8 mils above the centre.
    const std::string par = dir.file("cyl_par.txt");
    const std::string parText = "50\t20\t100\t50\tmiddle\r\n201\t101\t0\t0\t0\r\n";
    testsupport::WriteBytes(par, std::vector<uint8_t>(parText.begin(), parText.end()));
    ToolRun domain = Analyze("--partition '" + par + "' --domain 1 --width 1 --height 0.5 '" + cyl + "'");
    ASSERT_EQ(domain.rc, 0) << domain.out;
    EXPECT_NE(domain.lines["Parameters"].find("Center Deflection: 4.9 mils"), std::string::npos) << domain.out;
    ToolRun noDomain = Analyze("--partition '" + par + "' --domain 2 '" + cyl + "'");
    EXPECT_EQ(noDomain.rc, 1);
    EXPECT_NE(noDomain.out.find("Analysis Setup Error: No domain is selected."), std::string::npos) << noDomain.out;

    ToolRun saved = Analyze("--save '" + dir.file("part1.dat") + "' '" + cyl + "'");
    ASSERT_EQ(saved.rc, 0) << saved.out;
    EXPECT_TRUE(platform::FileExists(dir.file("part1_ab.dat")));
    ToolRun rel = Analyze("--reference '" + cyl + "' --save '" + dir.file("Part1_REL.BIN") + "' '" + cyl + "'");
    ASSERT_EQ(rel.rc, 0) << rel.out;
    EXPECT_EQ(rel.lines["Coplanarity"], "0.0");
    EXPECT_TRUE(platform::FileExists(dir.file("Part1_REL.BIN")));
}

namespace {

// Loads an image into this process's model as the windows would.
class InProcess : public EndToEnd {
protected:
    void SetUp() override
    {
        model::ResetModel();
        model::state.StartupInProgress = false;
        model::files.XYUnits = "in";
        model::files.ZUnits = "mils";
        model::files.ZFormat = "0.0";
        SetUnitScaleFactor();
        platform::SetBaseFolder(dir.path().string());
        const std::string path = MakePhase(dir, "cyl_ph.tif", "cylinder:0.002,100");
        std::string message;
        ASSERT_TRUE(LoadPhaseImageFile(path, &message, &installed)) << message;
    }
    InstalledImage installed;
    platform::ScriptedMessages messages;
};

} // namespace

TEST_F(InProcess, LoaderFillsTheModel)
{
    EXPECT_TRUE(installed.hasHeader);
    EXPECT_EQ(installed.fringeLabel, "10.000000 (mils)");
    EXPECT_EQ(installed.imageLabel, "Image: cyl_ph.tif (201 x 101)");
    EXPECT_EQ(model::images.FullXMax, 200);
    EXPECT_EQ(model::images.YMax, 100);
    EXPECT_EQ(model::images.CurrentPhase, model::images.PhaseImage);
    EXPECT_EQ(model::images.DisplayImage, model::images.PhaseImage);
    EXPECT_EQ(model::files.WorkingFolder, dir.path().string() + "/");
    EXPECT_EQ(model::files.DataSetName, "cyl_ph.tif");
    EXPECT_TRUE(model::state.PhaseInMemory);
}

TEST_F(InProcess, BatchCornerCheckRefusesCornerLevellings)
{
    AnalysisOptions o;
    o.rotation = 2;   // 4 Pt
    ASSERT_TRUE(BatchAnalyzeImage(false, o));
    EXPECT_NEAR(model::state.ZRange, 20.0f, 0.1f);

    // A blank corner byte, kept blank: no data at (XMax, 0).
    model::images.CurrentPhase = model::images.PhaseImage;
    model::images.CurrentPhase(200, 0) = model::BlankPhaseValue;
    const float before = model::state.MaxZ;
    EXPECT_FALSE(BatchAnalyzeImage(false, o));
    EXPECT_EQ(model::images.ResultMatrix(200, 0), NoDataValue);
    EXPECT_EQ(model::state.MaxZ, before);   // no range of this image
    o.rotation = 3;
    EXPECT_FALSE(BatchAnalyzeImage(false, o));
    o.rotation = 1;   // Lsf levels the same image
    EXPECT_TRUE(BatchAnalyzeImage(false, o));

    // The same through the batch mask; a mask of another size is not applied.
    model::images.CurrentPhase = model::images.PhaseImage;
    model::batch.BatchMask.create(201, 101, 255);
    model::batch.BatchMask(0, 100) = 0;
    model::batch.BatchMaskCols = 201;
    model::batch.BatchMaskRows = 101;
    o.useMask = true;
    o.rotation = 2;
    EXPECT_FALSE(BatchAnalyzeImage(false, o));
    model::batch.BatchMaskCols = 200;
    EXPECT_TRUE(BatchAnalyzeImage(false, o));

    // Exclude 128 off: the blank byte is analysed as 127 and the corner has data.
    model::images.CurrentPhase(200, 0) = model::BlankPhaseValue;
    o.exclude128 = false;
    o.useMask = false;
    EXPECT_TRUE(BatchAnalyzeImage(false, o));

    // Relative to itself: all zero.
    o.rotation = 1;
    ASSERT_TRUE(BatchAnalyzeImage(false, o));
    model::images.ReferenceDisplacement = model::images.Displacement;
    EXPECT_TRUE(BatchAnalyzeImage(true, o));
    EXPECT_FLOAT_EQ(model::state.ZRange, 0.0f);
    model::images.ReferenceDisplacement.create(10, 10);   // another size: refused, not overrun
    EXPECT_FALSE(BatchAnalyzeImage(true, o));
    model::images.CurrentPhase.clear();                   // no image prepared: refused
    EXPECT_FALSE(BatchAnalyzeImage(false, o));
}

// A batch keeps the storage of its matrices from image to image (no matrix
// is made again while the size stays), and the unwrapped phase, converted in
// place, is handed on to Displacement. Converting without an unwrapped phase
// of the region's size is refused rather than read past its end.
TEST_F(InProcess, MatricesAreKeptFromImageToImage)
{
    AnalysisOptions o;
    o.rotation = 1;
    auto& im = model::images;
    ASSERT_TRUE(BatchAnalyzeImage(false, o));
    const float range = model::state.ZRange;
    const std::vector<float> first = im.Displacement.buffer();
    EXPECT_TRUE(im.UnwrappedPhase.empty());
    const float* displacement = im.Displacement.data();
    const float* result = im.ResultMatrix.data();
    const uint8_t* working = im.WorkingPhase.data();
    ASSERT_TRUE(BatchAnalyzeImage(false, o));
    EXPECT_EQ(im.Displacement.data(), displacement);
    EXPECT_EQ(im.ResultMatrix.data(), result);
    EXPECT_EQ(im.WorkingPhase.data(), working);
    EXPECT_EQ(im.Displacement.buffer(), first);
    EXPECT_EQ(model::state.ZRange, range);

    model::state.FringeValue = 10.0f;
    const StepResult refused = PhaseToDisplacement();
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.failure, "No unwrapped phase of the analysed region is in memory.");
    EXPECT_EQ(im.Displacement.buffer(), first);
}

TEST_F(InProcess, RegionProblemsStopBeforeAnythingIsComputed)
{
    AnalysisOptions o;
    auto& mp = model::maskPartition;
    model::images.Displacement.create(1, 1, 42.0f);

    model::state.PartitionInMemory = true;
    mp.DomainTable[0] = {0, 0, 100, 50, "left"};
    mp.DomainTable[1] = {201, 101, 0, 0, ""};
    mp.DomainCount = 2;
    o.domain = -1;
    EXPECT_FALSE(RunCalculateDisplacement(o).completed);
    o.domain = 1;   // the image-size row is no domain
    EXPECT_FALSE(RunCalculateDisplacement(o).completed);
    mp.DomainTable[0] = {150, 0, 100, 50, "overhang"};
    o.domain = 0;
    EXPECT_FALSE(RunCalculateDisplacement(o).completed);
    ASSERT_EQ(messages.records.size(), 3u);
    EXPECT_EQ(messages.records[0].text, "No domain is selected.\rSelect the domain to analyse.");
    EXPECT_EQ(messages.records[2].title, "Analysis Setup Error");
    EXPECT_NE(messages.records[2].text.find("overhang"), std::string::npos);

    model::state.PartitionInMemory = false;
    model::state.MaskInMemory = true;
    model::images.MaskImage.create(100, 50, 255);
    EXPECT_FALSE(RunCalculateDisplacement(o).completed);
    EXPECT_EQ(messages.records.back().text,
              "The mask in memory (100 x 50) does not match the size of the image (201 x 101).\r"
              "Clear the mask or make a new one.");
    EXPECT_EQ(model::images.Displacement.size(), 1u);   // nothing computed

    model::state.MaskInMemory = false;
    model::state.PhaseInMemory = false;
    messages.records.clear();
    EXPECT_FALSE(RunCalculateDisplacement(o).completed);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, "No Phase Data in Memory");
    EXPECT_EQ(messages.records[0].style, 0);
    EXPECT_EQ(messages.records[0].title, "Sorvanta");
}

namespace {
struct Window : AnalysisWindow {
    std::vector<std::string> calls;
    void ShowProcessing() override { calls.push_back("processing"); }
    void ShowResults(const std::string& a, const std::string& b, const std::string& c) override
    {
        calls.push_back("results " + a + " " + b + " " + c);
    }
    void SetReferenceCaption(const std::string& c) override { calls.push_back(c); }
    void UncheckRelative() override { calls.push_back("uncheck relative"); }
};
} // namespace

TEST_F(InProcess, DomainReferenceAndRelative)
{
    Window window;
    SetAnalysisWindow(&window);
    auto& mp = model::maskPartition;
    model::state.PartitionInMemory = true;
    mp.DomainTable[0] = {50, 20, 100, 50, "middle"};
    mp.DomainTable[1] = {201, 101, 0, 0, ""};
    mp.DomainCount = 2;
    AnalysisOptions o;
    o.domain = 0;
    o.setReference = true;
    ASSERT_TRUE(RunCalculateDisplacement(o).completed);
    EXPECT_EQ(model::images.ImageCols, 100);
    EXPECT_EQ(model::images.ImageRows, 50);
    EXPECT_EQ(model::images.FullXMax, 200);
    EXPECT_EQ(model::images.ChartData.cols(), 100);
    EXPECT_EQ(model::images.ChartData.rows(), 50);
    EXPECT_TRUE(model::state.ReferenceInMemory);
    ASSERT_EQ(window.calls.size(), 3u);
    EXPECT_EQ(window.calls[0], "processing");
    EXPECT_EQ(window.calls[1], "Reference: Domain 1 (100 x 50)");

    // Relative to a reference of another size: warned, absolute result.
    model::state.PartitionInMemory = false;
    o.setReference = false;
    o.relative = true;
    CalculateOutcome r = RunCalculateDisplacement(o);
    ASSERT_TRUE(r.completed);
    EXPECT_FALSE(model::state.RelativeResult);
    EXPECT_EQ(messages.records.back().text,
              "Current and Reference images have different dimensions.\rAbsolute displacement will be reported.");
    EXPECT_EQ(window.calls[window.calls.size() - 2], "uncheck relative");
    EXPECT_EQ(r.range, "20.0");
    SetAnalysisWindow(nullptr);
}

namespace {

// Records what the calculation tells the window, ClearResultDisplay included.
struct ResultWindow : AnalysisWindow {
    int processing = 0, results = 0, cleared = 0, uncheckedCompensate = 0;
    void ClearResultDisplay() override { ++cleared; }
    void ShowProcessing() override { ++processing; }
    void ShowResults(const std::string&, const std::string&, const std::string&) override { ++results; }
    void UncheckCompensate() override { ++uncheckedCompensate; }
};

// Writes "Calverdine/Utility Files/NAME" under the test's base folder.
void WriteUtilityFile(const testsupport::TempDir& dir, const std::string& name, const std::string& text)
{
    const std::string folder = platform::UtilityFolder();
    testsupport::Shell("mkdir -p '" + folder + "'");
    testsupport::WriteBytes(platform::JoinPath(folder, name), std::vector<uint8_t>(text.begin(), text.end()));
}

// A compensation table: every grating an area of `area` x `area` inches and
// the five surface terms `term`.
std::string GratingTable(const std::string& area, const std::string& term)
{
    std::string t;
    for (int g = 0; g < 6; ++g) {
        t += area + "\r\n" + area + "\r\n";
        for (int i = 2; i < 8; ++i)
            t += term + "\r\n";
    }
    return t;
}

class Failures : public InProcess {
protected:
    void SetUp() override
    {
        InProcess::SetUp();
        SetAnalysisWindow(&window);
    }
    void TearDown() override
    {
        SetAnalysisWindow(nullptr);
        SetAnalysisMemoryBudget(0);
    }
    // Runs the command; expects it stopped after it started, with nothing shown.
    void ExpectStoppedWithoutFigures(const AnalysisOptions& o, const std::string& text)
    {
        messages.records.clear();
        window = ResultWindow();
        const CalculateOutcome r = RunCalculateDisplacement(o);
        EXPECT_FALSE(r.completed);
        EXPECT_EQ(window.results, 0);
        EXPECT_EQ(window.processing, window.cleared);   // a started run puts the window back
        ASSERT_EQ(messages.records.size(), 1u);
        EXPECT_NE(messages.records[0].text.find(text), std::string::npos) << messages.records[0].text;
        EXPECT_EQ(messages.records[0].style, 16);
    }
    ResultWindow window;
};

} // namespace

TEST_F(Failures, UnusableFringeValuesStopBeforeTheCalculation)
{
    // Header values, and FringeValue.txt entries, that give no measurement.
    for (float v : {0.0f, -1.0f, 9999.0f, 3e38f, 1e9f, 1e-30f}) {
        model::state.HeaderFringeValue = v;
        ExpectStoppedWithoutFigures(AnalysisOptions(), "cannot be used");
        EXPECT_EQ(window.processing, 0) << v;
        EXPECT_EQ(messages.records[0].title, "Analysis Setup Error");
    }
    AnalysisOptions o;
    o.useFringeFile = true;
    for (const char* entry : {"1e39", "1e-320", "3e38", "5000"}) {
        WriteUtilityFile(dir, "FringeValue.txt", std::string("100 ") + entry + "\r\n");
        ExpectStoppedWithoutFigures(o, "FringeValue.txt");
        EXPECT_EQ(window.processing, 0) << entry;
        EXPECT_EQ(messages.records[0].title, "Calibration Needed");
    }
    WriteUtilityFile(dir, "FringeValue.txt", "100 10\r\n");
    model::state.HeaderFringeValue = 0;
    EXPECT_TRUE(RunCalculateDisplacement(o).completed);

    // A value just past a bound is shown with the digits that put it there.
    for (const auto& [value, shown] : {std::pair{1000.0001f, "1000.0001"}, std::pair{1000.00006f, "1000.00006"}}) {
        model::state.HeaderFringeValue = value;
        ExpectStoppedWithoutFigures(AnalysisOptions(), std::string("gives the fringe value ") + shown + " (mils)");
    }
    model::state.HeaderFringeValue = 0;

    // The batch analysis refuses the same values with the same reason.
    std::string reason;
    model::images.CurrentPhase = model::images.PhaseImage;
    EXPECT_FALSE(BatchAnalyzeImage(false, AnalysisOptions(), &reason));
    EXPECT_NE(reason.find("The image header gives the fringe value 0 (mils), which cannot be used."),
              std::string::npos)
        << reason;
    model::state.CalibratedFringeValue = 1e9f;
    EXPECT_FALSE(BatchAnalyzeImage(false, o, &reason));
    EXPECT_NE(reason.find("FringeValue.txt gives"), std::string::npos) << reason;
    model::state.CalibratedFringeValue = 10.0f;
    EXPECT_TRUE(BatchAnalyzeImage(false, o, &reason)) << reason;
}

TEST_F(Failures, AResultWithoutDataShowsNoFigures)
{
    AnalysisOptions o;
    const std::string noData = "The result holds no data";
    // An all-zero mask.
    model::state.MaskInMemory = true;
    model::images.MaskImage.create(201, 101, 0);
    ExpectStoppedWithoutFigures(o, noData);
    EXPECT_EQ(messages.records[0].title, "Analysis Error");
    EXPECT_EQ(window.processing, 1);
    // An all-blank image, with every levelling.
    model::state.MaskInMemory = false;
    model::images.PhaseImage.create(201, 101, model::BlankPhaseValue);
    for (int rotation = 0; rotation < 6; ++rotation) {
        o.rotation = rotation;
        ExpectStoppedWithoutFigures(o, noData);
    }
    // The batch analysis says the same.
    model::images.CurrentPhase = model::images.PhaseImage;
    std::string reason;
    EXPECT_FALSE(BatchAnalyzeImage(false, o, &reason));
    EXPECT_NE(reason.find(noData), std::string::npos) << reason;
}

// A frame of blank bytes carries no measurement even when Exclude 128 is off
// (any BMP, any TIFF without header): no figures, single image and batch
// alike; so is a frame whose only unmasked pixels are blank.
TEST_F(Failures, ABlankFrameIsNoDataWhateverExclude128Says)
{
    const std::string noData = "The result holds no data";
    struct Case {
        const char* what;
        bool exclude128;
        bool maskKeepsOnlyBlank;
    };
    const Case cases[] = {{"excluded", true, false}, {"analysed as 127", false, false},
                          {"blank where the mask keeps", false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto& im = model::images;
        im.PhaseImage.create(201, 101, model::BlankPhaseValue);
        model::state.MaskInMemory = c.maskKeepsOnlyBlank;
        if (c.maskKeepsOnlyBlank) {
            // Data in the left half, masked; blank right half, kept.
            im.MaskImage.create(201, 101, 255);
            for (int y = 0; y < 101; ++y)
                for (int x = 0; x < 100; ++x) {
                    im.PhaseImage(x, y) = uint8_t(x);
                    im.MaskImage(x, y) = 0;
                }
        }
        AnalysisOptions o;
        o.exclude128 = c.exclude128;
        ExpectStoppedWithoutFigures(o, noData);
        EXPECT_EQ(messages.records[0].title, "Analysis Error");

        // The batch analysis of the same frame through the batch mask.
        model::batch.BatchMask = im.MaskImage;
        model::batch.BatchMaskCols = c.maskKeepsOnlyBlank ? 201 : 0;
        model::batch.BatchMaskRows = c.maskKeepsOnlyBlank ? 101 : 0;
        o.useMask = c.maskKeepsOnlyBlank;
        im.ImageCols = 201;
        im.ImageRows = 101;
        im.CurrentPhase = im.PhaseImage;
        std::string reason;
        EXPECT_FALSE(BatchAnalyzeImage(false, o, &reason));
        EXPECT_NE(reason.find(noData), std::string::npos) << reason;
    }
    // One byte of data is a frame to analyse.
    model::state.MaskInMemory = false;
    model::images.PhaseImage(100, 50) = 0;
    AnalysisOptions o;
    o.exclude128 = false;
    EXPECT_TRUE(RunCalculateDisplacement(o).completed);
}

// A frame whose analysed pixels all hold one value carries no measurement (a
// dark frame, a saturated one, one grey): no figures, single image and batch
// alike; blank pixels count as Exclude 128 reads them. Two values are a frame.
TEST_F(Failures, AFrameOfOneValueIsNoData)
{
    const std::string noData = "The result holds no data";
    const uint8_t blank = model::BlankPhaseValue;
    struct Case {
        const char* what;
        uint8_t value, rest;   // the left half holds `value`, the right half `rest`
        bool exclude128;
        bool noData;
    };
    const Case cases[] = {
        {"all 0", 0, 0, true, true},
        {"all 0, Exclude 128 off", 0, 0, false, true},
        {"all 127", 127, 127, false, true},
        {"all 255", 255, 255, true, true},
        {"0 beside blank, blank excluded", 0, blank, true, true},
        {"127 beside blank analysed as 127", 127, blank, false, true},
        {"0 beside blank analysed as 127", 0, blank, false, false},
        {"0 beside 1", 0, 1, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto& im = model::images;
        im.PhaseImage.create(201, 101, c.rest);
        for (int y = 0; y < 101; ++y)
            for (int x = 0; x < 100; ++x)
                im.PhaseImage(x, y) = c.value;
        model::state.MaskInMemory = false;
        AnalysisOptions o;
        o.exclude128 = c.exclude128;
        std::string reason;
        if (c.noData) {
            ExpectStoppedWithoutFigures(o, noData);
            EXPECT_EQ(messages.records[0].title, "Analysis Error");
        } else {
            messages.records.clear();
            EXPECT_TRUE(RunCalculateDisplacement(o).completed) << (messages.records.empty() ? "" : messages.records[0].text);
        }
        // The batch analysis of the same frame.
        im.ImageCols = 201;
        im.ImageRows = 101;
        im.CurrentPhase = im.PhaseImage;
        EXPECT_EQ(BatchAnalyzeImage(false, o, &reason), !c.noData) << reason;
        if (c.noData)
            EXPECT_NE(reason.find(noData), std::string::npos) << reason;
    }
    // The mask decides which pixels count: one value where it keeps pixels.
    model::images.PhaseImage.create(201, 101, 40);
    model::images.MaskImage.create(201, 101, 0);
    for (int y = 0; y < 101; ++y) {
        model::images.PhaseImage(0, y) = 90;   // masked away
        for (int x = 100; x < 201; ++x)
            model::images.MaskImage(x, y) = 255;
    }
    model::state.MaskInMemory = true;
    ExpectStoppedWithoutFigures(AnalysisOptions(), noData);
}

TEST_F(EndToEnd, HarnessRefusesABlankFrameWithoutHeader)
{
    int rc = -1;
    const std::string path = dir.file("blank_ph.tif");
    const std::string out = testsupport::Shell(
        Bin("mkphase") + " --size 100x80 --blank border:50 --no-header '" + path + "'", &rc);
    ASSERT_EQ(rc, 0) << out;
    testsupport::Shell("mkdir -p '" + dir.file("Calverdine/Utility Files") + "'");
    testsupport::WriteBytes(dir.file("Calverdine/Utility Files/FringeValue.txt"), {'1', '0', '0', ' ', '1', '0', '\n'});
    ToolRun r = Analyze("--base '" + dir.path().string() + "' --width 1 --height 0.8 '" + path + "'");
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_NE(r.out.find("Analysis Error: The result holds no data"), std::string::npos) << r.out;
    EXPECT_EQ(r.lines.count("Max Z"), 0u) << r.out;
}

TEST_F(Failures, CompensationIsCheckedOnTheSizeItIsGivenAndItsRefusalStops)
{
    AnalysisOptions o;
    o.compensate = true;
    o.grating = 1;
    // A 1.999 in area: 50.7 mm is 1.996 in, given to the compensation as 2.00 in.
    WriteUtilityFile(dir, "GratingComp.txt", GratingTable("1.999", "0.001"));
    ASSERT_EQ(LoadGratingCompTable(GratingCompFilePath()), 48);
    model::files.XYUnits = "mm";
    o.sampleWidth = "50.7";
    o.sampleHeight = "25";
    EXPECT_FALSE(RunCalculateDisplacement(o).completed);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_NE(messages.records[0].text.find("exceed the compensated area"), std::string::npos)
        << messages.records[0].text;
    EXPECT_EQ(window.uncheckedCompensate, 1);
    o.sampleWidth = "50.6";   // 1.99 in
    EXPECT_TRUE(RunCalculateDisplacement(o).completed);

    // Sizes that are no sizes.
    for (const char* size : {"-1", "1e-40", "0"}) {
        o.sampleWidth = size;
        messages.records.clear();
        EXPECT_FALSE(RunCalculateDisplacement(o).completed) << size;
        ASSERT_EQ(messages.records.size(), 1u);
        EXPECT_EQ(messages.records[0].text, "Compensation requires image physical Width(X) and Height(Y).");
    }
    o.sampleWidth = "50.6";

    // The table in memory passes the check, the library cannot read the file.
    std::remove(GratingCompFilePath().c_str());
    ExpectStoppedWithoutFigures(o, "GratingComp.txt");
    EXPECT_EQ(messages.records[0].title, "Analysis Error");
    std::string reason;
    model::images.CurrentPhase = model::images.PhaseImage;
    EXPECT_FALSE(BatchAnalyzeImage(false, o, &reason));
    EXPECT_NE(reason.find("GratingComp.txt"), std::string::npos) << reason;

    // Terms so large that no pixel keeps a finite value.
    WriteUtilityFile(dir, "GratingComp.txt", GratingTable("1.999", "1e308"));
    ExpectStoppedWithoutFigures(o, "The result holds no data");
}

TEST_F(Failures, AnImageBeyondTheMemoryBudgetIsRefused)
{
    EXPECT_EQ(AnalysisMemoryNeeded(201, 101), 201u * 101u * AnalysisMemoryNeeded(1, 1));
    EXPECT_GT(AnalysisMemoryNeeded(16384, 16384), uint64_t(8) << 30);
    SetAnalysisMemoryBudget(AnalysisMemoryNeeded(201, 100));
    const CalculateOutcome r = RunCalculateDisplacement(AnalysisOptions());
    EXPECT_FALSE(r.completed);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_NE(messages.records[0].text.find("(201 x 101) is too large to analyse"), std::string::npos)
        << messages.records[0].text;
    EXPECT_EQ(window.processing, 0);
    std::string reason;
    EXPECT_FALSE(BatchAnalyzeImage(false, AnalysisOptions(), &reason));
    EXPECT_NE(reason.find("too large"), std::string::npos);
    SetAnalysisMemoryBudget(AnalysisMemoryNeeded(201, 101));
    EXPECT_TRUE(RunCalculateDisplacement(AnalysisOptions()).completed);
    EXPECT_TRUE(BatchAnalyzeImage(false, AnalysisOptions(), &reason));
    EXPECT_EQ(reason, "");
}

TEST_F(EndToEnd, AnImageTheComputerCannotHoldIsRefusedAtLoad)
{
    const std::string path = MakePhase(dir, "plane_ph.tif", "plane:0.001,0,0");
    const uint64_t copies = 4 * uint64_t(201) * 101;
    std::string message;
    InstalledImage installed;
    SetAnalysisMemoryBudget(copies - 1);
    EXPECT_FALSE(LoadPhaseImageFile(path, &message, &installed));
    EXPECT_EQ(message, kNotEnoughMemoryToLoad);
    SetAnalysisMemoryBudget(copies);
    EXPECT_TRUE(LoadPhaseImageFile(path, &message, &installed)) << message;
    SetAnalysisMemoryBudget(0);
}

TEST_F(EndToEnd, HarnessRefusesAResultWithoutData)
{
    const std::string blank = MakePhase(dir, "blank_ph.tif", "plane:0,0,0", "--blank rect:0,0,201,101");
    ToolRun r = Analyze("--save '" + dir.file("blank.dat") + "' '" + blank + "'");
    EXPECT_NE(r.rc, 0);
    EXPECT_NE(r.out.find("Analysis Error: The result holds no data"), std::string::npos) << r.out;
    EXPECT_EQ(r.lines.count("Max Z"), 0u) << r.out;
    EXPECT_FALSE(platform::FileExists(dir.file("blank_ab.dat")));
}

TEST_F(EndToEnd, HarnessReadsWhatTheWindowReadsAndRefusesWhatItRefuses)
{
    // A path far beyond 79 characters.
    std::string folder = dir.path().string();
    for (int i = 0; i < 3; ++i)
        folder += "/" + std::string(50, char('a' + i));
    testsupport::Shell("mkdir -p '" + folder + "'");
    const std::string deep = folder + "/" + std::string(120, 'p') + "_ph.tif";
    testsupport::Shell("cp '" + MakePhase(dir, "cyl_ph.tif", "cylinder:0.002,100") + "' '" + deep + "'");
    ToolRun longPath = Analyze("'" + deep + "'");
    EXPECT_EQ(longPath.rc, 0) << longPath.out;
    EXPECT_EQ(longPath.lines["Coplanarity"], "20.0") << longPath.out;

    // A pipe in the image's place is refused at once.
    const std::string fifo = dir.file("pipe_ph.tif");
    testsupport::Shell("mkfifo '" + fifo + "'");
    ToolRun pipe = Analyze("'" + fifo + "'");
    EXPECT_EQ(pipe.rc, 1);
    EXPECT_NE(pipe.out.find("The file cannot be opened."), std::string::npos) << pipe.out;

    // A maker header that breaks off, and one whose fringe value no float holds.
    std::vector<uint8_t> px(201 * 101, 10);
    for (const std::string& header :
         {std::string("Calverdine\r\nHeader Fields:twelve\r\n"),
          std::string("Calverdine\r\nHeader Fields:9\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\nFringe:1e39\r\n\\\\EndHeader\r\n")}) {
        const std::string path = dir.file("broken_ph.tif");
        ASSERT_EQ(strandel::WriteTIFFFile(path, 201, 101, header, px.data()), 0);
        ToolRun broken = Analyze("'" + path + "'");
        EXPECT_EQ(broken.rc, 1);
        EXPECT_NE(broken.out.find("Load Phase Image: The file cannot be opened.\nInvalid file format."),
                  std::string::npos)
            << broken.out;
    }
}

TEST(MemoryBudget, FollowsAnAddressSpaceLimit)
{
    SetAnalysisMemoryBudget(0);
    EXPECT_GT(AnalysisMemoryBudget(), 0u);
    // In a child process under a 2 GB address-space limit the budget is at most half of it.
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        struct rlimit r {};
        ::getrlimit(RLIMIT_AS, &r);
        r.rlim_cur = rlim_t(2) << 30;
        ::setrlimit(RLIMIT_AS, &r);
        ::_exit(AnalysisMemoryBudget() <= (uint64_t(1) << 30) ? 0 : 1);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // 16384 x 16384 pixels never fit under such a limit.
    EXPECT_GT(AnalysisMemoryNeeded(16384, 16384), uint64_t(1) << 30);
}

// Memory that runs out inside the calculation (the budget set aside) becomes
// the message, never an abort, and no figures.
TEST_F(Failures, RunningOutOfMemoryIsAMessage)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer's allocator cannot run under an address-space limit";
#else
    model::images.FullXMax = 5999;
    model::images.FullYMax = 4999;
    model::images.PhaseImage.create(6000, 5000, 10);
    model::images.PhaseImage(0, 0) = 11;   // a frame of one value would stop before any memory is taken
    SetAnalysisMemoryBudget(uint64_t(1) << 40);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Room for about 150 MB more than the process holds now.
        long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(f);
        }
        struct rlimit r {};
        ::getrlimit(RLIMIT_AS, &r);
        r.rlim_cur = rlim_t(pages) * ::sysconf(_SC_PAGESIZE) + (rlim_t(150) << 20);
        ::setrlimit(RLIMIT_AS, &r);
        messages.records.clear();
        const bool completed = RunCalculateDisplacement(AnalysisOptions()).completed;
        const bool said = messages.records.size() == 1 &&
                          messages.records[0].text == "Not enough memory for the calculation." &&
                          messages.records[0].title == "Analysis Error";
        ::_exit(!completed && said && window.results == 0 ? 0 : 1);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "the child did not end normally (status " << status << ")";
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

// A domain is inside the image up to its last column and row and no further:
// flush with the right or bottom edge it is analysed, one pixel beyond it is
// refused before anything is computed.
TEST_F(InProcess, ADomainFlushWithTheImageEdgeIsInsideAndOnePixelMoreIsNot)
{
    auto& mp = model::maskPartition;
    model::state.PartitionInMemory = true;
    mp.DomainTable[1] = {201, 101, 0, 0, ""};
    mp.DomainCount = 2;
    AnalysisOptions o;
    o.domain = 0;
    const struct {
        model::Domain domain;
        bool inside;
    } cases[] = {
        {{101, 0, 100, 50, "right edge"}, true},  {{102, 0, 100, 50, "past the right edge"}, false},
        {{0, 51, 100, 50, "bottom edge"}, true},  {{0, 52, 100, 50, "past the bottom edge"}, false},
        {{0, 0, 201, 101, "whole image"}, true},  {{0, 0, 202, 101, "one column more"}, false},
        {{0, 0, 201, 102, "one row more"}, false},
    };
    for (const auto& c : cases) {
        mp.DomainTable[0] = c.domain;
        messages.records.clear();
        EXPECT_EQ(c.inside, RunCalculateDisplacement(o).completed) << c.domain.Name;
        const bool refused = !messages.records.empty() &&
                             messages.records.back().text.find("does not lie inside the image") != std::string::npos;
        EXPECT_EQ(!c.inside, refused) << c.domain.Name;
        if (c.inside) {
            EXPECT_EQ(model::images.ImageCols, c.domain.Width) << c.domain.Name;
            EXPECT_EQ(model::images.ImageRows, c.domain.Height) << c.domain.Name;
        }
    }
}
