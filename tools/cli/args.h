#pragma once
// The one command-line parser of every tool of the project: options with and
// without a value anywhere before "--", operands collected in order, and each
// value read whole and checked in range by the reader of its kind (a number,
// a whole number, a size WxH, a choice, on/off, a path within the system's
// limits) when the command line is read. A value a tool cannot take is named
// with the usage text on standard error, status 2 (or the tool's own).
#include "tools/cli/usage.h"

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// Readers of one kind of value each: "" when `text` is taken (*out set), else
// the sentence saying why not, naming `name` (the option or operand).
std::string ReadInteger(const std::string& name, const std::string& text, long min, long max, long* out);
std::string ReadNumber(const std::string& name, const std::string& text, double* out);
std::string ReadPositiveNumber(const std::string& name, const std::string& text, double* out);
// COLSxROWS, each side from min to max.
std::string ReadSize(const std::string& name, const std::string& text, int min, int max, int* cols, int* rows);
// One of `choices` (any case); *out is the choice as listed.
std::string ReadChoice(const std::string& name, const std::string& text, const std::vector<std::string>& choices,
                       std::string* out);
std::string ReadOnOff(const std::string& name, const std::string& text, bool* out);
// A file or folder name: not empty, and within the system's path and name
// limits (the limit named).
std::string ReadPath(const std::string& name, const std::string& text);

class Parser {
public:
    // badStatus: the status of a command line the tool cannot take.
    Parser(std::string tool, std::string usage, int badStatus = kBadUsage);

    // Reads an option's value: "" when taken, else why not.
    using Reader = std::function<std::string(const std::string& value)>;

    // An option without a value.
    Parser& flag(const std::string& name, bool* seen);
    // An option with a value, read by `read`.
    Parser& option(const std::string& name, Reader read);
    // The kinds every tool shares.
    Parser& text(const std::string& name, std::string* out);
    Parser& path(const std::string& name, std::string* out);
    Parser& paths(const std::string& name, std::vector<std::string>* out);
    Parser& integer(const std::string& name, int* out, int min, int max);
    // A number (or one above 0) kept as the text given, as the program's
    // boxes keep the values typed into them.
    Parser& number(const std::string& name, std::string* text);
    Parser& positiveNumber(const std::string& name, std::string* text);
    Parser& choice(const std::string& name, std::string* out, std::vector<std::string> choices);
    Parser& onOff(const std::string& name, std::optional<bool>* out);
    Parser& size(const std::string& name, int* cols, int* rows, int min, int max);

    // Reads argv[first] on: -h/--help asks for the usage, an unknown option,
    // a missing value or a value its reader refuses is named in *why; every
    // other argument, and every one after "--", is an operand. A name given
    // to two options is the first one's.
    enum class Outcome { Go, Help, Bad };
    Outcome read(int argc, char** argv, std::vector<std::string>* operands, std::string* why, int first = 1) const;
    // As read(), with the usage printed for help (status 0) and for a bad
    // command line (the bad status); -1 when the tool goes on.
    int parse(int argc, char** argv, std::vector<std::string>* operands, int first = 1) const;

    // The usage: on standard output with status 0 when `why` is empty, else
    // "tool: why" and the usage on standard error with the bad status.
    int usage(const std::string& why) const;
    // As usage(why) when `why` is not empty; -1 otherwise (for chaining checks).
    int refuse(const std::string& why) const { return why.empty() ? -1 : usage(why); }

private:
    struct Option {
        std::string name;
        bool takesValue;
        Reader read;
        bool* seen;
    };
    std::string tool_, usage_;
    int badStatus_;
    std::vector<Option> options_;
};

} // namespace cli
