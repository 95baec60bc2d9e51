#pragma once
// The analysis pipeline: from the phase image in memory to Displacement,
// ResultMatrix, the reduced and chart data and the three result figures. The
// step procedures work on the shared data model and call the analysis library
// through outside::; the single-image command (RunCalculateDisplacement) and
// the batch analysis of one image (BatchAnalyzeImage) put them together.
#include <cstdint>
#include <string>

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

// Step procedures, in pipeline order. Rows and columns are ImageRows/ImageCols.
void ExtractDomain(int16_t index);   // CurrentPhase (and CurrentMask) from one domain
void ReplaceBlankPhase();            // bytes 128 of CurrentPhase become 127
void ApplyMaskToPhase();             // WorkingPhase from CurrentPhase and CurrentMask
void FilterPhase();                  // WorkingPhase filtered in place
void UnwrapPhase();                  // UnwrappedPhase from WorkingPhase
void PhaseToDisplacement();          // Displacement from UnwrappedPhase with FringeValue
void CompensateDisplacement();       // Displacement (mils) with SampleWidth/Height (inches)
void ApplyRotation(int16_t choice);  // levels Displacement; 4 and 5 shift min or max to 0
// Stores Displacement as the reference; `domainPosition` names it when a
// partition is in memory. Sets the main window's reference caption.
void SetReference(int domainPosition);
// Displacement minus the reference; with a reference of another size it warns
// ("Current and Reference images have different dimensions." CR "Absolute
// displacement will be reported.", 48, "Analysis Setup Error"), unticks
// Calculate Relative and returns false.
bool ApplyReference();
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
struct CalculateOutcome {
    bool completed = false;
    std::string maxZ, minZ, range;   // formatted with ZFormat
};
CalculateOutcome RunCalculateDisplacement(const AnalysisOptions& options);

// The batch analysis of the image in CurrentPhase with the batch options.
// Returns false when a corner-point levelling (4 Pt, 3 Pt) finds a matrix
// corner without data (nothing levelled then), and when compensation is asked
// with sample-size texts that are not numeric, the reference has another size
// or CurrentPhase does not hold an image of ImageCols x ImageRows.
bool BatchAnalyzeImage(bool relative, const AnalysisOptions& options);

} // namespace core
