// The sample files of "Utility Files" and the configuration preview: what the
// three charts show afterwards, and that the user's image in memory stays.
#include "app/batch/config/preview.h"
#include "app/batch/config/utility_files.h"

#include "platform/folders.h"
#include "platform/strandel_binding.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/testsupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace batchcfg;
using charts::Axis2D;
using charts::Axis3D;

namespace {

class Preview : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::OffscreenApp();
        platform::SetBaseFolder(dir.file("base"));
        platform::SetSystemFolder(testsupport::BinDir());
        model::ResetModel();
        std::vector<std::string> errors;
        ASSERT_EQ(5, InstallUtilityFiles(&errors));
        ASSERT_TRUE(errors.empty());
    }
    // A user's image in memory: 7 x 5 with known bytes and results.
    void PutUserImage()
    {
        auto& im = model::images;
        im.ImageCols = 7;
        im.ImageRows = 5;
        im.XMax = 6;
        im.YMax = 4;
        im.CurrentPhase.create(7, 5, 33);
        im.WorkingPhase.create(7, 5, 44);
        im.Displacement.create(7, 5, 1.5f);
        im.ResultMatrix.create(7, 5, 2.5f);
        im.ReducedData.create(50, 50, 3.5f);
        model::state.FringeValue = 0.25f;
        model::state.RotationMode = 0;
        model::files.DataSetName = "user_ph.tif";
    }
    testsupport::TempDir dir{"preview"};
};

} // namespace

TEST_F(Preview, SampleFilesAreInstalledOnceAndReadable)
{
    for (const std::string& name : UtilityFileNames()) EXPECT_TRUE(QFile::exists(QString::fromStdString(UtilityFilePath(name)))) << name;
    // An existing file is kept.
    testsupport::WriteBytes(UtilityFilePath(kDiagonalData), {'x'});
    EXPECT_EQ(0, InstallUtilityFiles());
    EXPECT_EQ(1u, testsupport::ReadBytes(UtilityFilePath(kDiagonalData)).size());

    const strandel::ReadResult phase = strandel::ReadImage(UtilityFilePath(kConfigurationPhase));
    ASSERT_EQ(0, phase.status);
    EXPECT_GT(phase.cols, 100);
    EXPECT_GT(std::set<uint8_t>(phase.pixels.begin(), phase.pixels.end()).size(), 100u);
    for (const char* legend : {kDiagonalLegendBmp, kDiagonalLegendJpg}) {
        const std::vector<uint8_t> rgb = testsupport::MagickPixels(UtilityFilePath(legend), "rgb");
        ASSERT_FALSE(rgb.empty()) << legend;
        EXPECT_GT(std::set<uint8_t>(rgb.begin(), rgb.end()).size(), 2u) << legend;
    }
    charts::Chart2D c;
    EXPECT_TRUE(c.loadData(QString::fromStdString(UtilityFilePath(kNormalizedDiagonalData))));
    EXPECT_EQ(2, c.seriesCount());
}

TEST_F(Preview, FillsTheChartsAndLeavesTheUsersImageInMemory)
{
    PutUserImage();
    const model::ImageMatrices before = model::images;

    charts::Chart3D surface, contour;
    charts::Chart2D diagonal;
    contour.setKind(charts::ChartKind::Contour);
    contour.setHeaderText("kept");
    diagonal.setFooterText("kept too");
    PreviewInputs in;
    in.zMin = "-2";
    in.zMax = "6";
    in.surfaceHeader = "auto";
    in.contourHeader = "My part";
    in.diagonalFooter = "AUTO ";   // a trailing blank is not "Auto"
    in.surfaceYLabel = false;
    surface.setAxisTitle(Axis3D::Y, "old");
    std::string error;
    ASSERT_TRUE(PreviewBatchConfiguration({&surface, &contour, &diagonal}, in, &error)) << error;

    // The user's image, results and options are as they were.
    EXPECT_EQ(model::images.XMax, 6);
    EXPECT_EQ(model::images.ImageRows, 5);
    EXPECT_EQ(model::images.WorkingPhase.buffer(), before.WorkingPhase.buffer());
    EXPECT_EQ(model::images.Displacement.buffer(), before.Displacement.buffer());
    EXPECT_EQ(model::images.ReducedData.buffer(), before.ReducedData.buffer());
    EXPECT_EQ(model::state.FringeValue, 0.25f);
    EXPECT_EQ(model::state.RotationMode, 0);
    EXPECT_EQ(model::files.DataSetName, "user_ph.tif");

    // Surface: the reduced sample with placeholders and the Z boxes' 64 levels.
    EXPECT_EQ(surface.pointsX(), 50);
    EXPECT_TRUE(surface.gridValid());
    double lo = 0, hi = 0;
    ASSERT_TRUE(surface.dataRange(&lo, &hi));
    EXPECT_LT(lo, hi);
    EXPECT_EQ(surface.headerText(), "Phase Image Name");
    EXPECT_EQ(surface.footerText(), "Coplanarity");
    EXPECT_EQ(surface.axisTitle(Axis3D::X), "X (units)");
    EXPECT_EQ(surface.axisTitle(Axis3D::Y), "old");
    EXPECT_EQ(surface.axisTitle(Axis3D::Z), "Displacement (units)");
    ASSERT_EQ(surface.levelCount(), 64);
    EXPECT_EQ(surface.level(1), -2.0);
    EXPECT_EQ(surface.level(64), -2.0 + 63 * 0.125);
    EXPECT_EQ(surface.legendLabelSecondText(1), "--------");
    EXPECT_EQ(surface.legendLabelText(60), "--------");
    EXPECT_EQ(surface.plotExtentX(), surface.plotExtentY());

    // Contour: its own header kept, the Z title always set, 17 levels.
    EXPECT_EQ(contour.headerText(), "kept");
    EXPECT_EQ(contour.footerText(), "Coplanarity");
    EXPECT_EQ(contour.axisTitle(Axis3D::Z), "Z (units)");
    EXPECT_EQ(contour.levelCount(), 17);
    EXPECT_EQ(contour.legendLabelText(17), "--------");

    // Diagonal: the plain sample profiles, header placeholder, footer kept.
    EXPECT_EQ(diagonal.seriesCount(), 2);
    EXPECT_GT(diagonal.pointCount(), 100);
    EXPECT_EQ(diagonal.headerText(), "Phase Image Name");
    EXPECT_EQ(diagonal.footerText(), "kept too");
    EXPECT_EQ(diagonal.axisTitle(Axis2D::X), "Position Along Diagonal (units)");
    EXPECT_NE(diagonal.y(1, 1), 0.0);

    // Normalised: the profiles start and end at 0.
    in.normaliseDiagonal = true;
    ASSERT_TRUE(PreviewBatchConfiguration({&surface, &contour, &diagonal}, in, &error)) << error;
    EXPECT_NEAR(diagonal.y(1, 1), 0.0, 1e-4);
    EXPECT_NEAR(diagonal.y(2, diagonal.pointCount()), 0.0, 1e-4);
}

TEST_F(Preview, BlankBytesAreAnalysedAs127AndAMissingSampleLeavesTheCharts)
{
    // A sample of nothing but blank bytes: read as 127, every pixel holds data.
    const std::string flat = dir.file("flat.tif");
    const std::vector<uint8_t> px(size_t(60 * 40), 128);
    ASSERT_EQ(0, strandel::WriteTIFFFile(flat, 60, 40, "", px.data()));
    const SampleResult s = AnalyseSample(flat);
    ASSERT_TRUE(s.ok) << s.message;
    EXPECT_EQ(s.xMax, 59);
    EXPECT_EQ(s.yMax, 39);
    ASSERT_EQ(s.reduced.size(), 2500u);
    EXPECT_EQ(std::count(s.reduced.begin(), s.reduced.end(), 9999.0f), 0);

    std::remove(UtilityFilePath(kConfigurationPhase).c_str());
    charts::Chart3D surface;
    surface.setHeaderText("before");
    std::string error;
    EXPECT_FALSE(PreviewBatchConfiguration({&surface, nullptr, nullptr}, PreviewInputs{}, &error));
    EXPECT_NE(error.find("Configuration Phase.tif"), std::string::npos) << error;
    EXPECT_EQ(surface.headerText(), "before");
    EXPECT_EQ(surface.pointsX(), 0);
}
