// Member lookup and the printed listing of a type library.
#include "thumbctl/control/host/typeinfo.h"

#include <cctype>
#include <sstream>

namespace host {

bool SameNameNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const MemberInfo* TypeLibInfo::findMember(const InterfaceInfo& itf, const std::string& name) const
{
    for (const MemberInfo& m : itf.members)
        if (SameNameNoCase(m.name, name)) return &m;
    return nullptr;
}

const MemberInfo* TypeLibInfo::findMember(const InterfaceInfo& itf, int32_t id) const
{
    for (const MemberInfo& m : itf.members)
        if (m.id == id) return &m;
    return nullptr;
}

std::string TypeLibInfo::listing() const
{
    std::ostringstream out;
    out << "library " << name << " " << major << "." << minor << " " << libId << "\n";
    for (const InterfaceInfo& itf : interfaces) {
        out << "\ninterface " << itf.name << " " << itf.iid;
        if (!itf.help.empty()) out << " \"" << itf.help << "\"";
        out << "\n";
        for (const MemberInfo& m : itf.members) {
            out << "  " << m.id << "\t";
            out << (m.kind == MemberKind::Property ? "property " : "method ") << m.name;
            if (!m.params.empty() || m.kind == MemberKind::Method) {
                out << "(";
                for (size_t i = 0; i < m.params.size(); ++i)
                    out << (i ? ", " : "") << VarTypeName(m.params[i].type) << " " << m.params[i].name;
                out << ")";
            }
            if (m.type != VarType::Empty) out << " : " << VarTypeName(m.type);
            if (m.flags & kReadOnly) out << " [read-only]";
            if (m.flags & kRunTimeOnly) out << " [run time only]";
            if (m.flags & kStock) out << " [stock]";
            out << "\n";
        }
    }
    for (const EnumInfo& e : enums) {
        out << "\nenum " << e.name << "\n";
        for (const EnumMember& m : e.members) {
            out << "  " << m.name << " = " << m.value;
            if (!m.help.empty()) out << " \"" << m.help << "\"";
            out << "\n";
        }
    }
    return out.str();
}

} // namespace host
