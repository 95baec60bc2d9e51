// Chart builders: texts, axes, levels, legend labels and proportions.
#include "app/core/figures.h"
#include "plots/builders/chart_builders.h"
#include "app/core/runtime.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace plots;
using charts::Axis2D;
using charts::Axis3D;

namespace {

ResultFacts Facts(int cols, int rows, const std::string& zFormat = "0.0")
{
    ResultFacts f;
    f.dataSetName = "plate7";
    f.zRange = 12.5f;
    f.minZ = -2.5f;
    f.maxZ = 10.0f;
    f.zFormat = zFormat;
    f.xMax = cols - 1;
    f.yMax = rows - 1;
    return f;
}

struct Grid {
    std::vector<float> v;
    GridInput in;
    Grid(int cols, int rows, bool reduced) : v(size_t(cols) * size_t(rows), 1.0f)
    {
        in = {&v, cols, rows, reduced};
    }
};

} // namespace

TEST(Surface3D, FooterAxesAndProportions)
{
    charts::Chart3D c;
    Grid g(50, 50, true);
    struct Case {
        std::string rotation, width, height;
        const char* footer;
        const char* xTitle;
        double xSpacing;
    } cases[] = {
        {"LSF-", "", "", "Coplanarity = 12.5 mils", "X (pixels)", 639 / 49.0},
        {"lsf+", "2.5", "", "Coplanarity = 12.5 mils", "X (pixels)", 639 / 49.0},
        {"4Pt", "2", "1.5", "Maximum Deflection = 12.5 mils", "X (in)", 2 / 49.0},
    };
    for (const Case& k : cases) {
        OptionBoxes b{k.rotation, k.width, k.height, "", ""};
        Setup3DChart(c, g.in, Facts(640, 480), b);
        EXPECT_EQ(c.footerText().toStdString(), k.footer) << k.rotation;
        EXPECT_EQ(c.axisTitle(Axis3D::X).toStdString(), k.xTitle);
        EXPECT_DOUBLE_EQ(c.spacingX(), k.xSpacing);
    }
    EXPECT_EQ(c.axisMax(Axis3D::X), 2.0);
    EXPECT_EQ(c.axisMin(Axis3D::X), 0.0);
    EXPECT_EQ(c.headerText(), "plate7");
    EXPECT_EQ(c.axisTitle(Axis3D::Z), "Displacement (mils)");
    EXPECT_EQ(c.plotExtentX(), 800);
    EXPECT_EQ(c.plotExtentY(), 600);
    Setup3DChart(c, g.in, Facts(480, 640), {});
    EXPECT_EQ(c.plotExtentX(), 600);
    EXPECT_EQ(c.plotExtentY(), 800);
    EXPECT_DOUBLE_EQ(c.spacingY(), 639 / 49.0);
}

TEST(Surface3D, LevelsAndLegendFromTheZBoxesAndRebuildRemovesThePick)
{
    charts::Chart3D c;
    Grid g(50, 50, true);
    c.addChartLabel();
    const SurfaceBuild r = Setup3DChart(c, g.in, Facts(640, 480, "0"), {"None", "", "", "0", "64"});
    EXPECT_TRUE(r.levelStepWritten);
    EXPECT_EQ(r.levelStep, 1.0f);
    ASSERT_EQ(c.levelCount(), 64);
    EXPECT_EQ(c.level(1), 0.0);
    EXPECT_EQ(c.level(64), 63.0);
    EXPECT_EQ(c.legendLabelSecondText(1), "0");
    EXPECT_EQ(c.legendLabelSecondText(2), "0");
    EXPECT_EQ(c.legendLabelText(4), "4");
    EXPECT_EQ(c.legendLabelText(60), "60");
    EXPECT_EQ(c.legendLabelSecondText(64), "64");
    EXPECT_EQ(c.chartLabelCount(), 0);
    // Without Z boxes: even levels over the data, labels from the figures.
    const SurfaceBuild a = Setup3DChart(c, g.in, Facts(640, 480), {"None", "", "", "", "1"});
    EXPECT_FALSE(a.levelStepWritten);
    EXPECT_TRUE(c.axisMaxAuto(Axis3D::Z));
    EXPECT_EQ(c.levelCount(), 64);
    EXPECT_EQ(c.legendLabelSecondText(1), "-2.5");
    EXPECT_EQ(c.legendLabelText(8), "-0.9");   // -2.5 + 2 * 12.5 / 16
    EXPECT_EQ(c.legendLabelSecondText(64), "10.0");
}

TEST(Surface3D, BatchTwinSetsTitlesOnlyWhereAskedFor)
{
    charts::Chart3D c;
    Grid g(50, 50, true);
    c.setHeaderText("mine");
    c.setFooterText("my footer");
    c.setAxisTitle(Axis3D::Z, "kept");
    BatchChartOptions o;
    o.header = "custom";
    o.footer = "custom";
    o.zLabel = false;
    SetupBatch3DChart(c, g.in, Facts(640, 480), OptionBoxes{"LSF", "", "", "", ""}, o);
    EXPECT_EQ(c.headerText(), "mine");
    EXPECT_EQ(c.footerText(), "my footer");
    EXPECT_EQ(c.axisTitle(Axis3D::Z), "kept");
    o.header = "auto";
    o.footer = "AUTO";
    SetupBatch3DChart(c, g.in, Facts(640, 480), OptionBoxes{"LSF", "", "", "", ""}, o);
    EXPECT_EQ(c.headerText(), "plate7");
    EXPECT_EQ(c.footerText(), "Coplanarity = 12.5 mils");
}

TEST(Contour, FillAndLineLayoutsFromTheZBoxes)
{
    charts::Chart3D c;
    Grid g(50, 50, true);
    c.setContourFilled(true);
    ContourBuild r = SetupContourChart(c, g.in, Facts(640, 480), {"None", "", "", "-2", "6"}, false);
    EXPECT_EQ(r.levelStep, 0.5f);
    EXPECT_EQ(r.contourZMin, -2.0f);
    EXPECT_EQ(r.contourZMax, 6.0f);
    ASSERT_EQ(c.levelCount(), 17);
    EXPECT_EQ(c.level(17), 6.0);
    EXPECT_EQ(c.legendMode(), 2);
    ASSERT_EQ(c.legendLabelCount(), 18);
    EXPECT_EQ(c.legendLabelText(1), "");
    EXPECT_EQ(c.legendLabelText(2), "-2.0");
    EXPECT_EQ(c.legendLabelText(3), "-1.5");
    EXPECT_EQ(c.legendLabelText(18), "6.0");
    EXPECT_EQ(c.headerText(), "plate7");
    EXPECT_EQ(c.axisTitle(Axis3D::Z), "Z (mils)");
    EXPECT_EQ(c.plotExtentX(), 10);
    EXPECT_EQ(c.plotExtentY(), 7.5);

    c.setContourFilled(false);
    r = SetupContourChart(c, g.in, Facts(640, 480), {"None", "", "", "-2", "6"}, true);
    EXPECT_EQ(c.headerText().toStdString(), kChordPickPrompt);
    EXPECT_EQ(c.levelCount(), 19);
    EXPECT_EQ(c.legendMode(), 1);
    const char* expected[] = {"",    "-1.6", "-1.1", "-0.7", "-0.2", "0.2", "0.7", "1.1", "1.6",
                              "2.0", "2.4",  "2.9",  "3.3",  "3.8",  "4.2", "4.7", "5.1", "5.6"};
    ASSERT_EQ(c.legendLabelCount(), 18);
    for (int k = 0; k < 18; ++k) EXPECT_EQ(c.legendLabelText(k + 1).toStdString(), expected[k]) << k;
    // One Z box alone: the figures' limits.
    r = SetupContourChart(c, g.in, Facts(50, 50), {"None", "", "", "", "6"}, false);
    EXPECT_EQ(r.contourZMin, -2.5f);
    EXPECT_EQ(r.contourZMax, 10.0f);
    EXPECT_EQ(c.plotExtentX(), 10);
    EXPECT_EQ(c.plotExtentY(), 10);
    // Batch: a footer box holding Auto with the box unticked leaves the footer.
    c.setFooterText("keep");
    BatchChartOptions o;
    o.footerTicked = false;
    SetupBatchContourChart(c, g.in, Facts(50, 50), OptionBoxes{"LSF", "", "", "", ""}, o);
    EXPECT_EQ(c.footerText(), "keep");
}

TEST(Diagonal, LengthTitlesAndXValues)
{
    charts::Chart2D c;
    ConfigureDiagonalChart(c, false);
    std::vector<float> ab(400, 1.0f), cd(400, 2.0f);
    DiagonalBuild r = SetupDiagonalChart(c, ab, cd, false, Facts(400, 300), {});
    EXPECT_TRUE(r.built);
    EXPECT_EQ(c.pointCount(), 400);
    EXPECT_EQ(c.axisMax(Axis2D::X), 500.0);
    EXPECT_EQ(c.x(2), 1.25);
    EXPECT_EQ(c.x(400), 498.75);
    EXPECT_EQ(c.axisTitle(Axis2D::X), "Position Along Diagonal (pixels)");
    EXPECT_EQ(c.axisTitle(Axis2D::Y), "Displacement (mils)");
    EXPECT_EQ(c.seriesLabel(1).toStdString(), kSeriesAB);
    EXPECT_EQ(c.y(2, 7), 2.0);
    std::vector<float> s3(3, 0.0f);
    SetupDiagonalChart(c, s3, s3, false, Facts(3, 3), {});
    EXPECT_EQ(c.axisMax(Axis2D::X), 4.0);
    EXPECT_NEAR(c.x(2), 4.0 / 3, 1e-6);
    SetupDiagonalChart(c, s3, s3, false, Facts(3, 3), {"", "4", "3", "-1", "1"});
    EXPECT_EQ(c.axisMax(Axis2D::X), 5.0);
    EXPECT_EQ(c.axisTitle(Axis2D::X), "Position Along Diagonal (in)");
    EXPECT_EQ(c.axisMin(Axis2D::Y), -1.0);
}

TEST(Diagonal, NormalisingAndTheCornerMask)
{
    std::vector<float> p = {1, 2, 9999, 4, 5};
    NormaliseProfile(p);
    EXPECT_EQ(p, (std::vector<float>{0, 0, 9999, 0, 0}));
    p = {3, 5, 4};
    NormaliseProfile(p);
    EXPECT_EQ(p, (std::vector<float>{0, 1.5f, 0}));

    charts::Chart2D c;
    const std::vector<float> masked = {9999, 1, 2};
    DiagonalBuild r = SetupDiagonalChart(c, masked, masked, true, Facts(3, 3), {});
    EXPECT_TRUE(r.cornerMasked);
    EXPECT_FALSE(r.built);
    EXPECT_EQ(c.pointCount(), 0);
    r = SetupDiagonalChart(c, masked, masked, false, Facts(3, 3), {});
    EXPECT_TRUE(r.built);
}

TEST(Diagonal, BatchFooterFigures)
{
    charts::Chart2D c;
    ConfigureDiagonalChart(c, true);
    const std::vector<float> ab = {-1.24f, 0.5f, 9999, 2.0f}, cd = {0.25f, 0.3f, 0.35f, 0.4f};
    const DiagonalBuild r = SetupBatchDiagonalChart(c, ab, cd, false, Facts(4, 4), {}, BatchChartOptions{});
    EXPECT_EQ(r.minAB, -1.2f);
    EXPECT_EQ(r.maxAB, 2.0f);
    const std::string f = c.footerText().toStdString();
    EXPECT_EQ(f.rfind("Min AB: -1.2       Max AB: 2       Min CD: ", 0), 0u) << f;
    EXPECT_EQ(f.substr(f.size() - 13), "       (mils)") << f;
    // All holes: the start figures stay.
    const std::vector<float> none(4, 9999.0f);
    const DiagonalBuild e = SetupBatchDiagonalChart(c, none, none, false, Facts(4, 4), {}, BatchChartOptions{});
    EXPECT_EQ(e.minAB, 5000.0f);
    EXPECT_EQ(e.maxCD, -5000.0f);
}

TEST(Diagonal, AMissingEndValueIsNeverComputedWith)
{
    // The line through the ends is unknown: the profile stays as it is.
    std::vector<float> p = {9999, 2, 3, 5};
    EXPECT_FALSE(NormaliseProfile(p));
    EXPECT_EQ(p, (std::vector<float>{9999, 2, 3, 5}));
    p = {1, 2, 9999};
    EXPECT_FALSE(NormaliseProfile(p));
    EXPECT_EQ(p[1], 2.0f);

    // Batch twin: the masked profile is drawn plain, the other normalised,
    // and the footer figures never see a value computed from 9999.
    charts::Chart2D c;
    const std::vector<float> ab = {9999, 1, 2}, cd = {1, 5, 3};
    const DiagonalBuild r = SetupBatchDiagonalChart(c, ab, cd, true, Facts(3, 3), {}, BatchChartOptions{});
    EXPECT_TRUE(r.built);
    EXPECT_TRUE(r.cornerMasked);
    EXPECT_EQ(r.ab, ab);
    EXPECT_EQ(r.cd, (std::vector<float>{0, 3, 0}));
    EXPECT_EQ(r.minAB, 1.0f);
    EXPECT_EQ(r.maxAB, 2.0f);
}

TEST(Surface3D, OnePixelAxesKeepAFiniteSpacing)
{
    charts::Chart3D c;
    Grid g(1, 40, false);
    Setup3DChart(c, g.in, Facts(1, 40), {"LSF", "2", "3", "", ""});
    EXPECT_TRUE(std::isfinite(c.spacingX()));
    EXPECT_DOUBLE_EQ(c.spacingY(), 3.0 / 39);
    charts::Chart3D k;
    k.setContourFilled(true);
    SetupContourChart(k, g.in, Facts(1, 40), {"LSF", "2", "3", "", ""}, false);
    EXPECT_TRUE(std::isfinite(k.spacingX()));
    EXPECT_FALSE(k.renderImage().isNull());
}

TEST(Surface3D, BatchFooterFollowsTheSwitchOfTheChartBeingFilled)
{
    charts::Chart3D c;
    Grid g(50, 50, true);
    c.setFooterText("keep");
    BatchChartOptions o;   // footer "Auto"
    o.footerTicked = false;
    OptionBoxes boxes;
    boxes.rotation = "LSF";
    SetupBatch3DChart(c, g.in, Facts(50, 50), boxes, o);
    EXPECT_EQ(c.footerText(), "keep");
    o.footerTicked = true;
    boxes.rotation = "None";
    SetupBatch3DChart(c, g.in, Facts(50, 50), boxes, o);
    EXPECT_EQ(c.footerText(), "Maximum Deflection = 12.5 mils");
}

TEST(Legends, TitleAndNameCarryTheUnit)
{
    struct Case {
        bool threeD;
        double lo, hi;
        const char* format;
        const char* units;
        const char* name;
    };
    const Case cases[] = {
        {true, -2, 3.5, "0.0", "mils", "3D Legend (-2.0 to 3.5 mils)"},
        {false, 0, 64, "0", "microns", "Contour Legend (0 to 64 microns)"},
        {true, -50, 90, "0", "microns", "3D Legend (-50 to 90 microns)"},
    };
    for (const Case& k : cases) {
        charts::Chart3D c;
        c.setKind(charts::ChartKind::LegendOnly);
        c.setHeaderShown(false);
        c.setContourFilled(true);
        const float step = k.threeD ? FillSurfaceLegend(c, k.lo, k.hi, k.format, k.units)
                                    : FillContourLegend(c, k.lo, k.hi, k.format, k.units);
        EXPECT_TRUE(c.headerShown());
        EXPECT_EQ(c.headerText().toStdString(), std::string("Z (") + k.units + ")");
        EXPECT_EQ(LegendName(k.threeD, k.lo, k.hi, k.format, k.units), k.name);
        EXPECT_FLOAT_EQ(step, float((k.hi - k.lo) / (k.threeD ? 64 : 16)));
        EXPECT_EQ(c.levelCount(), k.threeD ? 64 : 17);
    }
}

TEST(Legends, LabelsShowAsManyDecimalsAsTheirStepNeeds)
{
    const struct {
        double step;
        const char* zFormat;
        const char* pattern;
    } formats[] = {
        {0.25, "0.0", "0.00"},  {0.2, "0.0", "0.0"},   {1, "0.0", "0.0"},     {0.125, "0.0", "0.000"},
        {1.0 / 3, "0.0", "0.0"},   {2, "0", "0"},       {0.5, "0", "0.0"},
        {float(0.1), "0.0", "0.0"}, {-0.25, "0", "0.00"},
        // Steps under the format's last decimal get the decimals that keep
        // neighbours apart (the format alone repeated labels: 0, 0, 1, 1, ...).
        {8.0 / 18, "0", "0.0"}, {0.0625, "0", "0.0000"}, {0.0005, "0.0", "0.0000"},
    };
    for (const auto& f : formats)
        EXPECT_EQ(f.pattern, LegendLabelFormat(f.step, f.zFormat)) << f.step << " " << f.zFormat;

    // A contour legend from 0 to 4 mils: sixteen bands of 0.25, every edge
    // shown as it is (not 0.3 for 0.25).
    charts::Chart3D contour;
    contour.setContourFilled(true);
    FillContourLegend(contour, 0, 4, "0.0", "mils");
    ASSERT_EQ(18, contour.legendLabelCount());
    for (int k = 0; k <= 16; ++k)
        EXPECT_EQ(core::FormatNumber(k * 0.25, "0.00"), contour.legendLabelText(k + 2).toStdString()) << k;
    // Lines from 0 to 4.5 mils: eighteen bands of 0.25, levels 2 to 18 named.
    contour.setContourFilled(false);
    FillContourLegend(contour, 0, 4.5, "0.0", "mils");
    EXPECT_EQ("0.25", contour.legendLabelText(2).toStdString());
    EXPECT_EQ("4.25", contour.legendLabelText(18).toStdString());
    // Lines from 0 to 1.8 mils: tenths, as the format already shows them.
    FillContourLegend(contour, 0, 1.8, "0.0", "mils");
    EXPECT_EQ("0.1", contour.legendLabelText(2).toStdString());
    EXPECT_EQ("1.7", contour.legendLabelText(18).toStdString());

    // The 3D legend from -1 to 1 mils labels every 0.125.
    charts::Chart3D surface;
    FillSurfaceLegend(surface, -1, 1, "0.0", "mils");
    EXPECT_EQ("-1.000", surface.legendLabelSecondText(1).toStdString());
    EXPECT_EQ("-0.875", surface.legendLabelText(4).toStdString());
    EXPECT_EQ("-0.750", surface.legendLabelText(8).toStdString());
    EXPECT_EQ("1.000", surface.legendLabelSecondText(64).toStdString());
}

namespace {

// The labels of a legend as read, bottom to top, beside the values they name.
struct ReadLabels {
    std::vector<std::string> texts;
    std::vector<double> values;
};

double Parsed(const std::string& text)
{
    double v = 0;
    EXPECT_TRUE(core::ParseNumber(text, &v)) << text;
    return v;
}

} // namespace

// Neighbouring legend labels never read the same and stand evenly apart:
// exactly one step apart where the step is a short decimal, else within one
// unit of their last decimal; every label is its value rounded. Over tiny,
// huge, negative and offset ranges in both formats, on the 3D legend from the
// Z boxes and from the result's figures, and on the filled and line contour
// legends.
TEST(Legends, NeighbouringLabelsAreDistinctAndEvenlySpaced)
{
    struct Range {
        double lo, hi;
        const char* format;
    };
    const Range ranges[] = {
        {0, 1, "0.0"},        {0, 1, "0"},          {0, 1e-3, "0.0"},       {0, 64, "0"},
        {-5, -1, "0.0"},      {1000.3, 1000.4, "0.0"}, {-24.75, 15.25, "0.0"}, {0, 1e6, "0.0"},
        {-1e6, 1e6, "0"},     {0.5, 0.50001, "0"},  {-2, 6, "0.0"},         {-0.003, 0.0049, "0.0"},
        {-63.8, 42.5, "0.0"}, {12.3456, 12.9, "0"},
    };
    enum Layout { Boxes3D, Figures3D, Filled, Lines };
    for (const Range& r : ranges) {
        for (Layout layout : {Boxes3D, Figures3D, Filled, Lines}) {
            SCOPED_TRACE(testing::Message() << r.lo << " to " << r.hi << " " << r.format << " layout " << int(layout));
            charts::Chart3D c;
            ReadLabels read;
            double step = 0;
            if (layout == Boxes3D || layout == Figures3D) {
                Grid g(50, 50, true);
                ResultFacts f = Facts(50, 50, r.format);
                f.minZ = float(r.lo);
                f.maxZ = float(r.hi);
                f.zRange = f.maxZ - f.minZ;
                OptionBoxes b;
                if (layout == Boxes3D) {
                    b.zMin = core::FormatNumber(r.lo, "0.000000");
                    b.zMax = core::FormatNumber(r.hi, "0.000000");
                }
                Setup3DChart(c, g.in, f, b);
                step = layout == Boxes3D ? (r.hi - r.lo) / 16 : f.zRange / 16.0;
                read.texts.push_back(c.legendLabelSecondText(1).toStdString());
                for (int k = 1; k <= 15; ++k) read.texts.push_back(c.legendLabelText(4 * k).toStdString());
                read.texts.push_back(c.legendLabelSecondText(64).toStdString());
                for (int k = 0; k <= 16; ++k) read.values.push_back((layout == Boxes3D ? r.lo : f.minZ) + k * step);
            } else {
                c.setContourFilled(layout == Filled);
                step = FillContourLegend(c, r.lo, r.hi, r.format, "mils");
                ASSERT_EQ(18, c.legendLabelCount());
                for (int j = 2; j <= 18; ++j) {
                    read.texts.push_back(c.legendLabelText(j).toStdString());
                    read.values.push_back(layout == Filled ? r.lo + (j - 2) * double(step) : c.level(j));
                }
            }
            const std::string& first = read.texts.front();
            const size_t point = first.find('.');
            const int decimals = point == std::string::npos ? 0 : int(first.size() - point - 1);
            const double unit = std::pow(10.0, -decimals);
            double least = 1e300, most = -1e300;
            for (size_t k = 0; k < read.texts.size(); ++k) {
                const double v = Parsed(read.texts[k]);
                EXPECT_NEAR(v, read.values[k], unit / 2 + std::fabs(read.values[k]) * 1e-6) << read.texts[k];
                if (k == 0) continue;
                EXPECT_NE(read.texts[k], read.texts[k - 1]);
                const double apart = v - Parsed(read.texts[k - 1]);
                least = std::min(least, apart);
                most = std::max(most, apart);
            }
            EXPECT_LE(most - least, unit * 1.001) << first << " ... " << read.texts.back();
            // The step as the range gives it: a short decimal reads exactly even.
            const double span = layout == Figures3D ? double(float(r.hi) - float(r.lo)) : r.hi - r.lo;
            const double units = span / (layout == Lines ? 18 : 16) / unit;
            if (std::fabs(units - std::round(units)) < 1e-6 + 1e-12 * units) {
                EXPECT_LE(most - least, unit * 1e-3) << first << " ... " << read.texts.back();
            }
        }
    }
}

// A Z range beyond what the charts can draw is refused with its reason; the
// builders take such boxes as no range.
TEST(Legends, RangesTheChartsCannotDrawAreRefused)
{
    const char* low = "Z Min must be a number from -999999 to 999999.";
    const char* high = "Z Max must be a number from -999999 to 999999.";
    const char* narrow = "Z Max must exceed Z Min by at least 0.000001.";
    const struct {
        double lo, hi;
        const char* problem;
    } cases[] = {
        {0, 1e300, high},       {-1e300, 0, low},       {0, INFINITY, high},  {NAN, 1, low},
        {-999999, 999999, ""},  {0, 1000000, high},     {0, 1e-7, narrow},    {1, 1 + 1e-6, ""},
        {1000.3, 1000.4, ""},   {5, 5, ""},             {6, 2, ""},
    };
    for (const auto& k : cases) EXPECT_EQ(k.problem, core::PlotRangeProblem(k.lo, k.hi)) << k.lo << " " << k.hi;

    charts::Chart3D c;
    Grid g(50, 50, true);
    const SurfaceBuild r = Setup3DChart(c, g.in, Facts(640, 480), {"None", "", "", "0", "1e300"});
    EXPECT_FALSE(r.levelStepWritten);
    EXPECT_TRUE(c.axisMaxAuto(Axis3D::Z));
    EXPECT_EQ(c.legendLabelSecondText(64), "10.0");
    c.setContourFilled(true);
    const ContourBuild k = SetupContourChart(c, g.in, Facts(640, 480), {"None", "", "", "-1e300", "6"}, false);
    EXPECT_EQ(k.contourZMin, -2.5f);
    EXPECT_EQ(c.legendLabelText(18), "10.0");
}
