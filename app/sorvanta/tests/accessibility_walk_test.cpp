// An accessibility walk of every window of the program, as assistive
// technology meets them: each window is shown in the states a user sees, and
// nothing interactive may lack a name the window shows, no picture may read
// as a window, and no box may be cut off from its caption.
#include "app/core/gui/tests/gui_fixture.h"

#include "app/batch/config/frm_batch_configuration.h"
#include "app/batch/gui/frm_batch_processing.h"
#include "app/browser/frm_full_size.h"
#include "app/browser/frm_thumbnail_view.h"
#include "app/sorvanta/program_windows.h"
#include "app/editor/gui/frm_domain_name.h"
#include "app/editor/gui/frm_jobs.h"
#include "app/editor/gui/frm_phase_image.h"
#include "platform/accessibility.h"
#include "plots/windows/frm_chordplot.h"
#include "plots/windows/frm_createlegend.h"
#include "plots/windows/plot_windows.h"
#include "testsupport/accessible_names.h"
#include "thumbctl/control/host/registry.h"

#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <functional>

using namespace guitest;

namespace {

// The program's own windows, as the program installs them.
void InstallProgramWindows() { gui::SetWindowFactories(sorvanta::ProgramWindows()); }

class AccessibilityWalk : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        InstallProgramWindows();
        platform::InstallAccessibility();
        // The thumbnail control in a scratch registry.
        host::SetRegistryPath(RegisterThumbnailControl(dir.file("classes.reg")));
    }
    void TearDown() override
    {
        editor::DestroyDomainNameDialog();
        editor::DestroyJobWindows();
        GuiTest::TearDown();
        host::SetRegistryPath("");
    }
};

// One window in one state: how it is brought up, and which window that is.
struct Row {
    const char* window;
    std::function<QWidget*()> show;
    // A fault another part of the program still has to mend; the row then
    // must fail, and reports when it passes so that it is switched on.
    const char* pendingFix = nullptr;
};

// A plot window opened, with its options panel shown by its own button.
QWidget* WithOptionsShown(QWidget* w, const std::function<void()>& open)
{
    open();
    auto* options = w->findChild<QPushButton*>("cmdCustomize");
    if (options) QTest::mouseClick(options, Qt::LeftButton);
    return w;
}

} // namespace

TEST_F(AccessibilityWalk, EveryWindowReadsWell)
{
    const std::string folder = dir.file("Results");
    std::filesystem::create_directories(folder);
    const std::string img = folder + "/Part1_ph.tif";
    WritePhaseTiff(img, 80, 60, 0.5);
    ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup(img, hooks));
    gui::FrmUnits& units = gui::frmUnits();
    const std::string unitsFaults = testsupport::AccessibilityFaults(&units);
    dialogs.queueFileCancel();
    units.cmdOK->click();
    gui::FrmAnalysis& main = gui::frmAnalysis();
    main.exitProgram = [] {};
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_TRUE(main.cmd3DPlot->isEnabled()) << Messages();
    model::files.WorkingFolder = folder + "/";

    auto editor = [] { return &editor::frmPhaseImage(); };
    const Row rows[] = {
        {"main", [&] { return &main; }},
        {"splash", [] {
             gui::frmSplash().show();
             return &gui::frmSplash();
         }},
        {"editor, drawing a mask", [&] {
             main.cmdMask_Click();
             editor()->cmdCreateMask->click();
             return editor();
         }},
        {"editor, drawing a partition", [&] {
             editor()->cmdMaskCancel->click();
             editor()->cmdReturn->click();
             main.cmdCrop_Click();
             editor()->cmdPartitionAndCrop->click();
             editor()->cmdCreatePartition->click();
             return editor();
         }},
        {"crop domains", [] {
             editor::ShowCropDomainsWindow();
             return &editor::frmCropDomains();
         }},
        {"burn mask", [] {
             editor::ShowBurnMaskWindow();
             return &editor::frmBurnMask();
         }},
        {"domain name", [] {
             editor::frmDomainName().show();
             return &editor::frmDomainName();
         }},
        {"3D surface plot", [&] {
             main.cmd3DPlot->click();
             return &gui::frm3DChart();
         }},
        {"contour plot", [&] {
             main.cmdContour->click();
             return &gui::frmContour();
         }},
        {"diagonal plot", [&] {
             main.cmdDiagonal->click();
             return &gui::frmDiagonal();
         }},
        {"chord plot", [] {
             gui::frmChordPlot().show();
             return &gui::frmChordPlot();
         }},
        // Each plot window again with its options shown.
        {"3D surface plot, options shown", [&] { return WithOptionsShown(&gui::frm3DChart(), [&] { main.cmd3DPlot->click(); }); }},
        {"contour plot, options shown", [&] { return WithOptionsShown(&gui::frmContour(), [&] { main.cmdContour->click(); }); }},
        {"diagonal plot, options shown", [&] { return WithOptionsShown(&gui::frmDiagonal(), [&] { main.cmdDiagonal->click(); }); }},
        {"chord plot, options shown", [] { return WithOptionsShown(&gui::frmChordPlot(), [] { gui::frmChordPlot().show(); }); }},
        {"legend maker", [] { return plots::ShowLegendMaker(plots::LegendType::Surface3D); }},
        {"batch", [&] {
             main.cmdBatchProcess->click();
             return &gui::frmBatchProcessing();
         }},
        {"batch configuration", [] {
             batchcfg::FrmBatchConfiguration* c = batchcfg::BatchConfiguration();
             c->show();
             return c;
         }},
        {"browser", [&] {
             main.cmdViewThumbnails->click();
             return &gui::frmThumbnailView();
         }},
        {"viewer", [] {
             browser::FrmThumbnailView& b = browser::frmThumbnailView();
             QTest::keyClick(b.Thumbnail1()->widget(), Qt::Key_Return);
             return &b.fullSize();
         }},
    };
    EXPECT_EQ("", unitsFaults) << "units";
    for (const Row& r : rows) {
        SCOPED_TRACE(r.window);
        QWidget* w = r.show();
        ASSERT_TRUE(w && w->isVisible());
        QApplication::processEvents();
        std::string faults = testsupport::AccessibilityFaults(w);
        // A window with pages is read page by page.
        if (auto* tabs = w->findChild<QTabWidget*>())
            for (int i = 0; i < tabs->count(); ++i) {
                tabs->setCurrentIndex(i);
                faults += testsupport::AccessibilityFaults(w);
            }
        if (r.pendingFix)
            EXPECT_NE("", faults) << "passes now: switch the row on (" << r.pendingFix << ")";
        else
            EXPECT_EQ("", faults);
        if (w != &main) w->hide();
    }
}

// The context menus of the browser and the viewer, opened from the keyboard
// (Shift+F10, the menu key), are read as pop-up menus whose items are read
// by the texts they show.
TEST_F(AccessibilityWalk, TheContextMenusAreReadWithTheirItems)
{
    const std::string folder = dir.file("Results");
    std::filesystem::create_directories(folder);
    const std::string img = folder + "/Part1_ph.tif";
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    model::files.WorkingFolder = folder + "/";
    gui::FrmAnalysis& main = gui::frmAnalysis();
    QTest::mouseClick(main.cmdViewThumbnails, Qt::LeftButton);
    browser::FrmThumbnailView& b = browser::frmThumbnailView();
    ASSERT_TRUE(b.isVisible() && b.Thumbnail1());
    QWidget* list = b.Thumbnail1()->widget();
    // The first picture, clicked where the control shows it.
    QAccessibleInterface* listRead = QAccessible::queryAccessibleInterface(list);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return listRead && listRead->childCount() > 0; }));
    QTest::mouseClick(list, Qt::LeftButton, {}, list->mapFromGlobal(listRead->child(0)->rect().center()));
    const std::vector<std::string> offered{"Load Phase Image"};
    struct Way {
        const char* what;
        QWidget* target;
        int key;
        Qt::KeyboardModifiers mods;
    };
    for (const Way& way : {Way{"browser, Shift+F10", list, Qt::Key_F10, Qt::ShiftModifier},
                           Way{"browser, menu key", list, Qt::Key_Menu, Qt::NoModifier}}) {
        SCOPED_TRACE(way.what);
        EXPECT_TRUE(testsupport::OpenPopupMenuItems().empty());
        QTest::keyClick(way.target, Qt::Key(way.key), way.mods);
        ASSERT_TRUE(testsupport::WaitUntil([] { return QApplication::activePopupWidget(); }));
        EXPECT_EQ(offered, testsupport::OpenPopupMenuItems());
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        ASSERT_TRUE(testsupport::WaitUntil([] { return !QApplication::activePopupWidget(); }));
    }
    // The viewer of that picture, and its menu.
    QTest::keyClick(list, Qt::Key_Return);
    browser::FrmFullSize& v = b.fullSize();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return v.isVisible(); }));
    QTest::keyClick(&v, Qt::Key_Menu);
    ASSERT_TRUE(testsupport::WaitUntil([] { return QApplication::activePopupWidget(); }));
    EXPECT_EQ(offered, testsupport::OpenPopupMenuItems());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    ASSERT_TRUE(testsupport::WaitUntil([] { return !QApplication::activePopupWidget(); }));
    v.hide();
    b.hide();
}
