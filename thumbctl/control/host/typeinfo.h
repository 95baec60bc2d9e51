#pragma once
// Description of an automation object: its members with their dispatch ids,
// kinds and parameter types, its events and the enumerations of its type
// library. The dispatch layer resolves names and checks calls against it;
// tools print it as a listing.
#include <cstdint>
#include <string>
#include <vector>

#include "thumbctl/control/host/variant.h"

namespace host {

// Standard dispatch ids of stock members.
constexpr int32_t kDispIdAppearance = -520;
constexpr int32_t kDispIdBackColor = -501;
constexpr int32_t kDispIdBorderStyle = -504;
constexpr int32_t kDispIdFont = -512;
constexpr int32_t kDispIdRefresh = -550;
constexpr int32_t kDispIdAboutBox = -552;
constexpr int32_t kDispIdClick = -600;
constexpr int32_t kDispIdDblClick = -601;
constexpr int32_t kDispIdKeyDown = -602;
constexpr int32_t kDispIdKeyPress = -603;
constexpr int32_t kDispIdKeyUp = -604;
constexpr int32_t kDispIdMouseDown = -605;
constexpr int32_t kDispIdMouseMove = -606;
constexpr int32_t kDispIdMouseUp = -607;

enum class MemberKind { Property, Method };

// Bits of MemberInfo::flags.
enum MemberFlag : unsigned {
    kReadOnly = 1,     // a put is refused (kCtlSetNotSupported)
    kRunTimeOnly = 2,  // refused while the container is in design mode
    kStock = 4,        // a stock member with a standard id
};

struct ParamInfo {
    std::string name;
    VarType type;
};

struct MemberInfo {
    int32_t id;
    std::string name;
    MemberKind kind;
    VarType type;                  // property type, or the method's result (Empty: none)
    std::vector<ParamInfo> params; // index parameters of a property, arguments of a method
    unsigned flags = 0;
    std::string help;
};

struct EnumMember {
    std::string name;
    int32_t value;
    std::string help;
};

struct EnumInfo {
    std::string name;
    std::vector<EnumMember> members;
};

struct InterfaceInfo {
    std::string name;
    std::string iid;
    std::string help;
    std::vector<MemberInfo> members;
};

struct TypeLibInfo {
    std::string name;
    std::string libId;
    int major = 1, minor = 0;
    std::vector<InterfaceInfo> interfaces;  // dispatch interface first, then events
    std::vector<EnumInfo> enums;

    // Member by name (case-insensitive) or by id; null when absent.
    const MemberInfo* findMember(const InterfaceInfo& itf, const std::string& name) const;
    const MemberInfo* findMember(const InterfaceInfo& itf, int32_t id) const;
    // The listing printed by tools: interfaces, members with ids and
    // signatures, enumerations with values.
    std::string listing() const;
};

// ASCII case-insensitive equality, as member names are matched.
bool SameNameNoCase(const std::string& a, const std::string& b);

} // namespace host
