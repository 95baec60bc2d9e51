// The command-line parser and value readers every tool shares (args.h).
#include "tools/cli/args.h"

#include "platform/regular_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace cli {

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Digits only, after at most one sign: strtol would take blanks and more.
bool LooksInteger(const std::string& t)
{
    size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
    if (i == t.size()) return false;
    for (; i < t.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(t[i]))) return false;
    return true;
}

// A decimal number: sign, digits, one point, an exponent with digits; no
// blanks, no hexadecimal, no "inf" or "nan" (strtod takes all of those).
bool LooksDecimal(const std::string& t)
{
    size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    size_t digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
        size_t exp = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++exp;
        if (exp == 0) return false;
    }
    return i == t.size();
}

std::string Lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

std::string ReadInteger(const std::string& name, const std::string& text, long min, long max, long* out)
{
    const std::string why =
        name + " needs a whole number from " + std::to_string(min) + " to " + std::to_string(max) + ", not " + Quoted(text);
    if (!LooksInteger(text)) return why;
    errno = 0;
    const long v = std::strtol(text.c_str(), nullptr, 10);
    if (errno == ERANGE || v < min || v > max) return why;
    *out = v;
    return "";
}

std::string ReadNumber(const std::string& name, const std::string& text, double* out)
{
    if (!LooksDecimal(text)) return name + " needs a number, not " + Quoted(text);
    const double v = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(v)) return name + " needs a number within the range of numbers, not " + Quoted(text);
    *out = v;
    return "";
}

std::string ReadPositiveNumber(const std::string& name, const std::string& text, double* out)
{
    double v = 0;
    if (!ReadNumber(name, text, &v).empty() || !(v > 0)) return name + " needs a number above 0, not " + Quoted(text);
    *out = v;
    return "";
}

std::string ReadSize(const std::string& name, const std::string& text, int min, int max, int* cols, int* rows)
{
    const std::string why = name + " needs COLSxROWS, each a whole number from " + std::to_string(min) + " to " +
                            std::to_string(max) + ", not " + Quoted(text);
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return why;
    long c = 0, r = 0;
    const std::string left = text.substr(0, x), right = text.substr(x + 1);
    // Digits only on each side: no sign, no blank.
    if (left.empty() || right.empty() || !std::isdigit(static_cast<unsigned char>(left[0])) ||
        !std::isdigit(static_cast<unsigned char>(right[0])) || !ReadInteger(name, left, min, max, &c).empty() ||
        !ReadInteger(name, right, min, max, &r).empty())
        return why;
    *cols = int(c);
    *rows = int(r);
    return "";
}

std::string ReadChoice(const std::string& name, const std::string& text, const std::vector<std::string>& choices,
                       std::string* out)
{
    std::string list;
    for (size_t i = 0; i < choices.size(); ++i) {
        if (Lower(text) == Lower(choices[i])) {
            *out = choices[i];
            return "";
        }
        list += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
    }
    return name + " must be " + list + ", not " + Quoted(text);
}

std::string ReadOnOff(const std::string& name, const std::string& text, bool* out)
{
    std::string v;
    const std::string why = ReadChoice(name, text, {"on", "off"}, &v);
    if (why.empty()) *out = v == "on";
    return why;
}

std::string ReadPath(const std::string& name, const std::string& text)
{
    if (text.empty()) return name + " needs a file or folder name, not an empty one";
    const std::string limit = platform::PathLimitText(text);
    return limit.empty() ? "" : name + ": " + limit;
}

Parser::Parser(std::string tool, std::string usage, int badStatus)
    : tool_(std::move(tool)), usage_(std::move(usage)), badStatus_(badStatus)
{
}

Parser& Parser::flag(const std::string& name, bool* seen)
{
    options_.push_back({name, false, nullptr, seen});
    return *this;
}

Parser& Parser::option(const std::string& name, Reader read)
{
    options_.push_back({name, true, std::move(read), nullptr});
    return *this;
}

Parser& Parser::text(const std::string& name, std::string* out)
{
    return option(name, [out](const std::string& v) {
        *out = v;
        return std::string();
    });
}

Parser& Parser::path(const std::string& name, std::string* out)
{
    return option(name, [name, out](const std::string& v) {
        const std::string why = ReadPath(name, v);
        if (why.empty()) *out = v;
        return why;
    });
}

Parser& Parser::paths(const std::string& name, std::vector<std::string>* out)
{
    return option(name, [name, out](const std::string& v) {
        const std::string why = ReadPath(name, v);
        if (why.empty()) out->push_back(v);
        return why;
    });
}

Parser& Parser::integer(const std::string& name, int* out, int min, int max)
{
    return option(name, [=](const std::string& v) {
        long n = 0;
        const std::string why = ReadInteger(name, v, min, max, &n);
        if (why.empty()) *out = int(n);
        return why;
    });
}

Parser& Parser::number(const std::string& name, std::string* text)
{
    return option(name, [name, text](const std::string& v) {
        double n = 0;
        const std::string why = ReadNumber(name, v, &n);
        if (why.empty()) *text = v;
        return why;
    });
}

Parser& Parser::positiveNumber(const std::string& name, std::string* text)
{
    return option(name, [name, text](const std::string& v) {
        double n = 0;
        const std::string why = ReadPositiveNumber(name, v, &n);
        if (why.empty()) *text = v;
        return why;
    });
}

Parser& Parser::choice(const std::string& name, std::string* out, std::vector<std::string> choices)
{
    return option(name, [name, out, choices](const std::string& v) { return ReadChoice(name, v, choices, out); });
}

Parser& Parser::onOff(const std::string& name, std::optional<bool>* out)
{
    return option(name, [name, out](const std::string& v) {
        bool on = false;
        const std::string why = ReadOnOff(name, v, &on);
        if (why.empty()) *out = on;
        return why;
    });
}

Parser& Parser::size(const std::string& name, int* cols, int* rows, int min, int max)
{
    return option(name, [=](const std::string& v) { return ReadSize(name, v, min, max, cols, rows); });
}

Parser::Outcome Parser::read(int argc, char** argv, std::vector<std::string>* operands, std::string* why,
                             int first) const
{
    why->clear();
    bool operandsOnly = false;
    for (int i = first; i < argc; ++i) {
        const std::string a = argv[i];
        if (operandsOnly || !IsOption(a)) {
            operands->push_back(a);
            continue;
        }
        if (a == "--") {
            operandsOnly = true;
            continue;
        }
        if (IsHelp(a)) return Outcome::Help;
        const Option* found = nullptr;
        for (const Option& o : options_)
            if (!found && o.name == a) found = &o;
        if (!found) {
            *why = "unknown option " + a;
            return Outcome::Bad;
        }
        if (!found->takesValue) {
            if (found->seen) *found->seen = true;
            continue;
        }
        if (i + 1 >= argc) {
            *why = a + " needs a value";
            return Outcome::Bad;
        }
        *why = found->read(argv[++i]);
        if (!why->empty()) return Outcome::Bad;
    }
    return Outcome::Go;
}

int Parser::parse(int argc, char** argv, std::vector<std::string>* operands, int first) const
{
    std::string why;
    switch (read(argc, argv, operands, &why, first)) {
    case Outcome::Help: return usage("");
    case Outcome::Bad: return usage(why);
    case Outcome::Go: break;
    }
    return -1;
}

int Parser::usage(const std::string& why) const { return Usage(tool_.c_str(), why, usage_, badStatus_); }

} // namespace cli
