#include "app/core/runtime.h"
#include "platform/regular_file.h"

#include "app/core/atomic_file.h"

#include "app/core/tests/file_limit.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace core;

TEST(Runtime, RoundHalfEven)
{
    struct { double in; double out; } cases[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {1.5, 2}, {2.4999, 2}, {2.5001, 3},
        {319.5, 320}, {239.5, 240}, {240.5, 240}, {23.95, 24}, {-0.4, 0}, {-0.6, -1},
    };
    for (auto& c : cases)
        EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
    int16_t v = 0;
    EXPECT_TRUE(RoundToInt16(32767.4, &v));
    EXPECT_EQ(v, 32767);
    EXPECT_FALSE(RoundToInt16(32767.5, &v));   // rounds to 32768
    EXPECT_TRUE(RoundToInt16(-32768.5, &v));   // halves to even: -32768
    EXPECT_EQ(v, -32768);
    EXPECT_FALSE(RoundToInt16(1e300, &v));
}

TEST(Runtime, NumberCheckAndLeadingNumber)
{
    struct { const char* text; bool numeric; double val; } cases[] = {
        {"12", true, 12},       {" 10.25 ", true, 10.25}, {"-0.4", true, -0.4}, {"+3", true, 3},
        {".5", true, 0.5},      {"5.", true, 5},          {"1E3", true, 1000},  {"2.5e-1", true, 0.25},
        {"", false, 0},         {".", false, 0},          {"-", false, 0},      {"abc", false, 0},
        {"12abc", false, 12},   {"1.2.3", false, 1.2},    {"1 2", false, 12},   {"0100", true, 100},
        {"1E", false, 1},       {"  7  x", false, 7},
    };
    for (auto& c : cases) {
        EXPECT_EQ(IsNumeric(c.text), c.numeric) << c.text;
        EXPECT_DOUBLE_EQ(Val(c.text), c.val) << c.text;
    }
}

TEST(Runtime, FormatPatterns)
{
    struct { double v; const char* pattern; const char* out; } cases[] = {
        {0.05, "0.0", "0.1"},       {0.15, "0.0", "0.2"},      {0.25, "0.0", "0.3"},   {-0.05, "0.0", "-0.1"},
        {2.5, "0", "3"},            {-2.5, "0", "-3"},         {0.4, "0", "0"},        {-0.04, "0.0", "0.0"},
        {12.345, "0.00", "12.35"},  {1.005, "0.00", "1.01"},   {9.96, "0.0", "10.0"},  {9999, "0.0", "9999.0"},
        {10.25, "0.000000", "10.250000"}, {20.0, "0.0", "20.0"}, {0, "0.00", "0.00"},  {123456.75, "0.0", "123456.8"},
    };
    for (auto& c : cases)
        EXPECT_EQ(FormatNumber(c.v, c.pattern), c.out) << c.v << " " << c.pattern;
    // A float is taken at its 7-digit text: 2.675f is 2.67499995... in binary.
    EXPECT_EQ(FormatNumber(2.675f, "0.00"), "2.68");
    EXPECT_EQ(FormatNumber(0.05f, "0.0"), "0.1");
    EXPECT_EQ(FormatNumber(-1.0f, "0.00"), "-1.00");
}

TEST(Runtime, ShortTextOfFloat)
{
    struct { float v; const char* out; } cases[] = {
        {0, "0"}, {2.5f, "2.5"}, {9999, "9999"}, {0.1f, "0.1"}, {-0.4f, "-0.4"}, {50.8f, "50.8"},
        {76.2f, "76.2"}, {1.0f / 3.0f, "0.3333333"}, {12345678.0f, "1.234568E+07"}, {100, "100"},
    };
    for (auto& c : cases)
        EXPECT_EQ(ShortText(c.v), c.out) << c.v;
}

TEST(Runtime, WildcardMatchIgnoresCase)
{
    struct { const char* name; const char* pattern; bool match; } cases[] = {
        {"A_PH.TIF", "*_ph.tif", true},       {"part7_ph.tif", "*_ph.tif", true},  {"part7_ph.tiff", "*_ph.tif", false},
        {"x/CurrentPhase.tif", "*CurrentPhase.tif", true}, {"NoPhase.tif", "*NoPhase.tif", true},
        {"a_ph.bmp", "*_ph.tif", false},      {"Calverdine v2", "Calverdine*", true}, {"lsf rotation", "*Lsf*", true},
        {"4 Pt Rotation", "*Lsf*", false},    {"ab", "a?", true},                   {"", "*", true},
        {"abc", "a*c*", true},                {"abcd", "a*c", false},
    };
    for (auto& c : cases)
        EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
}

namespace {

std::string ReadAll(const std::string& path)
{
    std::string bytes;
    return platform::ReadRegularFile(path, 1 << 20, &bytes) ? bytes : "(unreadable)";
}

size_t FilesIn(const std::string& folder)
{
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        (void)e;
        ++n;
    }
    return n;
}

} // namespace

TEST(Runtime, AtomicWriteOnAFullDiskKeepsTheOldFile)
{
    testsupport::TempDir dir("fulldisk");
    const std::string path = dir.file("settings.txt");
    ASSERT_TRUE(core::WriteFileAtomically(path, "old contents\r\n"));
    // Sizes below and above the 16 KiB a buffered writer would hold back.
    for (size_t size : {size_t(5000), size_t(40000)}) {
        const std::string bytes(size, 'x');
        EXPECT_FALSE(coretest::WithFileSizeLimit(1000, [&] {
            std::string error;
            const bool ok = core::WriteFileAtomically(path, bytes, &error);
            return ok || error.empty();   // a failure must say why
        })) << size;
        EXPECT_EQ(ReadAll(path), "old contents\r\n") << size;
        EXPECT_EQ(FilesIn(dir.path().string()), 1u) << "no temporary file is left";
    }
    EXPECT_TRUE(coretest::WithFileSizeLimit(100000, [&] { return core::WriteFileAtomically(path, std::string(5000, 'y')); }));
    EXPECT_EQ(ReadAll(path), std::string(5000, 'y'));
}

TEST(Runtime, AtomicWriteThatCannotReplaceItsTargetFails)
{
    testsupport::TempDir dir("commit");
    // The target is a folder: nothing may report success, the folder stays.
    const std::string folder = dir.file("target");
    std::filesystem::create_directories(folder + "/inside");
    std::string error;
    EXPECT_FALSE(core::WriteFileAtomically(folder, "bytes", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::is_directory(folder + "/inside"));
    EXPECT_EQ(FilesIn(dir.path().string()), 1u) << "no temporary file is left";

    // A path beyond the system's limits is refused with the limit named.
    const std::string longName = dir.file(std::string(256, 'n'));
    EXPECT_FALSE(core::WriteFileAtomically(longName, "bytes", &error));
    EXPECT_EQ(error, "A name in the path is longer than 255 bytes, the longest name the system allows.");
    std::string longPath = dir.path().string();
    while (longPath.size() <= 4095) longPath += "/" + std::string(200, 'd');
    EXPECT_FALSE(core::WriteFileAtomically(longPath, "bytes", &error));
    EXPECT_EQ(error, "The path is longer than 4095 bytes, the longest path the system opens.");
}

// The rename over the target is the last step that can fail: a folder made in
// the target's place after the data were written (this holds for root too,
// which permissions would not stop) fails the write and leaves nothing behind.
TEST(Runtime, AtomicWriteWhoseFinalRenameFailsReportsIt)
{
    testsupport::TempDir dir("rename");
    const std::string target = dir.file("table.txt");
    core::SetBeforeRenameHook([](const std::string& path) {
        std::filesystem::create_directories(path + "/inside");
    });
    std::string error;
    const bool written = core::WriteFileAtomically(target, "bytes", &error);
    core::SetBeforeRenameHook(nullptr);
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::is_directory(target + "/inside"));
    EXPECT_EQ(FilesIn(dir.path().string()), 1u) << "no temporary file is left";
}

// What a replaced file may be: a link is written through to its target, a
// file that grants nobody write permission is refused (also for root), a
// file keeps its permissions, a name that is not UTF-8 is written under its
// own bytes.
TEST(Runtime, AtomicWriteRulesForLinksReadOnlyFilesAndNames)
{
    testsupport::TempDir dir("replace");
    const std::string real = dir.file("real.txt"), link = dir.file("link.txt");
    ASSERT_TRUE(core::WriteFileAtomically(real, "old"));
    std::filesystem::create_symlink("real.txt", link);
    ASSERT_TRUE(core::WriteFileAtomically(link, "new"));
    EXPECT_TRUE(std::filesystem::is_symlink(link)) << "the link stays";
    EXPECT_EQ(ReadAll(real), "new");

    ASSERT_EQ(::chmod(real.c_str(), 0444), 0);
    std::string error;
    EXPECT_FALSE(core::WriteFileAtomically(real, "newer", &error));
    EXPECT_EQ(error, "The file is read-only.");
    EXPECT_FALSE(core::WriteFileAtomically(link, "newer", &error));
    EXPECT_EQ(ReadAll(real), "new");

    ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
    ASSERT_TRUE(core::WriteFileAtomically(real, "kept mode"));
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    const std::string odd = dir.file("lat\xe9.txt");
    ASSERT_TRUE(core::WriteFileAtomically(odd, "latin-1 name", &error)) << error;
    EXPECT_EQ(ReadAll(odd), "latin-1 name");
    EXPECT_EQ(FilesIn(dir.path().string()), 3u) << "no temporary file and no other name";
}

TEST(Runtime, StaleTemporaryFilesOfEndedProcessesAreRemoved)
{
    testsupport::TempDir dir("stale");
    // A process that has ended: a child that exited and was waited for.
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string dead = std::to_string(ended), live = std::to_string(::getppid()), own = std::to_string(::getpid());
    const std::vector<std::string> removed = {".vh" + dead + "_0.tmp", ".vh" + dead + "_s3.tmp"};
    const std::vector<std::string> kept = {".vh" + live + "_0.tmp", ".vh" + own + "_s0.tmp", ".vh_0.tmp",
                                           ".vhx_0.tmp", "vh" + dead + "_0.tmp", ".vh" + dead + "_0.txt"};
    for (const std::string& name : removed) testsupport::WriteBytes(dir.file(name), {'x'});
    for (const std::string& name : kept) testsupport::WriteBytes(dir.file(name), {'x'});
    EXPECT_EQ(core::RemoveStaleTemporaries(dir.path().string()), 2);
    for (const std::string& name : removed) EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
    for (const std::string& name : kept) EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
}

TEST(Runtime, SmallFileReaderTakesRegularFilesOnly)
{
    testsupport::TempDir dir("readers");
    const std::string fifo = dir.file("pipe.txt"), big = dir.file("big.txt"), small = dir.file("small.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(core::WriteFileAtomically(big, std::string(2000, 'b')));
    ASSERT_TRUE(core::WriteFileAtomically(small, "abc"));
    std::string bytes, error;
    EXPECT_FALSE(platform::ReadRegularFile(fifo, 1000, &bytes, &error));   // returns at once, no writer needed
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(platform::ReadRegularFile(big, 1000, &bytes, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_FALSE(platform::ReadRegularFile("/dev/zero", 1000, &bytes, &error));
    EXPECT_FALSE(platform::ReadRegularFile(dir.path().string(), 1000, &bytes, &error));
    EXPECT_FALSE(core::IsRegularFile(fifo));
    EXPECT_TRUE(core::IsRegularFile(small));
    ASSERT_TRUE(platform::ReadRegularFile(small, 1000, &bytes, &error));
    EXPECT_EQ(bytes, "abc");
}
