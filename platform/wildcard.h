#pragma once
// File-name wildcards: '*' matches any run of characters (also none), '?'
// exactly one character. Matching ignores letter case unless told otherwise,
// as file patterns such as "*.tif" or "*Phase.tif" are meant to.
#include <string>
#include <vector>

namespace platform {

enum class LetterCase { Ignore, Respect };

// True when the whole of name matches pattern (ignoring case by default).
bool WildcardMatch(const std::string& pattern, const std::string& name, LetterCase letterCase = LetterCase::Ignore);

// Splits a ";"-separated list of patterns ("*.tif;*.bmp"), dropping blanks
// and surrounding spaces.
std::vector<std::string> SplitPatterns(const std::string& patterns);

// True when name matches any pattern of a ";"-separated list.
bool MatchesAnyPattern(const std::string& patterns, const std::string& name);

} // namespace platform
