// Levelling (LSF, 4 Pt, 3 Pt) and grating compensation against analytic answers.
#include "varnholde/varnholde.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <vector>

namespace {

constexpr float kNoData = 9999.0f;

struct Grid {
    int cols, rows;
    std::vector<float> v;
    float& at(int x, int y) { return v[size_t(y) * cols + x]; }
};

Grid Make(int cols, int rows, const std::function<double(double, double)>& f)
{
    Grid g{cols, rows, std::vector<float>(size_t(cols) * rows)};
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) g.at(x, y) = float(f(x, y));
    return g;
}

void ExpectResidual(Grid g, const std::function<double(double, double)>& expected, double tol)
{
    for (int y = 0; y < g.rows; ++y)
        for (int x = 0; x < g.cols; ++x) {
            if (g.at(x, y) == kNoData) continue;
            ASSERT_NEAR(g.at(x, y), expected(x, y), tol) << x << "," << y;
        }
}

// Tilt plus a saddle centred on the grid: the saddle is orthogonal to any
// plane over the full grid and over its four corners.
TEST(Levelling, LeavesTheAnalyticResiduals)
{
    const int cols = 81, rows = 61;
    const double cx = 40, cy = 30, k = 0.002;
    const auto saddle = [&](double x, double y) { return k * (x - cx) * (y - cy); };
    const auto tilted = [&](double x, double y) { return 3.0 + 0.05 * x - 0.03 * y + saddle(x, y); };

    Grid lsf = Make(cols, rows, tilted);
    ASSERT_EQ(RotateDisplacement(lsf.v.data(), rows, cols, 1), 0);
    ExpectResidual(lsf, saddle, 1e-4);

    Grid four = Make(cols, rows, tilted);
    ASSERT_EQ(RotateDisplacement(four.v.data(), rows, cols, 2), 0);
    ExpectResidual(four, saddle, 1e-4);

    // 3 Pt: the plane through (0,0), (XMax,0) and (0,YMax) of the saddle.
    const double s00 = saddle(0, 0), s10 = saddle(80, 0), s01 = saddle(0, 60);
    Grid three = Make(cols, rows, tilted);
    ASSERT_EQ(RotateDisplacement(three.v.data(), rows, cols, 3), 0);
    ExpectResidual(three, [&](double x, double y) {
        return saddle(x, y) - (s00 + (s10 - s00) * x / 80 + (s01 - s00) * y / 60);
    }, 1e-4);
    EXPECT_NEAR(three.at(80, 60), 4 * k * 40 * 30, 1e-4);

    // A paraboloid under LSF keeps its shape less its mean.
    const auto bowl = [&](double x, double y) { return 1e-4 * ((x - cx) * (x - cx) + (y - cy) * (y - cy)); };
    double mean = 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) mean += bowl(x, y);
    mean /= cols * rows;
    Grid para = Make(cols, rows, [&](double x, double y) { return bowl(x, y) - 0.2 * x + 0.1 * y; });
    ASSERT_EQ(RotateDisplacement(para.v.data(), rows, cols, 1), 0);
    ExpectResidual(para, [&](double x, double y) { return bowl(x, y) - mean; }, 1e-4);

    Grid none = Make(cols, rows, tilted);
    ASSERT_EQ(RotateDisplacement(none.v.data(), rows, cols, 0), 0);
    EXPECT_EQ(none.v, Make(cols, rows, tilted).v);
    EXPECT_NE(RotateDisplacement(none.v.data(), rows, cols, 4), 0);
    EXPECT_EQ(none.v, Make(cols, rows, tilted).v);
}

TEST(Levelling, MissingCornersUseTheFirstDataInwardAndNoDataStays)
{
    const int cols = 40, rows = 30;
    const auto plane = [](double x, double y) { return -1.0 + 0.02 * x + 0.07 * y; };
    for (uint8_t mode = 1; mode <= 3; ++mode) {
        SCOPED_TRACE(int(mode));
        Grid g = Make(cols, rows, plane);
        // Corner (0,0) and its first diagonal step, corner (XMax,0), and holes.
        g.at(0, 0) = g.at(1, 1) = kNoData;
        g.at(cols - 1, 0) = kNoData;
        for (int x = 10; x < 20; ++x) g.at(x, 12) = kNoData;
        ASSERT_EQ(RotateDisplacement(g.v.data(), rows, cols, mode), 0) << Varnholde_LastError();
        ExpectResidual(g, [](double, double) { return 0.0; }, 1e-5);
        EXPECT_EQ(g.at(0, 0), kNoData);
        EXPECT_EQ(g.at(1, 1), kNoData);
        EXPECT_EQ(g.at(15, 12), kNoData);
    }

    // A corner with no data on the half of its diagonal: refused, unchanged.
    Grid g = Make(cols, rows, plane);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            if (x + y < 40) g.at(x, y) = kNoData;
    const auto before = g.v;
    EXPECT_NE(RotateDisplacement(g.v.data(), rows, cols, 2), 0);
    EXPECT_STRNE(Varnholde_LastError(), "");
    EXPECT_EQ(g.v, before);
    EXPECT_EQ(RotateDisplacement(g.v.data(), rows, cols, 1), 0); // LSF needs no corner

    std::vector<float> empty(12, kNoData);
    EXPECT_NE(RotateDisplacement(empty.data(), 3, 4, 1), 0);
    for (float v : empty) EXPECT_EQ(v, kNoData);
}

TEST(Levelling, OneRowImageIsLevelledAlongIt)
{
    std::vector<float> row = {1.0f, 2.0f, 3.0f, kNoData, 5.0f};
    for (uint8_t mode = 1; mode <= 3; ++mode) {
        auto r = row;
        ASSERT_EQ(RotateDisplacement(r.data(), 1, 5, mode), 0);
        for (int i : {0, 1, 2, 4}) EXPECT_NEAR(r[i], 0.0f, 1e-5) << int(mode);
        EXPECT_EQ(r[3], kNoData);
    }
}

std::string WriteCompTable(const testsupport::TempDir& dir, const std::vector<double>& grating1)
{
    std::ofstream f(dir.file("GratingComp.txt"));
    f << "Grating compensation\r\n\r\n";
    for (int g = 0; g < 6; ++g) {
        f << "; grating " << g << "\r\n";
        for (int k = 0; k < 8; ++k) f << (g == 1 ? grating1[k] : 1.0 + k) << "\r\n";
        f << "\r\n";
    }
    return dir.file("GratingComp.txt");
}

TEST(Compensation, SubtractsTheGratingSurfaceAtEachPixelsPosition)
{
    testsupport::TempDir dir;
    const std::vector<double> g1 = {4.0, 3.0, 0.1, 0.2, -0.3, 0.4, 0.5, -0.6};
    const std::string path = WriteCompTable(dir, g1);
    const int cols = 20, rows = 10;
    // Width and height take unlike shares of the area (1/2 and 2/5), so that
    // the two directions cannot be mistaken for each other.
    const float width = 2.0f, height = 1.2f;
    Grid d = Make(cols, rows, [](double x, double y) { return 0.01 * x * y; });
    d.at(3, 4) = kNoData;
    const Grid before = d;
    ASSERT_EQ(Compensate_Standard(d.v.data(), path.c_str(), rows, cols, width, height, 1), 0)
        << Varnholde_LastError();
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) {
            if (x == 3 && y == 4) {
                EXPECT_EQ(d.at(x, y), kNoData);
                continue;
            }
            // Pixel centre in inches from the sample centre, over the half area.
            const double u = ((x + 0.5) / cols - 0.5) * width / (g1[0] / 2);
            const double v = ((y + 0.5) / rows - 0.5) * height / (g1[1] / 2);
            const double s = g1[2] + g1[3] * u + g1[4] * v + g1[5] * u * u + g1[6] * u * v + g1[7] * v * v;
            EXPECT_NEAR(d.at(x, y), before.v[size_t(y) * cols + x] - s, 1e-5);
        }
}

TEST(Compensation, RefusesAndLeavesTheDataWhenItCannot)
{
    testsupport::TempDir dir;
    const std::string good = WriteCompTable(dir, {4, 3, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
    Grid d = Make(6, 4, [](double x, double y) { return x - y; });
    const auto before = d.v;
    struct Case {
        const char* what;
        std::string path;
        float w, h;
        uint8_t grating;
    };
    testsupport::TempDir other;
    const std::string zeroParam = WriteCompTable(other, {4, 3, 0.1, 0.2, 0.0, 0.4, 0.5, 0.6});
    const Case cases[] = {
        {"missing file", dir.file("nothere.txt"), 1, 1, 1},
        {"a zero parameter", zeroParam, 1, 1, 1},
        {"zero width", good, 0, 1, 1},
        {"negative height", good, 1, -1, 1},
        {"larger than the area", good, 4.5f, 1, 1},
        {"grating out of range", good, 1, 1, 6},
    };
    for (const Case& c : cases) {
        EXPECT_NE(Compensate_Standard(d.v.data(), c.path.c_str(), 4, 6, c.w, c.h, c.grating), 0) << c.what;
        EXPECT_STRNE(Varnholde_LastError(), "") << c.what;
        EXPECT_EQ(d.v, before) << c.what;
    }
    // A table with fewer than 48 numbers leaves the later gratings without parameters.
    {
        std::ofstream f(dir.file("Short.txt"));
        for (int k = 0; k < 16; ++k) f << 2.0 << "\n";
    }
    EXPECT_EQ(Compensate_Standard(d.v.data(), dir.file("Short.txt").c_str(), 4, 6, 1, 1, 1), 0);
    d.v = before;
    EXPECT_NE(Compensate_Standard(d.v.data(), dir.file("Short.txt").c_str(), 4, 6, 1, 1, 2), 0);
    EXPECT_EQ(d.v, before);
}

// The compensated area holds a sample exactly its size, in width and in
// height, and refuses one a little larger in either.
TEST(Compensation, ASampleTheSizeOfTheAreaIsCompensatedAndALargerOneIsNot)
{
    testsupport::TempDir dir;
    const std::string table = WriteCompTable(dir, {4, 3, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
    const struct {
        float w, h;
        bool taken;
    } cases[] = {{4.0f, 3.0f, true},     {4.0f, 1.0f, true},     {1.0f, 3.0f, true},
                 {4.001f, 1.0f, false}, {1.0f, 3.001f, false}, {4.001f, 3.001f, false}};
    for (const auto& c : cases) {
        Grid d = Make(6, 4, [](double x, double y) { return x - y; });
        const auto before = d.v;
        const int32_t status = Compensate_Standard(d.v.data(), table.c_str(), 4, 6, c.w, c.h, 1);
        EXPECT_EQ(c.taken, status == 0) << c.w << " x " << c.h << ": " << Varnholde_LastError();
        EXPECT_EQ(c.taken, d.v != before) << c.w << " x " << c.h;
    }
}

} // namespace
