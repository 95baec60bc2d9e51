#pragma once
#include <string>

namespace platform {

// File version "a.b.c.d" of one of our binaries, read from its embedded
// version marker without loading it; "" when the file has none or cannot be read.
std::string FileVersionOf(const std::string& path);

} // namespace platform
