#pragma once
// The phase-image window: the current image with one region of interest, and
// the panel of mask, partition and crop commands. The region and file logic
// lives in app/editor/core; this window wires its controls to it.
#include "app/core/gui/windows.h"
#include "app/editor/core/region_editor.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <memory>

class QHBoxLayout;
class QVBoxLayout;

namespace platform {
class PictureBuffer;
}

namespace editor {

class FrmPhaseImage : public gui::PhaseImageWindow {
    Q_OBJECT
public:
    explicit FrmPhaseImage(QWidget* parent = nullptr);
    ~FrmPhaseImage() override;

    // Controls not in the shared interface.
    platform::PictureBuffer* bufDisplay;
    platform::PictureBuffer* bufLoadMask;   // hidden scratch picture
    QPushButton* cmdAddMaskRegion;
    QPushButton* cmdCreatePartition;
    QPushButton* cmdAddPartitionDomain;
    QPushButton* cmdCropFinished;
    QPushButton* cmdCrop;
    QPushButton* cmdLoadPartition;
    QPushButton* cmdUndoCrop;
    QPushButton* cmdCropCancel;
    QPushButton* cmdMaskCancel;
    QPushButton* cmdUndoLastDomain;
    QPushButton* cmdUndoLastMask;
    QPushButton* cmdMaskDone;
    QPushButton* cmdPartitionDone;
    QPushButton* cmdReturn;
    QLabel* lblMask;
    QLabel* lblPartition;

    RegionEditor& Region() { return *region_; }

    // The shared interface.
    void cmdClearMask_Click() override;
    void cmdClearPartition_Click() override;
    void cmbDomains_Click() override;
    void ShowPicture(const QImage& picture) override;
    void SetRegionColor(unsigned rgb) override;
    void SetRegionShown(bool on) override;
    bool EndOpenOperation() override;

    // The editing operation still open: "MASK", "PARTITION", "CROP" or "".
    std::string OpenOperation() const;

    // Window.
    void cmdReturn_Click();
    void cmdPartitionAndCrop_Click();
    void cmdBatchBurn_Click();
    void cmdCropDomains_Click();

    // Masks.
    void cmdCreateMask_Click();
    void cmdAddMaskRegion_Click();
    void cmdUndoLastMask_Click();
    void cmdMaskCancel_Click();
    void cmdMaskDone_Click();
    void cmdLoadMask_Click();
    void cmdBurnMask_Click();

    // Partitions.
    void cmdCreatePartition_Click();
    void cmdAddPartitionDomain_Click();
    void cmdUndoLastDomain_Click();
    void cmdPartitionDone_Click();
    void cmdLoadPartition_Click();

    // Crop.
    void cmdCropImage_Click();
    void cmdCrop_Click();
    void cmdUndoCrop_Click();
    void cmdCropFinished_Click();
    void cmdCropCancel_Click();

protected:
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    // The steps that build the window, in order.
    void BuildPicture(QHBoxLayout& outer);
    void BuildCommandColumn(QWidget& panel, QVBoxLayout& column);
    void BuildDomainList(QWidget& panel, QVBoxLayout& column);
    void BuildRegionBars(QWidget& panel, QVBoxLayout& column);
    void WireRegion();
    void WireCommands();

    void Leave();
    // Closes the MASK operation with no mask (Cancel once agreed).
    void EndMaskWithoutMask();
    void SendDisplayImage();
    void CopyToMainPicture();
    void ShowRegionControls(bool on);
    void OpenRegionAtCentreHalf(unsigned outlineBgr);
    void SetBarRanges();
    void CentreRegion();
    QScrollBar* BarWidget(Bar b) const;
    QLabel* BarLabel(Bar b) const;

    class View;
    std::unique_ptr<View> view_;
    std::unique_ptr<RegionEditor> region_;
};

// A new phase-image window (the program's window table names it).
gui::PhaseImageWindow* NewPhaseImageWindow();

// Installs the editor's windows (phase-image window, burn-mask window) as the
// program's windows, for a test that runs without the whole program's table.
void InstallEditorWindows();

// The one phase-image window as this subsystem's type.
FrmPhaseImage& frmPhaseImage();

} // namespace editor
