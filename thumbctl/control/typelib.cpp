// The control's type library and the sort key table.
#include "thumbctl/control/typelib.h"

#include "thumbctl/control/constants.h"

namespace thumbctl {

bool SortKeyOfType(int sortType, int16_t* key, int16_t* order)
{
    static const int16_t kKeys[] = {kSortKeyNone, kSortKeyFileName, kSortKeyFileType, kSortKeyTime, kSortKeyKey,
                                    kSortKeyLabel};
    if (sortType < 0 || sortType > 10) return false;
    if (sortType == 0) {
        *key = 0;
        *order = 0;
        return true;
    }
    *key = kKeys[(sortType + 1) / 2];
    *order = sortType % 2 ? kSortAscending : kSortDescending;
    return true;
}

namespace {

using host::EnumInfo;
using host::InterfaceInfo;
using host::MemberInfo;
using host::MemberKind;
using host::ParamInfo;
using host::VarType;

constexpr unsigned RO = host::kReadOnly, RT = host::kRunTimeOnly, ST = host::kStock;
const ParamInfo kIndex{"Index", VarType::Long};

MemberInfo Prop(int32_t id, const char* name, VarType t, unsigned flags = 0, std::vector<ParamInfo> params = {})
{
    return MemberInfo{id, name, MemberKind::Property, t, std::move(params), flags, {}};
}
MemberInfo Method(int32_t id, const char* name, VarType result, std::vector<ParamInfo> params = {}, unsigned flags = 0)
{
    return MemberInfo{id, name, MemberKind::Method, result, std::move(params), flags, {}};
}

// The control's dispatch interface: properties, methods, stock members.
InterfaceInfo DispatchInterface()
{
    InterfaceInfo d{"_DThumbnail", kDispatchIid, "Thumbnail Control 用ﾃﾞｨｽﾊﾟｯﾁ ｲﾝﾀｰﾌｪｲｽ", {}};
    d.members = {
        Prop(dispidCaptionType, "CaptionType", VarType::Short),
        Prop(dispidDataPath, "DataPath", VarType::String),
        Prop(dispidDataSource, "DataSource", VarType::Short),
        Prop(dispidListCount, "ListCount", VarType::Long, RO | RT),
        Prop(dispidPattern, "Pattern", VarType::String),
        Prop(dispidScrollDirection, "ScrollDirection", VarType::Short),
        Prop(dispidSelectLimit, "SelectLimit", VarType::Long),
        Prop(dispidSelectedCount, "SelectedCount", VarType::Long, RO | RT),
        Prop(dispidSortType, "SortType", VarType::Short),
        Prop(dispidThumbnailHeight, "ThumbnailHeight", VarType::Short),
        Prop(dispidThumbnailWidth, "ThumbnailWidth", VarType::Short),
        Prop(dispidTopIndex, "TopIndex", VarType::Long),
        Prop(dispidAutoUpdate, "AutoUpdate", VarType::Bool),
        Method(dispidAdd, "Add", VarType::Bool,
               {kIndex, {"FileName", VarType::String}, {"Key", VarType::String}, {"Label", VarType::String}}),
        Method(dispidAddDIB, "AddDIB", VarType::Bool,
               {kIndex, {"hDIB", VarType::Long}, {"bOwner", VarType::Bool}, {"Key", VarType::String},
                {"Label", VarType::String}}),
        Method(dispidCancel, "Cancel", VarType::Empty),
        Method(dispidClearSelection, "ClearSelection", VarType::Empty),
        Method(dispidGetErrorCode, "GetErrorCode", VarType::Short),
        Method(dispidRemove, "Remove", VarType::Empty, {kIndex}),
        Method(dispidRemoveAll, "RemoveAll", VarType::Empty),
        Method(dispidSelectAll, "SelectAll", VarType::Empty),
        Method(dispidUpdate, "Update", VarType::Bool),
        Prop(dispidFileName, "FileName", VarType::String, RO | RT, {kIndex}),
        Prop(dispidKey, "Key", VarType::String, RO | RT, {kIndex}),
        Prop(dispidLabel, "Label", VarType::String, RO | RT, {kIndex}),
        Prop(dispidSelected, "Selected", VarType::Bool, RT, {kIndex}),
        Prop(dispidSelectedIndices, "SelectedIndices", VarType::Long, RO | RT, {{"Number", VarType::Long}}),
        Prop(dispidMultiPage, "MultiPage", VarType::Bool, RO | RT, {kIndex}),
        Prop(host::kDispIdAppearance, "Appearance", VarType::Short, ST),
        Prop(host::kDispIdBackColor, "BackColor", VarType::Long, ST),
        Prop(host::kDispIdBorderStyle, "BorderStyle", VarType::Short, ST),
        Prop(host::kDispIdFont, "Font", VarType::String, ST),
        Method(host::kDispIdRefresh, "Refresh", VarType::Empty, {}, ST),
        Method(host::kDispIdAboutBox, "AboutBox", VarType::Empty, {}, ST),
    };
    return d;
}

// The event interface: the list's own events and the stock key and mouse ones.
InterfaceInfo EventInterface()
{
    const std::vector<ParamInfo> keyArgs = {{"KeyCode", VarType::Short}, {"Shift", VarType::Short}};
    const std::vector<ParamInfo> mouseArgs = {{"Button", VarType::Short}, {"Shift", VarType::Short},
                                              {"x", VarType::Long}, {"y", VarType::Long}};
    InterfaceInfo e{"_DThumbnailEvents", kEventsIid, "Event interface for Thumbnail Control", {}};
    e.members = {
        Method(eventItemClick, "ItemClick", VarType::Empty, {kIndex}),
        Method(eventItemDblClick, "ItemDblClick", VarType::Empty, {kIndex}),
        Method(eventLoadingEnd, "LoadingEnd", VarType::Empty, {kIndex, {"FileName", VarType::String}}),
        Method(eventLoadingStart, "LoadingStart", VarType::Empty, {kIndex, {"FileName", VarType::String}}),
        Method(eventSelChange, "SelChange", VarType::Empty, {kIndex}),
        Method(host::kDispIdKeyDown, "KeyDown", VarType::Empty, keyArgs, ST),
        Method(host::kDispIdKeyUp, "KeyUp", VarType::Empty, keyArgs, ST),
        Method(host::kDispIdMouseDown, "MouseDown", VarType::Empty, mouseArgs, ST),
        Method(host::kDispIdMouseMove, "MouseMove", VarType::Empty, mouseArgs, ST),
        Method(host::kDispIdMouseUp, "MouseUp", VarType::Empty, mouseArgs, ST),
    };
    return e;
}

// The enumerations, error codes first.
std::vector<EnumInfo> Enumerations()
{
    return {
        EnumInfo{"ErrorConstants",
                 {{"trkSuccess", 0, "Success"},
                  {"trkErrInvalidParam", 1001, "Invalid Param"},
                  {"trkErrInvalidIndex", 1003, "Invalid Index"},
                  {"trkErrNotSupportFileFormat", 2000, "NotSupport FileFormat"},
                  {"trkErrInvalidFileFormat", 2001, "Invalid FileFormat"},
                  {"trkErrFileNotFound", 2110, "File NotFound"},
                  {"trkErrPathNotFound", 2112, "Path NotFound"},
                  {"trkErrFileLoadIncomplete", 2113, "File Load Incomplete"},
                  {"trkErrFileIOError", 2120, "FileIOError"},
                  {"trkErrOutofMemory", 9000, "Out of Memory"},
                  {"trkErrSystemError", 9900, "System Error"},
                  {"trkErrUserAbort", 1110, "User Abort"},
                  {"trkErrInvalidDataSource", 1004, "Invalid DataSource"}}},
        EnumInfo{"CaptionTypeConstants",
                 {{"trkCaptionNone", 1, ""},
                  {"trkCaptionNumber", 2, ""},
                  {"trkCaptionFileName", 3, ""},
                  {"trkCaptionKeyStr", 4, ""},
                  {"trkCaptionLabelStr", 5, ""}}},
        EnumInfo{"DataSourceConstants",
                 {{"trkDataSrcDirect", 1, ""},
                  {"trkDataSrcFolder", 2, ""},
                  {"trkDataSrcMultiPage", 3, ""},
                  {"trkDataSrcIndirect", 4, ""}}},
        EnumInfo{"ScrollDirectionConstants", {{"trkScrollVert", 1, ""}, {"trkScrollHorz", 2, ""}}},
        EnumInfo{"SortTypeConstants",
                 {{"trkSortNone", 0, ""},
                  {"trkSortFileNameAscending", 1, ""},
                  {"trkSortFileNameDescending", 2, ""},
                  {"trkSortFileExtAscending", 3, ""},
                  {"trkSortFileExtDescending", 4, ""},
                  {"trkSortTimeStampAscending", 5, ""},
                  {"trkSortTimeStampDescending", 6, ""},
                  {"trkSortKeyStrAscending", 7, ""},
                  {"trkSortKeyStrDescending", 8, ""},
                  {"trkSortLabelStrAscending", 9, ""},
                  {"trkSortLabelStrDescending", 10, ""}}},
    };
}

host::TypeLibInfo Build()
{
    host::TypeLibInfo lib;
    lib.name = "NorvikelLib";
    lib.libId = kTypeLibId;
    lib.major = 1;
    lib.minor = 0;
    lib.interfaces = {DispatchInterface(), EventInterface()};
    lib.enums = Enumerations();
    return lib;
}

} // namespace

const host::TypeLibInfo& NorvikelTypeLib()
{
    static const host::TypeLibInfo lib = Build();
    return lib;
}

} // namespace thumbctl
