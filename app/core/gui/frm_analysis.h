#pragma once
// The main single-image analysis window "Sorvanta Phase Image Display": the
// processing options, the sample size and Z-range boxes, the result labels, the
// command buttons and the phase image display.
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QScrollArea;
namespace platform {
class PictureBuffer;
}

namespace gui {

class FrmAnalysis : public QWidget {
    Q_OBJECT
public:
    explicit FrmAnalysis(QWidget* parent = nullptr);

    // Controls (names as the rest of the program addresses them).
    QLabel* lblTitle1;
    QLabel* lblTitle2;
    QPushButton* cmdLoadFile;
    QPushButton* cmdAutoLoadImagePH;
    QLabel* lblImageName;
    QLabel* lblReference;
    QCheckBox* chkFringeValuetxt;
    QLabel* lblFringeValueLabel;
    QLabel* lblFringeValue;
    QLabel* lblGrating;
    QComboBox* cmbGrating;
    QLabel* lblRotation;
    QComboBox* cmbRotation;
    QCheckBox* chkExclude128;
    QCheckBox* chkPhaseFilter;
    QCheckBox* chkCompensate;
    QCheckBox* chkReference;
    QCheckBox* chkRelative;
    QLabel* lblAnalyze;
    QComboBox* cmbDomain;
    QLabel* lblLateralDimensions;
    QLabel* lblSampleWidth;
    QLineEdit* txtSampleWidth;
    QLabel* lblSampleHeight;
    QLineEdit* txtSampleHeight;
    QPushButton* cmdUnwrap;
    QLabel* lblMaxZ;
    QLabel* lblMaxZValue;
    QLabel* lblMinZ;
    QLabel* lblMinZValue;
    QLabel* lblCoplanarity;
    QLabel* lblCoplanarityData;
    QLabel* lblZUnits;
    QLabel* lblZmax;
    QLineEdit* txtZmax;
    QLabel* lblZmin;
    QLineEdit* txtZmin;
    QPushButton* cmd3DPlot;
    QPushButton* cmdContour;
    QPushButton* cmdDiagonal;
    QPushButton* cmdChordPlot;
    QPushButton* cmdParameters;
    QPushButton* cmdSaveData;
    QPushButton* cmdCrop;
    QPushButton* cmdMask;
    QPushButton* cmdBatchProcess;
    QPushButton* cmdViewThumbnails;
    QPushButton* cmdClose;
    QPushButton* cmdExit;
    platform::PictureBuffer* Picbuf1;
    platform::PictureBuffer* bufLoadImage;   // hidden: decodes *_ph.bmp files

    // Option handlers.
    void chkFringeValuetxt_Click();
    void chkExclude128_Click();
    void chkPhaseFilter_Click();
    void chkCompensate_Click();
    void chkReference_Click();
    void chkRelative_Click();
    void cmbGrating_Click();
    void cmbRotation_Click();
    void cmbDomain_Click();

    // Loading.
    void LoadPhaseImage(const std::string& fileName);
    void cmdLoadFile_Click();
    void cmdAutoLoadImagePH_Click();

    // Commands.
    void cmdUnwrap_Click();
    void cmdParameters_Click();
    void cmdSaveData_Click();
    void cmd3DPlot_Click();
    void cmdContour_Click();
    void cmdDiagonal_Click();
    void cmdChordPlot_Click();
    void cmdBatchProcess_Click();
    void cmdCrop_Click();
    void cmdMask_Click();
    void cmdViewThumbnails_Click();
    void cmdClose_Click();
    void cmdExit_Click();

    // Result state of the window (see ResetAnalysisState).
    void ResetResultDisplay();
    // A new blank 640 x 480 picture on the display.
    void ShowBlankPicture();
    // Shows the window (maximised).
    void ShowWindow();
    // Writes DisplayImage to the display and hands the picture to the editor.
    void RefreshDisplay();
    // The picture now shown.
    QImage Picture() const;

    // The "*NoPhase.tif" hand-over: no image in memory, blank picture.
    void ClearCurrentImage();

    // What "end the program" does (tests replace it).
    std::function<void()> exitProgram;

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void SampleBoxChanged(QLineEdit* box);
    void SampleBoxLostFocus(QLineEdit* box);
    void ZBoxChanged();
    bool CheckZRange();
    bool TryReadNewImage(const std::string& fileName, int* cols, int* rows, std::string* header,
                         std::vector<uint8_t>* pixels);
    void ShowHeaderMenu();

    QScrollArea* scroll_ = nullptr;
    bool exiting_ = false;
};

// The one main window, created on first use.
FrmAnalysis& frmAnalysis();
bool frmAnalysisExists();

// Puts the main window back into its state without a result; does nothing
// while the start-up is in progress.
void ResetAnalysisState();

// Sets the percent factor from the unit texts.
void SetUnitScaleFactorFromUnits();

} // namespace gui
