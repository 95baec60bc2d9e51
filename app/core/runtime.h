#pragma once
// Number and text rules shared by every part of the program: rounding to whole
// numbers, the number check and leading-number reading of typed texts, number
// formatting with fixed patterns, the short text of a float, and
// case-insensitive wildcard matching of file names.
#include <cstdint>
#include <string>

namespace core {

// Nearest whole number, halves to the even one (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
double RoundHalfEven(double v);
// RoundHalfEven as an integer; false when the result lies outside [lo, hi]
// (or v is not finite), *out untouched then.
bool RoundToRange(double v, int64_t lo, int64_t hi, int64_t* out);
// 16-bit conversion of the settings and list positions: false outside -32768..32767.
bool RoundToInt16(double v, int16_t* out);

// True when the whole text (surrounding blanks allowed) is one decimal number:
// optional sign, digits with at most one '.', at least one digit, optional
// exponent (E or D). "", ".", "-", "1.2.3", "12abc" are not numeric.
bool IsNumeric(const std::string& text);
// The number of a numeric text (see IsNumeric); false otherwise.
bool ParseNumber(const std::string& text, double* out);
// Reads the leading number of a text and ignores the rest; blanks are skipped
// everywhere; 0 when there is no leading number ("12abc" -> 12, "abc" -> 0,
// " 1 2" -> 12).
double Val(const std::string& text);

// Formats with one of the patterns "0", "0.0", "0.00", "0.000" ... (a '0'
// followed optionally by '.' and zeros): that many decimals, halves away from
// zero on the value's decimal text (0.05 -> "0.1" with "0.0"). A result that
// rounds to zero carries no minus sign.
std::string FormatNumber(double value, const std::string& pattern);
// A float is rounded from its shortest 7-digit text (2.675f -> "2.68").
std::string FormatNumber(float value, const std::string& pattern);

// Short text of a float: up to 7 significant digits, no trailing zeros, no
// trailing point ("2.5", "9999", "0.1", "1.234568E+07").
std::string ShortText(float value);
// The shortest text in ShortText's style that reads back as the same float
// (up to 9 significant digits): a value refused for lying just outside a
// bound shows why ("1000.0001", where ShortText gives "1000").
std::string ExactText(float value);

// Case-insensitive wildcard match of a whole name (platform::WildcardMatch): '*' any run of characters,
// '?' one character ("A_PH.TIF" matches "*_ph.tif").
bool MatchesPattern(const std::string& name, const std::string& pattern);

bool EqualsNoCase(const std::string& a, const std::string& b);
bool StartsWithNoCase(const std::string& text, const std::string& prefix);
bool ContainsNoCase(const std::string& text, const std::string& part);
std::string ToLower(std::string s);
// Removes leading and trailing blanks (spaces only, as the settings reader does).
std::string TrimSpaces(const std::string& s);

} // namespace core

namespace core {

// Writes a whole file through a temporary file in the same folder that is
// renamed into place (core::AtomicFile, with its rules for links and
// read-only files), so a failed write never leaves a half-written file: a full
// disk or a file-size limit cancels the write and keeps the old file. Returns
// false (and the reason in *error) when it cannot.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string* error = nullptr);

// True when the path names a regular file (not a folder, pipe or device).
bool IsRegularFile(const std::string& path);

} // namespace core
