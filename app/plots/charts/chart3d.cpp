#include "chart3d.h"

#include "chart3d_render.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace charts {

Chart3D::Chart3D(QObject* parent) : ChartBase(parent), style_(DefaultStyle())
{
    evenLevelCount_ = 16;
    levelsExplicit_ = false;
}

Chart3D::~Chart3D() = default;

void Chart3D::invalidate() { layout_.reset(); }

void Chart3D::setKind(ChartKind kind) { kind_ = kind; touch(); }

void Chart3D::setUserChangesAllowed(bool on) { userChangesAllowed_ = on; }
void Chart3D::setActionsHeld(bool on) { actionsHeld_ = on; }

void Chart3D::setLegendMode(int mode) { legendMode_ = mode; touch(); }
void Chart3D::removeAllLegendLabels() { legendLabels_.clear(); touch(); }
void Chart3D::appendLegendLabel(const QString& text)
{
    legendLabels_.push_back({text, QString()});
    touch();
}

void Chart3D::setLegendLabelText(int n, const QString& text)
{
    if (n < 1) return;
    if (size_t(n) > legendLabels_.size()) legendLabels_.resize(size_t(n));
    legendLabels_[size_t(n - 1)].text = text;
    touch();
}

void Chart3D::setLegendLabelSecondText(int n, const QString& text)
{
    if (n < 1) return;
    if (size_t(n) > legendLabels_.size()) legendLabels_.resize(size_t(n));
    legendLabels_[size_t(n - 1)].secondText = text;
    touch();
}

QString Chart3D::legendLabelText(int n) const
{
    return n >= 1 && size_t(n) <= legendLabels_.size() ? legendLabels_[size_t(n - 1)].text : QString();
}

QString Chart3D::legendLabelSecondText(int n) const
{
    return n >= 1 && size_t(n) <= legendLabels_.size() ? legendLabels_[size_t(n - 1)].secondText : QString();
}

void Chart3D::setAxisMin(Axis3D axis, double value)
{
    axes_[int(axis)].min = value;
    axes_[int(axis)].minAuto = false;
    touch();
}

void Chart3D::setAxisMax(Axis3D axis, double value)
{
    axes_[int(axis)].max = value;
    axes_[int(axis)].maxAuto = false;
    touch();
}

void Chart3D::setAxisMinAuto(Axis3D axis, bool automatic) { axes_[int(axis)].minAuto = automatic; touch(); }
void Chart3D::setAxisMaxAuto(Axis3D axis, bool automatic) { axes_[int(axis)].maxAuto = automatic; touch(); }

double Chart3D::axisMin(Axis3D axis) const
{
    const AxisState& a = axes_[int(axis)];
    if (!a.minAuto) return a.min;
    switch (axis) {
    case Axis3D::X: return nx_ > 0 ? std::min(originX_, originX_ + (nx_ - 1) * spacingX_) : 0.0;
    case Axis3D::Y: return ny_ > 0 ? std::min(originY_, originY_ + (ny_ - 1) * spacingY_) : 0.0;
    case Axis3D::Z: {
        double lo, hi;
        return dataRange(&lo, &hi) ? lo : 0.0;
    }
    }
    return 0.0;
}

double Chart3D::axisMax(Axis3D axis) const
{
    const AxisState& a = axes_[int(axis)];
    if (!a.maxAuto) return a.max;
    switch (axis) {
    case Axis3D::X: return nx_ > 0 ? std::max(originX_, originX_ + (nx_ - 1) * spacingX_) : 1.0;
    case Axis3D::Y: return ny_ > 0 ? std::max(originY_, originY_ + (ny_ - 1) * spacingY_) : 1.0;
    case Axis3D::Z: {
        double lo, hi;
        return dataRange(&lo, &hi) ? hi : 1.0;
    }
    }
    return 1.0;
}

void Chart3D::setAxisTitle(Axis3D axis, const QString& title) { axes_[int(axis)].title = title; touch(); }
void Chart3D::setAxisAnnotation(Axis3D axis, int mode) { axes_[int(axis)].annotation = mode; touch(); }
void Chart3D::setAxisTitleFontSize(Axis3D axis, int percent) { axes_[int(axis)].titleFont = percent; touch(); }
void Chart3D::setAxisNumberFontSize(Axis3D axis, int percent) { axes_[int(axis)].numberFont = percent; touch(); }

bool Chart3D::AxisByName(const QString& name, Axis3D* axis)
{
    const QString n = name.trimmed().toUpper();
    if (n == "X") *axis = Axis3D::X;
    else if (n == "Y") *axis = Axis3D::Y;
    else if (n == "Z") *axis = Axis3D::Z;
    else return false;
    return true;
}

void Chart3D::setPlotExtentX(double extent) { extentX_ = extent; touch(); }
void Chart3D::setPlotExtentY(double extent) { extentY_ = extent; touch(); }

void Chart3D::setChartBackground(const QColor& colour) { chartBackground_ = colour; touch(); }
void Chart3D::setLegendBackground(const QColor& colour) { legendBackground_ = colour; touch(); }
void Chart3D::setLabelBackground(const QColor& colour) { labelBackground_ = colour; }

void Chart3D::setHoleValue(double value) { holeValue_ = value; touch(); }
void Chart3D::setPointsX(int n) { nx_ = std::max(0, n); touch(); }
void Chart3D::setPointsY(int n) { ny_ = std::max(0, n); touch(); }
void Chart3D::setOriginX(double v) { originX_ = v; touch(); }
void Chart3D::setOriginY(double v) { originY_ = v; touch(); }
void Chart3D::setSpacingX(double v) { spacingX_ = v; touch(); }
void Chart3D::setSpacingY(double v) { spacingY_ = v; touch(); }

void Chart3D::setGridValues(std::vector<float> values)
{
    values_ = std::move(values);
    touch();
}

bool Chart3D::gridValid() const
{
    return nx_ >= 1 && ny_ >= 1 && values_.size() == size_t(nx_) * size_t(ny_);
}

double Chart3D::gridValue(int i, int j) const
{
    if (!gridValid() || i < 1 || j < 1 || i > nx_ || j > ny_) return holeValue_;
    return values_[size_t(j - 1) * size_t(nx_) + size_t(i - 1)];
}

bool Chart3D::dataRange(double* lo, double* hi) const
{
    if (!gridValid()) return false;
    bool any = false;
    float mn = 0, mx = 0;
    const float hole = float(holeValue_);
    for (float v : values_) {
        if (v == hole || std::isnan(v)) continue;
        if (!any) { mn = mx = v; any = true; }
        else { mn = std::min(mn, v); mx = std::max(mx, v); }
    }
    if (any) { *lo = mn; *hi = mx; }
    return any;
}

void Chart3D::setContourFilled(bool filled) { filled_ = filled; touch(); }

void Chart3D::setLevelTableReset(bool reset)
{
    if (reset && !levelsExplicit_) {
        levelsExplicit_ = true;
        levels_.clear();
    }
    touch();
}

void Chart3D::setLevelCount(int n)
{
    if (n <= 0) {
        levelsExplicit_ = true;
        levels_.clear();
    } else {
        levelsExplicit_ = false;
        evenLevelCount_ = n;
    }
    touch();
}

int Chart3D::levelCount() const { return levelsExplicit_ ? int(levels_.size()) : evenLevelCount_; }

std::vector<double> Chart3D::levels() const
{
    if (levelsExplicit_) return levels_;
    std::vector<double> out;
    const double lo = axisMin(Axis3D::Z), hi = axisMax(Axis3D::Z);
    const double step = (hi - lo) / evenLevelCount_;
    for (int i = 0; i < evenLevelCount_; ++i) out.push_back(lo + i * step);
    return out;
}

void Chart3D::addLevel(double value)
{
    if (!levelsExplicit_) {
        levels_ = levels();
        levelsExplicit_ = true;
    }
    levels_.insert(std::upper_bound(levels_.begin(), levels_.end(), value), value);
    touch();
}

double Chart3D::level(int j) const
{
    const std::vector<double> l = levels();
    return j >= 1 && size_t(j) <= l.size() ? l[size_t(j - 1)] : 0.0;
}

bool Chart3D::loadStyle(const QString& path, QString* error)
{
    ChartStyle s;
    const bool ok = ReadStyleFile(path, &s, error);
    setStyle(ok ? s : BuiltInStyle(QFileInfo(path).fileName()));
    return ok;
}

void Chart3D::setStyle(const ChartStyle& style)
{
    style_ = style;
    if (style_.ramp.empty()) style_.ramp = DefaultStyle().ramp;
    touch();
}

QColor Chart3D::levelColour(int k) const
{
    const int n = levelCount();
    if (n <= 1 || k <= 1) return style_.rampColour(0.0);
    return style_.rampColour(double(k - 1) / double(n - 1));
}

int Chart3D::levelIndexOf(double value) const
{
    if (value == holeValue_ || std::isnan(value)) return 0;
    const std::vector<double> l = levels();
    if (l.empty()) return 0;
    const int k = int(std::upper_bound(l.begin(), l.end(), value) - l.begin());
    return std::max(1, k);
}

void Chart3D::removeAllChartLabels()
{
    if (labels_.empty()) return;
    labels_.clear();
    touch();
}

int Chart3D::addChartLabel()
{
    ChartLabel l;
    l.background = labelBackground_;
    labels_.push_back(l);
    touch();
    return int(labels_.size());
}

ChartLabel* Chart3D::chartLabel(int n)
{
    if (n < 1 || size_t(n) > labels_.size()) return nullptr;
    touch();   // the caller is about to change it
    return &labels_[size_t(n - 1)];
}

const ChartLabel* Chart3D::chartLabel(int n) const
{
    return n >= 1 && size_t(n) <= labels_.size() ? &labels_[size_t(n - 1)] : nullptr;
}

void Chart3D::updateChartLabel(int n, const ChartLabel& label)
{
    if (n < 1 || size_t(n) > labels_.size()) return;
    labels_[size_t(n - 1)] = label;
    touch();
}

void Chart3D::setViewRotation(double degrees) { rotation_ = degrees; touch(); }
void Chart3D::setViewElevation(double degrees) { elevation_ = degrees; touch(); }
void Chart3D::setViewScale(double scale)
{
    viewScale_ = std::clamp(scale, 0.1, 10.0);
    touch();
}

const Chart3DLayout& Chart3D::layout() const
{
    if (!layout_) layout_ = std::make_unique<Chart3DLayout>(*this);
    return *layout_;
}

DataPoint Chart3D::pixelToData(int px, int py) const { return layout().pixelToData(px, py); }
NearestPoint Chart3D::nearestDataPoint(int px, int py) const { return layout().nearestDataPoint(px, py); }
bool Chart3D::gridNodeToPixel(int i, int j, QPointF* pixel) const { return layout().nodePixel(i, j, pixel); }

void Chart3D::render(QImage& image) const { layout().render(image); }

} // namespace charts
