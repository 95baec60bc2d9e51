#pragma once
// File naming of the Save Data File command: the dialog's filters, the check of
// the chosen name against the chosen filter and the "_ab"/"_rel" suffix rule.
#include <string>

namespace gui {

// Filter index 1: binary (".bin"), 2: text (".dat").
std::string DataFileFilter(bool relative);
// True when the path carries the filter's extension (letter case ignored).
bool DataNameFitsFilter(const std::string& path, int filterIndex);
// The name actually written: the last four characters are replaced by
// "_ab.dat", "_rel.dat", "_ab.bin" or "_rel.bin" unless the name already ends
// so (letter case ignored).
std::string SuffixedDataName(const std::string& path, int filterIndex, bool relative);

// Writes the current Displacement as a data file (text for filter index 2,
// else binary) through a temporary file renamed into place. False when the
// file could not be written; nothing is left behind then.
bool WriteDisplacementFile(const std::string& path, int filterIndex, bool mils);

} // namespace gui
