#pragma once
// The entries of the thumbnail list and the list itself: items in order, the
// ascending list of selected indices and the focus item, with the insert,
// remove, select and sort rules that keep them consistent.
#include "thumbctl/control/thumbnail_dib.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace thumbctl {

// Kinds of item; the file-type sort compares these numbers.
enum ItemType : int {
    itemDib = -1,
    itemBmp = 10,
    itemJpeg = 20,
    itemPcx = 30,
    itemPng = 40,
    itemTiff = 50,
};

struct CThumbnailItem {
    DibHandle thumbnail;   // the reduced picture shown in the cell, made lazily
    DibHandle sourceDib;   // the picture itself for handed-over bitmaps and pages
    std::string fullPath;  // file path or URL; empty for a handed-over bitmap
    std::string key;
    std::string label;
    bool selected = false;
    bool multiPage = false;
    int page = 0;
    std::string namePart;  // text after the last "\", "/" or ":"
    int type = itemDib;
    int64_t time = 0;      // last-write time in seconds
    bool pending = false;  // the item being added (found again after a sort)
    // A remote item's thumbnail is made from the bytes of its one fetch, when
    // it is added; when that fails, the list error it is removed with once its
    // turn comes (0: none).
    int16_t thumbnailError = 0;

    static std::unique_ptr<CThumbnailItem> FromFile(const std::string& path, int type, const std::string& key,
                                                    const std::string& label);
    static std::unique_ptr<CThumbnailItem> FromDib(IPIHANDLE dib, const std::string& key, const std::string& label);
};

// The part of a path after its last "\", "/" or ":".
std::string NamePart(const std::string& path);

// Sort keys and orders (as SortKeyOfType in constants.h sets them).
enum SortKey : int { sortNone = 0, sortFileName = 1, sortFileType = 2, sortTime = 4, sortKeyText = 8, sortLabel = 16 };
enum SortOrder : int { orderNone = 0, orderAscending = 0x1000, orderDescending = 0x2000 };

// The items in order (the list owns them: removing one deletes it), the
// ascending selected indices and the focus item.
class ThumbnailList {
public:
    ThumbnailList() = default;
    ThumbnailList(const ThumbnailList&) = delete;
    ThumbnailList& operator=(const ThumbnailList&) = delete;

    std::vector<std::unique_ptr<CThumbnailItem>> items;
    std::vector<uint32_t> selected;  // ascending
    int32_t focus = 0;

    long count() const { return long(items.size()); }
    bool valid(long i) const { return i >= 0 && i < count(); }

    // Puts the item at `index` when 0 <= index < count (selected indices from
    // there move up by one), else at the end. Returns where it went.
    long Insert(long index, std::unique_ptr<CThumbnailItem> item);
    // Removes item i: deselects it, moves the selected indices after it down,
    // and keeps the focus on the list.
    void RemoveAt(long i);
    // Deletes every item; selection and focus start again.
    void Clear();

    // i = -1: every item. True when anything changed.
    bool SetSelectionFlag(long i, bool on);

    // Shell sort by key and order; afterwards the selected indices follow the
    // items. Nothing for key 0.
    void Sort(int key, int order);
    int Compare(const CThumbnailItem& a, const CThumbnailItem& b, int key, int order) const;
    // Index of the item marked pending, -1 when none.
    long PendingIndex() const;
};

// What a selection request did. `other` is an item whose selection was taken
// away (to be redrawn), -1 when none.
struct SelectResult {
    bool changed = false;
    bool beep = false;
    long other = -1;
};

// A click or the space key on item i under the selection limit (0 none,
// 1 single, -1 unlimited, n at most n).
SelectResult ClickSelect(ThumbnailList& list, long i, long limit);
// The Selected property set to `on` for item i (i must be valid). With limit 1
// the focus moves to i.
SelectResult SetItemSelected(ThumbnailList& list, long i, bool on, long limit);
// Whether Select All may select every item under the limit.
bool SelectAllAllowed(long count, long limit);

} // namespace thumbctl
