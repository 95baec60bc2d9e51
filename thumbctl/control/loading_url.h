#pragma once
// Where the thumbnail list reads from: a local path, a file: URL (read
// locally) or another URL, fetched whole into a global-memory block by a
// request on a helper thread, bounded in time and size.
#include "thumbctl/kernel/ipi_memory.h"

#include <cstdint>
#include <functional>
#include <string>

namespace thumbctl {

// One deadline for the whole of a fetch, however the data trickles in.
inline constexpr int kUrlDeadlineMs = 20000;
// Largest body a fetch takes; a longer one is refused.
inline constexpr int64_t kUrlMaxBytes = int64_t(256) << 20;

// Local path of a location and whether it is remote. Text without a URL
// scheme is a path as it stands; a file: URL becomes its decoded local path;
// any other URL is remote (the path is the text itself).
bool ResolvePath(const std::string& location, std::string* localPath);

struct FetchLimits {
    int deadlineMs = kUrlDeadlineMs;
    int64_t maxBytes = kUrlMaxBytes;
    // Asked while the fetch waits; true ends it with 1110. When given and the
    // caller is the application's thread, the caller's events are processed
    // while it waits (windows repaint, a cancel button can be pressed): the
    // caller must be ready for what those events do.
    std::function<bool()> cancelled;
};

// Reads a URL whole. Returns 0 with the block (caller frees) and its size, or
// a list error: 1110 cancelled, 2110 not found, 2112 bad address or unknown
// host, 2120 any other failure (deadline passed, body longer than the cap,
// short read, refused connection, no application object in the program),
// 9000 no memory.
int FetchUrl(const std::string& url, IPIHANDLE* handle, int64_t* size, const FetchLimits& limits);
inline int FetchUrl(const std::string& url, IPIHANDLE* handle, int64_t* size, int deadlineMs = kUrlDeadlineMs)
{
    FetchLimits limits;
    limits.deadlineMs = deadlineMs;
    return FetchUrl(url, handle, size, limits);
}

} // namespace thumbctl
