// The phase-image window and its job windows on a desktop with a window
// manager (Xvfb and openbox): every opening is maximised by the window manager
// and lies on the screen, title bar included; a job window closed through the
// window manager during its run stays until the run's end.
#include "app/core/gui/frm_analysis.h"
#include "app/core/model/model.h"
#include "app/editor/core/partition_file.h"
#include "app/editor/gui/frm_domain_name.h"
#include "app/editor/gui/frm_jobs.h"
#include "app/editor/gui/frm_phase_image.h"
#include "editor_test_util.h"
#include "platform/dialogs.h"
#include "platform/listboxes.h"
#include "platform/messages.h"
#include "tools/synth/synth.h"

#include "testsupport/accessible_names.h"
#include "testsupport/desktop_session.h"
#include "testsupport/desktop_windows.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/windows/standin_windows.h"

#include <QProgressBar>
#include <QScreen>
#include <QTest>

#include <functional>

using namespace editor;

namespace {

testsupport::DesktopSession& Desktop()
{
    static testsupport::DesktopSession desktop(1024, 768);
    return desktop;
}

class EditorOnDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Desktop().ok()) GTEST_SKIP() << Desktop().whyNot();
        testsupport::OffscreenApp();
        model::ResetModel();
        platform::SetBaseFolder(dir.file("base"));
        std::filesystem::create_directories(platform::ResultsFolder());
        testsupport::standins::InstallStandinWindows();
        InstallEditorWindows();
        model::state.StartupInProgress = false;
        model::files.WorkingFolder = dir.path().string() + "/";
    }
    void TearDown() override
    {
        DestroyDomainNameDialog();
        DestroyJobWindows();
        if (gui::frmAnalysisExists()) delete &gui::frmAnalysis();
        gui::DestroyWindows();
    }

    testsupport::TempDir dir;
    platform::ScriptedMessages messages;
    platform::ScriptedDialogs dialogs;
};

} // namespace

TEST_F(EditorOnDesktop, EveryOpeningIsMaximisedByTheWindowManager)
{
    const std::string image = dir.file("part_ph.tif");
    std::string err;
    const auto z = synth::ParseSurface("plane:0.001,0,0", 320, 240, &err);
    const auto px = synth::WrapToPhase(320, 240, z, 0.5);
    ASSERT_EQ(0, strandel::WriteTIFFFile(image, 320, 240, synth::MakeHeader(0.5, 320, 240), px.data()));
    gui::FrmAnalysis& main = gui::frmAnalysis();
    main.ShowWindow();
    main.LoadPhaseImage(image);
    ASSERT_TRUE(model::state.PhaseInMemory) << (messages.records.empty() ? "" : messages.records[0].text);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(main); }))
        << testsupport::Placement(main);

    // Crop..., Return, Mask..., Return, ... typed as a user does.
    FrmPhaseImage& editor = frmPhaseImage();
    int i = 0;
    for (const char* open : {"alt+r", "alt+m", "alt+r", "alt+m"}) {
        testsupport::TypeInto(main, open);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(editor); }))
            << "opening " << i << ": " << testsupport::Placement(editor);
        EXPECT_TRUE(testsupport::WhollyShown(*editor.cmdReturn)) << i;
        testsupport::TypeInto(editor, "alt+r");
        ASSERT_TRUE(testsupport::WaitForManager(editor, "withdrawn"))
            << i << ": the manager says " << testsupport::ManagerState(editor);
        ++i;
    }
}

namespace {

// Counts the close requests that reach a window, ahead of any filter of the
// window itself.
class CloseCounter : public QObject {
public:
    explicit CloseCounter(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
    ~CloseCounter() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (o == window_ && e->type() == QEvent::Close) ++count;
        return false;
    }
    int count = 0;

private:
    QWidget* window_;
};

// Shown, drawn by the server and holding the keyboard.
bool ShownAndActive(const QWidget& w)
{
    return w.isVisible() && w.windowHandle() && w.windowHandle()->isExposed() && w.isActiveWindow();
}

} // namespace

// Alt+F4 during Generate Images / Process: the window stays, modal, until the
// run has ended, then closes; a run that ended short says so in words with
// what was and was not written, since the window and its count are gone.
TEST_F(EditorOnDesktop, AJobWindowClosedDuringItsRunClosesAfterItAndSaysHowItEnded)
{
    edtest::LibrarySetUp lib;
    edtest::MakeCurrentImage(64, 48);
    model::files.ImageFileFormat = "TIF";
    model::images.MaskImage.create(64, 48);
    std::fill(model::images.MaskImage.buffer().begin(), model::images.MaskImage.buffer().end(), uint8_t(1));
    testsupport::TempDir src{"src"};
    for (int i = 0; i < 12; ++i) edtest::WriteTiff(src.file("p" + std::to_string(10 + i) + "_ph.tif"), 64, 48, i);
    edtest::WriteTiff(src.file("small_ph.tif"), 32, 32, 1);   // another size: not processed
    FrmPhaseImage& editor = frmPhaseImage();
    StorePartition(model::maskPartition, {{2, 3, 20, 10, "Left"}, {30, 8, 16, 12, "Right"}}, 64, 48);
    editor.cmbDomains->addItems({"Left", "Right"});

    const struct {
        const char* window;
        std::function<void()> show;
        QWidget* w;
        QPushButton* process;
        QProgressBar* bar;
        platform::DirListBox* source;
        platform::DirListBox* destination;
    } cases[] = {
        {"Crop Domains", [] { ShowCropDomainsWindow(); }, &frmCropDomains(), frmCropDomains().cmdProcess,
         frmCropDomains().ProgressBar1, frmCropDomains().DirSource, frmCropDomains().DirDestination},
        {"Burn Mask", [] { ShowBurnMaskWindow(); }, &frmBurnMask(), frmBurnMask().cmdProcess,
         frmBurnMask().ProgressBar1, frmBurnMask().DirSource, frmBurnMask().DirDestination},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        testsupport::TempDir dst{"dst"};
        c.source->setPath(QString::fromStdString(src.path().string()));
        c.destination->setPath(QString::fromStdString(dst.path().string()));
        c.show();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return ShownAndActive(*c.w); }));
        CloseCounter closes(c.w);
        bool shownAfterClose = false, modalAfterClose = false;
        QMetaObject::Connection during = QObject::connect(c.bar, &QProgressBar::valueChanged, [&](int value) {
            if (value < 2 || closes.count > 0) return;
            testsupport::Type("alt+F4");   // the window manager's close
            EXPECT_TRUE(testsupport::WaitUntil([&] { return closes.count > 0; }));
            shownAfterClose = c.w->isVisible();
            modalAfterClose = QApplication::activeModalWidget() == c.w;
        });
        messages.records.clear();
        testsupport::ClickAt(testsupport::CentreOf(*c.process));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return closes.count > 0 && !c.w->isVisible(); }));
        QObject::disconnect(during);
        EXPECT_TRUE(shownAfterClose);
        EXPECT_TRUE(modalAfterClose);
        // Every image of the run was handled: the close stopped nothing.
        EXPECT_EQ(12, int(std::distance(std::filesystem::directory_iterator(dst.path()), {})) /
                          (std::string(c.window) == "Crop Domains" ? 2 : 1));
        ASSERT_EQ(1u, messages.records.size());
        EXPECT_EQ(c.window, messages.records[0].title);
        EXPECT_EQ("12 of 13 phase images were processed and written.\rNot processed:\rsmall_ph.tif\r",
                  messages.records[0].text);
    }
}

// A job window shown again reads its folder again: images added while it was
// hidden are counted and listed.
TEST_F(EditorOnDesktop, AJobWindowShownAgainReadsItsFolderAgain)
{
    edtest::LibrarySetUp lib;
    edtest::MakeCurrentImage(64, 48);
    model::files.ImageFileFormat = "TIF";
    testsupport::TempDir src{"src"};
    for (int i = 0; i < 6; ++i) edtest::WriteTiff(src.file("p" + std::to_string(i) + "_ph.tif"), 64, 48, i);
    FrmPhaseImage& editor = frmPhaseImage();
    const struct {
        const char* window;
        QPushButton* open;   // the editor's command that shows it
        QWidget* w;
        QPushButton* close;
        QLabel* count;
        platform::DirListBox* source;
    } cases[] = {
        {"Crop Domains", editor.cmdCropDomains, &frmCropDomains(), frmCropDomains().cmdClose,
         frmCropDomains().lblPhaseImageCount, frmCropDomains().DirSource},
        {"Burn Mask", editor.cmdBatchBurn, &frmBurnMask(), frmBurnMask().cmdClose, frmBurnMask().lblPhaseImageCount,
         frmBurnMask().DirSource},
    };
    int added = 6;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        c.source->setPath(QString::fromStdString(src.path().string()));
        c.open->click();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return c.w->isVisible() && c.w->windowHandle()->isExposed(); }));
        EXPECT_EQ("Phase Image Count: " + std::to_string(added), c.count->text().toStdString());
        QTest::mouseClick(c.close, Qt::LeftButton);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !c.w->isVisible(); }));
        for (int i = 0; i < 4; ++i, ++added) edtest::WriteTiff(src.file("q" + std::to_string(added) + "_ph.tif"), 64, 48);
        c.open->click();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return c.w->isVisible() && c.w->windowHandle()->isExposed(); }));
        EXPECT_EQ("Phase Image Count: " + std::to_string(added), c.count->text().toStdString());
        QTest::mouseClick(c.close, Qt::LeftButton);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !c.w->isVisible(); }));
    }
}
