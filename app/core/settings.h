#pragma once
// The settings file "Sorvanta Settings.txt" in the utility folder: 37 fixed
// lines (label padded to 58 characters, value from column 59, CR LF), read
// once at start-up into model::settings, pushed into the windows, gathered
// back from them on exit and rewritten.
#include "app/core/model/model.h"

#include <string>

namespace core {

inline constexpr int kSettingsLines = 37;
inline constexpr int kSettingsLabelWidth = 58;
inline constexpr const char* kSettingsFileName = "Sorvanta Settings.txt";

// UtilityFolder()/"Sorvanta Settings.txt".
std::string SettingsFilePath();

// Label of a line (1..37) as the exit rewrite writes it; `defaultsFile` gives
// line 37's spelling in the file of defaults.
std::string SettingsLabel(int line, bool defaultsFile = false);

// The whole file text for these values (37 CR LF lines).
std::string SettingsFileText(const model::Settings& s, bool defaultsFile);

// Checks a file text line by line (CR LF or LF line ends). Returns 0 when all
// 37 values pass and fills *out; otherwise the number of the first bad or
// missing line and *out is untouched.
int ParseSettingsText(const std::string& text, model::Settings* out);

enum class SettingsReadResult { Read, Missing, Corrupted };

// Start-up reading into model::settings. A missing file gives the warning
// "Sorvanta Settings.txt is missing." CR "A new file with default settings will
// be created.", a bad one "... is corrupted." CR "..." (style 48, "Warning");
// either way the file of defaults is written and the defaults are in force.
SettingsReadResult ReadSettingsFile(const std::string& path);

// Writes the file of defaults (creating its folder when missing) and sets
// model::settings to the defaults.
bool WriteDefaultSettingsFile(const std::string& path);
// Rewrites the file from model::settings (exit).
bool SaveSettingsFile(const std::string& path);

// The windows side: the settings windows register one of these. Push puts the
// values into the controls (start-up), Gather reads them back (exit); the
// rules of each control are the windows' (helpers below).
class SettingsWindows {
public:
    virtual ~SettingsWindows() = default;
    virtual void PushSettings(const model::Settings& s) = 0;
    virtual void GatherSettings(model::Settings& s) = 0;
};
void SetSettingsWindows(SettingsWindows* windows);   // nullptr to unregister
SettingsWindows* CurrentSettingsWindows();

// Sets DataFormatIndex and GraphFormatIndex from the settings, then pushes the
// values into the registered windows.
void ApplySettingsToForms();
// Sets lines 1, 2, 3, 10 and 18 from the unit texts, ImageFileFormat,
// DataFormatIndex and GraphFormatIndex, then gathers the rest from the windows.
// The view angles are brought into the file's ranges; any other value the
// reader would refuse (or read back as another value) keeps the value it had
// before, so the file written from the result always reads back.
void CollectSettings();

// View angles as the settings file holds them: an elevation rounded and
// clamped to -90..90 (one above 180 read as its negative turn), a rotation
// rounded and, outside 0..360, brought into 0..359 (modulo 360). Non-finite
// input gives 0.
int16_t SettingsElevation(double degrees);
int16_t SettingsRotation(double degrees);

// Gathering rules of the text boxes: a sample width or height gives 0 when the
// text is not numeric or not above 0, else the number rounded to one decimal;
// a Z limit gives 9999 when not numeric, else the number rounded in `zFormat`.
float GatherSampleSize(const std::string& text);
float GatherZLimit(const std::string& text, const std::string& zFormat);
// Pushing rule of the Z limit boxes: "" for 9999, else the value formatted with
// zFormat (the plain number while zFormat is still empty).
std::string ZLimitText(float value, const std::string& zFormat);

// Positions of the lists: grating 50, 100, 200, 300, 500, 1000 -> 0..5;
// rotation None, LSF, 4Pt, 3Pt, LSF+, LSF- -> 0..5; contour style ColorFill,
// GrayFill, ColorLine, BlackLine -> 0..3. -1 for an unknown value (case ignored).
int GratingPosition(int lpi);
int GratingLpi(int position);            // 0 outside 0..5
int RotationPosition(const std::string& value);
std::string RotationName(int position);  // "" outside 0..5
int ContourStylePosition(const std::string& value);
std::string ContourStyleName(int position);

} // namespace core
