// The batch window on a desktop with a window manager (Xvfb and openbox):
// Batch Process... while the window is open brings it back maximised by the
// window manager, every group down to "7" on the screen.
#include "app/batch/gui/frm_batch_processing.h"
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/tests/gui_fixture.h"

#include "testsupport/accessible_names.h"
#include "testsupport/desktop_session.h"
#include "testsupport/desktop_windows.h"

namespace {

testsupport::DesktopSession& Desktop()
{
    static testsupport::DesktopSession desktop(1024, 768);
    return desktop;
}

class BatchOnDesktop : public guitest::GuiTest {
protected:
    void SetUp() override
    {
        if (!Desktop().ok()) GTEST_SKIP() << Desktop().whyNot();
        GuiTest::SetUp();
        batch::InstallBatchWindows();
    }
};

// Records whether the window's own area ever covered the whole work area:
// a geometry set on it by the program, which the window manager's title bar
// then pushes off the screen.
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

} // namespace

TEST_F(BatchOnDesktop, BatchProcessWhileTheWindowIsOpenKeepsItMaximised)
{
    StartAndConfirm();
    gui::FrmAnalysis& main = gui::frmAnalysis();
    main.ShowWindow();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(main); }))
        << testsupport::Placement(main);
    batch::FrmBatchProcessing& w = batch::frmBatchProcessing();
    GeometryWatch watch;
    w.installEventFilter(&watch);
    for (int opening = 0; opening < 2; ++opening) {
        // Batch Process... typed in the main window, the second time with the
        // batch window still open behind it.
        testsupport::TypeInto(main, "alt+b");
        EXPECT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(w); }))
            << "opening " << opening << ": " << testsupport::Placement(w);
        for (QWidget* foot : {static_cast<QWidget*>(w.cmdViewThumbnails), static_cast<QWidget*>(w.cmdClose)})
            EXPECT_TRUE(testsupport::WhollyShown(*foot)) << opening << " " << foot->objectName().toStdString();
        EXPECT_FALSE(watch.coveredWorkArea) << opening;
    }
    w.removeEventFilter(&watch);
}
