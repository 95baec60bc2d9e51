#pragma once
// The batch window: folder and file lists, the analysis options with their
// checks, the batch mask, Get Batch Data with its grid, summary and suggested
// plot ranges, the relative re-run from the grid and the error list. The run
// itself is batch::RunBatchAnalysis; the window gathers its options and shows
// what the run reports.
#include "app/batch/engine.h"
#include "app/core/gui/file_list.h"
#include "app/core/gui/windows.h"
#include "app/core/reset.h"
#include "platform/listboxes.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include <functional>

class QBoxLayout;

namespace batch {

class FrmBatchProcessing : public gui::BatchProcessingWindow, public core::BatchSummaryWindow, public RunView {
public:
    FrmBatchProcessing();

    platform::DirListBox* Dir1;
    gui::FileList* fileList;
    QPushButton* cmdBrowse;
    QLabel* lblCurrentPath;
    QLabel* lblGrating;
    QLabel* lblBatchMask;
    QPushButton* cmdSelectMask;
    QPushButton* cmdGetBatchData;
    QLabel* lblNumberOfImagesProcessed;
    QProgressBar* ProgressBar1;
    QProgressBar* ProgressBar2;
    QPushButton* cmdViewErrors;
    QTableWidget* Grid1;
    QLabel* lblMaxZ;
    QLabel* lblMinZ;
    QLabel* lblMaxCoplanarity;
    QLabel* lblMinAB;
    QLabel* lblMaxAB;
    QLabel* lblMinCD;
    QLabel* lblMaxCD;
    QLabel* lblDataType;
    QLabel* lblImagesProcessed;
    QPushButton* cmdConfigure3D;
    QPushButton* cmdCreateLegend;
    QLineEdit* txtZmin;
    QLineEdit* txtZmax;
    QLineEdit* txtDiagMin;
    QLineEdit* txtDiagMax;
    QPushButton* cmdGenerateOutput;
    QPushButton* cmdViewThumbnails;
    QPushButton* cmdClose;

    // Commands that the batch output and its configuration window provide;
    // a button does nothing while its slot is empty.
    std::function<void()> onGenerateOutput;
    std::function<void()> onCreateLegend;
    std::function<void()> onConfigure;
    std::function<void()> onViewThumbnails;

    // The options of the window as the run takes them: the folder and its
    // phase images under the names the file system gives them (bytes that
    // need not be UTF-8), listed as the command line lists them.
    BatchOptions GatherOptions();
    // The folder as the file system names it.
    const std::string& Folder() const { return folder_; }
    // Runs the batch with `options` and the current relative mode (a
    // relative run against options.referenceName). The grid's record is
    // replaced only by a run that got past its checks.
    void RunBatchAnalysis(const BatchOptions& options);
    // The outcome of the last run.
    const RunOutcome& LastRun() const { return lastRun_; }
    // The record of the run that filled the grid: what Generate Output, the
    // grid's double click and the relative run act on. The window alone
    // writes it; empty while the grid shows no results.
    const RunRecord& Record() const { return record_; }

    // A long job of the window (a run, Generate Output): the window's
    // commands are disabled (platform::BusyScope) and a close (its close box,
    // Alt+F4) waits for the job's end. A run is asked to stop at the close
    // (what it wrote stays as it was: the table is put in place whole or not
    // at all); Generate Output finishes its outputs first. The window closes
    // once the job has ended.
    void BeginJob();
    void EndJob();
    bool JobRunning() const { return jobs_ > 0; }
    // Whether a close came during the job in hand.
    bool CloseRequested() const { return closeRequested_; }

    // core::BatchSummaryWindow
    void ClearBatchSummary() override;

    // RunView
    void UncheckCompensate() override;
    void FocusSampleWidth() override;
    void SetWindowEnabled(bool enabled) override;
    void SetCurrentPath(const std::string& folder) override;
    void SetProcessedLabel(const std::string& text, bool red) override;
    void ShowProgress(bool shown) override;
    void SetProgress(int value, int maximum) override;
    void SetDataType(const std::string& text) override;
    void SetGridRowCount(int rows) override;
    void SetGridRow(int row, const std::vector<std::string>& cells) override;
    void SetSummary(const SummaryTexts& texts) override;
    void SuggestRanges(const std::string& zMin, const std::string& zMax, const std::string& diagMin,
                       const std::string& diagMax) override;
    void EnableGenerateOutput() override;
    void ShowViewErrors() override;
    void Yield() override;
    bool StopRequested() override { return closeRequested_ && stopOnClose_; }
    // Generate Output: what the window says at its end (the label under the
    // grid) and its stop rule (false: a close waits for the end).
    void ShowOutputEnd(const std::string& text);
    void SetStopOnClose(bool stop) { stopOnClose_ = stop; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    RunOutcome lastRun_;
    RunRecord record_;
    // Images analysed by the run whose results the window shows (a refused
    // run leaves them).
    int shownProcessed_ = 0;
    std::string folder_;
    int jobs_ = 0;
    bool closeRequested_ = false;
    bool stopOnClose_ = true;
    void BuildControls();
    void BuildFolderStep(QBoxLayout& column);
    void BuildAnalysisStep(QBoxLayout& column);
    void BuildProcessStep(QBoxLayout& column);
    void BuildSummaryStep(QBoxLayout& column);
    void BuildOutputSteps(QBoxLayout& column);
    void LoadGrid();
    void SetFolder(const std::string& folder);
    void ListFolder();
    void Wire();
    void cmdBrowse_Click();
    void Dir1_Change();
    void ShowPhaseImageCount();
    void chkCompensate_Click();
    void chkFringeValuetxt_Click();
    void chkOutputPlot_Click(QCheckBox* clicked);
    void chkUseMask_Click();
    void cmdSelectMask_Click();
    void SizeBox_Change(QLineEdit* box);
    void Grid1_DblClick(int row, int column);
    void StartRun(bool relative, int row);
    void cmdViewErrors_Click();
    void cmdClose_Click();
};

// The window as the program made it (after InstallBatchWindows).
FrmBatchProcessing& frmBatchProcessing();

// A new batch window (the program's window table names it).
gui::BatchProcessingWindow* NewBatchProcessingWindow();

// Installs this window as the program's batch window, for a test that runs
// without the whole program's table.
void InstallBatchWindows();

} // namespace batch
