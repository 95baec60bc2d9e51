// The 3D chart: surface, contour and legend drawing, reverse queries, levels
// and picture export.
#include "plots/charts/chart3d.h"
#include "plots/charts/chart3d_render.h"
#include "testsupport/testsupport.h"

#include <QImage>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <cmath>
#include <functional>

using namespace charts;

namespace {

// A dome z = 1 - r^2 over a 50 x 50 grid (x = i - 1, y = j - 1), with a hole
// in the corner i 1..8, j 43..50: the far corner at the view angles used
// below, so nothing stands between the viewer and the hole.
double Dome(double x, double y) { return 1.0 - ((x - 24.5) * (x - 24.5) + (y - 24.5) * (y - 24.5)) / (24.5 * 24.5); }

void FillGrid(Chart3D& c, int nx, int ny, const std::function<double(int, int)>& f)
{
    std::vector<float> v(size_t(nx) * size_t(ny));
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) v[size_t(j) * size_t(nx) + size_t(i)] = float(f(i, j));
    c.setPointsX(nx);
    c.setPointsY(ny);
    c.setGridValues(std::move(v));
}

bool InHole(int i, int j) { return i < 8 && j >= 42; }   // 0-based

void MakeDome(Chart3D& c)
{
    c.setIsBatched(true);
    c.setKind(ChartKind::Surface);
    c.setSize(QSize(860, 560));
    c.setHoleValue(9999.0);
    FillGrid(c, 50, 50, [](int i, int j) { return InHole(i, j) ? 9999.0 : Dome(i, j); });
    c.setLevelTableReset(true);
    c.setLevelCount(64);
    c.setIsBatched(false);
}

QRgb At(const QImage& img, QPointF p) { return img.pixel(int(std::floor(p.x())), int(std::floor(p.y()))); }

} // namespace

class SurfaceViews : public ::testing::TestWithParam<std::pair<double, double>> {};

TEST_P(SurfaceViews, DomeWithHoleDrawsBandsHolesAndAnswersQueries)
{
    Chart3D c;
    MakeDome(c);
    c.setViewRotation(GetParam().first);
    c.setViewElevation(GetParam().second);
    const QImage img = c.renderImage();
    ASSERT_EQ(img.size(), QSize(860, 560));
    const Chart3DLayout& lay = c.layout();

    // The hole shows the chart background; the surface around it does not.
    const QPointF hole = lay.dataToPixel(3.5, 45.5, Dome(3.5, 45.5));
    EXPECT_EQ(At(img, hole), QColor(255, 255, 255).rgb());
    EXPECT_EQ(c.pixelToData(int(hole.x()), int(hole.y())).z, 9999.0);
    const QPointF beside = lay.dataToPixel(12, 45.5, Dome(12, 45.5));
    EXPECT_NE(At(img, beside), QColor(255, 255, 255).rgb());

    // The top of the dome lies in the top band and has the top level's colour.
    const QPointF top = lay.dataToPixel(24.5, 24.5, 1.0);
    EXPECT_EQ(At(img, top), c.levelColour(64).rgb());
    EXPECT_NE(c.levelColour(64).rgb(), c.levelColour(1).rgb());

    // Pixel -> data at the pixel of a grid node gives that node.
    for (auto [i, j] : {std::pair{26, 26}, {30, 20}, {40, 12}, {20, 15}, {45, 5}}) {
        QPointF px;
        ASSERT_TRUE(c.gridNodeToPixel(i, j, &px));
        const DataPoint d = c.pixelToData(int(std::floor(px.x())), int(std::floor(px.y())));
        EXPECT_EQ(d.region, -100) << i << "," << j;
        EXPECT_NEAR(d.x, i - 1, 0.5) << i << "," << j;
        EXPECT_NEAR(d.y, j - 1, 0.5) << i << "," << j;
        EXPECT_NEAR(d.z, c.gridValue(i, j), 0.02) << i << "," << j;
        const NearestPoint n = c.nearestDataPoint(int(std::floor(px.x())), int(std::floor(px.y())));
        EXPECT_EQ(n.gridX, i);
        EXPECT_EQ(n.gridY, j);
        EXPECT_LT(n.distance, 1.0);
        EXPECT_EQ(n.region, -100);
    }
    // Off the surface.
    const DataPoint off = c.pixelToData(3, 3);
    EXPECT_EQ(off.z, 9999.0);
    EXPECT_EQ(off.x, 9999.0);
    EXPECT_NE(off.region, -100);
}

INSTANTIATE_TEST_SUITE_P(TwoAngles, SurfaceViews, ::testing::Values(std::pair{330.0, 70.0}, std::pair{300.0, 55.0}));

TEST(Surface, LargeGridIsDrawnFarToNearFromEitherSide)
{
    // A ridge near the viewer hides the floor behind it; drawn in the wrong
    // order the floor would cover the ridge's front face.
    const int n = 400;
    for (double rotation : {0.0, 180.0}) {
        Chart3D c;
        c.setIsBatched(true);
        c.setKind(ChartKind::Surface);
        const bool nearLow = rotation == 0.0;
        FillGrid(c, n, n, [&](int, int j) {
            const int jj = nearLow ? j : n - 1 - j;
            return jj >= 40 && jj <= 60 ? 1.0 : 0.0;
        });
        c.setLevelTableReset(true);
        c.setLevelCount(64);
        c.setViewRotation(rotation);
        c.setViewElevation(30);
        c.setIsBatched(false);
        const QImage img = c.renderImage();
        const double yFace = nearLow ? 39.5 : n - 1 - 39.5;
        const QPointF face = c.layout().dataToPixel(n / 2.0, yFace, 0.5);
        const QColor faceColour = c.levelColour(c.levelIndexOf(0.5));
        EXPECT_EQ(At(img, face), faceColour.rgb()) << "rotation " << rotation;
        EXPECT_NE(faceColour.rgb(), c.levelColour(1).rgb());
    }
}

namespace {

// z = x over 50 x 50 points, 17 even levels from 0 to 49.
void MakeRamp(Chart3D& c, bool filled)
{
    c.setIsBatched(true);
    c.setKind(ChartKind::Contour);
    c.setSize(QSize(860, 560));
    c.setLegendShown(false);
    FillGrid(c, 50, 50, [](int i, int) { return double(i); });
    c.setAxisMin(Axis3D::Z, 0);
    c.setAxisMax(Axis3D::Z, 49);
    c.setLevelTableReset(true);
    c.setLevelCount(0);
    for (int i = 0; i <= 16; ++i) c.addLevel(0 + i * (49.0 / 16));
    c.setContourFilled(filled);
    c.setIsBatched(false);
}

struct Run {
    QRgb colour;
    int length;
};

std::vector<Run> Runs(const QImage& img, int y, int x0, int x1)
{
    std::vector<Run> runs;
    for (int x = x0; x <= x1; ++x) {
        const QRgb p = img.pixel(x, y);
        if (runs.empty() || runs.back().colour != p) runs.push_back({p, 1});
        else ++runs.back().length;
    }
    return runs;
}

} // namespace

TEST(Contour, FilledRampShowsSixteenEqualBandsInLevelColours)
{
    Chart3D c;
    MakeRamp(c, true);
    ASSERT_EQ(c.levelCount(), 17);
    const QImage img = c.renderImage();
    const QRectF r = c.layout().dataRect();
    const int y = int(r.center().y());
    const auto runs = Runs(img, y, int(r.left()), int(r.right()) - 1);
    ASSERT_EQ(runs.size(), 16u);
    const double expected = r.width() / 16.0;
    for (size_t k = 0; k < runs.size(); ++k) {
        EXPECT_EQ(runs[k].colour, c.levelColour(int(k) + 1).rgb()) << k;
        EXPECT_NEAR(runs[k].length, expected, 1.5) << k;
    }
    // Pixel -> data on the map: x follows the pixel, z = x.
    const DataPoint d = c.pixelToData(int(r.center().x()), y);
    EXPECT_EQ(d.region, -100);
    EXPECT_NEAR(d.z, d.x, 1e-6);
    EXPECT_NEAR(d.x, 24.5, 49.0 / r.width() * 1.5);
    EXPECT_EQ(c.pixelToData(int(r.left()) - 5, y).z, 9999.0);
}

TEST(Contour, LinesModeDrawsEachInnerIsoLine)
{
    Chart3D c;
    MakeRamp(c, false);
    const QColor grey(214, 211, 206);
    c.setChartBackground(grey);
    c.setStyle(BuiltInStyle("Blackline Contour.sty"));
    const QImage img = c.renderImage();
    const QRectF r = c.layout().dataRect();
    const int y = int(r.center().y());
    // Dark runs inside the frame: one per level strictly between 0 and 49.
    int lines = 0;
    bool inLine = false;
    for (int x = int(r.left()) + 3; x <= int(r.right()) - 3; ++x) {
        const bool dark = qGray(img.pixel(x, y)) < 150;
        if (dark && !inLine) ++lines;
        inLine = dark;
    }
    EXPECT_EQ(lines, 15);
    // Between two lines the map shows the background.
    const double between = r.left() + (1.5 * 49.0 / 16) / 49.0 * r.width();
    EXPECT_EQ(img.pixel(int(between), y), grey.rgb());
    // A line lies where its level is.
    const double at = r.left() + (4 * 49.0 / 16) / 49.0 * r.width();
    EXPECT_LT(qGray(img.pixel(int(at), y)), 150);
}

TEST(Contour, GrayFillDrawsOnlyGreyInThePlotArea)
{
    Chart3D c;
    MakeDome(c);
    c.setKind(ChartKind::Contour);
    c.setContourFilled(true);
    c.setHeaderText("Header");
    c.setFooterText("Footer");
    const QString sty = QString::fromStdString(testsupport::SourceDir()) + "/app/plots/styles/Grayfill Contour.sty";
    ASSERT_TRUE(c.loadStyle(sty));
    const QImage img = c.renderImage();
    const QRect plot = c.layout().plotRect();
    int distinct = 0;
    QRgb last = 0;
    for (int y = plot.top(); y <= plot.bottom(); ++y)
        for (int x = plot.left(); x <= plot.right(); ++x) {
            const QRgb p = img.pixel(x, y);
            ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << x << "," << y;
            if (p != last) ++distinct, last = p;
        }
    EXPECT_GT(distinct, 10);
}

TEST(Contour, NearestPointOnTheMapAndOffIt)
{
    Chart3D c;
    MakeRamp(c, true);
    QPointF px;
    ASSERT_TRUE(c.gridNodeToPixel(10, 40, &px));
    const NearestPoint n = c.nearestDataPoint(int(px.x()), int(px.y()));
    EXPECT_EQ(n.gridX, 10);
    EXPECT_EQ(n.gridY, 40);
    EXPECT_LT(n.distance, 1.5);
    EXPECT_EQ(n.region, -100);
    // Grid row 1 is at the bottom of the map.
    QPointF low;
    ASSERT_TRUE(c.gridNodeToPixel(10, 1, &low));
    EXPECT_GT(low.y(), px.y());
    EXPECT_NE(c.nearestDataPoint(2, 2).region, -100);
}

TEST(Legend, EveryModeDrawsTheLevelColoursAndNeverCrashes)
{
    for (int mode : {0, 1, 2}) {
        Chart3D c;
        c.setIsBatched(true);
        c.setKind(ChartKind::LegendOnly);
        c.setSize(QSize(200, 500));
        c.setAxisMin(Axis3D::Z, 0);
        c.setAxisMax(Axis3D::Z, 16);
        c.setLevelTableReset(true);
        c.setLevelCount(0);
        for (int i = 0; i <= 16; ++i) c.addLevel(i);
        c.setLegendMode(mode);
        c.appendLegendLabel("");
        for (int k = 0; k <= 16; ++k) c.appendLegendLabel(QString::number(k));
        c.setIsBatched(false);
        const QImage img = c.renderImage();
        auto count = [&](QRgb colour) {
            int n = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) n += img.pixel(x, y) == colour;
            return n;
        };
        if (mode == 1) {
            EXPECT_GT(count(c.levelColour(9).rgb()), 0) << mode;
        } else {
            EXPECT_GT(count(c.levelColour(1).rgb()), 20) << mode;
            EXPECT_GT(count(c.levelColour(16).rgb()), 20) << mode;
        }
    }
    // An empty chart of any kind draws without data.
    for (ChartKind k : {ChartKind::Surface, ChartKind::Contour, ChartKind::LegendOnly}) {
        Chart3D c;
        c.setKind(k);
        EXPECT_FALSE(c.renderImage().isNull());
        EXPECT_EQ(c.pixelToData(100, 100).z, 9999.0);
    }
}

TEST(Model, LevelTableLabelsAxesAndBatching)
{
    Chart3D c;
    FillGrid(c, 3, 2, [](int i, int j) { return i + 10.0 * j; });
    // Automatic limits follow the data; a set limit turns automatic off.
    EXPECT_EQ(c.axisMin(Axis3D::Z), 0.0);
    EXPECT_EQ(c.axisMax(Axis3D::Z), 12.0);
    EXPECT_EQ(c.axisMax(Axis3D::X), 2.0);
    c.setSpacingX(0.5);
    EXPECT_EQ(c.axisMax(Axis3D::X), 1.0);
    c.setAxisMax(Axis3D::Z, 64);
    EXPECT_FALSE(c.axisMaxAuto(Axis3D::Z));
    c.setAxisMin(Axis3D::Z, 0);
    // Even levels over the Z range.
    c.setLevelTableReset(true);
    c.setLevelCount(64);
    EXPECT_EQ(c.levelCount(), 64);
    EXPECT_DOUBLE_EQ(c.level(1), 0.0);
    EXPECT_DOUBLE_EQ(c.level(64), 63.0);
    // Explicit levels; count 0 empties.
    c.setLevelCount(0);
    EXPECT_EQ(c.levelCount(), 0);
    c.addLevel(2);
    c.addLevel(1);
    EXPECT_EQ(c.levelCount(), 2);
    EXPECT_EQ(c.level(1), 1.0);
    EXPECT_EQ(c.level(3), 0.0);
    EXPECT_EQ(c.levelIndexOf(0.5), 1);
    EXPECT_EQ(c.levelIndexOf(1.5), 1);
    EXPECT_EQ(c.levelIndexOf(7), 2);
    EXPECT_EQ(c.levelIndexOf(9999.0), 0);
    // Legend items grow when written past the end.
    c.setLegendLabelSecondText(64, "64");
    EXPECT_EQ(c.legendLabelCount(), 64);
    EXPECT_EQ(c.legendLabelSecondText(64), "64");
    EXPECT_EQ(c.legendLabelText(65), "");
    // Batching reports once.
    QSignalSpy spy(&c, &Chart3D::changed);
    c.setIsBatched(true);
    c.setHeaderText("a");
    c.setFooterText("b");
    c.addChartLabel();
    EXPECT_EQ(spy.count(), 0);
    c.setIsBatched(false);
    EXPECT_EQ(spy.count(), 1);
    c.setIsBatched(true);
    c.setIsBatched(false);
    EXPECT_EQ(spy.count(), 1);
    c.removeAllChartLabels();
    EXPECT_EQ(c.chartLabelCount(), 0);
}

TEST(Export, BmpIs24BitOfTheChartSizeAndJpegStartsWithSoi)
{
    testsupport::TempDir dir("charts");
    Chart3D c;
    MakeDome(c);
    c.setSize(QSize(333, 222));
    ChartLabel l;
    const int n = c.addChartLabel();
    l.text = "12.3 mils\r(x,y) = (1.25,0.50)";
    l.attachPoint = QPoint(100, 100);
    l.offset = QPoint(20, 20);
    c.updateChartLabel(n, l);
    const std::string bmp = dir.file("a_3D.bmp"), jpg = dir.file("a_3D.jpg");
    ASSERT_TRUE(c.exportBmp(QString::fromStdString(bmp)));
    ASSERT_TRUE(c.exportJpeg(QString::fromStdString(jpg), 100));
    const auto b = testsupport::ReadBytes(bmp);
    ASSERT_GT(b.size(), 54u);
    auto le32 = [&](size_t o) { return int(b[o] | b[o + 1] << 8 | b[o + 2] << 16 | b[o + 3] << 24); };
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(18), 333);
    EXPECT_EQ(std::abs(le32(22)), 222);
    EXPECT_EQ(b[28] | b[29] << 8, 24);
    // The file holds the rendered picture.
    const QImage back(QString::fromStdString(bmp));
    EXPECT_EQ(back.pixel(2, 2), c.renderImage().pixel(2, 2));
    const auto j = testsupport::ReadBytes(jpg);
    ASSERT_GT(j.size(), 2u);
    EXPECT_EQ(j[0], 0xFF);
    EXPECT_EQ(j[1], 0xD8);
    EXPECT_EQ(QImage(QString::fromStdString(jpg)).size(), QSize(333, 222));
    // An export that cannot be written fails and leaves nothing behind.
    QString why;
    EXPECT_FALSE(c.exportBmp(QString::fromStdString(dir.file("missing/x.bmp")), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.file("missing"))));
}

namespace {

// Texts of the layout that lie in a rectangle.
std::vector<TextBox> TextsIn(const Chart3D& c, const QRect& r)
{
    std::vector<TextBox> out;
    for (const TextBox& b : c.layout().textBoxes())
        if (r.contains(b.rect.center().toPoint())) out.push_back(b);
    return out;
}

bool Ink(QRgb p) { return qGray(p) < 200; }

} // namespace

TEST(Legend, FilledLabelsSitOnTheBoundariesTheyNameWithoutATopBand)
{
    Chart3D c;
    MakeRamp(c, true);
    c.setLegendShown(true);
    c.setLegendMode(2);
    c.appendLegendLabel("");
    for (int k = 0; k <= 16; ++k) c.appendLegendLabel(QString::number(k * 49.0 / 16, 'f', 1));
    const QImage img = c.renderImage();
    const QRect legend = c.layout().legendRect();
    const int swatchX = legend.left() + 8 + 12;
    const std::vector<TextBox> texts = TextsIn(c, legend);
    ASSERT_EQ(texts.size(), 17u);
    for (const TextBox& t : texts) {
        const double v = t.text.toDouble();
        const int k = int(std::lround(v / (49.0 / 16))) + 1;   // the level the label names
        const int y = int(std::lround(t.rect.center().y()));
        // Below the boundary the band of the level under it (or nothing
        // under the first), above it the band of this level (nothing above the last).
        const QRgb below = img.pixel(swatchX, y + 3), above = img.pixel(swatchX, y - 4);
        if (k == 1) EXPECT_EQ(below, c.legendBackground().rgb());
        else EXPECT_EQ(below, c.levelColour(k - 1).rgb()) << t.text.toStdString();
        if (k == 17) EXPECT_EQ(above, c.legendBackground().rgb());
        else EXPECT_EQ(above, c.levelColour(k).rgb()) << t.text.toStdString();
    }
}

TEST(Legend, ColourBarNumbersStandClearOfTheirTicks)
{
    Chart3D c;
    c.setIsBatched(true);
    c.setKind(ChartKind::LegendOnly);
    c.setSize(QSize(180, 480));
    c.setLevelTableReset(true);
    c.setLevelCount(0);
    for (int k = 0; k < 64; ++k) c.addLevel(-1.4 + k * 0.05);
    for (int k = 4; k <= 60; k += 4) c.setLegendLabelText(k, QString::number(-1.4 + k * 0.05, 'f', 1));
    c.setLegendLabelSecondText(1, "-1.4");
    c.setLegendLabelSecondText(64, "1.8");
    c.setIsBatched(false);
    const QImage img = c.renderImage();
    const int tickEnd = c.layout().legendRect().left() + 8 + 24 + 4;
    const std::vector<TextBox> texts = TextsIn(c, c.layout().legendRect());
    ASSERT_GE(texts.size(), 10u);
    for (const TextBox& t : texts) {
        if (!t.text.startsWith('-')) continue;
        // Two clear columns between the tick's end and the minus sign.
        for (int y = int(t.rect.top()); y < int(t.rect.bottom()); ++y)
            for (int x = tickEnd + 1; x <= tickEnd + 2; ++x) EXPECT_FALSE(Ink(img.pixel(x, y))) << t.text.toStdString() << " " << x << "," << y;
        EXPECT_GE(t.rect.left(), tickEnd + 3);
    }
}

TEST(Legend, FlatResultIsTheMiddleColourNamedOnce)
{
    for (ChartKind kind : {ChartKind::Contour, ChartKind::Surface}) {
        Chart3D c;
        c.setIsBatched(true);
        c.setKind(kind);
        c.setSize(QSize(860, 560));
        FillGrid(c, 50, 50, [](int, int) { return 0.0; });
        c.setLevelTableReset(true);
        c.setLevelCount(0);
        for (int k = 0; k <= 16; ++k) c.addLevel(0.0);
        c.setLegendMode(2);
        c.appendLegendLabel("");
        for (int k = 0; k <= 16; ++k) c.appendLegendLabel("0.0");
        c.setIsBatched(false);
        const QImage img = c.renderImage();
        const QRgb middle = c.style().rampColour(0.5).rgb();
        const QPointF centre = kind == ChartKind::Contour ? c.layout().dataRect().center() : c.layout().dataToPixel(24.5, 24.5, 0);
        EXPECT_EQ(img.pixel(centre.toPoint()), middle);
        const std::vector<TextBox> texts = TextsIn(c, c.layout().legendRect());
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].text, "0.0");
        EXPECT_EQ(img.pixel(c.layout().legendRect().left() + 20, int(texts[0].rect.center().y())), middle);
    }
}

TEST(Surface, ZLimitsCutTheSurfaceLikeTheFlatCharts)
{
    // A ramp z = x seen with rotation 0, where a picture column is one x:
    // with Z limits 10 to 30 the surface shows only between x = 10 and
    // x = 30 (no plateaus beyond), and the cut cells reach both limits.
    Chart3D c;
    c.setIsBatched(true);
    c.setKind(ChartKind::Surface);
    c.setSize(QSize(860, 560));
    c.setLegendShown(false);
    FillGrid(c, 50, 50, [](int i, int) { return double(i); });
    c.setAxisMin(Axis3D::Z, 10);
    c.setAxisMax(Axis3D::Z, 30);
    c.setLevelTableReset(true);
    c.setLevelCount(0);
    for (int k = 0; k < 8; ++k) c.addLevel(10 + k * 2.5);
    c.setViewRotation(0);
    c.setViewElevation(30);
    c.setIsBatched(false);
    const QImage img = c.renderImage();
    const Chart3DLayout& lay = c.layout();
    const double x10 = lay.dataToPixel(10, 0, 10).x(), x30 = lay.dataToPixel(30, 0, 10).x();
    auto coloured = [](QRgb p) { return !(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)); };
    int inside = 0;
    bool nearLow = false, nearHigh = false;
    for (int y = lay.plotRect().top(); y <= lay.plotRect().bottom(); ++y)
        for (int x = lay.plotRect().left(); x <= lay.plotRect().right(); ++x) {
            if (!coloured(img.pixel(x, y))) continue;
            ASSERT_GE(x, int(x10) - 1) << x << "," << y;
            ASSERT_LE(x, int(x30) + 1) << x << "," << y;
            nearLow = nearLow || x <= x10 + 2;
            nearHigh = nearHigh || x >= x30 - 2;
            ++inside;
        }
    EXPECT_GT(inside, 1000);
    EXPECT_TRUE(nearLow);
    EXPECT_TRUE(nearHigh);
}

TEST(Contour, MaskedNodeIsNotOnTheData)
{
    Chart3D c;
    MakeRamp(c, true);
    std::vector<float> v = c.gridValues();
    v[size_t(39) * 50 + 9] = 9999.0f;   // node (10, 40)
    c.setGridValues(v);
    QPointF px;
    ASSERT_TRUE(c.gridNodeToPixel(11, 40, &px));
    EXPECT_EQ(c.nearestDataPoint(int(px.x()), int(px.y())).region, -100);
    const double dx = px.x();
    ASSERT_TRUE(c.gridNodeToPixel(9, 40, &px));
    const QPointF masked((px.x() + dx) / 2.0, px.y());
    const NearestPoint n = c.nearestDataPoint(int(masked.x()), int(masked.y()));
    EXPECT_EQ(n.gridX, 10);
    EXPECT_EQ(n.gridY, 40);
    EXPECT_EQ(n.region, 1);
}
