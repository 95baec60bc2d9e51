#include "app/core/gui/windows.h"

#include "app/core/pipeline.h"
#include "app/core/settings.h"
#include "platform/commandguards.h"

#include <QPointer>
#include <QtGlobal>

namespace gui {
namespace {

WindowFactories& Current()
{
    static WindowFactories f;
    return f;
}

QPointer<Chart3DWindow> g3D;
QPointer<ContourWindow> gContour;
QPointer<DiagonalWindow> gDiagonal;
QPointer<ChordPlotWindow> gChord;
QPointer<BatchProcessingWindow> gBatch;
QPointer<BatchConfigurationWindow> gBatchConfig;
QPointer<BurnMaskWindow> gBurn;
QPointer<PhaseImageWindow> gPhase;
QPointer<ThumbnailViewWindow> gThumbs;

template <typename W, typename F>
W& Get(QPointer<W>& window, const F& factory, const char* name)
{
    if (!window) {
        if (!factory) qFatal("No factory installed for the window %s", name);
        // A double click on a command of any window runs it once.
        platform::InstallCommandClickGuard();
        window = factory();
    }
    return *window;
}

// The pointer clears itself when the window goes.
template <typename W>
void Drop(const QPointer<W>& window)
{
    delete window.data();
}

} // namespace

QStringList GratingItems()
{
    QStringList items;
    for (int i = 0; core::GratingLpi(i) != 0; ++i) items << QString::number(core::GratingLpi(i));
    return items;
}

QStringList RotationItems()
{
    QStringList items;
    for (int i = 0; !core::RotationItemText(i).empty(); ++i) items << QString::fromStdString(core::RotationItemText(i));
    return items;
}

void SetWindowFactories(const WindowFactories& f)
{
    auto& c = Current();
    if (f.frm3DChart) c.frm3DChart = f.frm3DChart;
    if (f.frmContour) c.frmContour = f.frmContour;
    if (f.frmDiagonal) c.frmDiagonal = f.frmDiagonal;
    if (f.frmChordPlot) c.frmChordPlot = f.frmChordPlot;
    if (f.frmBatchProcessing) c.frmBatchProcessing = f.frmBatchProcessing;
    if (f.frmBatchConfiguration) c.frmBatchConfiguration = f.frmBatchConfiguration;
    if (f.frmBurnMask) c.frmBurnMask = f.frmBurnMask;
    if (f.frmPhaseImage) c.frmPhaseImage = f.frmPhaseImage;
    if (f.frmThumbnailView) c.frmThumbnailView = f.frmThumbnailView;
}

Chart3DWindow& frm3DChart() { return Get(g3D, Current().frm3DChart, "frm3DChart"); }
ContourWindow& frmContour() { return Get(gContour, Current().frmContour, "frmContour"); }
DiagonalWindow& frmDiagonal() { return Get(gDiagonal, Current().frmDiagonal, "frmDiagonal"); }
ChordPlotWindow& frmChordPlot() { return Get(gChord, Current().frmChordPlot, "frmChordPlot"); }
BatchProcessingWindow& frmBatchProcessing() { return Get(gBatch, Current().frmBatchProcessing, "frmBatchProcessing"); }
BatchConfigurationWindow& frmBatchConfiguration()
{
    return Get(gBatchConfig, Current().frmBatchConfiguration, "frmBatchConfiguration");
}
BurnMaskWindow& frmBurnMask() { return Get(gBurn, Current().frmBurnMask, "frmBurnMask"); }
PhaseImageWindow& frmPhaseImage() { return Get(gPhase, Current().frmPhaseImage, "frmPhaseImage"); }
ThumbnailViewWindow& frmThumbnailView() { return Get(gThumbs, Current().frmThumbnailView, "frmThumbnailView"); }

void DestroyWindows()
{
    Drop(g3D);
    Drop(gContour);
    Drop(gDiagonal);
    Drop(gChord);
    Drop(gBatch);
    Drop(gBatchConfig);
    Drop(gBurn);
    Drop(gPhase);
    Drop(gThumbs);
}

} // namespace gui
