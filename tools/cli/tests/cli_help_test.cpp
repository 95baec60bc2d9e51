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

// Runs one tool in `cwd` with standard output and error kept apart.
Streams RunTool(const std::string& cwd, const std::string& tool, const std::string& args)
{
    const std::string out = cwd + "/.out", err = cwd + "/.err";
    Streams s;
    testsupport::Shell("(cd '" + cwd + "' && HOME='" + cwd + "' '" + testsupport::BinDir() + "/" + tool + "' " + args +
                           " >'" + out + "' 2>'" + err + "')",
                       &s.rc);
    s.out = testsupport::ReadText(out);
    s.err = testsupport::ReadText(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
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
