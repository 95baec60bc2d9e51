// Numbers of the thumbnail grid: cells, lines, scroll range, hit tests and keys.
#include "thumbctl/control/view_layout.h"

#include <algorithm>

namespace thumbctl {

CellSize CellSizeFor(int captionType, int boxW, int boxH, int textH)
{
    switch (captionType) {
    case captionNone: return {boxW + 20, boxH + 20};
    case captionNumber: return {boxW + 20, boxH + textH + 22};
    default: return {boxW + 20, boxH + textH + 2 * kEdgeY + 24};
    }
}

Layout ComputeLayout(const LayoutInput& in)
{
    Layout out;
    const int cw = std::max(in.cell.width, 1);
    const int ch = std::max(in.cell.height, 1);
    long columns = std::max(in.width / cw, 1);
    long rows = std::max(in.height / ch, 1);
    if (columns * rows < in.count) {
        if (in.horizontal)
            rows = std::max((in.height - in.barHeight) / ch, 1);
        else
            columns = std::max((in.width - in.barWidth) / cw, 1);
    }
    out.lineCount = in.horizontal ? columns : rows;
    out.itemsPerLine = in.horizontal ? rows : columns;
    if (out.lineCount * out.itemsPerLine < in.count) {
        out.scrolls = true;
        out.barMax = (in.count + out.itemsPerLine - 1) / out.itemsPerLine - 1;
        out.page = out.lineCount;
        out.lastTop = std::max(out.barMax - out.page + 1, 0L);
    }
    return out;
}

QRect CellRect(const Grid& g, long line, long position)
{
    const long a = g.horizontal ? line : position;
    const long b = g.horizontal ? position : line;
    return QRect(int((a - 1) * g.cell.width), int((b - 1) * g.cell.height), g.cell.width, g.cell.height);
}

bool IsItemVisible(const Grid& g, long index)
{
    return index >= g.topIndex && index < g.topIndex + g.lineCount * g.itemsPerLine && index < g.count;
}

QRect VisibleItemRect(const Grid& g, long index)
{
    if (!IsItemVisible(g, index) || g.itemsPerLine <= 0) return {};
    const long k = index - g.topIndex;
    return CellRect(g, k / g.itemsPerLine + 1, k % g.itemsPerLine + 1);
}

long HitTest(const Grid& g, int x, int y, QRect* cell)
{
    if (g.count <= 0 || x < 0 || y < 0 || g.cell.width <= 0 || g.cell.height <= 0) return -1;
    const long line = g.horizontal ? x / g.cell.width : y / g.cell.height;
    const long position = g.horizontal ? y / g.cell.height : x / g.cell.width;
    if (line >= g.lineCount || position >= g.itemsPerLine) return -1;
    const long index = line * g.itemsPerLine + position + g.topIndex;
    if (index >= g.count) return -1;
    const QRect r = CellRect(g, line + 1, position + 1);
    if (!r.adjusted(2, 2, -2, -2).contains(x, y)) return -1;
    if (cell) *cell = r;
    return index;
}

CellParts CellLayoutFor(const QRect& cell, int captionType, int boxW, int boxH, int textH, int w, int h)
{
    // Right and bottom as exclusive edges, the way the cell arithmetic counts.
    const int left = cell.left() + 2, top = cell.top() + 2;
    const int right = cell.left() + cell.width() - 2, bottom = cell.top() + cell.height() - 2;
    CellParts p;
    const int imageLeft = left + 6 + (boxW - w) / 2;
    int imageTop = top + 6 + (boxH - h) / 2;
    if (captionType == captionNumber) {
        const int ct = top + 4;
        p.caption = QRect(QPoint(left + 6, ct), QPoint(right - 6 - 1, ct + textH - 1));
        imageTop = ct + textH + 4 + (boxH - h) / 2;
    } else if (captionType != captionNone) {
        const int cb = bottom - 4;
        const int ct = cb - (2 * kEdgeY + 2) - textH;
        p.caption = QRect(QPoint(left + 6 - kEdgeX / 2, ct), QPoint(right - 6 + kEdgeX / 2 - 1, cb - 1));
    }
    p.image = QRect(imageLeft, imageTop, w, h);
    return p;
}

long FocusAfterKey(int key, long f, long n, long p, long l, bool horizontal, bool holdArrows)
{
    if (n <= 0) return -1;
    if (p < 1) p = 1;
    const long last = n - 1;
    const long lastLineStart = (last / p) * p;
    auto clamp = [&](long v) { return std::clamp(v, 0L, last); };
    if (holdArrows && key >= 37 && key <= 40) return f;
    switch (key) {
    case 33: return clamp(f - l * p);
    case 34: return clamp(f + l * p);
    case 35: return last;
    case 36: return 0;
    case 37: return horizontal ? (f > p - 1 ? f - p : f) : std::max(f - 1, 0L);
    case 38: return horizontal ? std::max(f - 1, 0L) : (f > p - 1 ? f - p : f);
    case 39: return horizontal ? (f < lastLineStart ? std::min(f + p, last) : f) : std::min(f + 1, last);
    case 40: return horizontal ? std::min(f + 1, last) : (f < lastLineStart ? std::min(f + p, last) : f);
    default: return -1;
    }
}

long ScrollForFocus(const Grid& g, long oldFocus, long newFocus)
{
    if (g.itemsPerLine <= 0 || IsItemVisible(g, newFocus)) return 0;
    const long p = g.itemsPerLine;
    long reference;
    if (IsItemVisible(g, oldFocus))
        reference = oldFocus / p;
    else if (newFocus >= g.topIndex)
        reference = g.topIndex / p + g.lineCount - 1;
    else
        reference = g.topIndex / p;
    return newFocus / p - reference;
}

} // namespace thumbctl
