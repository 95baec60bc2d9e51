#pragma once
// The shared data model of the main program: the program-wide working state
// that every window and procedure reads and writes directly. All of it lives on
// the user-interface thread; there is no locking.
//
// The records are plain structures with one program-wide instance each:
//   model::images  (ImageMatrices)     the image under analysis and its matrices
//   model::state   (AnalysisState)     what is in memory, options in force, results
//   model::files   (FileContext)       files, folders, units and versions
//   model::maskPartition (MaskAndPartition)  mask, domain table, editor region
//   model::settings (Settings)         the 37 values of the settings file
//   model::batch   (BatchState)        batch lists, mask and error list
//   model::msg     (MessageBox)        the message-box convention
//
// Folders are not kept here: platform::BaseFolder(), UtilityFolder(),
// ResultsFolder() and SystemFolder() are the one place for them.
#include "app/core/model/matrix.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace model {

inline constexpr uint8_t BlankPhaseValue = 128;   // a blank phase pixel
inline constexpr float NoDataValue = 9999.0f;     // a displacement without data
inline constexpr int ReducedSize = 50;            // ReducedData is 50 x 50
inline constexpr int MaxDomains = 500;            // rows of the domain table
inline constexpr double MmPerInch = 25.4;         // also microns per mil
inline constexpr const char* AppTitle = "Sorvanta";

// The image under analysis and what is derived from it. Every matrix is indexed
// (x, y), 0-based, x the column; see Matrix.
struct ImageMatrices {
    int16_t ImageCols = 0;   // columns of the image or domain under analysis
    int16_t ImageRows = 0;   // rows of the image or domain under analysis
    int32_t XMax = 0;        // ImageCols - 1
    int32_t YMax = 0;        // ImageRows - 1
    int16_t FullXMax = 0;    // columns - 1 of the whole loaded image
    int16_t FullYMax = 0;    // rows - 1 of the whole loaded image

    ByteMatrix PhaseImage;    // as loaded (or cropped), FullXMax+1 x FullYMax+1; 128 = blank
    ByteMatrix CurrentPhase;  // region under analysis (whole image or domain)
    ByteMatrix WorkingPhase;  // CurrentPhase after the mask; input of filter and unwrap
    ByteMatrix DisplayImage;  // phase with overlays (masked pixels, domain outlines = 255)
    std::vector<int32_t> RowBuffer;  // one image row widened to 32 bits (display transfers)

    SingleMatrix UnwrappedPhase;
    SingleMatrix Displacement;           // in ZUnits; 9999.0 = no data
    SingleMatrix ResultMatrix;           // Displacement rearranged by the swap call
    SingleMatrix ReferenceDisplacement;  // stored reference result (relative mode)
    SingleMatrix DifferenceMatrix;       // current minus reference (temporary)
    // 50 x 50 samples of ResultMatrix: ReducedData(i, j) of the charts (i, j
    // from 1) is element (i - 1, j - 1).
    SingleMatrix ReducedData{ReducedSize, ReducedSize};
    // 1-based chart copy: ChartData(x + 1, y + 1) is element (x, y) here, and
    // equals ResultMatrix(x, YMax - y).
    SingleMatrix ChartData;
    // Values along the last line sampled by ChordProfile: ProfileData(i) of a
    // caller counting from 1 is element i - 1.
    std::vector<float> ProfileData;
    std::vector<float> DiagonalAB;       // written by the plot and batch windows
    std::vector<float> DiagonalCD;

    ByteMatrix MaskImage;     // 255 keep, 0 masked; the full image's size while a mask is in memory
    ByteMatrix CurrentMask;   // mask of the region under analysis
};

// What is in memory, options in force and results.
struct AnalysisState {
    bool PhaseInMemory = false;
    bool MaskInMemory = false;
    bool PartitionInMemory = false;
    bool ReferenceInMemory = false;
    int32_t RefXMax = 0;
    int32_t RefYMax = 0;
    bool RelativeResult = false;
    bool StartupInProgress = true;   // ResetAnalysisState does nothing while true
    bool Surface3DValid = false;
    bool ContourValid = false;
    uint8_t GratingIndex = 0;        // 0..5 = 50, 100, 200, 300, 500, 1000 lpi
    uint8_t RotationMode = 0;        // 0 none, 1 LSF, 2 4Pt, 3 3Pt (library mode)
    float FringeValue = 0;           // mils per fringe in use
    float CalibratedFringeValue = 0; // from FringeValue.txt; -1 not calibrated, 9999 stop
    float HeaderFringeValue = 0;     // from the image header; 0 without header
    float SampleWidth = 0;           // inches; 0 = not given
    float SampleHeight = 0;
    float MaxZ = 0;
    float MinZ = 0;
    float ZRange = 0;
    double UnitScaleFactor = 0;      // displacement / lateral length -> percent
    bool ChordPickMode = false;
};

// Files, folders, units and versions.
struct FileContext {
    std::string WorkingFolder;     // initial folder of the file dialogs (ends with '/')
    std::string PhaseImageFile;    // full path of the current phase image
    std::string ImageFileTitle;    // file-name part of PhaseImageFile
    std::string LastImageFile;
    std::string OutputFileName;
    std::string ImageFileFormat = "TIF";   // "TIF" or "BMP"
    std::string ImageHeaderText;   // header text of the current image, "" when none
    // Header fields: HeaderFields[i - 1] is field i (field 1 "Calverdine",
    // field 2 "Header Fields:" + count, fields 3..N the header lines).
    std::vector<std::string> HeaderFields;
    std::string DataSetName = "Current";
    std::string ZUnits = "mils";   // "mils" or "microns"
    std::string XYUnits = "in";    // "in" or "mm"
    std::string ZFormat = "0.0";   // "0.0" with mils, "0" with microns
    uint8_t GraphFormatIndex = 1;  // 1 BMP, 2 JPG
    uint8_t DataFormatIndex = 2;   // 1 binary, 2 text
    std::string ProgramVersion;
    std::string AnalysisDllVersion;
    std::string PendingFile;
    bool UnitsDialogPending = false;
    int16_t DisplayBitsPerPixel = 32;
    int32_t TwipsPerPixelX = 15;
    int32_t TwipsPerPixelY = 15;
    std::array<float, 48> GratingCompTable{};   // 6 gratings x 8 values
};

// One row of the domain table (pixels of the full image).
struct Domain {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    std::string Name;
};

// Mask, domain table and the editor's region of interest.
struct MaskAndPartition {
    // Domains are rows 0 .. DomainCount - 2; the row after the last domain
    // holds the image size: width in field 0 (Left), height in field 1 (Top),
    // as the partition file stores it.
    std::array<Domain, MaxDomains> DomainTable{};
    int16_t DomainCount = 0;
    int16_t CurrentDomain = 0;
    std::string DomainNameText;
    ByteMatrix OverlayImage;
    std::string PartitionFile;
    int32_t RoiLeft = 0;
    int32_t RoiTop = 0;
    int16_t LastRoiWidth = 0;
    int16_t LastRoiHeight = 0;
    int32_t UndoMaskWidth = 0;
    int32_t UndoMaskHeight = 0;
    bool RoiEditMode = false;
};

// The 37 values of the settings file, in file order (line numbers beside).
struct Settings {
    std::string SettingXYDimensions = "English";          // 1
    std::string SettingZDisplacement = "English";         // 2
    std::string SettingImageFormat = "TIF";               // 3
    int16_t SettingGrating = 100;                         // 4
    std::string SettingRotation = "LSF";                  // 5
    std::string SettingUseFringeValue = "Off";            // 6
    std::string SettingExclude128 = "On";                 // 7
    std::string SettingPhaseFilter = "Off";               // 8
    std::string SettingCompensate = "Off";                // 9
    std::string SettingDataFormat = "Text";               // 10
    float SettingWidth = 0;                               // 11
    float SettingHeight = 0;                              // 12
    float SettingZMin = 9999;                             // 13
    float SettingZMax = 9999;                             // 14
    int16_t SettingPlotAltitude = 45;                     // 15
    int16_t SettingPlotRotation = 330;                    // 16
    std::string SettingContourStyle = "ColorFill";        // 17
    std::string SettingGraphFormat = "BMP";               // 18
    int16_t SettingBatchGrating = 100;                    // 19
    std::string SettingBatchRotation = "LSF";             // 20
    std::string SettingBatchUseFringeValue = "Off";       // 21
    std::string SettingBatchExclude128 = "On";            // 22
    std::string SettingBatchPhaseFilter = "Off";          // 23
    std::string SettingBatchCompensate = "Off";           // 24
    std::string SettingBatchNormalizeDiagonal = "Off";    // 25
    std::string SettingBatchDataFormat = "Text";          // 26
    float SettingBatchWidth = 0;                          // 27
    float SettingBatchHeight = 0;                         // 28
    std::string SettingBatch3DOutput = "On";              // 29
    std::string SettingBatchContourOutput = "Off";        // 30
    std::string SettingBatchDiagonalOutput = "On";        // 31
    std::string SettingBatchDataOutput = "Off";           // 32
    std::string SettingBatchReduceData = "On";            // 33
    int16_t SettingBatchPlotAltitude = 45;                // 34
    int16_t SettingBatchPlotRotation = 330;               // 35
    std::string SettingBatchContourStyle = "ColorFill";   // 36
    std::string SettingBatchGraphFormat = "BMP";          // 37

    bool operator==(const Settings& o) const;
    bool operator!=(const Settings& o) const { return !(*this == o); }
};

// The batch window's mode and reference choice, error list and batch mask.
// The record of the run that filled the batch grid (its images, options,
// reference and fringe value) is not here: the batch window owns it
// (batch::RunRecord), so no other job can change what its outputs act on.
struct BatchState {
    bool BatchRelativeMode = false;
    int16_t BatchReferenceIndex = 0;
    bool BatchDataPresent = false;
    std::string BatchErrorList;
    std::string SkippedFileList;
    ByteMatrix BatchMask;           // 255 keep, 0 masked
    int16_t BatchMaskRows = 0;
    int16_t BatchMaskCols = 0;
    std::string BatchMaskFile;
};

// The message-box convention: fill text, style (the number as text) and title,
// call Show(); the answer lands in MsgResponse (6 Yes, 7 No, 1 OK, 2 Cancel).
struct MessageBox {
    std::string MsgText;
    std::string MsgStyle;
    std::string MsgTitle;
    int16_t MsgResponse = 0;
};

extern ImageMatrices images;
extern AnalysisState state;
extern FileContext files;
extern MaskAndPartition maskPartition;
extern Settings settings;
extern BatchState batch;
extern MessageBox msg;

// Shows the box described by msg.MsgText, msg.MsgStyle and msg.MsgTitle
// (through platform::ShowMessage) and stores the answer in msg.MsgResponse.
int ShowMsg();
// Fills the three message variables, shows the box and returns the answer.
int ShowMsg(const std::string& text, int style, const std::string& title);

// Puts every record back to its start value (start of the program; tests).
void ResetModel();

// Carriage return, the line break of message texts.
inline constexpr const char* CR = "\r";

} // namespace model
