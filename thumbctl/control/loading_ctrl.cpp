// The control's loading members: Update, Add, AddDIB, removal and sorting,
// run by the loader over the control's own item list.
#include "thumbctl/control/view_ctrl.h"

#include <QApplication>
#include <QCursor>

namespace thumbctl {

namespace {

// Wait cursor for the length of a loading call.
struct WaitCursor {
    WaitCursor() { if (qApp) QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { if (qApp) QApplication::restoreOverrideCursor(); }
};

} // namespace

bool ControlLoadingHost::IsItemVisible(long index)
{
    return c_.WindowCreated() && thumbctl::IsItemVisible(GridOf(c_), index);
}

void ControlLoadingHost::ItemLoaded(long index)
{
    if (!c_.WindowCreated()) return;
    const QRect r = VisibleItemRect(GridOf(c_), index);
    if (!r.isEmpty()) c_.repaint(r);
}

void ControlLoadingHost::ListChanged() { c_.Relayout(); }

void ControlLoadingHost::LoadingBegins()
{
    if (!c_.WindowCreated()) return;
    ThumbnailState& m = c_.state();
    m.PaintEnabled = false;
    c_.RecalcLayout();
    if (m.ItemsPerLine > 0) c_.SetScrollPosition(m.TopIndex / m.ItemsPerLine);
    m.PaintEnabled = true;
    c_.repaint();
}

ControlLoader::ControlLoader(CThumbnailCtrl& control)
    : host_(control),
      loader_(control.state().List, host_,
              LoadingFlags{control.state().LastError, control.state().Loading, control.state().CancelRequested,
                           control.state().ClearBeforeAdd, control.state().ThumbBoxWidth,
                           control.state().ThumbBoxHeight, control.state().Fetching})
{
    const ThumbnailState& m = control.state();
    loader_.dataSource = m.DataSource;
    loader_.dataPath = m.DataPath;
    loader_.pattern = m.Pattern;
    loader_.sortType = m.SortType;
    loader_.thumbnailWidth = m.ThumbnailWidth;
    loader_.thumbnailHeight = m.ThumbnailHeight;
    loader_.urlSupported = m.UrlSupported;
}

bool CThumbnailCtrl::RefusedWhileFetching()
{
    if (!m.Fetching) return false;
    m.LastError = trkErrSystemError;
    return true;
}

namespace {

// A list loaded again fetches the thumbnails of its remote items again, even
// after a cancel stopped them.
void ResumeThumbnailFetches(ThumbnailState& m) { m.ThumbnailFetchStopped = false; }

} // namespace

bool CThumbnailCtrl::Update()
{
    if (RefusedWhileFetching()) return false;
    WaitCursor wait;
    ResumeThumbnailFetches(m);
    ControlLoader loader(*this);
    return loader->Update();
}

bool CThumbnailCtrl::Add(long index, const std::string& fileName, const std::string& key, const std::string& label)
{
    if (RefusedWhileFetching()) return false;
    WaitCursor wait;
    ResumeThumbnailFetches(m);
    ControlLoader loader(*this);
    return loader->Add(index, fileName, key, label);
}

bool CThumbnailCtrl::AddDIB(long index, uint32_t hDib, bool owner, const std::string& key, const std::string& label)
{
    if (RefusedWhileFetching()) return false;
    WaitCursor wait;
    ResumeThumbnailFetches(m);
    ControlLoader loader(*this);
    return loader->AddDib(index, hDib, owner, key, label);
}

void CThumbnailCtrl::RemoveItemAt(long index)
{
    m.List.RemoveAt(index);
}

void CThumbnailCtrl::SortItems()
{
    if (m.SortKey == 0 || m.DataSource == trkDataSrcMultiPage || m.Fetching) return;
    m.List.Sort(m.SortKey, m.SortOrder);
}

} // namespace thumbctl
