// The batch window's output commands.
#include "output_commands.h"

#include "frm_batch_configuration.h"

#include "app/batch/gui/frm_batch_processing.h"
#include "app/batch/output.h"
#include "app/browser/browser_rules.h"
#include "app/core/model/model.h"
#include "platform/folderjobs.h"
#include "platform/qtext.h"
#include "plots/builders/plot_state.h"
#include "plots/windows/frm_createlegend.h"

#include <QTableWidget>

#include <algorithm>

namespace batchcfg {

namespace {

using platform::S;
bool Ticked(const QCheckBox* b) { return b && b->isChecked(); }
std::string Text(const QLineEdit* e) { return e ? S(e->text()) : std::string(); }

} // namespace

void WireOutputCommands(batch::FrmBatchProcessing& w)
{
    w.onConfigure = [] { cmdConfigure3D_Click(); };
    w.onCreateLegend = [] { cmdCreateLegend_Click(); };
    w.onGenerateOutput = [] { cmdGenerateOutput_Click(); };
    w.onViewThumbnails = [] { cmdViewThumbnails_Click(); };
}

void cmdConfigure3D_Click()
{
    FrmBatchConfiguration* c = BatchConfiguration();
    if (!c) return;
    c->LoadSampleDiagonal(Ticked(batch::frmBatchProcessing().chkNormalizeDiagonal));
    c->showMaximized();
    c->raise();
    c->activateWindow();
}

void cmdCreateLegend_Click()
{
    plots::ShowLegendMaker(plots::LegendType::Keep);
}

void cmdGenerateOutput_Click()
{
    batch::FrmBatchProcessing& b = batch::frmBatchProcessing();
    FrmBatchConfiguration* c = BatchConfiguration();
    if (!c) return;
    batch::OutputOptions o;
    o.plot3D = Ticked(b.chk3DPlot);
    o.contour = Ticked(b.chkContour);
    o.diagonal = Ticked(b.chkDiagonal);
    o.saveData = Ticked(b.chkSaveData);
    o.reduceData = Ticked(b.chkReduceData);
    o.textData = c->optText->isChecked();
    o.bitmap = c->optBitmap->isChecked();
    o.normaliseDiagonal = Ticked(b.chkNormalizeDiagonal);
    o.zMin = Text(b.txtZmin);
    o.zMax = Text(b.txtZmax);
    o.diagMin = Text(b.txtDiagMin);
    o.diagMax = Text(b.txtDiagMax);
    o.folder = b.Folder();
    const batch::Refusal refusal = batch::CheckOutputRequest(o);
    if (!refusal.text.empty()) {
        model::ShowMsg(refusal.text, 16, refusal.title);
        return;
    }

    // The last run's images; a row of the results grid without values is an
    // image the run could not analyse (the grid's header is its own row, so
    // image i is row i).
    batch::OutputRun run = batch::LastBatchRun(b.GatherOptions(), [&b](size_t i) {
        const QTableWidgetItem* cell = b.Grid1->item(int(i), 2);
        return cell && !cell->text().isEmpty();
    });
    run.surface = c->SurfaceOptions();
    run.contour = c->ContourOptions();
    run.diagonal = c->DiagonalOptions();
    run.showTab = [c](int tab) { c->SSTab1->setCurrentIndex(tab); };
    // A close of the batch window stops the output after the image in hand.
    run.stopRequested = [&b] { return b.StopRequested(); };

    const int total = int(run.images.size());
    b.BeginJob();
    // The output puts the image in memory back when it ends: a file handed
    // over by a second start (or a close of the main window) waits for that.
    platform::JobGuard job("Generate Output");
    b.setEnabled(false);
    b.ProgressBar2->setValue(0);
    b.ProgressBar2->setMaximum(std::max(total, 1));
    b.ProgressBar2->setVisible(true);
    b.lblImagesProcessed->setVisible(true);
    const batch::OutputCharts charts{&c->surface(), &c->contour(), &c->diagonal(), &c->surfaceLegend(),
                                     &c->contourLegend()};
    const batch::OutputReport report = batch::GenerateOutput(run, o, charts, [&](int value, int n, int count) {
        b.ProgressBar2->setValue(value);
        b.lblImagesProcessed->setText(QString::fromStdString(batch::ProcessedCaption(n, count)));
        platform::YieldToUi();
    });
    if (report.surfaceLegendBuilt) plots::plotState.LevelStep = report.surfaceLevelStep;

    b.ProgressBar2->setVisible(false);
    b.lblImagesProcessed->setVisible(false);
    b.setEnabled(true);
    c->Preview(o.zMin, o.zMax, o.normaliseDiagonal);
    b.cmdViewThumbnails->setEnabled(true);
    if (!report.failed.empty()) {
        std::string text = "These outputs could not be written:";
        for (const std::string& f : report.failed) text += std::string(model::CR) + f;
        model::ShowMsg(text, 48, "Batch Output Error");
    }
    b.EndJob();
}

void cmdViewThumbnails_Click()
{
    gui::ThumbnailViewWindow& t = gui::frmThumbnailView();
    t.FolderPath = batch::frmBatchProcessing().Dir1->path();
    t.ImageFilter(browser::kBatchFilter);
    t.DisplayThumbnailView();
}

} // namespace batchcfg
