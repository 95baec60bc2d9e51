// The control's view members: layout and scroll bars, painting the visible
// cells (making missing thumbnails on the way), the focus frame, selection
// by property, mouse and keys.
#include "thumbctl/control/view_ctrl.h"
#include "thumbctl/control/view_paint.h"
#include "thumbctl/control/view_access.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

namespace thumbctl {

namespace {

const char* const kBarNames[2] = {"thumbnailVScroll", "thumbnailHScroll"};

bool Horizontal(const ThumbnailState& m) { return m.ScrollDirection == trkScrollHorz; }

int BarExtent(const QWidget* w) { return w->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, w); }

QScrollBar* FindBar(const CThumbnailCtrl* c, bool horizontal)
{
    return c->findChild<QScrollBar*>(QString::fromLatin1(kBarNames[horizontal ? 1 : 0]), Qt::FindDirectChildrenOnly);
}

// The scroll bar of one direction, made on first use. Moving it scrolls the
// cells already drawn and repaints only what comes into view.
QScrollBar* Bar(CThumbnailCtrl* c, bool horizontal)
{
    if (QScrollBar* b = FindBar(c, horizontal)) return b;
    auto* b = new QScrollBar(horizontal ? Qt::Horizontal : Qt::Vertical, c);
    b->setObjectName(QString::fromLatin1(kBarNames[horizontal ? 1 : 0]));
    b->setFocusPolicy(Qt::NoFocus);
    b->setRange(0, 0);
    b->hide();
    b->setProperty("shown", 0);
    QObject::connect(b, &QScrollBar::valueChanged, c, [c, b, horizontal](int value) {
        const int before = b->property("shown").toInt();
        b->setProperty("shown", value);
        const ThumbnailState& m = c->state();
        if (Horizontal(m) != horizontal || m.ItemsPerLine <= 0) return;
        const Grid g = GridOf(*c);
        const int lines = value - before;
        const QRect area(0, 0, int(horizontal ? g.lineCount * g.cell.width : g.itemsPerLine * g.cell.width),
                         int(horizontal ? g.itemsPerLine * g.cell.height : g.lineCount * g.cell.height));
        if (std::abs(lines) >= g.lineCount)
            c->update();
        else if (horizontal)
            c->scroll(-lines * g.cell.width, 0, area);
        else
            c->scroll(0, -lines * g.cell.height, area);
    });
    return b;
}

int TextHeight(const CThumbnailCtrl& c)
{
    return c.state().CaptionTextHeight;
}

void Beep() { QApplication::beep(); }

int ShiftOf(Qt::KeyboardModifiers mods)
{
    return (mods & Qt::ShiftModifier ? 1 : 0) | (mods & Qt::ControlModifier ? 2 : 0) |
           (mods & Qt::AltModifier ? 4 : 0);
}

// Key codes of the classic desktop for the keys the grid handles, and for
// letters and digits; 0 for others.
int KeyCodeOf(const QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Delete: return 46;
    default: break;
    }
    if ((e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z) || (e->key() >= Qt::Key_0 && e->key() <= Qt::Key_9))
        return e->key();
    return 0;
}

} // namespace

Grid GridOf(const CThumbnailCtrl& control)
{
    const ThumbnailState& m = control.state();
    Grid g;
    g.cell = CellSizeFor(m.CaptionType, m.ThumbBoxWidth, m.ThumbBoxHeight, TextHeight(control));
    g.lineCount = m.LineCount;
    g.itemsPerLine = m.ItemsPerLine;
    g.topIndex = long(control.ScrollPosition()) * m.ItemsPerLine;
    g.count = control.ItemCount();
    g.horizontal = Horizontal(m);
    return g;
}

int32_t CThumbnailCtrl::ItemAtPoint(int x, int y)
{
    return WindowCreated() ? int32_t(HitTest(GridOf(*this), x, y)) : -1;
}

void CThumbnailCtrl::Relayout()
{
    if (!WindowCreated()) return;
    RecalcLayout();
    update();
}

void CThumbnailCtrl::RecalcLayout()
{
    if (m.InLayout) return;
    m.InLayout = true;
    const bool horizontal = Horizontal(m);
    const int extent = BarExtent(this);
    LayoutInput in;
    in.width = width();  // scroll bars lie over the client area: this is its size without them
    in.height = height();
    in.cell = CellSizeFor(m.CaptionType, m.ThumbBoxWidth, m.ThumbBoxHeight, TextHeight(*this));
    in.count = ItemCount();
    in.horizontal = horizontal;
    in.barWidth = extent;
    in.barHeight = extent;
    const Layout l = ComputeLayout(in);
    m.LineCount = int32_t(l.lineCount);
    m.ItemsPerLine = int32_t(l.itemsPerLine);

    QScrollBar* on = Bar(this, horizontal);
    QScrollBar* off = Bar(this, !horizontal);
    off->setRange(0, 0);
    off->hide();
    if (horizontal)
        on->setGeometry(0, height() - extent, width(), extent);
    else
        on->setGeometry(width() - extent, 0, extent, height());
    if (l.scrolls) {
        // The bar's value is the top line; its last value shows a full last page.
        on->setRange(0, int(l.lastTop));
        on->setPageStep(int(l.page));
        on->setSingleStep(1);
        on->show();
    } else {
        on->setRange(0, 0);
        on->hide();
    }
    m.InLayout = false;
}

int CThumbnailCtrl::ScrollPosition() const
{
    const QScrollBar* b = FindBar(this, Horizontal(m));
    return b && b->isVisibleTo(this) ? b->value() : 0;
}

void CThumbnailCtrl::SetScrollPosition(int line)
{
    if (m.List.items.empty()) return;
    QScrollBar* b = Bar(this, Horizontal(m));
    b->setValue(std::clamp(line, 0, b->maximum()));
}

namespace {

// Queues one fetch step for after the paint, unless one waits already or a
// cancel stopped them.
void QueueThumbnailFetch(CThumbnailCtrl& c)
{
    ThumbnailState& m = c.state();
    if (m.ThumbnailFetchQueued || m.ThumbnailFetchStopped) return;
    m.ThumbnailFetchQueued = true;
    QMetaObject::invokeMethod(&c, [&c] { c.FetchVisibleThumbnails(); }, Qt::QueuedConnection);
}

// The first item on screen whose thumbnail needs a URL read, -1 when none.
long NextVisibleToFetch(const CThumbnailCtrl& c)
{
    const Grid g = GridOf(c);
    const long end = std::min<long>(c.ItemCount(), g.topIndex + long(g.lineCount) * long(g.itemsPerLine));
    for (long i = g.topIndex; i < end; ++i)
        if (ThumbnailNeedsFetch(*c.state().List.items[size_t(i)])) return i;
    return -1;
}

} // namespace

void CThumbnailCtrl::FetchVisibleThumbnails()
{
    m.ThumbnailFetchQueued = false;
    // While the list loads or a URL is read, the paint after it asks again.
    if (!WindowCreated() || m.Loading || m.Fetching) return;
    bool fetched = false, removed = false;
    for (long i; !m.ThumbnailFetchStopped && (i = NextVisibleToFetch(*this)) >= 0;) {
        fetched = true;
        ControlLoader loader(*this);
        // The list stays as it is while the URL is read (members that would
        // change it are refused meanwhile): item i is still there after it.
        if (const IPIHANDLE t = loader->MakeThumbnail(i)) {
            m.List.items[size_t(i)]->thumbnail.reset(t);
            const QRect r = VisibleItemRect(GridOf(*this), i);
            if (!r.isEmpty()) update(r);
            continue;
        }
        if (m.LastError == trkErrUserAbort) {
            m.ThumbnailFetchStopped = true;
            break;
        }
        const int16_t error = m.LastError;
        RemoveItemAt(i);
        m.LastError = error;
        removed = true;
    }
    // Cells painted while a URL was read may still lack their pictures.
    if (removed)
        Relayout();
    else if (fetched)
        update();
}

void CThumbnailCtrl::PaintItems(QPainter& painter, const QRect& updateRect)
{
    if (!m.PaintEnabled || m.List.items.empty()) return;
    m.TopIndex = ScrollPosition() * m.ItemsPerLine;
    RecalcLayout();
    const Grid g = GridOf(*this);
    CellStyle style;
    style.captionType = m.CaptionType;
    style.boxWidth = m.ThumbBoxWidth;
    style.boxHeight = m.ThumbBoxHeight;
    style.textHeight = TextHeight(*this);
    style.font = StockFont();
    style.palette = palette();

    bool removed = false;
    long index = g.topIndex;
    for (long line = 1; line <= g.lineCount && index < ItemCount(); ++line) {
        for (long pos = 1; pos <= g.itemsPerLine && index < ItemCount(); ++pos) {
            const QRect cell = CellRect(g, line, pos);
            if (!cell.intersects(updateRect)) {
                ++index;
                continue;
            }
            // A thumbnail that cannot be made takes its item out of the list;
            // the next item moves into this cell. While the list loads or a
            // URL is being read the list stays as it is: a missing thumbnail
            // waits for the loader, which draws each one it makes. A URL is
            // never read here: the cell shows its caption alone until the
            // fetch queued for after the paint brings the picture.
            while (!m.Fetching && !m.Loading && index < ItemCount() && !m.List.items[size_t(index)]->thumbnail) {
                if (ThumbnailNeedsFetch(*m.List.items[size_t(index)])) {
                    QueueThumbnailFetch(*this);
                    break;
                }
                ControlLoader loader(*this);
                if (const IPIHANDLE t = loader->MakeThumbnail(index)) {
                    m.List.items[size_t(index)]->thumbnail.reset(t);
                    break;
                }
                const int16_t error = m.LastError;
                RemoveItemAt(index);
                m.LastError = error;
                removed = true;
            }
            if (index >= ItemCount()) break;
            DrawCell(painter, style, index, *m.List.items[size_t(index)], cell, partAll);
            ++index;
        }
    }
    const QRect focus = VisibleItemRect(GridOf(*this), m.List.focus);
    if (!focus.isEmpty()) thumbctl::DrawFocusFrame(painter, focus, palette().color(QPalette::Highlight));
    if (removed) {
        RecalcLayout();
        update();
    }
}

void CThumbnailCtrl::DrawFocusFrame()
{
    const QRect r = VisibleItemRect(GridOf(*this), m.List.focus);
    if (!r.isEmpty()) update(r);
}

namespace {

// Moves the focus and repaints the old and new focus cells.
void SetFocusItem(CThumbnailCtrl& c, long index)
{
    ThumbnailState& m = c.state();
    if (index == m.List.focus) return;
    c.DrawFocusFrame();
    m.List.focus = int32_t(index);
    c.DrawFocusFrame();
    NotifyItemEvent(c, index, QAccessible::Focus);
}

void RedrawItem(CThumbnailCtrl& c, long index)
{
    if (index < 0) return;
    const QRect r = VisibleItemRect(GridOf(c), index);
    if (!r.isEmpty()) c.update(r);
}

void ScrollBy(CThumbnailCtrl& c, long lines)
{
    QScrollBar* b = FindBar(&c, Horizontal(c.state()));
    if (!b || !b->isVisibleTo(&c) || lines == 0) return;
    b->setValue(int(std::clamp<long>(b->value() + lines, 0, b->maximum())));
}

// A click or the space key on an item, with the selection limit's rules.
void ClickSelectItem(CThumbnailCtrl& c, long index)
{
    ThumbnailState& m = c.state();
    const SelectResult r = ClickSelect(m.List, index, m.SelectLimit);
    if (r.beep) Beep();
    if (!r.changed) return;
    RedrawItem(c, r.other);
    NotifyItemEvent(c, index, QAccessible::Selection);
    c.FireSelChange(index);
    RedrawItem(c, index);
}

} // namespace

void CThumbnailCtrl::SetItemSelected(long index, bool selected)
{
    if (index < 0 || index >= ItemCount()) {
        m.LastError = trkErrInvalidIndex;
        return;
    }
    const long oldFocus = m.List.focus;
    const SelectResult r = thumbctl::SetItemSelected(m.List, index, selected, m.SelectLimit);
    if (r.beep) Beep();
    if (!WindowCreated()) return;
    if (oldFocus != m.List.focus) {
        RedrawItem(*this, oldFocus);
        RedrawItem(*this, m.List.focus);
    }
    if (r.changed) {
        RedrawItem(*this, r.other);
        RedrawItem(*this, index);
    }
}

void CThumbnailCtrl::OnLButtonDown(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    const long index = HitTest(GridOf(*this), p.x(), p.y());
    if (index < 0) return;
    FireItemClick(index);
    if (index >= ItemCount()) return;  // the handler changed the list
    SetFocusItem(*this, index);
    ClickSelectItem(*this, index);
}

void CThumbnailCtrl::OnLButtonDblClk(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    const long index = HitTest(GridOf(*this), p.x(), p.y());
    if (index >= 0) FireItemDblClick(index);
}

void CThumbnailCtrl::OnKeyDown(QKeyEvent* event)
{
    const long n = ItemCount();
    if (n == 0) return;
    const int code = KeyCodeOf(event);
    const int shift = ShiftOf(event->modifiers());
    if (code == 32) {
        FireKeyEvent(host::kDispIdKeyDown, code, shift);
        if (m.List.focus < ItemCount()) ClickSelectItem(*this, m.List.focus);
        return;
    }
    if (code < 33 || code > 40) {
        if (code) FireKeyEvent(host::kDispIdKeyDown, code, shift);
        return;
    }
    const long f = m.List.focus;
    const bool hold = m.SelectLimit == 1 && f < n && !m.List.items[size_t(f)]->selected;
    const long next = FocusAfterKey(code, f, n, m.ItemsPerLine, m.LineCount, Horizontal(m), hold);
    FireKeyEvent(host::kDispIdKeyDown, code, shift);
    if (next < 0 || next >= ItemCount()) return;
    const Grid before = GridOf(*this);
    SetFocusItem(*this, next);
    if (!IsItemVisible(before, next)) ScrollBy(*this, ScrollForFocus(before, f, next));
    if (m.SelectLimit == 1) ClickSelectItem(*this, next);
}

void CThumbnailCtrl::OnKeyUp(QKeyEvent* event)
{
    const int code = KeyCodeOf(event);
    if (code) FireKeyEvent(host::kDispIdKeyUp, code, ShiftOf(event->modifiers()));
}

} // namespace thumbctl
