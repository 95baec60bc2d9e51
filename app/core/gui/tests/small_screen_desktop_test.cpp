// The windows on an 800 x 600 screen with a window manager (Xvfb and
// openbox): the maximised main window fits the work area and the commands at
// the foot of its panel are reached by scrolling the panel with the mouse
// wheel; the configuration window opens within the work area.
#include "gui_fixture.h"

#include "app/batch/config/frm_batch_configuration.h"
#include "app/sorvanta/program_windows.h"
#include "testsupport/accessible_names.h"
#include "testsupport/desktop_session.h"
#include "testsupport/desktop_windows.h"

#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>

using namespace guitest;

namespace {

testsupport::DesktopSession& Desktop()
{
    static testsupport::DesktopSession desktop(800, 600);
    return desktop;
}

class SmallScreen : public GuiTest {
protected:
    void SetUp() override
    {
        if (!Desktop().ok()) GTEST_SKIP() << Desktop().whyNot();
        GuiTest::SetUp();
    }
};

// The whole of `control` is shown in its window, not scrolled away.
bool InView(const QWidget& control) { return control.visibleRegion() == QRegion(control.rect()); }

} // namespace

TEST_F(SmallScreen, TheMaximisedMainWindowFitsAndItsLastCommandsAreReached)
{
    const std::string img = dir.file("Dome_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    main.ShowWindow();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::ReadyForInput(main); }))
        << testsupport::Placement(main);
    QWidget* exit = main.cmdExit;
    auto* area = main.findChild<QScrollArea*>("panelArea");
    ASSERT_TRUE(area);
    // The wheel over the panel brings the foot of the column into view.
    const QPoint over = area->mapToGlobal(area->rect().center());
    for (int turn = 0; turn < 40 && !InView(*exit); ++turn) {
        testsupport::Shell("xdotool mousemove " + std::to_string(over.x()) + " " + std::to_string(over.y()) +
                           " click 5");
        testsupport::WaitUntil([&] { return InView(*exit) || area->verticalScrollBar()->value() > 0; });
    }
    ASSERT_TRUE(testsupport::WaitUntil([&] { return InView(*exit); }));
    for (QPushButton* b : {main.cmdBatchProcess, main.cmdViewThumbnails, main.cmdClose, main.cmdExit})
        EXPECT_TRUE(testsupport::WhollyShown(*b) && InView(*b)) << b->objectName().toStdString();
    // The click lands on the command: its question comes (answered No).
    messages.records.clear();
    messages.queue(platform::kAnsNo);
    testsupport::ClickAt(testsupport::CentreOf(*exit));
    auto asked = [&] {
        for (const auto& r : messages.records)
            if (r.text == "Are you sure you want to quit?") return true;
        return false;
    };
    EXPECT_TRUE(testsupport::WaitUntil(asked)) << Messages();
}

// The Batch Output Configuration, designed for a larger screen, opens within
// the work area; its pages scroll.
TEST_F(SmallScreen, TheConfigurationWindowFitsTheWorkArea)
{
    gui::SetWindowFactories(sorvanta::ProgramWindows());
    StartAndConfirm();
    batchcfg::FrmBatchConfiguration* c = batchcfg::BatchConfiguration();
    ASSERT_TRUE(c);
    c->show();
    // Placed and framed by the window manager.
    ASSERT_TRUE(testsupport::WaitUntil([&] {
        return c->windowHandle() && c->windowHandle()->isExposed() && c->frameGeometry() != c->geometry();
    }));
    const QRect area = c->screen()->availableGeometry();
    EXPECT_TRUE(area.contains(c->frameGeometry())) << testsupport::Placement(*c);
    c->hide();
}
