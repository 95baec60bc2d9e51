// Sorvanta: phase-image analysis of part surfaces. The program on top of
// every subsystem: it hands the main window the factories of the windows
// the batch, browser, editor and plot subsystems build.
#include "app/core/gui/startup.h"
#include "app/core/gui/windows.h"
#include "app/sorvanta/program_windows.h"
#include "platform/guiservices.h"
#include "platform/pathtext.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    platform::InstallGuiServices();
    gui::SetWindowFactories(sorvanta::ProgramWindows());

    // The command line carries at most one phase-image path, kept as the
    // bytes the system gave (app.arguments() would decode them as text).
    const gui::StartupResult r = gui::RunStartup(platform::CommandLinePath(argc, argv));
    if (r != gui::StartupResult::Running) {
        gui::ShutdownProgram();
        return 0;
    }
    const int code = app.exec();
    gui::ShutdownProgram();
    return code;
}
