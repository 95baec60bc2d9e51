// The chart widget: accessible name, repaint, turning the view through the
// action table.
#include "plots/charts/chartview.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace charts;

namespace {

// The 3D plot window's table.
void SurfaceTable(Chart3D& c)
{
    c.removeAllActions();
    const int t[9][4] = {{516, 2, 0, 12}, {513, 33, 0, 1}, {512, 33, 0, 4}, {514, 32, 0, 2}, {256, 1, 27, 3},
                         {513, 9, 0, 7},   {512, 9, 0, 8},  {514, 8, 0, 9},  {256, 0, 27, 11}};
    for (const auto& e : t) c.addAction(e[0], e[1], e[2], e[3]);
}

void Send(QWidget& w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
          Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent e(type, QPointF(pos), w.mapToGlobal(QPointF(pos)), button, buttons, mods);
    QApplication::sendEvent(&w, &e);
}

void Drag(QWidget& w, QPoint from, QPoint to, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    Send(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, mods);
    Send(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton, mods);
    Send(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, mods);
    Send(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, mods);
}

} // namespace

TEST(ActionTable, ModifierCodesAndMatching)
{
    EXPECT_EQ(ActionModifier(Qt::LeftButton, Qt::NoModifier), 33);
    EXPECT_EQ(ActionModifier(Qt::NoButton, Qt::NoModifier), 32);
    EXPECT_EQ(ActionModifier(Qt::LeftButton, Qt::ControlModifier), 9);
    EXPECT_EQ(ActionModifier(Qt::RightButton, Qt::NoModifier), 34);
    EXPECT_EQ(ActionModifier(Qt::LeftButton, Qt::AltModifier), 1);
    Chart3D c;
    SurfaceTable(c);
    EXPECT_EQ(MatchAction(c.actions(), 513, 33, 0), 1);   // plain left press turns
    EXPECT_EQ(MatchAction(c.actions(), 513, 9, 0), 7);    // Ctrl left press zooms
    EXPECT_EQ(MatchAction(c.actions(), 513, 1, 0), 0);    // Alt left press: nothing
    EXPECT_EQ(MatchAction(c.actions(), 516, 34, 0), 12);  // right press taken
    EXPECT_EQ(MatchAction(c.actions(), 256, 33, 27), 3);  // Escape while turning
    EXPECT_EQ(MatchAction(c.actions(), 256, 32, 27), 11); // plain Escape
}

TEST(ChartView, PlainLeftDragTurnsTheViewAndReportsIt)
{
    ChartView v;
    EXPECT_FALSE(v.accessibleName().isEmpty());
    v.resize(600, 400);
    v.show();
    EXPECT_EQ(v.chart()->size(), QSize(600, 400));
    SurfaceTable(*v.chart());
    v.chart()->setViewRotation(330);
    v.chart()->setViewElevation(45);
    QSignalSpy changing(&v, &ChartView::viewChanging);
    QSignalSpy changed(&v, &ChartView::viewChanged);
    QSignalSpy started(&v, &ChartView::interactionStarted);
    QSignalSpy ups(&v, &ChartView::mouseUp);
    Drag(v, QPoint(300, 200), QPoint(340, 220));
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(changing.count(), 2);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(v.chart()->viewRotation(), 310.0);
    EXPECT_EQ(v.chart()->viewElevation(), 55.0);
    ASSERT_EQ(ups.count(), 1);
    EXPECT_EQ(ups[0][0].toInt(), 1);
    EXPECT_EQ(ups[0][2].toInt(), 340);

    // A handler may hold an angle (the R and A keys of the 3D window).
    QObject::connect(&v, &ChartView::viewChanging, [](ViewProposal* p) { p->elevation = 45; });
    Drag(v, QPoint(300, 200), QPoint(320, 260));
    EXPECT_EQ(v.chart()->viewRotation(), 300.0);
    EXPECT_EQ(v.chart()->viewElevation(), 45.0);

    // Held actions or no user changes: the view stays.
    v.chart()->setActionsHeld(true);
    Drag(v, QPoint(300, 200), QPoint(400, 260));
    EXPECT_EQ(v.chart()->viewRotation(), 300.0);
    v.chart()->setActionsHeld(false);
    v.chart()->setUserChangesAllowed(false);
    Drag(v, QPoint(300, 200), QPoint(400, 260));
    EXPECT_EQ(v.chart()->viewRotation(), 300.0);
    v.chart()->setUserChangesAllowed(true);

    // Without an entry for it, a drag does nothing; the mouse events still arrive.
    v.chart()->removeAllActions();
    Drag(v, QPoint(300, 200), QPoint(400, 260));
    EXPECT_EQ(v.chart()->viewRotation(), 300.0);
    EXPECT_EQ(ups.count(), 5);
}

TEST(ChartView, PaintsTheChartAndProfileView)
{
    ChartView v;
    v.resize(400, 300);
    v.chart()->setHeaderText("plate7");
    const QImage shot = v.grab().toImage();
    EXPECT_EQ(shot.size(), QSize(400, 300));
    Chart2DView p;
    EXPECT_FALSE(p.accessibleName().isEmpty());
    p.resize(300, 200);
    p.show();
    EXPECT_EQ(p.chart()->size(), QSize(300, 200));
    EXPECT_EQ(p.grab().toImage().size(), QSize(300, 200));
}

TEST(ChartView, KeepsTheLastPictureWhileTheChartBatchesChanges)
{
    Chart2DView p;
    p.resize(300, 200);
    p.show();
    const QImage before = p.grab().toImage();
    p.chart()->setIsBatched(true);
    p.chart()->setHeaderText("plate7");
    EXPECT_EQ(p.grab().toImage(), before);
    p.chart()->setIsBatched(false);
    EXPECT_NE(p.grab().toImage(), before);

    // The profile view reports its mouse buttons as the 3D view does.
    QSignalSpy downs(&p, &Chart2DView::mouseDown);
    QSignalSpy ups(&p, &Chart2DView::mouseUp);
    Send(p, QEvent::MouseButtonPress, QPoint(30, 40), Qt::RightButton, Qt::RightButton, Qt::ShiftModifier);
    Send(p, QEvent::MouseButtonRelease, QPoint(30, 40), Qt::RightButton, Qt::NoButton, Qt::ShiftModifier);
    ASSERT_EQ(downs.count(), 1);
    ASSERT_EQ(ups.count(), 1);
    EXPECT_EQ(downs[0][0].toInt(), 2);
    EXPECT_EQ(downs[0][1].toInt(), 1);
    EXPECT_EQ(downs[0][2].toInt(), 30);
    EXPECT_EQ(downs[0][3].toInt(), 40);
}

TEST(ChartView, ChartOfAViewNeverShownExportsAtItsSetSize)
{
    // A batch run draws on the charts of a window it never shows.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* surface = new ChartView(&window);
    auto* profile = new Chart2DView(&window);
    layout->addWidget(surface);
    layout->addWidget(profile);
    window.resize(1000, 700);
    surface->chart()->setSize(QSize(860, 560));
    profile->chart()->setSize(QSize(640, 480));
    QApplication::processEvents();
    EXPECT_EQ(surface->chart()->renderImage().size(), QSize(860, 560));
    EXPECT_EQ(profile->chart()->renderImage().size(), QSize(640, 480));
    // Once shown, the charts take their views' size.
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(surface->chart()->size(), surface->size());
    EXPECT_EQ(profile->chart()->size(), profile->size());
}
