// sorvanta-plot end to end: a synthetic dome from mkphase, every kind of picture.
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

namespace {

std::string Tool(const char* name) { return testsupport::BinDir() + "/" + name; }

int BmpBits(const std::string& path)
{
    const auto b = testsupport::ReadBytes(path);
    if (b.size() < 30 || b[0] != 'B' || b[1] != 'M') return 0;
    return b[28] | (b[29] << 8);
}

} // namespace

TEST(SorvantaPlot, WritesEveryKindOfPictureOfADome)
{
    if (!std::filesystem::exists(Tool("sorvanta-plot")) || !std::filesystem::exists(Tool("mkphase")))
        GTEST_SKIP() << "sorvanta-plot or mkphase not built";
    testsupport::TempDir dir("plot");
    const std::string img = dir.file("Dome_ph.tif"), base = dir.file("base");
    testsupport::Shell("'" + Tool("mkphase") + "' --size 160x120 --surface dome:0.0008 --blank border:5 '" + img + "'");
    const std::string run = "'" + Tool("sorvanta-plot") + "' --base '" + base + "' '" + img + "' ";
    struct Case {
        std::string args, out;
    } cases[] = {
        {"--kind 3d", "a_3D.bmp"},
        {"--kind contour --style \"Gray Fill\"", "a_ctr.bmp"},
        {"--kind contour --style BlackLine --reduce off", "b_ctr.bmp"},
        {"--kind diagonal --normalize on", "a_dia.bmp"},
        {"--kind chord --chord 10,10,150,100 --width 4 --height 3", "a_crd.bmp"},
        {"--kind legend --zmin 0 --zmax 64 --z microns", "legend.bmp"},
    };
    for (const Case& c : cases) {
        const std::string out = testsupport::Shell(run + c.args + " --out '" + dir.file(c.out) + "' 2>&1");
        EXPECT_EQ(24, BmpBits(dir.file(c.out))) << c.args << "\n" << out;
    }
    // A masked corner cannot be normalised: the message, then the plain profiles.
    EXPECT_NE(std::string::npos,
              testsupport::Shell(run + "--kind diagonal --normalize on --out '" + dir.file("n.bmp") + "'")
                  .find("Data cannot be normalized due to corner mask."));
    // Refusals: a chord off the image, no line, a wrong picture name.
    EXPECT_NE(std::string::npos, testsupport::Shell(run + "--kind chord --chord 0,0,500,5 --out '" + dir.file("x.bmp") + "'")
                                     .find("Invalid endpoint selected."));
    EXPECT_NE(std::string::npos, testsupport::Shell(run + "--kind chord --chord 5,5,5,5 --out '" + dir.file("x.bmp") + "'")
                                     .find("No line selected."));
    EXPECT_NE(std::string::npos,
              testsupport::Shell(run + "--kind 3d --out '" + dir.file("x.png") + "'").find("Invalid filename specified."));
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.bmp")));
    // A Z range the charts cannot draw: the reason, status 1, no picture.
    for (const char* kind : {"legend", "3d", "diagonal"}) {
        int rc = -1;
        const std::string out = testsupport::Shell(run + "--kind " + kind + " --zmin 0 --zmax 1e300 --out '" +
                                                       dir.file("inf.bmp") + "' 2>&1",
                                                   &rc);
        EXPECT_EQ(1, rc) << kind;
        EXPECT_NE(std::string::npos,
                  out.find("Presentation Setup Error: Z Max must be a number from -999999 to 999999."))
            << out;
        EXPECT_FALSE(std::filesystem::exists(dir.file("inf.bmp")));
    }
}
