#pragma once
// The two folder-job windows of the editor: "Crop Domains" (frmCropDomains)
// and "Burn Mask" (frmBurnMask). The jobs themselves are in
// app/editor/core/folder_jobs.h; these windows gather the options, show the
// progress and the list of files not processed.
#include "app/core/gui/windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

namespace platform {
class DirListBox;
}
namespace gui {
class FileList;
}

namespace editor {

class FrmCropDomains : public QWidget {
    Q_OBJECT
public:
    explicit FrmCropDomains(QWidget* parent = nullptr);

    QLabel* lblPathSelection;
    QLabel* lblSourcePath;        // the source folder's path
    QLabel* lblDestinationPath;   // the destination folder's path
    platform::DirListBox* DirSource;
    QPushButton* cmdBrowseSourcePath;
    gui::FileList* File1;
    QLabel* lblPhaseImageCount;
    QLabel* lblDestinationFolder;
    platform::DirListBox* DirDestination;
    QPushButton* cmdBrowseDestinationPath;
    QLabel* lblOptions;
    QComboBox* cmbShape;
    QCheckBox* chkCreateDomainSubfolders;
    QCheckBox* chkCreatePhaseImageSubfolders;
    QCheckBox* chkCurrentPhaseImage;
    QRadioButton* optUseDomainName;
    QRadioButton* optAppendOriginalFilenameToDomainName;
    QRadioButton* optAppendDomainName;
    QLabel* lblFour;
    QPushButton* cmdProcess;
    QProgressBar* ProgressBar1;
    QLabel* lblNumberOfImagesProcessed;
    QPushButton* cmdViewUnprocessedFiles;
    QPushButton* cmdClose;

    void ResetBatchCrop();
    void DirSource_Change();
    void chkCreateDomainSubfolders_Click();
    void chkCreatePhaseImageSubfolders_Click();
    void chkCurrentPhaseImage_Click();
    void cmdBrowseSourcePath_Click();
    void cmdBrowseDestinationPath_Click();
    void cmdProcess_Click();
    void cmdViewUnprocessedFiles_Click();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void SetRunning(bool running);
    bool running_ = false;
};

class FrmBurnMask : public gui::BurnMaskWindow {
    Q_OBJECT
public:
    explicit FrmBurnMask(QWidget* parent = nullptr);

    QLabel* lblSourcePath;        // the source folder's path
    QLabel* lblDestinationPath;   // the destination folder's path
    platform::DirListBox* DirSource;
    platform::DirListBox* DirDestination;
    gui::FileList* FileList1;   // also File1 of the shared interface
    QPushButton* cmdBrowseSourcePath;
    QPushButton* cmdBrowseDestinationPath;
    QCheckBox* chkCreateMaskedSubfolder;
    QCheckBox* chkTagFilenames;
    QPushButton* cmdProcess;
    QProgressBar* ProgressBar1;
    QLabel* lblNumberOfImagesProcessed;
    QPushButton* cmdViewUnprocessedFiles;
    QPushButton* cmdClose;

    void ResetBatchBurn();
    void DirSource_Change();
    void cmdBrowseSourcePath_Click();
    void cmdBrowseDestinationPath_Click();
    void cmdProcess_Click();
    void cmdViewUnprocessedFiles_Click();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void SetRunning(bool running);
    bool running_ = false;
};

// The one crop-domains window, created on first use.
FrmCropDomains& frmCropDomains();
// The one burn-mask window (the program's frmBurnMask).
FrmBurnMask& frmBurnMask();
// A new burn-mask window (the program's window table names it).
gui::BurnMaskWindow* NewBurnMaskWindow();

// Opened modally from the phase-image window.
void ShowCropDomainsWindow();
void ShowBurnMaskWindow();
// Clear Mask resets the burn window's result when the window exists.
void ResetBatchBurnIfShown();
void DestroyJobWindows();

} // namespace editor
