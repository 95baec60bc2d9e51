// The 2D profile chart: series with holes, axes, data files, export.
#include "plots/charts/chart2d.h"
#include "plots/charts/chart3d_render.h"
#include "testsupport/testsupport.h"

#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

using namespace charts;

namespace {

void Fill(Chart2D& c)
{
    c.setIsBatched(true);
    c.setSize(QSize(600, 400));
    c.setHoleValue(9999.0);
    c.setSeriesCount(2);
    c.setPointCount(10);
    for (int i = 1; i <= 10; ++i) {
        c.setX(i, i - 1);
        c.setY(1, i, (i >= 4 && i <= 6) ? 9999.0 : 1.0);
        c.setY(2, i, -1.0);
    }
    c.setSeriesLabel(1, "Upper Left to Lower Right (AB)");
    c.setSeriesLabel(2, "Lower Left to Upper Right (CD)");
    c.setAxisMin(Axis2D::Y, -2);
    c.setAxisMax(Axis2D::Y, 2);
    c.setIsBatched(false);
}

bool Bluish(QRgb p) { return qBlue(p) > 150 && qRed(p) < 120 && qGreen(p) < 120; }

} // namespace

TEST(Chart2D, HolesBreakTheLineAndSeriesShareX)
{
    Chart2D c;
    Fill(c);
    const QImage img = c.renderImage();
    ASSERT_EQ(img.size(), QSize(600, 400));
    // Series 1 is drawn between points 1 and 3 and between 7 and 10 ...
    for (double x : {1.0, 7.5}) {
        const QPointF p = c.dataToPixel(x, 1.0);
        EXPECT_TRUE(Bluish(img.pixel(int(p.x()), int(p.y()))) || Bluish(img.pixel(int(p.x()), int(p.y()) - 1))) << x;
    }
    // ... but not across the hole.
    const QPointF gap = c.dataToPixel(4.0, 1.0);
    for (int dy = -2; dy <= 2; ++dy) EXPECT_FALSE(Bluish(img.pixel(int(gap.x()), int(gap.y()) + dy)));
    EXPECT_EQ(c.x(3), 2.0);
    EXPECT_EQ(c.y(2, 10), -1.0);
    EXPECT_EQ(c.y(3, 1), 9999.0);
}

TEST(Chart2D, AxisLimitsTitlesAndAddressing)
{
    Chart2D c;
    Fill(c);
    EXPECT_EQ(c.axisMin(Axis2D::Y), -2.0);
    EXPECT_EQ(c.axisMax(Axis2D::Y), 2.0);
    c.setAxisMinAuto(Axis2D::Y, true);
    c.setAxisMaxAuto(Axis2D::Y, true);
    EXPECT_LE(c.axisMin(Axis2D::Y), -1.0);   // holes are not data
    EXPECT_GE(c.axisMax(Axis2D::Y), 1.0);
    EXPECT_LT(c.axisMax(Axis2D::Y), 9999.0);
    EXPECT_EQ(c.axisMin(Axis2D::X), 0.0);
    c.setAxisMax(Axis2D::X, 12.5);
    EXPECT_EQ(c.axisMax(Axis2D::X), 12.5);
    Axis2D a;
    EXPECT_TRUE(Chart2D::AxisByName("y", &a));
    EXPECT_EQ(a, Axis2D::Y);
    EXPECT_TRUE(Chart2D::AxisByIndex(1, &a));
    EXPECT_EQ(a, Axis2D::X);
    EXPECT_FALSE(Chart2D::AxisByIndex(3, &a));
    EXPECT_FALSE(Chart2D::AxisByName("Z", &a));
    // Titles, hidden numbers, header and footer render without trouble.
    c.setAxisTitle(Axis2D::X, "Position Along Diagonal (pixels)");
    c.setAxisTitle(Axis2D::Y, "Displacement (mils)");
    c.setAxisAnnotation(Axis2D::X, 2);
    c.setAxisTitleFontSize(Axis2D::X, 30);
    c.setHeaderText("plate7");
    c.setFooterText("Min/Max Values");
    c.setLegendShown(false);
    EXPECT_FALSE(c.renderImage().isNull());
}

TEST(Chart2D, LoadsDataFilesAndRefusesBrokenOnes)
{
    testsupport::TempDir dir("chart2d");
    const std::string good = dir.file("Diagonal.dat");
    testsupport::WriteBytes(good, {});
    {
        QFile f(QString::fromStdString(good));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("# sample\nsorvanta-chart2d 1\nseries 2\npoints 3\nlabel 1 Upper Left to Lower Right (AB)\n"
                "0 1.5 -1\n1 9999 -2\n2.5 3 -3\n");
    }
    Chart2D c;
    QString why;
    ASSERT_TRUE(c.loadData(QString::fromStdString(good), &why)) << why.toStdString();
    EXPECT_EQ(c.seriesCount(), 2);
    EXPECT_EQ(c.pointCount(), 3);
    EXPECT_EQ(c.x(3), 2.5);
    EXPECT_EQ(c.y(1, 2), 9999.0);
    EXPECT_EQ(c.y(2, 3), -3.0);
    EXPECT_EQ(c.seriesLabel(1), "Upper Left to Lower Right (AB)");

    const char* broken[] = {
        "",                                                           // empty
        "series 1\npoints 1\n0 1\n",                                  // no first line
        "sorvanta-chart2d 2\nseries 1\npoints 1\n0 1\n",              // other version
        "sorvanta-chart2d 1\nseries 1\npoints 2\n0 1\n",              // too few points
        "sorvanta-chart2d 1\nseries 1\npoints 1\n0 1\n1 2\n",         // too many points
        "sorvanta-chart2d 1\nseries 2\npoints 1\n0 1\n",              // short line
        "sorvanta-chart2d 1\nseries 1\npoints 1\n0 abc\n",            // bad number
        "sorvanta-chart2d 1\n0 1\n",                                  // data before counts
        "sorvanta-chart2d 1\nseries 0\npoints 1\n",                   // no series
        "sorvanta-chart2d 1\nseries 1\npoints 1\nlabel 2 x\n0 1\n",   // label of no series
    };
    for (const char* text : broken) {
        const std::string path = dir.file("bad.dat");
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        QString reason;
        EXPECT_FALSE(c.loadData(QString::fromStdString(path), &reason)) << text;
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_EQ(c.pointCount(), 3) << text;   // unchanged
    }
    EXPECT_FALSE(c.loadData(QString::fromStdString(dir.file("none.dat"))));
}

TEST(Chart2D, ExportsPictures)
{
    testsupport::TempDir dir("chart2d");
    Chart2D c;
    Fill(c);
    const std::string bmp = dir.file("a_dia.bmp"), jpg = dir.file("a_dia.jpg");
    ASSERT_TRUE(c.exportBmp(QString::fromStdString(bmp)));
    ASSERT_TRUE(c.exportJpeg(QString::fromStdString(jpg), 100));
    const auto b = testsupport::ReadBytes(bmp);
    ASSERT_GT(b.size(), 30u);
    EXPECT_EQ(b[28] | b[29] << 8, 24);
    EXPECT_EQ(QImage(QString::fromStdString(bmp)).size(), QSize(600, 400));
    const auto j = testsupport::ReadBytes(jpg);
    ASSERT_GT(j.size(), 2u);
    EXPECT_EQ(j[0], 0xFF);
    EXPECT_EQ(j[1], 0xD8);
}

TEST(AxisTicks, NiceStepsAndTheirTexts)
{
    EXPECT_EQ(NiceTicks(0, 10, 6), (std::vector<double>{0, 2, 4, 6, 8, 10}));
    EXPECT_EQ(NiceTicks(-1, 1, 5), (std::vector<double>{-1, -0.5, 0, 0.5, 1}));
    EXPECT_TRUE(NiceTicks(1, 1, 6).empty());
    EXPECT_TRUE(NiceTicks(0, 1, 1).empty());
    struct { double v, step; const char* text; } cases[] = {
        {4, 2, "4"}, {0.5, 0.5, "0.5"}, {-0.2, 0.2, "-0.2"}, {1e-17, 0.1, "0.0"}, {-1e-17, 2, "0"},
        {0.001, 0.001, "0.001"}, {3e-12, 1e-12, "0.00000000"},
        // Steps of 2.5 x 10^n keep the digit that makes them exact.
        {0.25, 0.25, "0.25"}, {0.75, 0.25, "0.75"}, {-0.5, 0.25, "-0.50"}, {7.5, 2.5, "7.5"}, {25, 25, "25"},
        {0.025, 0.025, "0.025"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatTick(c.v, c.step).toStdString(), c.text) << c.v << " " << c.step;
}
