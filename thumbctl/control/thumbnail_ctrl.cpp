// The control's item accessors over its list of thumbnail items.
#include "thumbctl/control/thumbnail.h"
#include "thumbctl/control/thumbnailctrl.h"

namespace thumbctl {

namespace {
const CThumbnailItem* At(const ThumbnailState& m, long i)
{
    return i >= 0 && i < long(m.Items.size()) ? m.Items[size_t(i)] : nullptr;
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
    for (auto* it : m.Items) delete it;
    m.Items.clear();
}

bool CThumbnailCtrl::DeselectAllItems()
{
    bool any = false;
    for (auto* it : m.Items) {
        any = any || it->selected;
        it->selected = false;
    }
    return any;
}

bool CThumbnailCtrl::SelectAllItems()
{
    bool any = false;
    for (auto* it : m.Items) {
        any = any || !it->selected;
        it->selected = true;
    }
    return any;
}

} // namespace thumbctl
