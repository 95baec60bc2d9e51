#pragma once
// Generate Output of the batch window: for every image the last batch run
// analysed, the image is read and analysed again and, as asked, its
// displacement data file and its 3D, contour and diagonal pictures are written
// beside it (drawn on the batch configuration charts by the batch chart
// builders); then the legend pictures go into the batch folder.
//
// Per image, in this order (base = the image path less its "_ph.tif" ending):
//   base_ab.dat / base_ab.bin        (relative run: base_rel.dat / .bin)
//   base_3D.bmp / .jpg               (relative run: base_rel_3D.*)
//   base_ctr.bmp / .jpg              (relative run: base_rel_ctr.*)
//   base_dia.bmp / .jpg              (relative run: base_rel_dia.*)
// then "3D Legend (zmin to zmax units)", "Contour Legend (...)" (both only
// with numeric Z boxes) and a copy of "Diagonal Legend" from "Utility Files".
//
// An image or file that cannot be read or written is listed in the report and
// the run goes on with the next one; so is a file whose path cannot be given
// to the picture encoder under its own bytes (a folder name that is not
// UTF-8). The analysis model in memory (the user's image and its results) is
// the same after the run as before it (model::SingleImageHold).
#include "app/batch/config/chart_design.h"
#include "app/batch/engine.h"
#include "app/core/pipeline.h"
#include "plots/builders/chart_builders.h"
#include "plots/charts/chart2d.h"
#include "plots/charts/chart3d.h"

#include <functional>
#include <string>
#include <vector>

namespace batch {

// What the batch window's output boxes and the configuration window ask for.
struct OutputOptions {
    bool plot3D = false, contour = false, diagonal = false, saveData = false;
    bool reduceData = true;
    bool textData = true;          // configuration: Text (else Binary)
    bool bitmap = true;            // configuration: Bitmap (else JPG)
    bool normaliseDiagonal = false;
    std::string zMin, zMax;        // texts of the Z range boxes
    std::string diagMin, diagMax;  // texts of the diagonal range boxes
    std::string folder;            // the batch folder (legends go there)
};

// One image of the last run: its file name, full path, and whether the run
// left a result for it (an image without a result is passed over).
struct OutputImage {
    std::string fileName;
    std::string path;
    bool analysed = false;
};

// The last run and the options the images are analysed and drawn with.
struct OutputRun {
    std::vector<OutputImage> images;
    bool relative = false;
    int referenceIndex = 0;
    core::AnalysisOptions analysis;
    plots::OptionBoxes boxes;              // rotation text, sample size texts (Z boxes from OutputOptions)
    plots::BatchChartOptions surface, contour, diagonal;
    // FringeValue.txt's value for the run's grating (-1 not calibrated), and
    // the run's rule for an image without a header (BatchOptions). The
    // reference displacement of a relative run is model::batch's.
    float calibratedFringeValue = -1;
    bool headerlessUseFringeFile = true;
    // Told the tab of the chart about to be drawn (0 3D, 1 contour, 2 diagonal).
    std::function<void(int tab)> showTab;
    // Asked after each image: true ends the output there (legends included).
    std::function<bool()> stopRequested;
};

// The last batch run (model::batch: its images, relative mode, reference and
// calibrated fringe value) with the options it ran with; `analysed(i)` tells
// whether image i got a result. The chart options, showTab and stopRequested
// are left to the caller.
OutputRun LastBatchRun(const BatchOptions& options, const std::function<bool(size_t)>& analysed);

// The five charts the pictures are drawn on.
using OutputCharts = batchcfg::ConfigCharts;

// A refusal before anything is read or written; empty text when accepted.
struct Refusal {
    std::string text;
    std::string title;
};
// "No output selected." when nothing is asked; a Z or diagonal box whose
// number no plot can take (core::UsablePlotRangeValue); a Z or diagonal range
// whose maximum is not above its minimum (both boxes numeric).
Refusal CheckOutputRequest(const OutputOptions& options);

struct OutputReport {
    std::vector<std::string> written;   // full paths, in the order written
    std::vector<std::string> failed;    // one line per image or file not written
    int processed = 0;                  // images counted
    bool stopped = false;               // stopRequested ended it
    bool surfaceLegendBuilt = false;
    float surfaceLevelStep = 0;         // of the 3D legend
};

// Called after each counted image: (index + 1, images counted, image count).
using OutputProgress = std::function<void(int value, int processed, int total)>;

OutputReport GenerateOutput(const OutputRun& run, const OutputOptions& options, const OutputCharts& charts,
                            const OutputProgress& progress = {});

// "Phase Images Processed: 7/10".
std::string ProcessedCaption(int processed, int total);

} // namespace batch
