// Calculate Displacement and Calculate Parameters of the main window: the
// window reads its controls and hands them to the analysis pipeline and the
// figures of the analysis core.
#include "app/core/gui/frm_analysis.h"

#include "app/core/figures.h"
#include "app/core/pipeline.h"

#include <QApplication>
#include <QPointer>

namespace gui {
namespace {

// Eats the clicks and keys that reach the program while it is installed.
class InputEater : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return false;
        }
    }
};

// A long command runs in the window's own event handler. While it runs the
// window's commands are disabled, and the clicks and keys the user gave
// meanwhile (a second click of a double click, Exit Program) are dropped when
// it ends rather than acted on long after they were given.
class BusyCommands {
public:
    explicit BusyCommands(QWidget& commands) : commands_(&commands), focus_(QApplication::focusWidget())
    {
        commands.setEnabled(false);
    }
    ~BusyCommands()
    {
        InputEater eater;
        qApp->installEventFilter(&eater);
        QCoreApplication::processEvents();
        qApp->removeEventFilter(&eater);
        if (commands_) commands_->setEnabled(true);
        if (focus_ && focus_->isEnabled() && focus_->isVisible()) focus_->setFocus();
    }
    BusyCommands(const BusyCommands&) = delete;
    BusyCommands& operator=(const BusyCommands&) = delete;

private:
    QPointer<QWidget> commands_;
    QPointer<QWidget> focus_;
};

} // namespace

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
    BusyCommands busy(*panel_);
    core::RunCalculateDisplacement(o);
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

void FrmAnalysis::cmdParameters_Click()
{
    core::RunCalculateParameters(txtSampleWidth->text().toStdString(), txtSampleHeight->text().toStdString());
}

} // namespace gui
