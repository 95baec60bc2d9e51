#include "app/core/settings.h"

#include "app/core/runtime.h"
#include "platform/regular_file.h"
#include "platform/folders.h"

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <fstream>
#include <sstream>
#include <vector>

namespace core {
namespace {

using model::Settings;

enum class Kind { Text, Grating, SampleSize, ZLimit, Altitude, ViewRotation };

struct Line {
    const char* label;
    Kind kind;
    std::vector<const char*> accepted;   // Text lines
    std::string Settings::*text = nullptr;
    int16_t Settings::*integer = nullptr;
    float Settings::*single = nullptr;
};

const std::vector<const char*> kOnOff{"On", "Off"};
const std::vector<const char*> kEnglishMetric{"English", "Metric"};
const std::vector<const char*> kRotations{"None", "LSF", "4Pt", "3Pt", "LSF+", "LSF-"};
const std::vector<const char*> kStyles{"ColorFill", "GrayFill", "ColorLine", "BlackLine"};
const std::vector<const char*> kGratings{"50", "100", "200", "300", "500", "1000"};

// A line whose value is one of the accepted words (case ignored).
Line WordLine(const char* label, const std::vector<const char*>& acc, std::string Settings::*m)
{
    Line l{label, Kind::Text, acc};
    l.text = m;
    return l;
}
// A line whose value is a whole number (grating, view angle).
Line WholeNumberLine(const char* label, Kind k, int16_t Settings::*m)
{
    Line l{label, k, {}};
    l.integer = m;
    return l;
}
// A line whose value is a decimal number (sample size, Z limit).
Line DecimalLine(const char* label, Kind k, float Settings::*m)
{
    Line l{label, k, {}};
    l.single = m;
    return l;
}

const std::vector<Line>& Lines()
{
    static const std::vector<Line> lines{
        WordLine("X/Y Dimensions (English/Metric)", kEnglishMetric, &Settings::SettingXYDimensions),
        WordLine("Z-Displacement (English/Metric)", kEnglishMetric, &Settings::SettingZDisplacement),
        WordLine("Phase Image File Format (TIF/BMP)", {"TIF", "BMP"}, &Settings::SettingImageFormat),
        WholeNumberLine("Single Image Grating (LPI)", Kind::Grating, &Settings::SettingGrating),
        WordLine("Single Image Rotation (None/LSF/4Pt/3Pt/LSF-/LSF+)", kRotations, &Settings::SettingRotation),
        WordLine("Single Image Use FringeValue.txt (On/Off)", kOnOff, &Settings::SettingUseFringeValue),
        WordLine("Single Image Exclude 128 (On/Off)", kOnOff, &Settings::SettingExclude128),
        WordLine("Single Image Phase Filter (On/Off)", kOnOff, &Settings::SettingPhaseFilter),
        WordLine("Single Image Compensate (On/Off)", kOnOff, &Settings::SettingCompensate),
        WordLine("Single Image Data File Format (Text/Binary)", {"Text", "Binary"}, &Settings::SettingDataFormat),
        DecimalLine("Single Image Width (0=NULL)", Kind::SampleSize, &Settings::SettingWidth),
        DecimalLine("Single Image Height (0=NULL)", Kind::SampleSize, &Settings::SettingHeight),
        DecimalLine("Single Image ZMin (9999=NULL)", Kind::ZLimit, &Settings::SettingZMin),
        DecimalLine("Single Image ZMax (9999=NULL)", Kind::ZLimit, &Settings::SettingZMax),
        WholeNumberLine("Single Image 3D Plot Altitude [-90, 90]", Kind::Altitude, &Settings::SettingPlotAltitude),
        WholeNumberLine("Single Image 3D Plot Rotation [0, 359]", Kind::ViewRotation, &Settings::SettingPlotRotation),
        WordLine("Single Image Contour Plot Style", kStyles, &Settings::SettingContourStyle),
        WordLine("Single Image Graph Output Format (BMP/JPG)", {"BMP", "JPG"}, &Settings::SettingGraphFormat),
        WholeNumberLine("Batch Grating (LPI)", Kind::Grating, &Settings::SettingBatchGrating),
        WordLine("Batch Rotation (None/LSF/4Pt/3Pt/LSF-/LSF+)", kRotations, &Settings::SettingBatchRotation),
        WordLine("Batch Use FringeValue.txt (On/Off)", kOnOff, &Settings::SettingBatchUseFringeValue),
        WordLine("Batch Exclude 128 (On/Off)", kOnOff, &Settings::SettingBatchExclude128),
        WordLine("Batch Phase Filter (On/Off)", kOnOff, &Settings::SettingBatchPhaseFilter),
        WordLine("Batch Compensate (On/Off)", kOnOff, &Settings::SettingBatchCompensate),
        WordLine("Batch Normalize Diagonal (On/Off)", kOnOff, &Settings::SettingBatchNormalizeDiagonal),
        WordLine("Batch Data File Format (Text/Binary)", {"Text", "Binary"}, &Settings::SettingBatchDataFormat),
        DecimalLine("Batch Width (0=NULL)", Kind::SampleSize, &Settings::SettingBatchWidth),
        DecimalLine("Batch Height (0=NULL)", Kind::SampleSize, &Settings::SettingBatchHeight),
        WordLine("Batch 3D Plot Output (On/Off)", kOnOff, &Settings::SettingBatch3DOutput),
        WordLine("Batch Contour Plot Output (On/Off)", kOnOff, &Settings::SettingBatchContourOutput),
        WordLine("Batch Diagonal Plot Output (On/Off)", kOnOff, &Settings::SettingBatchDiagonalOutput),
        WordLine("Batch Data File Output (On/Off)", kOnOff, &Settings::SettingBatchDataOutput),
        WordLine("Batch Reduce Data Output (On/Off)", kOnOff, &Settings::SettingBatchReduceData),
        WholeNumberLine("Batch 3D Plot Altitude [-90, 90]", Kind::Altitude, &Settings::SettingBatchPlotAltitude),
        WholeNumberLine("Batch 3D Plot Rotation [0, 359]", Kind::ViewRotation, &Settings::SettingBatchPlotRotation),
        WordLine("Batch Contour Plot Style", kStyles, &Settings::SettingBatchContourStyle),
        WordLine("Batch Graph Output Format (BMP/JPG)", {"BMP", "JPG"}, &Settings::SettingBatchGraphFormat),
    };
    return lines;
}

std::string ValueText(const Line& l, const Settings& s)
{
    if (l.text)
        return s.*(l.text);
    if (l.integer)
        return std::to_string(s.*(l.integer));
    return ShortText(s.*(l.single));
}

// Checks one value text and stores it; false when refused.
bool Accept(const Line& l, const std::string& v, Settings* s)
{
    double num = 0;
    int16_t rounded = 0;
    switch (l.kind) {
    case Kind::Text:
        for (const char* a : l.accepted)
            if (EqualsNoCase(v, a)) {
                s->*(l.text) = v;
                return true;
            }
        return false;
    case Kind::Grating:
        for (const char* a : kGratings)
            if (v == a) {
                s->*(l.integer) = static_cast<int16_t>(std::stoi(v));
                return true;
            }
        return false;
    case Kind::SampleSize:
        if (!ParseNumber(v, &num) || !RoundToInt16(num, &rounded) || rounded < 0)
            return false;
        s->*(l.single) = static_cast<float>(num);
        return std::isfinite(s->*(l.single));
    case Kind::ZLimit:
        if (!ParseNumber(v, &num) || !std::isfinite(static_cast<float>(num)))
            return false;
        s->*(l.single) = static_cast<float>(num);
        return true;
    case Kind::Altitude:
        if (!ParseNumber(v, &num) || !RoundToInt16(num, &rounded) || rounded < -90 || rounded > 90)
            return false;
        s->*(l.integer) = rounded;
        return true;
    case Kind::ViewRotation:
        if (!ParseNumber(v, &num) || !RoundToInt16(num, &rounded) || rounded < 0 || rounded > 360)
            return false;
        s->*(l.integer) = rounded;
        return true;
    }
    return false;
}

SettingsWindows* gWindows = nullptr;

const char* kMissing = "Sorvanta Settings.txt is missing.";
const char* kCorrupted = "Sorvanta Settings.txt is corrupted.";
const char* kNewFile = "A new file with default settings will be created.";

} // namespace

std::string SettingsFilePath() { return platform::JoinPath(platform::UtilityFolder(), kSettingsFileName); }

std::string SettingsLabel(int line, bool defaultsFile)
{
    if (line < 1 || line > kSettingsLines)
        return std::string();
    if (line == 37 && defaultsFile)
        return "Batch Output Graph Format (BMP/JPG)";
    return Lines()[line - 1].label;
}

std::string SettingsFileText(const Settings& s, bool defaultsFile)
{
    std::string out;
    for (int i = 1; i <= kSettingsLines; ++i) {
        std::string label = SettingsLabel(i, defaultsFile);
        if (label.size() < static_cast<size_t>(kSettingsLabelWidth))
            label.append(kSettingsLabelWidth - label.size(), ' ');
        out += label + ValueText(Lines()[i - 1], s) + "\r\n";
    }
    return out;
}

int ParseSettingsText(const std::string& text, Settings* out)
{
    Settings s = *out;
    size_t pos = 0;
    for (int i = 1; i <= kSettingsLines; ++i) {
        if (pos >= text.size())
            return i;   // the file ends before this line
        size_t lf = text.find('\n', pos);
        std::string line = text.substr(pos, lf == std::string::npos ? std::string::npos : lf - pos);
        pos = lf == std::string::npos ? text.size() : lf + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string value = TrimSpaces(line.size() > 10 ? line.substr(line.size() - 10) : line);
        if (!Accept(Lines()[i - 1], value, &s))
            return i;
    }
    *out = s;
    return 0;
}

namespace {

// The utility folder may not exist yet on a first run.
bool WriteSettings(const std::string& path, const std::string& text, std::string* error = nullptr)
{
    const std::string folder = platform::FolderOf(path);
    if (!folder.empty() && !platform::IsFolder(folder)) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
    }
    return WriteFileAtomically(path, text, error);
}

// The settings file is a few kilobytes; anything far larger is no settings file.
constexpr size_t kMaxSettingsBytes = 64 * 1024;

// A refused settings file is kept beside it as "Sorvanta Settings.txt.bad"
// before the defaults replace it: its text when it was read (a link keeps
// pointing at the file it names), else the file itself moved aside. A pipe,
// device or socket in its place holds nothing to keep: its name goes, so the
// defaults can be written there (the writer replaces regular files only).
void KeepRefusedFile(const std::string& path, const std::string* text)
{
    const std::string bad = path + ".bad";
    struct stat st {};
    if (text)
        WriteFileAtomically(bad, *text);
    else if (::lstat(path.c_str(), &st) != 0)
        return;
    else if (S_ISREG(st.st_mode))
        std::rename(path.c_str(), bad.c_str());
    else if (!S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode))
        ::unlink(path.c_str());
}

} // namespace

bool WriteDefaultSettingsFile(const std::string& path)
{
    model::settings = Settings{};
    return WriteSettings(path, SettingsFileText(model::settings, true));
}

bool SaveSettingsFile(const std::string& path)
{
    std::string error;
    if (WriteSettings(path, SettingsFileText(model::settings, false), &error))
        return true;
    // The old file stays as it was; the user learns that this session's settings are lost.
    model::ShowMsg("Sorvanta Settings.txt cannot be saved; the settings of this session are lost." +
                       std::string(model::CR) + error,
                   48, "Warning");
    return false;
}

SettingsReadResult ReadSettingsFile(const std::string& path)
{
    if (!platform::FileExists(path) || platform::IsFolder(path)) {
        model::ShowMsg(std::string(kMissing) + model::CR + kNewFile, 48, "Warning");
        WriteDefaultSettingsFile(path);
        return SettingsReadResult::Missing;
    }
    // A pipe, a device or a huge file in its place is no settings file.
    std::string text;
    const bool read = platform::ReadRegularFile(path, kMaxSettingsBytes, &text);
    Settings s = model::settings;
    if (!read || ParseSettingsText(text, &s) != 0) {
        KeepRefusedFile(path, read ? &text : nullptr);
        model::ShowMsg(std::string(kCorrupted) + model::CR + kNewFile, 48, "Warning");
        WriteDefaultSettingsFile(path);
        return SettingsReadResult::Corrupted;
    }
    model::settings = s;
    return SettingsReadResult::Read;
}

void SetSettingsWindows(SettingsWindows* windows) { gWindows = windows; }
SettingsWindows* CurrentSettingsWindows() { return gWindows; }

void ApplySettingsToForms()
{
    const Settings& s = model::settings;
    model::files.DataFormatIndex = EqualsNoCase(s.SettingDataFormat, "Text") ? 2 : 1;
    model::files.GraphFormatIndex = EqualsNoCase(s.SettingGraphFormat, "BMP") ? 1 : 2;
    if (gWindows)
        gWindows->PushSettings(s);
}

int16_t SettingsElevation(double degrees)
{
    if (!std::isfinite(degrees))
        return 0;
    double e = std::fmod(RoundHalfEven(degrees), 360.0);
    if (e > 180)
        e -= 360;
    else if (e <= -180)
        e += 360;
    return static_cast<int16_t>(std::clamp(e, -90.0, 90.0));
}

int16_t SettingsRotation(double degrees)
{
    if (!std::isfinite(degrees))
        return 0;
    double r = RoundHalfEven(degrees);
    if (r >= 0 && r <= 360)
        return static_cast<int16_t>(r);   // 360 is read as it stands
    r = std::fmod(r, 360.0);
    if (r < 0)
        r += 360;
    return static_cast<int16_t>(r);
}

namespace {

// True when the file line for this value reads back as the same value.
bool ReadsBack(const Line& l, const Settings& s)
{
    std::string text = ValueText(l, s);
    if (text.size() > 10)
        return false;   // the reader takes the last ten characters of a line
    Settings back = s;
    if (!Accept(l, TrimSpaces(text), &back))
        return false;
    if (l.text)
        return EqualsNoCase(back.*(l.text), s.*(l.text));
    if (l.integer)
        return back.*(l.integer) == s.*(l.integer);
    return back.*(l.single) == s.*(l.single);
}

// Sets the value of one line from another settings record.
void CopyValue(const Line& l, Settings& to, const Settings& from)
{
    if (l.text)
        to.*(l.text) = from.*(l.text);
    else if (l.integer)
        to.*(l.integer) = from.*(l.integer);
    else
        to.*(l.single) = from.*(l.single);
}

// Puts back the earlier value (else the default) of every line that would not
// read back.
void KeepReadableValues(Settings& s, const Settings& before)
{
    const Settings defaults;
    for (const Line& l : Lines()) {
        if (ReadsBack(l, s))
            continue;
        CopyValue(l, s, before);
        if (!ReadsBack(l, s))
            CopyValue(l, s, defaults);
    }
}

} // namespace

void CollectSettings()
{
    Settings& s = model::settings;
    const Settings before = s;
    s.SettingXYDimensions = EqualsNoCase(model::files.XYUnits, "in") ? "English" : "Metric";
    s.SettingZDisplacement = EqualsNoCase(model::files.ZUnits, "mils") ? "English" : "Metric";
    s.SettingImageFormat = model::files.ImageFileFormat;
    s.SettingDataFormat = model::files.DataFormatIndex == 2 ? "Text" : "Binary";
    s.SettingGraphFormat = model::files.GraphFormatIndex == 1 ? "BMP" : "JPG";
    if (gWindows)
        gWindows->GatherSettings(s);
    s.SettingPlotAltitude = SettingsElevation(s.SettingPlotAltitude);
    s.SettingPlotRotation = SettingsRotation(s.SettingPlotRotation);
    s.SettingBatchPlotAltitude = SettingsElevation(s.SettingBatchPlotAltitude);
    s.SettingBatchPlotRotation = SettingsRotation(s.SettingBatchPlotRotation);
    KeepReadableValues(s, before);
}

float GatherSampleSize(const std::string& text)
{
    double v = 0;
    if (!ParseNumber(text, &v) || !(v > 0))
        return 0.0f;
    double r = 0;
    ParseNumber(FormatNumber(v, "0.0"), &r);
    return static_cast<float>(r);
}

float GatherZLimit(const std::string& text, const std::string& zFormat)
{
    double v = 0;
    if (!ParseNumber(text, &v))
        return 9999.0f;
    if (zFormat.empty())
        return static_cast<float>(v);
    double r = 0;
    ParseNumber(FormatNumber(v, zFormat), &r);
    return static_cast<float>(r);
}

std::string ZLimitText(float value, const std::string& zFormat)
{
    if (value == 9999.0f)
        return std::string();
    return zFormat.empty() ? ShortText(value) : FormatNumber(value, zFormat);
}

int GratingPosition(int lpi)
{
    for (size_t i = 0; i < kGratings.size(); ++i)
        if (std::stoi(kGratings[i]) == lpi)
            return static_cast<int>(i);
    return -1;
}

int GratingLpi(int position)
{
    return position >= 0 && position < 6 ? std::stoi(kGratings[position]) : 0;
}

namespace {

// Position of a value in a list (case ignored), -1 when absent; and back.
int PositionIn(const std::vector<const char*>& list, const std::string& value)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (EqualsNoCase(value, list[i]))
            return static_cast<int>(i);
    return -1;
}

std::string NameAt(const std::vector<const char*>& list, int position)
{
    return position >= 0 && position < static_cast<int>(list.size()) ? list[position] : "";
}

} // namespace

int RotationPosition(const std::string& value) { return PositionIn(kRotations, value); }
std::string RotationName(int position) { return NameAt(kRotations, position); }
int ContourStylePosition(const std::string& value) { return PositionIn(kStyles, value); }
std::string ContourStyleName(int position) { return NameAt(kStyles, position); }

} // namespace core
