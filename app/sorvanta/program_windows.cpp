// The program's windows beside the main window (program_windows.h).
#include "app/sorvanta/program_windows.h"

#include "app/batch/config/frm_batch_configuration.h"
#include "app/batch/gui/frm_batch_processing.h"
#include "app/browser/frm_thumbnail_view.h"
#include "app/editor/gui/frm_jobs.h"
#include "app/editor/gui/frm_phase_image.h"
#include "app/plots/windows/plot_windows.h"

namespace sorvanta {

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

} // namespace sorvanta
