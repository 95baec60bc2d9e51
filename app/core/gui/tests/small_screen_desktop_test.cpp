// The windows on an 800 x 600 screen with a window manager (Xvfb and
// openbox): the maximised main window fits the work area and the commands at
// the foot of its panel are reached by scrolling the panel with the mouse
// wheel; the configuration window opens within the work area.
#include "gui_fixture.h"

#include "app/batch/config/frm_batch_configuration.h"
#include "app/browser/frm_full_size.h"
#include "app/browser/frm_thumbnail_view.h"
#include "app/editor/gui/frm_phase_image.h"
#include "thumbctl/control/host/registry.h"
#include "app/sorvanta/program_windows.h"
#include "testsupport/accessible_names.h"
#include "testsupport/desktop_session.h"
#include "testsupport/desktop_windows.h"
#include "testsupport/screenshot.h"

#include <QMenu>
#include <QMenuBar>
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

// Maximised by the window manager, its frame within the work area, drawn and
// holding the keyboard.
void ExpectFitsMaximised(const QWidget& w)
{
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::ReadyForInput(w); })) << testsupport::Placement(w);
    EXPECT_TRUE(w.screen()->availableGeometry().contains(w.frameGeometry())) << testsupport::Placement(w);
    EXPECT_LE(w.minimumSizeHint().width(), w.width()) << w.objectName().toStdString();
    EXPECT_LE(w.minimumSizeHint().height(), w.height()) << w.objectName().toStdString();
}

// Every command shown in `window` lies wholly on the screen within it.
void ExpectCommandsShown(const QWidget& window, const std::string& state)
{
    for (QPushButton* b : window.findChildren<QPushButton*>()) {
        if (!b->isVisible()) continue;
        EXPECT_TRUE(testsupport::WhollyShown(*b) && InView(*b)) << state << ": " << b->objectName().toStdString();
    }
}

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

// The phase-image window, maximised as the program shows it, fits an
// 800 x 600 work area in each of its states, every command on the screen;
// Return, clicked, is reached.
TEST_F(SmallScreen, TheEditorFitsTheWorkAreaInEachState)
{
    gui::SetWindowFactories(sorvanta::ProgramWindows());
    const std::string img = dir.file("Dome_ph.tif");
    WritePhaseTiff(img, 640, 480, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    main.ShowWindow();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::ReadyForInput(main); }))
        << testsupport::Placement(main);
    editor::FrmPhaseImage& editor = editor::frmPhaseImage();
    int i = 0;
    for (const char* open : {"alt+r", "alt+m"}) {
        testsupport::TypeInto(main, open);
        ExpectFitsMaximised(editor);
        ExpectCommandsShown(editor, open);
        if (const char* shots = getenv("SORVANTA_SCREENSHOTS"))
            testsupport::GrabScreen(std::string(shots) + "/editor_800_" + std::to_string(i) + ".png");
        // Each state's Return sits in the same place: the clicks land apart, so
        // the second is never taken for the second click of a double click.
        const QPoint apart((i == 0 ? -1 : 1) * editor.cmdReturn->width() / 4, 0);
        testsupport::ClickAt(testsupport::CentreOf(*editor.cmdReturn) + apart);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !editor.isVisible(); })) << open;
        ++i;
    }
}

// The browser and its full-size viewer, maximised, fit an 800 x 600 work
// area: the menu opens by a click, the thumbnails and the count beside them
// are reached by scrolling.
TEST_F(SmallScreen, TheBrowserAndItsViewerFitTheWorkArea)
{
    gui::SetWindowFactories(sorvanta::ProgramWindows());
    host::SetRegistryPath(RegisterThumbnailControl(dir.file("classes.reg")));
    const std::string folder = dir.file("Results");
    std::filesystem::create_directories(folder);
    for (const char* n : {"a_ph.tif", "b_ph.tif", "c_ph.tif"}) WritePhaseTiff(folder + "/" + n, 640, 480, 0.5);
    StartAndConfirm(folder + "/a_ph.tif");
    auto& main = gui::frmAnalysis();
    main.ShowWindow();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::ReadyForInput(main); }))
        << testsupport::Placement(main);
    testsupport::TypeInto(main, "alt+v");
    browser::FrmThumbnailView& w = browser::frmThumbnailView();
    ExpectFitsMaximised(w);
    if (const char* shots = getenv("SORVANTA_SCREENSHOTS")) testsupport::GrabScreen(std::string(shots) + "/browser_800.png");
    // The menu, clicked, opens.
    const QRect options = w.menuBar->actionGeometry(w.Options->menuAction());
    testsupport::ClickAt(w.menuBar->mapToGlobal(options.center()));
    EXPECT_TRUE(testsupport::WaitUntil([&] { return QApplication::activePopupWidget() == w.Options; }));
    testsupport::Type("Escape");
    testsupport::Type("Escape");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !QApplication::activePopupWidget(); }));
    // The count at the far side and the control's far corner come into view
    // by the scroll bars.
    auto* area = w.findChild<QScrollArea*>("clientArea");
    ASSERT_TRUE(area);
    // Pressing a bar's far arrow until it stops.
    auto scrollToEnd = [](QScrollBar* bar) {
        const QPoint end = bar->mapToGlobal(bar->orientation() == Qt::Horizontal
                                                ? QPoint(bar->width() - 4, bar->height() / 2)
                                                : QPoint(bar->width() / 2, bar->height() - 4));
        for (int step = 0; step < 200 && bar->value() < bar->maximum(); ++step) {
            const int before = bar->value();
            testsupport::ClickAt(end);
            testsupport::WaitUntil([&] { return bar->value() != before; });
        }
        EXPECT_EQ(bar->maximum(), bar->value());
    };
    ASSERT_TRUE(area->horizontalScrollBar()->isVisible() && area->verticalScrollBar()->isVisible());
    scrollToEnd(area->horizontalScrollBar());
    if (const char* shots = getenv("SORVANTA_SCREENSHOTS"))
        testsupport::GrabScreen(std::string(shots) + "/browser_800_right.png");
    EXPECT_TRUE(InView(*w.lblNumberOfImages));
    scrollToEnd(area->verticalScrollBar());
    const QWidget& control = *w.Thumbnail1()->widget();
    EXPECT_TRUE(control.visibleRegion().contains(control.rect().bottomRight()));

    // The viewer of the selected picture.
    w.Thumbnail1()->widget()->setFocus();
    testsupport::TypeInto(w, "Return");
    browser::FrmFullSize& v = w.fullSize();
    ExpectFitsMaximised(v);
    const QWidget* picture = v.findChild<QLabel*>("ImgXCtrl1");
    ASSERT_TRUE(picture);
    EXPECT_TRUE(testsupport::WhollyShown(*picture)) << testsupport::Placement(v);
    if (const char* shots = getenv("SORVANTA_SCREENSHOTS")) testsupport::GrabScreen(std::string(shots) + "/viewer_800.png");
    testsupport::TypeInto(v, "Escape");
    ASSERT_TRUE(testsupport::WaitUntil([&] { return !v.isVisible(); }));
    w.hide();
    host::SetRegistryPath("");
}
