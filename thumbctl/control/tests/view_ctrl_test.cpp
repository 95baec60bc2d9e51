// The list control in a window, driven as a container and a user drive it:
// properties and methods by name, real mouse clicks and key presses, events
// read back from the control's event sink.
#include "thumbctl/control/constants.h"
#include "thumbctl/control/tests/dib_maker.h"
#include "thumbctl/control/tests/folder_maker.h"
#include "thumbctl/control/tests/loopback_server.h"
#include "thumbctl/control/view_embed.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/testsupport.h"
#include "thumbctl/control/host/typeinfo.h"

#include <QAccessible>
#include <QScrollBar>
#include <QTimer>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <utility>

using namespace thumbctl;
using host::Variant;

namespace {

// A 24-bit BMP file of w x h in one colour.
void WriteBmp(const std::string& path, int w, int h, uint8_t shade)
{
    DibHandle dib(testkit::MakeDib(w, h, 24, {}, [&](int64_t, int64_t) {
        return testkit::PixelBgr{shade, uint8_t(255 - shade), 90};
    }));
    IpiGlobalLock lock(dib.get());
    const uint32_t size = uint32_t(lock.size()) + 14, offset = 54;
    std::ofstream f(path, std::ios::binary);
    f.write("BM", 2);
    f.write(reinterpret_cast<const char*>(&size), 4);
    f.write("\0\0\0\0", 4);
    f.write(reinterpret_cast<const char*>(&offset), 4);
    f.write(reinterpret_cast<const char*>(lock.ptr()), lock.size());
}

class ControlWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::OffscreenApp();
        window = std::make_unique<QWidget>();
        window->resize(330, 250);
        std::string why;
        control = EmbeddedControl::Create(window.get(), SORVANTA_BIN_DIR, &why);
        ASSERT_TRUE(control) << why;
        control->widget()->setGeometry(0, 0, 330, 250);
        window->show();
        QApplication::processEvents();
    }

    // n pictures in the folder, added through Update of the folder source.
    void LoadFolder(int n, int caption = trkCaptionNone)
    {
        for (int i = 0; i < n; ++i) WriteBmp(dir.file("p" + std::to_string(10 + i) + ".bmp"), 40 + i, 30, uint8_t(i * 20));
        control->Put("CaptionType", Variant::Short(int16_t(caption)));
        control->Put("AutoUpdate", Variant::Bool(false));
        control->Put("DataPath", Variant::String(dir.path().string()));
        ASSERT_TRUE(control->Call("Update").boolean());
        control->events.clear();
        QApplication::processEvents();
    }

    std::vector<long> EventIndices(int32_t id) const
    {
        std::vector<long> out;
        for (const auto& e : control->events)
            if (e.id == id) out.push_back(e.args.empty() ? -1 : long(e.args[0].integer()));
        return out;
    }

    void Click(int x, int y) { QTest::mouseClick(control->widget(), Qt::LeftButton, {}, QPoint(x, y)); }
    void Key(Qt::Key k) { QTest::keyClick(control->widget(), k); }

    testsupport::TempDir dir{"thumbview"};
    std::unique_ptr<QWidget> window;
    std::unique_ptr<EmbeddedControl> control;
};

} // namespace

TEST_F(ControlWindow, GridNumbersScrollBarAndMarginClicks)
{
    LoadFolder(10);
    EXPECT_EQ(control->Get("ListCount").integer(), 10);
    // Cells of 100 x 80: 3 x 3 would fit, but 10 items need the bar, which
    // leaves (330 - bar) / 100 = 3 columns and lines 0 .. 3, three of them on
    // screen: the top line goes from 0 to 1.
    auto* bar = control->widget()->findChild<QScrollBar*>("thumbnailVScroll");
    ASSERT_TRUE(bar);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->maximum(), 1);
    EXPECT_EQ(bar->pageStep(), 3);

    Click(150, 40);   // line 1, position 2
    Click(50, 200);   // line 3, position 1
    Click(101, 40);   // the 2-pixel margin between two cells
    Click(150, 78);   // bottom margin of a cell
    EXPECT_EQ(EventIndices(eventItemClick), (std::vector<long>{1, 6}));

    // TopIndex moves by whole lines.
    control->Put("TopIndex", Variant::Long(5));
    EXPECT_EQ(control->Get("TopIndex").integer(), 3);
    EXPECT_EQ(bar->value(), 1);
    control->events.clear();
    Click(50, 40);
    EXPECT_EQ(EventIndices(eventItemClick), (std::vector<long>{3}));
}

TEST_F(ControlWindow, SelectionLimits)
{
    LoadFolder(5);
    control->Put("SelectLimit", Variant::Long(0));
    Click(50, 40);
    EXPECT_EQ(control->Get("SelectedCount").integer(), 0);
    EXPECT_TRUE(EventIndices(eventSelChange).empty());
    EXPECT_EQ(EventIndices(eventItemClick), (std::vector<long>{0}));

    control->Put("SelectLimit", Variant::Long(2));
    Click(50, 40);
    Click(150, 40);
    Click(250, 40);  // a third one is refused
    EXPECT_EQ(control->Get("SelectedCount").integer(), 2);
    EXPECT_EQ(EventIndices(eventSelChange), (std::vector<long>{0, 1}));
    Click(50, 40);  // a click on a selected item deselects it
    EXPECT_EQ(EventIndices(eventSelChange), (std::vector<long>{0, 1, 0}));
    EXPECT_EQ(control->Get("SelectedIndices", {Variant::Long(0)}).integer(), 1);

    // With one selection the property moves selection and focus, silently.
    control->Put("SelectLimit", Variant::Long(1));
    control->events.clear();
    Click(150, 40);
    ASSERT_TRUE(control->Put("Selected", Variant::Bool(true), {Variant::Long(3)}));
    EXPECT_EQ(EventIndices(eventSelChange), (std::vector<long>{1}));
    EXPECT_EQ(control->Get("SelectedCount").integer(), 1);
    EXPECT_TRUE(control->Get("Selected", {Variant::Long(3)}).boolean());
    Key(Qt::Key_Right);  // the focus went to 3 as well: the arrow goes on from there
    EXPECT_EQ(EventIndices(eventSelChange), (std::vector<long>{1, 4}));
}

// What a property change does besides storing the value, each at once:
// a new selection limit drops the selection, a sort type sorts, a new data
// source clears the list at the next Add, a path or pattern reloads the list
// when AutoUpdate is on, a scroll direction lays the grid out again; a value
// set again to what it was does nothing.
TEST_F(ControlWindow, PropertyChangesTakeEffectAtOnce)
{
    LoadFolder(12);  // p10.bmp .. p21.bmp, vertical bar
    auto* vbar = control->widget()->findChild<QScrollBar*>("thumbnailVScroll");
    ASSERT_TRUE(vbar);
    control->Put("SelectLimit", Variant::Long(-1));
    Click(50, 40);
    Click(150, 40);
    ASSERT_EQ(control->Get("SelectedCount").integer(), 2);
    control->Put("SelectLimit", Variant::Long(-1));
    EXPECT_EQ(control->Get("SelectedCount").integer(), 2);
    control->Put("SelectLimit", Variant::Long(3));
    EXPECT_EQ(control->Get("SelectedCount").integer(), 0);

    control->Put("SortType", Variant::Short(trkSortFileNameDescending));
    EXPECT_EQ(control->Get("FileName", {Variant::Long(0)}).text(), dir.file("p21.bmp"));

    control->Put("ScrollDirection", Variant::Short(trkScrollHorz));
    auto* hbar = control->widget()->findChild<QScrollBar*>("thumbnailHScroll");
    ASSERT_TRUE(hbar);
    EXPECT_TRUE(hbar->isVisible());
    EXPECT_FALSE(vbar->isVisible());

    // AutoUpdate on: the pattern of a folder and the path reload the list.
    control->Put("AutoUpdate", Variant::Bool(true));
    control->Put("Pattern", Variant::String("p1?.bmp"));
    EXPECT_EQ(control->Get("ListCount").integer(), 10);
    control->Put("DataPath", Variant::String(dir.file("missing")));
    EXPECT_EQ(control->Get("ListCount").integer(), 0);
    EXPECT_EQ(control->Call("GetErrorCode").integer(), trkErrPathNotFound);
    control->Put("DataPath", Variant::String(dir.path().string()));
    EXPECT_EQ(control->Get("ListCount").integer(), 10);

    // Another data source: the next Add starts a new list; a pattern change
    // reloads nothing there.
    control->Put("DataSource", Variant::Short(trkDataSrcDirect));
    control->Put("Pattern", Variant::String("*.*"));
    EXPECT_EQ(control->Get("ListCount").integer(), 10);
    ASSERT_TRUE(control->Call("Add", {Variant::Long(-1), Variant::String(dir.file("p10.bmp")), Variant::String(""),
                                      Variant::String("")})
                    .boolean());
    EXPECT_EQ(control->Get("ListCount").integer(), 1);
}

TEST_F(ControlWindow, KeyTable)
{
    // 7 items, 3 per line, all visible; unlimited selection so that the
    // space key shows where the focus is.
    LoadFolder(7);
    control->Put("SelectLimit", Variant::Long(-1));
    struct Step { Qt::Key key; long focus; } steps[] = {
        {Qt::Key_End, 6}, {Qt::Key_Home, 0}, {Qt::Key_Right, 1}, {Qt::Key_Right, 2}, {Qt::Key_Down, 5},
        {Qt::Key_Down, 6}, {Qt::Key_Down, 6}, {Qt::Key_Up, 3}, {Qt::Key_Left, 2}, {Qt::Key_PageDown, 6},
        {Qt::Key_PageUp, 0},
    };
    for (const auto& s : steps) {
        control->events.clear();
        Key(s.key);
        Key(Qt::Key_Space);
        EXPECT_EQ(EventIndices(eventSelChange), (std::vector<long>{s.focus})) << s.key;
        EXPECT_EQ(EventIndices(host::kDispIdKeyDown).size(), 2u);
    }

    // With one selection the first arrow only selects the focus item.
    control->Put("SelectLimit", Variant::Long(1));
    control->Call("ClearSelection");
    control->events.clear();
    Key(Qt::Key_Right);
    EXPECT_EQ(EventIndices(eventSelChange), (std::vector<long>{0}));
    Key(Qt::Key_Right);
    EXPECT_EQ(EventIndices(eventSelChange), (std::vector<long>{0, 1}));

    // An empty list ignores key presses entirely.
    control->Call("RemoveAll");
    control->events.clear();
    Key(Qt::Key_Down);
    Key(Qt::Key_A);
    Key(Qt::Key_Space);
    EXPECT_TRUE(EventIndices(host::kDispIdKeyDown).empty());
    EXPECT_TRUE(EventIndices(eventSelChange).empty());
}

TEST_F(ControlWindow, CancelFromTheFourthLoadingStart)
{
    for (int i = 0; i < 6; ++i) WriteBmp(dir.file("c" + std::to_string(i) + ".bmp"), 50, 40, uint8_t(i * 30));
    long countInHandler = -1;
    std::vector<std::string> mismatches;
    control->onEvent = [&](int32_t id, std::vector<Variant>& args) {
        if (id != eventLoadingStart && id != eventLoadingEnd) return;
        // The item of the event is where the container looks for it.
        const long index = args[0].integer();
        if (control->Get("FileName", {Variant::Long(int32_t(index))}).text() != args[1].text())
            mismatches.push_back(args[1].text());
        if (id == eventLoadingStart && index == 3) {
            countInHandler = control->Get("ListCount").integer();
            control->Call("Cancel");
        }
    };
    control->Put("AutoUpdate", Variant::Bool(false));
    control->Put("DataPath", Variant::String(dir.path().string()));
    EXPECT_FALSE(control->Call("Update").boolean());
    EXPECT_EQ(control->Call("GetErrorCode").integer(), trkErrUserAbort);
    EXPECT_EQ(countInHandler, 6);
    EXPECT_EQ(control->Get("ListCount").integer(), 3);
    EXPECT_EQ(EventIndices(eventLoadingEnd), (std::vector<long>{0, 1, 2}));
    EXPECT_TRUE(mismatches.empty());
    EXPECT_EQ(control->Get("FileName", {Variant::Long(2)}).text(), dir.file("c2.bmp"));

    // A folder that is not there.
    control->onEvent = nullptr;
    control->Put("DataPath", Variant::String(dir.file("missing")));
    EXPECT_FALSE(control->Call("Update").boolean());
    EXPECT_EQ(control->Call("GetErrorCode").integer(), trkErrPathNotFound);
}

TEST_F(ControlWindow, PaintsThumbnailsAndCaptions)
{
    LoadFolder(4, trkCaptionNumber);
    const QImage shot = control->widget()->grab().toImage();
    // The first cell's picture (40 x 30, shade 0: blue 0, green 255, red 90)
    // sits centred in the box under the caption.
    bool found = false;
    for (int y = 0; y < 100 && !found; ++y)
        for (int x = 0; x < 100 && !found; ++x) found = shot.pixel(x, y) == qRgb(90, 255, 0);
    EXPECT_TRUE(found);
}

TEST_F(ControlWindow, ThumbnailsOfHiddenItemsAreMadeWhenTheyScrollIntoView)
{
    LoadFolder(12);  // 9 cells on screen
    // The last picture becomes unreadable before it is ever shown: when it
    // scrolls into view its item goes away instead of leaving a blank cell.
    std::ofstream(dir.file("p21.bmp"), std::ios::binary | std::ios::trunc) << "BM broken";
    control->Put("TopIndex", Variant::Long(9));
    QApplication::processEvents();
    control->widget()->repaint();
    QApplication::processEvents();
    EXPECT_EQ(control->Get("ListCount").integer(), 11);
    EXPECT_EQ(control->Get("FileName", {Variant::Long(10)}).text(), dir.file("p20.bmp"));
}

TEST_F(ControlWindow, KeysScrollTheFocusIntoViewAndDoubleClicksReport)
{
    LoadFolder(10);  // 3 per line, 3 lines on screen, lines 0 .. 3
    control->Put("SelectLimit", Variant::Long(-1));
    Key(Qt::Key_End);
    EXPECT_EQ(control->Get("TopIndex").integer(), 3);  // the last page, full
    Key(Qt::Key_Home);
    EXPECT_EQ(control->Get("TopIndex").integer(), 0);
    Key(Qt::Key_PageDown);  // focus 9
    EXPECT_EQ(control->Get("TopIndex").integer(), 3);

    control->events.clear();
    QTest::mouseDClick(control->widget(), Qt::LeftButton, {}, QPoint(50, 220));
    EXPECT_EQ(EventIndices(eventItemDblClick), (std::vector<long>{9}));
}

TEST_F(ControlWindow, TheLastScrollPositionShowsAFullPage)
{
    // 30 items, 3 per line: lines 0 .. 9, three on screen.
    LoadFolder(30);
    Key(Qt::Key_End);
    EXPECT_EQ(control->Get("TopIndex").integer(), 21);
    Click(250, 200);  // the last cell of the last line
    EXPECT_EQ(EventIndices(eventItemClick), (std::vector<long>{29}));

    // A top index past the last full page, as a container may have stored
    // it, stops at that page when the folder is opened again.
    control->Put("TopIndex", Variant::Long(28));
    ASSERT_TRUE(control->Call("Update").boolean());
    QApplication::processEvents();
    EXPECT_EQ(control->Get("TopIndex").integer(), 21);
    auto* bar = control->widget()->findChild<QScrollBar*>("thumbnailVScroll");
    ASSERT_TRUE(bar);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(control->Get("TopIndex").integer(), 21);
}

TEST_F(ControlWindow, HorizontalKeysOnTheLastColumn)
{
    // 8 items in columns of 3 (no bar needed): 0-2, 3-5, 6-7.
    control->Put("ScrollDirection", Variant::Short(trkScrollHorz));
    LoadFolder(8);
    control->Put("SelectLimit", Variant::Long(-1));
    struct Step { Qt::Key key; long focus; } steps[] = {
        {Qt::Key_End, 7}, {Qt::Key_Up, 6}, {Qt::Key_Right, 6}, {Qt::Key_Left, 3}, {Qt::Key_Down, 4},
        {Qt::Key_Down, 5}, {Qt::Key_Right, 7}, {Qt::Key_Right, 7},
    };
    for (const auto& s : steps) {
        control->events.clear();
        Key(s.key);
        Key(Qt::Key_Space);
        EXPECT_EQ(EventIndices(eventSelChange), (std::vector<long>{s.focus})) << s.key;
    }
}

namespace {

// Counts the paint events a widget receives; `afterNextPaint`, when set, is
// posted to run once the next paint is done.
class PaintCounter : public QObject {
public:
    int count = 0;
    std::function<void()> afterNextPaint;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() != QEvent::Paint) return false;
        ++count;
        if (afterNextPaint)
            QMetaObject::invokeMethod(QCoreApplication::instance(), std::exchange(afterNextPaint, nullptr),
                                      Qt::QueuedConnection);
        return false;
    }
};

// True when some pixel of the widget's picture has colour `rgb`.
bool Shows(QWidget* w, QRgb rgb)
{
    const QImage shot = w->grab().toImage();
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixel(x, y) == rgb) return true;
    return false;
}

} // namespace

TEST_F(ControlWindow, AWaitingUrlLetsTheWindowPaintAndTheCancelThrough)
{
    testkit::LoopbackServer server;
    server.Misbehave("/slow.bmp", testkit::LoopbackServer::Mode::Stall);
    control->Put("DataSource", Variant::Short(trkDataSrcDirect));
    PaintCounter paints;
    control->widget()->installEventFilter(&paints);
    int refused = -1;
    bool paintedWhileWaiting = false;
    // Once the server holds the request the window is asked to repaint; after
    // that paint, members that would change the list are refused and a
    // cancel ends the fetch.
    server.PostOnRequest([&](const std::string&) {
        paints.afterNextPaint = [&] {
            paintedWhileWaiting = true;
            control->Call("RemoveAll");
            refused = control->Call("GetErrorCode").integer();
            control->Call("Cancel");
        };
        control->widget()->update();
    });
    // Without the cancel the fetch would end at its deadline with 2120.
    EXPECT_FALSE(control->Call("Add", {Variant::Long(-1), Variant::String(server.Url() + "/slow.bmp"),
                                       Variant::String(""), Variant::String("")})
                     .boolean());
    EXPECT_EQ(control->Call("GetErrorCode").integer(), trkErrUserAbort);
    EXPECT_TRUE(paintedWhileWaiting);
    EXPECT_EQ(refused, trkErrSystemError);
    EXPECT_EQ(control->Get("ListCount").integer(), 0);
    EXPECT_EQ(server.requests(), 1);
}

TEST_F(ControlWindow, AWaitingMultiPageUrlLetsTheWindowPaintAndTheCancelThrough)
{
    // The one read of the file (format, pages and pictures) stalls.
    testkit::MakeMixedFolder(dir.path().string());
    testkit::LoopbackServer server;
    server.Serve("/pages.tif", testsupport::ReadBytes(dir.file("pages.tif")));
    server.StallAfter("/pages.tif", 0);
    control->Put("AutoUpdate", Variant::Bool(false));
    control->Put("DataSource", Variant::Short(trkDataSrcMultiPage));
    control->Put("DataPath", Variant::String(server.Url() + "/pages.tif"));
    PaintCounter paints;
    control->widget()->installEventFilter(&paints);
    bool paintedWhileWaiting = false;
    server.PostOnRequest([&](const std::string&) {
        paints.afterNextPaint = [&] {
            paintedWhileWaiting = true;
            control->Call("Cancel");
        };
        control->widget()->update();
    });
    // Without the cancel the read would end at its deadline with 2120.
    EXPECT_FALSE(control->Call("Update").boolean());
    EXPECT_EQ(control->Call("GetErrorCode").integer(), trkErrUserAbort);
    EXPECT_TRUE(paintedWhileWaiting);
    EXPECT_EQ(control->Get("ListCount").integer(), 0);
    EXPECT_EQ(server.requests(), 1);
}

// Remote items scrolled into view on a server that has stopped answering:
// the paint shows their cells without pictures at once and the fetch runs
// after it, with the window's events running; a cancel ends it, the items
// stay, and no paint fetches them again until the list is loaded again.
TEST_F(ControlWindow, RemoteItemsScrolledIntoViewAreFetchedAfterThePaintAndCancelled)
{
    testkit::LoopbackServer server;
    WriteBmp(dir.file("remote.bmp"), 40, 30, 0);
    control->Put("DataSource", Variant::Short(trkDataSrcDirect));
    for (int i = 0; i < 9; ++i) {
        const std::string file = dir.file("d" + std::to_string(10 + i) + ".bmp");
        WriteBmp(file, 40, 30, 200);
        ASSERT_TRUE(control->Call("Add", {Variant::Long(-1), Variant::String(file), Variant::String(""),
                                          Variant::String("")})
                        .boolean());
    }
    // Three remote items, answered once when they are added, then never.
    for (int i = 0; i < 3; ++i) {
        const std::string path = "/r" + std::to_string(i) + ".bmp";
        server.Serve(path, testsupport::ReadBytes(dir.file("remote.bmp")));
        server.StallAfter(path, 1);
        ASSERT_TRUE(control->Call("Add", {Variant::Long(-1), Variant::String(server.Url() + path),
                                          Variant::String(""), Variant::String("")})
                        .boolean());
    }
    // Loading again keeps thumbnails only for the nine items on screen.
    ASSERT_TRUE(control->Call("Update").boolean());
    QApplication::processEvents();
    ASSERT_EQ(server.requests(), 3);

    PaintCounter paints;
    control->widget()->installEventFilter(&paints);
    bool cancelSent = false;
    server.PostOnRequest([&](const std::string&) {
        paints.afterNextPaint = [&] {
            control->Call("Cancel");
            cancelSent = true;
        };
        control->widget()->update();
    });
    testsupport::HangGuard guard;
    Key(Qt::Key_End);  // the remote items come into view
    while (!cancelSent) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(control->Call("GetErrorCode").integer(), trkErrUserAbort);
    EXPECT_EQ(control->Get("ListCount").integer(), 12);
    EXPECT_EQ(server.requests(), 4);
    EXPECT_FALSE(Shows(control->widget(), qRgb(90, 255, 0)));
    // Painting again reads nothing more.
    control->widget()->repaint();
    QApplication::processEvents();
    EXPECT_EQ(server.requests(), 4);
    EXPECT_EQ(control->Get("ListCount").integer(), 12);
}

TEST_F(ControlWindow, AssistiveTechnologyWalksTheGridItemByItem)
{
    LoadFolder(12, trkCaptionFileName);  // cells of 100 x 103: 3 x 2 on screen
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(control->widget());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    // Named by what the user sees, not by the component's name.
    EXPECT_EQ(list->text(QAccessible::Name).toStdString(), "Thumbnails");
    ASSERT_EQ(list->childCount(), 12);
    for (int i = 0; i < 12; ++i) {
        QAccessibleInterface* item = list->child(i);
        ASSERT_NE(item, nullptr) << i;
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(item->text(QAccessible::Name), QStringLiteral("p%1.bmp").arg(10 + i));
        EXPECT_EQ(item->parent(), list);
        EXPECT_EQ(list->indexOfChild(item), i);
        EXPECT_EQ(item->state().offscreen, i >= 6) << i;
        EXPECT_FALSE(item->state().selected);
    }

    // A click where the reader says item 4 is selects item 4, and the reader
    // hears it; the point answers with that item too.
    QAccessibleInterface* item = list->child(4);
    const QPoint centre = item->rect().center();
    Click(control->widget()->mapFromGlobal(centre).x(), control->widget()->mapFromGlobal(centre).y());
    EXPECT_EQ(EventIndices(eventItemClick), (std::vector<long>{4}));
    EXPECT_TRUE(item->state().selected);
    EXPECT_FALSE(list->child(0)->state().selected);
    EXPECT_EQ(list->childAt(centre.x(), centre.y()), item);

    // Items that go away leave the list with them.
    control->Call("Remove", {Variant::Long(11)});
    EXPECT_EQ(list->childCount(), 11);
    EXPECT_EQ(list->child(11), nullptr);
}

TEST_F(ControlWindow, ARemoteItemScrolledIntoViewIsPaintedFromItsUrl)
{
    testkit::LoopbackServer server;
    WriteBmp(dir.file("remote.bmp"), 40, 30, 0);
    server.Serve("/remote.bmp", testsupport::ReadBytes(dir.file("remote.bmp")));
    control->Put("DataSource", Variant::Short(trkDataSrcDirect));
    for (int i = 0; i < 12; ++i) {
        const std::string file = dir.file("d" + std::to_string(10 + i) + ".bmp");
        WriteBmp(file, 40, 30, 200);
        ASSERT_TRUE(control->Call("Add", {Variant::Long(-1), Variant::String(file), Variant::String(""),
                                          Variant::String("")})
                        .boolean());
    }
    // Added out of view: its thumbnail is made from the bytes read for the
    // Add, so showing it reads nothing more.
    ASSERT_TRUE(control->Call("Add", {Variant::Long(-1), Variant::String(server.Url() + "/remote.bmp"),
                                      Variant::String(""), Variant::String("")})
                    .boolean());
    control->Put("TopIndex", Variant::Long(12));
    QApplication::processEvents();
    EXPECT_TRUE(Shows(control->widget(), qRgb(90, 255, 0)));
    EXPECT_EQ(control->Get("ListCount").integer(), 13);
    EXPECT_EQ(server.requests(), 1);

    // Loaded again while out of view, it keeps no thumbnail: when it scrolls
    // into view the paint shows its cell at once and the fetch after the
    // paint brings the picture.
    control->Put("TopIndex", Variant::Long(0));
    QApplication::processEvents();
    ASSERT_TRUE(control->Call("Update").boolean());
    QApplication::processEvents();
    EXPECT_EQ(server.requests(), 1);
    control->Put("TopIndex", Variant::Long(12));
    testsupport::HangGuard guard;
    while (!Shows(control->widget(), qRgb(90, 255, 0))) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(server.requests(), 2);
    EXPECT_EQ(control->Get("ListCount").integer(), 13);
}
