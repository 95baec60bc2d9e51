#include "app/core/figures.h"
#include "app/core/model/model.h"
#include "app/core/pipeline.h"
#include "app/core/reset.h"
#include "platform/messages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

using namespace core;
using model::NoDataValue;
using model::SingleMatrix;

namespace {

SingleMatrix Filled(int cols, int rows, float (*f)(int, int))
{
    SingleMatrix m(cols, rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            m(x, y) = f(x, y);
    return m;
}

std::vector<std::pair<int, int>> Points(const std::vector<ProfilePoint>& p)
{
    std::vector<std::pair<int, int>> out;
    for (auto& q : p)
        out.push_back({q.x, q.y});
    return out;
}

class Figures : public ::testing::Test {
protected:
    void SetUp() override
    {
        model::ResetModel();
        model::state.UnitScaleFactor = 0.1;
    }
};

} // namespace

TEST_F(Figures, LineStepping)
{
    SingleMatrix m = Filled(10, 10, [](int x, int y) { return float(10 * y + x); });
    using P = std::vector<std::pair<int, int>>;
    EXPECT_EQ(Points(LineProfile(m, 0, 0, 5, 2)), (P{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}));
    EXPECT_EQ(Points(LineProfile(m, 0, 0, 2, 5)), (P{{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}, {2, 5}}));
    EXPECT_EQ(Points(LineProfile(m, 0, 3, 3, 0)), (P{{0, 3}, {1, 2}, {2, 1}, {3, 0}}));   // tie: exact diagonal
    EXPECT_EQ(Points(LineProfile(m, 4, 1, 1, 1)), (P{{4, 1}, {3, 1}, {2, 1}, {1, 1}}));
    auto p = LineProfile(m, 0, 0, 5, 2);
    EXPECT_EQ(p[2].value, 12.0f);
    EXPECT_EQ(LineProfile(m, 3, 3, 3, 3).size(), 1u);

    model::images.ResultMatrix = m;
    ChordProfile(5, 5, 5, 0);
    EXPECT_EQ(model::images.ProfileData, (std::vector<float>{55, 45, 35, 25, 15, 5}));
}

TEST_F(Figures, CornerWindowAndSearch)
{
    struct { int n, k; } windows[] = {{50, 2}, {70, 4}, {641, 32}, {640, 32}, {201, 10}, {10, 0}, {30, 2}};
    for (auto& w : windows)
        EXPECT_EQ(CornerWindow(w.n), w.k) << w.n;

    // 641 x 300: the diagonals have 641 points, window 32.
    SingleMatrix m = Filled(641, 300, [](int x, int y) { return float(x + y); });
    auto ab = LineProfile(m, 0, 0, 640, 299);
    ASSERT_EQ(ab.size(), 641u);
    for (int i = 0; i < 3; ++i)
        m(ab[i].x, ab[i].y) = NoDataValue;
    Corners c = FindCorners(m);
    EXPECT_EQ(c.A.value, m(ab[3].x, ab[3].y));
    EXPECT_EQ(c.A.x, ab[3].x);
    EXPECT_EQ(c.B.value, 640.0f + 299.0f);
    EXPECT_EQ(c.C.value, 299.0f);
    EXPECT_EQ(c.D.value, 640.0f);
    for (int i = 0; i <= 32; ++i)
        m(ab[i].x, ab[i].y) = NoDataValue;
    EXPECT_EQ(FindCorners(m).A.value, NoDataValue);
    EXPECT_EQ(ComputeCenterDeflection(m), NoDataValue);
    EXPECT_EQ(ComputeBow(m, 2, 1), NoDataValue);
    EXPECT_EQ(ComputeIpcTwist(m, 2, 1), NoDataValue);
    m(ab[33].x, ab[33].y) = 5;   // just outside the window: still no corner
    EXPECT_EQ(FindCorners(m).A.value, NoDataValue);
}

TEST_F(Figures, CentreSearchStepsDownWithHalvesToEven)
{
    // 640 x 480: centre column 320; rows 240, 240, 242, 242, ... 264 are visited.
    SingleMatrix m = Filled(640, 480, [](int, int) { return 0.0f; });
    for (int y = 240; y <= 263; ++y)
        m(320, y) = NoDataValue;
    m(320, 264) = -4;
    EXPECT_FLOAT_EQ(ComputeCenterDeflection(m), 4.0f);
    m(320, 264) = NoDataValue;
    m(320, 241) = -7;   // never visited
    EXPECT_EQ(ComputeCenterDeflection(m), NoDataValue);
}

TEST_F(Figures, CentreColumnOfAnEvenWidthRoundsHalfToEven)
{
    // 642 columns: XMax / 2 = 320.5 gives column 320, not 321.
    SingleMatrix m = Filled(642, 480, [](int, int) { return 0.0f; });
    m(320, 240) = -4;
    m(321, 240) = -9;
    EXPECT_FLOAT_EQ(ComputeCenterDeflection(m), 4.0f);
}

TEST_F(Figures, PlaneHasNoBowOrTwistAndSignsHold)
{
    SingleMatrix plane = Filled(101, 51, [](int x, int y) { return 0.01f * x - 0.02f * y + 3; });
    EXPECT_NEAR(ComputeBow(plane, 2, 1), 0.0f, 1e-5);
    EXPECT_NEAR(ComputeIpcTwist(plane, 2, 1), 0.0f, 1e-5);
    EXPECT_NEAR(ComputeCenterDeflection(plane), 0.0f, 1e-5);

    // Top edge sags 3 below its chord, bottom edge bulges 2 above it; over a
    // width of 10 the deviations are -0.3 and +0.2, so the bow is -0.3 x 0.1.
    SingleMatrix edges = Filled(11, 11, [](int, int) { return 0.0f; });
    edges(5, 0) = -3;
    edges(5, 10) = 2;
    EXPECT_FLOAT_EQ(ComputeBow(edges, 10, 10), -0.03f);
    edges(5, 10) = 4;
    EXPECT_FLOAT_EQ(ComputeBow(edges, 10, 10), 0.04f);

    // Twist: ((A + B - C - D) / diagonal) / 2 x factor.
    SingleMatrix twist = Filled(4, 4, [](int, int) { return 0.0f; });
    twist(0, 0) = 3;
    twist(3, 3) = 3;
    twist(0, 3) = -1;
    twist(3, 0) = -1;
    EXPECT_FLOAT_EQ(ComputeIpcTwist(twist, 3, 4), 0.08f);   // (8 / 5) / 2 x 0.1

    // A zero width or height gives no figure instead of a division by zero.
    EXPECT_EQ(ComputeBow(plane, 0, 1), NoDataValue);
    EXPECT_EQ(ComputeIpcTwist(plane, 2, 0), NoDataValue);
}

// Each input of a figure on its own, on a part whose width and height
// differ: one edge sags, or one corner rises, and nothing else does, so an
// edge measured against the other side's length or a corner with the wrong
// sign shows. Corners: A top left, B bottom right, C bottom left, D top right.
TEST_F(Figures, EachBowEdgeAndTwistCornerCountsAlone)
{
    const float width = 4, height = 2;   // 21 x 11 points
    const struct {
        const char* edge;
        int x, y;
        float length;
    } sags[] = {{"top (A-D)", 10, 0, width},
                {"bottom (C-B)", 10, 10, width},
                {"left (A-C)", 0, 5, height},
                {"right (D-B)", 20, 5, height}};
    for (const auto& s : sags) {
        SingleMatrix m = Filled(21, 11, [](int, int) { return 0.0f; });
        m(s.x, s.y) = -1;   // 1 below the edge's chord, at its middle
        EXPECT_FLOAT_EQ(ComputeBow(m, width, height), -1 / s.length * 0.1f) << s.edge;
        EXPECT_NEAR(ComputeIpcTwist(m, width, height), 0.0f, 1e-7) << s.edge;
    }
    const float diagonal = std::sqrt(width * width + height * height);
    const struct {
        const char* corner;
        int x, y;
        float sign;
    } corners[] = {{"A", 0, 0, 1}, {"B", 20, 10, 1}, {"C", 0, 10, -1}, {"D", 20, 0, -1}};
    for (const auto& c : corners) {
        SingleMatrix m = Filled(21, 11, [](int, int) { return 0.0f; });
        m(c.x, c.y) = 2;
        EXPECT_FLOAT_EQ(ComputeIpcTwist(m, width, height), c.sign * (2 / diagonal) / 2 * 0.1f) << c.corner;
    }
}

TEST_F(Figures, UnitScaleFactor)
{
    struct { const char* xy; const char* z; double f; } cases[] = {
        {"mm", "mils", 2.54}, {"in", "microns", 0.003937}, {"in", "mils", 0.1}, {"mm", "microns", 0.1},
        {"MM", "Mils", 2.54},
    };
    for (auto& c : cases) {
        model::files.XYUnits = c.xy;
        model::files.ZUnits = c.z;
        SetUnitScaleFactor();
        EXPECT_EQ(model::state.UnitScaleFactor, c.f) << c.xy << " " << c.z;
    }
}

namespace {
struct RecordingWindow : AnalysisWindow {
    int cleared = 0, focus = 0;
    void ClearResultDisplay() override { ++cleared; }
    void FocusSampleWidth() override { ++focus; }
};
} // namespace

TEST_F(Figures, ParametersText)
{
    model::files.ZFormat = "0.0";
    model::files.ZUnits = "mils";
    model::images.ResultMatrix = Filled(201, 101, [](int x, int) { return 0.002f * (x - 100) * (x - 100); });
    EXPECT_EQ(*CalculateParametersText("2", "1"), "IPC Twist: 0.00%    Bow: -1.00%    Center Deflection: 20.0 mils");
    EXPECT_EQ(*CalculateParametersText("0", "1"), "IPC Twist: n/a    Bow: n/a    Center Deflection: 20.0 mils");

    RecordingWindow window;
    SetAnalysisWindow(&window);
    platform::ScriptedMessages messages;
    EXPECT_FALSE(CalculateParametersText("2", "").has_value());
    EXPECT_FALSE(RunCalculateParameters("abc", "1"));
    ASSERT_EQ(messages.records.size(), 2u);
    EXPECT_EQ(messages.records[0].text, "Parameters require image physical Width and Height.");
    EXPECT_EQ(messages.records[0].style, 16);
    EXPECT_EQ(messages.records[0].title, "Information Missing");
    EXPECT_EQ(window.focus, 2);
    EXPECT_TRUE(RunCalculateParameters("2", "1"));
    EXPECT_EQ(messages.records.back().title, "Parameter Values");
    EXPECT_EQ(messages.records.back().style, 64);
    SetAnalysisWindow(nullptr);
}

TEST_F(Figures, ReducedSamplesAndChartCopy)
{
    model::images.XMax = 639;
    model::images.YMax = 479;
    model::images.ResultMatrix = Filled(640, 480, [](int x, int y) { return float(x * 1000 + y); });
    ReduceData();
    const auto& r = model::images.ReducedData;
    EXPECT_EQ(r(0, 0), 0.0f * 1000 + 479);          // i = 1, j = 1: column 0, row YMax
    EXPECT_EQ(r(1, 0), 13.0f * 1000 + 479);         // 13.04 rounds to 13
    EXPECT_EQ(r(2, 0), 26.0f * 1000 + 479);
    EXPECT_EQ(r(49, 49), 639.0f * 1000 + 0);        // i = 50, j = 50: column XMax, row 0
    std::vector<int> cols, rows;
    for (int i = 1; i <= 50; ++i)
        cols.push_back(ReducedColumn(i, 639));
    EXPECT_EQ(cols[3], 39);
    EXPECT_EQ(cols[13], 170);                       // 13 / 49 x 639 = 169.53 rounds up
    EXPECT_EQ(ReducedColumn(50, 639), 639);
    EXPECT_EQ(ReducedRow(1, 479), 479);
    EXPECT_EQ(ReducedRow(50, 479), 0);
    EXPECT_EQ(ReducedRow(26, 479), 235);            // 24 / 49 x 479 = 234.6

    model::images.ResultMatrix(5, 479) = NoDataValue;
    MakeChartData();
    const auto& c = model::images.ChartData;
    ASSERT_EQ(c.cols(), 640);
    ASSERT_EQ(c.rows(), 480);
    EXPECT_EQ(c(7, 0), 7.0f * 1000 + 479);          // chart row 1 is the result's row YMax
    EXPECT_EQ(c(7, 479), 7.0f * 1000);
    EXPECT_EQ(c(5, 0), NoDataValue);
}

// A matrix made from rows keeps its storage while it fits (and is not more
// than twice the size), as resize does, and otherwise gets new storage; in
// both cases every element is the copied one.
TEST(MatrixRows, StorageKeptWhileItFitsAndEveryRowCopied)
{
    std::vector<float> source(12 * 10);
    for (size_t i = 0; i < source.size(); ++i) source[i] = float(i);
    auto row = [&](int cols) { return [&, cols](int y) { return &source[size_t(y) * cols]; }; };
    SingleMatrix m;
    m.assignRows(12, 10, row(12));
    ASSERT_EQ(m.cols(), 12);
    ASSERT_EQ(m.rows(), 10);
    EXPECT_EQ(m.buffer(), source);
    const float* storage = m.data();
    m.assignRows(8, 9, row(8));                 // 72 of 120: kept
    EXPECT_EQ(m.data(), storage);
    EXPECT_EQ(m.size(), 72u);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(m(x, y), float(y * 8 + x)) << x << "," << y;
    m.assignRows(5, 5, row(5));                 // 25 of 120: given back
    EXPECT_EQ(m.size(), 25u);
    EXPECT_LT(m.buffer().capacity(), 120u);
    EXPECT_EQ(m(4, 4), 24.0f);
    m.assignRows(0, 7, row(0));
    EXPECT_TRUE(m.empty());
    EXPECT_EQ(m.rows(), 7);
}

TEST_F(Figures, DomainCropOfPhaseAndMask)
{
    auto& im = model::images;
    im.PhaseImage.create(7, 5);
    im.MaskImage.create(7, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            im.PhaseImage(x, y) = static_cast<uint8_t>(10 * y + x);
            im.MaskImage(x, y) = static_cast<uint8_t>(100 + 10 * y + x);
        }
    auto& mp = model::maskPartition;
    mp.DomainTable[1] = {2, 1, 4, 3, "inner"};
    model::state.MaskInMemory = true;
    ExtractDomain(1);
    EXPECT_EQ(im.ImageCols, 4);
    EXPECT_EQ(im.ImageRows, 3);
    EXPECT_EQ(im.XMax, 3);
    EXPECT_EQ(im.YMax, 2);
    ASSERT_EQ(im.CurrentPhase.cols(), 4);
    ASSERT_EQ(im.CurrentPhase.rows(), 3);
    ASSERT_EQ(im.CurrentMask.cols(), 4);
    ASSERT_EQ(im.CurrentMask.rows(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(im.CurrentPhase(x, y), 10 * (y + 1) + x + 2) << x << "," << y;
            EXPECT_EQ(im.CurrentMask(x, y), 100 + 10 * (y + 1) + x + 2) << x << "," << y;
        }

    // Without a mask in memory only the phase is cropped; an empty domain gives empty matrices.
    model::state.MaskInMemory = false;
    mp.DomainTable[2] = {0, 0, 0, 3, ""};
    ExtractDomain(2);
    EXPECT_TRUE(im.CurrentPhase.empty());
    EXPECT_EQ(im.CurrentMask.cols(), 4);
}

namespace {
struct BatchWindow : BatchSummaryWindow {
    int cleared = 0;
    void ClearBatchSummary() override { ++cleared; }
};
} // namespace

TEST_F(Figures, ResetProcedures)
{
    RecordingWindow window;
    SetAnalysisWindow(&window);
    model::state.Surface3DValid = model::state.ContourValid = true;
    model::state.StartupInProgress = true;
    ResetAnalysisState();   // start-up pushes settings: nothing changes
    EXPECT_EQ(window.cleared, 0);
    EXPECT_TRUE(model::state.Surface3DValid);
    model::state.StartupInProgress = false;
    model::images.ResultMatrix = SingleMatrix(3, 3);
    ResetAnalysisState();
    EXPECT_EQ(window.cleared, 1);
    EXPECT_FALSE(model::state.Surface3DValid);
    EXPECT_FALSE(model::state.ContourValid);
    EXPECT_EQ(model::images.ResultMatrix.size(), 9u);   // matrices stay
    SetAnalysisWindow(nullptr);

    BatchWindow batch;
    int created = 0;
    SetBatchSummaryWindowProvider([&]() -> BatchSummaryWindow* {
        ++created;
        return &batch;
    });
    model::batch.BatchErrorList = "a.tif\r\n";
    ResetBatchSummary();
    EXPECT_EQ(created, 1);
    EXPECT_EQ(batch.cleared, 1);
    EXPECT_EQ(model::batch.BatchErrorList, "");
    SetBatchSummaryWindowProvider(nullptr);
    ResetBatchSummary();   // no window: only the list

    struct { const char* text; const char* single; const char* batchCaption; } captions[] = {
        {"Lsf Rotation", "Coplanarity", "Coplanarity"},
        {"Lsf - Low 0", "Coplanarity", "Coplanarity"},
        {"Lsf - High 0", "Coplanarity", "Coplanarity"},
        {"No Rotation", "Maximum Deflection", "Max Deflection"},
        {"4 Pt Rotation", "Maximum Deflection", "Max Deflection"},
        {"3 Pt Rotation", "Maximum Deflection", "Max Deflection"},
    };
    for (auto& c : captions) {
        EXPECT_EQ(RangeCaption(c.text), c.single);
        EXPECT_EQ(BatchRangeCaption(c.text), c.batchCaption);
    }
}

TEST_F(Figures, NonFiniteValuesAndUnusableSizesGiveNoFigure)
{
    model::files.ZFormat = "0.0";
    model::files.ZUnits = "mils";
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (float bad : {inf, -inf, nan, NoDataValue}) {
        EXPECT_TRUE(IsNoData(bad));
        model::images.ResultMatrix = SingleMatrix(201, 101);
        for (float& v : model::images.ResultMatrix.buffer())
            v = bad;
        EXPECT_EQ(*CalculateParametersText("2", "1"), "IPC Twist: n/a    Bow: n/a    Center Deflection: n/a")
            << bad;
    }
    // A non-finite corner is skipped like a missing one: the next pixel inward counts.
    model::images.ResultMatrix = Filled(201, 101, [](int x, int) { return 0.002f * (x - 100) * (x - 100); });
    const Corners before = FindCorners(model::images.ResultMatrix);
    model::images.ResultMatrix(0, 0) = nan;
    const Corners after = FindCorners(model::images.ResultMatrix);
    EXPECT_EQ(after.A.x, 1);
    EXPECT_NE(after.A.value, before.A.value);

    // Sizes that are not sizes give no bow or twist (no -Inf%, no flipped sign).
    model::images.ResultMatrix = Filled(201, 101, [](int x, int) { return 0.002f * (x - 100) * (x - 100); });
    for (const char* size : {"-1", "1e-40", "1e-7", "-2", "1e300"})
        EXPECT_EQ(*CalculateParametersText(size, "1"), "IPC Twist: n/a    Bow: n/a    Center Deflection: 20.0 mils")
            << size;
    EXPECT_EQ(*CalculateParametersText("2", "1"), "IPC Twist: 0.00%    Bow: -1.00%    Center Deflection: 20.0 mils");
}
