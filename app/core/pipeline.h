#pragma once
// The analysis pipeline: from the phase image in memory to Displacement,
// ResultMatrix, the reduced and chart data and the three result figures. The
// step procedures work on the shared data model and call the analysis library
// through outside::; the single-image command (RunCalculateDisplacement) and
// the batch analysis of one image (BatchAnalyzeImage) put them together.
#include "app/core/model/model.h"

#include <cstdint>
#include <string>
#include <utility>

namespace core {

// The options of one run, filled from the main window or the batch window.
struct AnalysisOptions {
    int grating = 1;          // grating list position 0..5 (50 .. 1000 lpi)
    int rotation = 1;         // rotation list position: 0 No Rotation, 1 Lsf, 2 4 Pt, 3 3 Pt,
                              // 4 "Lsf - Low 0", 5 "Lsf - High 0"
    int domain = -1;          // domain list position (used with a partition in memory)
    bool compensate = false;
    bool useFringeFile = false;
    bool exclude128 = true;   // keep bytes 128 blank (off: they become 127)
    bool phaseFilter = false;
    bool setReference = false;
    bool relative = false;
    bool useMask = false;     // batch only: apply model::batch.BatchMask
    std::string sampleWidth;  // texts of the sample-size boxes, in XYUnits
    std::string sampleHeight;
};

// Texts of the rotation list, by position.
std::string RotationItemText(int position);

// What a step of the pipeline gives back: done, or stopped with the analysis
// library's reason.
struct StepResult {
    std::string failure;   // empty when the step was done
    static StepResult Failed(std::string why) { return StepResult{std::move(why)}; }
    explicit operator bool() const { return failure.empty(); }
};

// Step procedures, in pipeline order. Rows and columns are ImageRows/ImageCols.
// Those that return a StepResult fail when the analysis library refuses the
// step, with its reason.
void ExtractDomain(int16_t index);         // CurrentPhase (and CurrentMask) from one domain
void ReplaceBlankPhase();                  // bytes 128 of CurrentPhase become 127
StepResult ApplyMaskToPhase();             // WorkingPhase from CurrentPhase and CurrentMask
StepResult FilterPhase();                  // WorkingPhase filtered in place
StepResult UnwrapPhase();                  // UnwrappedPhase from WorkingPhase
StepResult PhaseToDisplacement();          // Displacement from UnwrappedPhase with FringeValue
StepResult CompensateDisplacement();       // Displacement (mils) with SampleWidth/Height (inches)
StepResult ApplyRotation(int16_t choice);  // levels Displacement; 4 and 5 shift min or max to 0

// True when the matrix holds at least one data value (IsNoData of figures.h).
bool HoldsData(const model::SingleMatrix& m);
// The message of a result without any data.
std::string NoDataMessage();

// Memory: the bytes the analysis of a cols x rows region needs at most (all
// working matrices and the library's own), and the bytes it may use. The
// budget is half the memory of the computer, less under a lower address-space
// limit; tests may set their own (0 goes back to that default).
uint64_t AnalysisMemoryNeeded(int cols, int rows);
uint64_t AnalysisMemoryBudget();
void SetAnalysisMemoryBudget(uint64_t bytes);
// "" when a region of cols x rows fits the budget, else the message.
std::string MemoryProblem(int cols, int rows);
// Stores Displacement as the reference; `domainPosition` names it when a
// partition is in memory. Sets the main window's reference caption.
void SetReference(int domainPosition);
// Displacement minus the reference (RelativeResult tells whether it was
// taken); with a reference of another size it warns ("Current and Reference
// images have different dimensions." CR "Absolute displacement will be
// reported.", 48, "Analysis Setup Error"), unticks Calculate Relative and
// leaves the absolute displacement. Fails only when the library refuses.
StepResult ApplyReference();
void ComputeDisplacementRange();     // MaxZ, MinZ, ZRange of Displacement
void SwapImageMatrix();              // ResultMatrix from Displacement
void ReduceData();                   // ReducedData: 50 x 50 samples of ResultMatrix
void MakeChartData();                // ChartData: ResultMatrix with the rows reversed

// Sample position of ReduceData for cell i or j (1..50).
int ReducedColumn(int i, int xMax);
int ReducedRow(int j, int yMax);

// The Calculate Displacement command after the window has read its controls:
// checks (with their messages), the steps, the figures. On success the window
// has been told ShowProcessing and ShowResults, and the result texts are here.
// A step the analysis library refuses, memory running out or a result without
// data stop the command with a message (title "Analysis Error") and put the
// window back into its state without a result: no figures are shown.
struct CalculateOutcome {
    bool completed = false;
    std::string maxZ, minZ, range;   // formatted with ZFormat
};
CalculateOutcome RunCalculateDisplacement(const AnalysisOptions& options);

// The batch analysis of the image in CurrentPhase with the batch options.
// Returns false when a corner-point levelling (4 Pt, 3 Pt) finds a matrix
// corner without data (nothing levelled then), and when compensation is asked
// with sample-size texts that are not numeric, the reference has another size
// or CurrentPhase does not hold an image of ImageCols x ImageRows; also when
// the fringe value (FringeValue) cannot be used, the image does not fit the
// memory budget, the analysis library refuses a step, memory runs out or the
// result holds no data. No range is computed then. `reason` (may be null)
// gets the reason of a false return.
bool BatchAnalyzeImage(bool relative, const AnalysisOptions& options, std::string* reason = nullptr);

} // namespace core
