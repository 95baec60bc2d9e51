#pragma once
// The release manifest: the build writes "release.manifest" into the release
// folder, one line per file, "<sha256> <size> <name>". Before the upgrade
// changes anything, every file it lists is checked against it, so a
// truncated, empty or wrong file is refused instead of installed.
#include <string>
#include <vector>

namespace upgrade {

inline constexpr const char* kManifestFile = "release.manifest";

// Checks the release folder: the manifest is there and well formed, lists
// every name of `required`, and every file it lists has its size and
// SHA-256. Returns "" when the release is whole, else a sentence naming the
// first file that is missing or damaged.
std::string CheckRelease(const std::string& releaseFolder, const std::vector<std::string>& required);

} // namespace upgrade
