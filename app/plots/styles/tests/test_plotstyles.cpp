// Installing the shipped style files into "Utility Files".
#include "plots/charts/chartstyle.h"
#include "plots/styles/plotstyles.h"
#include "platform/folders.h"
#include "testsupport/testsupport.h"

#include <QFile>
#include <gtest/gtest.h>

TEST(PlotStyles, InstallsMissingFilesAndKeepsExistingOnes)
{
    testsupport::TempDir dir("styles");
    const std::string oldBase = platform::BaseFolder();
    platform::SetBaseFolder(dir.path().string());
    const std::string utility = platform::UtilityFolder();
    std::filesystem::create_directories(utility);
    const std::string mine = platform::JoinPath(utility, "Blackline Contour.sty");
    testsupport::WriteBytes(mine, {'m', 'i', 'n', 'e'});

    std::vector<std::string> errors;
    EXPECT_EQ(plots::InstallChartStyles(&errors), 4);
    EXPECT_TRUE(errors.empty());
    for (const std::string& name : plots::ChartStyleFileNames()) {
        const std::string path = plots::ChartStylePath(name);
        ASSERT_TRUE(platform::FileExists(path)) << name;
        if (name == "Blackline Contour.sty") continue;
        charts::ChartStyle s;
        QString why;
        EXPECT_TRUE(charts::ReadStyleFile(QString::fromStdString(path), &s, &why)) << name << why.toStdString();
        EXPECT_EQ(testsupport::ReadText(path),
                  testsupport::ReadText(testsupport::SourceDir() + "/app/plots/styles/" + name));
    }
    EXPECT_EQ(testsupport::ReadText(mine), "mine");
    EXPECT_EQ(plots::InstallChartStyles(&errors), 0);
    platform::SetBaseFolder(oldBase);
}
