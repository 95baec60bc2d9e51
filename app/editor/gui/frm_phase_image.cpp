#include "app/editor/gui/frm_phase_image.h"

#include "app/core/gui/frm_analysis.h"
#include "app/core/model/model.h"
#include "app/core/reset.h"
#include "app/core/runtime.h"
#include "app/editor/core/crop.h"
#include "app/editor/core/domain_names.h"
#include "app/editor/core/image_files.h"
#include "app/editor/core/mask_ops.h"
#include "app/editor/core/partition_file.h"
#include "app/editor/core/save_dialog.h"
#include "app/editor/gui/frm_domain_name.h"
#include "app/editor/gui/frm_jobs.h"
#include "platform/commandguards.h"
#include "platform/folderjobs.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/picturebuffer.h"
#include "platform/qtext.h"
#include "platform/taskbar.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace editor {
namespace {

const std::string CR = model::CR;
constexpr uint32_t kRed = 255, kGreen = 65280, kYellow = 65535;

using platform::Q;
int Half(int v) { return int(core::RoundHalfEven(v / 2.0)); }

void SetVisible(std::initializer_list<QWidget*> ws, bool on)
{
    for (QWidget* w : ws)
        if (w) w->setVisible(on);
}

QPushButton* Button(QWidget* parent, QLayout* lay, const char* name, const QString& text)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setVisible(false);
    // A caption keeps a character's room from either edge of its button.
    b->setMinimumWidth(b->sizeHint().width() + 2 * b->fontMetrics().averageCharWidth());
    lay->addWidget(b);
    return b;
}

QLabel* Label(QWidget* parent, QLayout* lay, const char* name, const QString& text)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    lay->addWidget(l);
    return l;
}

gui::FrmAnalysis& Main() { return gui::frmAnalysis(); }

// Asks for a phase-image name and writes the picture there. True when it was
// written (files.PhaseImageFile is then the new file); a failed write is reported.
bool SavePhaseImage(int cols, int rows, const uint8_t* pixels, SaveName* name)
{
    *name = AskSaveName({"Save Phase Image", "Phase Image TIF Files (*_ph.tif)|*_ph.tif", ".tif", "_ph.tif",
                         "Save Image Error", true, false});
    if (!name->confirmed) return false;
    std::string err;
    if (!WriteTiffImage(name->path, cols, rows, model::files.ImageHeaderText, pixels, &err)) {
        model::ShowMsg(platform::CannotSaveMessage(name->path, err), 16, "Save Image Error");
        return false;
    }
    model::files.PhaseImageFile = name->path;
    return true;
}

// The names of the current image after a save ("Current" without one) and
// the main window's caption.
void NameSavedImage(bool saved, const SaveName& name, int cols, int rows)
{
    auto& files = model::files;
    if (saved) {
        files.ImageFileTitle = name.fileTitle;
        files.DataSetName = name.fileTitle;
    } else {
        files.DataSetName = "Current";
    }
    Main().lblImageName->setText(Q(ImageCaption(saved ? name.fileTitle : "", cols, rows)));
}

} // namespace

class FrmPhaseImage::View : public RegionView {
public:
    explicit View(platform::PictureBuffer* b) : b_(b) {}
    int roiLeft() const override { return b_->roiLeft(); }
    int roiTop() const override { return b_->roiTop(); }
    int roiWidth() const override { return b_->roiWidth(); }
    int roiHeight() const override { return b_->roiHeight(); }
    void setRoiLeft(double v) override { b_->setRoiLeft(v); }
    void setRoiTop(double v) override { b_->setRoiTop(v); }
    void setRoiWidth(double v) override { b_->setRoiWidth(v); }
    void setRoiHeight(double v) override { b_->setRoiHeight(v); }
    void outlineOff() override { b_->outlineOff(); }
    void outlineOn() override { b_->outlineOn(); }
    void refresh() override { b_->refresh(); }

private:
    platform::PictureBuffer* b_;
};

FrmPhaseImage::FrmPhaseImage(QWidget* parent) : gui::PhaseImageWindow(parent)
{
    setObjectName("frmPhaseImage");
    setWindowTitle("Sorvanta - Phase Image");
    auto* outer = new QHBoxLayout(this);
    BuildPicture(*outer);
    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    outer->addWidget(panel);
    BuildCommandColumn(*panel, *column);
    BuildDomainList(*panel, *column);
    BuildRegionBars(*panel, *column);
    column->addStretch(1);
    WireRegion();
    WireCommands();
}

// The image, scrolled, and the hidden picture that reads mask files.
void FrmPhaseImage::BuildPicture(QHBoxLayout& outer)
{
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("bufDisplayArea");
    scroll->setAccessibleName("Phase Image");   // the first stop of the keyboard reads what it scrolls
    bufDisplay = new platform::PictureBuffer;
    bufDisplay->setObjectName("bufDisplay");
    bufDisplay->setAccessibleName("Phase Image");
    scroll->setWidget(bufDisplay);
    scroll->setWidgetResizable(false);
    outer.addWidget(scroll, 1);
    bufLoadMask = new platform::PictureBuffer(this);
    bufLoadMask->setObjectName("bufLoadMask");
    bufLoadMask->setVisible(false);
    bufLoadMask->setAccessibleName(QString());   // never shown: it only reads BMP masks
}

// The commands share three fixed positions of one column, as every state of
// the panel shows at most one of them at each; a hidden command leaves its
// place empty, so nothing moves under the pointer when the panel changes.
// Return stands apart below them.
void FrmPhaseImage::BuildCommandColumn(QWidget& panel, QVBoxLayout& column)
{
    auto position = [&](std::initializer_list<std::pair<QPushButton**, std::pair<const char*, const char*>>> buttons) {
        auto* place = new QWidget(&panel);
        auto* lay = new QVBoxLayout(place);
        lay->setContentsMargins(0, 0, 0, 0);
        int height = 0, width = 0;
        for (const auto& [target, names] : buttons) {
            *target = Button(place, lay, names.first, names.second);
            height = std::max(height, (*target)->sizeHint().height());
            width = std::max(width, (*target)->minimumWidth());
        }
        place->setMinimumSize(width, height);
        column.addWidget(place);
    };
    position({{&cmdCreateMask, {"cmdCreateMask", "&Create Mask"}},
              {&cmdCropImage, {"cmdCropImage", "Crop Ima&ge"}},
              {&cmdCreatePartition, {"cmdCreatePartition", "Crea&te Partition"}},
              {&cmdClearMask, {"cmdClearMask", "Clear Mas&k"}},
              {&cmdAddMaskRegion, {"cmdAddMaskRegion", "Add R&egion"}},
              {&cmdClearPartition, {"cmdClearPartition", "Clear Part&ition"}},
              {&cmdAddPartitionDomain, {"cmdAddPartitionDomain", "Add &Domain"}},
              {&cmdCropFinished, {"cmdCropFinished", "&Finished"}},
              {&cmdCrop, {"cmdCrop", "Cr&op"}}});
    position({{&cmdLoadMask, {"cmdLoadMask", "Load &Mask"}},
              {&cmdLoadPartition, {"cmdLoadPartition", "Load &Partition"}},
              {&cmdUndoCrop, {"cmdUndoCrop", "&Undo Crop"}},
              {&cmdCropDomains, {"cmdCropDomains", "Crop Domain&s..."}},
              {&cmdCropCancel, {"cmdCropCancel", "C&ancel"}},
              {&cmdMaskCancel, {"cmdMaskCancel", "C&ancel"}},
              {&cmdUndoLastDomain, {"cmdUndoLastDomain", "Undo &Last"}},
              {&cmdUndoLastMask, {"cmdUndoLastMask", "Undo &Last"}},
              {&cmdPartitionAndCrop, {"cmdPartitionAndCrop", "Partitio&n && Crop..."}},
              {&cmdBatchBurn, {"cmdBatchBurn", "Batc&h Burn..."}}});
    position({{&cmdMaskDone, {"cmdMaskDone", "&Finished"}},
              {&cmdPartitionDone, {"cmdPartitionDone", "&Finished"}},
              {&cmdBurnMask, {"cmdBurnMask", "&Burn Mask"}}});
    cmdReturn = Button(&panel, &column, "cmdReturn", "&Return to Phase Image Display");
    cmdReturn->setVisible(true);
    lblMask = Label(&panel, &column, "lblMask", "Mask:");
    lblPartition = Label(&panel, &column, "lblPartition", "Partition:");
    SetVisible({lblMask, lblPartition}, false);
}

// The domain list of a partition under its caption.
void FrmPhaseImage::BuildDomainList(QWidget& panel, QVBoxLayout& column)
{
    lblDomainSelect = Label(&panel, &column, "lblDomainSelect", "Domain Select");
    cmbDomains = new QComboBox(&panel);
    cmbDomains->setObjectName("cmbDomains");
    lblDomainSelect->setBuddy(cmbDomains);   // the caption names the list
    column.addWidget(cmbDomains);
    SetVisible({lblDomainSelect, cmbDomains}, false);
}

// The four region bars, each under the label that names it.
void FrmPhaseImage::BuildRegionBars(QWidget& panel, QVBoxLayout& column)
{
    auto bar = [&](const char* name, const char* label, const char* caption, QScrollBar** sb, QLabel** lb) {
        *lb = Label(&panel, &column, label, caption);
        *sb = new QScrollBar(Qt::Horizontal, &panel);
        (*sb)->setObjectName(name);
        (*sb)->setAccessibleName(caption);
        (*sb)->setMinimum(0);
        (*sb)->setInvertedControls(false);   // the arrow keys move the way they point
        // Every bar takes the keyboard focus (a click or Tab), so the region
        // can be placed and sized from the keyboard.
        (*sb)->setFocusPolicy(Qt::StrongFocus);
        (*lb)->setBuddy(*sb);
        column.addWidget(*sb);
    };
    bar("hscCenterX", "lblCenterX", "Center X", &hscCenterX, &lblCenterX);
    bar("hscCenterY", "lblCenterY", "Center Y", &hscCenterY, &lblCenterY);
    bar("hscSizeX", "lblSizeX", "Size X", &hscSizeX, &lblSizeX);
    bar("hscSizeY", "lblSizeY", "Size Y", &hscSizeY, &lblSizeY);
    ShowRegionControls(false);
}

// The region editor between the display, the bars and their labels.
void FrmPhaseImage::WireRegion()
{
    view_ = std::make_unique<View>(bufDisplay);
    region_ = std::make_unique<RegionEditor>(*view_);
    region_->onBarValue = [this](Bar b, int v) {
        QScrollBar* s = BarWidget(b);
        const QSignalBlocker block(s);
        if (s->maximum() < v) s->setMaximum(v);
        s->setValue(v);
    };
    region_->onLabel = [this](Bar b, const std::string& text) { BarLabel(b)->setText(Q(text)); };
    region_->onPointer = [this](int shape) {
        setCursor(shape == kPointerMove ? Qt::SizeAllCursor
                                        : shape == kPointerResize ? Qt::SizeFDiagCursor : Qt::ArrowCursor);
    };
    for (Bar b : {CenterX, CenterY, SizeX, SizeY})
        connect(BarWidget(b), &QScrollBar::valueChanged, this, [this, b](int v) { region_->BarScrolled(b, v); });
    // Ctrl held on a size bar links the two sizes.
    for (QScrollBar* s : {hscSizeX, hscSizeY}) s->installEventFilter(this);
    connect(bufDisplay, &platform::PictureBuffer::mouseDown, this,
            [this](int button, int, double x, double y) { region_->MouseDown(button, x, y); });
    connect(bufDisplay, &platform::PictureBuffer::mouseMove, this,
            [this](int button, int, double x, double y) { region_->MouseMove(button, x, y); });
    connect(bufDisplay, &platform::PictureBuffer::mouseUp, this,
            [this](int button, int, double x, double y) { region_->MouseUp(button, x, y); });
}

// Each command button runs its handler; the domain list shows its domain.
void FrmPhaseImage::WireCommands()
{
    connect(cmbDomains, qOverload<int>(&QComboBox::activated), this, [this] { cmbDomains_Click(); });
    const std::pair<QPushButton*, void (FrmPhaseImage::*)()> commands[] = {
        {cmdReturn, &FrmPhaseImage::cmdReturn_Click},
        {cmdPartitionAndCrop, &FrmPhaseImage::cmdPartitionAndCrop_Click},
        {cmdBatchBurn, &FrmPhaseImage::cmdBatchBurn_Click},
        {cmdCropDomains, &FrmPhaseImage::cmdCropDomains_Click},
        {cmdCreateMask, &FrmPhaseImage::cmdCreateMask_Click},
        {cmdAddMaskRegion, &FrmPhaseImage::cmdAddMaskRegion_Click},
        {cmdUndoLastMask, &FrmPhaseImage::cmdUndoLastMask_Click},
        {cmdMaskCancel, &FrmPhaseImage::cmdMaskCancel_Click},
        {cmdMaskDone, &FrmPhaseImage::cmdMaskDone_Click},
        {cmdLoadMask, &FrmPhaseImage::cmdLoadMask_Click},
        {cmdClearMask, &FrmPhaseImage::cmdClearMask_Click},
        {cmdBurnMask, &FrmPhaseImage::cmdBurnMask_Click},
        {cmdCreatePartition, &FrmPhaseImage::cmdCreatePartition_Click},
        {cmdAddPartitionDomain, &FrmPhaseImage::cmdAddPartitionDomain_Click},
        {cmdUndoLastDomain, &FrmPhaseImage::cmdUndoLastDomain_Click},
        {cmdPartitionDone, &FrmPhaseImage::cmdPartitionDone_Click},
        {cmdLoadPartition, &FrmPhaseImage::cmdLoadPartition_Click},
        {cmdClearPartition, &FrmPhaseImage::cmdClearPartition_Click},
        {cmdCropImage, &FrmPhaseImage::cmdCropImage_Click},
        {cmdCrop, &FrmPhaseImage::cmdCrop_Click},
        {cmdUndoCrop, &FrmPhaseImage::cmdUndoCrop_Click},
        {cmdCropFinished, &FrmPhaseImage::cmdCropFinished_Click},
        {cmdCropCancel, &FrmPhaseImage::cmdCropCancel_Click},
    };
    for (const auto& [button, handler] : commands)
        connect(button, &QPushButton::clicked, this, [this, h = handler] { (this->*h)(); });
}

FrmPhaseImage::~FrmPhaseImage() = default;

QScrollBar* FrmPhaseImage::BarWidget(Bar b) const
{
    switch (b) {
    case CenterX: return hscCenterX;
    case CenterY: return hscCenterY;
    case SizeX: return hscSizeX;
    case SizeY: break;
    }
    return hscSizeY;
}

QLabel* FrmPhaseImage::BarLabel(Bar b) const
{
    switch (b) {
    case CenterX: return lblCenterX;
    case CenterY: return lblCenterY;
    case SizeX: return lblSizeX;
    case SizeY: break;
    }
    return lblSizeY;
}

// ---------------------------------------------------------------- window shell

void FrmPhaseImage::closeEvent(QCloseEvent* e)
{
    e->ignore();
    cmdReturn_Click();
}

void FrmPhaseImage::changeEvent(QEvent* e)
{
    gui::PhaseImageWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && isVisible() && windowState() == Qt::WindowNoState)
        setWindowState(Qt::WindowMaximized);
}

void FrmPhaseImage::paintEvent(QPaintEvent* e)
{
    gui::PhaseImageWindow::paintEvent(e);
}

bool FrmPhaseImage::eventFilter(QObject* o, QEvent* e)
{
    if ((o == hscSizeX || o == hscSizeY) && (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease)) {
        auto* k = static_cast<QKeyEvent*>(e);
        Qt::KeyboardModifiers m = k->modifiers();
        if (e->type() == QEvent::KeyRelease && k->key() == Qt::Key_Control) m &= ~Qt::ControlModifier;
        const int shift = (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
        if (e->type() == QEvent::KeyPress)
            region_->SizeKeyDown(shift);
        else
            region_->SizeKeyUp(shift);
    }
    // Ctrl released elsewhere never reaches the bar: the link ends with its focus.
    if ((o == hscSizeX || o == hscSizeY) && e->type() == QEvent::FocusOut) region_->SizeKeyUp(0);
    return gui::PhaseImageWindow::eventFilter(o, e);
}

void FrmPhaseImage::Leave()
{
    hide();
    platform::ShowTaskbar();
}

void FrmPhaseImage::cmdReturn_Click()
{
    if (cmdCropImage->isVisibleTo(this)) {
        SetVisible({cmdCropImage, cmdPartitionAndCrop}, false);
        Leave();
    } else if (model::state.PartitionInMemory) {
        gui::FrmAnalysis& m = Main();
        const int i = cmbDomains->currentIndex();
        if (i < m.cmbDomain->count()) m.cmbDomain->setCurrentIndex(i);
        m.cmbDomain_Click();
        Leave();
    } else if (cmdCreateMask->isVisibleTo(this)) {
        SetVisible({cmdCreateMask, cmdLoadMask}, false);
        Leave();
    } else if (cmdCreatePartition->isVisibleTo(this)) {
        SetVisible({cmdCreatePartition, cmdLoadPartition}, false);
        Leave();
    } else if (cmdClearPartition->isVisibleTo(this) || cmdClearMask->isVisibleTo(this)) {
        Leave();
    } else {
        const std::string what = OpenOperation();
        if (what.empty()) {
            Leave();
            return;
        }
        model::ShowMsg("Complete " + what + " operation.", 48, "Cannot Exit");
    }
}

std::string FrmPhaseImage::OpenOperation() const
{
    if (cmdAddMaskRegion->isVisibleTo(this)) return "MASK";
    if (cmdAddPartitionDomain->isVisibleTo(this)) return "PARTITION";
    if (cmdCropCancel->isVisibleTo(this) || cmdCropFinished->isVisibleTo(this)) return "CROP";
    return "";
}

bool FrmPhaseImage::EndOpenOperation()
{
    const std::string what = OpenOperation();
    if (what.empty()) return true;
    if (model::ShowMsg("The " + what + " operation of the phase image window is not complete." + CR +
                           "Cancel it and load the new image?",
                       36, "Load Phase Image") != platform::kAnsYes)
        return false;
    if (what == "MASK") {
        SetVisible({cmdMaskDone, cmdUndoLastMask}, false);
        EndMaskWithoutMask();   // the user agreed above
    } else if (what == "PARTITION") {
        // The domains drawn so far were never a partition.
        SetVisible({cmdAddPartitionDomain, cmdPartitionDone, cmdUndoLastDomain}, false);
        ShowRegionControls(false);
        bufDisplay->setRegionDisplay(false);
        model::maskPartition.RoiEditMode = false;
        cmbDomains->setEnabled(true);
        cmdClearPartition_Click();
        if (model::state.MaskInMemory) cmdClearMask->setVisible(true);
    } else {
        if (cmdCropFinished->isVisibleTo(this)) cmdUndoCrop_Click();
        cmdCropCancel_Click();
    }
    region_->EndEdit();
    bufDisplay->outlineOff();
    return true;
}

void FrmPhaseImage::cmdPartitionAndCrop_Click()
{
    SetVisible({cmdCropImage, cmdPartitionAndCrop}, false);
    SetVisible({cmdCreatePartition, cmdLoadPartition}, true);
}

void FrmPhaseImage::cmdBatchBurn_Click() { ShowBurnMaskWindow(); }
void FrmPhaseImage::cmdCropDomains_Click() { ShowCropDomainsWindow(); }

// ---------------------------------------------------------------- helpers

void FrmPhaseImage::SendDisplayImage()
{
    const auto& im = model::images;
    bufDisplay->setPicture(im.DisplayImage.cols(), im.DisplayImage.rows(), im.DisplayImage.buffer());
    bufDisplay->resize(bufDisplay->sizeHint());
}

void FrmPhaseImage::CopyToMainPicture()
{
    gui::FrmAnalysis& m = Main();
    m.Picbuf1->takeOver(*bufDisplay);
    m.Picbuf1->resize(m.Picbuf1->sizeHint());
}

void FrmPhaseImage::ShowRegionControls(bool on)
{
    SetVisible({hscCenterX, hscCenterY, hscSizeX, hscSizeY, lblCenterX, lblCenterY, lblSizeX, lblSizeY}, on);
    if (on)
        for (QWidget* w : std::initializer_list<QWidget*>{hscCenterX, hscCenterY, hscSizeX, hscSizeY, lblCenterX,
                                                          lblCenterY, lblSizeX, lblSizeY})
            w->setEnabled(true);
}

void FrmPhaseImage::SetBarRanges()
{
    const auto& im = model::images;
    for (Bar b : {CenterX, SizeX}) {
        region_->SetBarMaximum(b, im.ImageCols);
        const QSignalBlocker block(BarWidget(b));
        BarWidget(b)->setMaximum(im.ImageCols);
    }
    for (Bar b : {CenterY, SizeY}) {
        region_->SetBarMaximum(b, im.ImageRows);
        const QSignalBlocker block(BarWidget(b));
        BarWidget(b)->setMaximum(im.ImageRows);
    }
}

// The region becomes the centre half of the image; the bars show it.
void FrmPhaseImage::OpenRegionAtCentreHalf(uint32_t outlineBgr)
{
    const int w = bufDisplay->imageWidth(), h = bufDisplay->imageHeight();
    bufDisplay->outlineOff();
    bufDisplay->setRoi(w / 4.0, h / 4.0, w / 2.0, h / 2.0);
    bufDisplay->setOutlineColor(outlineBgr);
    SetBarRanges();
    const auto& im = model::images;
    RegionEditor& r = *region_;
    r.ScrollSync = true;
    r.SetBar(SizeX, Half(im.ImageCols));
    r.SetBar(SizeY, Half(im.ImageRows));
    r.SetBar(CenterX, Half(im.ImageCols));
    r.SetBar(CenterY, Half(im.ImageRows));
    r.ScrollSync = false;
    r.RecordSavedRegion();
    r.hscCenterX_Scroll();
    r.hscCenterY_Scroll();
    bufDisplay->outlineOn();
}

void FrmPhaseImage::CentreRegion()
{
    region_->SetBar(CenterX, Half(model::images.ImageCols));
    region_->SetBar(CenterY, Half(model::images.ImageRows));
}

void FrmPhaseImage::ShowPicture(const QImage& picture)
{
    const QImage g = picture.convertToFormat(QImage::Format_Grayscale8);
    std::vector<uint8_t> px(size_t(g.width()) * size_t(g.height()));
    for (int y = 0; y < g.height(); ++y)
        std::copy_n(g.constScanLine(y), size_t(g.width()), px.data() + size_t(y) * size_t(g.width()));
    bufDisplay->setPicture(g.width(), g.height(), std::move(px));
    bufDisplay->resize(bufDisplay->sizeHint());
}

void FrmPhaseImage::SetRegionColor(unsigned rgb)
{
    bufDisplay->setOutlineColor(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
}

void FrmPhaseImage::SetRegionShown(bool on) { bufDisplay->setRegionDisplay(on); }

// ---------------------------------------------------------------- masks

void FrmPhaseImage::cmdCreateMask_Click()
{
    SetVisible({cmdCreateMask, cmdLoadMask, cmdClearMask, cmdCropImage}, false);
    SetVisible({cmdAddMaskRegion, cmdMaskCancel}, true);
    BeginMask();
    ShowRegionControls(true);
    OpenRegionAtCentreHalf(kGreen);
    bufDisplay->setRegionDisplay(true);
    model::maskPartition.RoiEditMode = true;
}

void FrmPhaseImage::cmdAddMaskRegion_Click()
{
    const int L = bufDisplay->roiLeft(), T = bufDisplay->roiTop(), W = bufDisplay->roiWidth(),
              H = bufDisplay->roiHeight();
    if (!AddMaskRect(L, T, W, H)) {
        model::ShowMsg("Mask Region Outside Image Limits", 0, model::AppTitle);
        CentreRegion();
        return;
    }
    SendDisplayImage();
    bufDisplay->outlineOff();
    bufDisplay->outlineOn();
    CentreRegion();
    SetVisible({cmdMaskDone, cmdUndoLastMask}, true);
    cmdMaskCancel->setVisible(false);
}

void FrmPhaseImage::cmdUndoLastMask_Click()
{
    UndoMaskRect();
    SendDisplayImage();
    cmdMaskDone->setVisible(false);
    cmdMaskCancel->setVisible(true);
    CentreRegion();
    cmdUndoLastMask->setVisible(false);
    bufDisplay->refresh();
}

void FrmPhaseImage::cmdMaskCancel_Click()
{
    // Regions still drawn after an Undo Last would be lost without a word.
    if (MaskHasRegions() &&
        model::ShowMsg("The mask regions drawn will be discarded." + CR + "Cancel the MASK operation?", 36,
                       "Cancel Mask") != platform::kAnsYes)
        return;
    EndMaskWithoutMask();
}

void FrmPhaseImage::EndMaskWithoutMask()
{
    SetVisible({cmdMaskCancel, cmdAddMaskRegion}, false);
    setCursor(Qt::ArrowCursor);
    ShowRegionControls(false);
    // No mask is made: the display loses any rectangle still drawn.
    auto& im = model::images;
    im.DisplayImage = im.PhaseImage;
    if (model::state.PartitionInMemory) DrawDomainOutlines();
    SendDisplayImage();
    if (model::state.PartitionInMemory) {
        bufDisplay->setOutlineColor(kRed);
        cmbDomains_Click();
    } else {
        bufDisplay->outlineOff();
    }
    SetVisible({cmdCreateMask, cmdLoadMask}, true);
    model::maskPartition.RoiEditMode = false;
}

void FrmPhaseImage::cmdMaskDone_Click()
{
    bufDisplay->setRegionDisplay(false);
    const SaveName name = AskSaveName({"Save Mask", "Mask TIF Files (*_msk.tif)|*_msk.tif", ".tif", "_msk.tif",
                                       "Save Mask Error", false, true});
    std::string caption = "Mask: Current";
    if (name.confirmed) {
        std::string err;
        if (WriteMaskFile(name.path, model::images.MaskImage, &err))
            caption = "Mask: " + platform::FileNameOf(name.path);
        else
            model::ShowMsg(platform::CannotSaveMessage(name.path, err), 16, "Save Mask Error");
    }
    lblMask->setText(Q(caption));
    lblMask->setVisible(true);
    SetVisible({cmdClearMask, cmdBurnMask, cmdBatchBurn}, true);
    SetVisible({cmdAddMaskRegion, cmdMaskDone, cmdUndoLastMask, cmdCreateMask, cmdLoadMask}, false);
    ShowRegionControls(false);
    model::maskPartition.RoiEditMode = false;
    model::state.MaskInMemory = true;
    CopyToMainPicture();
    core::ResetAnalysisState();
}

void FrmPhaseImage::cmdLoadMask_Click()
{
    const std::string path =
        AskOpenName("Load Mask", "Mask TIF Files (*_msk.tif)|*_msk.tif", "*_msk.tif", "Load Mask Error");
    if (path.empty()) return;
    model::batch.BatchMaskFile = path;
    model::files.WorkingFolder = platform::FolderOf(path);
    auto& im = model::images;
    cmdLoadMask->setText("Loading");
    MaskRead m = ReadMaskFile(path, int(im.XMax) + 1, int(im.YMax) + 1);
    cmdLoadMask->setText("Load &Mask");
    if (m.status == MaskRead::CannotOpen) {
        model::ShowMsg("The file cannot be opened." + CR + m.message, 16, "Load Mask Error");
        return;
    }
    if (m.status == MaskRead::SizeMismatch) {
        model::ShowMsg(MaskSizeMessage(m.width, m.height), 16, "Mask Load Error");
        bufDisplay->refresh();
        return;
    }
    im.MaskImage = std::move(m.mask);
    im.RowBuffer.assign(size_t(im.XMax + 1), 0);
    if (!model::state.PartitionInMemory) im.DisplayImage = im.PhaseImage;
    ApplyMaskOverlay();
    SendDisplayImage();
    CopyToMainPicture();
    model::state.MaskInMemory = true;
    core::ResetAnalysisState();
    SetVisible({cmdLoadMask, cmdCreateMask}, false);
    SetVisible({cmdClearMask, cmdBurnMask, cmdBatchBurn, lblMask}, true);
    lblMask->setText(Q("Mask: " + platform::FileNameOf(path)));
}

void FrmPhaseImage::cmdClearMask_Click()
{
    model::state.MaskInMemory = false;
    SetVisible({cmdClearMask, cmdBurnMask, cmdBatchBurn, lblMask}, false);
    SetVisible({cmdCreateMask, cmdLoadMask}, true);
    auto& im = model::images;
    im.DisplayImage = im.PhaseImage;
    SendDisplayImage();
    core::ResetAnalysisState();
    if (model::state.PartitionInMemory) {
        DrawDomainOutlines();
        SendDisplayImage();
        bufDisplay->setOutlineColor(kRed);
    }
    bufDisplay->outlineOff();
    CopyToMainPicture();
    ResetBatchBurnIfShown();
}

void FrmPhaseImage::cmdBurnMask_Click()
{
    if (!BurnMaskIntoPhase()) {
        model::ShowMsg("The mask does not match the current phase image size.", 16, "Save Image Error");
        return;
    }
    auto& im = model::images;
    if (im.CurrentPhase.cols() == im.PhaseImage.cols() && im.CurrentPhase.rows() == im.PhaseImage.rows())
        im.CurrentPhase = im.PhaseImage;
    SaveName name;
    const bool saved = SavePhaseImage(im.FullXMax + 1, im.FullYMax + 1, im.PhaseImage.data(), &name);
    NameSavedImage(saved, name, im.ImageCols, im.ImageRows);
    cmdClearMask_Click();
}

// ---------------------------------------------------------------- partitions

void FrmPhaseImage::cmdCreatePartition_Click()
{
    SetVisible({cmdCreateMask, cmdLoadMask, cmdCreatePartition, cmdCropImage}, false);
    cmdAddPartitionDomain->setVisible(true);
    cmbDomains->setEnabled(false);
    auto& im = model::images;
    if (!model::state.MaskInMemory) im.DisplayImage = im.PhaseImage;
    model::maskPartition.CurrentDomain = 0;
    SetVisible({cmdLoadPartition, cmdCreatePartition}, false);
    if (model::state.MaskInMemory) cmdClearMask->setVisible(false);
    SetVisible({cmbDomains, lblDomainSelect}, true);
    ShowRegionControls(true);
    OpenRegionAtCentreHalf(kRed);
    model::maskPartition.RoiEditMode = true;
    bufDisplay->setRegionDisplay(true);
    bufDisplay->refresh();
    FrmDomainName& dlg = frmDomainName();
    dlg.chkAutomaticallyNumberDomains->setChecked(false);
    dlg.chkAutomaticallyNumberDomains_Click();
}

void FrmPhaseImage::cmdAddPartitionDomain_Click()
{
    auto& mp = model::maskPartition;
    const int L = bufDisplay->roiLeft(), T = bufDisplay->roiTop(), W = bufDisplay->roiWidth(),
              H = bufDisplay->roiHeight();
    const auto& im = model::images;
    if (!RectInside(L, T, W, H, bufDisplay->imageWidth(), bufDisplay->imageHeight())) {
        model::ShowMsg("Region of Interest Outside Image Limits", 0, model::AppTitle);
        CentreRegion();
        return;
    }
    if (mp.CurrentDomain >= kMaxPartitionDomains) {
        model::ShowMsg("A partition holds at most " + std::to_string(kMaxPartitionDomains) + " domains.", 48,
                       "Partition Error");
        return;
    }
    std::string name;
    FrmDomainName& dlg = frmDomainName();
    if (dlg.chkAutomaticallyNumberDomains->isChecked()) {
        name = AutomaticDomainName(mp.CurrentDomain + 1);
    } else {
        dlg.txtDomainName->setText(Q(AutomaticDomainName(mp.CurrentDomain + 1)));
        for (;;) {
            dlg.ShowModal();
            name = mp.DomainNameText;
            if (name.empty()) return;
            bool duplicate = false;
            for (int i = 0; i < cmbDomains->count(); ++i)
                if (core::EqualsNoCase(cmbDomains->itemText(i).toStdString(), name)) duplicate = true;
            if (!duplicate) break;
            model::ShowMsg("The given domain name already exists." + CR + "Enter a different domain name.", 16,
                           "Domain Name Error");
        }
    }
    // Recorded only for a domain that is added: Undo Last erases this rectangle.
    mp.RoiLeft = L;
    mp.RoiTop = T;
    mp.LastRoiWidth = int16_t(W);
    mp.LastRoiHeight = int16_t(H);
    {
        const QSignalBlocker b1(cmbDomains), b2(Main().cmbDomain);
        cmbDomains->addItem(Q(name));
        Main().cmbDomain->addItem(Q(name));
    }
    mp.DomainTable[size_t(mp.CurrentDomain)] = {L, T, W, H, name};
    DrawOutline(model::images.DisplayImage, L, T, W, H, 255);
    SendDisplayImage();
    {
        const QSignalBlocker b(cmbDomains);
        cmbDomains->setCurrentIndex(mp.CurrentDomain);
    }
    cmbDomains_Click();
    mp.CurrentDomain += 1;
    if (mp.CurrentDomain == 1) {
        cmbDomains->setEnabled(true);
        cmdPartitionDone->setVisible(true);
    }
    region_->SetBar(CenterX, Half(im.FullXMax + 1));
    region_->SetBar(CenterY, Half(im.FullYMax + 1));
    cmdUndoLastDomain->setVisible(true);
}

void FrmPhaseImage::cmdUndoLastDomain_Click()
{
    auto& mp = model::maskPartition;
    auto& im = model::images;
    RestoreOutline(im.DisplayImage, im.PhaseImage, mp.RoiLeft, mp.RoiTop, mp.LastRoiWidth, mp.LastRoiHeight);
    mp.CurrentDomain -= 1;
    // Edges shared with the remaining domains, and masked points, are drawn again.
    if (model::state.MaskInMemory) ApplyMaskOverlay();
    for (int d = 0; d < mp.CurrentDomain; ++d) {
        const model::Domain& dom = mp.DomainTable[size_t(d)];
        DrawOutline(im.DisplayImage, dom.Left, dom.Top, dom.Width, dom.Height, 255);
    }
    SendDisplayImage();
    {
        const QSignalBlocker b1(cmbDomains), b2(Main().cmbDomain);
        cmbDomains->removeItem(mp.CurrentDomain);
        Main().cmbDomain->removeItem(mp.CurrentDomain);
        cmbDomains->setCurrentIndex(mp.CurrentDomain - 1);
    }
    if (mp.CurrentDomain > 0) cmbDomains_Click();
    if (mp.CurrentDomain == 0) {
        cmbDomains->setEnabled(false);
        cmdPartitionDone->setVisible(false);
    }
    cmdUndoLastDomain->setVisible(false);
    bufDisplay->outlineOff();
    CentreRegion();
}

void FrmPhaseImage::cmdPartitionDone_Click()
{
    auto& mp = model::maskPartition;
    mp.PartitionFile.clear();
    const int n = cmbDomains->count();
    const int W = bufDisplay->imageWidth(), H = bufDisplay->imageHeight();
    const std::vector<model::Domain> domains = DomainsOf(mp, n);
    bufDisplay->setRegionDisplay(false);
    const SaveName name = AskSaveName({"Save Partition", "Partition Files (*_par.txt)|*_par.txt", ".txt",
                                       "_par.txt", "Save Partition Error", false, true});
    if (name.confirmed) {
        std::string err;
        if (WritePartitionFile(name.path, domains, W, H, &err))
            mp.PartitionFile = name.path;
        else
            model::ShowMsg(platform::CannotSaveMessage(name.path, err), 16, "Save Partition Error");
    }
    SendDisplayImage();
    CopyToMainPicture();
    SetVisible({cmdClearPartition, cmdCropDomains, lblPartition}, true);
    lblPartition->setText(mp.PartitionFile.empty() ? QString("Partition: Current")
                                                   : Q("Partition: " + platform::FileNameOf(mp.PartitionFile)));
    SetVisible({cmdAddPartitionDomain, cmdPartitionDone, cmdUndoLastDomain}, false);
    gui::FrmAnalysis& m = Main();
    m.cmbGrating->setEnabled(false);
    SetVisible({m.lblAnalyze, m.cmbDomain}, true);
    ShowRegionControls(false);
    mp.RoiEditMode = false;
    StorePartition(mp, domains, W, H);
    {
        const QSignalBlocker b(cmbDomains);
        cmbDomains->setCurrentIndex(0);
    }
    cmbDomains_Click();
    mp.CurrentDomain = 0;
    model::state.PartitionInMemory = true;
}

void FrmPhaseImage::cmdLoadPartition_Click()
{
    const std::string path = AskOpenName("Load Partition", "Partition Files (*_par.txt)|*_par.txt", "*_par.txt",
                                         "Load Partition Error");
    if (path.empty()) return;
    model::files.WorkingFolder = platform::FolderOf(path);
    cmdLoadPartition->setText("Loading");
    const PartitionRead r = LoadPartitionFile(path);
    cmdLoadPartition->setText("Load &Partition");
    bufDisplay->refresh();
    if (r.status == PartitionRead::SizeMismatch) {
        model::ShowMsg(PartitionSizeMessage(r.width, r.height), 16, "Partition Load Error");
        return;
    }
    if (r.status != PartitionRead::Ok) {
        model::ShowMsg("The file cannot be opened." + CR + r.reason, 16, "Load Partition Error");
        return;
    }
    gui::FrmAnalysis& m = Main();
    auto& im = model::images;
    {
        const QSignalBlocker b1(cmbDomains), b2(m.cmbDomain);
        cmbDomains->clear();
        m.cmbDomain->clear();
        if (!model::state.MaskInMemory) im.DisplayImage = im.PhaseImage;
        for (size_t i = 0; i < r.domains.size(); ++i) {
            const model::Domain& d = r.domains[i];
            DrawOutline(im.DisplayImage, d.Left, d.Top, d.Width, d.Height, 255);
            const QString entry = Q(DomainListEntry(int(i), d.Name));
            cmbDomains->addItem(entry);
            m.cmbDomain->addItem(entry);
        }
        cmbDomains->setCurrentIndex(0);
    }
    SendDisplayImage();
    bufDisplay->setOutlineColor(kRed);
    SetVisible({lblDomainSelect, cmbDomains}, true);
    cmbDomains->setEnabled(true);
    cmbDomains_Click();
    SetVisible({cmdClearPartition, cmdCropDomains}, true);
    SetVisible({cmdLoadPartition, cmdCreatePartition}, false);
    m.cmbGrating->setEnabled(false);
    SetVisible({m.lblAnalyze, m.cmbDomain}, true);
    model::state.PartitionInMemory = true;
    CopyToMainPicture();
    lblPartition->setVisible(true);
    lblPartition->setText(Q("Partition: " + platform::FileNameOf(path)));
}

void FrmPhaseImage::cmdClearPartition_Click()
{
    auto& im = model::images;
    im.YMax = im.FullYMax;
    im.XMax = im.FullXMax;
    im.ImageRows = int16_t(im.YMax + 1);
    im.ImageCols = int16_t(im.XMax + 1);
    im.DisplayImage = im.PhaseImage;
    if (model::state.MaskInMemory) ApplyMaskOverlay();
    SendDisplayImage();
    gui::FrmAnalysis& m = Main();
    {
        const QSignalBlocker b1(cmbDomains), b2(m.cmbDomain);
        cmbDomains->clear();
        m.cmbDomain->clear();
    }
    model::maskPartition.CurrentDomain = 0;
    SetVisible({cmdCropDomains, lblDomainSelect, cmbDomains, cmdClearPartition, cmdLoadPartition, cmdCreatePartition},
               false);
    SetVisible({cmdCropImage, cmdPartitionAndCrop}, true);
    SetVisible({m.lblAnalyze, m.cmbDomain}, false);
    m.cmbGrating->setEnabled(true);
    for (QLineEdit* e : {m.txtZmin, m.txtZmax, m.txtSampleWidth, m.txtSampleHeight}) e->clear();
    m.txtSampleWidth->setEnabled(true);
    m.txtSampleHeight->setEnabled(true);
    lblPartition->setVisible(false);
    model::state.PartitionInMemory = false;
    core::ResetAnalysisState();
    // No domain is selected any more: neither picture keeps its outline.
    bufDisplay->outlineOff();
    m.Picbuf1->outlineOff();
    CopyToMainPicture();
}

void FrmPhaseImage::cmbDomains_Click()
{
    const int i = cmbDomains->currentIndex();
    if (i < 0 || i >= kMaxPartitionDomains) return;
    const model::Domain& d = model::maskPartition.DomainTable[size_t(i)];
    bufDisplay->outlineOff();
    bufDisplay->setRoi(d.Left, d.Top, d.Width, d.Height);
    bufDisplay->outlineOn();
    lblSizeX->setText(Q("Size X  " + std::to_string(bufDisplay->roiWidth())));
    lblSizeY->setText(Q("Size Y  " + std::to_string(bufDisplay->roiHeight())));
}

// ---------------------------------------------------------------- crop

void FrmPhaseImage::cmdCropImage_Click()
{
    if (model::state.MaskInMemory) {
        if (model::ShowMsg("Cropping requires the clearing the current" + CR + "mask from memory. Continue?", 36,
                           "Confirm Crop Operation") != 6)
            return;
        cmdClearMask_Click();
        SetVisible({cmdCreateMask, cmdLoadMask}, false);
    }
    ShowRegionControls(true);
    OpenRegionAtCentreHalf(kYellow);
    model::maskPartition.RoiEditMode = true;
    bufDisplay->setRegionDisplay(true);
    bufDisplay->refresh();
    SetVisible({cmdCropImage, cmdPartitionAndCrop}, false);
    SetVisible({cmdCrop, cmdCropCancel}, true);
}

void FrmPhaseImage::cmdCrop_Click()
{
    auto& mp = model::maskPartition;
    const int L = bufDisplay->roiLeft(), T = bufDisplay->roiTop(), W = bufDisplay->roiWidth(),
              H = bufDisplay->roiHeight();
    mp.RoiLeft = L;
    mp.RoiTop = T;
    if (!CropRegionValid(L, T, W, H, bufDisplay->imageWidth(), bufDisplay->imageHeight())) {
        model::ShowMsg("Region Outside Image Limits", 0, model::AppTitle);
        CentreRegion();
        return;
    }
    mp.LastRoiWidth = int16_t(W);
    mp.LastRoiHeight = int16_t(H);
    bufDisplay->takeOver(*bufDisplay, true);
    bufDisplay->setRegionDisplay(false);
    bufDisplay->resize(bufDisplay->sizeHint());
    mp.RoiEditMode = false;
    SetVisible({cmdCrop, cmdCropCancel}, false);
    SetVisible({cmdUndoCrop, cmdCropFinished}, true);
    lblCenterX->setText("Center X");
    lblCenterY->setText("Center Y");
    for (QWidget* w : std::initializer_list<QWidget*>{hscCenterX, hscCenterY, lblCenterX, lblCenterY, hscSizeX, hscSizeY})
        w->setEnabled(false);
}

void FrmPhaseImage::cmdUndoCrop_Click()
{
    bufDisplay->takeOver(*Main().Picbuf1);
    bufDisplay->resize(bufDisplay->sizeHint());
    bufDisplay->outlineOn();
    bufDisplay->setRegionDisplay(true);
    for (QWidget* w : std::initializer_list<QWidget*>{hscCenterX, hscCenterY, lblCenterX, lblCenterY, hscSizeX, hscSizeY})
        w->setEnabled(true);
    lblCenterX->setText(Q("Center X  " + std::to_string(region_->BarValue(CenterX))));
    lblCenterY->setText(Q("Center Y  " + std::to_string(region_->BarValue(CenterY))));
    SetVisible({cmdCrop, cmdCropCancel}, true);
    SetVisible({cmdUndoCrop, cmdCropFinished}, false);
    model::maskPartition.RoiEditMode = true;
}

void FrmPhaseImage::cmdCropCancel_Click()
{
    SetVisible({cmdCrop, cmdCropCancel}, false);
    ShowRegionControls(false);
    bufDisplay->outlineOff();
    model::maskPartition.RoiEditMode = false;
    SetVisible({cmdCropImage, cmdPartitionAndCrop}, true);
}

void FrmPhaseImage::cmdCropFinished_Click()
{
    // The saved image lets the windows repaint once; a hand-over or a close
    // given meanwhile waits until the cropped image is named.
    platform::CloseAfterJob closer(*this);
    platform::JobGuard job("Crop Image");
    const int cols = bufDisplay->imageWidth(), rows = bufDisplay->imageHeight();
    AcceptCroppedImage(cols, rows, bufDisplay->pixels());
    CopyToMainPicture();
    bufLoadMask->takeOver(*bufDisplay);
    SaveName name;
    const bool saved = SavePhaseImage(cols, rows, model::images.CurrentPhase.data(), &name);
    if (saved) platform::YieldToUi();
    bufDisplay->refresh();
    SetVisible({cmdCropImage, cmdPartitionAndCrop}, true);
    SetVisible({cmdCropFinished, cmdCropCancel, cmdUndoCrop}, false);
    ShowRegionControls(false);
    NameSavedImage(saved, name, cols, rows);
    core::ResetAnalysisState();
}

// ---------------------------------------------------------------- instances

FrmPhaseImage& frmPhaseImage()
{
    gui::PhaseImageWindow& w = gui::frmPhaseImage();
    auto* mine = dynamic_cast<FrmPhaseImage*>(&w);
    Q_ASSERT(mine);
    return *mine;
}

gui::PhaseImageWindow* NewPhaseImageWindow() { return new FrmPhaseImage; }

void InstallEditorWindows()
{
    gui::WindowFactories f;
    f.frmPhaseImage = NewPhaseImageWindow;
    f.frmBurnMask = NewBurnMaskWindow;
    gui::SetWindowFactories(f);
}

} // namespace editor
