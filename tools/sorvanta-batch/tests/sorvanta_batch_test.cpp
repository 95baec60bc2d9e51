// The batch harness as a user runs it: a folder of images made by mkphase.
#include "app/batch/tests/batch_test_util.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

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
        return testsupport::Shell(batchtest::ToolEnvironment(dir.file("env")) + Bin("sorvanta-batch") + " --base '" +
                                      dir.path().string() + "' " + args,
                                  rc);
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
        // Another folder's image of the same name is not this folder's.
        {"--relative '" + dir.file("other/a_ph.tif") + "' '" + folder + "'",
         dir.file("other/a_ph.tif") + " is not a phase image of"},
    };
    std::filesystem::create_directories(dir.file("other"));
    std::filesystem::copy_file(folder + "/a_ph.tif", dir.file("other/a_ph.tif"));
    for (const Case& c : cases) {
        int rc = -1;
        const std::string out = Run(c.args, &rc);
        EXPECT_EQ(rc, 1) << c.args << "\n" << out;
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
    }
    int rc = -1;
    const std::string out = Run("--relative '" + folder + "/./a_ph.tif' '" + folder + "'", &rc);
    EXPECT_EQ(rc, 0) << "the folder's own image named with its folder\n" << out;
    EXPECT_EQ((Run("--save x.dat '" + folder + "'", &rc), rc), 2);
    EXPECT_EQ((Run("", &rc), rc), 2);
}

// Ranges given for the outputs that cannot be drawn refuse the command at its
// start: the folder keeps the table its outputs were made with.
TEST_F(SorvantaBatch, OutputRangesThatAreRefusedLeaveTheFolderAsItWas)
{
    Make("a_ph.tif", "--size 61x41 --fringe 10 --surface cylinder:0.002,30");
    int rc = -1;
    std::string out = Run("--output 3d,data '" + folder + "' 2>&1", &rc);
    ASSERT_EQ(rc, 0) << out;
    const std::string table = folder + "/Batch Results for Lot 3 (Abs).txt";
    const std::string before = testsupport::ReadText(table);
    ASSERT_NE(before.find("\r\nRotation: LSF\r\n"), std::string::npos);
    const std::string data = testsupport::ReadText(folder + "/a_ab.dat");
    const struct {
        std::string args, expected;
    } cases[] = {
        {"--zmin 5 --zmax 1", "Batch Output Setup Error: Z Max must be greater then Z Min."},
        {"--diagmin 2 --diagmax 2", "Batch Output Setup Error: Diagonal Max must be greater then Diagonal Min."},
        {"--zmin -1e300 --zmax 1", "Batch Output Setup Error: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        out = Run("--rotation None " + c.args + " --output 3d,data '" + folder + "' 2>&1", &rc);
        EXPECT_EQ(rc, 1) << out;
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
        EXPECT_EQ(out.find("Table:"), std::string::npos) << out;
        EXPECT_EQ(testsupport::ReadText(table), before) << "the table its outputs were made with, byte for byte";
        EXPECT_EQ(testsupport::ReadText(folder + "/a_ab.dat"), data);
    }
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

// Two command lines on one folder: the second, started while the first
// writes its outputs (the first held at its first data file by the stand-in
// analysis library until the second has ended), is told the folder is busy
// and writes nothing; every file is the first run's.
TEST_F(SorvantaBatch, ASecondWriterOfTheFolderIsToldItIsBusyAndWritesNothing)
{
    for (const char* n : {"a_ph.tif", "b_ph.tif", "c_ph.tif"})
        Make(n, "--size 61x41 --fringe 10 --surface cylinder:0.002,30+plane:0.01,0.005,0");
    // The first run's program beside the stand-in library that holds it.
    const std::string bin = dir.file("held-bin");
    std::filesystem::create_directories(bin);
    std::filesystem::copy_file(Bin("sorvanta-batch"), bin + "/sorvanta-batch");
    std::filesystem::create_symlink(std::string(FAULTY_VARNHOLDE_DIR) + "/libVarnholde.so", bin + "/libVarnholde.so");
    std::filesystem::create_symlink(Bin("libStrandel.so"), bin + "/libStrandel.so");
    const std::string fifo = dir.file("hold");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string env = batchtest::ToolEnvironment(dir.file("env1"));

    for (int trial = 0; trial < 3; ++trial) {
        SCOPED_TRACE(trial);
        int firstRc = -1;
        std::string first;
        std::thread firstRun([&] {
            first = testsupport::Shell(env + "VARNHOLDE_PAUSE='SaveSingleAsText:" + fifo + "' '" + bin +
                                           "/sorvanta-batch' --base '" + dir.path().string() +
                                           "' --rotation LSF --output data,diagonal '" + folder + "' 2>&1",
                                       &firstRc);
        });
        // Opening the pipe waits for the first run to reach its first data file.
        const int hold = ::open(fifo.c_str(), O_WRONLY);
        ASSERT_GE(hold, 0);
        int secondRc = -1;
        const std::string second = Run("--rotation None --output data '" + folder + "' 2>&1", &secondRc);
        ::close(hold);
        firstRun.join();

        EXPECT_EQ(secondRc, 1) << second;
        EXPECT_NE(second.find("Another batch run is writing the results table of this folder."), std::string::npos)
            << second;
        EXPECT_EQ(second.find("Wrote:"), std::string::npos) << second;
        EXPECT_EQ(firstRc, 0) << first;
        // Every output in the folder is one the first run says it wrote.
        const std::string table = folder + "/Batch Results for Lot 3 (Abs).txt";
        EXPECT_NE(testsupport::ReadText(table).find("\r\nRotation: LSF\r\n"), std::string::npos);
        for (const auto& e : std::filesystem::directory_iterator(folder)) {
            const std::string name = e.path().filename().string();
            if (name.size() > 7 && name.compare(name.size() - 7, 7, "_ph.tif") == 0) continue;
            if (e.path().string() == table) continue;
            EXPECT_NE(first.find("Wrote: " + e.path().string() + "\n"), std::string::npos) << name << "\n" << first;
            std::filesystem::remove(e.path());
        }
    }
}

// What the table says is what its figures were made from: the folder the run
// worked in, not the "." it was given; FringeValue.txt in use when images
// without a header (BMP) take its value.
TEST_F(SorvantaBatch, TheTableNamesTheRealFolderAndTheFringeValueItUsed)
{
    Make("a_ph.tif", "--size 61x41 --fringe 10 --surface cylinder:0.002,30");
    int rc = -1;
    std::string out = testsupport::Shell("cd '" + folder + "' && " + batchtest::ToolEnvironment(dir.file("env")) + "'" +
                                             Bin("sorvanta-batch") + "' --base '" +
                                             dir.path().string() + "' . 2>&1",
                                         &rc);
    ASSERT_EQ(rc, 0) << out;
    const std::string table = folder + "/Batch Results for Lot 3 (Abs).txt";
    EXPECT_NE(out.find("Table: " + table + "\n"), std::string::npos) << out;
    EXPECT_NE(testsupport::ReadText(table).find("\r\nFolder: " + folder + "\r\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder + "/Batch Results for . (Abs).txt"));

    const std::string utility = dir.file("Calverdine/Utility Files");
    std::filesystem::create_directories(utility);
    testsupport::WriteBytes(utility + "/FringeValue.txt", {'1', '0', '0', '\t', '1', '0', '\n'});
    const std::string bmps = dir.file("Bmp");
    std::filesystem::create_directories(bmps);
    batchtest::WritePhaseBmp(bmps + "/p_ph.bmp", 61, 41, "cylinder:0.002,30");
    out = Run("--format bmp '" + bmps + "' 2>&1", &rc);
    ASSERT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("Number of Images Processed: 1/1"), std::string::npos) << out;
    const std::string text = testsupport::ReadText(bmps + "/Batch Results for Bmp (Abs).txt");
    EXPECT_NE(text.find("\r\nUse FringeValue.txt: ON\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nFringeValue.txt Data: 10\r\n"), std::string::npos) << text;
}

// Output names: a relative run's pictures of x_ph.tif would take the names of
// the absolute pictures of x_rel_ph.tif; the clash is listed as failed and
// the other image's pictures stay.
TEST_F(SorvantaBatch, AnOutputNameOfAnotherImageOfTheFolderIsNeverTaken)
{
    Make("ref_ph.tif", "--size 61x41 --fringe 10 --surface plane:0.01,0,0");
    Make("x_ph.tif", "--size 61x41 --fringe 10 --surface cylinder:0.002,30");
    Make("x_rel_ph.tif", "--size 61x41 --fringe 10 --surface dome:0.002");
    int rc = -1;
    std::string out = Run("--output 3d,diagonal '" + folder + "' 2>&1", &rc);
    EXPECT_NE(out.find("#3 x_rel_ph.tif: Its output files would replace those of #2 x_ph.tif."), std::string::npos)
        << out;
    EXPECT_EQ(out.find("Wrote: " + folder + "/x_rel_3D.bmp\n"), std::string::npos) << out;
    const std::string xRel3D = folder + "/x_rel_3D.bmp";
    testsupport::WriteBytes(xRel3D, {'m', 'i', 'n', 'e'});   // as an earlier program version left it
    out = Run("--relative ref_ph.tif --output 3d,diagonal '" + folder + "' 2>&1", &rc);
    EXPECT_NE(out.find("#2 x_ph.tif: Its output files would replace those of #3 x_rel_ph.tif."), std::string::npos)
        << out;
    EXPECT_EQ(out.find("Wrote: " + xRel3D + "\n"), std::string::npos) << out;
    EXPECT_EQ(testsupport::ReadText(xRel3D), "mine");
}

// A folder whose name is not UTF-8 gets its pictures and both legends under
// its own bytes; a table whose path goes beyond the system's limit names it.
TEST_F(SorvantaBatch, PicturesOfAFolderNotInUtf8AndATablePathTooLong)
{
    const std::string latin = dir.file("Fold\xe9r");
    std::filesystem::create_directories(latin);
    int rc = -1;
    testsupport::Shell(Bin("mkphase") + " --size 61x41 --fringe 10 --surface cylinder:0.002,30 '" + latin + "/a_ph.tif'",
                       &rc);
    ASSERT_EQ(rc, 0);
    std::string out = Run("--output 3d,contour,diagonal,data --zmin -5 --zmax 25 '" + latin + "' 2>&1", &rc);
    EXPECT_EQ(rc, 0) << out;
    for (const char* n : {"a_ab.dat", "a_3D.bmp", "a_ctr.bmp", "a_dia.bmp", "3D Legend (-5.0 to 25.0 mils).bmp",
                          "Contour Legend (-5.0 to 25.0 mils).bmp", "Diagonal Legend.bmp"})
        EXPECT_TRUE(std::filesystem::exists(latin + "/" + n)) << n << "\n" << out;

    const std::string longName = dir.file(std::string(228, 'L'));
    std::filesystem::create_directories(longName);
    testsupport::Shell(Bin("mkphase") + " --size 61x41 --fringe 10 --surface plane:0.01,0,0 '" + longName +
                           "/a_ph.tif'",
                       &rc);
    ASSERT_EQ(rc, 0);
    out = Run("'" + longName + "' 2>&1", &rc);
    EXPECT_EQ(rc, 1) << out;
    EXPECT_NE(out.find("Cannot write to the specified folder.\nA name in the path is longer than 255 bytes, the "
                       "longest name the system allows."),
              std::string::npos)
        << out;
}
