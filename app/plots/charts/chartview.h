#pragma once
// Widgets that show a chart: ChartView for a Chart3D, Chart2DView for a
// Chart2D. Both repaint when their chart reports a change and, once shown,
// give the chart their size, so pictures exported from a shown chart match
// the window; a chart whose view never showed keeps the size set on it.
//
// User input runs through the chart's action table. Each entry is (message,
// modifier, key, action); an input matches the first entry whose message and
// key are equal and whose modifier bits are all present in the input's:
//   messages  256 key pressed, 512 mouse moved, 513 left button pressed,
//             514 left button released, 516 right button pressed,
//             517 right button released
//   modifier  1 left button held, 2 right button held, 16 middle button held,
//             4 Shift, 8 Ctrl, 32 no Shift, Ctrl or Alt held
//   key       27 Escape, letters and digits by their upper-case character
// Actions of the 3D chart:
//    1 start turning the view, 4 turn (horizontal drag: rotation,
//      vertical drag: elevation), 2 stop turning, 3 cancel the turn (back to
//      the angles where it started),
//    7 start zooming, 8 zoom (vertical drag), 9 stop zooming, 11 zoom back
//      to fit, 12 nothing (the input is taken and dropped).
// The profile charts (Chart2DView) take every action as "nothing".
// So the 3D window's table turns the view with a plain left drag (33/32), zooms
// with a Ctrl left drag (9/8), cancels a turn with Escape while the button is
// held and resets the zoom with Escape. Actions run only while the chart allows
// user changes and does not hold its actions.
#include <QImage>
#include <QWidget>

#include "chart2d.h"
#include "chart3d.h"

namespace charts {

// The view angles a turn proposes; a handler of viewChanging may change them.
struct ViewProposal {
    double elevation = 0;
    double third = 0;       // a third view angle, not used by this chart's projection
    double rotation = 0;
    int reserved = 0;
};

// What both views share: the chart's picture, drawn again when the chart
// reports a change (the last picture stays while the chart batches changes),
// the chart's size following the widget's, and the mouse button signals. To
// assistive technology a view is an image under the name it is attached with,
// described by the lines of the chart's header and footer shown.
// Mouse buttons in signals: 1 left, 2 right, 4 middle. Shift state: 1 Shift, 2 Ctrl, 4 Alt.
class ChartPictureView : public QWidget {
    Q_OBJECT
signals:
    void mouseDown(int button, int shift, int x, int y);
    void mouseUp(int button, int shift, int x, int y);

protected:
    explicit ChartPictureView(QWidget* parent) : QWidget(parent) {}
    // Shows this chart (owned by the widget) under the given accessible name.
    void attach(ChartBase* chart, const QString& accessibleName);
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void showEvent(QShowEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    ChartBase* shown_ = nullptr;
    QImage cache_;
    bool dirty_ = true;
};

class ChartView : public ChartPictureView {
    Q_OBJECT
public:
    explicit ChartView(QWidget* parent = nullptr);
    Chart3D* chart() { return chart_; }
    const Chart3D* chart() const { return chart_; }

signals:
    void keyDown(int keyCode, int shift);
    void keyUp(int keyCode, int shift);
    void viewChanging(charts::ViewProposal* proposal);
    void viewChanged();
    void interactionStarted(int action);   // a turn or zoom begins

protected:
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void keyReleaseEvent(QKeyEvent*) override;

private:
    void runAction(int message, int modifier, int key, QPoint pos);
    Chart3D* chart_;
    enum class Drag { None, Turn, Zoom } drag_ = Drag::None;
    QPoint dragStart_;
    double startRotation_ = 0, startElevation_ = 0, startScale_ = 1;
};

class Chart2DView : public ChartPictureView {
    Q_OBJECT
public:
    explicit Chart2DView(QWidget* parent = nullptr);
    Chart2D* chart() { return chart_; }
    const Chart2D* chart() const { return chart_; }

private:
    Chart2D* chart_;
};

// Input codes as the action table sees them (exposed for tests).
int ActionModifier(Qt::MouseButtons buttons, Qt::KeyboardModifiers mods);
int ActionKeyCode(int qtKey);
// First matching action of a table, or 0.
int MatchAction(const std::vector<ChartAction>& table, int message, int modifier, int key);

} // namespace charts
