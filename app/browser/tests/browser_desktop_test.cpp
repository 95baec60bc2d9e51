// The browser on a desktop with a window manager (Xvfb and openbox): Load
// Phase Image, given from the keyboard, brings the main window back
// maximised by the window manager, Hide and Exit Program on the screen.
#include "app/browser/frm_full_size.h"
#include "app/browser/frm_thumbnail_view.h"
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/tests/gui_fixture.h"
#include "platform/commandguards.h"
#include "thumbctl/control/host/registry.h"

#include "testsupport/accessible_names.h"
#include "testsupport/desktop_session.h"
#include "testsupport/desktop_windows.h"

#include <QAccessible>
#include <QMenu>

namespace {

testsupport::DesktopSession& Desktop()
{
    static testsupport::DesktopSession desktop(1024, 768);
    return desktop;
}

// Whether the window's own area ever covered the whole work area (a
// geometry the program set, pushing the title bar off the screen).
struct GeometryWatch : QObject {
    bool coveredWorkArea = false;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        auto* w = static_cast<QWidget*>(o);
        if ((e->type() == QEvent::Resize || e->type() == QEvent::Move) &&
            w->geometry().size() == w->screen()->availableGeometry().size())
            coveredWorkArea = true;
        return false;
    }
};

class BrowserOnDesktop : public guitest::GuiTest {
protected:
    void SetUp() override
    {
        if (!Desktop().ok()) GTEST_SKIP() << Desktop().whyNot();
        GuiTest::SetUp();
        browser::InstallBrowserWindows();
        // The control registered for this desktop's user, as an installation does.
        int rc = -1;
        const std::string out = testsupport::Shell("'" + testsupport::BinDir() + "/norvikel-regsvr' register '" +
                                                       testsupport::BinDir() + "/libNorvikel.so'",
                                                   &rc);
        ASSERT_EQ(0, rc) << out;
        host::SetRegistryPath(Desktop().folder() + "/classes.reg");
    }
    void TearDown() override
    {
        GuiTest::TearDown();
        host::SetRegistryPath("");
    }
};

} // namespace

TEST_F(BrowserOnDesktop, LoadPhaseImageBringsTheMainWindowBackMaximised)
{
    const std::string folder = dir.file("Results");
    std::filesystem::create_directories(folder);
    guitest::WritePhaseTiff(folder + "/a_ph.tif", 64, 48);
    guitest::WritePhaseTiff(folder + "/b_ph.tif", 64, 48);
    StartAndConfirm(folder + "/a_ph.tif");
    gui::FrmAnalysis& main = gui::frmAnalysis();
    main.ShowWindow();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(main); }))
        << testsupport::Placement(main);
    GeometryWatch watch;
    main.installEventFilter(&watch);

    testsupport::TypeInto(main, "alt+v");   // View Thumbnails
    browser::FrmThumbnailView& w = browser::frmThumbnailView();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(w); }))
        << testsupport::Placement(w) << Messages();
    const long b = w.GetThumbIndexForFilename(folder + "/b_ph.tif");
    ASSERT_GE(b, 0);
    w.Thumbnail1()->SetSelected(b, true);
    w.Thumbnail1_SelChange(b);
    w.Thumbnail1()->widget()->setFocus();
    testsupport::TypeInto(w, "shift+F10");
    ASSERT_TRUE(testsupport::WaitUntil([] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }));
    testsupport::Type("Return");   // the offered Load Phase Image

    ASSERT_TRUE(testsupport::WaitUntil([&] { return model::files.PhaseImageFile == folder + "/b_ph.tif"; }));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !w.isVisible() && testsupport::PlacedByWindowManager(main); }))
        << testsupport::Placement(main);
    EXPECT_FALSE(watch.coveredWorkArea);
    EXPECT_TRUE(testsupport::WhollyShown(*main.cmdExit));
    EXPECT_TRUE(testsupport::WhollyShown(*main.cmdClose));
    main.removeEventFilter(&watch);
}

TEST_F(BrowserOnDesktop, ADoubleClickClosesTheViewerAndDoesNotOpenItAgain)
{
    const std::string folder = dir.file("Results");
    std::filesystem::create_directories(folder);
    guitest::WritePhaseTiff(folder + "/a_ph.tif", 64, 48);
    StartAndConfirm(folder + "/a_ph.tif");
    gui::FrmAnalysis& main = gui::frmAnalysis();
    main.ShowWindow();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(main); }));
    testsupport::TypeInto(main, "alt+v");
    browser::FrmThumbnailView& w = browser::frmThumbnailView();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(w); }));
    w.Thumbnail1()->widget()->setFocus();
    testsupport::TypeInto(w, "Return");   // the selected picture, full size
    browser::FrmFullSize& v = w.fullSize();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::ReadyForInput(v); })) << testsupport::Placement(v);
    // The second click comes when the viewer is gone, and still counts as
    // the second click of a double click.
    QApplication::setDoubleClickInterval(60000);
    // The pointer on the viewer, over the browser's thumbnail of the picture.
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.Thumbnail1()->widget());
    ASSERT_TRUE(list && list->child(0));
    const QPoint at = list->child(0)->rect().center();
    int shown = 0;
    struct ShowCounter : QObject {
        int* count;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::Show) ++*count;
            return false;
        }
    } counter;
    counter.count = &shown;
    v.installEventFilter(&counter);
    const int dropped = platform::DroppedSecondClicks();
    testsupport::ClickAt(at);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !v.isVisible(); }));
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        int code = 0;
        const std::string id = testsupport::Shell("xdotool search --onlyvisible --name '^Full Size View$'", &code);
        return id.find_first_of("0123456789") == std::string::npos;
    }));
    testsupport::ClickAt(at);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return platform::DroppedSecondClicks() == dropped + 1; }));
    EXPECT_EQ(0, shown);
    EXPECT_FALSE(v.isVisible());
    v.removeEventFilter(&counter);
}
