// The command-line tools as a user calls them for help or with a mistake:
// help on standard output with status 0, a bad command line named on
// standard error with status 2, and options never taken for file names.
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct Streams {
    std::string out, err;
    int rc = -1;
};

// Runs one tool in `cwd` with standard output and error kept apart, with a
// home, runtime folder and class registry of its own outside `cwd`.
Streams RunTool(const std::string& cwd, const std::string& tool, const std::string& args)
{
    testsupport::TempDir own("clienv");
    const std::string env = own.path().string();
    const std::string out = env + "/.out", err = env + "/.err";
    Streams s;
    testsupport::Shell("(mkdir -p '" + env + "/home' '" + env + "/run' && chmod 700 '" + env + "/run' && cd '" + cwd +
                           "' && HOME='" + env + "/home' XDG_RUNTIME_DIR='" + env + "/run' SORVANTA_CLASS_REGISTRY='" +
                           env + "/classes.reg' QT_QPA_PLATFORM=offscreen '" + testsupport::BinDir() + "/" + tool +
                           "' " + args + " >'" + out + "' 2>'" + err + "')",
                       &s.rc);
    s.out = testsupport::ReadText(out);
    s.err = testsupport::ReadText(err);
    return s;
}

// Every tool the build makes, with the status it gives a command line it
// cannot take (the upgrade tool's 2 says "no installation found").
const struct {
    const char* name;
    int badStatus;
} kTools[] = {{"mkphase", 2},         {"mkutility", 2},     {"sorvanta-analyze", 2}, {"sorvanta-plot", 2},
              {"sorvanta-batch", 2},  {"norvikel-tool", 2}, {"norvikel-regsvr", 2},  {"ipidecode", 2},
              {"ipiinfo", 2},         {"kfixtures", 2},     {"sorvanta-icon", 2},    {"SorvantaUpgrade", 64}};

// Names in the working folder, the two stream files left out.
std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
    return names;
}

} // namespace

TEST(ToolCommandLine, HelpGoesToStandardOutputWithStatusZero)
{
    for (const auto& [tool, badStatus] : kTools) {
        for (const char* help : {"--help", "-h"}) {
            testsupport::TempDir dir("clihelp");
            const Streams s = RunTool(dir.path().string(), tool, help);
            EXPECT_EQ(0, s.rc) << tool << " " << help << "\n" << s.err;
            EXPECT_EQ(0u, s.out.find(std::string("usage: ") + tool)) << tool << " " << help << "\n" << s.out;
            EXPECT_NE(std::string::npos, s.out.find("exit status:")) << tool;
            EXPECT_EQ("", s.err) << tool << " " << help;
            EXPECT_TRUE(Entries(dir.path().string()).empty()) << tool << " " << help << " made files";
        }
    }
}

TEST(ToolCommandLine, AnUnknownOptionIsAnErrorAndNeverAFileName)
{
    for (const auto& [tool, badStatus] : kTools) {
        for (const char* option : {"--bogus", "-x"}) {
            testsupport::TempDir dir("clibad");
            const Streams s = RunTool(dir.path().string(), tool, std::string(option) + " made_ph.tif");
            EXPECT_EQ(badStatus, s.rc) << tool << " " << option;
            EXPECT_EQ("", s.out) << tool << " " << option;
            EXPECT_NE(std::string::npos, s.err.find(std::string(tool) + ": unknown option " + option))
                << tool << " " << option << "\n" << s.err;
            EXPECT_TRUE(Entries(dir.path().string()).empty()) << tool << " " << option << " made files";
        }
    }
}

TEST(ToolCommandLine, TwoDashesEndTheOptions)
{
    testsupport::TempDir dir("cliends");
    const std::string cwd = dir.path().string();
    Streams s = RunTool(cwd, "mkutility", "-- --help");
    EXPECT_EQ(0, s.rc) << s.err;
    EXPECT_TRUE(std::filesystem::exists(cwd + "/--help/Diagonal.dat"));

    s = RunTool(cwd, "mkphase", "--size 20x10 --surface dome:0.004 -- -a_ph.tif");
    EXPECT_EQ(0, s.rc) << s.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(cwd + "/-a_ph.tif"));

    s = RunTool(cwd, "sorvanta-analyze", "--base . -- -a_ph.tif");
    EXPECT_EQ(0, s.rc) << s.out << s.err;
    EXPECT_NE(std::string::npos, s.out.find("Max Z: ")) << s.out;
}

// Every tool, with an operand that looks like an option after "--": taken as
// a file, folder or argument, never as an option. The status is what that
// operand gives (a missing file: 1).
TEST(ToolCommandLine, TwoDashesEndTheOptionsInEveryTool)
{
    const struct {
        const char* tool;
        const char* args;
        int rc;
        const char* says;   // in standard output and error
    } cases[] = {
        {"mkphase", "--size 20x10 -- -a_ph.tif", 0, "-a_ph.tif (20 x 10)"},
        {"mkutility", "-- -out", 0, ""},
        {"sorvanta-analyze", "-- -a_ph.tif", 1, "Load Phase Image"},
        {"sorvanta-plot", "--kind 3d --out p.bmp -- -a_ph.tif", 1, "Load Phase Image"},
        {"sorvanta-batch", "-- -folder", 1, ""},
        {"norvikel-tool", "probe -- -a.tif", 1, "-a.tif: error"},
        {"norvikel-regsvr", "register -- -lib.so", 1, "cannot load -lib.so"},
        {"ipidecode", "-- -a.bmp 7", 1, "error "},
        {"ipiinfo", "-- -a.bmp", 1, "error "},
        {"kfixtures", "-- -fixtures", 0, "-fixtures/kol1/pattern-coded.kol1"},
        {"sorvanta-icon", "-- -icons 16", 0, ""},
        {"SorvantaUpgrade", "-- --prefix", 64, "unexpected argument --prefix"},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir("cliends");
        const Streams s = RunTool(dir.path().string(), c.tool, c.args);
        EXPECT_EQ(c.rc, s.rc) << c.tool << " " << c.args << "\n" << s.out << s.err;
        EXPECT_EQ(std::string::npos, s.err.find("unknown option")) << c.tool << "\n" << s.err;
        EXPECT_NE(std::string::npos, (s.out + s.err).find(c.says)) << c.tool << "\n" << s.out << s.err;
    }
    testsupport::TempDir dir("cliends");
    EXPECT_EQ(0, RunTool(dir.path().string(), "sorvanta-icon", "-- -icons 16").rc);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("-icons/16/sorvanta.png")));
    EXPECT_EQ(0, RunTool(dir.path().string(), "mkutility", "-- -out").rc);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("-out/Diagonal.dat")));
}

// A value of each kind that is not whole or not in range is refused when the
// command line is read: the option and the value named on standard error,
// the tool's bad status, nothing written.
TEST(ToolCommandLine, EveryValueIsCheckedWholeAndInRange)
{
    const struct {
        const char* tool;
        const char* args;
        const char* says;
    } cases[] = {
        // numbers
        {"sorvanta-batch", "--zmin abc --zmax 1 --output 3d F", "--zmin needs a number, not \"abc\""},
        {"sorvanta-batch", "--diagmax 1e F", "--diagmax needs a number, not \"1e\""},
        {"sorvanta-plot", "--kind 3d --out p.bmp --zmax nan a_ph.tif", "--zmax needs a number, not \"nan\""},
        {"mkphase", "--fringe 0 o_ph.tif", "--fringe needs a number above 0, not \"0\""},
        {"sorvanta-batch", "--width abc F", "--width needs a number above 0, not \"abc\""},
        {"sorvanta-analyze", "--height 2x a_ph.tif", "--height needs a number above 0, not \"2x\""},
        // sizes WxH
        {"mkphase", "--size 100x100abc o_ph.tif", "--size needs COLSxROWS"},
        {"mkphase", "--size 32768x1 o_ph.tif", "--size needs COLSxROWS, each a whole number from 1 to 32767"},
        {"sorvanta-plot", "--kind 3d --out p.bmp --size 49x100 a_ph.tif", "--size needs COLSxROWS"},
        {"norvikel-tool", "grab --source folder --path . --size 10x o.png", "--size needs COLSxROWS"},
        // whole numbers
        {"sorvanta-icon", "icons 16abc", "SIZE needs a whole number from 8 to 1024, not \"16abc\""},
        {"sorvanta-icon", "icons 1025", "SIZE needs a whole number from 8 to 1024, not \"1025\""},
        {"ipidecode", "f.bmp 7 --page x", "--page needs a whole number"},
        {"ipidecode", "f.bmp 7x", "FORMAT needs a whole number"},
        {"ipiinfo", "f.bmp 4.0", "FORMAT needs a whole number"},
        {"norvikel-tool", "grab --source folder --path . --caption 9 o.png", "--caption needs a whole number from 1 to 5"},
        {"norvikel-tool", "extract t.tif 1.5 o.tif", "PAGE needs a whole number"},
        {"sorvanta-analyze", "--grating 100.5 a_ph.tif", "--grating must be 50, 100, 200, 300, 500 or 1000"},
        {"sorvanta-analyze", "--partition p --domain 500 a_ph.tif", "--domain needs a whole number from 1 to 499"},
        // choices and on/off
        {"sorvanta-plot", "--kind pie --out p.bmp a_ph.tif", "--kind must be 3d, contour, diagonal, chord or legend"},
        {"sorvanta-batch", "--format gif F", "--format must be tif or bmp, not \"gif\""},
        {"norvikel-tool", "list --source disk --path .", "--source must be folder, list, multipage or items"},
        {"sorvanta-analyze", "--filter yes a_ph.tif", "--filter must be on or off, not \"yes\""},
        {"SorvantaUpgrade", "--unattended maybe", "--unattended must be yes or no, not \"maybe\""},
        // a required operand, a missing value
        {"norvikel-regsvr", "register --system", "register takes [--system] LIB"},
        {"norvikel-regsvr", "where --system", "where takes nothing or --system LIB"},
        {"mkphase", "o_ph.tif --size", "--size needs a value"},
    };
    for (const auto& c : cases) {
        testsupport::TempDir dir("clivalue");
        const Streams s = RunTool(dir.path().string(), c.tool, c.args);
        const int bad = std::string(c.tool) == "SorvantaUpgrade" ? 64 : 2;
        EXPECT_EQ(bad, s.rc) << c.tool << " " << c.args << "\n" << s.out << s.err;
        EXPECT_EQ("", s.out) << c.tool << " " << c.args;
        EXPECT_NE(std::string::npos, s.err.find(std::string(c.tool) + ": " + c.says))
            << c.tool << " " << c.args << "\n" << s.err;
        EXPECT_TRUE(Entries(dir.path().string()).empty()) << c.tool << " " << c.args << " made files";
    }
}

// A path beyond the system's limits (a name longer than 255 bytes, a path
// longer than 4095) is refused with the limit named, never an abort or a
// tool's own code, and nothing is written. The analysis harnesses read their
// image as the program does and say it as the program says it (status 1).
TEST(ToolCommandLine, EveryToolNamesAPathLimit)
{
    testsupport::TempDir dir("clilong");
    const std::string name = std::string(256, 'n');
    std::string deep = "d";
    while (deep.size() <= 4095) deep += "/" + std::string(200, 'd');
    for (const std::string& too : {name, deep}) {
        const struct {
            const char* tool;
            std::string args;
            int rc;
        } cases[] = {
            {"mkphase", "'" + too + "_ph.tif'", 2},
            {"mkutility", "'" + too + "'", 2},
            {"sorvanta-analyze", "'" + too + "_ph.tif'", 1},
            {"sorvanta-plot", "--kind 3d --out '" + too + ".bmp' a_ph.tif", 2},
            {"sorvanta-batch", "'" + too + "'", 2},
            {"norvikel-tool", "probe '" + too + ".tif'", 2},
            {"norvikel-tool", "extract '" + too + ".tif' 1 o.tif", 2},
            {"norvikel-tool", "list --source folder --path '" + too + "'", 2},
            {"norvikel-tool", "grab --source folder --path . '" + too + ".png'", 2},
            {"norvikel-regsvr", "register '" + too + ".so'", 2},
            {"ipidecode", "'" + too + ".bmp' 7", 2},
            {"ipiinfo", "'" + too + ".bmp'", 2},
            {"kfixtures", "'" + too + "'", 2},
            {"sorvanta-icon", "'" + too + "' 16", 2},
            {"SorvantaUpgrade", "--unattended no --prefix '" + too + "'", 64},
        };
        for (const auto& c : cases) {
            const Streams s = RunTool(dir.path().string(), c.tool, c.args);
            const std::string what = std::string(c.tool) + " " + c.args.substr(0, 40) + "... (" +
                                     std::to_string(too.size()) + " bytes)";
            EXPECT_EQ(c.rc, s.rc) << what << "\n" << s.out.substr(0, 300) << s.err.substr(0, 300);
            const std::string limit = too == name ? "A name in the path is longer than 255 bytes"
                                                  : "The path is longer than 4095 bytes";
            EXPECT_NE(std::string::npos, (s.out + s.err).find(limit)) << what << "\n" << s.out.substr(0, 300)
                                                                      << s.err.substr(0, 300);
            EXPECT_TRUE(Entries(dir.path().string()).empty()) << what << " made files";
        }
    }
}

// A failure while working is the status each usage promises for it, never an
// abort: kfixtures under a folder that cannot be made, norvikel-tool list and
// grab on a folder that is not there (the list's error, both alike).
TEST(ToolCommandLine, AFailureWhileWorkingIsTheStatusTheUsagePromises)
{
    testsupport::TempDir dir("cliwork");
    const std::string cwd = dir.path().string();
    testsupport::WriteBytes(dir.file("plain"), {'x'});
    Streams s = RunTool(cwd, "kfixtures", "plain/fixtures");
    EXPECT_EQ(1, s.rc) << s.out << s.err;
    EXPECT_NE(std::string::npos, s.err.find("kfixtures: ")) << s.err;

    s = RunTool(cwd, "norvikel-tool", "list --source folder --path missing");
    EXPECT_EQ(1, s.rc) << s.out << s.err;
    EXPECT_NE(std::string::npos, s.out.find("error 2112 Path NotFound")) << s.out;
    s = RunTool(cwd, "norvikel-tool", "grab --source folder --path missing grid.png");
    EXPECT_EQ(1, s.rc) << s.out << s.err;
    EXPECT_NE(std::string::npos, s.out.find("error 2112 Path NotFound")) << s.out;
}
