#pragma once
// Starts the whole program for a screenshot harness as a user would, in a
// scratch base folder with default settings, so that the user's own settings
// and folders are never touched. Header only; the harnesses that include it
// link the main-window library (sorv_gui).
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/frm_units.h"
#include "app/core/gui/startup.h"
#include "app/core/settings.h"
#include "platform/folders.h"
#include "platform/guiservices.h"

#include <QDir>
#include <QString>

#include <string>

namespace testsupport {

// Installs the real message boxes and file dialogs and makes `scratch` the
// base folder, with its utility folder and a default settings file.
inline void UseScratchBase(const std::string& scratch)
{
    platform::InstallGuiServices();
    platform::SetBaseFolder(scratch);
    QDir().mkpath(QString::fromStdString(platform::UtilityFolder()));
    core::WriteDefaultSettingsFile(core::SettingsFilePath());
}

// Runs the start-up with `image` on the command line (its own instance lock
// in the scratch folder, a display warning passed) and confirms the units
// dialog. Returns the main window, or nullptr when the start-up ended.
inline gui::FrmAnalysis* StartProgram(const std::string& scratch, const std::string& image)
{
    gui::StartupHooks hooks;
    hooks.instanceFolder = QString::fromStdString(platform::JoinPath(scratch, "run"));
    hooks.runDisplayConflict = [](gui::FrmDisplayConflict&) { return true; };
    if (gui::RunStartup(image, hooks) != gui::StartupResult::Running) return nullptr;
    gui::frmUnits().cmdOK->click();
    gui::FrmAnalysis& main = gui::frmAnalysis();
    main.exitProgram = [] {};   // the harness ends the program itself
    return &main;
}

} // namespace testsupport
