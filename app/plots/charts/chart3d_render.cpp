#include "chart3d_render.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

namespace charts {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kPad = 8;

QFont BaseFont(double pixelSize, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(std::max(6, int(std::lround(pixelSize))));
    f.setBold(bold);
    return f;
}

QFont HeaderFont() { return BaseFont(17, true); }
QFont FooterFont() { return BaseFont(14); }
QFont LegendFont() { return BaseFont(12); }
QFont TitleFont(int percent) { return BaseFont(13.0 * std::clamp(percent, 10, 400) / 100.0, true); }
QFont NumberFont(int percent) { return BaseFont(11.0 * std::clamp(percent, 10, 400) / 100.0); }

bool IsHole(float v, float hole) { return v == hole || std::isnan(v); }

// How far a box of size w x h reaches from its centre in direction n (unit).
double Reach(QPointF n, double w, double h) { return std::fabs(n.x()) * w / 2.0 + std::fabs(n.y()) * h / 2.0; }

// Convex outline of a few points (counter-clockwise on screen).
QPolygonF ConvexOutline(std::vector<QPointF> pts)
{
    std::sort(pts.begin(), pts.end(), [](const QPointF& a, const QPointF& b) {
        return a.x() < b.x() || (a.x() == b.x() && a.y() < b.y());
    });
    auto cross = [](const QPointF& o, const QPointF& a, const QPointF& b) {
        return (a.x() - o.x()) * (b.y() - o.y()) - (a.y() - o.y()) * (b.x() - o.x());
    };
    std::vector<QPointF> h(2 * pts.size());
    size_t k = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], pts[i]) <= 0) --k;
        h[k++] = pts[i];
    }
    for (size_t i = pts.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && cross(h[k - 2], h[k - 1], pts[i]) <= 0) --k;
        h[k++] = pts[i];
    }
    h.resize(k > 1 ? k - 1 : k);
    QPolygonF out;
    for (const QPointF& p : h) out << p;
    return out;
}

} // namespace

void KeepInside(std::vector<TextBox>* boxes, const QRectF& area)
{
    // A text too big for the picture cannot be read: it is left out rather
    // than cut.
    boxes->erase(std::remove_if(boxes->begin(), boxes->end(),
                                [&area](const TextBox& b) { return !area.adjusted(-0.5, -0.5, 0.5, 0.5).contains(b.rect); }),
                 boxes->end());
}

TextBox CentredText(const QString& text, const QFont& font, QPointF centre, bool vertical)
{
    const QFontMetricsF fm(font);
    const double w = fm.horizontalAdvance(text), h = fm.height();
    TextBox b;
    b.text = text;
    b.font = font;
    b.vertical = vertical;
    b.rect = vertical ? QRectF(centre.x() - h / 2, centre.y() - w / 2, h, w) : QRectF(centre.x() - w / 2, centre.y() - h / 2, w, h);
    return b;
}

void DrawTextBox(QPainter& p, const TextBox& box)
{
    p.setFont(box.font);
    p.setPen(Qt::black);
    const QFontMetricsF fm(box.font);
    if (!box.vertical) {
        p.drawText(QPointF(box.rect.left(), box.rect.top() + fm.ascent()), box.text);
        return;
    }
    p.save();
    p.translate(box.rect.center());
    p.rotate(-90);
    p.drawText(QPointF(-box.rect.height() / 2, -box.rect.width() / 2 + fm.ascent()), box.text);
    p.restore();
}

bool IsClear(const std::vector<TextBox>& placed, const TextBox& box, double margin)
{
    const QRectF grown = box.rect.adjusted(-margin, -margin, margin, margin);
    for (const TextBox& b : placed)
        if (grown.intersects(b.rect)) return false;
    return true;
}

bool PlaceIfFree(std::vector<TextBox>& placed, const TextBox& box, double margin)
{
    if (!IsClear(placed, box, margin)) return false;
    placed.push_back(box);
    return true;
}

QStringList TextLines(const QString& text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
    return t.split('\n');
}

QString FormatTick(double v, double step)
{
    if (std::fabs(v) < step * 1e-9) v = 0.0;
    // As many decimals as the step needs to be whole (0.25 needs two, 2.5 one),
    // at most eight.
    int decimals = 0;
    if (step > 0 && std::isfinite(step)) {
        for (double scaled = step;
             decimals < 8 && (std::round(scaled) == 0.0 || std::fabs(scaled - std::round(scaled)) > 1e-6 * scaled);
             scaled *= 10.0)
            ++decimals;
    }
    return QString::number(v, 'f', decimals);
}

std::vector<double> NiceTicks(double lo, double hi, int maxCount)
{
    std::vector<double> out;
    if (!(hi > lo) || maxCount < 2 || !std::isfinite(lo) || !std::isfinite(hi)) return out;
    // A reader needs at least three numbers to read an axis off, so a budget
    // under three still gets three.
    const int budget = std::max(maxCount, 3);
    const double span = hi - lo;
    if (!std::isfinite(span) || !(span > 0)) return out;
    auto countFor = [lo, hi](double step) {
        return std::floor(hi / step + 1e-9) - std::ceil(lo / step - 1e-9) + 1.0;
    };
    // Steps of 1, 2, 2.5 and 5 times a power of ten, from one that leaves at
    // most one tick in the range down to the smallest whose ticks still fit
    // the budget.
    const double top = std::pow(10.0, std::ceil(std::log10(span)));
    double best = 0.0, fallback = 0.0;
    for (double mag = top; mag >= top * 1e-4 && best == 0.0; mag /= 10.0) {
        for (double m : {5.0, 2.5, 2.0, 1.0}) {
            const double step = m * mag;
            const double n = countFor(step);
            if (n > budget) {
                // Over budget: the last step that fitted, or this one when
                // none gave three ticks.
                best = fallback != 0.0 ? fallback : step;
                break;
            }
            if (n >= 3) fallback = step;
        }
    }
    if (best == 0.0) best = fallback;
    if (best == 0.0) return out;
    const double k0 = std::ceil(lo / best - 1e-9), k1 = std::floor(hi / best + 1e-9);
    for (double k = k0; k <= k1 && out.size() < 1000; k += 1.0) {
        double v = k * best;
        if (std::fabs(v) < best * 1e-9) v = 0.0;
        out.push_back(v);
    }
    return out;
}

void FillTriangle(QImage& image, const QPointF& a, const QPointF& b, const QPointF& c, unsigned colour,
                  const QRect& clip)
{
    const double ymin = std::min({a.y(), b.y(), c.y()});
    const double ymax = std::max({a.y(), b.y(), c.y()});
    int r0 = int(std::ceil(ymin - 0.5));
    int r1 = int(std::ceil(ymax - 0.5)) - 1;
    r0 = std::max(r0, clip.top());
    r1 = std::min(r1, clip.bottom());
    if (r0 > r1) return;
    const QPointF v[3] = {a, b, c};
    for (int r = r0; r <= r1; ++r) {
        const double yc = r + 0.5;
        double xl = 1e30, xr = -1e30;
        for (int e = 0; e < 3; ++e) {
            const QPointF& p = v[e];
            const QPointF& q = v[(e + 1) % 3];
            if ((p.y() <= yc && yc < q.y()) || (q.y() <= yc && yc < p.y())) {
                const double x = p.x() + (yc - p.y()) * (q.x() - p.x()) / (q.y() - p.y());
                xl = std::min(xl, x);
                xr = std::max(xr, x);
            }
        }
        if (xl > xr) continue;
        int c0 = std::max(int(std::ceil(xl - 0.5)), clip.left());
        int c1 = std::min(int(std::ceil(xr - 0.5)) - 1, clip.right());
        if (c0 > c1) continue;
        auto* line = reinterpret_cast<unsigned*>(image.scanLine(r));
        std::fill(line + c0, line + c1 + 1, colour);
    }
}

Chart3DLayout::Chart3DLayout(const Chart3D& chart) : c_(chart)
{
    nx_ = chart.pointsX();
    ny_ = chart.pointsY();
    grid_ = chart.gridValid();
    xmin_ = chart.axisMin(Axis3D::X);
    xmax_ = chart.axisMax(Axis3D::X);
    ymin_ = chart.axisMin(Axis3D::Y);
    ymax_ = chart.axisMax(Axis3D::Y);
    zmin_ = chart.axisMin(Axis3D::Z);
    zmax_ = chart.axisMax(Axis3D::Z);
    auto widen = [](double& lo, double& hi) {
        if (!(hi > lo)) {
            const double mid = lo;
            lo = mid - 0.5;
            hi = mid + 0.5;
        }
    };
    widen(xmin_, xmax_);
    widen(ymin_, ymax_);
    widen(zmin_, zmax_);
    levels_ = chart.levels();
    // A flat result has every level at one value: it is drawn in the middle
    // colour of the ramp rather than the top one.
    flat_ = levels_.size() > 1 && levels_.front() == levels_.back();
    for (size_t k = 1; k <= std::max<size_t>(levels_.size(), 1); ++k)
        colours_.push_back(flat_ ? chart.style().rampColour(0.5).rgb() : chart.levelColour(int(k)).rgb());
    layoutFrame();
    if (chart.kind() == ChartKind::Surface) layoutSurface();
    else if (chart.kind() == ChartKind::Contour) layoutContour();
    if (chart.kind() == ChartKind::LegendOnly || chart.legendShown()) layoutLegend();
}

unsigned Chart3DLayout::colourOf(double v) const
{
    size_t li = levels_.empty() ? 0 : size_t(std::upper_bound(levels_.begin(), levels_.end(), v) - levels_.begin());
    if (li > 0) --li;
    return colours_[std::min(li, colours_.size() - 1)];
}

void Chart3DLayout::layoutFrame()
{
    const QSize size = c_.size();
    QRect area(0, 0, size.width(), size.height());
    area.adjust(kPad, kPad, -kPad, -kPad);
    auto block = [this](const QString& text, const QFont& font, const QRect& r) {
        const QStringList lines = TextLines(text);
        const QFontMetricsF fm(font);
        const double top = r.center().y() + 0.5 - fm.height() * lines.size() / 2.0;
        // A line wider than the picture ends in an ellipsis.
        for (int i = 0; i < lines.size(); ++i)
            if (!lines[i].isEmpty())
                frameText_.push_back(CentredText(fm.elidedText(lines[i], Qt::ElideRight, r.width()), font, QPointF(r.center().x() + 0.5, top + fm.height() * (i + 0.5))));
    };
    if (c_.headerShown() && !c_.headerText().isEmpty()) {
        const QFontMetrics fm(HeaderFont());
        const int lines = int(TextLines(c_.headerText()).size());
        headerRect_ = QRect(area.left(), area.top(), area.width(), fm.height() * lines + 4);
        area.setTop(headerRect_.bottom() + 1 + 4);
        block(c_.headerText(), HeaderFont(), headerRect_);
    }
    if (c_.footerShown() && !c_.footerText().isEmpty()) {
        const QFontMetrics fm(FooterFont());
        const int lines = int(TextLines(c_.footerText()).size());
        const int h = fm.height() * lines + 4;
        footerRect_ = QRect(area.left(), area.bottom() - h + 1, area.width(), h);
        area.setBottom(footerRect_.top() - 1 - 4);
        block(c_.footerText(), FooterFont(), footerRect_);
    }
    if (c_.kind() == ChartKind::LegendOnly) {
        legendRect_ = area;
        return;
    }
    if (c_.legendShown()) {
        const QFontMetrics fm(LegendFont());
        int textW = fm.horizontalAdvance(QStringLiteral("-0.00"));
        for (const LegendLabel& l : c_.legendLabels())
            textW = std::max({textW, fm.horizontalAdvance(l.text), fm.horizontalAdvance(l.secondText)});
        const int w = std::clamp(textW + 30 + 4 * kPad, 90, std::max(90, area.width() * 2 / 5));
        legendRect_ = QRect(area.right() - w + 1, area.top(), w, area.height());
        area.setRight(legendRect_.left() - 1 - kPad);
    }
    plotRect_ = area;
}

// The legend's drawing area: swatches at its left edge, texts beside them.
struct Chart3DLayout::LegendArea {
    QRectF r;
    double swatchW = 24;
    double tx = 0;   // left edge of the texts
    QColor outline;
    QFont font;
};

void Chart3DLayout::layoutLegend()
{
    if (legendRect_.isEmpty()) return;
    LegendArea a;
    a.font = LegendFont();
    const QFontMetricsF fm(a.font);
    a.r = QRectF(legendRect_).adjusted(kPad, kPad + fm.height() / 2, -kPad, -kPad - fm.height() / 2);
    a.tx = a.r.left() + a.swatchW + 9;   // clear of the tick marks and of a minus sign
    a.outline = c_.style().meshColour.isValid() ? c_.style().meshColour : QColor(90, 90, 90);
    const int mode = c_.legendMode();
    if (flat_) layoutFlatLegend(a);
    else if (mode == 2) layoutZoneLegend(a);
    else if (mode == 1) layoutLineLegend(a);
    else layoutBarLegend(a);
}

void Chart3DLayout::legendFill(const QRectF& box, const QColor& colour)
{
    legendMarks_.push_back({Mark::Fill, box, QLineF(), colour, 0});
}

void Chart3DLayout::legendOutline(const LegendArea& a, const QRectF& box)
{
    legendMarks_.push_back({Mark::Outline, box, QLineF(), a.outline, 0});
}

void Chart3DLayout::legendLine(const QLineF& line, const QColor& colour, double width)
{
    legendMarks_.push_back({Mark::Line, QRectF(), line, colour, width});
}

bool Chart3DLayout::legendText(const LegendArea& a, double y, const QString& s, bool tick)
{
    // Left-aligned at the texts' edge, centred on height y; the tick at y when asked.
    if (s.isEmpty()) return false;
    TextBox b = CentredText(s, a.font, QPointF(0, y));
    b.rect.moveLeft(a.tx);
    if (!PlaceIfFree(legendText_, b)) return false;
    if (tick) legendLine(QLineF(a.r.left() + a.swatchW, y, a.r.left() + a.swatchW + 4, y), a.outline, 0);
    return true;
}

void Chart3DLayout::layoutFlatLegend(const LegendArea& a)
{
    // One value: one swatch in the middle colour, named once.
    QString first;
    for (const LegendLabel& l : c_.legendLabels()) {
        first = !l.text.isEmpty() ? l.text : l.secondText;
        if (!first.isEmpty()) break;
    }
    const double h = std::min(24.0, a.r.height());
    const QRectF box(a.r.left(), a.r.center().y() - h / 2, a.swatchW, h);
    legendFill(box, QColor(colours_.front()));
    legendOutline(a, box);
    legendText(a, box.center().y(), first, false);
}

void Chart3DLayout::layoutZoneLegend(const LegendArea& a)
{
    // Filled zones: the bands between neighbouring levels, as the map
    // shows them, each label (the lower edge of its zone) on the
    // boundary it names. Zone 1, under the first level, only when named.
    const int n = int(levels_.size());
    const std::vector<LegendLabel>& labels = c_.legendLabels();
    if (n < 1) return;
    const bool zone1 = !labels.empty() && !labels[0].text.isEmpty();
    const int bands = std::max(1, n - 1) + (zone1 ? 1 : 0);
    const double h = std::min(24.0, a.r.height() / bands);
    const double bottom = a.r.center().y() + h * bands / 2.0;
    for (int b = 0; b < bands; ++b) {
        const int level = zone1 ? std::max(1, b) : b + 1;
        legendFill(QRectF(a.r.left(), bottom - (b + 1) * h, a.swatchW, h + 0.5), QColor(colours_[size_t(level - 1)]));
    }
    legendOutline(a, QRectF(a.r.left(), bottom - bands * h, a.swatchW, bands * h));
    auto boundaryY = [&](int level) { return bottom - ((zone1 ? 1 : 0) + (level - 1)) * h; };
    // Both ends first, then the rest from the bottom up while there is room.
    std::vector<int> order;
    const int last = std::min(int(labels.size()), n + 1);
    if (last >= 2) order = {2, last};
    for (int j = 3; j < last; ++j) order.push_back(j);
    for (int j : order) legendText(a, boundaryY(j - 1), labels[size_t(j - 1)].text, true);
    if (zone1) legendText(a, bottom - h / 2, labels[0].text, false);
}

void Chart3DLayout::layoutLineLegend(const LegendArea& a)
{
    // Lines: label k names level k.
    const std::vector<LegendLabel>& labels = c_.legendLabels();
    std::vector<int> shown;
    for (size_t k = 1; k <= labels.size(); ++k)
        if (!labels[k - 1].text.isEmpty()) shown.push_back(int(k));
    if (shown.empty()) return;
    const double h = std::min(22.0, a.r.height() / shown.size());
    const double top = a.r.center().y() - h * shown.size() / 2.0;
    for (size_t s = 0; s < shown.size(); ++s) {
        const int k = shown[s];
        const double y = std::floor(top + (shown.size() - 1 - s) * h + h / 2) + 0.5;
        if (!legendText(a, y, labels[size_t(k - 1)].text, false)) continue;
        const QColor colour = c_.style().lineColour.isValid() ? c_.style().lineColour : c_.levelColour(k);
        legendLine(QLineF(a.r.left(), y, a.r.left() + a.swatchW, y), colour, std::max(2.0, std::round(c_.style().lineWidth)));
    }
}

void Chart3DLayout::layoutBarLegend(const LegendArea& a)
{
    // Colour bar: one band per level; the ends named first.
    const int n = int(levels_.size());
    const std::vector<LegendLabel>& labels = c_.legendLabels();
    if (n < 1) return;
    const double bandH = std::min(12.0, a.r.height() / n);
    const double barH = bandH * n;
    const double bottom = a.r.center().y() + barH / 2.0;
    for (int k = 1; k <= n; ++k)
        legendFill(QRectF(a.r.left(), bottom - k * bandH, a.swatchW, bandH + 0.5), QColor(colours_[size_t(k - 1)]));
    legendOutline(a, QRectF(a.r.left(), bottom - barH, a.swatchW, barH));
    if (!labels.empty()) legendText(a, bottom, labels[0].secondText, true);
    if (size_t(n) <= labels.size()) legendText(a, bottom - barH, labels[size_t(n - 1)].secondText, true);
    for (size_t k = 1; k <= labels.size() && int(k) <= n; ++k) legendText(a, bottom - int(k) * bandH, labels[k - 1].text, true);
}

void Chart3DLayout::layoutContour()
{
    // The map keeps its proportions inside the plot area less what its
    // numbers and titles need, measured.
    const QRectF plot = QRectF(plotRect_).adjusted(2, 2, -2, -2);
    QRectF inner = plot;
    std::vector<double> xt, yt;
    for (int pass = 0; pass < 4; ++pass) {
        const double ex = c_.plotExtentX() > 0 ? c_.plotExtentX() : 1.0;
        const double ey = c_.plotExtentY() > 0 ? c_.plotExtentY() : 1.0;
        const double ratio = ey / ex;
        double w = inner.width(), h = w * ratio;
        if (h > inner.height()) {
            h = inner.height();
            w = h / ratio;
        }
        dataRect_ = QRectF(std::round(inner.center().x() - w / 2.0), std::round(inner.center().y() - h / 2.0),
                           std::max(1.0, std::round(w)), std::max(1.0, std::round(h)));
        placeContourText(&xt, &yt);
        QRectF all = dataRect_;
        for (const TextBox& t : axisText_) all |= t.rect;
        const QRectF next = plot.adjusted(dataRect_.left() - all.left(), dataRect_.top() - all.top(),
                                          dataRect_.right() - all.right(), dataRect_.bottom() - all.bottom());
        if (next.width() < 10 || next.height() < 10) break;
        if (std::fabs(next.left() - inner.left()) < 1 && std::fabs(next.right() - inner.right()) < 1 &&
            std::fabs(next.top() - inner.top()) < 1 && std::fabs(next.bottom() - inner.bottom()) < 1)
            break;
        inner = next;
    }
    KeepInside(&axisText_, QRectF(plotRect_));
}

void Chart3DLayout::placeContourText(std::vector<double>* xt, std::vector<double>* yt)
{
    axisText_.clear();
    tickMarks_.clear();
    xt->clear();
    yt->clear();
    const QRectF d = dataRect_;
    auto crowded = [](const std::vector<TextBox>& b, double mx, double my) {
        for (size_t k = 1; k < b.size(); ++k)
            if (b[k].rect.adjusted(-mx, -my, mx, my).intersects(b[k - 1].rect)) return true;
        return false;
    };
    double numbersH = 0, numbersW = 0;
    if (c_.axisAnnotation(Axis3D::X) == 1) {
        const QFont font = NumberFont(c_.axisNumberFontSize(Axis3D::X));
        const QFontMetricsF fm(font);
        std::vector<TextBox> boxes;
        for (int budget = 10; budget >= 2; --budget) {
            *xt = NiceTicks(xmin_, xmax_, budget);
            boxes.clear();
            const double step = xt->size() > 1 ? (*xt)[1] - (*xt)[0] : 1.0;
            for (double t : *xt) {
                const double x = d.left() + (t - xmin_) / (xmax_ - xmin_) * d.width();
                boxes.push_back(CentredText(FormatTick(t, step), font, QPointF(x, d.bottom() + 7 + fm.height() / 2)));
            }
            if (!crowded(boxes, 8, 0)) break;
        }
        for (size_t k = 0; k < boxes.size(); ++k) {
            if (!PlaceIfFree(axisText_, boxes[k])) continue;
            const double x = boxes[k].rect.center().x();
            tickMarks_.push_back(QLineF(x, d.bottom() + 1, x, d.bottom() + 5));
            numbersH = fm.height() + 7;
        }
    }
    if (c_.axisAnnotation(Axis3D::Y) == 1) {
        const QFont font = NumberFont(c_.axisNumberFontSize(Axis3D::Y));
        const QFontMetricsF fm(font);
        std::vector<TextBox> boxes;
        for (int budget = 10; budget >= 2; --budget) {
            *yt = NiceTicks(ymin_, ymax_, budget);
            boxes.clear();
            const double step = yt->size() > 1 ? (*yt)[1] - (*yt)[0] : 1.0;
            for (double t : *yt) {
                const double y = d.bottom() - (t - ymin_) / (ymax_ - ymin_) * d.height();
                TextBox b = CentredText(FormatTick(t, step), font, QPointF(0, y));
                b.rect.moveRight(d.left() - 8);
                boxes.push_back(b);
            }
            if (!crowded(boxes, 0, 4)) break;
        }
        for (size_t k = 0; k < boxes.size(); ++k) {
            if (!PlaceIfFree(axisText_, boxes[k])) continue;
            const double y = boxes[k].rect.center().y();
            tickMarks_.push_back(QLineF(d.left() - 5, y, d.left() - 1, y));
            numbersW = std::max(numbersW, boxes[k].rect.width() + 8);
        }
    }
    if (!c_.axisTitle(Axis3D::X).isEmpty()) {
        const QFont font = TitleFont(c_.axisTitleFontSize(Axis3D::X));
        const QFontMetricsF fm(font);
        PlaceIfFree(axisText_, CentredText(c_.axisTitle(Axis3D::X), font,
                                           QPointF(d.center().x(), d.bottom() + std::max(numbersH, 4.0) + 5 + fm.height() / 2)));
    }
    if (!c_.axisTitle(Axis3D::Y).isEmpty()) {
        const QFont font = TitleFont(c_.axisTitleFontSize(Axis3D::Y));
        const QFontMetricsF fm(font);
        PlaceIfFree(axisText_, CentredText(c_.axisTitle(Axis3D::Y), font,
                                           QPointF(d.left() - std::max(numbersW, 4.0) - 6 - fm.height() / 2, d.center().y()), true));
    }
}

double Chart3DLayout::normX(double x) const { return ((x - xmin_) / (xmax_ - xmin_) - 0.5) * ex_; }
double Chart3DLayout::normY(double y) const { return ((y - ymin_) / (ymax_ - ymin_) - 0.5) * ey_; }
double Chart3DLayout::normZ(double z) const { return ((z - zmin_) / (zmax_ - zmin_) - 0.5) * ez_; }

QPointF Chart3DLayout::project(double x, double y, double z) const
{
    const double u = normX(x), v = normY(y), w = normZ(z);
    const double ur = u * cosR_ - v * sinR_;
    const double vr = u * sinR_ + v * cosR_;
    const double up = w * cosE_ + vr * sinE_;
    return QPointF(cx_ + scale_ * ur, cy_ - scale_ * up);
}

void Chart3DLayout::layoutSurface()
{
    const double ex = c_.plotExtentX() > 0 ? c_.plotExtentX() : 1.0;
    const double ey = c_.plotExtentY() > 0 ? c_.plotExtentY() : 1.0;
    const double m = std::max(ex, ey);
    ex_ = ex / m;
    ey_ = ey / m;
    ez_ = 0.55;
    const double r = c_.viewRotation() * kPi / 180.0;
    const double e = c_.viewElevation() * kPi / 180.0;
    cosR_ = std::cos(r);
    sinR_ = std::sin(r);
    cosE_ = std::cos(e);
    sinE_ = std::sin(e);
    // Fit the box into the plot area, then shrink it until the axis texts
    // around it fit too (they keep their size whatever the box's).
    auto fit = [this](const QRectF& avail) {
        scale_ = 1.0;
        cx_ = cy_ = 0.0;
        double bx0 = 1e30, bx1 = -1e30, by0 = 1e30, by1 = -1e30;
        for (int k = 0; k < 8; ++k) {
            const QPointF p = project(k & 1 ? xmax_ : xmin_, k & 2 ? ymax_ : ymin_, k & 4 ? zmax_ : zmin_);
            bx0 = std::min(bx0, p.x());
            bx1 = std::max(bx1, p.x());
            by0 = std::min(by0, p.y());
            by1 = std::max(by1, p.y());
        }
        const double bw = std::max(bx1 - bx0, 1e-9), bh = std::max(by1 - by0, 1e-9);
        scale_ = std::min(std::max(avail.width(), 10.0) / bw, std::max(avail.height(), 10.0) / bh) * c_.viewScale();
        cx_ = avail.center().x() - scale_ * (bx0 + bx1) / 2.0;
        cy_ = avail.center().y() - scale_ * (by0 + by1) / 2.0;
    };
    const QRectF plot = QRectF(plotRect_).adjusted(4, 4, -4, -4);
    QRectF avail = plot;
    for (int pass = 0; pass < 5; ++pass) {
        fit(avail);
        placeSurfaceText();
        if (c_.viewScale() != 1.0) break;
        const QRectF hb = hull_.boundingRect();
        QRectF all = hb;
        for (const TextBox& t : axisText_) all |= t.rect;
        const QRectF next = plot.adjusted(hb.left() - all.left(), hb.top() - all.top(), hb.right() - all.right(),
                                          hb.bottom() - all.bottom());
        if (next.width() < 40 || next.height() < 40) break;
        if (std::fabs(next.left() - avail.left()) < 1 && std::fabs(next.right() - avail.right()) < 1 &&
            std::fabs(next.top() - avail.top()) < 1 && std::fabs(next.bottom() - avail.bottom()) < 1)
            break;
        avail = next;
    }
    KeepInside(&axisText_, QRectF(plotRect_));

    if (!grid_) return;
    nodes_.resize(size_t(nx_) * size_t(ny_));
    const std::vector<float>& vals = c_.gridValues();
    const double ox = c_.originX(), oy = c_.originY(), sx = c_.spacingX(), sy = c_.spacingY();
    for (int j = 0; j < ny_; ++j) {
        const double y = oy + j * sy;
        for (int i = 0; i < nx_; ++i) {
            const size_t k = size_t(j) * size_t(nx_) + size_t(i);
            const QPointF p = project(ox + i * sx, y, vals[k]);
            nodes_[k] = {float(p.x()), float(p.y())};
        }
    }
}

// An edge of the surface's box that carries an axis's numbers and title:
// the corners it joins and its outward normal.
struct Chart3DLayout::SurfaceAxis {
    Axis3D axis = Axis3D::X;
    int a = -1, b = -1;   // corners; -1 when no edge of the outline fits
    QPointF out;          // unit normal pointing away from the box
    double lo = 0, hi = 1;
    bool vertical = false;   // title turned to read upwards
    double reach = 0;        // how far numbers stand off the edge
};

namespace {
constexpr double kSurfaceTextGap = 8;
} // namespace

void Chart3DLayout::placeSurfaceText()
{
    axisText_.clear();
    tickMarks_.clear();
    zAxisLine_ = QLineF();
    QPointF P[8];
    std::vector<QPointF> pts;
    for (int k = 0; k < 8; ++k) {
        P[k] = project(k & 1 ? xmax_ : xmin_, k & 2 ? ymax_ : ymin_, k & 4 ? zmax_ : zmin_);
        pts.push_back(P[k]);
    }
    hull_ = ConvexOutline(pts);
    static const int xEdges[4][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}};
    static const int yEdges[4][2] = {{0, 2}, {1, 3}, {4, 6}, {5, 7}};
    static const int zEdges[4][2] = {{0, 4}, {1, 5}, {2, 6}, {3, 7}};
    SurfaceAxis plans[3] = {SurfaceEdge(P, xEdges, false), SurfaceEdge(P, yEdges, false), SurfaceEdge(P, zEdges, true)};
    const double limits[3][2] = {{xmin_, xmax_}, {ymin_, ymax_}, {zmin_, zmax_}};
    for (int k = 0; k < 3; ++k) {
        plans[k].axis = Axis3D(k);
        plans[k].lo = limits[k][0];
        plans[k].hi = limits[k][1];
        plans[k].vertical = k == 2;
    }
    for (SurfaceAxis& a : plans) {
        a.reach = kSurfaceTextGap;
        if (a.a < 0) continue;
        if (a.axis == Axis3D::Z) zAxisLine_ = QLineF(P[a.a], P[a.b]);
        if (c_.axisAnnotation(a.axis) == 1) placeSurfaceNumbers(P, &a);
    }
    for (const SurfaceAxis& a : plans) placeSurfaceTitle(P, a);
}

Chart3DLayout::SurfaceAxis Chart3DLayout::SurfaceEdge(const QPointF (&P)[8], const int (&cands)[4][2], bool vertical)
{
    // An edge of the box can carry numbers when it lies on the box's outline:
    // every other corner on one side. Its numbers go on the other side, so
    // no text is ever drawn over the surface, whatever the view.
    auto outlineEdge = [&](int a, int b, SurfaceAxis* e) {
        const QPointF d = P[b] - P[a];
        const double len = std::hypot(d.x(), d.y());
        if (len < 20) return false;
        const QPointF n(-d.y() / len, d.x() / len);
        double lo = 1e30, hi = -1e30;
        for (int k = 0; k < 8; ++k) {
            if (k == a || k == b) continue;
            const double s = QPointF::dotProduct(P[k] - P[a], n);
            lo = std::min(lo, s);
            hi = std::max(hi, s);
        }
        if (hi <= 0.5) e->out = n;
        else if (lo >= -0.5) e->out = -n;
        else return false;
        e->a = a;
        e->b = b;
        return true;
    };
    // X and Y: an outline edge on the floor if there is one, the lowest on
    // the picture first; Z: the outline edge furthest left.
    SurfaceAxis best;
    double bestScore = -1e30;
    for (const auto& c : cands) {
        SurfaceAxis e;
        if (!outlineEdge(c[0], c[1], &e)) continue;
        const QPointF mid = (P[c[0]] + P[c[1]]) / 2.0;
        const double score = vertical ? -mid.x() : ((c[0] & 4) ? 0.0 : 1e6) + mid.y();
        if (score > bestScore) {
            bestScore = score;
            best = e;
        }
    }
    return best;
}

void Chart3DLayout::placeSurfaceNumbers(const QPointF (&P)[8], SurfaceAxis* axis)
{
    SurfaceAxis& a = *axis;
    const QPointF A = P[a.a], B = P[a.b], n = a.out;
    const double gap = kSurfaceTextGap;
    const QFont font = NumberFont(c_.axisNumberFontSize(a.axis));
    const QFontMetricsF fm(font);
    auto boxesFor = [&](const std::vector<double>& ticks) {
        std::vector<TextBox> out;
        const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
        for (double t : ticks) {
            const QString s = FormatTick(t, step);
            const QPointF q = A + (B - A) * ((t - a.lo) / (a.hi - a.lo));
            const double w = fm.horizontalAdvance(s), h = fm.height();
            out.push_back(CentredText(s, font, q + n * (gap + Reach(n, w, h))));
        }
        return out;
    };
    auto crowded = [](const std::vector<TextBox>& b) {
        for (size_t k = 1; k < b.size(); ++k)
            if (b[k].rect.adjusted(-8, -3, 8, 3).intersects(b[k - 1].rect)) return true;
        return false;
    };
    // As many numbers as fit along the edge without touching.
    std::vector<double> ticks;
    std::vector<TextBox> boxes;
    for (int budget = 10; budget >= 2; --budget) {
        ticks = NiceTicks(a.lo, a.hi, budget);
        boxes = boxesFor(ticks);
        if (!crowded(boxes)) break;
    }
    while (crowded(boxes) && ticks.size() > 1) {
        std::vector<double> fewer;
        for (size_t k = 0; k < ticks.size(); k += 2) fewer.push_back(ticks[k]);
        ticks = fewer;
        boxes = boxesFor(ticks);
    }
    // Where two axes meet, the number that comes second gives way, and
    // keeps well apart from the other axis's ("200" and "0" must not read
    // as "2000").
    const std::vector<TextBox> others = axisText_;
    for (size_t k = 0; k < boxes.size(); ++k) {
        if (!IsClear(others, boxes[k], 10.0)) continue;
        axisText_.push_back(boxes[k]);
        const QPointF q = A + (B - A) * ((ticks[k] - a.lo) / (a.hi - a.lo));
        tickMarks_.push_back(QLineF(q, q + n * 5));
        a.reach = std::max(a.reach, gap + 2 * Reach(n, boxes[k].rect.width(), boxes[k].rect.height()));
    }
}

void Chart3DLayout::placeSurfaceTitle(const QPointF (&P)[8], const SurfaceAxis& a)
{
    const QString title = c_.axisTitle(a.axis);
    if (title.isEmpty() || a.a < 0) return;
    const QFont font = TitleFont(c_.axisTitleFontSize(a.axis));
    const QFontMetricsF fm(font);
    const QPointF mid = (P[a.a] + P[a.b]) / 2.0, n = a.out;
    const double w = a.vertical ? fm.height() : fm.horizontalAdvance(title);
    const double h = a.vertical ? fm.horizontalAdvance(title) : fm.height();
    // Beyond the numbers; further out while something is in the way.
    for (int step = 0; step < 40; ++step) {
        const TextBox b = CentredText(title, font, mid + n * (a.reach + 6 + Reach(n, w, h) + 6 * step), a.vertical);
        if (PlaceIfFree(axisText_, b, 3.0)) break;
    }
}

void Chart3DLayout::cellOrder(int* i0, int* di, int* j0, int* dj) const
{
    // Horizontal depth grows with i by a and with j by b; far cells first.
    const double sgn = cosE_ >= 0 ? 1.0 : -1.0;
    const double a = sgn * sinR_ * (c_.spacingX() >= 0 ? 1.0 : -1.0);
    const double b = sgn * cosR_ * (c_.spacingY() >= 0 ? 1.0 : -1.0);
    if (a > 0) { *i0 = nx_ - 2; *di = -1; } else { *i0 = 0; *di = 1; }
    if (b > 0) { *j0 = ny_ - 2; *dj = -1; } else { *j0 = 0; *dj = 1; }
}

void Chart3DLayout::render(QImage& image) const
{
    drawFrame(image);
    if (c_.kind() == ChartKind::Surface) {
        drawSurfaceAxes(image, true);
        drawSurface(image);
        drawSurfaceAxes(image, false);
    } else if (c_.kind() == ChartKind::Contour) {
        if (c_.contourFilled()) drawContourFill(image);
        else drawContourLines(image);
        drawContourAxes(image);
    }
    if (c_.kind() == ChartKind::LegendOnly || c_.legendShown()) drawLegend(image);
    drawChartLabels(image);
}

void Chart3DLayout::drawFrame(QImage& image) const
{
    image.fill(c_.chartBackground());
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (const TextBox& t : frameText_) DrawTextBox(p, t);
}

std::vector<TextBox> Chart3DLayout::textBoxes() const
{
    std::vector<TextBox> out = frameText_;
    out.insert(out.end(), axisText_.begin(), axisText_.end());
    out.insert(out.end(), legendText_.begin(), legendText_.end());
    return out;
}

QPointF Chart3DLayout::freeSpot(QSizeF box, bool right, bool bottom) const
{
    const QRectF area = QRectF(plotRect_).adjusted(6, 6, -6, -6);
    const double l = area.left(), r = std::max(area.left(), area.right() - box.width());
    const double t = area.top(), b = std::max(area.top(), area.bottom() - box.height());
    const QPointF corners[4] = {QPointF(right ? r : l, bottom ? b : t), QPointF(right ? r : l, bottom ? t : b),
                                QPointF(right ? l : r, bottom ? b : t), QPointF(right ? l : r, bottom ? t : b)};
    for (const QPointF& c : corners) {
        // Slide along the side away from the axes' texts.
        for (int step = 0; step < 40; ++step) {
            const double dy = (c.y() == t ? 1 : -1) * 8.0 * step;
            const QRectF rect(QPointF(c.x(), c.y() + dy), box);
            if (rect.top() < t - 0.5 || rect.bottom() > area.bottom() + 0.5) break;
            bool clear = true;
            for (const TextBox& tb : axisText_)
                if (rect.adjusted(-4, -4, 4, 4).intersects(tb.rect)) clear = false;
            if (clear) return rect.topLeft();
        }
    }
    return corners[0];
}

void Chart3DLayout::drawSurface(QImage& image) const
{
    if (!grid_ || nx_ < 2 || ny_ < 2) return;
    const std::vector<float>& vals = c_.gridValues();
    const float hole = float(c_.holeValue());
    const QRect clip = plotRect_.intersected(image.rect());
    const double ox = c_.originX(), oy = c_.originY(), sx = c_.spacingX(), sy = c_.spacingY();
    // A cell reaching past the Z limits is cut at them, like the 2D charts
    // clip: each triangle is cut against both limits and what is left drawn.
    struct V { double x, y, z; };
    auto cut = [](const std::vector<V>& in, double limit, bool keepBelow) {
        std::vector<V> out;
        for (size_t k = 0; k < in.size(); ++k) {
            const V& a = in[k];
            const V& b = in[(k + 1) % in.size()];
            const bool ina = keepBelow ? a.z <= limit : a.z >= limit;
            const bool inb = keepBelow ? b.z <= limit : b.z >= limit;
            if (ina) out.push_back(a);
            if (ina != inb) {
                const double t = (limit - a.z) / (b.z - a.z);
                out.push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), limit});
            }
        }
        return out;
    };
    auto drawCut = [&](const V& a, const V& b, const V& c, unsigned col) {
        std::vector<V> poly = cut(cut({a, b, c}, zmin_, false), zmax_, true);
        if (poly.size() < 3) return;
        const QPointF p0 = project(poly[0].x, poly[0].y, poly[0].z);
        for (size_t k = 1; k + 1 < poly.size(); ++k)
            FillTriangle(image, p0, project(poly[k].x, poly[k].y, poly[k].z),
                         project(poly[k + 1].x, poly[k + 1].y, poly[k + 1].z), col, clip);
    };
    auto inside = [this](float v) { return v >= zmin_ && v <= zmax_; };
    int i0, di, j0, dj;
    cellOrder(&i0, &di, &j0, &dj);
    for (int jn = 0, j = j0; jn < ny_ - 1; ++jn, j += dj) {
        for (int in = 0, i = i0; in < nx_ - 1; ++in, i += di) {
            const size_t k00 = size_t(j) * size_t(nx_) + size_t(i);
            const size_t k10 = k00 + 1, k01 = k00 + size_t(nx_), k11 = k01 + 1;
            const float v00 = vals[k00], v10 = vals[k10], v01 = vals[k01], v11 = vals[k11];
            if (IsHole(v00, hole) || IsHole(v10, hole) || IsHole(v01, hole) || IsHole(v11, hole)) continue;
            const unsigned col = colourOf((double(v00) + v10 + v01 + v11) / 4.0);
            if (inside(v00) && inside(v10) && inside(v01) && inside(v11)) {
                const QPointF p00(nodes_[k00].sx, nodes_[k00].sy), p10(nodes_[k10].sx, nodes_[k10].sy);
                const QPointF p01(nodes_[k01].sx, nodes_[k01].sy), p11(nodes_[k11].sx, nodes_[k11].sy);
                FillTriangle(image, p00, p10, p11, col, clip);
                FillTriangle(image, p00, p11, p01, col, clip);
                continue;
            }
            const double x0 = ox + i * sx, x1 = x0 + sx, y0 = oy + j * sy, y1 = y0 + sy;
            const V a{x0, y0, v00}, b{x1, y0, v10}, c{x0, y1, v01}, d{x1, y1, v11};
            drawCut(a, b, d, col);
            drawCut(a, d, c, col);
        }
    }
    if (c_.style().meshColour.isValid() && nx_ <= 200 && ny_ <= 200) {
        QPainter p(&image);
        p.setClipRect(clip);
        p.setPen(QPen(c_.style().meshColour, 0));
        // Outlines only where they are not hidden: redraw in painter's order.
        for (int jn = 0, j = j0; jn < ny_ - 1; ++jn, j += dj) {
            for (int in = 0, i = i0; in < nx_ - 1; ++in, i += di) {
                const size_t k00 = size_t(j) * size_t(nx_) + size_t(i);
                const size_t k10 = k00 + 1, k01 = k00 + size_t(nx_), k11 = k01 + 1;
                if (IsHole(vals[k00], hole) || IsHole(vals[k10], hole) || IsHole(vals[k01], hole) || IsHole(vals[k11], hole))
                    continue;
                if (!inside(vals[k00]) || !inside(vals[k10]) || !inside(vals[k01]) || !inside(vals[k11])) continue;
                QPolygonF q;
                q << QPointF(nodes_[k00].sx, nodes_[k00].sy) << QPointF(nodes_[k10].sx, nodes_[k10].sy)
                  << QPointF(nodes_[k11].sx, nodes_[k11].sy) << QPointF(nodes_[k01].sx, nodes_[k01].sy);
                p.drawPolygon(q);
            }
        }
    }
}

void Chart3DLayout::drawSurfaceAxes(QImage& image, bool back) const
{
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // Floor corners: 0 (xmin, ymin), 1 (xmax, ymin), 2 (xmin, ymax), 3 (xmax, ymax).
    auto corner = [&](int k, double z) { return project(k & 1 ? xmax_ : xmin_, k & 2 ? ymax_ : ymin_, z); };
    if (back) {
        // The box's far walls, behind the surface.
        auto depth = [&](int k) {
            const double u = normX(k & 1 ? xmax_ : xmin_), v = normY(k & 2 ? ymax_ : ymin_);
            return (u * sinR_ + v * cosR_) * cosE_ - normZ(zmin_) * sinE_;
        };
        int far = 0;
        for (int k = 1; k < 4; ++k)
            if (depth(k) > depth(far)) far = k;
        p.setPen(QPen(QColor(150, 150, 150), 1));
        const int n1 = far ^ 1, n2 = far ^ 2;
        p.drawLine(corner(0, zmin_), corner(1, zmin_));
        p.drawLine(corner(1, zmin_), corner(3, zmin_));
        p.drawLine(corner(3, zmin_), corner(2, zmin_));
        p.drawLine(corner(2, zmin_), corner(0, zmin_));
        for (int k : {far, n1, n2}) p.drawLine(corner(k, zmin_), corner(k, zmax_));
        p.drawLine(corner(far, zmax_), corner(n1, zmax_));
        p.drawLine(corner(far, zmax_), corner(n2, zmax_));
        return;
    }
    // In front: the numbered vertical edge, tick marks and the texts, all on
    // the outline of the box or outside it.
    p.setPen(QPen(Qt::black, 1));
    if (!zAxisLine_.isNull() && c_.axisAnnotation(Axis3D::Z) == 1) p.drawLine(zAxisLine_);
    for (const QLineF& l : tickMarks_) p.drawLine(l);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const TextBox& t : axisText_) DrawTextBox(p, t);
}

double Chart3DLayout::valueAt(double gx, double gy) const
{
    const double hole = c_.holeValue();
    if (!grid_ || nx_ < 2 || ny_ < 2) return hole;
    const double eps = 1e-9;
    if (gx < -eps || gy < -eps || gx > nx_ - 1 + eps || gy > ny_ - 1 + eps) return hole;
    const int i = std::clamp(int(std::floor(gx)), 0, nx_ - 2);
    const int j = std::clamp(int(std::floor(gy)), 0, ny_ - 2);
    const double fx = std::clamp(gx - i, 0.0, 1.0), fy = std::clamp(gy - j, 0.0, 1.0);
    const std::vector<float>& vals = c_.gridValues();
    const size_t k00 = size_t(j) * size_t(nx_) + size_t(i);
    const float v00 = vals[k00], v10 = vals[k00 + 1], v01 = vals[k00 + size_t(nx_)], v11 = vals[k00 + size_t(nx_) + 1];
    const float h = float(hole);
    if (IsHole(v00, h) || IsHole(v10, h) || IsHole(v01, h) || IsHole(v11, h)) return hole;
    return (v00 * (1 - fx) + v10 * fx) * (1 - fy) + (v01 * (1 - fx) + v11 * fx) * fy;
}

void Chart3DLayout::drawContourFill(QImage& image) const
{
    if (!grid_ || nx_ < 2 || ny_ < 2 || dataRect_.isEmpty()) return;
    const QRect r = dataRect_.toAlignedRect().intersected(plotRect_).intersected(image.rect());
    const double hole = c_.holeValue();
    const double ox = c_.originX(), oy = c_.originY(), sx = c_.spacingX(), sy = c_.spacingY();
    if (sx == 0 || sy == 0) return;
    for (int py = r.top(); py <= r.bottom(); ++py) {
        const double y = ymax_ - (py + 0.5 - dataRect_.top()) / dataRect_.height() * (ymax_ - ymin_);
        const double gy = (y - oy) / sy;
        auto* line = reinterpret_cast<unsigned*>(image.scanLine(py));
        for (int px = r.left(); px <= r.right(); ++px) {
            const double x = xmin_ + (px + 0.5 - dataRect_.left()) / dataRect_.width() * (xmax_ - xmin_);
            const double v = valueAt((x - ox) / sx, gy);
            if (v == hole) continue;
            line[px] = colourOf(v);
        }
    }
}

void Chart3DLayout::drawContourLines(QImage& image) const
{
    if (!grid_ || nx_ < 2 || ny_ < 2 || dataRect_.isEmpty()) return;
    const std::vector<float>& vals = c_.gridValues();
    const float hole = float(c_.holeValue());
    const double ox = c_.originX(), oy = c_.originY(), sx = c_.spacingX(), sy = c_.spacingY();
    auto px = [&](double gi) { return dataRect_.left() + (ox + gi * sx - xmin_) / (xmax_ - xmin_) * dataRect_.width(); };
    auto py = [&](double gj) { return dataRect_.top() + (ymax_ - (oy + gj * sy)) / (ymax_ - ymin_) * dataRect_.height(); };
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(dataRect_.intersected(QRectF(plotRect_)));
    const ChartStyle& st = c_.style();
    for (size_t li = 0; li < levels_.size(); ++li) {
        const double L = levels_[li];
        QVector<QLineF> segs;
        for (int j = 0; j < ny_ - 1; ++j) {
            for (int i = 0; i < nx_ - 1; ++i) {
                const size_t k00 = size_t(j) * size_t(nx_) + size_t(i);
                const double v[4] = {vals[k00], vals[k00 + 1], vals[k00 + size_t(nx_) + 1], vals[k00 + size_t(nx_)]};
                if (IsHole(float(v[0]), hole) || IsHole(float(v[1]), hole) || IsHole(float(v[2]), hole) ||
                    IsHole(float(v[3]), hole))
                    continue;
                const bool b[4] = {v[0] >= L, v[1] >= L, v[2] >= L, v[3] >= L};
                if (b[0] == b[1] && b[1] == b[2] && b[2] == b[3]) continue;
                // Corners 0 (i,j), 1 (i+1,j), 2 (i+1,j+1), 3 (i,j+1); edge e joins corner e and e+1.
                static const double cx[4] = {0, 1, 1, 0}, cy[4] = {0, 0, 1, 1};
                QPointF cross[4];
                bool has[4] = {false, false, false, false};
                for (int e = 0; e < 4; ++e) {
                    const int a = e, c = (e + 1) % 4;
                    if (b[a] == b[c]) continue;
                    const double t = (L - v[a]) / (v[c] - v[a]);
                    cross[e] = QPointF(px(i + cx[a] + t * (cx[c] - cx[a])), py(j + cy[a] + t * (cy[c] - cy[a])));
                    has[e] = true;
                }
                const int n = int(has[0]) + has[1] + has[2] + has[3];
                if (n == 2) {
                    QPointF q[2];
                    int m = 0;
                    for (int e = 0; e < 4; ++e)
                        if (has[e]) q[m++] = cross[e];
                    segs.push_back(QLineF(q[0], q[1]));
                } else if (n == 4) {
                    // Saddle: the cell centre decides which corners are joined.
                    const bool centre = (v[0] + v[1] + v[2] + v[3]) / 4.0 >= L;
                    if (centre == b[0]) {   // corners 0 and 2 joined: cut off corners 1 and 3
                        segs.push_back(QLineF(cross[0], cross[1]));
                        segs.push_back(QLineF(cross[2], cross[3]));
                    } else {                // cut off corners 0 and 2
                        segs.push_back(QLineF(cross[3], cross[0]));
                        segs.push_back(QLineF(cross[1], cross[2]));
                    }
                }
            }
        }
        const QColor colour = st.lineColour.isValid() ? st.lineColour : c_.levelColour(int(li + 1));
        p.setPen(QPen(colour, st.lineWidth, Qt::SolidLine, Qt::RoundCap));
        p.drawLines(segs);
    }
}

void Chart3DLayout::drawContourAxes(QImage& image) const
{
    if (dataRect_.isEmpty()) return;
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(dataRect_.adjusted(-0.5, -0.5, 0.5, 0.5));
    for (const QLineF& l : tickMarks_) p.drawLine(l);
    for (const TextBox& t : axisText_) DrawTextBox(p, t);
}

void Chart3DLayout::drawLegend(QImage& image) const
{
    if (legendRect_.isEmpty()) return;
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(legendRect_, c_.legendBackground());
    for (const Mark& m : legendMarks_) {
        if (m.kind == Mark::Fill) {
            p.fillRect(m.rect, m.colour);
        } else if (m.kind == Mark::Outline) {
            p.setPen(QPen(m.colour, 0));
            p.setBrush(Qt::NoBrush);
            p.drawRect(m.rect);
        } else {
            p.setPen(QPen(m.colour, m.width, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(m.line);
        }
    }
    for (const TextBox& t : legendText_) DrawTextBox(p, t);
}

void Chart3DLayout::drawChartLabels(QImage& image) const
{
    if (c_.chartLabelCount() == 0) return;
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (int n = 1; n <= c_.chartLabelCount(); ++n) {
        const ChartLabel* l = c_.chartLabel(n);
        if (!l || !l->shown) continue;
        QFont f = BaseFont(l->fontSize * 4.0 / 3.0);
        p.setFont(f);
        const QFontMetricsF fm(f);
        const QStringList lines = TextLines(l->text);
        const QSizeF boxSize = ChartLabelSize(*l);
        QPointF corner = QPointF(l->attachPoint + l->offset);
        corner.setX(std::clamp(corner.x(), 0.0, std::max(0.0, c_.size().width() - boxSize.width() - 1)));
        corner.setY(std::clamp(corner.y(), 0.0, std::max(0.0, c_.size().height() - boxSize.height() - 1)));
        const QRectF box(corner, boxSize);
        const QPointF attach(l->attachPoint);
        if (!box.contains(attach)) {
            const QPointF target(std::clamp(attach.x(), box.left(), box.right()), std::clamp(attach.y(), box.top(), box.bottom()));
            p.setPen(QPen(Qt::black, 1));
            p.drawLine(attach, target);
        }
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(l->background);
        p.drawRect(box);
        for (int k = 0; k < lines.size(); ++k)
            p.drawText(QPointF(box.left() + 4, box.top() + 2 + fm.ascent() + k * fm.height()), lines[k]);
    }
}

QSizeF ChartLabelSize(const ChartLabel& label)
{
    const QFontMetricsF fm(BaseFont(label.fontSize * 4.0 / 3.0));
    const QStringList lines = TextLines(label.text);
    double w = 0;
    for (const QString& s : lines) w = std::max(w, fm.horizontalAdvance(s));
    return QSizeF(w + 8, fm.height() * lines.size() + 4);
}

bool Chart3DLayout::nodePixel(int i, int j, QPointF* pixel) const
{
    if (!grid_ || i < 1 || j < 1 || i > nx_ || j > ny_) return false;
    const size_t k = size_t(j - 1) * size_t(nx_) + size_t(i - 1);
    const float v = c_.gridValues()[k];
    if (IsHole(v, float(c_.holeValue()))) return false;
    if (c_.kind() == ChartKind::Surface) {
        *pixel = QPointF(nodes_[k].sx, nodes_[k].sy);
        return true;
    }
    if (c_.kind() == ChartKind::Contour) {
        const double x = c_.originX() + (i - 1) * c_.spacingX(), y = c_.originY() + (j - 1) * c_.spacingY();
        *pixel = QPointF(dataRect_.left() + (x - xmin_) / (xmax_ - xmin_) * dataRect_.width(),
                         dataRect_.top() + (ymax_ - y) / (ymax_ - ymin_) * dataRect_.height());
        return true;
    }
    return false;
}

QPointF Chart3DLayout::dataToPixel(double x, double y, double z) const
{
    if (c_.kind() == ChartKind::Surface) return project(x, y, z);
    return QPointF(dataRect_.left() + (x - xmin_) / (xmax_ - xmin_) * dataRect_.width(),
                   dataRect_.top() + (ymax_ - y) / (ymax_ - ymin_) * dataRect_.height());
}

DataPoint Chart3DLayout::pixelToData(int px, int py) const
{
    DataPoint out;
    if (!grid_ || nx_ < 2 || ny_ < 2) return out;
    const double qx = px + 0.5, qy = py + 0.5;
    if (c_.kind() == ChartKind::Contour) {
        if (!dataRect_.contains(QPointF(qx, qy)) || !plotRect_.contains(px, py)) return out;
        const double x = xmin_ + (qx - dataRect_.left()) / dataRect_.width() * (xmax_ - xmin_);
        const double y = ymax_ - (qy - dataRect_.top()) / dataRect_.height() * (ymax_ - ymin_);
        if (c_.spacingX() == 0 || c_.spacingY() == 0) return out;
        const double z = valueAt((x - c_.originX()) / c_.spacingX(), (y - c_.originY()) / c_.spacingY());
        if (z == c_.holeValue()) return out;
        out = {x, y, z, -100};
        return out;
    }
    if (c_.kind() != ChartKind::Surface || !plotRect_.contains(px, py)) return out;
    // Nearest cells first: the first triangle under the pixel is the one drawn on top.
    int i0, di, j0, dj;
    cellOrder(&i0, &di, &j0, &dj);
    const std::vector<float>& vals = c_.gridValues();
    const float hole = float(c_.holeValue());
    const double ox = c_.originX(), oy = c_.originY(), sx = c_.spacingX(), sy = c_.spacingY();
    const int iLast = i0 + di * (nx_ - 2), jLast = j0 + dj * (ny_ - 2);
    for (int jn = 0, j = jLast; jn < ny_ - 1; ++jn, j -= dj) {
        for (int in = 0, i = iLast; in < nx_ - 1; ++in, i -= di) {
            const size_t k00 = size_t(j) * size_t(nx_) + size_t(i);
            const size_t k10 = k00 + 1, k01 = k00 + size_t(nx_), k11 = k01 + 1;
            const float ax = std::min({nodes_[k00].sx, nodes_[k10].sx, nodes_[k01].sx, nodes_[k11].sx});
            const float bx = std::max({nodes_[k00].sx, nodes_[k10].sx, nodes_[k01].sx, nodes_[k11].sx});
            if (qx < ax || qx > bx) continue;
            const float ay = std::min({nodes_[k00].sy, nodes_[k10].sy, nodes_[k01].sy, nodes_[k11].sy});
            const float by = std::max({nodes_[k00].sy, nodes_[k10].sy, nodes_[k01].sy, nodes_[k11].sy});
            if (qy < ay || qy > by) continue;
            if (IsHole(vals[k00], hole) || IsHole(vals[k10], hole) || IsHole(vals[k01], hole) || IsHole(vals[k11], hole))
                continue;
            // Triangles in reverse drawing order: (00, 11, 01) then (00, 10, 11).
            struct Tri { size_t a, b, c; double ga[2], gb[2], gc[2]; };
            const Tri tris[2] = {{k00, k11, k01, {0, 0}, {1, 1}, {0, 1}}, {k00, k10, k11, {0, 0}, {1, 0}, {1, 1}}};
            for (const Tri& t : tris) {
                const double x1 = nodes_[t.a].sx, y1 = nodes_[t.a].sy, x2 = nodes_[t.b].sx, y2 = nodes_[t.b].sy;
                const double x3 = nodes_[t.c].sx, y3 = nodes_[t.c].sy;
                const double det = (y2 - y3) * (x1 - x3) + (x3 - x2) * (y1 - y3);
                if (std::fabs(det) < 1e-12) continue;
                const double l1 = ((y2 - y3) * (qx - x3) + (x3 - x2) * (qy - y3)) / det;
                const double l2 = ((y3 - y1) * (qx - x3) + (x1 - x3) * (qy - y3)) / det;
                const double l3 = 1.0 - l1 - l2;
                const double e = -1e-9;
                if (l1 < e || l2 < e || l3 < e) continue;
                const double gi = i + l1 * t.ga[0] + l2 * t.gb[0] + l3 * t.gc[0];
                const double gj = j + l1 * t.ga[1] + l2 * t.gb[1] + l3 * t.gc[1];
                out.x = ox + gi * sx;
                out.y = oy + gj * sy;
                const double z = l1 * vals[t.a] + l2 * vals[t.b] + l3 * vals[t.c];
                // The part of a cell cut off at the Z limits is not drawn.
                if (z < zmin_ - 1e-9 * (zmax_ - zmin_) || z > zmax_ + 1e-9 * (zmax_ - zmin_)) continue;
                out.z = z;
                out.region = -100;
                return out;
            }
        }
    }
    return out;
}

NearestPoint Chart3DLayout::nearestDataPoint(int px, int py) const
{
    NearestPoint out;
    if (!grid_) return out;
    const QPointF q(px + 0.5, py + 0.5);
    if (c_.kind() == ChartKind::Contour) {
        if (dataRect_.isEmpty() || c_.spacingX() == 0 || c_.spacingY() == 0) return out;
        const double x = xmin_ + (q.x() - dataRect_.left()) / dataRect_.width() * (xmax_ - xmin_);
        const double y = ymax_ - (q.y() - dataRect_.top()) / dataRect_.height() * (ymax_ - ymin_);
        const double gx = (x - c_.originX()) / c_.spacingX(), gy = (y - c_.originY()) / c_.spacingY();
        out.gridX = std::clamp(int(std::lround(gx)), 0, nx_ - 1) + 1;
        out.gridY = std::clamp(int(std::lround(gy)), 0, ny_ - 1) + 1;
        const double nxp = dataRect_.left() + (c_.originX() + (out.gridX - 1) * c_.spacingX() - xmin_) / (xmax_ - xmin_) * dataRect_.width();
        const double nyp = dataRect_.top() + (ymax_ - (c_.originY() + (out.gridY - 1) * c_.spacingY())) / (ymax_ - ymin_) * dataRect_.height();
        out.distance = std::hypot(nxp - q.x(), nyp - q.y());
        const bool inside = dataRect_.contains(q) && gx >= -0.5 && gy >= -0.5 && gx <= nx_ - 0.5 && gy <= ny_ - 0.5;
        // A masked node holds no data: the pixel is not on the data there.
        const float v = c_.gridValues()[size_t(out.gridY - 1) * size_t(nx_) + size_t(out.gridX - 1)];
        out.region = inside && !IsHole(v, float(c_.holeValue())) ? -100 : 1;
        return out;
    }
    if (c_.kind() != ChartKind::Surface) return out;
    const std::vector<float>& vals = c_.gridValues();
    const float hole = float(c_.holeValue());
    double best = 1e300;
    for (int j = 0; j < ny_; ++j) {
        for (int i = 0; i < nx_; ++i) {
            const size_t k = size_t(j) * size_t(nx_) + size_t(i);
            if (IsHole(vals[k], hole) || vals[k] < zmin_ || vals[k] > zmax_) continue;
            const double d = (nodes_[k].sx - q.x()) * (nodes_[k].sx - q.x()) + (nodes_[k].sy - q.y()) * (nodes_[k].sy - q.y());
            if (d < best) {
                best = d;
                out.gridX = i + 1;
                out.gridY = j + 1;
            }
        }
    }
    if (out.gridX == 0) return out;
    out.distance = std::sqrt(best);
    out.region = pixelToData(px, py).region;
    return out;
}

} // namespace charts
