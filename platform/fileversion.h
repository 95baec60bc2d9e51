#pragma once
// File versions of our own binaries, for the start-up check and the upgrade.
#include <string>

namespace platform {

// File version "a.b.c.d" of one of our binaries, read from its embedded
// version marker without loading it; "" when the file has none or cannot be
// read, and at once for anything but a regular file (a pipe is never waited on).
std::string FileVersionOf(const std::string& path);

} // namespace platform
