#pragma once
// The windows of the later subsystems as the main window, the units dialog and
// the settings push/gather use them. Each window exists once, is created on
// first use through its accessor below and is hidden, never destroyed.
//
// Each subsystem derives its window from the interface here and offers a
// factory; the program installs all of them from one table in main.cpp with
// SetWindowFactories() before the first use. Using a window whose factory was
// never installed ends the program with a message naming the window.
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace gui {

// 3D surface plot window.
class Chart3DWindow : public QWidget {
public:
    using QWidget::QWidget;
    QCheckBox* chkReduceData = nullptr;
    QCheckBox* chkLegend = nullptr;
    QLineEdit* txtHeader = nullptr;
    QLineEdit* txtFooter = nullptr;
    QLineEdit* txtAltitude = nullptr;
    QLineEdit* txtRotation = nullptr;

    // Fills the surface chart from the last result: the 50 x 50 reduced grid
    // when `reduced`, else the full chart data.
    virtual void Setup3DChart(bool reduced) = 0;
    virtual void SetChartHeader(const QString& text) = 0;
    virtual void SetChartFooter(const QString& text) = 0;
    // The chart's header and footer texts (they fill the window's boxes).
    virtual QString ChartHeader() const { return txtHeader ? txtHeader->text() : QString(); }
    virtual QString ChartFooter() const { return txtFooter ? txtFooter->text() : QString(); }
    virtual double ViewElevation() const = 0;
    virtual void SetViewElevation(double degrees) = 0;
    virtual double ViewRotation() const = 0;
    virtual void SetViewRotation(double degrees) = 0;
    // Redraws the chart after it is shown.
    virtual void RefreshChart() {}
};

// Contour plot window (also shows the chord pick).
class ContourWindow : public QWidget {
public:
    using QWidget::QWidget;
    QCheckBox* chkReduceData = nullptr;
    QCheckBox* chkLegend = nullptr;
    QLineEdit* txtHeader = nullptr;
    QLineEdit* txtFooter = nullptr;
    QPushButton* cmdCustomize = nullptr;  // "Show Options" / "Hide Options"
    QPushButton* cmdPrintCntr = nullptr;
    QPushButton* cmdSave = nullptr;
    QComboBox* cmbAppearance = nullptr;   // ColorFill, GrayFill, ColorLine, BlackLine

    // (50, 50, true) plots the reduced grid, (ImageCols, ImageRows, false) the full data.
    virtual void SetupContourChart(int cols, int rows, bool reduce) = 0;
    virtual void SetChartHeader(const QString& text) = 0;
    virtual void SetChartFooter(const QString& text) = 0;
    // The chart's header and footer texts (they fill the window's boxes).
    virtual QString ChartHeader() const { return txtHeader ? txtHeader->text() : QString(); }
    virtual QString ChartFooter() const { return txtFooter ? txtFooter->text() : QString(); }
    // The chart's interactive option that the chord pick turns off.
    virtual void SetChartInteractive(bool on) = 0;
    // Toggles the options panel.
    virtual void cmdCustomize_Click() = 0;
    // The options panel is open (the window's state, never its caption).
    virtual bool OptionsShown() const = 0;
};

// Diagonal profile window.
class DiagonalWindow : public QWidget {
public:
    using QWidget::QWidget;
    QLineEdit* txtHeader = nullptr;
    virtual void SetupDiagonalChart() = 0;
    virtual void SetChartHeader(const QString& text) = 0;
    // The chart's header text (it fills the window's box).
    virtual QString ChartHeader() const { return txtHeader ? txtHeader->text() : QString(); }
};

// Chord profile window: only its caption is set by the main program.
class ChordPlotWindow : public QWidget {
public:
    using QWidget::QWidget;
};

// A folder file list with a name pattern (the batch and burn-mask windows' File1).
class FileListControl {
public:
    virtual ~FileListControl() = default;
    virtual void SetPattern(const QString& pattern) = 0;
    virtual QString Pattern() const = 0;
    virtual int FileCount() const = 0;
};

// Batch window.
class BatchProcessingWindow : public QWidget {
public:
    using QWidget::QWidget;
    QComboBox* cmbGrating = nullptr;
    QComboBox* cmbRotation = nullptr;
    QCheckBox* chkFringeValuetxt = nullptr;
    QCheckBox* chkExclude128 = nullptr;
    QCheckBox* chkPhaseFilter = nullptr;
    QCheckBox* chkCompensate = nullptr;
    QCheckBox* chkUseMask = nullptr;
    QCheckBox* chkNormalizeDiagonal = nullptr;
    QCheckBox* chk3DPlot = nullptr;
    QCheckBox* chkContour = nullptr;
    QCheckBox* chkDiagonal = nullptr;
    QCheckBox* chkSaveData = nullptr;
    QCheckBox* chkReduceData = nullptr;
    QLineEdit* txtSampleWidth = nullptr;
    QLineEdit* txtSampleHeight = nullptr;
    QLabel* lblLateralDimensions = nullptr;
    QLabel* lblDataSummary = nullptr;
    QLabel* lblPhaseImageCount = nullptr;
    FileListControl* File1 = nullptr;
};

// Batch plot configuration window.
class BatchConfigurationWindow : public QWidget {
public:
    using QWidget::QWidget;
    QRadioButton* optText = nullptr;
    QRadioButton* optBinary = nullptr;
    QRadioButton* optBitmap = nullptr;
    QRadioButton* optJPG = nullptr;
    QLineEdit* txtAltitude = nullptr;
    QLineEdit* txtRotation = nullptr;
    QComboBox* cmbAppearance = nullptr;
    // View of the 3D preview chart (chtSurface).
    virtual double ViewElevation() const = 0;
    virtual void SetViewElevation(double degrees) = 0;
    virtual double ViewRotation() const = 0;
    virtual void SetViewRotation(double degrees) = 0;
};

// Burn-mask job window: its file list follows the units dialog's file format.
class BurnMaskWindow : public QWidget {
public:
    using QWidget::QWidget;
    QLabel* lblPhaseImageCount = nullptr;
    FileListControl* File1 = nullptr;
};

// Phase-image editor.
class PhaseImageWindow : public QWidget {
public:
    using QWidget::QWidget;
    QPushButton* cmdCropImage = nullptr;
    QPushButton* cmdPartitionAndCrop = nullptr;
    QPushButton* cmdClearPartition = nullptr;
    QPushButton* cmdCropDomains = nullptr;
    QLabel* lblDomainSelect = nullptr;
    QComboBox* cmbDomains = nullptr;
    QPushButton* cmdClearMask = nullptr;
    QPushButton* cmdBurnMask = nullptr;
    QPushButton* cmdBatchBurn = nullptr;
    QPushButton* cmdLoadMask = nullptr;
    QPushButton* cmdCreateMask = nullptr;
    QScrollBar* hscCenterX = nullptr;
    QScrollBar* hscCenterY = nullptr;
    QScrollBar* hscSizeX = nullptr;
    QScrollBar* hscSizeY = nullptr;
    QLabel* lblCenterX = nullptr;
    QLabel* lblCenterY = nullptr;
    QLabel* lblSizeX = nullptr;
    QLabel* lblSizeY = nullptr;

    virtual void cmdClearMask_Click() = 0;
    virtual void cmdClearPartition_Click() = 0;
    virtual void cmbDomains_Click() = 0;
    // The editor display takes over the main window's picture.
    virtual void ShowPicture(const QImage& picture) = 0;
    // Outline colour of the region on the editor display (0xRRGGBB).
    virtual void SetRegionColor(unsigned rgb) = 0;
    virtual void SetRegionShown(bool on) = 0;
    // Before another image becomes current: an editing operation still open
    // (mask, partition or crop being drawn) is ended after the user agrees.
    // False when the user keeps it (the new image is then not loaded).
    virtual bool EndOpenOperation() { return true; }
};

// Result image browser.
class ThumbnailViewWindow : public QWidget {
public:
    using QWidget::QWidget;
    // Paths as platform::PathText of their bytes (a name need not be UTF-8).
    QString FolderPath;
    virtual void SetSelectedThumbFilename(const QString& path) = 0;
    virtual void ImageFilter(const QString& patterns) = 0;
    virtual void DisplayThumbnailView() = 0;
};

// Texts of the grating and rotation lists that the main and batch windows
// share, in the positions the analysis and the settings file use.
QStringList GratingItems();
QStringList RotationItems();

struct WindowFactories {
    std::function<Chart3DWindow*()> frm3DChart;
    std::function<ContourWindow*()> frmContour;
    std::function<DiagonalWindow*()> frmDiagonal;
    std::function<ChordPlotWindow*()> frmChordPlot;
    std::function<BatchProcessingWindow*()> frmBatchProcessing;
    std::function<BatchConfigurationWindow*()> frmBatchConfiguration;
    std::function<BurnMaskWindow*()> frmBurnMask;
    std::function<PhaseImageWindow*()> frmPhaseImage;
    std::function<ThumbnailViewWindow*()> frmThumbnailView;
};

// Replaces the factories that are set in `f` (the others stay). Call before
// the first use of the window.
void SetWindowFactories(const WindowFactories& f);

// The one instance of each window, created on first use.
Chart3DWindow& frm3DChart();
ContourWindow& frmContour();
DiagonalWindow& frmDiagonal();
ChordPlotWindow& frmChordPlot();
BatchProcessingWindow& frmBatchProcessing();
BatchConfigurationWindow& frmBatchConfiguration();
BurnMaskWindow& frmBurnMask();
PhaseImageWindow& frmPhaseImage();
ThumbnailViewWindow& frmThumbnailView();

// Destroys every window made through the accessors (tests and program end).
void DestroyWindows();

} // namespace gui
