#pragma once
// Chart builders: fill the 3D surface, contour and diagonal profile charts
// from a result grid. They compute no displacement values; every input (the
// grid, the result's figures and unit texts, the texts of the option boxes)
// comes in as an argument, and what the program keeps afterwards (the level
// step, the contour limits, the plotted profiles) comes back as the result.
//
// The single-image builders and their batch twins share one body; the twins
// differ only where their options say ("Auto" title boxes, axis-title ticks).
#include <string>
#include <vector>

#include "plots/charts/chart2d.h"
#include "plots/charts/chart3d.h"

namespace plots {

// The grid handed to the chart, i (X) varying fastest, cols x rows values.
struct GridInput {
    const std::vector<float>* values = nullptr;
    int cols = 0;
    int rows = 0;
    bool reduced = false;   // the 50 x 50 reduced grid
};

// Figures and texts of the last analysis the builders read.
struct ResultFacts {
    std::string dataSetName;
    float zRange = 0, minZ = 0, maxZ = 0;
    std::string zFormat = "0.0";   // "0.0" with mils, "0" with microns
    std::string zUnits = "mils";
    std::string xyUnits = "in";
    int xMax = 0, yMax = 0;        // last column and row of the image
};

// Texts of the option boxes of the calling window.
struct OptionBoxes {
    std::string rotation;          // the rotation choice, e.g. "LSF+"
    std::string sampleWidth, sampleHeight;
    std::string zMin, zMax;        // Z range boxes (diagonal: its range boxes)
};

// Options of the batch plot configuration window.
struct BatchChartOptions {
    std::string header = "Auto";   // "Auto" (any case) asks for the automatic text
    std::string footer = "Auto";
    bool footerTicked = true;      // the footer check box of the chart being filled
    bool xLabel = true, yLabel = true, zLabel = true;
};

struct SurfaceBuild {
    bool levelStepWritten = false;   // only when the Z range came from the boxes
    float levelStep = 0;
};

struct ContourBuild {
    bool contourLimitsWritten = false;   // single-image builder only
    float contourZMin = 0, contourZMax = 0;
    float levelStep = 0;
};

SurfaceBuild Setup3DChart(charts::Chart3D& chart, const GridInput& grid, const ResultFacts& facts,
                          const OptionBoxes& boxes);
SurfaceBuild SetupBatch3DChart(charts::Chart3D& chart, const GridInput& grid, const ResultFacts& facts,
                               const OptionBoxes& boxes, const BatchChartOptions& options);

extern const char* const kChordPickPrompt;   // "Click and hold left mouse button to select initial point:"

ContourBuild SetupContourChart(charts::Chart3D& chart, const GridInput& grid, const ResultFacts& facts,
                               const OptionBoxes& boxes, bool chordPickMode);
ContourBuild SetupBatchContourChart(charts::Chart3D& chart, const GridInput& grid, const ResultFacts& facts,
                                    const OptionBoxes& boxes, const BatchChartOptions& options);

// The number pattern of legend labels `labelStep` apart, the first at
// `first`: the displacement format `zFormat` ("0.0", "0") with as many more
// decimals as keep neighbouring labels apart, and up to two more where these
// write the step exactly and the first label not half-way between two values
// (0.25 -> "0.00", 0.0625 -> "0.0000", 0.2 -> "0.0"; 1/3 -> "0.0"). Values
// are taken as the 4-byte floats of the results hold them (0.1f is 0.1).
std::string LegendLabelFormat(double labelStep, const std::string& zFormat, double first = 0);
// Texts of legend labels for the evenly spaced values v0, v0 + step, ... (as
// the chart holds them), with LegendLabelFormat: neighbours never read the
// same; where the step is written exactly they are exactly one step apart
// (whole steps from the first), otherwise each is its value rounded.
std::vector<std::string> LegendLabelTexts(const std::vector<double>& values, double step, const std::string& zFormat);


// The 64 colour levels of a 3D surface or 3D legend from zmin up in steps of
// (zmax - zmin) / 64, and the legend labels in sixteenths of the range (label
// 1 and 2 second text zmin, label 4k main text, label 64 second text zmax),
// written with LegendLabelTexts. Returns the level step.
float Apply3DLevels(charts::Chart3D& chart, double zmin, double zmax, const std::string& zFormat);

// The contour level layout over lo..hi: filled, 17 levels in sixteenths with
// legend mode 2 and the labels "", lo, ..., hi; lines, 19 levels in
// eighteenths with legend mode 1 and the labels "" and levels 2 to 18; the
// labels written with LegendLabelTexts. Empties the level table
// and the legend labels first. Returns the step.
float ApplyContourLayout(charts::Chart3D& chart, bool filled, double lo, double hi, const std::string& zFormat);

// Legend pictures. The 3D legend: the 64 levels of Apply3DLevels with the
// colour-bar legend. The contour legend: the layout of ApplyContourLayout by
// the chart's filled flag. Both show the title LegendTitle(zUnits), so that a
// saved legend names its unit. Each returns its level step.
float FillSurfaceLegend(charts::Chart3D& chart, double zmin, double zmax, const std::string& zFormat,
                        const std::string& zUnits);
float FillContourLegend(charts::Chart3D& chart, double zmin, double zmax, const std::string& zFormat,
                        const std::string& zUnits);
// "Z (mils)" / "Z (microns)".
std::string LegendTitle(const std::string& zUnits);
// "3D Legend (-2.0 to 3.5 mils)" / "Contour Legend (0 to 64 microns)", the
// numbers written with zFormat; no extension.
std::string LegendName(bool threeD, double zmin, double zmax, const std::string& zFormat, const std::string& zUnits);

// The footer "Coplanarity = 12.5 mils" / "Maximum Deflection = ...".
std::string RangeFooter(const std::string& rotation, const ResultFacts& facts);

// --- Diagonal profiles.
extern const char* const kCornerMaskMessage;   // "Data cannot be normalized due to corner mask."
extern const char* const kSeriesAB;            // "Upper Left to Lower Right (AB)"
extern const char* const kSeriesCD;            // "Lower Left to Upper Right (CD)"

// The stored configuration of a diagonal chart: series labels, axis titles,
// and for the batch chart its header and footer placeholders.
void ConfigureDiagonalChart(charts::Chart2D& chart, bool batch);

struct DiagonalBuild {
    bool built = false;
    // Normalising was asked with a missing corner. The single-image builder
    // then draws nothing; the batch twin draws the profiles whose ends hold
    // data normalised and the others plain.
    bool cornerMasked = false;
    std::vector<float> ab, cd;     // the profiles as plotted
    float minAB = 5000, maxAB = -5000, minCD = 5000, maxCD = -5000;   // batch footer figures
};

// profileAB runs from (0, 0) to (XMax, YMax), profileCD from (0, YMax) to
// (XMax, 0), each max(XMax, YMax) + 1 values. When normalise is asked and a
// corner value is missing, nothing is drawn and cornerMasked is set: the
// caller shows kCornerMaskMessage, clears its Normalize box and builds again.
DiagonalBuild SetupDiagonalChart(charts::Chart2D& chart, const std::vector<float>& profileAB,
                                 const std::vector<float>& profileCD, bool normalise, const ResultFacts& facts,
                                 const OptionBoxes& boxes);
DiagonalBuild SetupBatchDiagonalChart(charts::Chart2D& chart, const std::vector<float>& profileAB,
                                      const std::vector<float>& profileCD, bool normalise, const ResultFacts& facts,
                                      const OptionBoxes& boxes, const BatchChartOptions& options);

// --- Chord profile.
// Length of the chord (x1, y1)-(x2, y2) of an image with last column xMax and
// row yMax: in the sample's units when both size texts are numeric (lengths
// scaled by width / (xMax + 1) and height / (yMax + 1)), else in pixels.
float ChordLength(int x1, int y1, int x2, int y2, int xMax, int yMax, const std::string& widthText,
                  const std::string& heightText, bool* inSampleUnits);
// X values of n points along a length L: (i - 1) * L / n, i = 1..n.
std::vector<double> ProfileXValues(int n, float length);
// Fills a chord chart with the profile sampled along (x1, y1)-(x2, y2): one
// series, header the data set name, titles, X axis up to the chord length,
// Y range from the Z boxes when both are numeric.
void SetupChordChart(charts::Chart2D& chart, const std::vector<float>& profile, int x1, int y1, int x2, int y2,
                     const ResultFacts& facts, const OptionBoxes& boxes);

// Removes the straight line through the end values (holes stay holes), in
// 4-byte floats. A profile whose first or last value is a hole is left as it
// is and false comes back.
bool NormaliseProfile(std::vector<float>& p);

} // namespace plots

// --- Inputs taken from the shared data model (app/core/model).
namespace plots {

// Data set name, figures and unit texts of the last analysis.
ResultFacts ModelFacts();
// The reduced 50 x 50 grid or the full chart data, as the charts take them.
GridInput ModelGrid(bool reduced);
// The two diagonals of ResultMatrix through ChordProfile: AB from (0, 0) to
// (XMax, YMax), CD from (0, YMax) to (XMax, 0).
void ModelDiagonals(std::vector<float>* ab, std::vector<float>* cd);

} // namespace plots
