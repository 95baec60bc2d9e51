#include "chart3d_render.h"

#include <QFontMetrics>
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

void DrawTextCentred(QPainter& p, const QPointF& at, const QString& text)
{
    const QFontMetricsF fm(p.font());
    const double w = fm.horizontalAdvance(text);
    p.drawText(QPointF(at.x() - w / 2.0, at.y() + (fm.ascent() - fm.descent()) / 2.0), text);
}

bool IsHole(float v, float hole) { return v == hole || std::isnan(v); }

} // namespace

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
    const double raw = (hi - lo) / (maxCount - 1);
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    double step = mag;
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        step = m * mag;
        if (step >= raw) break;
    }
    const double first = std::ceil(lo / step - 1e-9) * step;
    for (double v = first; v <= hi + step * 1e-9 && out.size() < 100; v += step) out.push_back(v);
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
    layoutFrame();
    if (chart.kind() == ChartKind::Surface) layoutSurface();
    else if (chart.kind() == ChartKind::Contour) layoutContour();
}

void Chart3DLayout::layoutFrame()
{
    const QSize size = c_.size();
    QRect area(0, 0, size.width(), size.height());
    area.adjust(kPad, kPad, -kPad, -kPad);
    if (c_.headerShown() && !c_.headerText().isEmpty()) {
        const QFontMetrics fm(HeaderFont());
        const int lines = int(c_.headerText().count('\n')) + 1;
        headerRect_ = QRect(area.left(), area.top(), area.width(), fm.height() * lines + 4);
        area.setTop(headerRect_.bottom() + 1 + 4);
    }
    if (c_.footerShown() && !c_.footerText().isEmpty()) {
        const QFontMetrics fm(FooterFont());
        const int lines = int(c_.footerText().count('\n')) + 1;
        const int h = fm.height() * lines + 4;
        footerRect_ = QRect(area.left(), area.bottom() - h + 1, area.width(), h);
        area.setBottom(footerRect_.top() - 1 - 4);
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
        const int w = std::clamp(textW + 26 + 4 * kPad, 90, std::max(90, area.width() * 2 / 5));
        legendRect_ = QRect(area.right() - w + 1, area.top(), w, area.height());
        area.setRight(legendRect_.left() - 1 - kPad);
    }
    plotRect_ = area;
}

void Chart3DLayout::layoutContour()
{
    const QFontMetrics nfm(NumberFont(std::max(c_.axisNumberFontSize(Axis3D::X), c_.axisNumberFontSize(Axis3D::Y))));
    const QFontMetrics tfm(TitleFont(std::max(c_.axisTitleFontSize(Axis3D::X), c_.axisTitleFontSize(Axis3D::Y))));
    QRectF a = plotRect_;
    const double left = nfm.horizontalAdvance(QStringLiteral("-0000.00")) + tfm.height() + 12;
    const double bottom = nfm.height() + tfm.height() + 14;
    a.adjust(left, nfm.height() / 2.0 + 4, -nfm.horizontalAdvance(QStringLiteral("0000")) / 2.0, -bottom);
    if (a.width() < 10 || a.height() < 10) a = plotRect_;
    double ex = c_.plotExtentX() > 0 ? c_.plotExtentX() : 1.0;
    double ey = c_.plotExtentY() > 0 ? c_.plotExtentY() : 1.0;
    const double ratio = ey / ex;
    double w = a.width(), h = w * ratio;
    if (h > a.height()) {
        h = a.height();
        w = h / ratio;
    }
    dataRect_ = QRectF(std::round(a.center().x() - w / 2.0), std::round(a.center().y() - h / 2.0),
                       std::round(w), std::round(h));
}

double Chart3DLayout::normX(double x) const { return ((x - xmin_) / (xmax_ - xmin_) - 0.5) * ex_; }
double Chart3DLayout::normY(double y) const { return ((y - ymin_) / (ymax_ - ymin_) - 0.5) * ey_; }
double Chart3DLayout::normZ(double z) const
{
    z = std::clamp(z, zmin_, zmax_);
    return ((z - zmin_) / (zmax_ - zmin_) - 0.5) * ez_;
}

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
    // Fit the box around the data into the plot area, leaving room for the axis labels.
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
    const QRectF avail = QRectF(plotRect_).adjusted(60, 30, -60, -40);
    const double bw = std::max(bx1 - bx0, 1e-9), bh = std::max(by1 - by0, 1e-9);
    scale_ = std::min(std::max(avail.width(), 10.0) / bw, std::max(avail.height(), 10.0) / bh) * c_.viewScale();
    cx_ = avail.center().x() - scale_ * (bx0 + bx1) / 2.0;
    cy_ = avail.center().y() - scale_ * (by0 + by1) / 2.0;

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
    p.setPen(Qt::black);
    if (!headerRect_.isNull()) {
        p.setFont(HeaderFont());
        p.drawText(headerRect_, Qt::AlignHCenter | Qt::AlignVCenter, c_.headerText());
    }
    if (!footerRect_.isNull()) {
        p.setFont(FooterFont());
        p.drawText(footerRect_, Qt::AlignHCenter | Qt::AlignVCenter, c_.footerText());
    }
}

void Chart3DLayout::drawSurface(QImage& image) const
{
    if (!grid_ || nx_ < 2 || ny_ < 2) return;
    const std::vector<float>& vals = c_.gridValues();
    const float hole = float(c_.holeValue());
    std::vector<unsigned> colours;
    for (size_t k = 1; k <= std::max<size_t>(levels_.size(), 1); ++k) colours.push_back(c_.levelColour(int(k)).rgb());
    const QRect clip = plotRect_.intersected(image.rect());
    int i0, di, j0, dj;
    cellOrder(&i0, &di, &j0, &dj);
    for (int jn = 0, j = j0; jn < ny_ - 1; ++jn, j += dj) {
        for (int in = 0, i = i0; in < nx_ - 1; ++in, i += di) {
            const size_t k00 = size_t(j) * size_t(nx_) + size_t(i);
            const size_t k10 = k00 + 1, k01 = k00 + size_t(nx_), k11 = k01 + 1;
            const float v00 = vals[k00], v10 = vals[k10], v01 = vals[k01], v11 = vals[k11];
            if (IsHole(v00, hole) || IsHole(v10, hole) || IsHole(v01, hole) || IsHole(v11, hole)) continue;
            const double mean = (double(v00) + v10 + v01 + v11) / 4.0;
            size_t li = levels_.empty() ? 0 : size_t(std::upper_bound(levels_.begin(), levels_.end(), mean) - levels_.begin());
            if (li > 0) --li;
            const unsigned col = colours[std::min(li, colours.size() - 1)];
            const QPointF p00(nodes_[k00].sx, nodes_[k00].sy), p10(nodes_[k10].sx, nodes_[k10].sy);
            const QPointF p01(nodes_[k01].sx, nodes_[k01].sy), p11(nodes_[k11].sx, nodes_[k11].sy);
            FillTriangle(image, p00, p10, p11, col, clip);
            FillTriangle(image, p00, p11, p01, col, clip);
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
    auto depth = [&](int k) {
        const double u = normX(k & 1 ? xmax_ : xmin_), v = normY(k & 2 ? ymax_ : ymin_);
        return (u * sinR_ + v * cosR_) * cosE_ - normZ(zmin_) * sinE_;
    };
    int far = 0;
    for (int k = 1; k < 4; ++k)
        if (depth(k) > depth(far)) far = k;
    if (back) {
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
    const QPointF centre = project((xmin_ + xmax_) / 2, (ymin_ + ymax_) / 2, zmin_);
    // X numbers along the floor edge nearer the viewer, Y likewise.
    const int nearK = far ^ 3;
    const double yEdge = (nearK & 2) ? ymax_ : ymin_;
    const double xEdge = (nearK & 1) ? xmax_ : xmin_;
    struct AxisDraw {
        Axis3D axis;
        double lo, hi;
    };
    for (const AxisDraw& a : {AxisDraw{Axis3D::X, xmin_, xmax_}, AxisDraw{Axis3D::Y, ymin_, ymax_}}) {
        auto at = [&](double t) {
            return a.axis == Axis3D::X ? project(t, yEdge, zmin_) : project(xEdge, t, zmin_);
        };
        const double edgeLen = std::hypot(at(a.hi).x() - at(a.lo).x(), at(a.hi).y() - at(a.lo).y());
        // Labels stand off the edge at right angles, away from the box.
        QPointF normal(-(at(a.hi).y() - at(a.lo).y()), at(a.hi).x() - at(a.lo).x());
        if (edgeLen > 1e-9) normal /= edgeLen;
        const QPointF mid = at((a.lo + a.hi) / 2);
        if (QPointF::dotProduct(normal, mid - centre) < 0) normal = -normal;
        auto outward = [&](const QPointF& q, double dist) { return q + normal * dist; };
        if (c_.axisAnnotation(a.axis) == 1) {
            p.setFont(NumberFont(c_.axisNumberFontSize(a.axis)));
            const auto ticks = NiceTicks(a.lo, a.hi, std::clamp(int(edgeLen / 70), 2, 8));
            const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
            p.setPen(Qt::black);
            for (double t : ticks) {
                const QPointF q = at(t);
                p.drawLine(q, outward(q, 5));
                DrawTextCentred(p, outward(q, 14), FormatTick(t, step));
            }
        }
        if (!c_.axisTitle(a.axis).isEmpty()) {
            p.setFont(TitleFont(c_.axisTitleFontSize(a.axis)));
            p.setPen(Qt::black);
            DrawTextCentred(p, outward(mid, 36), c_.axisTitle(a.axis));
        }
    }
    // Z numbers along the vertical edge drawn furthest left.
    int left = 0;
    for (int k = 1; k < 4; ++k)
        if (corner(k, zmin_).x() < corner(left, zmin_).x()) left = k;
    const QPointF z0 = corner(left, zmin_), z1 = corner(left, zmax_);
    if (c_.axisAnnotation(Axis3D::Z) == 1) {
        p.setFont(NumberFont(c_.axisNumberFontSize(Axis3D::Z)));
        const QFontMetricsF fm(p.font());
        const auto ticks = NiceTicks(zmin_, zmax_, std::clamp(int(std::fabs(z0.y() - z1.y()) / 40), 2, 8));
        const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
        p.setPen(Qt::black);
        p.drawLine(z0, z1);
        for (double t : ticks) {
            const QPointF q = corner(left, t);
            const QString s = FormatTick(t, step);
            p.drawLine(q, q - QPointF(5, 0));
            p.drawText(QPointF(q.x() - 8 - fm.horizontalAdvance(s), q.y() + (fm.ascent() - fm.descent()) / 2), s);
        }
    }
    if (!c_.axisTitle(Axis3D::Z).isEmpty()) {
        p.setFont(TitleFont(c_.axisTitleFontSize(Axis3D::Z)));
        p.setPen(Qt::black);
        const QPointF mid = (z0 + z1) / 2.0;
        p.save();
        p.translate(std::max(double(plotRect_.left()) + 14, mid.x() - 62), mid.y());
        p.rotate(-90);
        DrawTextCentred(p, QPointF(0, 0), c_.axisTitle(Axis3D::Z));
        p.restore();
    }
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
    std::vector<unsigned> colours;
    for (size_t k = 1; k <= std::max<size_t>(levels_.size(), 1); ++k) colours.push_back(c_.levelColour(int(k)).rgb());
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
            size_t li = levels_.empty() ? 0 : size_t(std::upper_bound(levels_.begin(), levels_.end(), v) - levels_.begin());
            if (li > 0) --li;
            line[px] = colours[std::min(li, colours.size() - 1)];
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
    const QFontMetricsF nfmX(NumberFont(c_.axisNumberFontSize(Axis3D::X)));
    double numberW = 0;
    if (c_.axisAnnotation(Axis3D::X) == 1) {
        p.setFont(NumberFont(c_.axisNumberFontSize(Axis3D::X)));
        const auto ticks = NiceTicks(xmin_, xmax_, std::clamp(int(dataRect_.width() / 70), 2, 10));
        const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
        for (double t : ticks) {
            const double x = dataRect_.left() + (t - xmin_) / (xmax_ - xmin_) * dataRect_.width();
            p.drawLine(QPointF(x, dataRect_.bottom() + 1), QPointF(x, dataRect_.bottom() + 5));
            DrawTextCentred(p, QPointF(x, dataRect_.bottom() + 6 + nfmX.height() / 2), FormatTick(t, step));
        }
    }
    if (c_.axisAnnotation(Axis3D::Y) == 1) {
        p.setFont(NumberFont(c_.axisNumberFontSize(Axis3D::Y)));
        const QFontMetricsF fm(p.font());
        const auto ticks = NiceTicks(ymin_, ymax_, std::clamp(int(dataRect_.height() / 50), 2, 10));
        const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0;
        for (double t : ticks) {
            const double y = dataRect_.bottom() - (t - ymin_) / (ymax_ - ymin_) * dataRect_.height();
            const QString s = FormatTick(t, step);
            numberW = std::max(numberW, fm.horizontalAdvance(s));
            p.drawLine(QPointF(dataRect_.left() - 5, y), QPointF(dataRect_.left() - 1, y));
            p.drawText(QPointF(dataRect_.left() - 8 - fm.horizontalAdvance(s), y + (fm.ascent() - fm.descent()) / 2), s);
        }
    }
    if (!c_.axisTitle(Axis3D::X).isEmpty()) {
        p.setFont(TitleFont(c_.axisTitleFontSize(Axis3D::X)));
        const QFontMetricsF fm(p.font());
        DrawTextCentred(p, QPointF(dataRect_.center().x(), dataRect_.bottom() + 10 + nfmX.height() + fm.height() / 2),
                        c_.axisTitle(Axis3D::X));
    }
    if (!c_.axisTitle(Axis3D::Y).isEmpty()) {
        p.setFont(TitleFont(c_.axisTitleFontSize(Axis3D::Y)));
        const QFontMetricsF fm(p.font());
        p.save();
        p.translate(std::max(plotRect_.left() + fm.height() / 2, dataRect_.left() - 12 - numberW - fm.height() / 2),
                    dataRect_.center().y());
        p.rotate(-90);
        DrawTextCentred(p, QPointF(0, 0), c_.axisTitle(Axis3D::Y));
        p.restore();
    }
}

void Chart3DLayout::drawLegend(QImage& image) const
{
    if (legendRect_.isEmpty()) return;
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(legendRect_, c_.legendBackground());
    p.setFont(LegendFont());
    const QFontMetricsF fm(p.font());
    const int n = int(levels_.size());
    const std::vector<LegendLabel>& labels = c_.legendLabels();
    const QRectF r = QRectF(legendRect_).adjusted(kPad, kPad + fm.height() / 2, -kPad, -kPad - fm.height() / 2);
    const double swatchW = 24;
    const QColor outline = c_.style().meshColour.isValid() ? c_.style().meshColour : QColor(90, 90, 90);
    auto textAt = [&](double x, double y, const QString& s) {
        p.setPen(Qt::black);
        p.drawText(QPointF(x, y + (fm.ascent() - fm.descent()) / 2), s);
    };
    const int mode = c_.legendMode();
    if (mode == 2) {
        // Filled zones: zone k runs from level k - 1 up to level k.
        const int zones = labels.empty() ? n + 1 : int(labels.size());
        std::vector<int> shown;
        for (int z = 1; z <= zones; ++z) {
            const QString t = size_t(z) <= labels.size() ? labels[size_t(z - 1)].text : QString();
            if (z == 1 && t.isEmpty()) continue;
            shown.push_back(z);
        }
        if (shown.empty()) return;
        const double h = std::min(24.0, r.height() / shown.size());
        const double top = r.center().y() - h * shown.size() / 2.0;
        for (size_t s = 0; s < shown.size(); ++s) {
            const int z = shown[s];
            const double y = top + (shown.size() - 1 - s) * h;
            const QRectF box(r.left(), y, swatchW, h);
            p.fillRect(box, c_.levelColour(std::clamp(z - 1, 1, std::max(n, 1))));
            p.setPen(QPen(outline, 0));
            p.drawRect(box);
            if (size_t(z) <= labels.size()) textAt(r.left() + swatchW + 6, y + h / 2, labels[size_t(z - 1)].text);
        }
    } else if (mode == 1) {
        // Lines: label k names level k.
        std::vector<int> shown;
        for (size_t k = 1; k <= labels.size(); ++k)
            if (!labels[k - 1].text.isEmpty()) shown.push_back(int(k));
        if (shown.empty()) return;
        const double h = std::min(22.0, r.height() / shown.size());
        const double top = r.center().y() - h * shown.size() / 2.0;
        for (size_t s = 0; s < shown.size(); ++s) {
            const int k = shown[s];
            const double y = std::floor(top + (shown.size() - 1 - s) * h + h / 2) + 0.5;
            const QColor colour = c_.style().lineColour.isValid() ? c_.style().lineColour : c_.levelColour(k);
            p.setPen(QPen(colour, std::max(2.0, std::round(c_.style().lineWidth)), Qt::SolidLine, Qt::FlatCap));
            p.drawLine(QPointF(r.left(), y), QPointF(r.left() + swatchW, y));
            textAt(r.left() + swatchW + 6, y, labels[size_t(k - 1)].text);
        }
    } else {
        // Colour bar: one band per level.
        if (n < 1) return;
        const double bandH = std::min(12.0, r.height() / n);
        const double barH = bandH * n;
        const double bottom = r.center().y() + barH / 2.0;
        for (int k = 1; k <= n; ++k) {
            const double y0 = bottom - k * bandH;
            p.fillRect(QRectF(r.left(), y0, swatchW, bandH + 0.5), c_.levelColour(k));
        }
        p.setPen(QPen(outline, 0));
        p.drawRect(QRectF(r.left(), bottom - barH, swatchW, barH));
        const double tx = r.left() + swatchW + 6;
        for (size_t k = 1; k <= labels.size(); ++k) {
            const LegendLabel& l = labels[k - 1];
            if (!l.text.isEmpty() && int(k) <= n) {
                const double y = bottom - int(k) * bandH;
                p.setPen(QPen(outline, 0));
                p.drawLine(QPointF(r.left() + swatchW, y), QPointF(r.left() + swatchW + 4, y));
                textAt(tx, y, l.text);
            }
        }
        if (!labels.empty() && !labels[0].secondText.isEmpty()) textAt(tx, bottom, labels[0].secondText);
        if (n >= 1 && size_t(n) <= labels.size() && !labels[size_t(n - 1)].secondText.isEmpty())
            textAt(tx, bottom - barH, labels[size_t(n - 1)].secondText);
    }
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
        QString text = l->text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
        const QStringList lines = text.split('\n');
        double w = 0;
        for (const QString& s : lines) w = std::max(w, fm.horizontalAdvance(s));
        const QSizeF boxSize(w + 8, fm.height() * lines.size() + 4);
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
                out.z = l1 * vals[t.a] + l2 * vals[t.b] + l3 * vals[t.c];
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
        out.region = inside ? -100 : 1;
        return out;
    }
    if (c_.kind() != ChartKind::Surface) return out;
    const std::vector<float>& vals = c_.gridValues();
    const float hole = float(c_.holeValue());
    double best = 1e300;
    for (int j = 0; j < ny_; ++j) {
        for (int i = 0; i < nx_; ++i) {
            const size_t k = size_t(j) * size_t(nx_) + size_t(i);
            if (IsHole(vals[k], hole)) continue;
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
