#pragma once
// The 2D chart of the profile plots: up to a few series of y values over one
// shared set of x values, drawn as lines that break at holes (9999.0), with
// axes, header, footer and a legend of the series labels.
//
// Conventions: points and series count from 1; the x values are given for
// series 1 and every series shares them. Axis annotation: 0 shown, 2 hidden.
// Axis title font sizes are in points. The plot shrinks until its axis
// numbers and titles fit beside header, footer and legend; in a picture too
// small for that, a side's numbers give way before its title, and a title
// longer than its side ends in an ellipsis.
//
// Data files (loadData) are text, one entry a line, '#' starting a comment:
//
//   sorvanta-chart2d 1
//   series 2                         number of series (1 to 16)
//   points 5                         number of points
//   label 1 Upper Left to Lower Right (AB)     optional series labels
//   0.0  1.25  -0.5                  one line a point: x, then one y a series
//   ...
//
// Numbers use '.' as decimal point; 9999 (the hole value) marks a missing y.
//
// Size, batching, header, footer, legend switch, action table (the profile
// charts keep one swallowed right-button entry) and export are the shared
// chart parts of ChartBase (chartbase.h).
#include <QColor>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <vector>

#include "chartbase.h"
#include "chart3d.h"   // kHoleValue
#include "chart3d_render.h"   // TextBox

namespace charts {

enum class Axis2D { X = 0, Y = 1 };

class Chart2D : public ChartBase {
    Q_OBJECT
public:
    explicit Chart2D(QObject* parent = nullptr);

    // --- Data of chart group 1.
    void setHoleValue(double v);
    double holeValue() const { return hole_; }
    void setSeriesCount(int n);
    int seriesCount() const { return int(y_.size()); }
    void setPointCount(int n);
    int pointCount() const { return int(x_.size()); }
    void setX(int point, double x);                  // 1-based
    double x(int point) const;
    void setY(int series, int point, double y);      // 1-based
    double y(int series, int point) const;
    void setSeriesLabel(int series, const QString& label);
    QString seriesLabel(int series) const;
    void setSeriesColour(int series, const QColor& colour);
    // Loads the whole data of the group from a data file (format above).
    // On failure the chart keeps its data and the reason is returned.
    bool loadData(const QString& path, QString* error = nullptr);

    // --- Axes by name "X"/"Y" (any case) or position (1 = X, 2 = Y).
    static bool AxisByName(const QString& name, Axis2D* axis);
    static bool AxisByIndex(int index, Axis2D* axis);
    void setAxisTitle(Axis2D a, const QString& t);
    QString axisTitle(Axis2D a) const { return axes_[int(a)].title; }
    void setAxisMin(Axis2D a, double v);
    void setAxisMax(Axis2D a, double v);
    void setAxisMinAuto(Axis2D a, bool on);
    void setAxisMaxAuto(Axis2D a, bool on);
    bool axisMinAuto(Axis2D a) const { return axes_[int(a)].minAuto; }
    bool axisMaxAuto(Axis2D a) const { return axes_[int(a)].maxAuto; }
    double axisMin(Axis2D a) const;   // current: the set value or the data's
    double axisMax(Axis2D a) const;
    void setAxisAnnotation(Axis2D a, int mode);   // 0 shown, 2 hidden
    int axisAnnotation(Axis2D a) const { return axes_[int(a)].annotation; }
    void setAxisTitleFontSize(Axis2D a, int points);
    int axisTitleFontSize(Axis2D a) const { return axes_[int(a)].titleFont; }

    // --- Pictures.
    void render(QImage& image) const override;
    // Plot rectangle of the layout for the current size (for tests and hit checks).
    QRectF plotRect() const;
    // Every text the chart draws (header, footer, legend, axis numbers and
    // titles), where it goes.
    std::vector<TextBox> textBoxes() const;
    QPointF dataToPixel(double x, double y) const;

private:
    struct AxisState {
        double min = 0, max = 1;
        bool minAuto = true, maxAuto = true;
        QString title;
        int annotation = 0;
        int titleFont = 10;
    };
    bool dataExtent(Axis2D a, double* lo, double* hi) const;
    void limits(Axis2D a, double* lo, double* hi) const;
    struct Layout {
        QRect header, footer, legend;
        QRectF plot;
        std::vector<double> xTicks, yTicks;   // numbered ticks
        std::vector<TextBox> texts;
        std::vector<std::pair<QLineF, QColor>> legendLines;
    };
    Layout layout() const;
    // The steps of the layout: header and footer, then the series legend
    // under the plot, each taking its room from the area; then the plot.
    void placeHeaderAndFooter(Layout* l, QRect* area) const;
    void placeLegend(Layout* l, QRect* area) const;
    std::vector<QString> seriesNames() const;
    void fitPlot(Layout* l, const QRectF& full) const;
    // Which axis texts are laid out.
    struct AxisParts {
        bool xNumbers = true, yNumbers = true, xTitle = true, yTitle = true;
    };
    // The least plot the axis texts leave, in pixels each way.
    static constexpr double kLeastPlot = 20;
    // The plot in the area with the axis texts round it; returns the texts,
    // and in `all` what they and the plot cover.
    std::vector<TextBox> fitAxisText(Layout* l, const QRectF& full, const AxisParts& parts, QRectF* all) const;
    // Numbers and titles of the axes around the layout's plot rectangle,
    // titles kept within the area `full`; returns the rectangle they and the
    // plot need.
    QRectF placeAxisText(Layout* l, const AxisParts& parts, const QRectF& full, std::vector<TextBox>* texts) const;

    double hole_ = kHoleValue;
    std::vector<double> x_;
    std::vector<std::vector<double>> y_;
    std::vector<QString> labels_;
    std::vector<QColor> colours_;
    AxisState axes_[2];
};

} // namespace charts
