// The value readers of the tools' one parser at the exact edges of what they
// take, and the parser's walk through options, values and operands.
#include "tools/cli/args.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using cli::ReadInteger;

cli::Parser::Outcome Read(cli::Parser& p, std::vector<std::string> args, std::vector<std::string>* operands,
                          std::string* why)
{
    args.insert(args.begin(), "tool");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    return p.read(int(argv.size()), argv.data(), operands, why);
}

} // namespace

TEST(ToolValues, WholeNumbersAreTakenFromTheirLeastToTheirGreatestAndNoFurther)
{
    long v = 0;
    const struct {
        const char* text;
        bool taken;
    } cases[] = {{"7", false},  {"8", true},    {"1024", true}, {"1025", false}, {"16abc", false}, {"16 ", false},
                 {" 16", false}, {"+16", true}, {"0x10", false}, {"", false},    {"1e1", false},   {"16.0", false},
                 {"99999999999999999999", false}};
    for (const auto& c : cases) {
        v = -1;
        EXPECT_EQ(c.taken, ReadInteger("SIZE", c.text, 8, 1024, &v).empty()) << c.text;
        if (c.taken) EXPECT_EQ(std::stol(c.text), v) << c.text;
    }
    EXPECT_EQ("SIZE needs a whole number from 8 to 1024, not \"7\"", ReadInteger("SIZE", "7", 8, 1024, &v));
}

TEST(ToolValues, NumbersAreDecimalAndFinite)
{
    double v = 0;
    for (const char* good : {"1", "-1.5", ".5", "5.", "1e3", "2E-2", "+0"})
        EXPECT_EQ("", cli::ReadNumber("--z", good, &v)) << good;
    for (const char* bad : {"abc", "1e", "1.2.3", "inf", "nan", "0x10", " 1", "1 ", "", "-", ".", "1e999"})
        EXPECT_NE("", cli::ReadNumber("--z", bad, &v)) << bad;
    EXPECT_NE("", cli::ReadPositiveNumber("--width", "0", &v));
    EXPECT_NE("", cli::ReadPositiveNumber("--width", "-0.001", &v));
    EXPECT_EQ("", cli::ReadPositiveNumber("--width", "0.001", &v));
    EXPECT_DOUBLE_EQ(0.001, v);
}

TEST(ToolValues, SizesAreTwoWholeNumbersInRange)
{
    int c = 0, r = 0;
    EXPECT_EQ("", cli::ReadSize("--size", "50x8000", 50, 8000, &c, &r));
    EXPECT_EQ(50, c);
    EXPECT_EQ(8000, r);
    EXPECT_EQ("", cli::ReadSize("--size", "8000X50", 50, 8000, &c, &r));
    for (const char* bad : {"49x100", "100x49", "8001x100", "100x8001", "100x100abc", "100x", "x100", "100", "100x-100",
                            "+100x100", "100x 100", "100x100x100"})
        EXPECT_NE("", cli::ReadSize("--size", bad, 50, 8000, &c, &r)) << bad;
}

TEST(ToolValues, PathsAreTakenUpToTheSystemsLimitsAndNoFurther)
{
    EXPECT_EQ("", cli::ReadPath("FILE", std::string(255, 'n')));
    EXPECT_EQ("FILE: A name in the path is longer than 255 bytes, the longest name the system allows.",
              cli::ReadPath("FILE", std::string(256, 'n')));
    EXPECT_EQ("", cli::ReadPath("FILE", "/a/" + std::string(255, 'n') + "/b"));
    EXPECT_NE("", cli::ReadPath("FILE", "/a/" + std::string(256, 'n') + "/b"));
    std::string path;
    while (path.size() + 201 <= 4095) path += "/" + std::string(200, 'd');
    path += "/" + std::string(4095 - path.size() - 1, 'f');
    ASSERT_EQ(4095u, path.size());
    EXPECT_EQ("", cli::ReadPath("FILE", path));
    EXPECT_EQ("FILE: The path is longer than 4095 bytes, the longest path the system opens.",
              cli::ReadPath("FILE", path + "f"));
    EXPECT_NE("", cli::ReadPath("FILE", ""));
}

TEST(ToolValues, TheParserTakesOptionsBeforeTwoDashesAndOperandsAnywhere)
{
    bool flag = false;
    int n = 0;
    std::string choice;
    cli::Parser p("tool", "usage: tool\n");
    p.flag("--flag", &flag).integer("--n", &n, 1, 5).choice("--c", &choice, {"yes", "no"});
    std::vector<std::string> operands;
    std::string why;
    EXPECT_EQ(cli::Parser::Outcome::Go,
              Read(p, {"a", "--n", "5", "-", "--c", "YES", "--flag", "--", "--n", "-x", "--"}, &operands, &why));
    EXPECT_EQ((std::vector<std::string>{"a", "-", "--n", "-x", "--"}), operands);
    EXPECT_TRUE(flag);
    EXPECT_EQ(5, n);
    EXPECT_EQ("yes", choice);

    const struct {
        std::vector<std::string> args;
        cli::Parser::Outcome outcome;
        const char* why;
    } cases[] = {
        {{"--n", "6"}, cli::Parser::Outcome::Bad, "--n needs a whole number from 1 to 5, not \"6\""},
        {{"--n"}, cli::Parser::Outcome::Bad, "--n needs a value"},
        {{"--flag", "-x"}, cli::Parser::Outcome::Bad, "unknown option -x"},
        {{"--c", "maybe"}, cli::Parser::Outcome::Bad, "--c must be yes or no, not \"maybe\""},
        {{"a", "-h"}, cli::Parser::Outcome::Help, ""},
        {{"--", "--help"}, cli::Parser::Outcome::Go, ""},
    };
    for (const auto& c : cases) {
        operands.clear();
        EXPECT_EQ(c.outcome, Read(p, c.args, &operands, &why)) << c.why;
        EXPECT_EQ(c.why, why);
    }
}
