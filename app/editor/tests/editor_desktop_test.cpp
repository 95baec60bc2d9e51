// The phase-image window on a desktop with a window manager (Xvfb and
// openbox): every opening is maximised by the window manager and lies on the
// screen, title bar included.
#include "app/core/gui/frm_analysis.h"
#include "app/core/model/model.h"
#include "app/editor/gui/frm_domain_name.h"
#include "app/editor/gui/frm_jobs.h"
#include "app/editor/gui/frm_phase_image.h"
#include "editor_test_util.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "tools/synth/synth.h"

#include "testsupport/accessible_names.h"
#include "testsupport/desktop_session.h"
#include "testsupport/desktop_windows.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/windows/standin_windows.h"

#include <QScreen>
#include <QTest>

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
