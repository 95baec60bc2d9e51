#pragma once
// Opening and reading files that must be regular files of bounded size. The
// open never waits (a pipe without a writer, a device), the checks are made
// on the opened descriptor (a name swapped between a check and the open
// changes nothing), and nothing is read beyond the bound. The layer below
// the program and the tools, usable where the analysis core is not.
#include <cstdint>
#include <string>

namespace platform {

// Opens `path` for reading. The descriptor (blocking again) when it is a
// regular file of at most maxBytes (-1: any size), its size in *size; else
// -1 with the reason, naming the path, in *error ("not a regular file",
// "larger than N bytes", or the system's error text).
int OpenRegularFile(const std::string& path, int64_t* size, std::string* error, int64_t maxBytes = -1);

// Reads a whole regular file of at most maxBytes into *bytes. False with the
// reason in *error as above (also for a read error or a file cut short).
bool ReadRegularFile(const std::string& path, int64_t maxBytes, std::string* bytes, std::string* error);

} // namespace platform
