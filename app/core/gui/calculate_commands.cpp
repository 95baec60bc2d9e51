// Calculate Displacement and Calculate Parameters of the main window: the
// option checks and the result display around the analysis pipeline.
#include "app/core/gui/frm_analysis.h"

#include "app/core/grating.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/folders.h"
#include "platform/messages.h"

#include <QApplication>

namespace gui {

void SetUnitScaleFactorFromUnits()
{
    const auto& f = model::files;
    if (core::EqualsNoCase(f.XYUnits, "mm") && core::EqualsNoCase(f.ZUnits, "mils"))
        model::state.UnitScaleFactor = 2.54;
    else if (core::EqualsNoCase(f.XYUnits, "in") && core::EqualsNoCase(f.ZUnits, "microns"))
        model::state.UnitScaleFactor = 0.003937;
    else
        model::state.UnitScaleFactor = 0.1;
}

void FrmAnalysis::cmdUnwrap_Click()
{
    if (!model::state.PhaseInMemory) {
        platform::ShowMessage("No Phase Data in Memory", 0, model::AppTitle);
        return;
    }
}

void FrmAnalysis::cmdParameters_Click() {}

} // namespace gui
