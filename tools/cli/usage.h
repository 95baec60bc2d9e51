#pragma once
// How every command-line tool of the project answers -h/--help and a bad
// command line: help goes to standard output with status 0; a bad option,
// value or operand is named on standard error beside the usage, status 2.
#include <cstdio>
#include <string>

namespace cli {

// The exit status of a command line a tool cannot take.
constexpr int kBadUsage = 2;

inline bool IsHelp(const std::string& arg) { return arg == "-h" || arg == "--help"; }

// An argument that looks like an option ("-x", "--name"). A lone "-" is an
// operand; "--" ends the options (the caller takes what follows as operands).
inline bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// Prints the usage text. With `why` empty the user asked for it: standard
// output, status 0. Otherwise "tool: why" and the usage on standard error,
// status badStatus (a tool whose status 2 says something else passes its own).
// Returns the status to exit with.
inline int Usage(const char* tool, const std::string& why, const std::string& usage, int badStatus = kBadUsage)
{
    if (why.empty()) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    std::fprintf(stderr, "%s: %s\n", tool, why.c_str());
    std::fputs(usage.c_str(), stderr);
    return badStatus;
}

} // namespace cli
