// The batch harness as a user runs it: a folder of images made by mkphase.
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::string Bin(const std::string& name) { return testsupport::BinDir() + "/" + name; }

class SorvantaBatch : public ::testing::Test {
protected:
    testsupport::TempDir dir{"sbatch"};
    std::string folder = dir.file("Lot 3");

    void SetUp() override { std::filesystem::create_directories(folder); }

    void Make(const std::string& name, const std::string& args)
    {
        int rc = -1;
        const std::string out = testsupport::Shell(Bin("mkphase") + " " + args + " '" + folder + "/" + name + "'", &rc);
        ASSERT_EQ(rc, 0) << out;
    }

    std::string Run(const std::string& args, int* rc)
    {
        return testsupport::Shell(Bin("sorvanta-batch") + " --base '" + dir.path().string() + "' " + args, rc);
    }
};

} // namespace

TEST_F(SorvantaBatch, WritesTheTableAndPrintsTheErrorList)
{
    Make("a_ph.tif", "--size 201x101 --fringe 10 --surface cylinder:0.002,100");
    Make("b_ph.tif", "--size 201x101 --fringe 10 --surface plane:0.01,0,0 --no-header");
    Make("c_ph.tif", "--size 101x51 --fringe 10 --surface plane:0.01,0,0");
    int rc = -1;
    std::string out = Run("--width 2 --height 1 '" + folder + "'", &rc);
    EXPECT_EQ(rc, 0) << out;
    const std::string table = folder + "/Batch Results for Lot 3 (Abs).txt";
    EXPECT_NE(out.find("Table: " + table + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Number of Images Processed: 2/3\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Batch Processing Errors:\n#2 b_ph.tif: Fringe Value needed.\n"), std::string::npos) << out;
    const std::string text = testsupport::ReadText(table);
    EXPECT_NE(text.find("\r\na_ph.tif\t"), std::string::npos);
    EXPECT_NE(text.find("\r\nImage Width: 2 in\r\n"), std::string::npos);

    out = Run("--relative c_ph.tif '" + folder + "'", &rc);
    EXPECT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("#1 a_ph.tif: Image size does not match reference.\n"), std::string::npos) << out;
    EXPECT_NE(testsupport::ReadText(folder + "/Batch Results for Lot 3 (Rel).txt")
                  .find("\r\nc_ph.tif\t0.0\t0.0\t0.0\t"),
              std::string::npos);
}

TEST_F(SorvantaBatch, SetupErrorsExitWithAMessage)
{
    struct Case {
        std::string args;
        std::string expected;
    };
    Make("a_ph.tif", "--size 64x48 --fringe 10 --surface plane:0.01,0,0");
    std::filesystem::create_directories(dir.file("empty"));
    const Case cases[] = {
        {"'" + dir.file("empty") + "'", "Folder Selection Error: No phase images found in this folder."},
        {"--mask '" + dir.file("a.tif") + "' '" + folder + "'", "Load Mask File Error: The file cannot be opened.\nInvalid file format."},
        {"--compensate on '" + folder + "'", "Batch Analysis Setup Error: Compensation requires image Width(X) and Height(Y)."},
        {"--fringe-file on '" + folder + "'", "Batch Analysis Setup Error: FringeValue.txt cannot be read."},
        {"--relative z_ph.tif '" + folder + "'", "z_ph.tif is not a phase image of"},
    };
    for (const Case& c : cases) {
        int rc = -1;
        const std::string out = Run(c.args, &rc);
        EXPECT_EQ(rc, 1) << c.args << "\n" << out;
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
    }
    int rc = -1;
    EXPECT_EQ((Run("--save x.dat '" + folder + "'", &rc), rc), 2);
    EXPECT_EQ((Run("", &rc), rc), 2);
}

TEST_F(SorvantaBatch, ATableThatCannotBeWrittenLeavesTheOldOneAndExitsOne)
{
    Make("a_ph.tif", "--size 201x101 --fringe 10 --surface cylinder:0.002,100");
    Make("b_ph.tif", "--size 201x101 --fringe 10 --surface plane:0.01,0,0");
    int rc = -1;
    std::string out = Run("'" + folder + "'", &rc);
    ASSERT_EQ(rc, 0) << out;
    const std::string table = folder + "/Batch Results for Lot 3 (Abs).txt";
    const std::string before = testsupport::ReadText(table);
    ASSERT_NE(before.find("Number of Images Processed: 2/2"), std::string::npos);

    // A full disk: no file may grow past 1 block (SIGXFSZ ignored, so a write fails).
    const std::string home = dir.file("home"), runtime = dir.file("run");
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(runtime);
    out = testsupport::Shell("HOME='" + home + "' XDG_RUNTIME_DIR='" + runtime + "' sh -c \"trap '' XFSZ; ulimit -f 1; exec '" +
                                 Bin("sorvanta-batch") + "' --base '" + dir.path().string() + "' '" + folder +
                                 "'\" 2>&1",
                             &rc);
    EXPECT_EQ(rc, 1) << out;
    EXPECT_NE(out.find("Cannot write to the specified folder."), std::string::npos) << out;
    EXPECT_EQ(testsupport::ReadText(table), before) << "the old table, byte for byte";
    for (const auto& e : std::filesystem::directory_iterator(folder))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}
