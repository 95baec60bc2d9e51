#include "app/editor/core/domain_names.h"

#include "app/core/runtime.h"

#include <cstdio>

namespace editor {

bool IllegalFilenameCharacterCheck(const std::string& text)
{
    for (const char* c = kRefusedNameCharacters; *c; ++c)
        if (text.find(*c) != std::string::npos) return true;
    return false;
}

std::string AutomaticDomainName(int n)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "Domain %03d", n);
    return buf;
}

std::string IllegalDomainNameMessage()
{
    return std::string("A Domain Name cannot contain any of the following characters:") + "\r\r" +
           "\\ / : * ? \" < > |" + "\r\r" + "Enter a valid Domain Name.";
}

std::string UnsafeDomainNameMessage()
{
    return std::string("A Domain Name cannot contain \"..\" or control characters.") + "\r\r" +
           "Enter a valid Domain Name.";
}

bool IsNumericName(const std::string& name) { return core::IsNumeric(name); }

std::string DomainListEntry(int index, const std::string& name)
{
    if (IsNumericName(name)) return "Domain " + std::to_string(index + 1);
    return name;
}

bool IsSafeDomainName(const std::string& name)
{
    if (name.empty() || IllegalFilenameCharacterCheck(name)) return false;
    if (name.find("..") != std::string::npos) return false;
    for (unsigned char c : name)
        if (c < 32 || c == 127) return false;
    return true;
}

} // namespace editor
