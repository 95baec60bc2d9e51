#include "app/core/model/model.h"
#include "app/core/settings.h"
#include "platform/messages.h"
#include "app/core/tests/file_limit.h"
#include "testsupport/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>

#include <vector>

using namespace core;

namespace {

std::string Fixture(const std::string& name)
{
    return testsupport::ReadText(testsupport::SourceDir() + "/app/core/tests/data/" + name);
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t e = text.find("\r\n", pos);
        lines.push_back(text.substr(pos, e - pos));
        pos = e + 2;
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines, const char* end = "\r\n")
{
    std::string out;
    for (auto& l : lines)
        out += l + end;
    return out;
}

// The defaults file with the value of one line (1-based) replaced.
std::string WithValue(int line, const std::string& value)
{
    auto lines = SplitLines(Fixture("defaults_settings.txt"));
    lines[line - 1] = lines[line - 1].substr(0, 58) + value;
    return Join(lines);
}

model::Settings Odd()
{
    model::Settings s;
    s.SettingRotation = "3Pt";
    s.SettingGrating = 1000;
    s.SettingWidth = 7;
    return s;
}

struct StubWindows : SettingsWindows {
    int pushes = 0;
    model::Settings pushed;
    std::string width = "12.34", zmin = "-1.46", rotationText;
    void PushSettings(const model::Settings& s) override
    {
        ++pushes;
        pushed = s;
    }
    void GatherSettings(model::Settings& s) override
    {
        s.SettingGrating = 500;
        s.SettingRotation = RotationName(5);
        s.SettingWidth = GatherSampleSize(width);
        s.SettingZMin = GatherZLimit(zmin, "0.0");
        s.SettingPlotAltitude = -90;
        s.SettingPlotRotation = 360;
        s.SettingBatchGraphFormat = "JPG";
    }
};

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { model::ResetModel(); }
    void TearDown() override { SetSettingsWindows(nullptr); }
    testsupport::TempDir dir{"settings"};
    std::string path = dir.file("Sorvanta Settings.txt");
    platform::ScriptedMessages messages;
};

} // namespace

TEST_F(SettingsFile, MissingFileWritesTheDefaultsByteForByte)
{
    model::settings = Odd();
    EXPECT_EQ(ReadSettingsFile(path), SettingsReadResult::Missing);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text,
              "Sorvanta Settings.txt is missing.\rA new file with default settings will be created.");
    EXPECT_EQ(messages.records[0].style, 48);
    EXPECT_EQ(messages.records[0].title, "Warning");
    EXPECT_EQ(testsupport::ReadText(path), Fixture("defaults_settings.txt"));
    EXPECT_EQ(model::settings, model::Settings{});

    // A first run: the utility folder does not exist yet.
    const std::string nested = dir.file("Calverdine/Utility Files/Sorvanta Settings.txt");
    EXPECT_EQ(ReadSettingsFile(nested), SettingsReadResult::Missing);
    EXPECT_EQ(testsupport::ReadText(nested), Fixture("defaults_settings.txt"));
}

TEST_F(SettingsFile, RewriteOnExitCarriesGatheredValues)
{
    testsupport::WriteBytes(path, testsupport::ReadBytes(testsupport::SourceDir() +
                                                         "/app/core/tests/data/defaults_settings.txt"));
    ASSERT_EQ(ReadSettingsFile(path), SettingsReadResult::Read);
    EXPECT_TRUE(messages.records.empty());

    StubWindows windows;
    SetSettingsWindows(&windows);
    ApplySettingsToForms();
    EXPECT_EQ(windows.pushes, 1);
    EXPECT_EQ(model::files.DataFormatIndex, 2);
    EXPECT_EQ(model::files.GraphFormatIndex, 1);

    model::files.XYUnits = "mm";
    model::files.ZUnits = "microns";
    model::files.GraphFormatIndex = 2;
    CollectSettings();
    ASSERT_TRUE(SaveSettingsFile(path));
    EXPECT_EQ(testsupport::ReadText(path), Fixture("rewritten_settings.txt"));

    // And the rewrite reads back to the same values.
    model::Settings before = model::settings;
    model::settings = model::Settings{};
    EXPECT_EQ(ReadSettingsFile(path), SettingsReadResult::Read);
    EXPECT_EQ(model::settings, before);
}

TEST_F(SettingsFile, OneBadLineGivesTheCorruptedWarningAndDefaults)
{
    struct { int line; const char* value; } cases[] = {
        {1, "British"}, {3, "PNG"},   {4, "0100"},   {4, "150"},  {4, " 1e2"},  {5, "LSF*"},  {6, "yes"},
        {11, "-0.6"},   {11, "abc"},  {11, "40000"}, {12, ""},    {13, "x"},    {14, "1e999"}, {15, "91"},
        {15, "-90.6"},  {16, "361"},  {16, "-1"},    {16, "99999"}, {17, "Rainbow"}, {19, "100.0"},
        {27, "-1"},     {34, "abc"},  {35, "360.6"}, {37, "GIF"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.line) + " '" + c.value + "'");
        testsupport::WriteBytes(path, {});
        const std::string text = WithValue(c.line, c.value);
        testsupport::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
        model::settings = Odd();
        messages.records.clear();
        EXPECT_EQ(ReadSettingsFile(path), SettingsReadResult::Corrupted);
        ASSERT_EQ(messages.records.size(), 1u);
        EXPECT_EQ(messages.records[0].text,
                  "Sorvanta Settings.txt is corrupted.\rA new file with default settings will be created.");
        EXPECT_EQ(testsupport::ReadText(path), Fixture("defaults_settings.txt"));
        EXPECT_EQ(testsupport::ReadText(path + ".bad"), text) << "the refused file is kept beside it";
        EXPECT_EQ(model::settings, model::Settings{});
    }
}

TEST_F(SettingsFile, ShortFilesCountAsCorrupted)
{
    auto lines = SplitLines(Fixture("defaults_settings.txt"));
    for (size_t keep : {size_t(0), size_t(1), size_t(36)}) {
        std::vector<std::string> part(lines.begin(), lines.begin() + keep);
        std::string text = Join(part);
        model::Settings parsed;
        EXPECT_EQ(ParseSettingsText(text, &parsed), static_cast<int>(keep) + 1) << keep;   // the first missing line
        testsupport::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
        EXPECT_EQ(ReadSettingsFile(path), SettingsReadResult::Corrupted) << keep;
        EXPECT_EQ(testsupport::ReadText(path), Fixture("defaults_settings.txt"));
    }
}

TEST_F(SettingsFile, AcceptedOddities)
{
    auto lines = SplitLines(Fixture("defaults_settings.txt"));
    lines[3] = "Lines per inch of the grating in use" + std::string(22, ' ') + "100";  // any label
    lines[4] = lines[4].substr(0, 58) + "lsf+";                // other letter case, stored as written
    lines[5] = lines[5].substr(0, 58) + "on";
    lines[6] = lines[6].substr(0, 58) + "OFF";
    lines[10] = lines[10].substr(0, 58) + "-0.4";              // rounds to 0
    lines[12] = lines[12].substr(0, 58) + "-1.5";
    lines[14] = lines[14].substr(0, 58) + "-89.6";             // rounds to -90
    lines[15] = lines[15].substr(0, 58) + "360";
    lines[16] = lines[16].substr(0, 58) + "colorfill";
    lines[18] = "Batch Grating" + std::string(50, ' ') + "1000";  // value beyond column 59
    std::string text = Join(lines, "\n");                      // LF-only line ends
    testsupport::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
    model::Settings parsed;
    EXPECT_EQ(ParseSettingsText(text, &parsed), 0);

    ASSERT_EQ(ReadSettingsFile(path), SettingsReadResult::Read);
    EXPECT_TRUE(messages.records.empty());
    const auto& s = model::settings;
    EXPECT_EQ(s.SettingGrating, 100);
    EXPECT_EQ(s.SettingRotation, "lsf+");
    EXPECT_EQ(RotationPosition(s.SettingRotation), 4);
    EXPECT_EQ(s.SettingUseFringeValue, "on");
    EXPECT_EQ(s.SettingExclude128, "OFF");
    EXPECT_FLOAT_EQ(s.SettingWidth, -0.4f);
    EXPECT_FLOAT_EQ(s.SettingZMin, -1.5f);
    EXPECT_EQ(s.SettingPlotAltitude, -90);
    EXPECT_EQ(s.SettingPlotRotation, 360);
    EXPECT_EQ(s.SettingContourStyle, "colorfill");
    EXPECT_EQ(s.SettingBatchGrating, 1000);
}

TEST(SettingsGather, TextBoxRules)
{
    EXPECT_FLOAT_EQ(GatherSampleSize("12.34"), 12.3f);
    EXPECT_FLOAT_EQ(GatherSampleSize("12.35"), 12.4f);
    EXPECT_EQ(GatherSampleSize("0"), 0.0f);
    EXPECT_EQ(GatherSampleSize("-3"), 0.0f);
    EXPECT_EQ(GatherSampleSize("abc"), 0.0f);
    EXPECT_EQ(GatherZLimit("", "0.0"), 9999.0f);
    EXPECT_FLOAT_EQ(GatherZLimit("1.25", "0.0"), 1.3f);
    EXPECT_FLOAT_EQ(GatherZLimit("-12.5", "0"), -13.0f);
    EXPECT_EQ(ZLimitText(9999, "0.0"), "");
    EXPECT_EQ(ZLimitText(-1.5f, ""), "-1.5");
    EXPECT_EQ(ZLimitText(2, "0.0"), "2.0");
    EXPECT_EQ(GratingPosition(1000), 5);
    EXPECT_EQ(GratingPosition(150), -1);
    EXPECT_EQ(RotationPosition("LSF-"), 5);
    EXPECT_EQ(ContourStylePosition("BLACKLINE"), 3);
    EXPECT_EQ(RotationPosition("Lsf Rotation"), -1);
    EXPECT_EQ(ContourStylePosition(""), -1);
    EXPECT_EQ(RotationName(0), "None");
    EXPECT_EQ(RotationName(6), "");
    EXPECT_EQ(ContourStyleName(3), "BlackLine");
    EXPECT_EQ(ContourStyleName(4), "");
    EXPECT_EQ(ContourStyleName(-1), "");
}

TEST_F(SettingsFile, AFailedSaveAtExitIsReportedAndKeepsTheOldFile)
{
    const std::string defaults = Fixture("defaults_settings.txt");
    testsupport::WriteBytes(path, std::vector<uint8_t>(defaults.begin(), defaults.end()));
    model::settings = Odd();
    // The disk fills up: the save says so, and the file keeps the last good settings.
    EXPECT_TRUE(coretest::WithFileSizeLimit(100, [&] {
        return !SaveSettingsFile(path) && messages.records.size() == 1 && messages.records[0].title == "Warning" &&
               messages.records[0].style == 48 &&
               messages.records[0].text.find("Sorvanta Settings.txt cannot be saved") == 0;
    }));
    EXPECT_EQ(testsupport::ReadText(path), defaults);
}

TEST_F(SettingsFile, APipeOrAHugeFileIsNoSettingsFile)
{
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);   // read without a writer: must not wait
    EXPECT_EQ(ReadSettingsFile(path), SettingsReadResult::Corrupted);
    EXPECT_EQ(testsupport::ReadText(path), Fixture("defaults_settings.txt"));

    std::string huge = Fixture("defaults_settings.txt");
    huge += std::string(100 * 1024, ' ');
    testsupport::WriteBytes(path, std::vector<uint8_t>(huge.begin(), huge.end()));
    messages.records.clear();
    EXPECT_EQ(ReadSettingsFile(path), SettingsReadResult::Corrupted);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text,
              "Sorvanta Settings.txt is corrupted.\rA new file with default settings will be created.");
    EXPECT_EQ(testsupport::ReadText(path + ".bad"), huge) << "too large to read, kept all the same";
}

TEST(SettingsAngles, ViewAnglesComeIntoTheFileRanges)
{
    struct Case {
        double in;
        int elevation, rotation;
    };
    const Case cases[] = {{100, 90, 100},  {-10, -10, 350}, {400, 40, 40},   {-100, -90, 260},
                          {350, -10, 350}, {360, 0, 360},   {720.4, 0, 0},   {-90.5, -90, 270},
                          {1e9, -80, 280},  {45, 45, 45}};
    for (const Case& c : cases) {
        EXPECT_EQ(SettingsElevation(c.in), c.elevation) << c.in;
        EXPECT_EQ(SettingsRotation(c.in), c.rotation) << c.in;
    }
    EXPECT_EQ(SettingsRotation(std::nan("")), 0);
}

namespace {

// Windows whose controls hold what a drag or a typed angle can leave.
struct WildWindows : SettingsWindows {
    double elevation = 0, rotation = 0;
    float width = 0, zmin = 0;
    void PushSettings(const model::Settings&) override {}
    void GatherSettings(model::Settings& s) override
    {
        s.SettingPlotAltitude = SettingsElevation(elevation);
        s.SettingPlotRotation = SettingsRotation(rotation);
        s.SettingBatchPlotAltitude = int16_t(100);   // a window that did not bring it into range
        s.SettingBatchPlotRotation = int16_t(-10);
        s.SettingWidth = width;
        s.SettingZMin = zmin;
    }
};

} // namespace

TEST_F(SettingsFile, EveryCollectedValueReadsBackWithoutAReset)
{
    struct Case {
        double elevation, rotation;
        float width, zmin;
        int16_t wantAltitude, wantRotation;
    };
    const Case cases[] = {
        {100, -10, 40000, -1.2345678e-5f, 90, 350},
        {-135, 400, 7, 3, -90, 40},
    };
    for (const Case& c : cases) {
        model::ResetModel();
        model::settings.SettingWidth = 5;
        model::settings.SettingZMin = 9999;
        WildWindows windows;
        windows.elevation = c.elevation;
        windows.rotation = c.rotation;
        windows.width = c.width;
        windows.zmin = c.zmin;
        SetSettingsWindows(&windows);
        CollectSettings();
        ASSERT_TRUE(SaveSettingsFile(path));
        const model::Settings written = model::settings;
        model::ResetModel();
        messages.records.clear();
        EXPECT_EQ(ReadSettingsFile(path), SettingsReadResult::Read) << c.elevation;
        EXPECT_TRUE(messages.records.empty()) << "no corrupted-file warning";
        EXPECT_EQ(model::settings, written);
        EXPECT_EQ(model::settings.SettingPlotAltitude, c.wantAltitude);
        EXPECT_EQ(model::settings.SettingPlotRotation, c.wantRotation);
        EXPECT_EQ(model::settings.SettingBatchPlotAltitude, 90);
        EXPECT_EQ(model::settings.SettingBatchPlotRotation, 350);
        // A width the file cannot hold keeps the earlier one; others stand.
        EXPECT_EQ(model::settings.SettingWidth, c.width > 32767 ? 5.0f : c.width);
        EXPECT_EQ(model::settings.SettingZMin, c.zmin == 3 ? 3.0f : 9999.0f);
    }
}
