#pragma once
// The grating compensation table "GratingComp.txt" (utility folder) and the
// check made before any compensation: the grating must have parameters and the
// sample must fit inside its compensated area.
#include <cstdint>
#include <string>

namespace core {

inline constexpr const char* kGratingCompFileName = "GratingComp.txt";

// UtilityFolder()/"GratingComp.txt".
std::string GratingCompFilePath();

// Reads the numeric lines of the file, in order, into
// model::files.GratingCompTable (at most 48; other lines are skipped). A
// missing file leaves the table as it is. Returns the count of numbers read.
int LoadGratingCompTable(const std::string& path);

// grating: index 0..5; width and height: the sample size in inches. Returns ""
// when compensation may go ahead, else the message to show. The area is named
// in model::files.XYUnits ("2\" x 2\"" in inches, "50.8mm x 50.8mm" otherwise).
std::string CheckCompensationArea(uint8_t grating, float width, float height);

} // namespace core
