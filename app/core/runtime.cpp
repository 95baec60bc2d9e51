#include "app/core/runtime.h"

#include "platform/regular_file.h"
#include "platform/wildcard.h"

#include <algorithm>
#include <cctype>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace core {

double RoundHalfEven(double v)
{
    // nearbyint rounds in the current mode, which is to-nearest-even unless
    // someone changed it; make sure of it.
    const int mode = std::fegetround();
    if (mode != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(v);
    if (mode != FE_TONEAREST)
        std::fesetround(mode);
    return r;
}

bool RoundToRange(double v, int64_t lo, int64_t hi, int64_t* out)
{
    if (!std::isfinite(v))
        return false;
    const double r = RoundHalfEven(v);
    if (r < static_cast<double>(lo) || r > static_cast<double>(hi))
        return false;
    *out = static_cast<int64_t>(r);
    return true;
}

bool RoundToInt16(double v, int16_t* out)
{
    int64_t r = 0;
    if (!RoundToRange(v, -32768, 32767, &r))
        return false;
    *out = static_cast<int16_t>(r);
    return true;
}

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Scans a number at text[i..]; returns the end position, or npos when there is none.
size_t ScanNumber(const std::string& t, size_t i)
{
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    size_t digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
        ++i;
        ++digits;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::string::npos;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
        size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-'))
            ++j;
        size_t expDigits = 0;
        while (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) {
            ++j;
            ++expDigits;
        }
        if (expDigits > 0)
            i = j;
    }
    return i;
}

double ToDouble(std::string s)
{
    for (char& c : s)
        if (c == 'd' || c == 'D')
            c = 'E';
    return std::strtod(s.c_str(), nullptr);
}

} // namespace

bool ParseNumber(const std::string& text, double* out)
{
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    const std::string t = text.substr(b, e - b);
    const size_t end = ScanNumber(t, 0);
    if (end == std::string::npos || end != t.size())
        return false;
    // A trailing exponent letter without digits is not a number ("1E").
    const double v = ToDouble(t);
    if (!std::isfinite(v))
        return false;
    if (out)
        *out = v;
    return true;
}

bool IsNumeric(const std::string& text) { return ParseNumber(text, nullptr); }

double Val(const std::string& text)
{
    std::string t;
    for (char c : text)
        if (!IsBlank(c) && c != '\n' && c != '\r')
            t += c;
    const size_t end = ScanNumber(t, 0);
    if (end == std::string::npos)
        return 0.0;
    const double v = ToDouble(t.substr(0, end));
    return std::isfinite(v) ? v : 0.0;
}

namespace {

// Rounds |v| to `decimals` places, halves away from zero, working on its
// decimal text of `sig` significant digits. Returns the digits of the rounded
// value times 10^decimals (no leading zeros, "" for zero).
std::string RoundedDigits(double v, int sig, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", sig - 1, std::fabs(v));
    std::string digits;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (std::isdigit(static_cast<unsigned char>(*p)))
            digits += *p;
    const int exp10 = *p == 'e' ? std::atoi(p + 1) : 0;
    // digits[i] has the weight 10^(exp10 - i); keep those down to 10^-decimals.
    const int last = exp10 + decimals;   // index of the last kept digit
    std::string kept;
    for (int i = 0; i <= last; ++i)
        kept += i < static_cast<int>(digits.size()) ? digits[i] : '0';
    const int next = last + 1;
    const bool roundUp = next >= 0 && next < static_cast<int>(digits.size()) && digits[next] >= '5';
    if (roundUp) {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0 && kept[i] == '9') {
            kept[i] = '0';
            --i;
        }
        if (i >= 0)
            ++kept[i];
        else
            kept.insert(kept.begin(), '1');
    }
    const size_t nz = kept.find_first_not_of('0');
    return nz == std::string::npos ? std::string() : kept.substr(nz);
}

std::string FormatWithDigits(double value, const std::string& pattern, int sig)
{
    int decimals = 0;
    const size_t dot = pattern.find('.');
    if (dot != std::string::npos)
        decimals = static_cast<int>(pattern.size() - dot - 1);
    if (!std::isfinite(value))
        return std::isnan(value) ? "NaN" : (value < 0 ? "-Inf" : "Inf");
    std::string d = RoundedDigits(value, sig, decimals);
    const bool negative = value < 0 && !d.empty();
    while (static_cast<int>(d.size()) < decimals + 1)
        d.insert(d.begin(), '0');
    std::string out = negative ? "-" : "";
    out += d.substr(0, d.size() - decimals);
    if (decimals > 0)
        out += "." + d.substr(d.size() - decimals);
    return out;
}

} // namespace

std::string FormatNumber(double value, const std::string& pattern) { return FormatWithDigits(value, pattern, 15); }

std::string FormatNumber(float value, const std::string& pattern) { return FormatWithDigits(value, pattern, 7); }

std::string ShortText(float value)
{
    if (value == 0.0f)
        return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.7G", static_cast<double>(value));
    return buf;
}

std::string ExactText(float value)
{
    if (value == 0.0f || !std::isfinite(value))
        return ShortText(value);
    char buf[64];
    for (int digits = 7; digits <= 9; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*G", digits, static_cast<double>(value));
        if (std::strtof(buf, nullptr) == value)
            break;
    }
    return buf;
}

bool MatchesPattern(const std::string& name, const std::string& pattern)
{
    return platform::WildcardMatch(pattern, name);
}

std::string ToLower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool EqualsNoCase(const std::string& a, const std::string& b) { return ToLower(a) == ToLower(b); }

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool ContainsNoCase(const std::string& text, const std::string& part)
{
    return ToLower(text).find(ToLower(part)) != std::string::npos;
}

std::string TrimSpaces(const std::string& s)
{
    const size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return std::string();
    const size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

} // namespace core

#include "app/core/atomic_file.h"

#include <sys/stat.h>

namespace core {

bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error)
{
    AtomicFile f;
    if (f.open(path) && f.write(bytes) && f.commit())
        return true;
    if (error)
        *error = f.error();
    return false;
}

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace core
