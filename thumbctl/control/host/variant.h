#pragma once
// Values passed through the automation layer: empty, Boolean, 16-bit and
// 32-bit integers and UTF-8 text, with the conversions a caller may rely on.
#include <cstdint>
#include <string>

namespace host {

enum class VarType { Empty, Bool, Short, Long, String };

class Variant {
public:
    Variant() = default;
    static Variant Bool(bool v) { Variant x; x.type_ = VarType::Bool; x.i_ = v ? 1 : 0; return x; }
    static Variant Short(int16_t v) { Variant x; x.type_ = VarType::Short; x.i_ = v; return x; }
    static Variant Long(int32_t v) { Variant x; x.type_ = VarType::Long; x.i_ = v; return x; }
    static Variant String(std::string v) { Variant x; x.type_ = VarType::String; x.s_ = std::move(v); return x; }

    VarType type() const { return type_; }
    bool isEmpty() const { return type_ == VarType::Empty; }
    // Raw values; meaningful for the matching type only.
    int32_t integer() const { return i_; }
    bool boolean() const { return i_ != 0; }
    const std::string& text() const { return s_; }

    // Conversion to `to`; false (value unchanged) when the value does not fit
    // or the types do not convert. `overflow` tells the two apart.
    bool convertTo(VarType to, Variant* out, bool* overflow = nullptr) const;
    // Readable form for listings and the text form of property bags.
    std::string toText() const;

    bool operator==(const Variant& o) const { return type_ == o.type_ && i_ == o.i_ && s_ == o.s_; }
    bool operator!=(const Variant& o) const { return !(*this == o); }

private:
    VarType type_ = VarType::Empty;
    int32_t i_ = 0;
    std::string s_;
};

const char* VarTypeName(VarType t);

} // namespace host
