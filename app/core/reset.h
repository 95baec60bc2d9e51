#pragma once
// Withdrawing shown results, and the small window interfaces through which the
// analysis core acts on the main window and the batch window. The windows
// register themselves; without a registered window only the model changes.
#include <functional>
#include <string>

namespace core {

// The main analysis window as the core drives it. Every hook does nothing by
// default.
class AnalysisWindow {
public:
    virtual ~AnalysisWindow() = default;
    // Back to "no result": caption "Calculate Displacement", result labels
    // emptied, units label hidden, Save Data caption "Save Data File", Save, 3D,
    // Contour, Diagonal, Chord and Parameters disabled.
    virtual void ClearResultDisplay() {}
    // Calculation started: caption "Processing", busy pointer.
    virtual void ShowProcessing() {}
    // Calculation finished: caption "Displacement Calculated", normal pointer,
    // the three labels (already formatted with ZFormat), units label shown, the
    // result buttons enabled.
    virtual void ShowResults(const std::string& maxZ, const std::string& minZ, const std::string& range) {}
    // Caption of the reference label ("Reference: ...").
    virtual void SetReferenceCaption(const std::string& caption) {}
    // Unticks the compensate / relative box (its own click handling runs).
    virtual void UncheckCompensate() {}
    virtual void UncheckRelative() {}
    // Moves the focus to the sample width box.
    virtual void FocusSampleWidth() {}
};
void SetAnalysisWindow(AnalysisWindow* window);   // nullptr to unregister
AnalysisWindow* CurrentAnalysisWindow();

// The batch window's result summary.
class BatchSummaryWindow {
public:
    virtual ~BatchSummaryWindow() = default;
    // Empties the summary (grid with one empty data row, labels, texts, buttons,
    // progress); column 4 and the range label follow BatchRangeCaption of the
    // batch rotation text.
    virtual void ClearBatchSummary() = 0;
};
// The provider is called by every ResetBatchSummary and may create the window
// on first use; it may return nullptr.
void SetBatchSummaryWindowProvider(std::function<BatchSummaryWindow*()> provider);

// Puts the main window back into its state without a result and clears the
// plot-valid flags; does nothing while model::state.StartupInProgress.
void ResetAnalysisState();
// Empties the batch error list and the batch window's summary.
void ResetBatchSummary();

// Caption of the range label for a rotation list text: "Coplanarity" when it
// contains "Lsf" (any case), else "Maximum Deflection".
std::string RangeCaption(const std::string& rotationText);
// The same test for the batch window: "Coplanarity" / "Max Deflection".
std::string BatchRangeCaption(const std::string& rotationText);

} // namespace core
