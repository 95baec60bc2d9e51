#include "app/editor/gui/frm_jobs.h"

#include "app/core/gui/file_list.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "app/editor/core/folder_jobs.h"
#include "app/editor/core/partition_file.h"
#include "app/editor/gui/folder_path_label.h"
#include "app/editor/gui/frm_phase_image.h"
#include "platform/commandguards.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/listboxes.h"
#include "platform/qtext.h"

#include <QDir>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QShowEvent>
#include <QVBoxLayout>

namespace editor {
namespace {

using platform::Q;
using platform::S;
std::string Ext() { return core::ToLower(model::files.ImageFileFormat); }

// A control without a caption of its own is named after the label beside it.
template <typename W>
W* Add(QWidget* parent, QLayout* lay, W* w, const char* name, const QString& labelBeside = QString())
{
    w->setObjectName(name);
    if (!labelBeside.isEmpty()) w->setAccessibleName(labelBeside);
    lay->addWidget(w);
    return w;
}

QPushButton* Button(QWidget* p, QLayout* l, const char* name, const QString& text)
{
    auto* b = new QPushButton(text, p);
    b->setObjectName(name);
    l->addWidget(b);
    return b;
}

QLabel* Label(QWidget* p, QLayout* l, const char* name, const QString& text)
{
    return Add(p, l, new QLabel(text, p), name);
}

// Names the folder a folder list shows (the list itself shows only the way up
// and the sub-folders); the middle of a long path gives way to "...".
QLabel* FolderNameLabel(QWidget* p, QLayout* l, const char* name, platform::DirListBox* list)
{
    auto* lbl = Add(p, l, new FolderPathLabel(p), name);
    auto show = [lbl, list] { lbl->setPath(QDir::toNativeSeparators(list->path())); };
    QObject::connect(list, &platform::DirListBox::pathChanged, lbl, show);
    show();
    return lbl;
}

// Source and destination on the left, options and commands on the right, so
// the window fits a 1024 x 768 screen.
struct JobColumns {
    QVBoxLayout* left;
    QVBoxLayout* right;
};
JobColumns TwoColumns(QWidget* w)
{
    auto* cols = new QHBoxLayout(w);
    JobColumns c{new QVBoxLayout, new QVBoxLayout};
    cols->addLayout(c.left, 1);
    cols->addLayout(c.right, 1);
    return c;
}

void LimitListHeight(std::initializer_list<QWidget*> lists)
{
    for (QWidget* l : lists) l->setMaximumHeight(130);
}

void SetLabelColour(QLabel* l, bool red) { l->setStyleSheet(red ? "color: rgb(255, 0, 0);" : "color: rgb(0, 0, 0);"); }

// Asks for a folder, starting at the list's folder; the list shows the
// folder when the user confirmed one that exists.
void BrowseInto(platform::DirListBox* list, const std::string& prompt)
{
    platform::FolderBrowseRequest req;
    req.title = "Browse For Folder";
    req.prompt = prompt;
    req.root = "Desktop";
    req.initialFolder = S(list->path());
    const platform::FolderBrowseResult r = platform::BrowseForFolder(req);
    if (!r.confirmed) return;
    if (!platform::IsFolder(r.folder)) {
        model::ShowMsg("Device unavailable: " + r.folder, 16, "Folder Access Error");
        return;
    }
    list->setPath(Q(r.folder));
}

// The first folder of both job windows: the results folder, the destination
// following it.
void StartAtResultsFolder(platform::DirListBox* source, platform::DirListBox* destination,
                          gui::FileList* files)
{
    files->SetPattern(Q("*_ph." + Ext()));
    source->setPath(Q(platform::ResultsFolder()));
    destination->setPath(source->path());
}

// The phase images of the source folder in the pattern of the format.
void ListPhaseImages(gui::FileList* files, const QString& folder, const std::string& format)
{
    files->setPath(folder);
    files->SetPattern(Q("*_ph." + format));
}

QString PhaseImageCount(const gui::FileList* files)
{
    return "Phase Image Count: " + QString::number(files->FileCount());
}

// The count under the file list tells how many it holds; the caption above
// names it, so a screen reader does not read a changing count as its name.
void ShowPhaseImageCount(QLabel* count, gui::FileList*, const QString& text) { count->setText(text); }

// The file list with its caption above it.
void AddFileList(QWidget* p, QLayout* l, gui::FileList* files)
{
    auto* caption = Label(p, l, "lblPhaseImages", "Phase &Images");
    caption->setBuddy(files);
    files->setAccessibleName("Phase Images");
    l->addWidget(files);
}

// The result part of both job windows: the counter text, its colour and the
// button that shows the files not processed.
void ResetJobResult(QLabel* counter, QPushButton* viewUnprocessed)
{
    SetLabelColour(counter, false);
    counter->setText("Number of Images Processed: 0");
    viewUnprocessed->setVisible(false);
    model::batch.SkippedFileList.clear();
}

// Callbacks that move the progress bar and the counter text.
JobCallbacks ProgressCallbacks(QProgressBar* bar, QLabel* counter)
{
    JobCallbacks cb;
    cb.progress = [bar](int value, int maximum) {
        bar->setMaximum(std::max(1, maximum));
        bar->setValue(value);
    };
    cb.counter = [counter](int processed, int total) {
        counter->setText("Number of Images Processed: " + QString::number(processed) + "/" + QString::number(total));
    };
    return cb;
}

// True when the job did not run; its reason is shown (none when another run
// was going on).
bool ShowRefusal(const JobOutcome& out)
{
    if (out.ran) return false;
    if (!out.message.empty()) model::ShowMsg(out.message, 16, out.title);
    return true;
}

void ShowUnprocessedFiles() { model::ShowMsg(model::batch.SkippedFileList, 64, "Unprocessed File List"); }

// Shown in front and holding the keyboard: every other window is blocked
// while it is open, so keys given to them would go nowhere.
void ShowModal(QWidget& w)
{
    w.setWindowModality(Qt::ApplicationModal);
    w.show();
    w.raise();
    w.activateWindow();
}

void ReportFailedWrites(const JobOutcome& out, const std::string& title)
{
    if (out.failedWrites.empty()) return;
    std::string text = "These files could not be written:";
    for (const std::string& f : out.failedWrites) text += std::string(model::CR) + f;
    model::ShowMsg(text, 16, title);
}

// A run whose window was closed during it ends with its outcome in words:
// the window and its count are gone. A run that processed every image says
// nothing more than its written-files report does.
void ReportShortEndOfClosedRun(const JobOutcome& out, const std::string& title)
{
    if (!out.ran || out.processed == out.total) return;
    std::string text = std::to_string(out.processed) + " of " + std::to_string(out.total) +
                       " phase images were processed and written.";
    if (!out.skippedList.empty()) text += std::string(model::CR) + "Not processed:" + model::CR + out.skippedList;
    model::ShowMsg(text, 48, title);
}

// The lists show the folders as they are now: a window shown again reads
// them again (another program may have added images meanwhile).
void ReadFoldersAgain(platform::DirListBox* source, platform::DirListBox* destination, gui::FileList* files)
{
    source->refresh();
    destination->refresh();
    files->refresh();
}

// Escape works Close, as long as Close can be clicked (not during a run).
bool CloseOnEscape(QKeyEvent* e, QPushButton* close)
{
    if (e->key() != Qt::Key_Escape || e->modifiers() != Qt::NoModifier) return false;
    if (close->isEnabled()) close->click();
    return true;
}

QPointer<FrmCropDomains> gCrop;

} // namespace

// ---------------------------------------------------------------- crop domains

FrmCropDomains::FrmCropDomains(QWidget* parent) : QWidget(parent)
{
    setObjectName("frmCropDomains");
    setWindowTitle("Crop Domains");
    const JobColumns columns = TwoColumns(this);
    QVBoxLayout* lay = columns.left;
    lblPathSelection = Label(this, lay, "lblPathSelection", "1 - Source");
    DirSource = new platform::DirListBox(this);
    lblPathSelection->setBuddy(DirSource);
    lblSourcePath = FolderNameLabel(this, lay, "lblSourcePath", DirSource);
    Add(this, lay, DirSource, "DirSource", "1 - Source");
    cmdBrowseSourcePath = Button(this, lay, "cmdBrowseSourcePath", "&Browse...");
    File1 = new gui::FileList(this);
    AddFileList(this, lay, File1);
    lblPhaseImageCount = Label(this, lay, "lblPhaseImageCount", "Phase Image Count");
    lblDestinationFolder = Label(this, lay, "lblDestinationFolder", "2 - Destination");
    DirDestination = new platform::DirListBox(this);
    lblDestinationFolder->setBuddy(DirDestination);
    lblDestinationPath = FolderNameLabel(this, lay, "lblDestinationPath", DirDestination);
    Add(this, lay, DirDestination, "DirDestination", "2 - Destination");
    cmdBrowseDestinationPath = Button(this, lay, "cmdBrowseDestinationPath", "B&rowse...");
    LimitListHeight({DirSource, File1, DirDestination});
    lay->addStretch(1);
    lay = columns.right;
    lblOptions = Label(this, lay, "lblOptions", "3 - Options");
    auto* fraShape = new QGroupBox("Domain S&hape", this);
    fraShape->setObjectName("fraShape");
    auto* shapeLay = new QVBoxLayout(fraShape);
    cmbShape = Add(fraShape, shapeLay, new QComboBox(fraShape), "cmbShape", "Domain Shape");
    cmbShape->addItems({"Rectangle", "Ellipse"});
    lay->addWidget(fraShape);
    chkCreateDomainSubfolders = Add(this, lay, new QCheckBox("Create &Domain subfolder(s)", this), "chkCreateDomainSubfolders");
    chkCreatePhaseImageSubfolders =
        Add(this, lay, new QCheckBox("Create &Phase Image subfolder(s)", this), "chkCreatePhaseImageSubfolders");
    chkCurrentPhaseImage = Add(this, lay, new QCheckBox("Crop C&urrent Phase Image", this), "chkCurrentPhaseImage");
    auto* fra = new QGroupBox("Cropped &Filename", this);
    fra->setObjectName("fraFilenameOptions");
    auto* fraLay = new QVBoxLayout(fra);
    optUseDomainName = Add(fra, fraLay, new QRadioButton("Use Domain &Name Only", fra), "optUseDomainName");
    optAppendOriginalFilenameToDomainName = Add(fra, fraLay, new QRadioButton("&Append Original Filename To Domain Name", fra),
                                                "optAppendOriginalFilenameToDomainName");
    optAppendDomainName =
        Add(fra, fraLay, new QRadioButton("Append Domain Name &to Original Filename", fra), "optAppendDomainName");
    lay->addWidget(fra);
    lblFour = Label(this, lay, "lblFour", "4 - Process");
    cmdProcess = Button(this, lay, "cmdProcess", "&Generate Images");
    ProgressBar1 = Add(this, lay, new QProgressBar(this), "ProgressBar1", "4 - Process");
    lblNumberOfImagesProcessed = Label(this, lay, "lblNumberOfImagesProcessed", "Number of Images Processed: 0");
    cmdViewUnprocessedFiles = Button(this, lay, "cmdViewUnprocessedFiles", "&View Unprocessed File List");
    cmdClose = Button(this, lay, "cmdClose", "&Close");
    lay->addStretch(1);

    optAppendDomainName->setChecked(true);
    optUseDomainName->setEnabled(false);
    cmdViewUnprocessedFiles->setVisible(false);
    ProgressBar1->setVisible(false);

    connect(DirSource, &platform::DirListBox::pathChanged, this, [this] { DirSource_Change(); });
    connect(DirDestination, &platform::DirListBox::pathChanged, this, [this] { ResetBatchCrop(); });
    connect(optUseDomainName, &QRadioButton::clicked, this, [this] { ResetBatchCrop(); });
    connect(optAppendDomainName, &QRadioButton::clicked, this, [this] { ResetBatchCrop(); });
    connect(chkCreateDomainSubfolders, &QCheckBox::toggled, this, [this] { chkCreateDomainSubfolders_Click(); });
    connect(chkCreatePhaseImageSubfolders, &QCheckBox::toggled, this, [this] { chkCreatePhaseImageSubfolders_Click(); });
    connect(chkCurrentPhaseImage, &QCheckBox::toggled, this, [this] { chkCurrentPhaseImage_Click(); });
    connect(cmdBrowseSourcePath, &QPushButton::clicked, this, [this] { cmdBrowseSourcePath_Click(); });
    connect(cmdBrowseDestinationPath, &QPushButton::clicked, this, [this] { cmdBrowseDestinationPath_Click(); });
    connect(cmdProcess, &QPushButton::clicked, this, [this] { cmdProcess_Click(); });
    connect(cmdViewUnprocessedFiles, &QPushButton::clicked, this, [this] { cmdViewUnprocessedFiles_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { hide(); });

    // Load.
    StartAtResultsFolder(DirSource, DirDestination, File1);
    DirSource_Change();
}

void FrmCropDomains::keyPressEvent(QKeyEvent* e)
{
    if (!CloseOnEscape(e, cmdClose)) QWidget::keyPressEvent(e);
}

void FrmCropDomains::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (e->spontaneous() || running_) return;
    ReadFoldersAgain(DirSource, DirDestination, File1);
    if (!chkCurrentPhaseImage->isChecked())
        ShowPhaseImageCount(lblPhaseImageCount, File1, PhaseImageCount(File1));
}

void FrmCropDomains::ResetBatchCrop() { ResetJobResult(lblNumberOfImagesProcessed, cmdViewUnprocessedFiles); }

void FrmCropDomains::DirSource_Change()
{
    ResetBatchCrop();
    DirDestination->setPath(DirSource->path());
    File1->setPath(DirSource->path());
    if (!chkCurrentPhaseImage->isChecked())
        ShowPhaseImageCount(lblPhaseImageCount, File1, PhaseImageCount(File1));
}

void FrmCropDomains::chkCreateDomainSubfolders_Click()
{
    ResetBatchCrop();
    if (chkCreateDomainSubfolders->isChecked()) chkCreatePhaseImageSubfolders->setChecked(false);
}

void FrmCropDomains::chkCreatePhaseImageSubfolders_Click()
{
    ResetBatchCrop();
    if (chkCreatePhaseImageSubfolders->isChecked()) {
        chkCreateDomainSubfolders->setChecked(false);
        optUseDomainName->setEnabled(true);
    } else if (!chkCurrentPhaseImage->isChecked()) {
        if (!optAppendDomainName->isChecked()) {
            optAppendDomainName->setChecked(true);
            ResetBatchCrop();
        }
        optUseDomainName->setEnabled(false);
    }
}

void FrmCropDomains::chkCurrentPhaseImage_Click()
{
    const bool current = chkCurrentPhaseImage->isChecked();
    cmdBrowseSourcePath->setEnabled(!current);
    DirSource->setEnabled(!current);
    DirSource->setStyleSheet(current ? "background-color: rgb(218, 218, 218);" : "background-color: rgb(255, 255, 255);");
    lblPhaseImageCount->setEnabled(!current);
    if (current) {
        ShowPhaseImageCount(lblPhaseImageCount, File1, "Phase Image Count: n/a");
        optUseDomainName->setEnabled(true);
    } else {
        ShowPhaseImageCount(lblPhaseImageCount, File1, PhaseImageCount(File1));
        if (!chkCreatePhaseImageSubfolders->isChecked()) {
            if (!optAppendDomainName->isChecked()) {
                optAppendDomainName->setChecked(true);
                ResetBatchCrop();
            }
            optUseDomainName->setEnabled(false);
        }
    }
}

void FrmCropDomains::cmdBrowseSourcePath_Click()
{
    BrowseInto(DirSource, "Select the folder containing the phase images to crop:");
}

void FrmCropDomains::cmdBrowseDestinationPath_Click()
{
    BrowseInto(DirDestination, "Select the destination folder for the cropped phase images:");
}

void FrmCropDomains::SetRunning(bool running)
{
    running_ = running;
    for (QWidget* w : std::initializer_list<QWidget*>{DirSource, DirDestination, cmdBrowseSourcePath,
                                                      cmdBrowseDestinationPath, cmbShape, chkCreateDomainSubfolders,
                                                      chkCreatePhaseImageSubfolders, chkCurrentPhaseImage, cmdProcess,
                                                      cmdClose, optUseDomainName, optAppendOriginalFilenameToDomainName,
                                                      optAppendDomainName})
        w->setProperty("runLock", running);
    for (QWidget* w : std::initializer_list<QWidget*>{DirDestination, cmdBrowseDestinationPath, cmbShape,
                                                      chkCreateDomainSubfolders, chkCreatePhaseImageSubfolders,
                                                      chkCurrentPhaseImage, cmdProcess, cmdClose})
        w->setEnabled(!running);
    if (!running) {
        const bool current = chkCurrentPhaseImage->isChecked();
        DirSource->setEnabled(!current);
        cmdBrowseSourcePath->setEnabled(!current);
    } else {
        DirSource->setEnabled(false);
        cmdBrowseSourcePath->setEnabled(false);
    }
}

void FrmCropDomains::cmdProcess_Click()
{
    if (running_) return;
    CropDomainsOptions o;
    o.currentImage = chkCurrentPhaseImage->isChecked();
    o.format = Ext();
    if (!o.currentImage) ListPhaseImages(File1, DirSource->path(), o.format);
    o.sourceFolder = S(DirSource->path());
    o.destination = S(DirDestination->path());
    o.ellipse = cmbShape->currentIndex() == 1;   // Rectangle, Ellipse
    o.domainSubfolders = chkCreateDomainSubfolders->isChecked();
    o.imageSubfolders = chkCreatePhaseImageSubfolders->isChecked();
    o.naming = optAppendDomainName->isChecked() ? CropNaming::AppendDomainToOriginal
               : optAppendOriginalFilenameToDomainName->isChecked() ? CropNaming::AppendOriginalToDomain
                                                                     : CropNaming::UseDomainName;
    // The domains of the partition, as the domain list shows them.
    const int n = editor::frmPhaseImage().cmbDomains->count();
    const std::vector<model::Domain> domains = DomainsOf(model::maskPartition, std::min(n, kMaxPartitionDomains));

    JobCallbacks cb = ProgressCallbacks(ProgressBar1, lblNumberOfImagesProcessed);
    cb.started = [&] {
        if (!o.currentImage) ResetBatchCrop();
        ProgressBar1->setVisible(true);
    };
    // A close during the run waits for its end and its report.
    platform::CloseAfterJob closer(*this);
    SetRunning(true);
    const JobOutcome out = RunCropDomains(o, domains, cb);
    SetRunning(false);
    ProgressBar1->setVisible(false);
    if (ShowRefusal(out)) return;
    if (closer.closeAsked()) ReportShortEndOfClosedRun(out, "Crop Domains");
    model::batch.SkippedFileList = out.skippedList;
    if (!o.currentImage && out.processed != out.total) {
        SetLabelColour(lblNumberOfImagesProcessed, true);
        if (out.processed == 0)
            model::ShowMsg("None of the phase images in this folder were processed.", 16, "Unprocessed File List");
        else
            cmdViewUnprocessedFiles->setVisible(true);
    }
    DirDestination->refresh();
    ReportFailedWrites(out, "Crop Domains Error");
}

void FrmCropDomains::cmdViewUnprocessedFiles_Click() { ShowUnprocessedFiles(); }

FrmCropDomains& frmCropDomains()
{
    if (!gCrop) gCrop = new FrmCropDomains;
    return *gCrop;
}

void ShowCropDomainsWindow() { ShowModal(frmCropDomains()); }

// ---------------------------------------------------------------- burn mask

FrmBurnMask::FrmBurnMask(QWidget* parent) : gui::BurnMaskWindow(parent)
{
    setObjectName("frmBurnMask");
    setWindowTitle("Burn Mask");
    const JobColumns columns = TwoColumns(this);
    QVBoxLayout* lay = columns.left;
    QLabel* source = Label(this, lay, "lblSource", "1 - Source Folder");
    DirSource = new platform::DirListBox(this);
    source->setBuddy(DirSource);
    lblSourcePath = FolderNameLabel(this, lay, "lblSourcePath", DirSource);
    Add(this, lay, DirSource, "DirSource", "1 - Source Folder");
    cmdBrowseSourcePath = Button(this, lay, "cmdBrowseSourcePath", "&Browse...");
    FileList1 = new gui::FileList(this);
    AddFileList(this, lay, FileList1);
    File1 = FileList1;
    lblPhaseImageCount = Label(this, lay, "lblPhaseImageCount", "Phase Image Count");
    QLabel* destination = Label(this, lay, "lblDestination", "2 - Destination Folder");
    DirDestination = new platform::DirListBox(this);
    destination->setBuddy(DirDestination);
    lblDestinationPath = FolderNameLabel(this, lay, "lblDestinationPath", DirDestination);
    Add(this, lay, DirDestination, "DirDestination", "2 - Destination Folder");
    cmdBrowseDestinationPath = Button(this, lay, "cmdBrowseDestinationPath", "B&rowse...");
    LimitListHeight({DirSource, FileList1, DirDestination});
    lay->addStretch(1);
    lay = columns.right;
    auto* fra = new QGroupBox("&Masked Filename Options", this);
    auto* fraLay = new QVBoxLayout(fra);
    chkCreateMaskedSubfolder = Add(fra, fraLay, new QCheckBox("Create Masked &Subfolder", fra), "chkCreateMaskedSubfolder");
    chkTagFilenames = Add(fra, fraLay, new QCheckBox("&Tag Filenames (*_msk_*)", fra), "chkTagFilenames");
    lay->addWidget(fra);
    cmdProcess = Button(this, lay, "cmdProcess", "&Process");
    ProgressBar1 = Add(this, lay, new QProgressBar(this), "ProgressBar1", "Process");
    ProgressBar1->setVisible(false);
    lblNumberOfImagesProcessed = Label(this, lay, "lblNumberOfImagesProcessed", "Number of Images Processed: 0");
    cmdViewUnprocessedFiles = Button(this, lay, "cmdViewUnprocessedFiles", "&View Unprocessed File List");
    cmdViewUnprocessedFiles->setVisible(false);
    cmdClose = Button(this, lay, "cmdClose", "&Close");
    lay->addStretch(1);

    connect(DirSource, &platform::DirListBox::pathChanged, this, [this] { DirSource_Change(); });
    connect(DirDestination, &platform::DirListBox::pathChanged, this, [this] { ResetBatchBurn(); });
    connect(chkCreateMaskedSubfolder, &QCheckBox::toggled, this, [this] { ResetBatchBurn(); });
    connect(chkTagFilenames, &QCheckBox::toggled, this, [this] { ResetBatchBurn(); });
    connect(cmdBrowseSourcePath, &QPushButton::clicked, this, [this] { cmdBrowseSourcePath_Click(); });
    connect(cmdBrowseDestinationPath, &QPushButton::clicked, this, [this] { cmdBrowseDestinationPath_Click(); });
    connect(cmdProcess, &QPushButton::clicked, this, [this] { cmdProcess_Click(); });
    connect(cmdViewUnprocessedFiles, &QPushButton::clicked, this, [this] { cmdViewUnprocessedFiles_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { hide(); });

    StartAtResultsFolder(DirSource, DirDestination, FileList1);
    DirSource_Change();
}

void FrmBurnMask::keyPressEvent(QKeyEvent* e)
{
    if (!CloseOnEscape(e, cmdClose)) gui::BurnMaskWindow::keyPressEvent(e);
}

void FrmBurnMask::showEvent(QShowEvent* e)
{
    gui::BurnMaskWindow::showEvent(e);
    if (e->spontaneous() || running_) return;
    ReadFoldersAgain(DirSource, DirDestination, FileList1);
    ShowPhaseImageCount(lblPhaseImageCount, FileList1, PhaseImageCount(FileList1));
}

void FrmBurnMask::ResetBatchBurn() { ResetJobResult(lblNumberOfImagesProcessed, cmdViewUnprocessedFiles); }

void FrmBurnMask::DirSource_Change()
{
    ResetBatchBurn();
    DirDestination->setPath(DirSource->path());
    FileList1->setPath(DirSource->path());
    ShowPhaseImageCount(lblPhaseImageCount, FileList1, PhaseImageCount(FileList1));
}

void FrmBurnMask::cmdBrowseSourcePath_Click()
{
    BrowseInto(DirSource, "Select the source folder containing the phase images to mask:");
}

void FrmBurnMask::cmdBrowseDestinationPath_Click()
{
    BrowseInto(DirDestination, "Select the destination folder for the burned phase images:");
}

void FrmBurnMask::SetRunning(bool running)
{
    running_ = running;
    for (QWidget* w : std::initializer_list<QWidget*>{DirSource, DirDestination, cmdBrowseSourcePath,
                                                      cmdBrowseDestinationPath, chkCreateMaskedSubfolder,
                                                      chkTagFilenames, cmdProcess, cmdClose})
        w->setEnabled(!running);
}

void FrmBurnMask::cmdProcess_Click()
{
    if (running_) return;
    BurnMaskOptions o;
    o.format = Ext();
    ListPhaseImages(FileList1, DirSource->path(), o.format);
    o.sourceFolder = S(DirSource->path());
    o.destination = S(DirDestination->path());
    o.maskedSubfolder = chkCreateMaskedSubfolder->isChecked();
    o.tagFilenames = chkTagFilenames->isChecked();
    JobCallbacks cb = ProgressCallbacks(ProgressBar1, lblNumberOfImagesProcessed);
    cb.started = [this] {
        ResetBatchBurn();
        ProgressBar1->setValue(0);
        ProgressBar1->setVisible(true);
    };
    // A close during the run waits for its end and its report.
    platform::CloseAfterJob closer(*this);
    SetRunning(true);
    const JobOutcome out = RunBurnMask(o, cb);
    SetRunning(false);
    ProgressBar1->setVisible(false);
    if (ShowRefusal(out)) return;
    if (closer.closeAsked()) ReportShortEndOfClosedRun(out, "Burn Mask");
    model::batch.SkippedFileList = out.skippedList;
    if (out.processed != out.total) {
        SetLabelColour(lblNumberOfImagesProcessed, true);
        cmdViewUnprocessedFiles->setVisible(true);
    }
    DirDestination->refresh();
    ReportFailedWrites(out, "Burn Mask Error");
}

void FrmBurnMask::cmdViewUnprocessedFiles_Click() { ShowUnprocessedFiles(); }

gui::BurnMaskWindow* NewBurnMaskWindow() { return new FrmBurnMask; }

FrmBurnMask& frmBurnMask()
{
    auto* mine = dynamic_cast<FrmBurnMask*>(&gui::frmBurnMask());
    Q_ASSERT(mine);
    return *mine;
}

void ShowBurnMaskWindow() { ShowModal(frmBurnMask()); }

void ResetBatchBurnIfShown()
{
    if (auto* mine = dynamic_cast<FrmBurnMask*>(&gui::frmBurnMask())) mine->ResetBatchBurn();
}

void DestroyJobWindows() { delete gCrop.data(); }

} // namespace editor
