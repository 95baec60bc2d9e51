// Fallbacks for the control's loading, item and view operations, used until
// those parts are linked into the module: their real definitions (in
// loading*.cpp, thumbnail*.cpp and view*.cpp) take precedence over these
// weak ones. With only these the control has no items and paints nothing.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "thumbctl/control/thumbnailctrl.h"

#define NORVIKEL_FALLBACK __attribute__((weak))

namespace thumbctl {

NORVIKEL_FALLBACK bool CThumbnailCtrl::Update()
{
    m.LastError = trkSuccess;
    m.ThumbBoxWidth = m.ThumbnailWidth;
    m.ThumbBoxHeight = m.ThumbnailHeight;
    return true;
}
NORVIKEL_FALLBACK bool CThumbnailCtrl::Add(long, const std::string&, const std::string&, const std::string&)
{
    m.LastError = trkErrNotSupportFileFormat;
    return false;
}
NORVIKEL_FALLBACK bool CThumbnailCtrl::AddDIB(long, uint32_t, bool, const std::string&, const std::string&)
{
    m.LastError = trkErrNotSupportFileFormat;
    return false;
}
NORVIKEL_FALLBACK void CThumbnailCtrl::RemoveItemAt(long) {}
NORVIKEL_FALLBACK void CThumbnailCtrl::SortItems() {}

NORVIKEL_FALLBACK std::string CThumbnailCtrl::ItemFullPath(long) const { return {}; }
NORVIKEL_FALLBACK std::string CThumbnailCtrl::ItemKey(long) const { return {}; }
NORVIKEL_FALLBACK std::string CThumbnailCtrl::ItemLabel(long) const { return {}; }
NORVIKEL_FALLBACK bool CThumbnailCtrl::ItemSelected(long) const { return false; }
NORVIKEL_FALLBACK bool CThumbnailCtrl::ItemMultiPage(long) const { return false; }
NORVIKEL_FALLBACK void CThumbnailCtrl::DeleteAllItems() { m.Items.clear(); }
NORVIKEL_FALLBACK bool CThumbnailCtrl::DeselectAllItems() { return false; }
NORVIKEL_FALLBACK bool CThumbnailCtrl::SelectAllItems() { return false; }

NORVIKEL_FALLBACK void CThumbnailCtrl::RecalcLayout() {}
NORVIKEL_FALLBACK void CThumbnailCtrl::PaintItems(QPainter&, const QRect&) {}
NORVIKEL_FALLBACK void CThumbnailCtrl::DrawFocusFrame() {}
NORVIKEL_FALLBACK void CThumbnailCtrl::SetItemSelected(long, bool) {}
NORVIKEL_FALLBACK int CThumbnailCtrl::ScrollPosition() const { return 0; }
NORVIKEL_FALLBACK void CThumbnailCtrl::SetScrollPosition(int) {}
NORVIKEL_FALLBACK void CThumbnailCtrl::OnLButtonDown(QMouseEvent*) {}
NORVIKEL_FALLBACK void CThumbnailCtrl::OnLButtonDblClk(QMouseEvent*) {}
NORVIKEL_FALLBACK void CThumbnailCtrl::OnKeyDown(QKeyEvent*) {}
NORVIKEL_FALLBACK void CThumbnailCtrl::OnKeyUp(QKeyEvent*) {}

} // namespace thumbctl
