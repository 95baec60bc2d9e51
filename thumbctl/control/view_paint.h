#pragma once
// Drawing one cell of the thumbnail grid: the raised cell, the background
// around the picture, the caption box, the sunken frame round the picture and
// the picture itself; and the focus frame.
#include "thumbctl/control/thumbnail.h"
#include "thumbctl/control/view_layout.h"

#include <QFont>
#include <QPalette>
#include <QString>

class QPainter;

namespace thumbctl {

// Which parts of a cell to draw: the frame and picture, the background and
// caption (a selection change redraws only the latter).
enum CellPart : int { partFrameAndImage = 1, partBackgroundAndCaption = 2, partAll = 3 };

struct CellStyle {
    int captionType = captionNumber;
    int boxWidth = 80;
    int boxHeight = 60;
    int textHeight = 0;
    QFont font;
    QPalette palette;
};

// Caption of an item: its 1-based number, name part, key or label, with "(*)"
// in front for a file of several pages. Empty for caption type 1.
QString CaptionText(int captionType, long index, const CThumbnailItem& item);

// Size the picture takes in the cell: the thumbnail, shrunk again into the
// box when it is larger.
QSize PictureSize(const CThumbnailItem& item, int boxWidth, int boxHeight);

void DrawCell(QPainter& painter, const CellStyle& style, long index, const CThumbnailItem& item, const QRect& cell,
              int parts);

// One-pixel frame round a cell in `colour` (highlight to draw, background to
// erase).
void DrawFocusFrame(QPainter& painter, const QRect& cell, const QColor& colour);

} // namespace thumbctl
