// The data folder of a program that runs from an installation under any
// prefix: the installation's "Utility Files" when the user has none.
#include "app/core/shipped_files.h"
#include "platform/folders.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(DataFolder, AnInstallationUsesItsOwnUtilityFilesWhenTheUserHasNone)
{
    testsupport::TempDir dir;
    const std::string share = dir.file("prefix/share");
    const std::string user = dir.file("home/.local/share");
    fs::create_directories(share + "/Calverdine/Sorvanta");
    fs::create_directories(share + "/Calverdine/Utility Files");
    fs::create_directories(user);
    fs::create_directories(dir.file("elsewhere/Sorvanta"));
    fs::create_directories(dir.file("bare/Calverdine/Sorvanta"));
    struct Case {
        const char* name;
        std::string program;    // the program's own folder
        bool userHasUtility;
        std::string expected;   // the data folder afterwards
    };
    const Case cases[] = {
        {"installation, user without Utility Files", share + "/Calverdine/Sorvanta/", false, share},
        {"installation, user with Utility Files", share + "/Calverdine/Sorvanta", true, user},
        {"program outside an installation", dir.file("elsewhere/Sorvanta"), false, user},
        {"installation without Utility Files", dir.file("bare/Calverdine/Sorvanta"), false, user},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(user + "/Calverdine");
        if (c.userHasUtility) fs::create_directories(user + "/Calverdine/Utility Files");
        platform::SetSystemFolder(c.program);
        platform::SetBaseFolder(user);
        EXPECT_EQ(c.expected != user, core::UseInstallationDataFolder());
        EXPECT_EQ(c.expected, platform::BaseFolder());
        if (c.expected == share) EXPECT_EQ(share + "/Calverdine/Utility Files", platform::UtilityFolder());
    }
    platform::SetSystemFolder("");
    platform::SetBaseFolder("");
}
