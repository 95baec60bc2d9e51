// Whole batch runs without windows: the results table, the error list, the
// relative run, the start-up checks and the view's reports.
#include "app/batch/engine.h"
#include "app/batch/tests/batch_test_util.h"
#include "app/core/atomic_file.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "app/core/settings.h"
#include "app/core/version.h"
#include "app/core/tests/file_limit.h"
#include "platform/folderjobs.h"
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <map>
#include <sstream>
#include <stdexcept>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace batchtest;

namespace {

// Records what the run shows.
struct RecordingView : batch::RunView {
    std::vector<bool> enabled;
    std::vector<std::string> labels;
    bool labelRed = false;
    std::map<int, std::vector<std::string>> rows;
    int rowCount = 0;
    std::string dataType;
    batch::SummaryTexts summary;
    std::vector<std::string> ranges;
    bool generate = false, viewErrors = false, unchecked = false, focused = false;
    int yields = 0, lastProgress = -1;

    void SetWindowEnabled(bool e) override { enabled.push_back(e); }
    void SetProcessedLabel(const std::string& t, bool red) override
    {
        labels.push_back(t);
        labelRed = red;
    }
    void SetProgress(int v, int) override { lastProgress = v; }
    void SetDataType(const std::string& t) override { dataType = t; }
    void SetGridRowCount(int r) override { rowCount = r; }
    void SetGridRow(int r, const std::vector<std::string>& c) override { rows[r] = c; }
    void SetSummary(const batch::SummaryTexts& s) override { summary = s; }
    void SuggestRanges(const std::string& a, const std::string& b, const std::string& c,
                       const std::string& d) override
    {
        ranges = {a, b, c, d};
    }
    void EnableGenerateOutput() override { generate = true; }
    void ShowViewErrors() override { viewErrors = true; }
    void UncheckCompensate() override { unchecked = true; }
    void FocusSampleWidth() override { focused = true; }
    void Yield() override { ++yields; }
};

class BatchRun : public ::testing::Test {
protected:
    testsupport::TempDir base{"bbase"};
    testsupport::TempDir root{"brun"};
    std::string folder;
    platform::ScriptedMessages messages;

    void SetUp() override
    {
        FreshModel(base.path().string());
        folder = root.file("Panel 7");
        std::filesystem::create_directories(folder);
    }

    // The three images of the folder: a tilted plane with a header, a
    // headerless one and a bowed one (201 x 101 pixels). The plane climbs one
    // and two phase steps a pixel, so it is levelled exactly.
    void MakeThree()
    {
        WritePhase(folder + "/a_plane_ph.tif", 201, 101, "plane:0.0390625,0.078125,0", true);
        WritePhase(folder + "/b_bare_ph.tif", 201, 101, "plane:0.01,0,0", false);
        WritePhase(folder + "/c_bow_ph.tif", 201, 101, "cylinder:0.002,100", true);
    }

    batch::BatchOptions Options(int rotation = 1)
    {
        batch::BatchOptions o;
        o.folder = folder;
        o.files = platform::ListFiles(folder, "*_ph.tif");
        o.analysis.rotation = rotation;
        o.analysis.exclude128 = true;
        o.analysis.sampleWidth = "2";
        o.analysis.sampleHeight = "1";
        o.rotationText = core::RotationItemText(rotation);
        return o;
    }

    std::string Table(bool relative = false) { return testsupport::ReadText(batch::TableFileName(folder, relative)); }

    std::vector<std::string> KilledRunLeftovers(const batch::BatchOptions& o);
};

std::string Column(const std::vector<std::string>& lines, const std::string& name, int field)
{
    for (const std::string& l : lines) {
        auto f = Fields(l);
        if (!f.empty() && f[0] == name && int(f.size()) > field) return f[size_t(field)];
    }
    return "<missing>";
}

} // namespace

TEST_F(BatchRun, ThreeImagesGiveTheTableWithTheHeaderlessImageListedAlone)
{
    MakeThree();
    RecordingView view;
    const batch::RunOutcome r = batch::RunBatchAnalysis(Options(), view);
    ASSERT_EQ(r.end, batch::RunEnd::Completed);
    EXPECT_EQ(r.tablePath, folder + "/Batch Results for Panel 7 (Abs).txt");
    EXPECT_EQ(r.processed, 2);

    int bare = 0;
    const std::vector<std::string> lines = CrLfLines(Table(), &bare);
    EXPECT_EQ(bare, 0) << "every line ends with CR LF";
    ASSERT_GE(lines.size(), 26u);
    EXPECT_EQ(lines[0], "GENERAL INFO");
    EXPECT_EQ(lines[1].rfind("Created: ", 0), 0u);
    EXPECT_EQ(lines[2], "Folder: " + folder);
    EXPECT_EQ(lines[3], std::string("Sorvanta Version: ") + core::ProgramVersion());
    EXPECT_EQ(lines[4].rfind("Varnholde.dll Version: 2.", 0), 0u) << lines[4];
    const std::vector<std::string> settings(lines.begin() + 5, lines.begin() + 20);
    EXPECT_EQ(settings, (std::vector<std::string>{"", "ANALYSIS SETTINGS", "Use FringeValue.txt: OFF",
                                                  "Exclude 128: ON", "Phase Filter: OFF", "Compensate: OFF",
                                                  "Normalize Diagonal: OFF", "Rotation: LSF", "Grating: 100 lpi",
                                                  "FringeValue.txt Data: NOT CALIBRATED", "Image Width: 2 in",
                                                  "Image Height: 1 in", "Mask File: NONE", "",
                                                  "DATA SUMMARY (mils)"}));
    EXPECT_EQ(lines[20], "Image Filename\tMin Z\tMaxZ\tCoplanarity\tABMin\tABMax\tCDMin\tCDMax\t% IPC Twist\t% "
                         "Bow\tCenter Deflection");
    EXPECT_EQ(Fields(lines[21]).size(), 11u) << lines[21];
    EXPECT_EQ(lines[21].rfind("a_plane_ph.tif\t", 0), 0u);
    EXPECT_EQ(lines[22], "b_bare_ph.tif");
    EXPECT_EQ(Fields(lines[23]).size(), 11u) << lines[23];
    EXPECT_EQ(lines[24], "");
    EXPECT_EQ(lines[25], "Number of Images Processed: 2/3");
    EXPECT_EQ(lines.size(), 26u);

    // A levelled plane has no span left; the bow is the generator's (20 mils
    // over the 2 in width: -1 %).
    EXPECT_EQ(Column(lines, "a_plane_ph.tif", 3), "0.0");
    EXPECT_EQ(Column(lines, "c_bow_ph.tif", 3), "20.0");
    EXPECT_EQ(Column(lines, "c_bow_ph.tif", 9), "-1.00");
    EXPECT_EQ(Column(lines, "c_bow_ph.tif", 8), "0.00");

    EXPECT_EQ(model::batch.BatchErrorList, "#2 b_bare_ph.tif: Fringe Value needed.\r");
    EXPECT_EQ(r.record.options.files, (std::vector<std::string>{"a_plane_ph.tif", "b_bare_ph.tif", "c_bow_ph.tif"}));
    EXPECT_EQ(r.record.paths[2], folder + "/c_bow_ph.tif");
    EXPECT_EQ(r.record.analysed, (std::vector<bool>{true, false, true}));

    // The view: disabled then enabled, grid rows, red count and View Errors.
    EXPECT_EQ(view.enabled, (std::vector<bool>{false, true}));
    EXPECT_EQ(view.rowCount, 4);
    EXPECT_EQ(view.rows[2], (std::vector<std::string>{"2", "b_bare_ph.tif"}));
    ASSERT_EQ(view.rows[3].size(), 12u);
    EXPECT_EQ(view.rows[3][4], "20.0");
    EXPECT_EQ(view.labels.front(), "Number of Images Processed: 0/3");
    EXPECT_EQ(view.labels.back(), "Number of Images Processed: 2/3");
    EXPECT_TRUE(view.labelRed);
    EXPECT_TRUE(view.viewErrors);
    EXPECT_TRUE(view.generate);
    EXPECT_EQ(view.dataType, "Absolute Data");
    EXPECT_EQ(view.lastProgress, 3);
    EXPECT_EQ(view.yields, 3) << "once before the loop and once per analysed image";
    EXPECT_EQ(view.summary.maxRange, "Max Coplanarity: 20.0");
    ASSERT_EQ(view.ranges.size(), 4u);
    // Suggested Z range: the data range widened by 0.1 mils.
    EXPECT_EQ(view.ranges[0], core::FormatNumber(core::Val(view.summary.minZ.substr(7)) - 0.1, "0.0"));
    EXPECT_TRUE(messages.records.empty());
}

TEST_F(BatchRun, RotationDecidesColumnFourAndTheRangeOfAnUnlevelledPlane)
{
    MakeThree();
    RecordingView view;
    ASSERT_EQ(batch::RunBatchAnalysis(Options(0), view).end, batch::RunEnd::Completed);
    const auto lines = CrLfLines(Table());
    EXPECT_NE(Table().find("Rotation: None\r\n"), std::string::npos);
    EXPECT_NE(Table().find("\tMaxZ\tMax Deflection\tABMin"), std::string::npos);
    EXPECT_EQ(Column(lines, "a_plane_ph.tif", 3), "15.6") << "(200 + 2 x 100) / 256 x 10 mils";
    EXPECT_EQ(view.summary.maxRange.rfind("Max Deflection: ", 0), 0u);
}

TEST_F(BatchRun, RelativeRunAgainstTheBowedImage)
{
    MakeThree();
    WritePhase(folder + "/d_small_ph.tif", 101, 51, "plane:0.01,0,0", true);
    RecordingView first;
    ASSERT_EQ(batch::RunBatchAnalysis(Options(), first).end, batch::RunEnd::Completed);
    ASSERT_TRUE(std::filesystem::exists(batch::TableFileName(folder, false)));

    model::batch.BatchRelativeMode = true;
    model::batch.BatchReferenceIndex = 2;
    RecordingView view;
    const batch::RunOutcome r = batch::RunBatchAnalysis(Options(), view);
    ASSERT_EQ(r.end, batch::RunEnd::Completed);
    EXPECT_EQ(r.tablePath, folder + "/Batch Results for Panel 7 (Rel).txt");
    EXPECT_TRUE(std::filesystem::exists(batch::TableFileName(folder, false))) << "the absolute table stays";
    const std::string table = Table(true);
    EXPECT_NE(table.find("\r\nRelative Displacement Reference: c_bow_ph.tif\r\nImage Filename\t"), std::string::npos);
    const auto lines = CrLfLines(table);
    for (int field = 1; field <= 7; ++field)
        EXPECT_EQ(Column(lines, "c_bow_ph.tif", field), "0.0") << "field " << field;
    EXPECT_EQ(Column(lines, "c_bow_ph.tif", 10), "0.0");
    EXPECT_EQ(model::batch.BatchErrorList, "#2 b_bare_ph.tif: Fringe Value needed.\r"
                                           "#4 d_small_ph.tif: Image size does not match reference.\r");
    EXPECT_EQ(view.dataType, "Relative Data with Reference: c_bow_ph.tif");
    EXPECT_EQ(view.labels.back(), "Number of Images Processed: 2/4");
    // The reference stays with the run's record, for Generate Output; the
    // single image's state is as it was before the run.
    EXPECT_EQ(r.record.referenceDisplacement.cols(), 201);
    EXPECT_EQ(r.record.refYMax, 100);
    EXPECT_EQ(r.record.referenceIndex, 2);
    EXPECT_FALSE(model::state.ReferenceInMemory);
}

TEST_F(BatchRun, ReferenceThatCannotBeAnalysedEndsTheRunAfterTheHeader)
{
    MakeThree();
    model::batch.BatchRelativeMode = true;
    model::batch.BatchReferenceIndex = 1;   // the headerless image
    RecordingView view;
    EXPECT_EQ(batch::RunBatchAnalysis(Options(), view).end, batch::RunEnd::ReferenceFailed);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, "b_bare_ph.tif cannot be analyzed because there is no calibrated fringe\r"
                                        "height value stored for this grating.");
    EXPECT_EQ(messages.records[0].title, "Batch Analysis Error");
    const auto lines = CrLfLines(Table(true));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("Image Filename\t", 0), 0u) << "the table ends with the column header";
    EXPECT_EQ(view.enabled, (std::vector<bool>{false, true}));
}

TEST_F(BatchRun, StartUpChecksStopWithTheirMessages)
{
    struct Case {
        const char* what;
        bool images, fringeFile, compensate;
        std::string width;
        batch::RunEnd end;
        const char* text;
        const char* title;
    };
    const Case cases[] = {
        {"empty folder", false, false, false, "2", batch::RunEnd::NoImages, "No phase images found in this folder.",
         "Folder Selection Error"},
        {"compensation without a height", true, false, true, "", batch::RunEnd::SetupRefused,
         "Compensation requires image Width(X) and Height(Y).", "Batch Analysis Setup Error"},
        {"compensation without a table", true, false, true, "2", batch::RunEnd::SetupRefused,
         "There are no compensation parameters available for this grating.", "Analysis Setup Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        if (c.images) MakeThree();
        messages.records.clear();
        batch::BatchOptions o = Options();
        o.analysis.useFringeFile = c.fringeFile;
        o.analysis.compensate = c.compensate;
        o.analysis.sampleHeight = c.width;
        RecordingView view;
        EXPECT_EQ(batch::RunBatchAnalysis(o, view).end, c.end);
        ASSERT_EQ(messages.records.size(), 1u);
        EXPECT_EQ(messages.records[0].text, c.text);
        EXPECT_EQ(messages.records[0].title, c.title);
        EXPECT_EQ(messages.records[0].style, 16);
        EXPECT_EQ(view.unchecked, c.compensate);
        EXPECT_FALSE(std::filesystem::exists(batch::TableFileName(folder, false))) << "no table";
    }
}

TEST_F(BatchRun, CalibrationFileDecidesTheFringeValue)
{
    MakeThree();
    const std::string utility = base.file("Calverdine/Utility Files");
    std::filesystem::create_directories(utility);
    // Without the file a run that needs it stops with the reason.
    batch::BatchOptions o = Options();
    o.analysis.useFringeFile = true;
    RecordingView v0;
    EXPECT_EQ(batch::RunBatchAnalysis(o, v0).end, batch::RunEnd::Stopped);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text.rfind("FringeValue.txt cannot be read.", 0), 0u);
    // A grating without an entry is not calibrated.
    testsupport::WriteBytes(utility + "/FringeValue.txt", {'5', '0', '\t', '2', '\n'});
    messages.records.clear();
    RecordingView v1;
    EXPECT_EQ(batch::RunBatchAnalysis(o, v1).end, batch::RunEnd::SetupRefused);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, "There is no calibrated fringe height value for this grating.");
    // Calibrated: the headerless image is analysed with it and the table says so.
    const std::string text = "100\t10\n";
    testsupport::WriteBytes(utility + "/FringeValue.txt", std::vector<uint8_t>(text.begin(), text.end()));
    RecordingView v2;
    EXPECT_EQ(batch::RunBatchAnalysis(o, v2).processed, 3);
    EXPECT_NE(Table().find("\r\nFringeValue.txt Data: 10\r\n"), std::string::npos);
    EXPECT_NE(Table().find("\r\nNumber of Images Processed: 3/3\r\n"), std::string::npos);
    EXPECT_FALSE(v2.labelRed);
    EXPECT_FALSE(v2.viewErrors);
}

TEST_F(BatchRun, UnwritableTableFolderIsReported)
{
    MakeThree();
    // A folder standing where the table would go cannot be replaced by a file.
    std::filesystem::create_directories(batch::TableFileName(folder, false));
    RecordingView view;
    EXPECT_EQ(batch::RunBatchAnalysis(Options(), view).end, batch::RunEnd::FolderAccess);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, "Cannot write to the specified folder.");
    EXPECT_EQ(messages.records[0].title, "Folder Access Error");
    EXPECT_FALSE(view.generate);
}

TEST_F(BatchRun, MaskedDiagonalsAndNormalisation)
{
    // Blank corners: the diagonal ends have no data.
    WritePhase(folder + "/a_ph.tif", 201, 101, "cylinder:0.002,100", true, "rect:0,0,6,6+rect:195,95,6,6");
    batch::BatchOptions o = Options();
    RecordingView plain;
    ASSERT_EQ(batch::RunBatchAnalysis(o, plain).processed, 1);
    o.normalizeDiagonal = true;
    RecordingView normalised;
    EXPECT_EQ(batch::RunBatchAnalysis(o, normalised).processed, 0);
    EXPECT_EQ(model::batch.BatchErrorList, "#1 a_ph.tif: Cannot normalize diagonal data.\r");
    EXPECT_TRUE(normalised.labelRed);
    EXPECT_FALSE(normalised.generate) << "nothing analysed: no output";
    EXPECT_TRUE(normalised.ranges.empty());
    EXPECT_NE(Table().find("\r\na_ph.tif\r\n\r\nNumber of Images Processed: 0/1\r\n"), std::string::npos);
}

TEST_F(BatchRun, DiagonalsWithoutDataReadNotAvailableInsteadOfTheStartValues)
{
    // A mask that blanks both diagonals (a band of 5 pixels around each).
    const int cols = 201, rows = 101;
    WritePhase(folder + "/a_ph.tif", cols, rows, "cylinder:0.002,100", true);
    auto& b = model::batch;
    b.BatchMask.create(cols, rows, 255);
    for (int x = 0; x < cols; ++x) {
        const int y1 = x * (rows - 1) / (cols - 1), y2 = rows - 1 - y1;
        for (int d = -2; d <= 2; ++d)
            for (int y : {y1 + d, y2 + d})
                if (y >= 0 && y < rows) b.BatchMask(x, y) = 0;
    }
    b.BatchMaskCols = cols;
    b.BatchMaskRows = rows;
    batch::BatchOptions o = Options();
    o.analysis.useMask = true;
    o.maskCaption = "x_msk.tif";
    RecordingView view;
    ASSERT_EQ(batch::RunBatchAnalysis(o, view).processed, 1);
    const auto lines = CrLfLines(Table());
    for (int field = 4; field <= 7; ++field)
        EXPECT_EQ(Column(lines, "a_ph.tif", field), "n/a") << "field " << field;
    EXPECT_EQ(Column(lines, "a_ph.tif", 3), "20.0");
    EXPECT_NE(Table().find("\r\nMask File: x_msk.tif\r\n"), std::string::npos);
    EXPECT_EQ(view.summary.minAB, "Min AB: n/a");
    EXPECT_EQ(view.ranges[2], "");
}

TEST_F(BatchRun, MaskOfAnotherSizeFailsEachImage)
{
    MakeThree();
    model::batch.BatchMask.create(10, 10, 255);
    model::batch.BatchMaskCols = 10;
    model::batch.BatchMaskRows = 10;
    batch::BatchOptions o = Options();
    o.analysis.useMask = true;
    RecordingView view;
    EXPECT_EQ(batch::RunBatchAnalysis(o, view).processed, 0);
    EXPECT_EQ(model::batch.BatchErrorList, "#1 a_plane_ph.tif: Image size does not match mask.\r"
                                           "#2 b_bare_ph.tif: Image size does not match mask.\r"
                                           "#3 c_bow_ph.tif: Image size does not match mask.\r");
}

TEST_F(BatchRun, MicronsRoundToWholeNumbersAndWidenRangesByThree)
{
    MakeThree();
    model::files.ZUnits = "microns";
    model::files.ZFormat = "0";
    core::SetUnitScaleFactor();
    RecordingView view;
    ASSERT_EQ(batch::RunBatchAnalysis(Options(), view).processed, 2);
    const auto lines = CrLfLines(Table());
    EXPECT_EQ(Column(lines, "c_bow_ph.tif", 3), "508") << "20 mils";
    EXPECT_NE(Table().find("\r\nDATA SUMMARY (microns)\r\n"), std::string::npos);
    EXPECT_EQ(view.ranges[1], core::FormatNumber(core::Val(view.summary.maxZ.substr(7)) + 3.0, "0"));
}

TEST(BatchTable, NamesAndDates)
{
    EXPECT_EQ(batch::TableFileName("/data/Panel 7", false), "/data/Panel 7/Batch Results for Panel 7 (Abs).txt");
    EXPECT_EQ(batch::TableFileName("/data/Panel 7/", true), "/data/Panel 7/Batch Results for Panel 7 (Rel).txt");
    EXPECT_EQ(batch::TableFileName("/", false), "/Batch Results for  (Abs).txt");
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 0;
    t.tm_mday = 5;
    t.tm_hour = 0;
    t.tm_min = 7;
    t.tm_sec = 9;
    t.tm_isdst = -1;
    EXPECT_EQ(batch::CreatedText(std::mktime(&t)), "Jan 05, 2026 12:07:09 AM");
    t.tm_hour = 13;
    EXPECT_EQ(batch::CreatedText(std::mktime(&t)), "Jan 05, 2026 01:07:09 PM");
}

// The twelve-hour clock at each of its turns: midnight and noon read 12, the
// hour before noon is AM, noon itself and after are PM.
TEST(BatchTable, DatesAtEachTurnOfTheClock)
{
    const struct {
        int hour;
        const char* text;
    } cases[] = {{0, "12:30:00 AM"}, {1, "01:30:00 AM"}, {11, "11:30:00 AM"},
                 {12, "12:30:00 PM"}, {13, "01:30:00 PM"}, {23, "11:30:00 PM"}};
    for (const auto& c : cases) {
        std::tm t{};
        t.tm_year = 2026 - 1900;
        t.tm_mon = 11;
        t.tm_mday = 31;
        t.tm_hour = c.hour;
        t.tm_min = 30;
        t.tm_isdst = -1;
        EXPECT_EQ(batch::CreatedText(std::mktime(&t)), std::string("Dec 31, 2026 ") + c.text) << c.hour;
    }
}

TEST_F(BatchRun, PipelineRefusalsAreListedWithTheirReasonsAndTheRunGoesOn)
{
    WritePhase(folder + "/a_corner_ph.tif", 201, 101, "cylinder:0.002,100", true, "rect:0,0,6,6");
    WritePhase(folder + "/b_blank_ph.tif", 201, 101, "plane:0.01,0,0", true, "rect:0,0,201,101");
    WritePhase(folder + "/c_good_ph.tif", 201, 101, "cylinder:0.002,100", true);
    RecordingView view;
    const batch::RunOutcome r = batch::RunBatchAnalysis(Options(2), view);   // 4 Pt Rotation
    ASSERT_EQ(r.end, batch::RunEnd::Completed);
    EXPECT_EQ(r.processed, 1);
    const std::string& errors = model::batch.BatchErrorList;
    EXPECT_EQ(errors.rfind("#1 a_corner_ph.tif: Cannot rotate data matrix.\r#2 b_blank_ph.tif: ", 0), 0u) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\r'), 2) << "one line per failed image";
    EXPECT_NE(Table().find("\r\nb_blank_ph.tif\r\nc_good_ph.tif\t"), std::string::npos);
}

namespace {

// A view whose grid fails the way an unexpected fault would.
struct ThrowingView : RecordingView {
    void SetGridRow(int, const std::vector<std::string>&) override { throw std::runtime_error("grid row lost"); }
};

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A view that tells the parent process, at the run's first yield (the table
// open, the lock held), and then waits to be killed.
struct KilledView : RecordingView {
    int tell = -1;
    void Yield() override
    {
        const char c = 'y';
        if (::write(tell, &c, 1) == 1)
            for (;;) ::pause();
    }
};

} // namespace

// Runs the batch in a child process and kills it while it writes its table;
// returns the temporary files the child left in the run's folder.
std::vector<std::string> BatchRun::KilledRunLeftovers(const batch::BatchOptions& o)
{
    int tell[2];
    if (::pipe(tell) != 0) return {};
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(tell[0]);
        KilledView view;
        view.tell = tell[1];
        batch::RunBatchAnalysis(o, view);
        ::_exit(1);
    }
    ::close(tell[1]);
    char c = 0;
    const bool reached = ::read(tell[0], &c, 1) == 1;
    ::close(tell[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    std::vector<std::string> left;
    if (!reached) return left;
    for (const std::string& name : FolderEntries(o.folder))
        if (core::IsProgramTemporary(name)) left.push_back(name);
    return left;
}

TEST_F(BatchRun, ARunThatCannotFinishItsTableKeepsTheEarlierOneByteForByte)
{
    MakeThree();
    RecordingView first;
    ASSERT_EQ(batch::RunBatchAnalysis(Options(), first).end, batch::RunEnd::Completed);
    const std::string earlier = Table();
    ASSERT_NE(earlier.find("Number of Images Processed: 2/3"), std::string::npos);
    const std::vector<std::string> entries = FolderEntries(folder);

    // A full disk: the new table breaks off after a few hundred bytes.
    EXPECT_TRUE(coretest::WithFileSizeLimit(400, [&] {
        RecordingView view;
        const batch::RunOutcome r = batch::RunBatchAnalysis(Options(), view);
        return r.end == batch::RunEnd::FolderAccess && messages.records.size() == 1 &&
               messages.records[0].text ==
                   "Cannot write to the specified folder.\rThe previous results table is kept." &&
               !view.generate;
    }));
    EXPECT_EQ(Table(), earlier);
    EXPECT_EQ(FolderEntries(folder), entries) << "no temporary table is left";

    // An unexpected fault on the way: the reason is shown, the table stays.
    ThrowingView throwing;
    EXPECT_EQ(batch::RunBatchAnalysis(Options(), throwing).end, batch::RunEnd::Stopped);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text,
              "The batch run stopped: grid row lost\rThe previous results table is kept.");
    EXPECT_EQ(Table(), earlier);
    EXPECT_EQ(FolderEntries(folder), entries);
    EXPECT_EQ(throwing.enabled, (std::vector<bool>{false, true}));

    // A killed run's temporary table is gone after the next run, and its lock
    // with it: a run in a child process, killed while it writes.
    const std::vector<std::string> leftovers = KilledRunLeftovers(Options());
    ASSERT_EQ(leftovers.size(), 1u) << "the killed run's temporary table";
    const std::string leftover = folder + "/" + leftovers[0];
    EXPECT_EQ(Table(), earlier) << "a killed run leaves the table as it was";
    RecordingView again;
    ASSERT_EQ(batch::RunBatchAnalysis(Options(), again).end, batch::RunEnd::Completed);
    EXPECT_FALSE(std::filesystem::exists(leftover));
    EXPECT_NE(Table().find("\r\nNumber of Images Processed: 2/3\r\n"), std::string::npos);
    EXPECT_EQ(FolderEntries(folder), entries);
}

TEST_F(BatchRun, TheReferenceIsKeptByItsName)
{
    MakeThree();
    RecordingView first;
    ASSERT_EQ(batch::RunBatchAnalysis(Options(), first).end, batch::RunEnd::Completed);
    // An image added in front after the question named the reference.
    WritePhase(folder + "/a0_saddle_ph.tif", 201, 101, "plane:0.01,0,0", true);
    model::batch.BatchRelativeMode = true;
    model::batch.BatchReferenceIndex = 2;
    batch::BatchOptions o = Options();
    o.referenceName = "c_bow_ph.tif";
    RecordingView view;
    ASSERT_EQ(batch::RunBatchAnalysis(o, view).end, batch::RunEnd::Completed);
    EXPECT_EQ(view.dataType, "Relative Data with Reference: c_bow_ph.tif");
    EXPECT_NE(Table(true).find("\r\nRelative Displacement Reference: c_bow_ph.tif\r\n"), std::string::npos);
    EXPECT_EQ(Column(CrLfLines(Table(true)), "c_bow_ph.tif", 3), "0.0");
    EXPECT_EQ(model::batch.BatchReferenceIndex, 3);

    // Gone when the run starts: said so, nothing run, the relative table stays.
    std::filesystem::remove(folder + "/c_bow_ph.tif");
    RecordingView gone;
    EXPECT_EQ(batch::RunBatchAnalysis(Options() /* listed again */, gone).end, batch::RunEnd::Completed)
        << "without a name the index stands";
    const std::string earlier = Table(true);
    o = Options();
    o.referenceName = "c_bow_ph.tif";
    messages.records.clear();
    RecordingView refused;
    EXPECT_EQ(batch::RunBatchAnalysis(o, refused).end, batch::RunEnd::ReferenceFailed);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, "c_bow_ph.tif is no longer in the folder.\rNothing was analyzed.");
    EXPECT_TRUE(refused.enabled.empty()) << "nothing started";
    EXPECT_TRUE(refused.rows.empty());
    EXPECT_EQ(Table(true), earlier);

    // A stale position equal to the number of images never reads past the list.
    model::batch.BatchReferenceIndex = 3;
    RecordingView stale;
    EXPECT_EQ(batch::RunBatchAnalysis(Options(), stale).end, batch::RunEnd::Completed);
    EXPECT_EQ(stale.dataType, "Relative Data with Reference: a0_saddle_ph.tif");
}

TEST_F(BatchRun, NamesThatWouldBreakTheTableOrThePicturesAreListedAsFailed)
{
    WritePhase(folder + "/a_plane_ph.tif", 201, 101, "cylinder:0.002,100", true);
    const std::vector<std::string> odd = {"b\tx_ph.tif", "c\rx_ph.tif", "d\nx_ph.tif", "e\xff_ph.tif",
                                          "f\xfe_ph.tif", "lat\xe9_ph.tif"};
    for (const std::string& name : odd) WritePhase(folder + "/" + name, 201, 101, "cylinder:0.002,100", true);
    WritePhase(folder + "/g\xc3\xa9_ph.tif", 201, 101, "cylinder:0.002,100", true);   // valid UTF-8
    RecordingView view;
    const batch::RunOutcome r = batch::RunBatchAnalysis(Options(), view);
    ASSERT_EQ(r.end, batch::RunEnd::Completed);
    EXPECT_EQ(r.processed, 2);
    int bare = 0;
    const auto lines = CrLfLines(Table(), &bare);
    EXPECT_EQ(bare, 0) << "the table keeps CR LF line ends";
    for (const std::string& l : lines) {
        const size_t fields = Fields(l).size();
        EXPECT_TRUE(fields <= 1 || fields == 11) << l;
    }
    const std::string& errors = model::batch.BatchErrorList;
    for (const char* expected : {"b x_ph.tif: The file name holds a tab or a line break.\r",
                                 "c x_ph.tif: The file name holds a tab or a line break.\r",
                                 "d x_ph.tif: The file name holds a tab or a line break.\r",
                                 "e\xff_ph.tif: The file name is not valid in this system's file-name encoding.\r",
                                 "lat\xe9_ph.tif: The file name is not valid in this system's file-name encoding.\r"})
        EXPECT_NE(errors.find(expected), std::string::npos) << expected << "\n" << errors;
    EXPECT_EQ(errors.find("g\xc3\xa9_ph.tif"), std::string::npos) << errors;
    EXPECT_NE(Column(lines, "g\xc3\xa9_ph.tif", 3), "<missing>");
}

TEST_F(BatchRun, A24BitBmpIsRefusedWithTheReadersReason)
{
    model::files.ImageFileFormat = "BMP";
    // 2 x 2 pixels, 24 bits a pixel, rows padded to 8 bytes.
    std::vector<uint8_t> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0,
                                1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    bmp.resize(70, 0x80);
    testsupport::WriteBytes(folder + "/rgb_ph.bmp", bmp);
    batch::BatchOptions o = Options();
    o.files = {"rgb_ph.bmp"};
    RecordingView view;
    ASSERT_EQ(batch::RunBatchAnalysis(o, view).end, batch::RunEnd::Completed);
    EXPECT_EQ(model::batch.BatchErrorList,
              "#1 rgb_ph.bmp: The picture is not an 8-bit (256 level) BMP picture.\r");
}

TEST(BatchDiagonal, NormalisationRemovesTheLineThroughTheEnds)
{
    const float x = model::NoDataValue;
    struct Case {
        std::vector<float> in, out;
    };
    const Case cases[] = {
        {{1, 2, 3, 4, 5}, {0, 0, 0, 0, 0}},            // a straight line leaves nothing
        {{0, 5, 2}, {0, 4, 0}},                        // the middle against the chord's 1
        {{10, 7, x, 13, 10}, {0, -3, x, 3, 0}},        // no-data stays, the chord is flat
        {{2, 1, 1, 1, 1, 1, 8}, {0, -2, -3, -4, -5, -6, 0}},
    };
    for (const Case& c : cases) {
        std::vector<float> v = c.in;
        ASSERT_TRUE(batch::NormalizeDiagonal(v));
        for (size_t k = 0; k < v.size(); ++k) EXPECT_FLOAT_EQ(v[k], c.out[k]) << "point " << k;
    }
    std::vector<float> open = {x, 1, 2};
    EXPECT_FALSE(batch::NormalizeDiagonal(open));
}

TEST_F(BatchRun, DiagonalColumnsAndTheirSuggestedRangeKeepTheirOwnDiagonals)
{
    // A plane rising along AB: AB spans the whole range, CD (from the lower
    // left to the upper right corner) stays level.
    WritePhase(folder + "/a_plane_ph.tif", 201, 101, "plane:0.0390625,0.078125,0", true);
    RecordingView view;
    ASSERT_EQ(batch::RunBatchAnalysis(Options(0), view).processed, 1);
    const auto lines = CrLfLines(Table());
    const double abMin = core::Val(Column(lines, "a_plane_ph.tif", 4)), abMax = core::Val(Column(lines, "a_plane_ph.tif", 5));
    const double cdMin = core::Val(Column(lines, "a_plane_ph.tif", 6)), cdMax = core::Val(Column(lines, "a_plane_ph.tif", 7));
    EXPECT_NEAR(abMax - abMin, 15.6, 0.051) << "AB climbs the whole plane";
    EXPECT_NEAR(cdMax - cdMin, 0.0, 0.051) << "CD runs along a level line";
    EXPECT_EQ(view.summary.minAB, "Min AB: " + Column(lines, "a_plane_ph.tif", 4));
    EXPECT_EQ(view.summary.maxCD, "Max CD: " + Column(lines, "a_plane_ph.tif", 7));
    // The diagonal range: the extremes of both diagonals widened by 0.1 mils.
    ASSERT_EQ(view.ranges.size(), 4u);
    EXPECT_EQ(view.ranges[2], core::FormatNumber(std::min(abMin, cdMin) - 0.1, "0.0"));
    EXPECT_EQ(view.ranges[3], core::FormatNumber(std::max(abMax, cdMax) + 0.1, "0.0"));
}

namespace {

// What a run must leave of the single image: its matrices, fringe values,
// levelling, figures, reference and names.
std::string SingleImageDigest()
{
    const auto& im = model::images;
    const auto& st = model::state;
    const auto& f = model::files;
    std::ostringstream d;
    d << im.ImageCols << 'x' << im.ImageRows << ' ' << im.XMax << ' ' << im.YMax << ' ' << im.PhaseImage.size() << ' '
      << im.CurrentPhase.size() << ' ' << im.Displacement.size() << ' ' << im.ResultMatrix.size() << ' '
      << im.ReferenceDisplacement.size() << ' ' << im.DiagonalAB.size() << '|' << st.HeaderFringeValue << ' '
      << st.CalibratedFringeValue << ' ' << st.FringeValue << ' ' << int(st.GratingIndex) << ' '
      << int(st.RotationMode) << ' ' << st.SampleWidth << ' ' << st.MaxZ << ' ' << st.MinZ << ' ' << st.ZRange << ' '
      << st.ReferenceInMemory << ' ' << st.RefXMax << ' ' << st.RefYMax << '|' << f.ImageHeaderText << '|'
      << f.HeaderFields.size() << '|' << f.DataSetName << '|' << f.OutputFileName;
    for (float v : im.ReferenceDisplacement.buffer()) d << ' ' << v;
    return d.str();
}

struct StoppingView : RecordingView {
    bool StopRequested() override { return yields > 0; }
};

} // namespace

// A run works on the shared matrices; whatever its end, the single image's
// state is as it was before it (the main window computes with its own fringe
// value afterwards), and what Generate Output needs stays with the batch.
TEST_F(BatchRun, EveryEndOfARunLeavesTheSingleImageStateAsItWas)
{
    MakeThree();
    auto& im = model::images;
    auto& st = model::state;
    im.ImageCols = 10;
    im.ImageRows = 8;
    im.XMax = 9;
    im.YMax = 7;
    im.PhaseImage.create(10, 8, 7);
    im.CurrentPhase.create(10, 8, 7);
    im.Displacement.create(10, 8, 1.5f);
    im.ResultMatrix.create(10, 8, 1.5f);
    im.ReferenceDisplacement.create(10, 8, 0.25f);
    st.HeaderFringeValue = 3.5f;
    st.FringeValue = 3.5f;
    st.CalibratedFringeValue = 12.0f;
    st.GratingIndex = 4;
    st.RotationMode = 0;
    st.MaxZ = 1.5f;
    st.ReferenceInMemory = true;
    st.RefXMax = 9;
    st.RefYMax = 7;
    model::files.ImageHeaderText = "Calverdine mine";
    model::files.HeaderFields = {"Calverdine", "Header Fields:9"};
    model::files.DataSetName = "mine_ph.tif";
    const std::string before = SingleImageDigest();

    struct Case {
        const char* what;
        bool relative;
        std::function<batch::RunOutcome()> run;
        batch::RunEnd end;
    };
    RecordingView view;
    StoppingView stopping;
    ThrowingView throwing;
    const Case cases[] = {
        {"absolute", false, [&] { return batch::RunBatchAnalysis(Options(), view); }, batch::RunEnd::Completed},
        {"relative", true, [&] { return batch::RunBatchAnalysis(Options(), view); }, batch::RunEnd::Completed},
        {"stopped by the window", false, [&] { return batch::RunBatchAnalysis(Options(), stopping); },
         batch::RunEnd::Cancelled},
        {"a fault on the way", false, [&] { return batch::RunBatchAnalysis(Options(), throwing); },
         batch::RunEnd::Stopped},
    };
    batch::RunRecord relative;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        model::batch.BatchRelativeMode = c.relative;
        model::batch.BatchReferenceIndex = 2;
        const batch::RunOutcome r = c.run();
        EXPECT_EQ(r.end, c.end);
        EXPECT_EQ(SingleImageDigest(), before);
        if (c.relative) relative = r.record;
    }
    // The relative run left its reference and FringeValue.txt's answer in its record.
    EXPECT_EQ(relative.referenceDisplacement.cols(), 201);
    EXPECT_EQ(relative.calibratedFringeValue, -1.0f);
    // The stopped run leaves the absolute run's table; the error list is cleared.
    EXPECT_TRUE(model::batch.BatchErrorList.empty());
    EXPECT_EQ(stopping.enabled, (std::vector<bool>{false, true}));
    EXPECT_NE(Table().find("\r\nNumber of Images Processed: 2/3\r\n"), std::string::npos);
}

// One run at a time writes a folder's table: a second run, started while the
// first holds the folder (at the first's first yield), says so and changes
// nothing; the table is the first run's, with its options and figures.
TEST_F(BatchRun, ASecondRunOnTheFolderSaysAnotherRunIsWritingItsTable)
{
    MakeThree();
    testsupport::TempDir scratch("second");
    struct SecondRunView : RecordingView {
        std::function<void()> second;
        void Yield() override
        {
            if (yields++ == 0) second();
        }
    };
    for (const auto& [first, other] : {std::pair{1, "None"}, std::pair{0, "LSF"}}) {
        SCOPED_TRACE(other);
        int rc = -1;
        std::string out;
        SecondRunView view;
        view.second = [&] {
            out = testsupport::Shell(ToolEnvironment(scratch.path().string()) + "'" + testsupport::BinDir() +
                                         "/sorvanta-batch' --base '" + base.path().string() + "' --rotation " +
                                         other + " '" + folder + "'",
                                     &rc);
        };
        const batch::RunOutcome r = batch::RunBatchAnalysis(Options(first), view);
        EXPECT_EQ(r.end, batch::RunEnd::Completed);
        EXPECT_EQ(rc, 1) << out;
        EXPECT_NE(out.find(std::string("Folder Access Error: ") + batch::kFolderBusyText), std::string::npos) << out;
        EXPECT_EQ(out.find("Table:"), std::string::npos) << out;
        EXPECT_NE(Table().find(std::string("\r\nRotation: ") + core::RotationName(first) + "\r\n"), std::string::npos);
        for (const std::string& name : FolderEntries(folder)) EXPECT_FALSE(core::IsProgramTemporary(name)) << name;
    }

    // The same inside one program: the lock is the folder's, not the process's.
    const std::string table = Table();
    batch::FolderLock held;
    ASSERT_EQ(held.acquire(folder), batch::FolderLock::Result::Held);
    RecordingView refused;
    const batch::RunOutcome r = batch::RunBatchAnalysis(Options(), refused);
    EXPECT_EQ(r.end, batch::RunEnd::FolderBusy);
    EXPECT_FALSE(r.started);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text,
              std::string(batch::kFolderBusyText) + "\rThe previous results table is kept.");
    EXPECT_TRUE(refused.enabled.empty()) << "nothing started";
    EXPECT_EQ(Table(), table);
}

// The table is replaced by the rules of every writer: a read-only table is
// kept (root included), a table that is a link is written through.
TEST_F(BatchRun, AReadOnlyTableIsKeptAndALinkedTableIsWrittenThrough)
{
    MakeThree();
    RecordingView first;
    ASSERT_EQ(batch::RunBatchAnalysis(Options(1), first).end, batch::RunEnd::Completed);
    const std::string path = batch::TableFileName(folder, false), table = Table();
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    RecordingView readOnly;
    EXPECT_EQ(batch::RunBatchAnalysis(Options(0), readOnly).end, batch::RunEnd::FolderAccess);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, "Cannot write to the specified folder.\rThe previous results table is kept.");
    EXPECT_EQ(Table(), table);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);

    const std::string target = root.file("kept table.txt");
    std::filesystem::rename(path, target);
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    std::filesystem::create_symlink(target, path);
    RecordingView linked;
    ASSERT_EQ(batch::RunBatchAnalysis(Options(0), linked).end, batch::RunEnd::Completed);
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_NE(testsupport::ReadText(target).find("\r\nRotation: None\r\n"), std::string::npos);
}

// Two images whose outputs would take the same names: the later is listed
// as failed. A reference is found by its exact name before a name that
// differs in letter case.
TEST_F(BatchRun, ImagesWhoseOutputsWouldShareNamesAndReferencesByExactName)
{
    WritePhase(folder + "/part1_ph.tif", 201, 101, "cylinder:0.002,100", true);
    WritePhase(folder + "/part1_PH.TIF", 201, 101, "plane:0.01,0,0", true);
    WritePhase(folder + "/part2_ph.tif", 201, 101, "plane:0.01,0,0", true);
    RecordingView view;
    const batch::RunOutcome r = batch::RunBatchAnalysis(Options(), view);
    ASSERT_EQ(r.end, batch::RunEnd::Completed);
    EXPECT_EQ(r.processed, 2);
    EXPECT_EQ(model::batch.BatchErrorList,
              "#2 part1_ph.tif: Its output files would replace those of #1 part1_PH.TIF.\r");

    const std::vector<std::string> files = {"Ref_ph.tif", "ref_ph.tif", "zz_ph.tif"};
    EXPECT_EQ(batch::FindPhaseImage(files, "ref_ph.tif"), 1);
    EXPECT_EQ(batch::FindPhaseImage(files, "Ref_ph.tif"), 0);
    EXPECT_EQ(batch::FindPhaseImage(files, "REF_PH.TIF"), 0);
    EXPECT_EQ(batch::FindPhaseImage(files, "ZZ_ph.tif"), 2);
    EXPECT_EQ(batch::FindPhaseImage(files, "other_ph.tif"), -1);
}

// An image without a header takes FringeValue.txt's value when the run says
// so (the command line); the window's run leaves it to the option.
TEST_F(BatchRun, AnImageWithoutHeaderTakesTheCalibratedValueByTheRunsRule)
{
    MakeThree();
    const std::string utility = base.file("Calverdine/Utility Files");
    std::filesystem::create_directories(utility);
    testsupport::WriteBytes(utility + "/FringeValue.txt", {'1', '0', '0', '\t', '1', '0', '\n'});
    batch::BatchOptions o = Options();
    RecordingView rule;
    EXPECT_EQ(batch::RunBatchAnalysis(o, rule).processed, 3);
    EXPECT_NE(Table().find("\r\nUse FringeValue.txt: OFF\r\n"), std::string::npos);
    o.headerlessUseFringeFile = false;
    RecordingView option;
    EXPECT_EQ(batch::RunBatchAnalysis(o, option).processed, 2);
    EXPECT_EQ(model::batch.BatchErrorList, "#2 b_bare_ph.tif: Fringe Value needed.\r");
}

// The batch table's % bow and % twist of a part that is not square (2 x 1 in)
// and bows along its height: the bow is the height edges' sag over their
// length (1 in), the twist the saddle's corners over the diagonal.
TEST_F(BatchRun, BowAndTwistOfAPartThatBowsAlongItsHeight)
{
    // Made on a 101 x 201 image along x and turned: z = 0.008 (y - 50)^2 +
    // 0.001 (x - 100)(y - 50), 20 mils of sag over the height.
    WritePhase(folder + "/tall_bow_ph.tif", 201, 101, "cylinder:0.008,50+saddle:0.001,50,100", true, "", 10.0,
               true);
    RecordingView view;
    ASSERT_EQ(batch::RunBatchAnalysis(Options(), view).processed, 1) << model::batch.BatchErrorList;
    const auto lines = CrLfLines(Table());
    EXPECT_EQ(Column(lines, "tall_bow_ph.tif", 9), "-2.00") << "20 mils over the 1 in height";
    EXPECT_EQ(Column(lines, "tall_bow_ph.tif", 8), "0.45") << "(4 x 5 mils / 2.236 in) / 2";
    EXPECT_EQ(Column(lines, "tall_bow_ph.tif", 10), "20.0");
}

// The longest folder name whose table name the file system still takes
// (227 bytes: "Batch Results for NAME (Abs).txt" is 255): the run's temporary
// file has a short name of its own.
TEST_F(BatchRun, AFolderWithTheLongestNameATableCanHaveGetsItsTable)
{
    for (size_t length : {size_t(223), size_t(227)}) {
        SCOPED_TRACE(length);
        folder = root.file(std::string(length, 'f'));
        std::filesystem::create_directories(folder);
        WritePhase(folder + "/a_ph.tif", 201, 101, "cylinder:0.002,100", true);
        RecordingView view;
        const batch::RunOutcome r = batch::RunBatchAnalysis(Options(), view);
        EXPECT_EQ(r.end, batch::RunEnd::Completed);
        EXPECT_EQ(platform::FileNameOf(r.tablePath).size(), length + 28);
        EXPECT_NE(Table().find("\r\nNumber of Images Processed: 1/1\r\n"), std::string::npos);
    }
}

// A folder named through a link (or through ".." after one) is the folder the
// system opens: the images listed there are the ones analysed, and the table
// is the one the folder's own name gives, in it.
TEST_F(BatchRun, AFolderNamedThroughALinkIsTheFolderTheSystemOpens)
{
    MakeThree();
    // Away/Panel 7 holds another part under the first image's name: the
    // folder ".." would give read as text.
    const std::string decoy = root.file("Away/Panel 7");
    std::filesystem::create_directories(decoy);
    WritePhase(decoy + "/a_plane_ph.tif", 201, 101, "cylinder:0.004,100", true);
    std::filesystem::create_directory_symlink(folder, root.file("Away/Into panel"));
    std::filesystem::create_directory_symlink(folder, root.file("Panel link"));
    for (const std::string& named : {root.file("Away/Into panel/../Panel 7"), root.file("Panel link"),
                                     root.file("Panel link/."), root.file("Panel link/")}) {
        SCOPED_TRACE(named);
        std::filesystem::remove(batch::TableFileName(folder, false));
        batch::BatchOptions o = Options();
        o.folder = named;
        o.files = platform::ListFiles(named, "*_ph.tif");
        ASSERT_EQ(o.files.size(), 3u);
        RecordingView view;
        const batch::RunOutcome r = batch::RunBatchAnalysis(o, view);
        ASSERT_EQ(r.end, batch::RunEnd::Completed);
        EXPECT_EQ(r.tablePath, folder + "/Batch Results for Panel 7 (Abs).txt");
        EXPECT_EQ(r.record.options.folder, folder);
        EXPECT_EQ(r.processed, 2) << "the plane and the bow of the folder, the headerless image left";
        EXPECT_EQ(CrLfLines(Table())[2], "Folder: " + folder);
        EXPECT_FALSE(std::filesystem::exists(decoy + "/Batch Results for Panel 7 (Abs).txt"));
        EXPECT_FALSE(std::filesystem::exists(folder + "/Batch Results for Panel link (Abs).txt"));
    }
}

namespace {

// sorvanta-batch on the test's folder, in an environment of its own.
std::string BatchTool(const std::string& scratch, const std::string& base, const std::string& args, int* rc)
{
    return testsupport::Shell(ToolEnvironment(scratch) + "'" + testsupport::BinDir() + "/sorvanta-batch' --base '" +
                                  base + "' " + args,
                              rc);
}

} // namespace

// The command line: --relative prefers the exact name; --format bmp analyses
// BMP images (no header) with FringeValue.txt, as its help says.
TEST_F(BatchRun, CommandLineReferenceByExactNameAndBmpImagesWithTheCalibratedValue)
{
    testsupport::TempDir scratch("cli");
    WritePhase(folder + "/Ref_ph.tif", 201, 101, "plane:0.01,0,0", true);
    WritePhase(folder + "/ref_ph.tif", 201, 101, "cylinder:0.002,100", true);
    int rc = -1;
    std::string out = BatchTool(scratch.path().string(), base.path().string(),
                                "--relative ref_ph.tif '" + folder + "'", &rc);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_NE(Table(true).find("\r\nRelative Displacement Reference: ref_ph.tif\r\n"), std::string::npos);
    EXPECT_EQ(Column(CrLfLines(Table(true)), "ref_ph.tif", 3), "0.0");
    EXPECT_EQ(Column(CrLfLines(Table(true)), "Ref_ph.tif", 3), "20.0");

    const std::string utility = base.file("Calverdine/Utility Files");
    std::filesystem::create_directories(utility);
    testsupport::WriteBytes(utility + "/FringeValue.txt", {'1', '0', '0', '\t', '1', '0', '\n'});
    WritePhaseBmp(folder + "/a_ph.bmp", 201, 101, "cylinder:0.002,100");
    WritePhaseBmp(folder + "/b_ph.bmp", 201, 101, "plane:0.01,0,0");
    out = BatchTool(scratch.path().string(), base.path().string(), "--format bmp '" + folder + "'", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("Number of Images Processed: 2/2\n"), std::string::npos) << out;
    EXPECT_EQ(Column(CrLfLines(Table()), "a_ph.bmp", 3), "20.0");
}
