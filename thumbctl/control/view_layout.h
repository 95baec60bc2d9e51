#pragma once
// Geometry and keys of the thumbnail grid as plain numbers: cell sizes, how
// many lines fit and what the scroll bar covers, cell and caption rectangles,
// hit testing, visibility and the cursor-key table.
#include <QRect>

namespace thumbctl {

// Caption kinds: none, item number, file name, key text, label text.
enum CaptionType : int { captionNone = 1, captionNumber = 2, captionFileName = 3, captionKey = 4, captionLabel = 5 };

// Width and height of the 3-D edges around captions (the classic desktop's).
constexpr int kEdgeX = 2;
constexpr int kEdgeY = 2;

struct CellSize {
    int width = 0;
    int height = 0;
};

// Cell of a thumbnail box boxW x boxH with captions of text height textH.
CellSize CellSizeFor(int captionType, int boxW, int boxH, int textH);

struct LayoutInput {
    int width = 0;   // client area measured without scroll bars
    int height = 0;
    CellSize cell;
    long count = 0;
    bool horizontal = false;  // lines are columns that scroll sideways
    int barWidth = 0;         // a vertical scroll bar's width
    int barHeight = 0;        // a horizontal scroll bar's height
};

struct Layout {
    long lineCount = 0;     // whole lines (rows or columns) that fit
    long itemsPerLine = 0;  // cells per line
    bool scrolls = false;   // the scrolling direction's bar is shown
    long barMax = 0;        // it covers lines 0 .. barMax
    long page = 0;          // its page size in lines
    long lastTop = 0;       // the last scroll position: a full page of lines ends at barMax
};

Layout ComputeLayout(const LayoutInput& in);

// The grid as painted: cell size, layout and the first visible item.
struct Grid {
    CellSize cell;
    long lineCount = 0;
    long itemsPerLine = 0;
    long topIndex = 0;
    long count = 0;
    bool horizontal = false;
};

// Cell at line and position, both counted from 1.
QRect CellRect(const Grid& g, long line, long position);
bool IsItemVisible(const Grid& g, long index);
// Cell of a visible item (empty when not visible).
QRect VisibleItemRect(const Grid& g, long index);
// Item under a point, -1 for none or for the 2-pixel margin of a cell. The
// cell (not deflated) goes to `cell` when given.
long HitTest(const Grid& g, int x, int y, QRect* cell = nullptr);

// Caption and picture rectangles in a cell for a thumbnail of w x h.
struct CellParts {
    QRect caption;
    QRect image;
};
CellParts CellLayoutFor(const QRect& cell, int captionType, int boxW, int boxH, int textH, int w, int h);

// Focus after a key (codes: 33 page up, 34 page down, 35 end, 36 home, 37..40
// left, up, right, down), -1 for other keys. n items, focus f, p per line,
// l lines. With single selection and the focus item not selected the arrow
// keys keep the focus (the first press only selects it).
long FocusAfterKey(int key, long f, long n, long p, long l, bool horizontal, bool holdArrows = false);

// Lines to scroll so that a new focus item comes into view (0 when it is
// visible already).
long ScrollForFocus(const Grid& g, long oldFocus, long newFocus);

} // namespace thumbctl
