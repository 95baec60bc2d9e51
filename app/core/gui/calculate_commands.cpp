// Calculate Displacement and Calculate Parameters of the main window: the
// window reads its controls and hands them to the analysis pipeline and the
// figures of the analysis core.
#include "app/core/gui/frm_analysis.h"

#include "app/core/figures.h"
#include "app/core/pipeline.h"

#include "platform/commandguards.h"

#include <QApplication>

namespace gui {

void FrmAnalysis::cmdUnwrap_Click()
{
    core::AnalysisOptions o;
    o.grating = cmbGrating->currentIndex();
    o.rotation = cmbRotation->currentIndex();
    o.domain = cmbDomain->currentIndex();
    o.compensate = chkCompensate->isChecked();
    o.useFringeFile = chkFringeValuetxt->isChecked();
    o.exclude128 = chkExclude128->isChecked();
    o.phaseFilter = chkPhaseFilter->isChecked();
    o.setReference = chkReference->isChecked();
    o.relative = chkRelative->isChecked();
    o.sampleWidth = txtSampleWidth->text().toStdString();
    o.sampleHeight = txtSampleHeight->text().toStdString();
    // The window's commands wait; a close or a hand-over given meanwhile is
    // acted on once the calculation has ended.
    platform::BusyScope busy(*panel_, "Calculate Displacement");
    if (!busy.started()) return;
    core::RunCalculateDisplacement(o);
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

void FrmAnalysis::cmdParameters_Click()
{
    core::RunCalculateParameters(txtSampleWidth->text().toStdString(), txtSampleHeight->text().toStdString());
}

} // namespace gui
