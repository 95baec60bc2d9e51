// Appearance style files: the shipped files, broken files, fallbacks.
#include "plots/charts/chart3d.h"
#include "plots/charts/chartstyle.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

using namespace charts;

namespace {

bool Same(const ChartStyle& a, const ChartStyle& b)
{
    if (a.ramp.size() != b.ramp.size()) return false;
    for (size_t i = 0; i < a.ramp.size(); ++i)
        if (a.ramp[i].rgb() != b.ramp[i].rgb()) return false;
    return a.name == b.name && a.lineColour == b.lineColour && a.lineWidth == b.lineWidth &&
           a.meshColour == b.meshColour;
}

QString Shipped(const char* name)
{
    return QString::fromStdString(testsupport::SourceDir()) + "/app/plots/styles/" + name;
}

} // namespace

TEST(ChartStyle, ShippedFilesParseToTheirBuiltInTwins)
{
    for (const char* name : {"Colorfill Contour.sty", "Grayfill Contour.sty", "Colorline Contour.sty",
                             "Blackline Contour.sty", "Colorgray Contour.sty"}) {
        ChartStyle s;
        QString why;
        ASSERT_TRUE(ReadStyleFile(Shipped(name), &s, &why)) << name << ": " << why.toStdString();
        EXPECT_TRUE(Same(s, BuiltInStyle(name))) << name;
        // Writing and reading again keeps the style.
        ChartStyle again;
        ASSERT_TRUE(ParseStyle(FormatStyle(s), &again, &why));
        EXPECT_TRUE(Same(s, again)) << name;
    }
    // Grey styles are grey all along; names match without regard to case.
    const ChartStyle grey = BuiltInStyle("GRAYFILL contour.STY");
    for (double t : {0.0, 0.3, 0.77, 1.0}) {
        const QColor c = grey.rampColour(t);
        EXPECT_TRUE(c.red() == c.green() && c.green() == c.blue()) << t;
    }
    EXPECT_EQ(BuiltInStyle("BlackLine Contour.sty").lineColour, QColor(0, 0, 0));
}

TEST(ChartStyle, BrokenTextIsRefusedWithAReason)
{
    const char* broken[] = {
        "",
        "ramp = #000000\n",                                         // no first line
        "sorvanta-chart-style 2\nramp = #000000\n",                 // other version
        "sorvanta-chart-style 1\nname = x\n",                       // no ramp
        "sorvanta-chart-style 1\nramp = #00000\n",                  // short colour
        "sorvanta-chart-style 1\nramp = red\n",                     // not #RRGGBB
        "sorvanta-chart-style 1\nramp = #000000\ncolour = #000000\n",   // unknown key
        "sorvanta-chart-style 1\nramp = #000000\nramp = #FFFFFF\n", // repeated key
        "sorvanta-chart-style 1\nramp #000000\n",                   // no '='
        "sorvanta-chart-style 1\nramp = #000000\nline-width = 0\n", // width out of range
        "sorvanta-chart-style 1\nramp = #000000\nline-color = #GG0000\n",
    };
    for (const char* text : broken) {
        ChartStyle s;
        QString why;
        EXPECT_FALSE(ParseStyle(QString::fromUtf8(text), &s, &why)) << text;
        EXPECT_FALSE(why.isEmpty()) << text;
    }
    ChartStyle s;
    QString why;
    ASSERT_TRUE(ParseStyle("# c\n\nSORVANTA-CHART-STYLE 1\n  RAMP = #102030   #405060\nMesh-Color = #010203\n", &s, &why))
        << why.toStdString();
    ASSERT_EQ(s.ramp.size(), 2u);
    EXPECT_EQ(s.ramp[1], QColor(0x40, 0x50, 0x60));
    EXPECT_EQ(s.meshColour, QColor(1, 2, 3));
    EXPECT_FALSE(s.lineColour.isValid());
    EXPECT_EQ(s.rampColour(0.5), QColor(0x28, 0x38, 0x48));
}

TEST(ChartStyle, ChartFallsBackToTheBuiltInStyleWhenAFileIsMissingOrBroken)
{
    testsupport::TempDir dir("sty");
    Chart3D c;
    EXPECT_FALSE(c.loadStyle(QString::fromStdString(dir.file("Grayfill Contour.sty"))));
    EXPECT_TRUE(Same(c.style(), BuiltInStyle("Grayfill Contour.sty")));
    const std::string bad = dir.file("Blackline Contour.sty");
    testsupport::WriteBytes(bad, {'x', 'y', 0, 1, 2});
    QString why;
    EXPECT_FALSE(c.loadStyle(QString::fromStdString(bad), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_EQ(c.style().lineColour, QColor(0, 0, 0));
    EXPECT_TRUE(c.loadStyle(Shipped("Colorfill Contour.sty")));
    EXPECT_EQ(c.style().name, "Colorfill Contour");
}
