// Items of the thumbnail list and the bookkeeping of insertion, removal,
// selection and sorting.
#include "thumbctl/control/thumbnail.h"

#include <QString>

#include <algorithm>
#include <sys/stat.h>

namespace thumbctl {

namespace {

// Case-insensitive comparison of two texts, as the list's sort needs it.
int CompareNoCase(const std::string& a, const std::string& b)
{
    return QString::compare(QString::fromLocal8Bit(a.c_str()), QString::fromLocal8Bit(b.c_str()),
                            Qt::CaseInsensitive);
}

int Sign(int64_t v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

} // namespace

std::string NamePart(const std::string& path)
{
    const size_t p = path.find_last_of("\\/:");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::unique_ptr<CThumbnailItem> CThumbnailItem::FromFile(const std::string& path, int type,
                                                         const std::string& key, const std::string& label)
{
    auto item = std::make_unique<CThumbnailItem>();
    CThumbnailItem& it = *item;
    it.fullPath = path;
    it.type = type;
    it.key = key;
    it.label = label;
    it.namePart = NamePart(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) it.time = int64_t(st.st_mtime);
    return item;
}

std::unique_ptr<CThumbnailItem> CThumbnailItem::FromDib(IPIHANDLE dib, const std::string& key,
                                                        const std::string& label)
{
    auto item = std::make_unique<CThumbnailItem>();
    CThumbnailItem& it = *item;
    it.sourceDib.reset(dib);
    it.key = key;
    it.label = label;
    it.type = itemDib;
    return item;
}

long ThumbnailList::Insert(long index, std::unique_ptr<CThumbnailItem> item)
{
    if (index >= 0 && index < count()) {
        items.insert(items.begin() + index, std::move(item));
        for (auto& s : selected)
            if (long(s) >= index) ++s;
        return index;
    }
    items.push_back(std::move(item));
    return count() - 1;
}

void ThumbnailList::RemoveAt(long i)
{
    if (!valid(i)) return;
    if (items[size_t(i)]->selected) SetSelectionFlag(i, false);
    for (auto& s : selected)
        if (long(s) > i) --s;
    items.erase(items.begin() + i);
    if ((focus == i && focus != 0) || (focus == count() && focus != 0)) --focus;
}

void ThumbnailList::Clear()
{
    items.clear();
    selected.clear();
    focus = 0;
}

bool ThumbnailList::SetSelectionFlag(long i, bool on)
{
    if (i == -1) {
        if (on) {
            if (selected.size() == items.size()) return false;
            selected.clear();
            for (long k = 0; k < count(); ++k) {
                items[size_t(k)]->selected = true;
                selected.push_back(uint32_t(k));
            }
            return true;
        }
        if (selected.empty()) return false;
        for (auto s : selected)
            if (valid(long(s))) items[s]->selected = false;
        selected.clear();
        return true;
    }
    if (!valid(i) || items[size_t(i)]->selected == on) return false;
    items[size_t(i)]->selected = on;
    const auto pos = std::lower_bound(selected.begin(), selected.end(), uint32_t(i));
    if (on)
        selected.insert(pos, uint32_t(i));
    else if (pos != selected.end() && *pos == uint32_t(i))
        selected.erase(pos);
    return true;
}

int ThumbnailList::Compare(const CThumbnailItem& a, const CThumbnailItem& b, int key, int order) const
{
    int r = 0;
    switch (key) {
    case sortFileType: r = Sign(int64_t(a.type) - b.type); break;
    case sortTime: r = Sign(a.time - b.time); break;
    case sortKeyText: r = CompareNoCase(a.key, b.key); break;
    case sortLabel: r = CompareNoCase(a.label, b.label); break;
    default: break;
    }
    if (r == 0) r = CompareNoCase(a.namePart, b.namePart);
    return order == orderDescending ? -r : r;
}

void ThumbnailList::Sort(int key, int order)
{
    if (key == sortNone) return;
    const long n = count();
    for (long gap = n / 2; gap > 0; gap /= 2)
        for (long s = 0; s < gap; ++s)
            for (long j = s; j < n - gap; j += gap)
                for (long k = j; k >= s; k -= gap) {
                    if (Compare(*items[size_t(k)], *items[size_t(k + gap)], key, order) <= 0) break;
                    std::swap(items[size_t(k)], items[size_t(k + gap)]);
                }
    selected.clear();
    for (long k = 0; k < n; ++k)
        if (items[size_t(k)]->selected) selected.push_back(uint32_t(k));
}

long ThumbnailList::PendingIndex() const
{
    for (long k = 0; k < count(); ++k)
        if (items[size_t(k)]->pending) return k;
    return -1;
}

namespace {

// Item i (valid) turned on or off under the selection limit; with a limit of
// one, turning it on turns the others off.
SelectResult SelectWithinLimit(ThumbnailList& list, long i, bool on, long limit)
{
    SelectResult r;
    if (limit == 0) {
        r.beep = true;
        return r;
    }
    if (limit == 1) {
        if (on) {
            for (auto s : std::vector<uint32_t>(list.selected))
                if (long(s) != i && list.SetSelectionFlag(long(s), false)) r.other = long(s);
        }
        r.changed = list.SetSelectionFlag(i, on);
        return r;
    }
    if (on && list.items[size_t(i)]->selected) return r;
    if (on && limit != -1 && long(list.selected.size()) >= limit) {
        r.beep = true;
        return r;
    }
    r.changed = list.SetSelectionFlag(i, on);
    return r;
}

} // namespace

SelectResult ClickSelect(ThumbnailList& list, long i, long limit)
{
    if (!list.valid(i)) return SelectResult();
    // A click toggles the item; under a single selection it always selects.
    return SelectWithinLimit(list, i, limit == 1 || !list.items[size_t(i)]->selected, limit);
}

SelectResult SetItemSelected(ThumbnailList& list, long i, bool on, long limit)
{
    if (!list.valid(i)) return SelectResult();
    if (limit == 1) list.focus = int32_t(i);
    return SelectWithinLimit(list, i, on, limit);
}

bool SelectAllAllowed(long count, long limit)
{
    if (count == 0 || limit == 0 || limit == 1) return false;
    return !(limit > 1 && limit < count);
}

} // namespace thumbctl
