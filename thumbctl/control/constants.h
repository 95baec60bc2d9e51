#pragma once
// The control's constants: its error codes, the enumerations of its type
// library, its class ids and ProgIDs, and the texts of the two automation
// errors it raises.
#include <cstdint>

#include "sorvanta_versions.h"

namespace thumbctl {

enum ErrorConstants : int16_t {
    trkSuccess = 0,
    trkErrInvalidParam = 1001,
    trkErrInvalidIndex = 1003,
    trkErrInvalidDataSource = 1004,
    trkErrUserAbort = 1110,
    trkErrNotSupportFileFormat = 2000,
    trkErrInvalidFileFormat = 2001,
    trkErrFileNotFound = 2110,
    trkErrPathNotFound = 2112,
    trkErrFileLoadIncomplete = 2113,
    trkErrFileIOError = 2120,
    trkErrOutofMemory = 9000,
    trkErrSystemError = 9900,
};
// Multi-page source already open, or no such page; mapped before it reaches LastError.
constexpr int16_t ErrSourceState = 1100;

enum CaptionTypeConstants : int16_t {
    trkCaptionNone = 1,
    trkCaptionNumber = 2,
    trkCaptionFileName = 3,
    trkCaptionKeyStr = 4,
    trkCaptionLabelStr = 5,
};

enum DataSourceConstants : int16_t {
    trkDataSrcDirect = 1,
    trkDataSrcFolder = 2,
    trkDataSrcMultiPage = 3,
    trkDataSrcIndirect = 4,
};

enum ScrollDirectionConstants : int16_t {
    trkScrollVert = 1,
    trkScrollHorz = 2,
};

enum SortTypeConstants : int16_t {
    trkSortNone = 0,
    trkSortFileNameAscending = 1,
    trkSortFileNameDescending = 2,
    trkSortFileExtAscending = 3,
    trkSortFileExtDescending = 4,
    trkSortTimeStampAscending = 5,
    trkSortTimeStampDescending = 6,
    trkSortKeyStrAscending = 7,
    trkSortKeyStrDescending = 8,
    trkSortLabelStrAscending = 9,
    trkSortLabelStrDescending = 10,
};

// Sort keys and orders that SortType selects.
constexpr int16_t kSortKeyNone = 0, kSortKeyFileName = 1, kSortKeyFileType = 2, kSortKeyTime = 4, kSortKeyKey = 8,
                  kSortKeyLabel = 16;
constexpr int16_t kSortAscending = 0x1000, kSortDescending = 0x2000;
// SortKey and SortOrder of a SortType; false for a value outside 0..10.
bool SortKeyOfType(int sortType, int16_t* key, int16_t* order);

// Dispatch ids of the control's members and events.
enum DispId : int32_t {
    dispidCaptionType = 1, dispidDataPath, dispidDataSource, dispidListCount, dispidPattern, dispidScrollDirection,
    dispidSelectLimit, dispidSelectedCount, dispidSortType, dispidThumbnailHeight, dispidThumbnailWidth,
    dispidTopIndex, dispidAutoUpdate, dispidAdd, dispidAddDIB, dispidCancel, dispidClearSelection,
    dispidGetErrorCode, dispidRemove, dispidRemoveAll, dispidSelectAll, dispidUpdate, dispidFileName, dispidKey,
    dispidLabel, dispidSelected, dispidSelectedIndices, dispidMultiPage,
};
enum EventId : int32_t {
    eventItemClick = 1, eventItemDblClick, eventLoadingEnd, eventLoadingStart, eventSelChange,
};

inline constexpr const char* kControlProgId = "THUMBNAIL.ThumbnailCtrl.1";
inline constexpr const char* kPropPageProgId = "THUMBNAIL.ThumbnailPropPage.1";
inline constexpr const char* kControlClassId = "{6D3C1A52-2F0B-4B7E-9A41-5E2C7D8B1F01}";
inline constexpr const char* kPropPageClassId = "{6D3C1A52-2F0B-4B7E-9A41-5E2C7D8B1F02}";
inline constexpr const char* kTypeLibId = "{6D3C1A52-2F0B-4B7E-9A41-5E2C7D8B1F00}";
inline constexpr const char* kDispatchIid = "{6D3C1A52-2F0B-4B7E-9A41-5E2C7D8B1F03}";
inline constexpr const char* kEventsIid = "{6D3C1A52-2F0B-4B7E-9A41-5E2C7D8B1F04}";
inline constexpr const char* kControlTypeName = "Norvikel Thumbnail Control";
inline constexpr const char* kPropPageTypeName = "Norvikel Thumbnail Property Page";
inline constexpr uint32_t kControlMiscStatus = 0x20191;
inline constexpr const char* kControlVersion = SORVANTA_CONTROL_VERSION;
// What assistive technology calls the list (its own name, not the component's).
inline constexpr const char* kListAccessibleName = "Thumbnails";

// Descriptions of the automation errors (string table 201 and 202).
inline constexpr const char* kInvalidPropertyText = "ﾌﾟﾛﾊﾟﾃｨの値が不正です。";
inline constexpr const char* kInvalidIndexText = "ｲﾝﾃﾞｯｸｽの値が不正です。";
constexpr int kInvalidPropertyHelpId = 201;
constexpr int kInvalidIndexHelpId = 202;

} // namespace thumbctl
