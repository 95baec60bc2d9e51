#pragma once
// Names of partition domains: the characters a file name cannot hold, the
// automatic names and the text a domain list shows for a stored name.
#include <string>

namespace editor {

// The nine characters refused in a domain name, in the order the message
// lists them: \ / : * ? " < > |
inline constexpr const char* kRefusedNameCharacters = "\\/:*?\"<>|";

// True when the text holds at least one refused character ("" gives false).
bool IllegalFilenameCharacterCheck(const std::string& text);

// "Domain " and n with at least three digits: 1 -> "Domain 001", 123 -> "Domain 123".
std::string AutomaticDomainName(int n);

// The message shown for a name with a refused character.
std::string IllegalDomainNameMessage();

// The message shown for a name holding ".." or a control character.
std::string UnsafeDomainNameMessage();

// True when a stored name is a number (a name read from a partition file that
// looks like a number is kept as that number).
bool IsNumericName(const std::string& name);

// The entry of the domain lists for row `index` of a loaded partition: the
// name, or "Domain " and index + 1 in plain decimal when the name is numeric.
std::string DomainListEntry(int index, const std::string& name);

// True when a name can safely become part of a file name: not empty, no
// refused character, no "..", no control character.
bool IsSafeDomainName(const std::string& name);

} // namespace editor
