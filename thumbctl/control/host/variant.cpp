// Conversions between automation values.
#include "thumbctl/control/host/variant.h"

#include <cerrno>
#include <cstdlib>

namespace host {

const char* VarTypeName(VarType t)
{
    switch (t) {
    case VarType::Empty: return "void";
    case VarType::Bool: return "boolean";
    case VarType::Short: return "short";
    case VarType::Long: return "long";
    case VarType::String: return "string";
    }
    return "?";
}

bool Variant::convertTo(VarType to, Variant* out, bool* overflow) const
{
    if (overflow) *overflow = false;
    if (type_ == to) {
        *out = *this;
        return true;
    }
    const bool numeric = type_ == VarType::Bool || type_ == VarType::Short || type_ == VarType::Long;
    int64_t n = i_;
    if (type_ == VarType::String) {
        if (to == VarType::String || s_.empty()) return false;
        errno = 0;
        char* end = nullptr;
        n = std::strtoll(s_.c_str(), &end, 10);
        if (*end != '\0' || errno != 0) return false;
    } else if (!numeric) {
        return false;
    }
    switch (to) {
    case VarType::Bool: *out = Variant::Bool(n != 0); return true;
    case VarType::Short:
        if (n < INT16_MIN || n > INT16_MAX) break;
        *out = Variant::Short(int16_t(n));
        return true;
    case VarType::Long:
        if (n < INT32_MIN || n > INT32_MAX) break;
        *out = Variant::Long(int32_t(n));
        return true;
    case VarType::String: *out = Variant::String(toText()); return true;
    case VarType::Empty: return false;
    }
    if (overflow) *overflow = true;
    return false;
}

std::string Variant::toText() const
{
    switch (type_) {
    case VarType::Empty: return "";
    case VarType::Bool: return i_ ? "True" : "False";
    case VarType::Short:
    case VarType::Long: return std::to_string(i_);
    case VarType::String: return s_;
    }
    return "";
}

} // namespace host
