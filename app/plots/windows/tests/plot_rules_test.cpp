// The plain rules of the plot windows.
#include "plots/windows/plot_rules.h"
#include "plots/builders/chart_builders.h"

#include <gtest/gtest.h>

using namespace plots;

TEST(PlotRules, SaveNamesTakeTheWindowsSuffix)
{
    struct Case {
        const char* chosen;
        int index;
        const char* suffix;
        const char* written;   // "" = refused
    } cases[] = {
        {"/d/a.bmp", 1, "_ctr", "/d/a_ctr.bmp"},
        {"/d/plate7.bmp", 1, "_3D", "/d/plate7_3D.bmp"},
        {"/d/a_CTR.BMP", 1, "_ctr", "/d/a_CTR.BMP"},
        {"/d/a.JPG", 2, "_dia", "/d/a_dia.jpg"},
        {"/d/a.bmp", 2, "_3D", ""},
        {"/d/a.jpg", 1, "_crd", ""},
        {"/d/a", 1, "_crd", ""},
    };
    for (const Case& c : cases) {
        const auto t = GraphSaveTarget(c.chosen, c.index, c.suffix);
        EXPECT_EQ(t.value_or(""), c.written) << c.chosen;
    }
    EXPECT_EQ(GraphSaveFilter("_3D"), "3D Bitmap Files (*_3D.bmp)|*_3D.bmp|3D JPEG Files (*_3D.jpg)|*_3D.jpg");
    EXPECT_EQ(GraphSaveFilter("_ctr"),
              "Contour Bitmap Files (*_ctr.bmp)|*_ctr.bmp|Contour JPEG Files (*_ctr.jpg)|*_ctr.jpg");
    EXPECT_EQ(FolderWithSeparator("/data/a_ctr.bmp"), "/data/");
    EXPECT_EQ(InvalidFileNameMessage(), "The file cannot be saved.\rInvalid filename specified.");
}

TEST(PlotRules, SizesAnglesAndReadout)
{
    EXPECT_EQ(SizeEntry("20", 20, 200), 20);
    EXPECT_EQ(SizeEntry("200", 20, 200), 200);
    EXPECT_FALSE(SizeEntry("19.4", 20, 200));
    EXPECT_FALSE(SizeEntry("200.5", 20, 200));
    EXPECT_EQ(SizeEntry("21.5", 20, 200), 22);
    EXPECT_EQ(SizeEntry("22.5", 20, 200), 22);
    EXPECT_EQ(SizeEntry("12.6", 8, 30), 13);
    EXPECT_FALSE(SizeEntry("abc", 8, 30));

    EXPECT_EQ(AltitudeText(200), "-160");
    EXPECT_EQ(AltitudeText(180), "180");
    EXPECT_EQ(TypedAngle("30.5"), 30);
    EXPECT_EQ(TypedAngle("-400"), -400);
    EXPECT_FALSE(TypedAngle("abc"));
    EXPECT_FALSE(TypedAngle("40000"));

    EXPECT_EQ(PositionPattern("", "", "in"), "0");
    EXPECT_EQ(PositionPattern("2", "1", "IN"), "0.00");
    EXPECT_EQ(PositionPattern("20", "10", "mm"), "0.0");
    EXPECT_EQ(PointLabelText(12.34, 1.254, 0.5, "0.0", "mils", "0.00"), "12.3 mils\r(x,y) = (1.25,0.50)");
    EXPECT_EQ(PointLabelText(3, 120.2, 47.6, "0", "microns", "0"), "3 microns\r(x,y) = (120,48)");
}

TEST(PlotRules, ChordMappingAndLength)
{
    EXPECT_EQ(GridToImageX(1, 639), 0);
    EXPECT_EQ(GridToImageX(50, 639), 639);
    EXPECT_EQ(GridToImageY(50, 479), 0);
    EXPECT_EQ(GridToImageY(1, 479), 479);
    EXPECT_EQ(GridToImageX(26, 99), 51);
    for (int i = 1; i <= 50; ++i) EXPECT_EQ(GridToImageX(i, 49), i - 1);

    bool sized = true;
    EXPECT_EQ(ChordLength(0, 0, 3, 4, 99, 99, "", "", &sized), 5.0f);
    EXPECT_FALSE(sized);
    EXPECT_FLOAT_EQ(ChordLength(0, 0, 50, 0, 99, 49, "2", "1", &sized), 1.0f);
    EXPECT_TRUE(sized);
    EXPECT_EQ(ProfileXValues(5, 5.0f), (std::vector<double>{0, 1, 2, 3, 4}));
}

TEST(PlotRules, LegendNames)
{
    EXPECT_EQ(LegendDefaultName(true, 0, 64, "0", "microns"), "3D Legend (0 to 64 microns)");
    EXPECT_EQ(LegendDefaultName(true, -1.5, 2, "0.0", "mils"), "3D Legend (-1.5 to 2.0 mils)");
    EXPECT_EQ(LegendDefaultName(false, 0, 16, "0", "microns"), "Contour Legend (0 to 16 microns)");
    EXPECT_TRUE(LegendNameMatches("/d/legend.bmp", 1));
    EXPECT_FALSE(LegendNameMatches("/d/legend.jpg", 1));
    EXPECT_FALSE(LegendNameMatches("/d/legend.BMP", 1));
    EXPECT_TRUE(LegendNameMatches("/d/legend.jpg", 2));
}
