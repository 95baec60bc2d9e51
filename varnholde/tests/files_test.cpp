// Data files and the fringe-value calibration file.
#include "varnholde/tests/datafile_reader.h"
#include "varnholde/varnholde.h"

#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

constexpr float kNoData = 9999.0f;

std::vector<float> Sample(int rows, int cols)
{
    std::vector<float> v(size_t(rows) * cols);
    for (size_t i = 0; i < v.size(); ++i) v[i] = float(i) * 0.1234567f - 3.0f + 1e-7f * float(i * i);
    v[0] = kNoData;
    v[v.size() / 2] = kNoData;
    v[1] = -0.0f;
    v[2] = 1.17549435e-38f;
    v[3] = -123456.789f;
    return v;
}

std::vector<std::string> FolderContents(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    return names;
}

TEST(DataFiles, RoundTripTextAndBinaryWithNoData)
{
    testsupport::TempDir dir;
    const int rows = 7, cols = 11;
    const auto v = Sample(rows, cols);
    struct Kind {
        const char* name;
        int32_t (*save)(const float*, int16_t, int16_t, int16_t, const char*);
        datafile::Data (*read)(const std::vector<uint8_t>&);
    };
    for (const Kind& k : {Kind{"x_ab.dat", SaveSingleAsText, datafile::ReadText},
                          Kind{"x_ab.bin", SaveSingleAsBinary, datafile::ReadBinary}}) {
        for (int16_t mils : {int16_t(-1), int16_t(0)}) {
            SCOPED_TRACE(std::string(k.name) + (mils ? " mils" : " microns"));
            const std::string path = dir.file(k.name);
            ASSERT_EQ(k.save(v.data(), rows, cols, mils, path.c_str()), 0) << Varnholde_LastError();
            const datafile::Data d = k.read(testsupport::ReadBytes(path));
            ASSERT_TRUE(d.ok);
            EXPECT_EQ(d.rows, rows);
            EXPECT_EQ(d.cols, cols);
            EXPECT_EQ(d.units, mils ? "mils" : "microns");
            ASSERT_EQ(d.values.size(), v.size());
            for (size_t i = 0; i < v.size(); ++i) EXPECT_EQ(d.values[i], v[i]) << i;
            EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{k.name}); // no temporary left
            fs::remove(path);
        }
    }
    // The text file is plain: the no-data pixel reads 9999.
    ASSERT_EQ(SaveSingleAsText(v.data(), 1, 2, -1, dir.file("t.dat").c_str()), 0);
    EXPECT_EQ(testsupport::ReadText(dir.file("t.dat")),
              "Varnholde displacement data\r\nRows\t1\r\nColumns\t2\r\nUnits\tmils\r\nNoData\t9999\r\n9999\t-0\r\n");
}

TEST(DataFiles, FailureLeavesNoFileAndKeepsAnOldOne)
{
    testsupport::TempDir dir;
    const auto v = Sample(3, 3);
    fs::create_directory(dir.path() / "sub");
    testsupport::WriteBytes(dir.file("plain"), {1, 2, 3});
    const std::string targets[] = {
        dir.file("missing/x_ab.dat"), // no such folder
        dir.file("sub"),              // a folder in the way
        dir.file("plain/x_ab.dat"),   // a file in place of the folder
        "",
    };
    for (const std::string& t : targets) {
        for (auto save : {SaveSingleAsText, SaveSingleAsBinary}) {
            EXPECT_NE(save(v.data(), 3, 3, -1, t.c_str()), 0) << t;
            EXPECT_STRNE(Varnholde_LastError(), "") << t;
        }
    }
    auto names = FolderContents(dir.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"plain", "sub"}));
    EXPECT_TRUE(fs::is_empty(dir.path() / "sub"));
    EXPECT_EQ(SaveSingleAsText(v.data(), 0, 3, -1, dir.file("zero.dat").c_str()), -1);
    EXPECT_FALSE(fs::exists(dir.file("zero.dat")));

    // Writing over an existing file replaces it whole.
    const std::string path = dir.file("over_ab.bin");
    testsupport::WriteBytes(path, std::vector<uint8_t>(5000, 0xAB));
    ASSERT_EQ(SaveSingleAsBinary(v.data(), 3, 3, 0, path.c_str()), 0);
    EXPECT_EQ(testsupport::ReadBytes(path).size(), 24u + 9 * 4);
}

TEST(FringeValueFile, TableOfCases)
{
    testsupport::TempDir dir;
    const std::string file = dir.file("FringeValue.txt");
    std::ofstream(file) << "# Calibrated fringe values\r\n"
                           "# lines per inch\tmils per fringe\r\n"
                           "50\t1.9685\r\n"
                           "100\t0.98425\r\n"
                           "200\t0\r\n"
                           "\r\n"
                           "500 0.19685\r\n"
                           "1000\tnot-a-number\r\n";
    struct Case {
        uint8_t grating;
        float value;
        bool reason;
    };
    const Case cases[] = {
        {0, 1.9685f, false},  // present
        {1, 0.98425f, false}, // present
        {2, -1.0f, true},     // zero: not calibrated
        {3, -1.0f, true},     // no line for 300 lpi
        {4, 0.19685f, false}, // blank-separated
        {5, 9999.0f, true},   // unreadable value
        {6, 9999.0f, true},   // no such grating
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadFringeValue(file.c_str(), c.grating), c.value) << int(c.grating);
        EXPECT_EQ(std::string(Varnholde_LastError()).empty(), !c.reason) << int(c.grating) << Varnholde_LastError();
    }
    EXPECT_EQ(ReadFringeValue(dir.file("none.txt").c_str(), 1), 9999.0f);
    EXPECT_NE(std::string(Varnholde_LastError()).find("none.txt"), std::string::npos) << Varnholde_LastError();
}

} // namespace

namespace {

TEST(FringeValueFile, ValuesAFloatCannotHoldAndFilesThatAreNoTextFile)
{
    testsupport::TempDir dir;
    const std::string file = dir.file("FringeValue.txt");
    for (const char* entry : {"1e39", "1e-320", "-0"}) {
        std::ofstream(file) << "100\t" << entry << "\r\n";
        const float v = ReadFringeValue(file.c_str(), 1);
        EXPECT_TRUE(v == 9999.0f || v == -1.0f) << entry << " " << v;
        EXPECT_STRNE(Varnholde_LastError(), "") << entry;
    }
    // A pipe is refused at once (no writer is waited for), a huge file unread.
    const std::string fifo = dir.file("pipe.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadFringeValue(fifo.c_str(), 1), 9999.0f);
    EXPECT_NE(std::string(Varnholde_LastError()).find("not a regular file"), std::string::npos);
    float d[4] = {1, 2, 3, 4};
    EXPECT_NE(Compensate_Standard(d, fifo.c_str(), 2, 2, 1.0f, 1.0f, 1), 0);
    EXPECT_NE(std::string(Varnholde_LastError()).find("not a regular file"), std::string::npos);
    std::ofstream(file) << "100\t1.5\r\n" << std::string(2 << 20, '#');
    EXPECT_EQ(ReadFringeValue(file.c_str(), 1), 9999.0f);
    EXPECT_NE(std::string(Varnholde_LastError()).find("too large"), std::string::npos);
}

TEST(DataFiles, LongestNamesAreWrittenThroughAHiddenTemporaryName)
{
    testsupport::TempDir dir;
    const auto v = Sample(3, 3);
    // 255 bytes: the longest name a folder holds.
    const std::string name = std::string(248, 'n') + "_ab.dat";
    ASSERT_EQ(name.size(), 255u);
    ASSERT_EQ(SaveSingleAsText(v.data(), 3, 3, -1, dir.file(name).c_str()), 0) << Varnholde_LastError();
    EXPECT_EQ(FolderContents(dir.path()), std::vector<std::string>{name});
    // A relative name writes in the current folder.
    const fs::path here = fs::current_path();
    fs::current_path(dir.path());
    EXPECT_EQ(SaveSingleAsBinary(v.data(), 3, 3, -1, "rel_ab.bin"), 0) << Varnholde_LastError();
    fs::current_path(here);
    EXPECT_TRUE(fs::exists(dir.file("rel_ab.bin")));
}

} // namespace
