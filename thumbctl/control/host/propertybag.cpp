// Property bag storage and its text form.
#include "thumbctl/control/host/propertybag.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "thumbctl/control/host/typeinfo.h"

namespace host {

void PropertyBag::write(const std::string& name, const Variant& value)
{
    for (auto& e : entries_)
        if (SameNameNoCase(e.first, name)) {
            e.second = value;
            return;
        }
    entries_.emplace_back(name, value);
}

bool PropertyBag::read(const std::string& name, Variant* value) const
{
    for (const auto& e : entries_)
        if (SameNameNoCase(e.first, name)) {
            if (value) *value = e.second;
            return true;
        }
    return false;
}

bool PropertyBag::contains(const std::string& name) const { return read(name, nullptr); }

namespace {

std::string Quote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

bool Unquote(const std::string& s, std::string* out)
{
    if (s.size() < 2 || s.front() != '"' || s.back() != '"') return false;
    out->clear();
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        char c = s[i];
        if (c == '\\') {
            if (i + 2 >= s.size()) return false;
            c = s[++i];
            if (c == 'n') c = '\n';
            else if (c != '"' && c != '\\') return false;
        } else if (c == '"') {
            return false;
        }
        *out += c;
    }
    return true;
}

bool ParseInt(const std::string& s, long long lo, long long hi, int32_t* out)
{
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || v < lo || v > hi) return false;
    *out = int32_t(v);
    return true;
}

} // namespace

std::string PropertyBag::toText() const
{
    std::ostringstream out;
    for (const auto& e : entries_) {
        const Variant& v = e.second;
        out << e.first << " = " << VarTypeName(v.type());
        if (v.type() == VarType::String) out << " " << Quote(v.text());
        else if (v.type() != VarType::Empty) out << " " << v.integer();
        out << "\n";
    }
    return out.str();
}

bool PropertyBag::fromText(const std::string& text, std::string* error)
{
    std::vector<std::pair<std::string, Variant>> parsed;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const size_t eq = line.find(" = ");
        bool ok = eq != std::string::npos && eq > 0;
        Variant v;
        std::string name;
        if (ok) {
            name = line.substr(0, eq);
            const std::string rest = line.substr(eq + 3);
            const size_t sp = rest.find(' ');
            const std::string type = rest.substr(0, sp);
            const std::string value = sp == std::string::npos ? "" : rest.substr(sp + 1);
            int32_t n = 0;
            std::string s;
            if (type == "void" && sp == std::string::npos) v = Variant();
            else if (type == "boolean" && ParseInt(value, 0, 1, &n)) v = Variant::Bool(n != 0);
            else if (type == "short" && ParseInt(value, INT16_MIN, INT16_MAX, &n)) v = Variant::Short(int16_t(n));
            else if (type == "long" && ParseInt(value, INT32_MIN, INT32_MAX, &n)) v = Variant::Long(n);
            else if (type == "string" && Unquote(value, &s)) v = Variant::String(s);
            else ok = false;
        }
        if (!ok) {
            if (error) *error = "line " + std::to_string(number) + ": " + line;
            return false;
        }
        parsed.emplace_back(name, v);
    }
    entries_ = std::move(parsed);
    return true;
}

} // namespace host
