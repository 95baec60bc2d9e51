// Windows the window manager places (Xvfb and openbox): ShowMaximised leaves
// the placement to the manager at every opening and every showing again, so
// the frame fills the work area and nothing at the window's foot is cut.
#include "platform/guiservices.h"

#include "testsupport/accessible_names.h"
#include "testsupport/desktop_session.h"
#include "testsupport/desktop_windows.h"
#include "testsupport/offscreen_app.h"

#include <QPushButton>
#include <QVBoxLayout>

#include <functional>
#include <gtest/gtest.h>

namespace {

testsupport::DesktopSession& Desktop()
{
    static testsupport::DesktopSession desktop(1024, 768);
    return desktop;
}

// A window with a command at its foot, as the main and batch windows have.
struct FootedWindow : QWidget {
    QPushButton* foot;
    FootedWindow()
    {
        auto* lay = new QVBoxLayout(this);
        lay->addStretch(1);
        foot = new QPushButton("E&xit Program", this);
        lay->addWidget(foot);
        resize(1024, 768);   // the size the windows are laid out for
    }
};

} // namespace

TEST(DesktopPlacement, AWindowManagerIsFoundWhereOneRuns)
{
    if (!Desktop().ok()) GTEST_SKIP() << Desktop().whyNot();
    testsupport::OffscreenApp();
    EXPECT_TRUE(platform::WindowManagerRuns());
}

TEST(DesktopPlacement, EveryShowingIsMaximisedByTheWindowManager)
{
    if (!Desktop().ok()) GTEST_SKIP() << Desktop().whyNot();
    testsupport::OffscreenApp();
    // What happened to the window before it is shown (again), and the state
    // the window manager reports once it has done that.
    const struct {
        const char* before;
        std::function<void(QWidget&)> prepare;
        const char* managerSays;
    } cases[] = {
        {"never shown", [](QWidget&) {}, nullptr},
        {"hidden", [](QWidget& w) { w.hide(); }, "withdrawn"},
        {"shown", [](QWidget&) {}, "normal maximised"},
        {"minimised", [](QWidget& w) { w.showMinimized(); }, "iconic"},
        {"restored by the user", [](QWidget& w) { w.showNormal(); }, "normal"},
    };
    FootedWindow w;
    for (const auto& c : cases) {
        c.prepare(w);
        if (c.managerSays)
            ASSERT_TRUE(testsupport::WaitForManager(w, c.managerSays))
                << c.before << ": the manager says " << testsupport::ManagerState(w);
        platform::ShowMaximised(w);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(w); }))
            << c.before << ": " << testsupport::Placement(w);
        EXPECT_TRUE(testsupport::WhollyShown(*w.foot)) << c.before;
    }
}
