#include "chart2d.h"

#include "chart3d_render.h"   // NiceTicks, FormatTick
#include "app/core/runtime.h"
#include "platform/regular_file.h"

#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace charts {

namespace {

// The largest chart data file read.
constexpr size_t kMaxDataBytes = size_t(64) << 20;

QFont Font2D(double points, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(std::max(6, int(std::lround(points * 4.0 / 3.0))));
    f.setBold(bold);
    return f;
}

const QColor kSeriesColours[] = {QColor(0, 0, 200), QColor(200, 0, 0), QColor(0, 140, 0), QColor(160, 0, 160)};

} // namespace

Chart2D::Chart2D(QObject* parent) : ChartBase(parent) {}

void Chart2D::setHoleValue(double v) { hole_ = v; touch(); }

void Chart2D::setSeriesCount(int n)
{
    n = std::clamp(n, 0, 64);
    y_.resize(size_t(n), std::vector<double>(x_.size(), hole_));
    labels_.resize(size_t(n));
    colours_.resize(size_t(n));
    touch();
}

void Chart2D::setPointCount(int n)
{
    n = std::max(0, n);
    x_.resize(size_t(n), 0.0);
    for (auto& s : y_) s.resize(size_t(n), hole_);
    touch();
}

void Chart2D::setX(int point, double x)
{
    if (point < 1 || size_t(point) > x_.size()) return;
    x_[size_t(point - 1)] = x;
    touch();
}

double Chart2D::x(int point) const { return point >= 1 && size_t(point) <= x_.size() ? x_[size_t(point - 1)] : hole_; }

void Chart2D::setY(int series, int point, double y)
{
    if (series < 1 || size_t(series) > y_.size() || point < 1 || size_t(point) > x_.size()) return;
    y_[size_t(series - 1)][size_t(point - 1)] = y;
    touch();
}

double Chart2D::y(int series, int point) const
{
    if (series < 1 || size_t(series) > y_.size() || point < 1 || size_t(point) > x_.size()) return hole_;
    return y_[size_t(series - 1)][size_t(point - 1)];
}

void Chart2D::setSeriesLabel(int series, const QString& label)
{
    if (series < 1) return;
    if (size_t(series) > labels_.size()) labels_.resize(size_t(series));
    labels_[size_t(series - 1)] = label;
    touch();
}

QString Chart2D::seriesLabel(int series) const
{
    return series >= 1 && size_t(series) <= labels_.size() ? labels_[size_t(series - 1)] : QString();
}

void Chart2D::setSeriesColour(int series, const QColor& colour)
{
    if (series < 1) return;
    if (size_t(series) > colours_.size()) colours_.resize(size_t(series));
    colours_[size_t(series - 1)] = colour;
    touch();
}

bool Chart2D::loadData(const QString& path, QString* error)
{
    auto fail = [error](const QString& why) {
        if (error) *error = why;
        return false;
    };
    // A regular file of bounded size, never a pipe or device waited on.
    std::string bytes, failure;
    if (!platform::ReadRegularFile(QFile::encodeName(path).toStdString(), kMaxDataBytes, &bytes, &failure))
        return fail(QString::fromStdString(failure));
    const QStringList lines = QString::fromUtf8(bytes.data(), int(bytes.size())).split('\n');
    int series = -1, points = -1;
    bool magic = false;
    std::vector<double> xs;
    std::vector<std::vector<double>> ys;
    std::vector<std::pair<int, QString>> labels;
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        const QString where = QString("%1, line %2: ").arg(path).arg(i + 1);
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QStringList parts = line.split(QRegularExpression(QStringLiteral("[ \t]+")), Qt::SkipEmptyParts);
        if (!magic) {
            if (parts.size() != 2 || parts[0].compare("sorvanta-chart2d", Qt::CaseInsensitive) != 0 || parts[1] != "1")
                return fail(where + "not a chart data file");
            magic = true;
            continue;
        }
        const QString key = parts[0].toLower();
        bool ok = false;
        if (key == "series" || key == "points") {
            const int n = parts.size() == 2 ? parts[1].toInt(&ok) : 0;
            if (!ok || n < 1 || (key == "series" && n > 16) || n > 10000000) return fail(where + "bad " + key + " count");
            (key == "series" ? series : points) = n;
            continue;
        }
        if (key == "label") {
            const int s = parts.size() >= 2 ? parts[1].toInt(&ok) : 0;
            if (!ok || s < 1 || s > 16) return fail(where + "bad series number");
            const int at = line.indexOf(parts[1], 5) + parts[1].size();
            labels.push_back({s, line.mid(at).trimmed()});
            continue;
        }
        if (series < 0 || points < 0) return fail(where + "series and points must come before the data");
        if (parts.size() != series + 1) return fail(where + QString("expected %1 numbers").arg(series + 1));
        std::vector<double> row;
        for (const QString& p : parts) {
            const double v = p.toDouble(&ok);
            if (!ok || !std::isfinite(v)) return fail(where + "bad number " + p);
            row.push_back(v);
        }
        if (int(xs.size()) >= points) return fail(where + "more points than announced");
        xs.push_back(row[0]);
        if (ys.empty()) ys.resize(size_t(series));
        for (int s = 0; s < series; ++s) ys[size_t(s)].push_back(row[size_t(s + 1)]);
    }
    if (!magic) return fail(path + ": not a chart data file");
    if (series < 0 || points < 0 || int(xs.size()) != points)
        return fail(path + QString(": expected %1 points, found %2").arg(points).arg(xs.size()));
    for (const auto& l : labels)
        if (l.first > series) return fail(path + ": label for a series that does not exist");
    const bool wasBatched = isBatched();
    setIsBatched(true);
    x_ = xs;
    y_ = ys;
    labels_.resize(size_t(series));
    colours_.resize(size_t(series));
    for (const auto& l : labels) labels_[size_t(l.first - 1)] = l.second;
    touch();
    setIsBatched(wasBatched);
    return true;
}

bool Chart2D::AxisByName(const QString& name, Axis2D* axis)
{
    const QString n = name.trimmed().toUpper();
    if (n == "X") *axis = Axis2D::X;
    else if (n == "Y") *axis = Axis2D::Y;
    else return false;
    return true;
}

bool Chart2D::AxisByIndex(int index, Axis2D* axis)
{
    if (index == 1) *axis = Axis2D::X;
    else if (index == 2) *axis = Axis2D::Y;
    else return false;
    return true;
}

void Chart2D::setAxisTitle(Axis2D a, const QString& t) { axes_[int(a)].title = t; touch(); }
void Chart2D::setAxisMin(Axis2D a, double v) { axes_[int(a)].min = v; axes_[int(a)].minAuto = false; touch(); }
void Chart2D::setAxisMax(Axis2D a, double v) { axes_[int(a)].max = v; axes_[int(a)].maxAuto = false; touch(); }
void Chart2D::setAxisMinAuto(Axis2D a, bool on) { axes_[int(a)].minAuto = on; touch(); }
void Chart2D::setAxisMaxAuto(Axis2D a, bool on) { axes_[int(a)].maxAuto = on; touch(); }
void Chart2D::setAxisAnnotation(Axis2D a, int mode) { axes_[int(a)].annotation = mode; touch(); }
void Chart2D::setAxisTitleFontSize(Axis2D a, int points) { axes_[int(a)].titleFont = points; touch(); }

bool Chart2D::dataExtent(Axis2D a, double* lo, double* hi) const
{
    bool any = false;
    auto take = [&](double v) {
        if (!any) { *lo = *hi = v; any = true; }
        else { *lo = std::min(*lo, v); *hi = std::max(*hi, v); }
    };
    if (a == Axis2D::X) {
        for (double v : x_) take(v);
    } else {
        for (const auto& s : y_)
            for (double v : s)
                if (v != hole_ && std::isfinite(v)) take(v);
    }
    return any;
}

void Chart2D::limits(Axis2D a, double* lo, double* hi) const
{
    double dlo = 0, dhi = 1;
    const bool any = dataExtent(a, &dlo, &dhi);
    if (any && !(dhi > dlo)) { dlo -= 0.5; dhi += 0.5; }
    if (any && a == Axis2D::Y) {
        // Automatic Y limits end on tick values.
        const auto t = NiceTicks(dlo, dhi, 6);
        if (t.size() >= 2) {
            const double step = t[1] - t[0];
            dlo = std::floor(dlo / step + 1e-9) * step;
            dhi = std::ceil(dhi / step - 1e-9) * step;
        }
    }
    const AxisState& s = axes_[int(a)];
    *lo = s.minAuto ? dlo : s.min;
    *hi = s.maxAuto ? dhi : s.max;
    if (!(*hi > *lo)) {
        const double mid = *lo;
        *lo = mid - 0.5;
        *hi = mid + 0.5;
    }
}

double Chart2D::axisMin(Axis2D a) const { double lo, hi; limits(a, &lo, &hi); return lo; }
double Chart2D::axisMax(Axis2D a) const { double lo, hi; limits(a, &lo, &hi); return hi; }

namespace {

// Lines of a header or footer, centred in their rectangle one under the
// other; a line wider than the picture ends in an ellipsis.
void CentredLines(std::vector<TextBox>* texts, const QString& text, const QFont& font, const QRect& r)
{
    const QStringList lines = TextLines(text);
    const QFontMetricsF fm(font);
    const double top = r.center().y() + 0.5 - fm.height() * lines.size() / 2.0;
    for (int i = 0; i < lines.size(); ++i)
        if (!lines[i].isEmpty())
            texts->push_back(CentredText(fm.elidedText(lines[i], Qt::ElideRight, r.width()), font,
                                         QPointF(r.center().x() + 0.5, top + fm.height() * (i + 0.5))));
}

} // namespace

Chart2D::Layout Chart2D::layout() const
{
    Layout l;
    QRect area(8, 8, size().width() - 16, size().height() - 16);
    placeHeaderAndFooter(&l, &area);
    if (legendShown() && !y_.empty()) placeLegend(&l, &area);
    fitPlot(&l, QRectF(area));
    KeepInside(&l.texts, QRectF(0, 0, size().width(), size().height()));
    return l;
}

void Chart2D::placeHeaderAndFooter(Layout* l, QRect* area) const
{
    if (headerShown() && !headerText().isEmpty()) {
        const QFontMetrics fm(Font2D(13, true));
        l->header = QRect(area->left(), area->top(), area->width(), fm.height() * int(TextLines(headerText()).size()) + 4);
        area->setTop(l->header.bottom() + 5);
        CentredLines(&l->texts, headerText(), Font2D(13, true), l->header);
    }
    if (footerShown() && !footerText().isEmpty()) {
        const QFontMetrics fm(Font2D(10));
        const int h = fm.height() * int(TextLines(footerText()).size()) + 4;
        l->footer = QRect(area->left(), area->bottom() - h + 1, area->width(), h);
        area->setBottom(l->footer.top() - 5);
        CentredLines(&l->texts, footerText(), Font2D(10), l->footer);
    }
}

std::vector<QString> Chart2D::seriesNames() const
{
    std::vector<QString> names;
    for (size_t s = 0; s < y_.size(); ++s) {
        QString n = s < labels_.size() ? labels_[s] : QString();
        if (n.isEmpty()) n = QString("Series %1").arg(s + 1);
        names.push_back(n);
    }
    return names;
}

void Chart2D::placeLegend(Layout* l, QRect* area) const
{
    // Series names in a row under the plot, in more rows when one is too narrow.
    const QFont font = Font2D(9);
    const QFontMetricsF fm(font);
    const std::vector<QString> names = seriesNames();
    auto width = [&](size_t s) { return 30 + fm.horizontalAdvance(names[s]) + 20; };
    std::vector<std::vector<size_t>> rows(1);
    double rowW = 0;
    for (size_t s = 0; s < names.size(); ++s) {
        // A name too long for the picture is not drawn and takes no room.
        if (width(s) - 20 > area->width()) continue;
        if (!rows.back().empty() && rowW + width(s) > area->width()) {
            rows.emplace_back();
            rowW = 0;
        }
        rows.back().push_back(s);
        rowW += width(s);
    }
    if (rows.back().empty()) return;
    const double rowH = std::ceil(fm.height()) + 4;
    const int h = int(rowH * rows.size()) + 4;
    l->legend = QRect(area->left(), area->bottom() - h + 1, area->width(), h);
    area->setBottom(l->legend.top() - 5);
    for (size_t r = 0; r < rows.size(); ++r) {
        double total = 0;
        for (size_t s : rows[r]) total += width(s);
        double x = std::max(double(l->legend.left()), l->legend.center().x() - (total - 20) / 2);
        const double y = l->legend.top() + 2 + rowH * (r + 0.5);
        for (size_t s : rows[r]) {
            const QColor colour = s < colours_.size() && colours_[s].isValid() ? colours_[s] : kSeriesColours[s % 4];
            TextBox b = CentredText(names[s], font, QPointF(0, y));
            b.rect.moveLeft(x + 30);
            if (b.rect.right() <= size().width() && PlaceIfFree(l->texts, b))
                l->legendLines.push_back({QLineF(x, y, x + 24, y), colour});
            x += width(s);
        }
    }
}

void Chart2D::fitPlot(Layout* l, const QRectF& full) const
{
    // The axis texts shown; where even the least plot leaves no room for
    // them, the numbers of that side give way first, then its title.
    AxisParts parts;
    parts.xNumbers = axes_[0].annotation != 2;
    parts.yNumbers = axes_[1].annotation != 2;
    parts.xTitle = !axes_[0].title.isEmpty();
    parts.yTitle = !axes_[1].title.isEmpty();
    std::vector<TextBox> texts;
    for (;;) {
        QRectF all;
        texts = fitAxisText(l, full, parts, &all);
        // (The fit stops within a pixel.)
        const bool low = all.top() < full.top() - 1 || all.bottom() > full.bottom() + 1;
        const bool narrow = all.left() < full.left() - 1 || all.right() > full.right() + 1;
        bool* dropped = low && parts.xNumbers     ? &parts.xNumbers
                        : narrow && parts.yNumbers ? &parts.yNumbers
                        : low && parts.xTitle      ? &parts.xTitle
                        : narrow && parts.yTitle   ? &parts.yTitle
                                                   : nullptr;
        if (!dropped) break;
        *dropped = false;
    }
    // In a picture too small for even that, header, footer and legend keep
    // their place and the axis texts in their way are left out.
    for (const TextBox& t : texts) PlaceIfFree(l->texts, t);
}

std::vector<TextBox> Chart2D::fitAxisText(Layout* l, const QRectF& full, const AxisParts& parts, QRectF* all) const
{
    // The plot takes what its axis numbers and titles leave of the area: laid
    // out round the plot, what sticks out of the area shrinks the plot, until
    // nothing does. The plot keeps at least its least size; `all` is what
    // the plot and the texts then cover.
    std::vector<TextBox> texts;
    QRectF plot = full;
    for (int pass = 0; pass < 8; ++pass) {
        l->plot = plot;
        texts.clear();
        *all = placeAxisText(l, parts, full, &texts);
        // The plot only shrinks, so that texts whose number changes with
        // the plot's size cannot make it swing between two sizes.
        QRectF next = full.adjusted(l->plot.left() - all->left(), l->plot.top() - all->top(),
                                    l->plot.right() - all->right(), l->plot.bottom() - all->bottom()) &
                      plot;
        if (next.width() < kLeastPlot) next.setWidth(std::min(kLeastPlot, full.width()));
        if (next.height() < kLeastPlot) next.setHeight(std::min(kLeastPlot, full.height()));
        if (std::fabs(next.left() - plot.left()) < 1 && std::fabs(next.right() - plot.right()) < 1 &&
            std::fabs(next.top() - plot.top()) < 1 && std::fabs(next.bottom() - plot.bottom()) < 1)
            break;
        plot = next;
    }
    return texts;
}

QRectF Chart2D::placeAxisText(Layout* l, const AxisParts& parts, const QRectF& full, std::vector<TextBox>* texts) const
{
    double x0, x1, y0, y1;
    limits(Axis2D::X, &x0, &x1);
    limits(Axis2D::Y, &y0, &y1);
    const QRectF plot = l->plot;
    const QFont font = Font2D(9);
    const QFontMetricsF nfm(font);
    l->xTicks.clear();
    l->yTicks.clear();
    auto crowded = [](const std::vector<TextBox>& b, double mx, double my) {
        for (size_t k = 1; k < b.size(); ++k)
            if (b[k].rect.adjusted(-mx, -my, mx, my).intersects(b[k - 1].rect)) return true;
        return false;
    };
    // As many numbers as fit without touching; the tick lines follow them.
    std::vector<TextBox> xb, yb;
    for (int budget = 12; budget >= 2; --budget) {
        l->xTicks = NiceTicks(x0, x1, budget);
        xb.clear();
        const double step = l->xTicks.size() > 1 ? l->xTicks[1] - l->xTicks[0] : 1.0;
        for (double t : l->xTicks) {
            const double x = plot.left() + (t - x0) / (x1 - x0) * plot.width();
            xb.push_back(CentredText(FormatTick(t, step), font, QPointF(x, plot.bottom() + 6 + nfm.height() / 2)));
        }
        if (!crowded(xb, 8, 0)) break;
    }
    for (int budget = 12; budget >= 2; --budget) {
        l->yTicks = NiceTicks(y0, y1, budget);
        yb.clear();
        const double step = l->yTicks.size() > 1 ? l->yTicks[1] - l->yTicks[0] : 1.0;
        for (double t : l->yTicks) {
            const double y = plot.bottom() - (t - y0) / (y1 - y0) * plot.height();
            TextBox b = CentredText(FormatTick(t, step), font, QPointF(0, y));
            b.rect.moveRight(plot.left() - 7);
            yb.push_back(b);
        }
        if (!crowded(yb, 0, 4)) break;
    }
    QRectF all = plot;
    double numbersH = 4, numbersW = 4;
    if (parts.xNumbers)
        for (const TextBox& b : xb)
            if (PlaceIfFree(*texts, b)) {
                numbersH = nfm.height() + 6;
                all |= b.rect;
            }
    if (parts.yNumbers)
        for (const TextBox& b : yb)
            if (PlaceIfFree(*texts, b)) {
                numbersW = std::max(numbersW, b.rect.width() + 7);
                all |= b.rect;
            }
    // A title runs along the middle of its side of the plot, within the
    // area and clear of the other title, ending in an ellipsis where that is
    // shorter; only its depth takes room.
    double xTitleLeft = full.left();
    if (parts.yTitle) {
        const QFont tf = Font2D(axes_[1].titleFont, true);
        const QFontMetricsF fm(tf);
        const double top = full.top(), bottom = std::max(top, plot.bottom());
        TextBox b = CentredText(fm.elidedText(axes_[1].title, Qt::ElideRight, bottom - top), tf,
                                QPointF(plot.left() - numbersW - 6 - fm.height() / 2, plot.center().y()), true);
        b.rect.moveTop(std::clamp(b.rect.top(), top, std::max(top, bottom - b.rect.height())));
        if (PlaceIfFree(*texts, b)) {
            all |= QRectF(b.rect.left(), plot.top(), b.rect.width(), plot.height());
            xTitleLeft = b.rect.right() + 3;
        }
    }
    if (parts.xTitle) {
        const QFont tf = Font2D(axes_[0].titleFont, true);
        const QFontMetricsF fm(tf);
        const double left = std::min(xTitleLeft, full.right()), right = full.right();
        TextBox b = CentredText(fm.elidedText(axes_[0].title, Qt::ElideRight, right - left), tf,
                                QPointF(plot.center().x(), plot.bottom() + numbersH + 5 + fm.height() / 2));
        b.rect.moveLeft(std::clamp(b.rect.left(), left, std::max(left, right - b.rect.width())));
        if (PlaceIfFree(*texts, b)) all |= QRectF(plot.left(), b.rect.top(), plot.width(), b.rect.height());
    }
    return all;
}

QRectF Chart2D::plotRect() const { return layout().plot; }

std::vector<TextBox> Chart2D::textBoxes() const { return layout().texts; }

QPointF Chart2D::dataToPixel(double xv, double yv) const
{
    const QRectF r = plotRect();
    double x0, x1, y0, y1;
    limits(Axis2D::X, &x0, &x1);
    limits(Axis2D::Y, &y0, &y1);
    return QPointF(r.left() + (xv - x0) / (x1 - x0) * r.width(), r.bottom() - (yv - y0) / (y1 - y0) * r.height());
}

void Chart2D::render(QImage& image) const
{
    image.fill(Qt::white);
    const Layout l = layout();
    const QRectF plot = l.plot;
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    double x0, x1, y0, y1;
    limits(Axis2D::X, &x0, &x1);
    limits(Axis2D::Y, &y0, &y1);
    auto toPx = [&](double xv, double yv) {
        return QPointF(plot.left() + (xv - x0) / (x1 - x0) * plot.width(), plot.bottom() - (yv - y0) / (y1 - y0) * plot.height());
    };
    // Grid, axes and tick marks.
    p.setPen(QPen(QColor(225, 225, 225), 0));
    for (double t : l.xTicks) p.drawLine(toPx(t, y0), toPx(t, y1));
    for (double t : l.yTicks) p.drawLine(toPx(x0, t), toPx(x1, t));
    if (y0 < 0 && y1 > 0) {
        p.setPen(QPen(QColor(150, 150, 150), 0));
        p.drawLine(toPx(x0, 0), toPx(x1, 0));
    }
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(plot);
    if (axes_[0].annotation != 2)
        for (double t : l.xTicks) p.drawLine(toPx(t, y0), toPx(t, y0) + QPointF(0, 4));
    if (axes_[1].annotation != 2)
        for (double t : l.yTicks) p.drawLine(toPx(x0, t), toPx(x0, t) - QPointF(4, 0));
    for (const TextBox& t : l.texts) DrawTextBox(p, t);
    for (const auto& [line, colour] : l.legendLines) {
        p.setPen(QPen(colour, 2));
        p.drawLine(line);
    }
    // Series: lines that break at holes.
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(plot.adjusted(-1, -1, 1, 1));
    for (size_t s = 0; s < y_.size(); ++s) {
        const QColor colour = s < colours_.size() && colours_[s].isValid() ? colours_[s] : kSeriesColours[s % 4];
        p.setPen(QPen(colour, 1.6));
        QPainterPath path;
        bool open = false;
        for (size_t i = 0; i < x_.size(); ++i) {
            const double v = y_[s][i];
            if (v == hole_ || !std::isfinite(v)) {
                open = false;
                continue;
            }
            const QPointF q = toPx(x_[i], v);
            if (open) path.lineTo(q);
            else {
                path.moveTo(q);
                path.lineTo(q);   // a lone point still shows
                open = true;
            }
        }
        p.drawPath(path);
    }
}

} // namespace charts
