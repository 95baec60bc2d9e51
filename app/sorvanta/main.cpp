// Sorvanta: phase-image analysis of part surfaces. The program on top of
// every subsystem: it hands the main window the factories of the windows
// the batch, browser, editor and plot subsystems build.
#include "app/batch/config/frm_batch_configuration.h"
#include "app/batch/gui/frm_batch_processing.h"
#include "app/browser/frm_thumbnail_view.h"
#include "app/core/gui/startup.h"
#include "app/core/gui/windows.h"
#include "app/editor/gui/frm_jobs.h"
#include "app/editor/gui/frm_phase_image.h"
#include "app/plots/windows/plot_windows.h"
#include "platform/guiservices.h"

#include <QApplication>
#include <QFileInfo>

namespace {

// The program's windows beside the main window: one factory per window, each
// from the subsystem that builds it.
gui::WindowFactories ProgramWindows()
{
    gui::WindowFactories f;
    f.frm3DChart = plots::NewChart3DWindow;
    f.frmContour = plots::NewContourWindow;
    f.frmDiagonal = plots::NewDiagonalWindow;
    f.frmChordPlot = plots::NewChordPlotWindow;
    f.frmBatchProcessing = batch::NewBatchProcessingWindow;
    f.frmBatchConfiguration = batchcfg::NewBatchConfigurationWindow;
    f.frmBurnMask = editor::NewBurnMaskWindow;
    f.frmPhaseImage = editor::NewPhaseImageWindow;
    f.frmThumbnailView = browser::NewThumbnailViewWindow;
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    platform::InstallGuiServices();
    gui::SetWindowFactories(ProgramWindows());

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
