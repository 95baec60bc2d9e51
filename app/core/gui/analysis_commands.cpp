// The command buttons of the main window: calculation, parameters, saving
// data, the plot windows, the editor, batch processing and the browser.
#include "app/core/gui/analysis_commands.h"

#include "app/core/figures.h"
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/frm_units.h"
#include "app/core/gui/save_data.h"
#include "app/core/gui/windows.h"
#include "app/core/header.h"
#include "app/core/loader.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/commandguards.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/guiservices.h"
#include "platform/messages.h"
#include "platform/pathtext.h"
#include "platform/picturebuffer.h"
#include "platform/qtext.h"
#include "platform/taskbar.h"
#include "platform/wildcard.h"

#include <QApplication>

namespace gui {
namespace {

using platform::Q;
using platform::S;

// The image a title belongs to.
QString TitleImage()
{
    return Q(model::files.PhaseImageFile + "\n" + model::files.DataSetName);
}

// What the chart's own title is when a plot command syncs the titles.
enum class ChartTitle {
    Rebuilt,      // filled anew: its title is the automatic one
    Kept,         // as last filled (the automatic title is the one recorded then)
    PickPrompt,   // the chord pick's prompt stands in the header: not a title
};

// One title of a plot. The chart's own title (the data set's name in the
// header, the figures in the footer) is the automatic one. A title typed
// into the window's box replaces it on every plot of the image it was typed
// for; an empty box, and a box typed for another image, give the automatic
// title.
void SyncTitle(QLineEdit* box, ChartTitle chart, const QString& chartTitle,
               const std::function<void(const QString&)>& setChartTitle)
{
    if (!box) return;
    const char* kAutomatic = "automaticTitle";
    const char* kImage = "titleImage";   // the image the box's text was typed for
    if (!box->property("titleWatched").toBool()) {
        box->setProperty("titleWatched", true);
        QObject::connect(box, &QLineEdit::textEdited, box, [box, kImage] { box->setProperty(kImage, TitleImage()); });
    }
    const QString typed = box->text();
    const bool forThisImage = box->property(kImage).toString() == TitleImage();
    if (chart == ChartTitle::PickPrompt) {
        // The prompt guides the pick; only a title typed for this image replaces it.
        if (!typed.isEmpty() && typed != box->property(kAutomatic).toString() && forThisImage) setChartTitle(typed);
        return;
    }
    if (chart == ChartTitle::Rebuilt || !box->property(kAutomatic).isValid()) box->setProperty(kAutomatic, chartTitle);
    const QString automatic = box->property(kAutomatic).toString();
    const bool keep = !typed.isEmpty() && typed != automatic && forThisImage;
    const QString title = keep ? typed : automatic;
    if (typed != title) box->setText(title);
    box->setProperty(kImage, TitleImage());
    setChartTitle(title);
}

template <typename ChartWindow>
void SyncTitles(ChartWindow& w, ChartTitle chart)
{
    SyncTitle(w.txtHeader, chart, w.ChartHeader(), [&w](const QString& t) { w.SetChartHeader(t); });
    SyncTitle(w.txtFooter, chart == ChartTitle::PickPrompt ? ChartTitle::Rebuilt : chart, w.ChartFooter(),
              [&w](const QString& t) { w.SetChartFooter(t); });
}

} // namespace

std::string AcquisitionImagePath()
{
    return platform::JoinPath(platform::BaseFolder(), "Dunmarsh", "Results", "Image_ph.bmp");
}

// ---------------------------------------------------------------- save data

void FrmAnalysis::cmdSaveData_Click()
{
    auto& files = model::files;
    const bool relative = model::state.RelativeResult;
    for (;;) {
        platform::FileDialogRequest req;
        req.kind = platform::FileDialogRequest::Save;
        req.title = "Save Data File";
        req.filter = DataFileFilter(relative);
        req.filterIndex = files.DataFormatIndex;
        req.initialFolder = files.WorkingFolder;
        req.promptOverwrite = true;
        const platform::FileDialogResult res = platform::ShowFileDialog(req);
        if (!res.confirmed) return;
        files.OutputFileName = res.path;
        const int index = res.filterIndex;
        const std::string target = core::DataFileName(res.path, index, relative);
        if (target.empty()) {
            model::ShowMsg(platform::kMsgCannotSaveInvalidName, 16,
                           "Save Data File");
            continue;
        }
        if (target != res.path && platform::FileExists(target)) {
            // The dialog asked about the name typed, not about the name written.
            const int answer = model::ShowMsg(platform::FileNameOf(target) + " already exists." + model::CR +
                                                  "Do you want to replace it?",
                                              36, "Save Data File");
            if (answer != platform::kAnsYes) continue;
        }
        cmdSaveData->setText("S&aving");
        // The caption shows before the write; a close or a hand-over given
        // meanwhile waits for the end of the save.
        platform::BusyScope busy(*panel_, "Save Data File");
        QCoreApplication::processEvents();
        std::string why;
        if (!core::WriteDisplacementFile(target, index == 2, &why)) {
            cmdSaveData->setText("S&ave Data File");
            model::ShowMsg(platform::CannotSaveMessage(target, why), 16, "Save Data File");
            return;
        }
        files.OutputFileName = target;
        files.WorkingFolder = platform::FolderOf(res.path);
        files.DataFormatIndex = uint8_t(index);
        cmdSaveData->setText("Data File S&aved");
        return;
    }
}

// ---------------------------------------------------------------- plots

bool FrmAnalysis::CheckZRange()
{
    double zmax = 0, zmin = 0;
    if (core::ParseNumber(S(txtZmax->text()), &zmax) && core::ParseNumber(S(txtZmin->text()), &zmin)) {
        if (zmax < zmin) {
            model::ShowMsg("Z Max must be greater then Z Min.", 16, "Presentation Setup Error");
            return false;
        }
        if (zmax == zmin) {
            model::ShowMsg("Z Max cannot equal Z Min.", 16, "Presentation Setup Error");
            return false;
        }
        const std::string problem = core::PlotRangeProblem(zmin, zmax);
        if (!problem.empty()) {
            model::ShowMsg(problem, 16, "Presentation Setup Error");
            return false;
        }
    }
    return true;
}

void FrmAnalysis::cmd3DPlot_Click()
{
    if (!CheckZRange()) return;
    Chart3DWindow& w = frm3DChart();
    const bool rebuilt = !model::state.Surface3DValid;
    if (rebuilt) {
        w.Setup3DChart(w.chkReduceData && w.chkReduceData->isChecked());
        if (w.chkLegend) w.chkLegend->setChecked(true);
    }
    SyncTitles(w, rebuilt ? ChartTitle::Rebuilt : ChartTitle::Kept);
    w.show();
    w.raise();
    w.RefreshChart();
    platform::HideTaskbar();
    model::state.Surface3DValid = true;
}

void FrmAnalysis::cmdContour_Click()
{
    if (!CheckZRange()) return;
    ContourWindow& w = frmContour();
    const bool rebuilt = !model::state.ContourValid;
    if (rebuilt) {
        if (w.chkReduceData && w.chkReduceData->isChecked())
            w.SetupContourChart(model::ReducedSize, model::ReducedSize, true);
        else
            w.SetupContourChart(model::images.ImageCols, model::images.ImageRows, false);
        if (w.chkLegend) w.chkLegend->setChecked(true);
    }
    SyncTitles(w, rebuilt ? ChartTitle::Rebuilt : ChartTitle::Kept);
    w.show();
    w.raise();
    platform::HideTaskbar();
    model::state.ContourValid = true;
}

void FrmAnalysis::cmdDiagonal_Click()
{
    if (!CheckZRange()) return;
    DiagonalWindow& w = frmDiagonal();
    w.SetupDiagonalChart();
    SyncTitle(w.txtHeader, ChartTitle::Rebuilt, w.ChartHeader(), [&w](const QString& t) { w.SetChartHeader(t); });
    w.show();
    w.raise();
    platform::HideTaskbar();
}

void FrmAnalysis::cmdChordPlot_Click()
{
    if (!CheckZRange()) return;
    model::state.ChordPickMode = true;
    ContourWindow& w = frmContour();
    w.SetupContourChart(model::ReducedSize, model::ReducedSize, true);
    // The options close (and stay closed while the chord is picked).
    if (w.OptionsShown()) w.cmdCustomize_Click();
    for (QPushButton* b : {w.cmdPrintCntr, w.cmdSave, w.cmdCustomize})
        if (b) b->setEnabled(false);
    SyncTitles(w, ChartTitle::PickPrompt);
    w.SetChartInteractive(false);
    w.show();
    w.raise();
    platform::HideTaskbar();
}

// ---------------------------------------------------------------- other windows

void FrmAnalysis::cmdBatchProcess_Click()
{
    platform::HideTaskbar();
    BatchProcessingWindow& w = frmBatchProcessing();
    platform::ShowMaximised(w);
    w.raise();
}

namespace {

void RestoreFullSize()
{
    auto& im = model::images;
    im.XMax = im.FullXMax;
    im.YMax = im.FullYMax;
    im.ImageRows = int16_t(im.YMax + 1);
    im.ImageCols = int16_t(im.XMax + 1);
}

void SetVisible(std::initializer_list<QWidget*> widgets, bool visible)
{
    for (QWidget* w : widgets)
        if (w) w->setVisible(visible);
}

} // namespace

void FrmAnalysis::cmdCrop_Click()
{
    RestoreFullSize();
    PhaseImageWindow& w = frmPhaseImage();
    if (!model::state.PartitionInMemory) {
        SetVisible({w.cmdCropImage, w.cmdPartitionAndCrop}, true);
        SetVisible({w.cmdClearPartition, w.cmdCropDomains, w.lblDomainSelect, w.cmbDomains}, false);
    } else {
        SetVisible({w.cmdClearPartition, w.cmdCropDomains, w.lblDomainSelect, w.cmbDomains}, true);
        SetVisible({w.cmdCropImage, w.cmdPartitionAndCrop}, false);
        w.SetRegionColor(0xFF0000);
        w.cmbDomains_Click();
    }
    SetVisible({w.cmdClearMask, w.cmdBurnMask, w.cmdBatchBurn, w.cmdLoadMask, w.cmdCreateMask}, false);
    w.setWindowTitle("Sorvanta - Crop");
    platform::ShowMaximised(w);
    platform::HideTaskbar();
}

void FrmAnalysis::cmdMask_Click()
{
    RestoreFullSize();
    PhaseImageWindow& w = frmPhaseImage();
    SetVisible({w.hscCenterX, w.hscCenterY, w.hscSizeX, w.hscSizeY, w.lblCenterX, w.lblCenterY, w.lblSizeX,
                w.lblSizeY},
               false);
    const bool mask = model::state.MaskInMemory;
    SetVisible({w.cmdClearMask, w.cmdBurnMask, w.cmdBatchBurn}, mask);
    SetVisible({w.cmdCreateMask, w.cmdLoadMask}, !mask);
    SetVisible({w.cmdClearPartition, w.cmdPartitionAndCrop, w.cmdCropDomains, w.lblDomainSelect, w.cmbDomains},
               false);
    if (model::state.PartitionInMemory) w.SetRegionShown(false);
    w.setWindowTitle("Sorvanta - Mask");
    platform::ShowMaximised(w);
    platform::HideTaskbar();
}

void FrmAnalysis::cmdViewThumbnails_Click()
{
    const int depth = platform::ColorDepth();
    if (depth != 0 && depth < 16) {
        model::ShowMsg("Thumbnail View requires a minimum of 16-bit color.", 16, "PC Configuration Error");
        return;
    }
    ThumbnailViewWindow& w = frmThumbnailView();
    const auto& files = model::files;
    if (core::EqualsNoCase(files.DataSetName, "Current") || !model::state.PhaseInMemory) {
        w.FolderPath = "";
    } else if (platform::WildcardMatch(platform::UtilityFolder() + "*", files.PhaseImageFile)) {
        w.FolderPath = "";
        w.SetSelectedThumbFilename("");
    } else {
        std::string folder = platform::FolderOf(files.PhaseImageFile);
        if (!folder.empty()) folder.pop_back();
        w.FolderPath = platform::PathText(folder);
        w.SetSelectedThumbFilename(platform::PathText(files.PhaseImageFile));
    }
    w.ImageFilter(Q("*_3D.bmp;*_3D.jpg;*_ctr.bmp;*_ctr.jpg;*_dia.bmp;*_dia.jpg;*_crd.bmp;*_crd.jpg;*_ph." +
                    core::ToLower(files.ImageFileFormat) + ";*_msk.tif;*Legend*.bmp;*Legend*.jpg"));
    w.DisplayThumbnailView();
}

} // namespace gui
