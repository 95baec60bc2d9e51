// The batch window's output commands.
#include "output_commands.h"

#include "frm_batch_configuration.h"

#include "app/batch/gui/frm_batch_processing.h"
#include "app/batch/output.h"
#include "app/browser/browser_rules.h"
#include "app/core/model/model.h"
#include "platform/commandguards.h"
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
    // The outputs of the run that filled the grid, into its folder.
    const batch::RunRecord& record = b.Record();
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
    o.folder = record.options.folder;
    const batch::Refusal refusal = batch::CheckOutputRequest(o);
    if (!refusal.text.empty()) {
        model::ShowMsg(refusal.text, 16, refusal.title);
        return;
    }

    batch::OutputRun run = batch::RecordedRun(record);
    run.surface = c->SurfaceOptions();
    run.contour = c->ContourOptions();
    run.diagonal = c->DiagonalOptions();
    run.showTab = [c](int tab) { c->SSTab1->setCurrentIndex(tab); };

    const int total = int(run.images.size());
    // A close of the batch window waits for the outputs' end: a folder is
    // never left with some images' outputs written and others not.
    b.BeginJob();
    b.SetStopOnClose(false);
    batch::OutputReport report;
    {
        // The output puts the image in memory back when it ends: a file
        // handed over by a second start (or a close of the main window)
        // waits for that; the window's commands wait too.
        platform::BusyScope busy(b, "Generate Output");
        b.ProgressBar2->setValue(0);
        b.ProgressBar2->setMaximum(std::max(total, 1));
        b.ProgressBar2->setVisible(true);
        b.lblImagesProcessed->setVisible(true);
        b.lblImagesProcessed->setText(QString::fromStdString(batch::ProcessedCaption(0, total)));
        const batch::OutputCharts charts{&c->surface(), &c->contour(), &c->diagonal(), &c->surfaceLegend(),
                                         &c->contourLegend()};
        report = batch::GenerateOutput(run, o, charts, [&](int value, int n, int count) {
            b.ProgressBar2->setValue(value);
            b.lblImagesProcessed->setText(QString::fromStdString(batch::ProcessedCaption(n, count)));
            platform::YieldToUi();
        });
        if (report.surfaceLegendBuilt) plots::plotState.LevelStep = report.surfaceLevelStep;
        b.ProgressBar2->setVisible(false);
    }
    // The end says what was written, and what was not.
    if (!report.refused.empty()) {
        b.ShowOutputEnd("No output was written.");
        model::ShowMsg(report.refused + model::CR + "No output was written.", 16, "Folder Access Error");
    } else {
        const std::string summary = batch::OutputSummary(report, total);
        b.ShowOutputEnd(summary);
        c->Preview(o.zMin, o.zMax, o.normaliseDiagonal);
        b.cmdViewThumbnails->setEnabled(true);
        if (!report.failed.empty()) {
            std::string text = summary + model::CR + "These outputs could not be written:";
            for (const std::string& f : report.failed) text += std::string(model::CR) + f;
            model::ShowMsg(text, 48, "Batch Output Error");
        }
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
