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

#include "app/core/reset.h"

#include <functional>
#include <string>
#include <vector>

class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QScrollArea;
class QVBoxLayout;
namespace platform {
class PictureBuffer;
}

namespace gui {

class FrmAnalysis : public QWidget, public core::AnalysisWindow {
    Q_OBJECT
public:
    explicit FrmAnalysis(QWidget* parent = nullptr);
    ~FrmAnalysis() override;

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

    // How the analysis core drives the window.
    void ClearResultDisplay() override;
    void ShowProcessing() override;
    void ShowResults(const std::string& maxZ, const std::string& minZ, const std::string& range) override;
    void SetReferenceCaption(const std::string& caption) override;
    void UncheckCompensate() override;
    void UncheckRelative() override;
    void FocusSampleWidth() override;
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
    // The steps that build the window, in order.
    void BuildPictureArea(QHBoxLayout& outer);
    QVBoxLayout& BuildSidePanel(QHBoxLayout& outer);
    void FitPanelArea();
    void BuildProcessingGroup(QWidget& panel, QVBoxLayout& col);
    void AddImageRows(QGroupBox& proc, QGridLayout& pg, int& r);
    void AddOptionRows(QGroupBox& proc, QGridLayout& pg, int& r);
    void AddSampleSizeRows(QGroupBox& proc, QGridLayout& pg, int& r);
    void AddFigureRows(QGroupBox& proc, QGridLayout& pg, int& r);
    void TieBoxCaptions();
    void AddResultCommandRows(QGroupBox& proc, QGridLayout& pg, int& r);
    void BuildPresentationGroup(QWidget& panel, QVBoxLayout& col);
    void BuildWindowButtons(QWidget& panel, QVBoxLayout& col);
    void WireOptionHandlers();
    void WireCommands();
    void WirePictureClicks();

    void SampleBoxChanged(QLineEdit* box);
    void SampleBoxLostFocus(QLineEdit* box);
    void ZBoxChanged();
    bool CheckZRange();
    bool ReloadCurrentMask(const std::string& fileName);
    void ShowHeaderMenu();
    void TieFigureCaptions(bool tied);

    QScrollArea* scroll_ = nullptr;
    QWidget* panel_ = nullptr;   // the groups and commands beside the picture
    bool exiting_ = false;
    // An image handed over while a batch job holds the shared model
    // (model::SingleImageHold), loaded after it (the last one handed over).
    std::string loadAfterHold_;
    bool closeDeferred_ = false;   // a close waits for the end of a long command
};

// The one main window, created on first use.
FrmAnalysis& frmAnalysis();
bool frmAnalysisExists();

} // namespace gui
