#pragma once
// The header text of a phase image (the TIFF private tag): maker line
// "Calverdine...", a count line "...: N", field lines 3..N and an end line
// beginning "\\EndHeader". Field 9 holds the fringe value in mils.
#include <string>
#include <vector>

namespace core {

inline constexpr const char* kHeaderMaker = "Calverdine";
inline constexpr const char* kHeaderEnd = "\\\\EndHeader";   // two backslashes
inline constexpr size_t kMaxHeaderLength = 32767;
// What ParseImageHeader shows for a header it cannot read whole.
inline constexpr const char* kHeaderReadError = "Error reading header information";

// Fringe values (mils per fringe) the analysis accepts, wherever they are read
// (image header, FringeValue.txt): finite, from kMinFringeValue to kMaxFringeValue.
inline constexpr double kMinFringeValue = 0.0001;
inline constexpr double kMaxFringeValue = 1000.0;
bool UsableFringeValue(double mils);
// The sentence that states that rule to the user.
std::string FringeValueRule();

// True when the text begins with the maker tag (case ignored).
bool HasMakerHeader(const std::string& headerText);

// The header text split into its fields, without messages or shared state.
struct HeaderParse {
    enum Result { Whole, EndLineMissing, Broken };
    Result result = Broken;
    bool haveFields = false;           // the fields were rebuilt (maybe only in part)
    std::vector<std::string> fields;   // fields 1..N at positions 0..N-1
    float fringeValue = 0;             // field 9; 0 when broken
};
HeaderParse ParseHeaderText(const std::string& headerText);

// Splits model::files.ImageHeaderText into model::files.HeaderFields and sets
// model::state.HeaderFringeValue from field 9. Line ends CR LF or LF.
// A missing or misplaced end line shows "Error reading header information"
// (OK, application title) and still counts as a header (returns true).
// A text that breaks the structure (count below 9 or not a number, the text
// ending before the count is reached, a fringe value that is not a number, a
// text longer than 32,767 characters, a fringe value too large for a float)
// shows the same message, sets the fringe
// value to 0 and returns false: the image counts as having no header.
bool ParseImageHeader();

} // namespace core
