#include "platform/wildcard.h"

#include <cctype>

namespace platform {

namespace {

char Fold(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name, LetterCase letterCase)
{
    const bool ignoreCase = letterCase == LetterCase::Ignore;
    auto same = [ignoreCase](char a, char b) { return ignoreCase ? Fold(a) == Fold(b) : a == b; };
    // Iterative match with back-tracking to the last '*': linear in practice,
    // never exponential.
    size_t p = 0, n = 0;
    size_t starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<std::string> SplitPatterns(const std::string& patterns)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find(';', start);
        if (end == std::string::npos) end = patterns.size();
        std::string piece = patterns.substr(start, end - start);
        const size_t first = piece.find_first_not_of(" \t");
        const size_t last = piece.find_last_not_of(" \t");
        if (first != std::string::npos) out.push_back(piece.substr(first, last - first + 1));
        start = end + 1;
    }
    return out;
}

bool MatchesAnyPattern(const std::string& patterns, const std::string& name)
{
    for (const auto& p : SplitPatterns(patterns))
        if (WildcardMatch(p, name)) return true;
    return false;
}

} // namespace platform
