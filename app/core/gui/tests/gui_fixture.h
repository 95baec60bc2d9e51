#pragma once
// A real start of the program on the offscreen platform, in a scratch base
// folder, with scripted message boxes and file dialogs. The other windows are
// stand-ins; a fixture installs the real windows it exercises after SetUp().
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/frm_units.h"
#include "app/core/gui/startup.h"
#include "app/core/model/model.h"
#include "app/core/settings.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/strandel_binding.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/testsupport.h"
#include "testsupport/windows/standin_windows.h"
#include "tools/synth/synth.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

namespace guitest {

// Writes a synthetic phase image (a gentle dome) with a measurement header.
inline void WritePhaseTiff(const std::string& path, int cols, int rows, double fringe = 0.5, bool header = true,
                           const std::string& surface = "dome:0.0004+plane:0.002,0.001,0")
{
    std::string err;
    auto z = synth::ParseSurface(surface, cols, rows, &err);
    auto px = synth::WrapToPhase(cols, rows, z, fringe, synth::ParseBlank("border:5", cols, rows, &err));
    const std::string h = header ? synth::MakeHeader(fringe, cols, rows) : std::string();
    ASSERT_EQ(0, strandel::WriteTIFFFile(path, uint16_t(cols), uint16_t(rows), h, px.data())) << path;
}

// The thumbnail control registered into the class registry file `registry`
// by the registration tool, as an installation registers it; returns
// `registry`.
inline std::string RegisterThumbnailControl(const std::string& registry)
{
    int rc = -1;
    const std::string out = testsupport::Shell("SORVANTA_CLASS_REGISTRY='" + registry + "' '" + testsupport::BinDir() +
                                                   "/norvikel-regsvr' register '" + testsupport::BinDir() +
                                                   "/libNorvikel.so'",
                                               &rc);
    EXPECT_EQ(0, rc) << out;
    return registry;
}

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::OffscreenApp();
        testsupport::standins::InstallStandinWindows();
        std::filesystem::create_directories(dir.file("run"));
        chmod(dir.file("run").c_str(), 0700);
        platform::SetBaseFolder(dir.file("base"));
        platform::SetSystemFolder(testsupport::BinDir());
        model::ResetModel();
        hooks.display = [] { return gui::DisplayInfo{1024, 768, 32, false}; };
        hooks.instanceFolder = QString::fromStdString(dir.file("run"));
        hooks.splashMs = 10;
    }
    void TearDown() override { gui::ShutdownProgram(); }

    // Start-up and the units dialog's OK; the open dialog that follows is cancelled.
    void StartAndConfirm(const std::string& commandLine = "")
    {
        ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup(commandLine, hooks));
        dialogs.queueFileCancel();
        gui::frmUnits().cmdOK->click();
        dialogs.fileAnswers.clear();
        dialogs.fileRequests.clear();
        exitCalls = 0;
        gui::frmAnalysis().exitProgram = [this] { ++exitCalls; };
    }

    // The exit's settings rewrite read back as the next start reads it: the
    // settings gathered from the windows, saved and read again. Fails the test
    // when the file is refused or reads back otherwise.
    void SaveAndReadBackSettings()
    {
        const std::string path = dir.file("Sorvanta Settings.txt");
        core::CollectSettings();
        ASSERT_TRUE(core::SaveSettingsFile(path));
        const model::Settings saved = model::settings;
        messages.records.clear();
        EXPECT_EQ(core::ReadSettingsFile(path), core::SettingsReadResult::Read) << Messages();
        EXPECT_EQ(model::settings, saved);
    }

    std::string Messages() const
    {
        std::string all;
        for (const auto& r : messages.records) all += r.title + ": " + r.text + "\n";
        return all;
    }

    testsupport::TempDir dir{"gui"};
    platform::ScriptedMessages messages;
    platform::ScriptedDialogs dialogs;
    gui::StartupHooks hooks;
    int exitCalls = 0;
};

} // namespace guitest
