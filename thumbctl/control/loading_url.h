#pragma once
// Where the thumbnail list reads from: a local path, a file: URL (read
// locally) or another URL, fetched whole into a global-memory block by a
// blocking request with a time-out on a helper thread.
#include "thumbctl/kernel/ipi_memory.h"

#include <string>

namespace thumbctl {

// Local path of a location and whether it is remote. Text without a URL
// scheme is a path as it stands; a file: URL becomes its decoded local path;
// any other URL is remote (the path is the text itself).
bool ResolvePath(const std::string& location, std::string* localPath);

// Reads a URL whole. Returns 0 with the block (caller frees) and its size, or
// a list error: 2110 not found, 2112 bad address or unknown host, 2120 any
// other failure (time-out, short read, refused connection, no application
// object in the program), 9000 no memory.
int FetchUrl(const std::string& url, IPIHANDLE* handle, int64_t* size, int timeoutMs = 20000);

} // namespace thumbctl
