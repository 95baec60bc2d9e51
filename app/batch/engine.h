#pragma once
// The batch analysis run: every phase image of a folder through the batch
// pipeline, absolute or relative to a reference image of the same folder. It
// writes the results table as it goes, keeps the error list in model::batch,
// hands back the record of what it analysed (RunRecord: what Generate Output,
// the grid's double click and the relative run act on), and reports to the
// batch window (or to nothing, for the command-line harness) through RunView.
#include "app/batch/table.h"
#include "app/core/pipeline.h"
#include "app/editor/core/image_files.h"

#include <string>
#include <vector>

namespace batch {

// The batch window's options, gathered before a run.
struct BatchOptions {
    std::string folder;                 // the folder list's folder
    std::vector<std::string> files;     // the file list's names, in its order
    core::AnalysisOptions analysis;     // grating, rotation, check boxes, size texts, mask
    bool normalizeDiagonal = false;
    std::string rotationText;           // the rotation list's text
    std::string maskCaption;            // the batch mask label's caption
    // The reference image of a relative run by its file name; empty: the one
    // at model::batch.BatchReferenceIndex in `files`.
    std::string referenceName;
    // An image without a header takes FringeValue.txt's value even with Use
    // FringeValue.txt off (the command line's rule); the window's run leaves
    // such an image to the option (off: ": Fringe Value needed.").
    bool headerlessUseFringeFile = true;
};

// The seven summary labels after a run.
struct SummaryTexts {
    std::string maxZ, minZ, maxRange, minAB, maxAB, minCD, maxCD;
};

// What the run shows. Every hook does nothing by default.
class RunView {
public:
    virtual ~RunView() = default;
    // Start-up checks that refuse compensation.
    virtual void UncheckCompensate() {}
    virtual void FocusSampleWidth() {}
    // Disabled for the whole run, enabled at every end.
    virtual void SetWindowEnabled(bool /*enabled*/) {}
    virtual void SetCurrentPath(const std::string& /*folder*/) {}
    // "Number of Images Processed: n/N", red when images failed.
    virtual void SetProcessedLabel(const std::string& /*text*/, bool /*red*/) {}
    virtual void ShowProgress(bool /*shown*/) {}
    virtual void SetProgress(int /*value*/, int /*maximum*/) {}
    virtual void SetDataType(const std::string& /*text*/) {}
    // Header row plus one row per image.
    virtual void SetGridRowCount(int /*rows*/) {}
    // Row r (1-based under the header): number, file name and the ten values;
    // a failed image gives number and name only.
    virtual void SetGridRow(int /*row*/, const std::vector<std::string>& /*cells*/) {}
    virtual void SetSummary(const SummaryTexts& /*texts*/) {}
    // Suggested plot ranges; an empty text leaves the box empty.
    virtual void SuggestRanges(const std::string& /*zMin*/, const std::string& /*zMax*/,
                               const std::string& /*diagMin*/, const std::string& /*diagMax*/) {}
    virtual void EnableGenerateOutput() {}
    virtual void ShowViewErrors() {}
    // Lets the window system repaint.
    virtual void Yield() {}
    // Asked after each yield: true stops the run there (the window was
    // closed). The earlier table stays and the summary is cleared.
    virtual bool StopRequested() { return false; }
};

// How a run ended. Only Completed and ReferenceFailed put a new table in
// place; every other end leaves an earlier table as it was.
enum class RunEnd {
    Completed,        // the loop ran over every image
    NoImages,         // "No phase images found in this folder."
    SetupRefused,     // a start-up check refused the options (message shown)
    Stopped,          // FringeValue.txt could not be read, or the run failed on its way (reason shown)
    FolderAccess,     // the table could not be written ("Cannot write to the specified folder.")
    ReferenceFailed,  // the reference image is gone or could not be analysed (message shown)
    FolderBusy,       // another run holds the folder's table (message shown)
    Cancelled,        // the view asked the run to stop (no message)
};

// The record of a run that got past its checks: what it analysed and with
// what. Its owner (the batch window, the command line) keeps it for the
// outputs of that run; nothing else writes it.
struct RunRecord {
    BatchOptions options;               // folder (absolute) and names as bytes, as the run took them
    std::vector<std::string> paths;     // the full path of each image, in the order of options.files
    std::vector<bool> analysed;         // whether the run left a result for each image
    bool relative = false;
    int referenceIndex = 0;             // position of the reference in options.files (relative run)
    float calibratedFringeValue = -1;   // FringeValue.txt's value for the grating, -1 not calibrated
    // The reference displacement of a relative run, with its last column and row.
    model::SingleMatrix referenceDisplacement;
    int32_t refXMax = 0, refYMax = 0;
};

struct RunOutcome {
    RunEnd end = RunEnd::Stopped;
    std::string tablePath;
    int processed = 0;   // images analysed (the grid's double click needs two)
    int total = 0;
    // The run got past its checks and the folder's lock: the window's summary
    // was reset and model::batch describes this run. A run refused before
    // that changed nothing.
    bool started = false;
    // What the run analysed and with what (meaningful when started).
    RunRecord record;
};

// The message of a run (or an output) that finds another run or output
// writing into the folder.
inline constexpr const char* kFolderBusyText = "Another batch run is writing the results table of this folder.";

// Failure reasons of one image, as the error list shows them.
inline constexpr const char* kReasonMaskSize = ": Image size does not match mask.";
inline constexpr const char* kReasonReferenceSize = ": Image size does not match reference.";
inline constexpr const char* kReasonFringeValue = ": Fringe Value needed.";
inline constexpr const char* kReasonRotate = ": Cannot rotate data matrix.";
inline constexpr const char* kReasonNormalize = ": Cannot normalize diagonal data.";
inline constexpr const char* kReasonUnreadable = ": The file cannot be opened.";

// Runs the batch over options.files, absolute or relative by
// model::batch.BatchRelativeMode (the reference being options.referenceName,
// whose position the run leaves in model::batch.BatchReferenceIndex once it
// has started). The run holds the folder's lock, clears the stale temporary
// files of ended runs from the folder, writes the table into a temporary file
// and renames it over the table at the end. The single image's state is the
// same after the run as before it (model::SingleImageHold); what Generate
// Output needs of the run is in the outcome's record. A run refused at any
// of its checks (the folder busy included) changes nothing that outputs read.
// With `keep`, the folder's lock is taken into it and stays held after the
// run, for the outputs the caller writes next under the same lock.
RunOutcome RunBatchAnalysis(const BatchOptions& options, RunView& view, FolderLock* keep = nullptr);

// The folder a run names its table and outputs in: the path made absolute
// (against the working folder), its links, "." and ".." parts resolved as the
// system resolves them, bytes kept.
std::string RunFolder(const std::string& folder);

// The position of an image of the list by its name: the name exactly, else the
// first that differs only in letter case; -1 when none.
int FindPhaseImage(const std::vector<std::string>& files, const std::string& name);

// The path the outputs of an image are named from: the image path less its
// last 7 characters ("_ph.tif" / "_ph.bmp").
std::string OutputBaseName(const std::string& imagePath);

// Reads the maker header of the image in memory (model::files.ImageHeaderText)
// into HeaderFringeValue; false when there is none (or it is broken).
bool TakeImageHeader();
// The options one image is analysed with: the run's, with FringeValue.txt in
// use for an image without a header when `headerlessUseFringeFile`. False
// when the image has no fringe value to use: no header, and FringeValue.txt
// not in use or the grating not calibrated (`calibrated` -1).
bool ImageOptions(const core::AnalysisOptions& run, bool headerlessUseFringeFile, bool hasHeader, float calibrated,
                  core::AnalysisOptions* image);

// Whether compensation can be used with the sample sizes typed in the width
// and height boxes (in model::files.XYUnits) and the grating (index 0..5):
// empty message when it can, else the message and its title; sizesMissing
// when a box holds no number.
struct CompensationCheck {
    std::string message;
    std::string title;
    bool sizesMissing = false;
    bool ok() const { return message.empty(); }
};
CompensationCheck CheckBatchCompensation(int grating, const std::string& width, const std::string& height);

// Reads a phase image of the batch folder in the program's image format:
// TIFF (with its header text) when the format is "tif", else BMP.
editor::GreyImage ReadBatchImage(const std::string& path);
// Makes a read image the one in model::images.CurrentPhase (size, XMax/YMax)
// with its header text; the image's pixels and header are moved out.
void PutBatchImage(editor::GreyImage& image);

// Reads a batch mask file ("*_msk.tif", letter case ignored) into
// model::batch (BatchMask, its size and BatchMaskFile).
enum class MaskLoad { Ok, BadName, Unreadable };
MaskLoad LoadBatchMask(const std::string& path);

// Reasons of an image whose name cannot be used.
inline constexpr const char* kReasonNameBreaksRow = ": The file name holds a tab or a line break.";
inline constexpr const char* kReasonNameEncoding = ": The file name is not valid in this system's file-name encoding.";
// True when a name (or path) comes back byte for byte from the platform's
// file-name encoding (QFile::decodeName, then encodeName); a name that does
// not would be written or listed under another name by anything that takes
// it as text.
bool SurvivesNameEncoding(const std::string& name);
// Reason of an image whose outputs would take the names of an earlier one's
// ("part1_ph.tif" and "part1_PH.TIF"); the earlier image's number and name follow.
inline constexpr const char* kReasonSameOutputs = ": Its output files would replace those of ";

// The names of the outputs an image may have, absolute and relative, data
// files and pictures (base = OutputBaseName of the image's path).
std::vector<std::string> OutputNames(const std::string& base, bool relative);

// The diagonal with the straight line through its end values removed (both
// ends become 0); no-data values stay. False when an end has no data.
bool NormalizeDiagonal(std::vector<float>& profile);

} // namespace batch
