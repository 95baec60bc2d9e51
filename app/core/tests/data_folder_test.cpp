// The "Utility Files" of a program that runs from an installation under any
// prefix: a user without any gets copies of the installation's own.
#include "app/core/shipped_files.h"
#include "platform/folders.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(DataFolder, AUserWithoutUtilityFilesStartsFromTheInstallationsOwn)
{
    testsupport::TempDir dir;
    const std::string share = dir.file("prefix/share");
    const std::string installed = share + "/Calverdine/Utility Files";
    const std::string user = dir.file("home/.local/share");
    const std::string userUtility = user + "/Calverdine/Utility Files";
    fs::create_directories(share + "/Calverdine/Sorvanta");
    fs::create_directories(installed + "/sub");
    Write(installed + "/Colorful Contour.sty", std::string("style\r\n\0x", 9));
    Write(installed + "/FringeValue.txt", "0.5\r\n");
    fs::create_directories(dir.file("elsewhere/Sorvanta"));
    fs::create_directories(dir.file("bare/Calverdine/Sorvanta"));
    struct Case {
        const char* name;
        std::string program;    // the program's own folder
        bool userHasUtility;
        int copied;
    };
    const Case cases[] = {
        {"installation, user without Utility Files", share + "/Calverdine/Sorvanta/", false, 2},
        {"installation, user with Utility Files", share + "/Calverdine/Sorvanta", true, 0},
        {"program outside an installation", dir.file("elsewhere/Sorvanta"), false, 0},
        {"installation without Utility Files", dir.file("bare/Calverdine/Sorvanta"), false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(user + "/Calverdine");
        if (c.userHasUtility) {
            fs::create_directories(userUtility);
            Write(userUtility + "/FringeValue.txt", "0.25\r\n");
        }
        platform::SetSystemFolder(c.program);
        platform::SetBaseFolder(user);
        std::vector<std::string> errors;
        EXPECT_EQ(c.copied, core::SeedUtilityFilesFromInstallation(&errors));
        EXPECT_TRUE(errors.empty());
        // Settings, masks and results stay in the user's own, writable folder.
        EXPECT_EQ(user, platform::BaseFolder());
        EXPECT_EQ(userUtility, platform::UtilityFolder());
        if (c.copied) {
            EXPECT_EQ(std::string("style\r\n\0x", 9), Read(userUtility + "/Colorful Contour.sty"));
            EXPECT_EQ("0.5\r\n", Read(userUtility + "/FringeValue.txt"));
        } else if (c.userHasUtility) {
            EXPECT_EQ("0.25\r\n", Read(userUtility + "/FringeValue.txt"));
        } else {
            EXPECT_FALSE(fs::exists(userUtility));
        }
    }
    // The installation itself is left as it was.
    EXPECT_EQ("0.5\r\n", Read(installed + "/FringeValue.txt"));
    platform::SetSystemFolder("");
    platform::SetBaseFolder("");
}
