#pragma once
// The sample preview of the batch plot configuration: analyses the sample
// phase image of "Utility Files" with fixed options and puts it on the
// surface and contour charts with placeholder texts, and loads the sample
// diagonal profiles into the profile chart, so that the configuration window
// shows the layout of the batch plots on a known image.
//
// The user's image in memory is left as it was: the sample is analysed on the
// shared matrices inside a model::SingleImageHold that puts them back.
#include "app/core/model/model.h"
#include "plots/charts/chart2d.h"
#include "plots/charts/chart3d.h"

#include <string>
#include <vector>

namespace batchcfg {

// The sample analysed: the 50 x 50 reduced grid (i fastest) and the sample's
// last column and row.
struct SampleResult {
    bool ok = false;
    std::string message;          // why not, when !ok
    std::vector<float> reduced;   // 2,500 values, 9999 where there is no data
    int xMax = 0, yMax = 0;
};

// Analyses a sample phase image: blank bytes (128) read as 127, fringe value
// 10 mils, LSF levelling, displacement in the current units; the shared model
// is unchanged afterwards.
SampleResult AnalyseSample(const std::string& path);

// What the preview reads of the two windows.
struct PreviewInputs {
    std::string zMin, zMax;            // Z boxes of the batch window
    bool normaliseDiagonal = false;    // its Normalize Diagonal box
    std::string surfaceHeader = "Auto", surfaceFooter = "Auto";
    std::string contourHeader = "Auto", contourFooter = "Auto";
    std::string diagonalHeader = "Auto", diagonalFooter = "Auto";
    bool surfaceXLabel = true, surfaceYLabel = true, surfaceZLabel = true;
    bool contourXLabel = true, contourYLabel = true;
    bool diagonalXLabel = true, diagonalYLabel = true;
};

struct PreviewCharts {
    charts::Chart3D* surface = nullptr;
    charts::Chart3D* contour = nullptr;
    charts::Chart2D* diagonal = nullptr;
};

// Loads the sample diagonal profile of "Utility Files" (the normalised one
// when asked) into a profile chart; false with "file: reason" in *error when
// it cannot be read.
bool LoadSampleDiagonal(charts::Chart2D& chart, bool normalise, std::string* error = nullptr);

// Puts the sample on the three charts. A sample image that cannot be read
// leaves the surface and contour charts as they are, a profile file that
// cannot be read the profile chart's data; false with the reasons then.
bool PreviewBatchConfiguration(const PreviewCharts& charts, const PreviewInputs& in, std::string* error = nullptr);

} // namespace batchcfg
