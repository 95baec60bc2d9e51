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
// the run goes on with the next one. Every file is written under its path's
// own bytes (a folder name that is not UTF-8 included). Everything is written
// under the folder's batch lock (FolderLock): while another run or output
// writes into the folder, nothing is written and the report says the folder
// is busy. The analysis model in memory (the user's image and its results) is
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
    // The reference displacement of a relative run, with its last column and row.
    model::SingleMatrix referenceDisplacement;
    int32_t refXMax = 0, refYMax = 0;
    // Told the tab of the chart about to be drawn (0 3D, 1 contour, 2 diagonal).
    std::function<void(int tab)> showTab;
    // Asked after each image: true ends the output there (legends included).
    std::function<bool()> stopRequested;
};

// The outputs of a run from its record: its images with their results, its
// relative mode, reference, fringe value and options. The chart options,
// showTab and stopRequested are left to the caller.
OutputRun RecordedRun(const RunRecord& record);

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
    std::string refused;                // why nothing was written (another writer holds the folder...)
    int processed = 0;                  // images counted
    bool stopped = false;               // stopRequested ended it
    bool surfaceLegendBuilt = false;
    float surfaceLevelStep = 0;         // of the 3D legend
};

// Called after each counted image: (index + 1, images counted, image count).
using OutputProgress = std::function<void(int value, int processed, int total)>;

// With `held`, the caller already holds the folder's lock (the run it made
// the outputs of); else GenerateOutput takes it for its own time.
OutputReport GenerateOutput(const OutputRun& run, const OutputOptions& options, const OutputCharts& charts,
                            const OutputProgress& progress = {}, FolderLock* held = nullptr);

// "Phase Images Processed: 7/10".
std::string ProcessedCaption(int processed, int total);

// What an output wrote, as its end tells the user: "11 files written for 2
// of 3 images." and, when some were not, how many and that the list follows.
std::string OutputSummary(const OutputReport& report, int total);

} // namespace batch
