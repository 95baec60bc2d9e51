#pragma once
// Layout and drawing of a Chart3D for one state and size: where header,
// footer, legend and plot go, the projection of the grid (3D surface) or its
// mapping to the plot rectangle (contour map), and the reverse queries that
// turn a chart pixel back into data. Built by Chart3D::layout() and kept
// until the chart changes.
#include <QFont>
#include <QImage>
#include <QLineF>
#include <QPainter>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QPolygonF>
#include <QStringList>
#include <vector>

#include "chart3d.h"

namespace charts {

// One piece of text of a laid-out chart: the box it fills in chart pixels
// (its advance width by the font's height; turned text swaps the two).
struct TextBox {
    QRectF rect;
    QString text;
    QFont font;
    bool vertical = false;   // read from bottom to top
};

// The box of a text in a font, centred on a point.
TextBox CentredText(const QString& text, const QFont& font, QPointF centre, bool vertical = false);
// Draws the text of a box into it (black).
void DrawTextBox(QPainter& p, const TextBox& box);
// The box keeps margin pixels clear of every box placed.
bool IsClear(const std::vector<TextBox>& placed, const TextBox& box, double margin);
// Adds the box unless it comes within margin pixels of one already there;
// true when added.
bool PlaceIfFree(std::vector<TextBox>& placed, const TextBox& box, double margin = 2.0);
// Leaves out the texts that do not lie wholly inside the area.
void KeepInside(std::vector<TextBox>* boxes, const QRectF& area);
// Lines of a header or footer text: CR, LF and CR LF each end a line.
QStringList TextLines(const QString& text);
// Size of the box a chart label is drawn in.
QSizeF ChartLabelSize(const ChartLabel& label);

class Chart3DLayout {
public:
    explicit Chart3DLayout(const Chart3D& chart);

    // Draws the whole chart into an image of the chart's size (any 32-bit format).
    void render(QImage& image) const;

    DataPoint pixelToData(int px, int py) const;
    NearestPoint nearestDataPoint(int px, int py) const;
    bool nodePixel(int i, int j, QPointF* pixel) const;   // 1-based node
    // Pixel of a data point (surface: projected; contour: z is ignored).
    QPointF dataToPixel(double x, double y, double z) const;

    QRect headerRect() const { return headerRect_; }
    QRect footerRect() const { return footerRect_; }
    QRect legendRect() const { return legendRect_; }
    QRect plotRect() const { return plotRect_; }
    // Contour map: the rectangle the axis ranges fill.
    QRectF dataRect() const { return dataRect_; }
    // Every text the chart draws (header, footer, legend, axis numbers and
    // titles; chart labels aside), where it goes.
    std::vector<TextBox> textBoxes() const;
    // Surface: the outline of the drawn box (the surface lies inside it).
    const QPolygonF& boxOutline() const { return hull_; }
    // Top-left corner for a box of the given size inside the plot area, clear
    // of the axis texts: the plot area's corner on the side asked first.
    QPointF freeSpot(QSizeF box, bool right, bool bottom) const;

private:
    struct Projected {   // a projected grid node
        float sx, sy;
    };
    void layoutFrame();
    void layoutLegend();
    // The legend by its mode, in the legend's drawing area, and the marks
    // and texts they add.
    struct LegendArea;
    void layoutFlatLegend(const LegendArea& a);
    void layoutZoneLegend(const LegendArea& a);
    void layoutLineLegend(const LegendArea& a);
    void layoutBarLegend(const LegendArea& a);
    void legendFill(const QRectF& box, const QColor& colour);
    void legendOutline(const LegendArea& a, const QRectF& box);
    void legendLine(const QLineF& line, const QColor& colour, double width);
    bool legendText(const LegendArea& a, double y, const QString& s, bool tick);
    void layoutSurface();
    // The numbers and titles around the surface's box: each axis on an
    // edge of the box's outline, numbers first, titles beyond them.
    void placeSurfaceText();
    struct SurfaceAxis;
    static SurfaceAxis SurfaceEdge(const QPointF (&P)[8], const int (&cands)[4][2], bool vertical);
    void placeSurfaceNumbers(const QPointF (&P)[8], SurfaceAxis* axis);
    void placeSurfaceTitle(const QPointF (&P)[8], const SurfaceAxis& a);
    void layoutContour();
    void placeContourText(std::vector<double>* xt, std::vector<double>* yt);
    QPointF project(double x, double y, double z) const;
    double normX(double x) const;
    double normY(double y) const;
    double normZ(double z) const;
    // Cell drawing order of the surface: far cells first.
    void cellOrder(int* i0, int* di, int* j0, int* dj) const;

    // Fill colour of a value, or of a surface cell's mean.
    unsigned colourOf(double v) const;

    void drawFrame(QImage& image) const;
    void drawSurface(QImage& image) const;
    void drawSurfaceAxes(QImage& image, bool back) const;
    void drawContourFill(QImage& image) const;
    void drawContourLines(QImage& image) const;
    void drawContourAxes(QImage& image) const;
    void drawLegend(QImage& image) const;
    void drawChartLabels(QImage& image) const;

    // Bilinear value at fractional grid position (0-based); hole value when
    // outside the grid or next to a hole.
    double valueAt(double gx, double gy) const;

    const Chart3D& c_;
    int nx_ = 0, ny_ = 0;
    bool grid_ = false;
    double xmin_ = 0, xmax_ = 1, ymin_ = 0, ymax_ = 1, zmin_ = 0, zmax_ = 1;
    std::vector<double> levels_;
    std::vector<unsigned> colours_;   // fill colour of each level
    bool flat_ = false;               // every level the same value: one middle colour
    QRect headerRect_, footerRect_, legendRect_, plotRect_;
    // Contour mapping.
    QRectF dataRect_;
    // Surface projection.
    double ex_ = 1, ey_ = 1, ez_ = 0.55;
    double cosR_ = 1, sinR_ = 0, cosE_ = 1, sinE_ = 0;
    double scale_ = 1, cx_ = 0, cy_ = 0;
    std::vector<Projected> nodes_;   // surface: every node's pixel
    QPolygonF hull_;                 // surface: outline of the drawn box

    // Texts and marks, laid out once.
    std::vector<TextBox> frameText_, legendText_, axisText_;
    struct Mark {
        enum Kind { Fill, Outline, Line } kind;
        QRectF rect;
        QLineF line;
        QColor colour;
        double width;
    };
    std::vector<Mark> legendMarks_;
    std::vector<QLineF> tickMarks_;   // axis tick marks
    QLineF zAxisLine_;                // surface: the numbered vertical edge
};

// Fills a triangle into a 32-bit image: pixels whose centres lie inside.
void FillTriangle(QImage& image, const QPointF& a, const QPointF& b, const QPointF& c, unsigned colour,
                  const QRect& clip);

// Up to maxCount "nice" tick values between lo and hi.
std::vector<double> NiceTicks(double lo, double hi, int maxCount);
// Text of tick value v on an axis with tick distance step: as many decimals as
// the step needs (at most 8), a value within rounding of 0 shown as 0.
QString FormatTick(double v, double step);

} // namespace charts
