#pragma once
// The 3D chart: a shaded surface, a top-view contour map or a colour legend
// drawn from one grid of 4-byte floats. The model holds everything a chart
// builder or plot window sets; Chart3DLayout (chart3d_render.h) turns it into
// pixels and back.
//
// Conventions of this chart:
// - Grid node (i, j), 1-based, lies at x = origin X + (i - 1) * spacing X and
//   y = origin Y + (j - 1) * spacing Y; values are one buffer with i varying
//   fastest. A value equal to the hole value (9999.0) is not drawn.
// - Levels colour the data: a value v takes the colour of the highest level
//   <= v (values under the first level take the first level's colour). Level
//   k's colour comes from the style's colour ramp at (k - 1) / (levels - 1).
// - Legend modes: 0 colour bar (one band per level; label k's main text at
//   the top edge of band k, label 1's second text at the bar's foot and the
//   last label's second text at its head), 1 lines (label k names level k),
//   2 filled zones (label k names the zone from level k - 1 up to level k
//   and is drawn on that zone's lower boundary; the bands drawn are those
//   between neighbouring levels, as on the map; zone 1, under the first
//   level, is left out while its label is empty). Labels that would touch
//   one already drawn are left out.
// - A flat table (every level the same value) draws everything in the
//   middle colour of the ramp and its legend as one swatch with one label.
// - Axis numbers and titles are laid out from their measured size: never
//   over each other, and on the surface always outside the drawn box.
// - The surface is cut at the Z limits: cells beyond them are not drawn.
// - Axis annotation: 1 numbers shown, 2 hidden. Axis font sizes are percent
//   of the chart's base font (100 = normal).
// - Every setter marks the chart changed; while change batching is on the
//   chart collects the changes and reports them once when batching ends.
//   Size, batching, header, footer, legend switch, action table and export
//   are the shared chart parts of ChartBase (chartbase.h).
#include "chartbase.h"
#include "chartstyle.h"

#include <QColor>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <memory>
#include <vector>

namespace charts {

constexpr double kHoleValue = 9999.0;

// What the chart draws.
enum class ChartKind { Surface, Contour, LegendOnly };

enum class Axis3D { X = 0, Y = 1, Z = 2 };

struct LegendLabel {
    QString text;        // main text
    QString secondText;  // second text
};

struct ChartLabel {
    QString text;
    int attachMethod = 1;            // 1: attached to a pixel of the chart
    QPoint attachPoint;              // chart pixels
    QPoint offset;                   // label corner relative to the attach point
    int fontSize = 10;               // points
    bool shown = true;
    QColor background = QColor(255, 255, 224);
};

// Result of the pixel-to-data query. On the surface: the data point under the
// pixel and region -100; elsewhere x, y and z are the hole value and region 1.
struct DataPoint {
    double x = kHoleValue;
    double y = kHoleValue;
    double z = kHoleValue;
    int region = 1;
};

// Result of the nearest-data-point query: 1-based grid indices of the node
// drawn nearest to the pixel, its distance in pixels, and the region code
// (-100 when the pixel lies on the drawn data, 1 otherwise). Indices are 0
// when the chart has no grid.
struct NearestPoint {
    int gridX = 0;
    int gridY = 0;
    double distance = 1e30;
    int region = 1;
};

class Chart3DLayout;

class Chart3D : public ChartBase {
    Q_OBJECT
public:
    explicit Chart3D(QObject* parent = nullptr);
    ~Chart3D() override;

    // --- What is drawn.
    void setKind(ChartKind kind);
    ChartKind kind() const { return kind_; }

    // Interaction switches: actions of the action table run only while user
    // changes are allowed and actions are not held.
    void setUserChangesAllowed(bool on);
    bool userChangesAllowed() const { return userChangesAllowed_; }
    void setActionsHeld(bool on);
    bool actionsHeld() const { return actionsHeld_; }

    // --- Legend.
    void setLegendMode(int mode);
    int legendMode() const { return legendMode_; }
    void removeAllLegendLabels();
    void appendLegendLabel(const QString& text);
    int legendLabelCount() const { return int(legendLabels_.size()); }
    // Item n (1-based); writing an item past the end grows the list.
    void setLegendLabelText(int n, const QString& text);
    void setLegendLabelSecondText(int n, const QString& text);
    QString legendLabelText(int n) const;
    QString legendLabelSecondText(int n) const;
    const std::vector<LegendLabel>& legendLabels() const { return legendLabels_; }

    // --- Axes. Setting a limit turns that limit's automatic switch off.
    void setAxisMin(Axis3D axis, double value);
    void setAxisMax(Axis3D axis, double value);
    void setAxisMinAuto(Axis3D axis, bool automatic);
    void setAxisMaxAuto(Axis3D axis, bool automatic);
    bool axisMinAuto(Axis3D axis) const { return axes_[int(axis)].minAuto; }
    bool axisMaxAuto(Axis3D axis) const { return axes_[int(axis)].maxAuto; }
    // Current limits: the set value, or the data's extent when automatic.
    double axisMin(Axis3D axis) const;
    double axisMax(Axis3D axis) const;
    void setAxisTitle(Axis3D axis, const QString& title);
    QString axisTitle(Axis3D axis) const { return axes_[int(axis)].title; }
    void setAxisAnnotation(Axis3D axis, int mode);   // 1 shown, 2 hidden
    int axisAnnotation(Axis3D axis) const { return axes_[int(axis)].annotation; }
    void setAxisTitleFontSize(Axis3D axis, int percent);
    int axisTitleFontSize(Axis3D axis) const { return axes_[int(axis)].titleFont; }
    void setAxisNumberFontSize(Axis3D axis, int percent);
    int axisNumberFontSize(Axis3D axis) const { return axes_[int(axis)].numberFont; }
    // Axes addressed by name "X", "Y" or "Z" (any case); false for another name.
    static bool AxisByName(const QString& name, Axis3D* axis);

    // --- Plot proportions (only their ratio matters).
    void setPlotExtentX(double extent);
    void setPlotExtentY(double extent);
    double plotExtentX() const { return extentX_; }
    double plotExtentY() const { return extentY_; }

    // --- Colours.
    void setChartBackground(const QColor& colour);
    QColor chartBackground() const { return chartBackground_; }
    void setLegendBackground(const QColor& colour);
    QColor legendBackground() const { return legendBackground_; }
    void setLabelBackground(const QColor& colour);   // for labels added later

    // --- Grid of chart group 1.
    void setHoleValue(double value);
    double holeValue() const { return holeValue_; }
    void setPointsX(int n);
    void setPointsY(int n);
    int pointsX() const { return nx_; }
    int pointsY() const { return ny_; }
    void setOriginX(double v);
    void setOriginY(double v);
    void setSpacingX(double v);
    void setSpacingY(double v);
    double originX() const { return originX_; }
    double originY() const { return originY_; }
    double spacingX() const { return spacingX_; }
    double spacingY() const { return spacingY_; }
    // Values, i (X) varying fastest. The grid is drawn only while the buffer
    // holds exactly points X times points Y values.
    void setGridValues(std::vector<float> values);
    const std::vector<float>& gridValues() const { return values_; }
    bool gridValid() const;
    // Value of node (i, j), 1-based; the hole value outside the grid.
    double gridValue(int i, int j) const;
    // Lowest and highest value that is not a hole; false when there is none.
    bool dataRange(double* lo, double* hi) const;

    // --- Contour levels of chart group 1.
    void setContourFilled(bool filled);
    bool contourFilled() const { return filled_; }
    // Reset switch: true empties the table and keeps it explicit.
    void setLevelTableReset(bool reset);
    // 0 empties the table; n > 0 asks for n even levels over the Z range.
    void setLevelCount(int n);
    int levelCount() const;
    void addLevel(double value);
    double level(int j) const;     // 1-based; 0 outside the table
    std::vector<double> levels() const;

    // --- Appearance style (colour ramp, line drawing).
    bool loadStyle(const QString& path, QString* error = nullptr);
    void setStyle(const ChartStyle& style);
    const ChartStyle& style() const { return style_; }
    // Colour of level k (1-based) under the current style.
    QColor levelColour(int k) const;
    // 1-based level index whose colour a value takes; 0 for a hole or no levels.
    int levelIndexOf(double value) const;

    // --- Chart labels.
    int chartLabelCount() const { return int(labels_.size()); }
    void removeAllChartLabels();
    int addChartLabel();                        // returns the new label's number
    ChartLabel* chartLabel(int n);              // 1-based; null outside
    const ChartLabel* chartLabel(int n) const;
    void updateChartLabel(int n, const ChartLabel& label);

    // --- View (degrees).
    void setViewRotation(double degrees);
    void setViewElevation(double degrees);
    double viewRotation() const { return rotation_; }
    double viewElevation() const { return elevation_; }
    // Zoom of the 3D view (1 = fit).
    void setViewScale(double scale);
    double viewScale() const { return viewScale_; }

    // --- Queries on the drawn chart (chart pixels).
    DataPoint pixelToData(int px, int py) const;
    NearestPoint nearestDataPoint(int px, int py) const;
    // Pixel where node (i, j), 1-based, is drawn; false when not drawn.
    bool gridNodeToPixel(int i, int j, QPointF* pixel) const;

    // The layout for the current state and size (rebuilt after changes).
    const Chart3DLayout& layout() const;

    // --- Pictures: drawn straight into an image of the chart's size.
    void render(QImage& image) const override;

private:
    struct AxisState {
        double min = 0.0, max = 1.0;
        bool minAuto = true, maxAuto = true;
        QString title;
        int annotation = 1;
        int titleFont = 100;
        int numberFont = 100;
    };
    void invalidate() override;

    ChartKind kind_ = ChartKind::Surface;
    bool userChangesAllowed_ = true;
    bool actionsHeld_ = false;

    int legendMode_ = 0;
    std::vector<LegendLabel> legendLabels_;

    AxisState axes_[3];
    double extentX_ = 1.0, extentY_ = 1.0;

    QColor chartBackground_{255, 255, 255};
    QColor legendBackground_{255, 255, 255};
    QColor labelBackground_{255, 255, 224};

    double holeValue_ = kHoleValue;
    int nx_ = 0, ny_ = 0;
    double originX_ = 0, originY_ = 0, spacingX_ = 1, spacingY_ = 1;
    std::vector<float> values_;

    bool filled_ = true;
    bool levelsExplicit_ = true;
    int evenLevelCount_ = 0;
    std::vector<double> levels_;

    ChartStyle style_;
    std::vector<ChartLabel> labels_;

    double rotation_ = 330.0, elevation_ = 45.0, viewScale_ = 1.0;

    mutable std::unique_ptr<Chart3DLayout> layout_;
};

} // namespace charts
