// The control's item accessors over its list of thumbnail items.
#include "thumbctl/control/thumbnail.h"
#include "thumbctl/control/thumbnailctrl.h"

namespace thumbctl {

namespace {
const CThumbnailItem* At(const ThumbnailState& m, long i)
{
    return i >= 0 && i < long(m.List.items.size()) ? m.List.items[size_t(i)].get() : nullptr;
}
} // namespace

std::string CThumbnailCtrl::ItemFullPath(long index) const
{
    const auto* it = At(m, index);
    return it ? it->fullPath : std::string();
}

std::string CThumbnailCtrl::ItemKey(long index) const
{
    const auto* it = At(m, index);
    return it ? it->key : std::string();
}

std::string CThumbnailCtrl::ItemLabel(long index) const
{
    const auto* it = At(m, index);
    return it ? it->label : std::string();
}

bool CThumbnailCtrl::ItemSelected(long index) const
{
    const auto* it = At(m, index);
    return it && it->selected;
}

bool CThumbnailCtrl::ItemMultiPage(long index) const
{
    const auto* it = At(m, index);
    return it && it->multiPage;
}

void CThumbnailCtrl::DeleteAllItems()
{
    m.List.items.clear();
}

bool CThumbnailCtrl::DeselectAllItems()
{
    bool any = false;
    for (auto& it : m.List.items) {
        any = any || it->selected;
        it->selected = false;
    }
    return any;
}

bool CThumbnailCtrl::SelectAllItems()
{
    bool any = false;
    for (auto& it : m.List.items) {
        any = any || !it->selected;
        it->selected = true;
    }
    return any;
}

} // namespace thumbctl
