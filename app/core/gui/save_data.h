#pragma once
// The Save Data File command's dialog filters and its safe write.
#include <string>

namespace gui {

// Filter index 1: binary ("*_ab.bin" / "*_rel.bin"), 2: text (".dat").
std::string DataFileFilter(bool relative);

// Writes the current displacement to `path` (text or binary) through a
// temporary file in the same folder that is renamed into place. False when the
// file could not be written; nothing is left behind then and an existing file
// of that name is untouched.
bool WriteDataFileSafely(const std::string& path, bool text);

} // namespace gui
