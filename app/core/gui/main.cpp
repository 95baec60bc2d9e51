// Sorvanta: phase-image analysis of part surfaces.
#include "app/core/gui/startup.h"
#include "platform/guiservices.h"

#if SORVANTA_PLOT_WINDOWS
#include "app/plots/windows/plot_windows.h"
#endif

#include <QApplication>
#include <QFileInfo>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    platform::InstallGuiServices();
#if SORVANTA_PLOT_WINDOWS
    plots::InstallPlotWindows();
#endif

    // The command line carries at most one phase-image path.
    QStringList args = app.arguments();
    args.removeFirst();
    QString commandLine = args.join(' ');
    if (!commandLine.isEmpty() && QFileInfo::exists(commandLine))
        commandLine = QFileInfo(commandLine).absoluteFilePath();

    const gui::StartupResult r = gui::RunStartup(commandLine.toStdString());
    if (r != gui::StartupResult::Running) {
        gui::ShutdownProgram();
        return 0;
    }
    const int code = app.exec();
    gui::ShutdownProgram();
    return code;
}
