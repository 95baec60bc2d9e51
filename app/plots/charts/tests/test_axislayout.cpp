// Axis numbering and text layout of the charts: the tick routine over small
// budgets and awkward ranges, and exported 3D and 2D charts whose text boxes
// (titles, numbers, legend) never overlap at any size and view angle, and a
// table of charts that draw the pictures recorded for them.
#include "plots/charts/chart2d.h"
#include "plots/charts/chart3d.h"
#include "plots/charts/chart3d_render.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <memory>

using namespace charts;

namespace {

// The step of a tick list is 1, 2, 2.5 or 5 times a power of ten.
bool NiceStep(double step)
{
    const double mag = std::pow(10.0, std::floor(std::log10(step) + 1e-12));
    const double m = step / mag;
    for (double nice : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (std::fabs(m - nice) < 1e-6) return true;
    return false;
}

} // namespace

TEST(AxisTicks, AtLeastThreeNiceTicksInsideEveryRange)
{
    struct Case { double lo, hi; int budget; };
    const Case cases[] = {
        {-21.3, 42.5, 3}, {-21.3, 42.5, 2}, {0, 639, 2}, {0, 479, 3}, {0, 1, 2}, {0.3, 0.7, 2},
        {-1.4, 0.05, 3}, {99.1, 100.3, 2}, {-0.0004, 0.0007, 3}, {1e6, 1e6 + 3, 2}, {-5, 5, 2},
        {0.01, 0.0199, 3}, {12.5, 13.0, 8}, {-1e-3, 1e-3, 10}, {0, 49, 8}, {3.7, 96.2, 12},
    };
    for (const Case& c : cases) {
        const std::vector<double> t = NiceTicks(c.lo, c.hi, c.budget);
        SCOPED_TRACE(testing::Message() << "[" << c.lo << ", " << c.hi << "] budget " << c.budget);
        ASSERT_GE(t.size(), 3u);
        EXPECT_LE(t.size(), size_t(std::max(c.budget, 3)) + 2);   // three can take a fourth or fifth
        const double step = t[1] - t[0];
        EXPECT_TRUE(NiceStep(step)) << step;
        for (size_t k = 0; k < t.size(); ++k) {
            EXPECT_GE(t[k], c.lo - std::fabs(step) * 1e-6);
            EXPECT_LE(t[k], c.hi + std::fabs(step) * 1e-6);
            if (k > 0) {
                EXPECT_NEAR(t[k] - t[k - 1], step, step * 1e-6);
            }
            // Every tick a whole multiple of the step.
            EXPECT_NEAR(t[k] / step, std::round(t[k] / step), 1e-6);
        }
        // Texts distinct and with the decimals the step needs.
        for (size_t k = 1; k < t.size(); ++k) EXPECT_NE(FormatTick(t[k], step), FormatTick(t[k - 1], step));
    }
    // The budget is used when the range allows it.
    EXPECT_EQ(NiceTicks(0, 10, 6), (std::vector<double>{0, 2, 4, 6, 8, 10}));
    EXPECT_EQ(NiceTicks(-21.3, 42.5, 3), (std::vector<double>{-20, 0, 20, 40}));
    EXPECT_EQ(NiceTicks(0, 1, 2), (std::vector<double>{0, 0.5, 1}));
    // A range too wide to measure gives no ticks rather than hanging.
    EXPECT_TRUE(NiceTicks(-1e308, 1e308, 5).empty());
}

TEST(AxisTicks, ChartsOfAnySizeLayOutWithoutFault)
{
    for (const QSize size : {QSize(1, 1), QSize(40, 30), QSize(120, 90), QSize(4000, 60)}) {
        for (ChartKind kind : {ChartKind::Surface, ChartKind::Contour, ChartKind::LegendOnly}) {
            Chart3D c;
            c.setKind(kind);
            c.setSize(size);
            c.setHeaderText("a\rb");
            EXPECT_EQ(c.renderImage().size(), size);
        }
        Chart2D d;
        d.setSize(size);
        d.setSeriesCount(1);
        EXPECT_EQ(d.renderImage().size(), size);
    }
}

namespace {

// A dome of 640 x 480 pixels on the 50 x 50 grid, with the texts the
// surface builder puts on it.
void MakeSurface(Chart3D& c, ChartKind kind, QSize size)
{
    c.setIsBatched(true);
    c.setKind(kind);
    c.setSize(size);
    const int n = 50;
    std::vector<float> v(size_t(n) * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double x = (i - 24.5) / 24.5, y = (j - 24.5) / 24.5;
            v[size_t(j) * n + size_t(i)] = float(42.5 - 63.8 * (x * x + y * y) / 2.0);
        }
    c.setPointsX(n);
    c.setPointsY(n);
    c.setOriginX(0);
    c.setOriginY(0);
    c.setSpacingX(639.0 / 49.0);
    c.setSpacingY(479.0 / 49.0);
    c.setGridValues(std::move(v));
    c.setPlotExtentX(640);
    c.setPlotExtentY(480);
    c.setHeaderText("dome_ph.tif\rReference: plate7_ph.tif");
    c.setFooterText("Coplanarity = 63.8 mils");
    c.setAxisTitle(Axis3D::X, "X (pixels)");
    c.setAxisTitle(Axis3D::Y, "Y (pixels)");
    c.setAxisTitle(Axis3D::Z, "Displacement (mils)");
    c.setLevelTableReset(true);
    c.setLevelCount(0);
    const int levels = kind == ChartKind::Surface ? 64 : 17;
    const double lo = -21.3, hi = 42.5, step = (hi - lo) / (levels - 1);
    for (int k = 0; k < levels; ++k) c.addLevel(lo + k * step);
    c.setLegendMode(kind == ChartKind::Surface ? 0 : 2);
    c.removeAllLegendLabels();
    if (kind == ChartKind::Surface) {
        for (int k = 1; k <= 64; ++k) c.appendLegendLabel(k % 4 == 0 ? QString::number(lo + k * step, 'f', 1) : QString());
        c.setLegendLabelSecondText(1, "-21.3");
        c.setLegendLabelSecondText(64, "42.5");
    } else {
        c.appendLegendLabel("");
        for (int k = 0; k <= 16; ++k) c.appendLegendLabel(QString::number(lo + k * step, 'f', 1));
    }
    c.setIsBatched(false);
}

// No two texts overlap, and every text lies inside the picture.
void ExpectApart(const std::vector<TextBox>& boxes, QSize size)
{
    const QRectF picture(0, 0, size.width(), size.height());
    for (size_t a = 0; a < boxes.size(); ++a) {
        EXPECT_TRUE(picture.contains(boxes[a].rect)) << boxes[a].text.toStdString();
        for (size_t b = a + 1; b < boxes.size(); ++b)
            EXPECT_FALSE(boxes[a].rect.intersects(boxes[b].rect))
                << '"' << boxes[a].text.toStdString() << "\" and \"" << boxes[b].text.toStdString() << '"';
    }
}

int CountNumbers(const std::vector<TextBox>& boxes, const QRectF& area)
{
    int n = 0;
    for (const TextBox& b : boxes) {
        bool ok = false;
        b.text.toDouble(&ok);
        if (ok && area.contains(b.rect.center())) ++n;
    }
    return n;
}

const QSize kSizes[] = {QSize(860, 560), QSize(400, 300), QSize(1600, 1000)};

} // namespace

class SurfaceTextLayout : public ::testing::TestWithParam<std::pair<double, double>> {};

TEST_P(SurfaceTextLayout, TextsNeverOverlapNorCoverTheBox)
{
    for (const QSize size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " view " << GetParam().first << "/"
                                        << GetParam().second);
        Chart3D c;
        MakeSurface(c, ChartKind::Surface, size);
        c.setViewRotation(GetParam().first);
        c.setViewElevation(GetParam().second);
        const Chart3DLayout& lay = c.layout();
        const std::vector<TextBox> boxes = lay.textBoxes();
        ExpectApart(boxes, size);
        // Nothing is written over the box the surface is drawn in.
        for (const TextBox& b : boxes) {
            if (!lay.plotRect().contains(b.rect.center().toPoint())) continue;
            EXPECT_FALSE(lay.boxOutline().intersects(QPolygonF(b.rect))) << b.text.toStdString();
        }
        // Numbers side by side keep a gap that reads as one ("200 0" is not "2000").
        for (const TextBox& a : boxes)
            for (const TextBox& b : boxes) {
                bool na = false, nb = false;
                a.text.toDouble(&na);
                b.text.toDouble(&nb);
                if (&a == &b || !na || !nb) continue;
                const bool sameRow = a.rect.top() < b.rect.bottom() && b.rect.top() < a.rect.bottom();
                if (sameRow) {
                    EXPECT_FALSE(a.rect.adjusted(-6, 0, 6, 0).intersects(b.rect))
                        << a.text.toStdString() << " " << b.text.toStdString();
                }
            }
        // The two header lines are two texts.
        int headerLines = 0;
        for (const TextBox& b : boxes) headerLines += b.text == "dome_ph.tif" || b.text.startsWith("Reference:");
        EXPECT_EQ(headerLines, 2);
        if (size == QSize(860, 560)) {
            // At least three numbers on each axis: counted with the other two axes' numbers hidden.
            for (Axis3D only : {Axis3D::X, Axis3D::Y, Axis3D::Z}) {
                for (Axis3D a : {Axis3D::X, Axis3D::Y, Axis3D::Z}) c.setAxisAnnotation(a, a == only ? 1 : 2);
                EXPECT_GE(CountNumbers(c.layout().textBoxes(), c.layout().plotRect()), 3) << "axis " << int(only);
            }
        }
    }
}

TEST(SurfaceTextLayout, LargeFontsStillKeepApart)
{
    for (const QSize size : kSizes) {
        for (ChartKind kind : {ChartKind::Surface, ChartKind::Contour}) {
            SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " kind " << int(kind));
            Chart3D c;
            MakeSurface(c, kind, size);
            for (Axis3D a : {Axis3D::X, Axis3D::Y, Axis3D::Z}) {
                c.setAxisTitleFontSize(a, 200);
                c.setAxisNumberFontSize(a, 200);
            }
            ExpectApart(c.layout().textBoxes(), size);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FourViews, SurfaceTextLayout,
                         ::testing::Values(std::pair{330.0, 45.0}, std::pair{30.0, 20.0}, std::pair{135.0, -30.0},
                                           std::pair{250.0, 200.0}));

TEST(ContourTextLayout, TextsNeverOverlap)
{
    for (const QSize size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        Chart3D c;
        MakeSurface(c, ChartKind::Contour, size);
        const Chart3DLayout& lay = c.layout();
        const std::vector<TextBox> boxes = lay.textBoxes();
        ExpectApart(boxes, size);
        for (const TextBox& b : boxes) EXPECT_FALSE(lay.dataRect().intersects(b.rect)) << b.text.toStdString();
        if (size == QSize(860, 560)) {
            const QRectF d = lay.dataRect();
            const QRectF below(d.left() - 20, d.bottom(), d.width() + 40, 40), left(0, d.top() - 10, d.left(), d.height() + 20);
            EXPECT_GE(CountNumbers(boxes, below), 3);
            EXPECT_GE(CountNumbers(boxes, left), 3);
        }
    }
}

TEST(ProfileTextLayout, TextsNeverOverlapAndHeaderLinesBreak)
{
    for (const QSize size : kSizes) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        Chart2D c;
        c.setSize(size);
        c.setSeriesCount(2);
        c.setPointCount(640);
        for (int i = 1; i <= 640; ++i) {
            c.setX(i, (i - 1) * 0.0125);
            c.setY(1, i, 42.5 * std::sin(i / 90.0) - 21.3);
            c.setY(2, i, i == 300 ? kHoleValue : -1.4 + i * 0.001);
        }
        c.setSeriesLabel(1, "Upper Left to Lower Right (AB)");
        c.setSeriesLabel(2, "Lower Left to Upper Right (CD)");
        c.setHeaderText("dome_ph.tif\rReference: plate7_ph.tif");
        c.setFooterText("Min/Max Values\r\n-63.8 / 42.5");
        c.setAxisTitle(Axis2D::X, "Position Along Diagonal (in)");
        c.setAxisTitle(Axis2D::Y, "Displacement (mils)");
        const std::vector<TextBox> boxes = c.textBoxes();
        ExpectApart(boxes, size);
        int lines = 0;
        for (const TextBox& b : boxes) {
            EXPECT_FALSE(b.text.contains('\r') || b.text.contains('\n'));
            lines += b.text == "dome_ph.tif" || b.text == "Reference: plate7_ph.tif" || b.text == "Min/Max Values";
            EXPECT_FALSE(c.plotRect().intersects(b.rect)) << b.text.toStdString();
        }
        EXPECT_EQ(lines, 3);
        if (size == QSize(860, 560)) {
            const QRectF p = c.plotRect();
            EXPECT_GE(CountNumbers(boxes, QRectF(p.left() - 20, p.bottom(), p.width() + 40, 30)), 3);
            EXPECT_GE(CountNumbers(boxes, QRectF(0, p.top() - 10, p.left(), p.height() + 20)), 3);
        }
    }
}

TEST(SurfaceTextLayout, TinyChartsWithDataLayOutWithoutFault)
{
    for (const QSize size : {QSize(1, 1), QSize(40, 30), QSize(120, 90), QSize(4000, 60)})
        for (ChartKind kind : {ChartKind::Surface, ChartKind::Contour}) {
            Chart3D c;
            MakeSurface(c, kind, size);
            EXPECT_EQ(c.renderImage().size(), size);
            c.nearestDataPoint(size.width() / 2, size.height() / 2);
            c.pixelToData(size.width() / 2, size.height() / 2);
        }
}

TEST(ProfileTextLayout, ALongHeaderEndsInAnEllipsisInsideThePicture)
{
    const QString name = QString("a_very_long_phase_image_name_").repeated(6) + "ph.tif";
    Chart2D d;
    d.setSize(QSize(400, 300));
    d.setHeaderText(name);
    Chart3D c;
    c.setSize(QSize(400, 300));
    c.setHeaderText(name);
    for (const std::vector<TextBox>& boxes : {d.textBoxes(), c.layout().textBoxes()}) {
        ASSERT_FALSE(boxes.empty());
        EXPECT_TRUE(boxes[0].text.endsWith(QChar(0x2026))) << boxes[0].text.toStdString();
        ExpectApart(boxes, QSize(400, 300));
    }
}

namespace {

// A digest of a rendered picture: its size and every pixel.
std::string PictureDigest(const ChartBase& chart)
{
    const QImage img = chart.renderImage().convertToFormat(QImage::Format_RGB32);
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(QByteArrayView(reinterpret_cast<const char*>(img.constBits()), img.sizeInBytes()));
    return QString("%1x%2:").arg(img.width()).arg(img.height()).toStdString() + h.result().toHex().left(16).toStdString();
}

// The two profiles of a diagonal chart with everything shown.
void MakeProfiles(Chart2D& c, QSize size)
{
    c.setIsBatched(true);
    c.setSize(size);
    c.setSeriesCount(2);
    c.setPointCount(400);
    for (int i = 1; i <= 400; ++i) {
        c.setX(i, (i - 1) * 1.25);
        c.setY(1, i, 5.2 * std::cos(i / 64.0) - 2.7);
        c.setY(2, i, i > 180 && i < 190 ? kHoleValue : 0.01 * i - 1.4);
    }
    c.setSeriesLabel(1, "Upper Left to Lower Right (AB)");
    c.setSeriesLabel(2, "Lower Left to Upper Right (CD)");
    c.setHeaderText("dome_ph.tif");
    c.setFooterText("Min AB: -2.7       Max AB: 2.5       Min CD: -1.4       Max CD: 2.6       (mils)");
    c.setAxisTitle(Axis2D::X, "Position Along Diagonal (pixels)");
    c.setAxisTitle(Axis2D::Y, "Displacement (mils)");
    c.setAxisMax(Axis2D::X, 500);
    c.setIsBatched(false);
}

// A legend chart of each mode, with the labels the builders write.
void MakeLegend(Chart3D& c, int mode, bool flat)
{
    c.setIsBatched(true);
    c.setKind(ChartKind::LegendOnly);
    c.setSize(QSize(180, 480));
    c.setHeaderText("Z (mils)");
    c.setFooterShown(false);
    const int levels = mode == 0 ? 64 : mode == 2 ? 17 : 19;
    c.setLevelTableReset(true);
    c.setLevelCount(0);
    for (int k = 0; k < levels; ++k) c.addLevel(flat ? 1.5 : -2.0 + k * 8.0 / (levels - 1));
    c.setLegendMode(mode);
    c.setContourFilled(mode != 1);
    c.removeAllLegendLabels();
    if (mode == 0) {
        c.setLegendLabelSecondText(1, "-2.0");
        for (int k = 1; k <= 15; ++k) c.setLegendLabelText(4 * k, QString::number(-2.0 + k * 0.5, 'f', 1));
        c.setLegendLabelSecondText(64, "6.0");
    } else {
        c.appendLegendLabel("");
        for (int k = 2; k <= 18; ++k) c.appendLegendLabel(QString::number(-2.0 + (k - 1) * 8.0 / 18, 'f', 1));
    }
    c.setIsBatched(false);
}

} // namespace

// Pictures recorded before the layout code was split into named steps: the
// same charts draw byte for byte the same pictures.
TEST(ChartPictures, DrawAsRecorded)
{
    struct Case {
        const char* name;
        std::function<void(std::unique_ptr<ChartBase>&)> make;
        std::string digest;
    };
    auto profile = [](QSize size, std::function<void(Chart2D&)> more = {}) {
        return [size, more](std::unique_ptr<ChartBase>& out) {
            auto c = std::make_unique<Chart2D>();
            MakeProfiles(*c, size);
            if (more) more(*c);
            out = std::move(c);
        };
    };
    auto surface = [](ChartKind kind, QSize size, std::function<void(Chart3D&)> more = {}) {
        return [kind, size, more](std::unique_ptr<ChartBase>& out) {
            auto c = std::make_unique<Chart3D>();
            MakeSurface(*c, kind, size);
            if (more) more(*c);
            out = std::move(c);
        };
    };
    auto legend = [](int mode, bool flat) {
        return [mode, flat](std::unique_ptr<ChartBase>& out) {
            auto c = std::make_unique<Chart3D>();
            MakeLegend(*c, mode, flat);
            out = std::move(c);
        };
    };
    const Case cases[] = {
        {"profile 860x560", profile(QSize(860, 560)), "860x560:e0c9d4745613fba5"},
        {"profile 400x300", profile(QSize(400, 300)), "400x300:97361e6fdf415868"},
        {"profile 300x200", profile(QSize(300, 200)), "300x200:47b0349478016844"},
        {"profile 160x120", profile(QSize(160, 120)), "160x120:ff63259986bc774d"},
        {"profile no legend", profile(QSize(860, 560), [](Chart2D& c) { c.setLegendShown(false); }), "860x560:29a558152cda1bf1"},
        {"profile two-line header, no numbers",
         profile(QSize(640, 480), [](Chart2D& c) {
             c.setHeaderText("b_ph.tif\rReference: a_ph.tif");
             c.setAxisAnnotation(Axis2D::X, 2);
             c.setAxisAnnotation(Axis2D::Y, 2);
         }),
         "640x480:c9abf030fe7e9cf1"},
        {"profile large titles", profile(QSize(860, 560), [](Chart2D& c) {
             c.setAxisTitleFontSize(Axis2D::X, 30);
             c.setAxisMin(Axis2D::Y, -4);
             c.setAxisMax(Axis2D::Y, 6);
         }),
         "860x560:8fd02545e6214e4e"},
        {"surface 330/45", surface(ChartKind::Surface, QSize(860, 560)), "860x560:43e5c8f61a47def3"},
        {"surface 30/20 small", surface(ChartKind::Surface, QSize(400, 300), [](Chart3D& c) {
             c.setViewRotation(30);
             c.setViewElevation(20);
         }),
         "400x300:25095163bc2bf0a0"},
        {"surface 135/-30 large fonts", surface(ChartKind::Surface, QSize(860, 560), [](Chart3D& c) {
             c.setViewRotation(135);
             c.setViewElevation(-30);
             for (Axis3D a : {Axis3D::X, Axis3D::Y, Axis3D::Z}) {
                 c.setAxisTitleFontSize(a, 200);
                 c.setAxisNumberFontSize(a, 160);
             }
         }),
         "860x560:c67baaa4d61aa2ee"},
        {"surface 250/200 no Y numbers", surface(ChartKind::Surface, QSize(1600, 1000), [](Chart3D& c) {
             c.setViewRotation(250);
             c.setViewElevation(200);
             c.setAxisAnnotation(Axis3D::Y, 2);
         }),
         "1600x1000:9d03c87ca7099d2e"},
        {"contour filled", surface(ChartKind::Contour, QSize(860, 560)), "860x560:03a031d04b591c30"},
        {"contour lines", surface(ChartKind::Contour, QSize(400, 300), [](Chart3D& c) {
             c.setContourFilled(false);
             c.setLegendMode(1);
         }),
         "400x300:d608327b994457e7"},
        {"legend bar", legend(0, false), "180x480:a6b9adb7038da0f7"},
        {"legend lines", legend(1, false), "180x480:a51c2e3ad4760c74"},
        {"legend zones", legend(2, false), "180x480:edad89b62bd32b5a"},
        {"legend flat", legend(2, true), "180x480:b32a2efe44af21d8"},
    };
    for (const Case& k : cases) {
        std::unique_ptr<ChartBase> chart;
        k.make(chart);
        EXPECT_EQ(k.digest, PictureDigest(*chart)) << k.name;
    }
}

// A profile picture at any size: the axis titles set are drawn, and a larger
// picture never shows fewer axis numbers, with or without the series legend
// and with a two-line header (a relative result).
TEST(ProfileTextLayout, TitlesAreDrawnAndALargerPictureNeverShowsFewerNumbers)
{
    const QSize sizes[] = {{160, 120}, {200, 150}, {240, 180}, {300, 200}, {320, 240},  {400, 300},
                           {480, 360}, {640, 480}, {860, 560}, {1024, 768}, {1600, 1000}};
    struct Variant {
        const char* name;
        std::function<void(Chart2D&)> apply;
    };
    const Variant variants[] = {
        {"batch diagonal", [](Chart2D&) {}},
        {"chord", [](Chart2D& c) { c.setLegendShown(false); }},
        {"relative", [](Chart2D& c) { c.setHeaderText("b_ph.tif\rReference: a_ph.tif"); }},
    };
    for (const Variant& v : variants) {
        int before = 0;
        for (const QSize size : sizes) {
            SCOPED_TRACE(testing::Message() << v.name << " " << size.width() << "x" << size.height());
            Chart2D c;
            MakeProfiles(c, size);
            v.apply(c);
            const std::vector<TextBox> boxes = c.textBoxes();
            ExpectApart(boxes, size);
            // A title longer than its side ends in an ellipsis; from 300
            // pixels across the X title is whole. Under 200 x 150 a two-line
            // header leaves the X title no room.
            auto drawn = [&boxes](const QString& title) {
                for (const TextBox& b : boxes)
                    if (b.text == title || (b.text.endsWith(QChar(0x2026)) && b.text.size() >= 2 && title.startsWith(b.text.chopped(1))))
                        return b.text;
                return QString();
            };
            if (size.width() >= 200) {
                EXPECT_FALSE(drawn(c.axisTitle(Axis2D::X)).isEmpty());
            }
            EXPECT_FALSE(drawn(c.axisTitle(Axis2D::Y)).isEmpty());
            if (size.width() >= 300) {
                EXPECT_EQ(drawn(c.axisTitle(Axis2D::X)), c.axisTitle(Axis2D::X));
            }
            int numbers = 0;
            for (const TextBox& b : boxes) {
                bool ok = false;
                b.text.toDouble(&ok);
                numbers += ok;
            }
            EXPECT_GE(numbers, before);
            before = numbers;
        }
        EXPECT_GE(before, 12) << v.name;
    }
}
