#pragma once
// The Save Data File command's dialog filters. The data file itself is
// written by core::WriteDisplacementFile (through a temporary name).
#include <string>

namespace gui {

// Filter index 1: binary ("*_ab.bin" / "*_rel.bin"), 2: text (".dat").
std::string DataFileFilter(bool relative);

} // namespace gui
