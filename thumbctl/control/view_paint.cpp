// Cell drawing of the thumbnail grid in the classic 3-D look.
#include "thumbctl/control/view_paint.h"

#include <QPainter>

namespace thumbctl {

namespace {

// Windows-style rectangles: right and bottom are exclusive edges.
struct Box {
    int l, t, r, b;
    QRect rect() const { return QRect(l, t, r - l, b - t); }
    Box deflated(int d) const { return {l + d, t + d, r - d, b - d}; }
};

Box BoxOf(const QRect& q) { return {q.left(), q.top(), q.left() + q.width(), q.top() + q.height()}; }

void Line(QPainter& p, const QColor& c, int x0, int y0, int x1, int y1)
{
    p.setPen(QPen(c, 1));
    p.drawLine(x0, y0, x1, y1);
}

// Two-colour frame inside a box: top and left in `tl`, bottom and right in `br`.
void Frame(QPainter& p, const Box& b, const QColor& tl, const QColor& br)
{
    if (b.r - b.l < 1 || b.b - b.t < 1) return;
    Line(p, tl, b.l, b.t, b.r - 2, b.t);
    Line(p, tl, b.l, b.t, b.l, b.b - 2);
    Line(p, br, b.l, b.b - 1, b.r - 1, b.b - 1);
    Line(p, br, b.r - 1, b.t, b.r - 1, b.b - 1);
}

void RaisedEdge(QPainter& p, const Box& b, const QPalette& pal)
{
    Frame(p, b, pal.color(QPalette::Midlight), pal.color(QPalette::Shadow));
    Frame(p, b.deflated(1), pal.color(QPalette::Light), pal.color(QPalette::Dark));
}

void SunkenEdge(QPainter& p, const Box& b, const QPalette& pal)
{
    Frame(p, b, pal.color(QPalette::Dark), pal.color(QPalette::Light));
    Frame(p, b.deflated(1), pal.color(QPalette::Shadow), pal.color(QPalette::Midlight));
}

void DrawCaptionBox(QPainter& p, const CellStyle& style, const QString& text, bool selected, const QRect& rect)
{
    const QPalette& pal = style.palette;
    const QColor fg = selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::ButtonText);
    const QColor bg = selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Button);
    Box b = BoxOf(rect);
    if (style.captionType >= captionFileName) {
        SunkenEdge(p, b, pal);
        b = {b.l + kEdgeX + 2, b.t + kEdgeY, b.r - kEdgeX - 2, b.b - kEdgeY};
    }
    p.save();
    const QRect r = b.rect();
    p.fillRect(r, bg);
    p.setClipRect(r);
    p.setFont(style.font);
    p.setPen(fg);
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    p.restore();
}

} // namespace

QString CaptionText(int captionType, long index, const CThumbnailItem& item)
{
    QString text;
    switch (captionType) {
    case captionNumber: text = QString::number(index + 1); break;
    case captionFileName: text = QString::fromStdString(item.namePart); break;
    case captionKey: text = QString::fromStdString(item.key); break;
    case captionLabel: text = QString::fromStdString(item.label); break;
    default: return {};
    }
    return item.multiPage ? QStringLiteral("(*)") + text : text;
}

QSize PictureSize(const CThumbnailItem& item, int boxWidth, int boxHeight)
{
    int64_t w = 0, h = 0;
    int bits = 0;
    if (!item.thumbnail || !GetDibInfo(item.thumbnail.get(), &w, &h, &bits)) return {};
    const ThumbSize s = FitIntoBox(w, h, boxWidth, boxHeight);
    return QSize(int(s.width), int(s.height));
}

void DrawCell(QPainter& painter, const CellStyle& style, long index, const CThumbnailItem& item, const QRect& cell,
              int parts)
{
    const QPalette& pal = style.palette;
    const QSize picture = PictureSize(item, style.boxWidth, style.boxHeight);
    const CellParts layout = CellLayoutFor(cell, style.captionType, style.boxWidth, style.boxHeight,
                                           style.textHeight, picture.width(), picture.height());
    Box r = BoxOf(cell).deflated(2);
    if (parts & partFrameAndImage) RaisedEdge(painter, r, pal);
    r = r.deflated(2);
    const bool hasPicture = !picture.isEmpty();
    const Box img = BoxOf(layout.image);
    if (parts & partBackgroundAndCaption) {
        const QColor bg = item.selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Button);
        if (!hasPicture) {
            painter.fillRect(r.rect(), bg);
        } else {
            painter.fillRect(Box{r.l, r.t, r.r, img.t}.rect(), bg);
            painter.fillRect(Box{r.l, img.b, r.r, r.b}.rect(), bg);
            painter.fillRect(Box{r.l, img.t, img.l, img.b}.rect(), bg);
            painter.fillRect(Box{img.r, img.t, r.r, img.b}.rect(), bg);
        }
        if (style.captionType != captionNone)
            DrawCaptionBox(painter, style, CaptionText(style.captionType, index, item), item.selected,
                           layout.caption);
    }
    if ((parts & partFrameAndImage) && hasPicture) {
        Frame(painter, {img.l - 1, img.t - 1, img.r + 1, img.b + 1}, pal.color(QPalette::Dark),
              pal.color(QPalette::Light));
        const QImage image = DibToImage(item.thumbnail.get());
        painter.drawImage(layout.image, image);
    }
}

void DrawFocusFrame(QPainter& painter, const QRect& cell, const QColor& colour)
{
    if (cell.isEmpty()) return;
    painter.save();
    painter.setPen(QPen(colour, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(cell.adjusted(0, 0, -1, -1));
    painter.restore();
}

} // namespace thumbctl
