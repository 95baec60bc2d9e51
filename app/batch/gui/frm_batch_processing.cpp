// The batch window: its controls, their checks and the wiring to the batch run.
#include "app/batch/gui/frm_batch_processing.h"

#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/named_controls.h"
#include "app/core/figures.h"
#include "app/core/grating.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "platform/accessibility.h"
#include "platform/commandguards.h"
#include "platform/dialogs.h"
#include "platform/folderjobs.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/qtext.h"
#include "platform/taskbar.h"

#include <algorithm>

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QFile>
#include <QTimer>
#include <QVBoxLayout>

namespace batch {
namespace {

using platform::Q;
using platform::S;

constexpr int kTwipsPerPixel = 15;

struct GridColumn {
    const char* header;
    int twips;
};
const GridColumn kColumns[12] = {{"#", 400},         {"Filename", 2400}, {"Min Z", 800},  {"Max Z", 800},
                                 {"Coplanarity", 1100}, {"Min AB", 800}, {"Max AB", 800}, {"Min CD", 800},
                                 {"Max CD", 800},    {"% IPC Twist", 1000}, {"% Bow", 800},
                                 {"Center Deflection", 1450}};

using gui::Make;
using gui::MakeCombo;
using gui::MakeEdit;

QGroupBox* Step(QWidget* parent, const char* name, const QString& caption)
{
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(name);
    return g;
}

bool Ticked(const QCheckBox* c) { return c && c->isChecked(); }

// A name on disk as the window shows it (a name that is not UTF-8 shows with
// U+FFFD in its place).
QString NameText(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }

// The width of a plot range box: its longest value in either number format
// (core::kPlotRangeLimit with the mils format's decimal) in the box's own
// font, with what the box draws around its text: the glyphs' overhangs, the
// cursor after the last character, the box's inner margins (2 pixels a side),
// its text margins and its frame.
int RangeBoxWidth(const QLineEdit& box)
{
    const QString longest = QString::fromStdString(core::FormatNumber(-core::kPlotRangeLimit, "0.0"));
    const QFontMetrics fm = box.fontMetrics();
    QStyleOptionFrame frame;
    frame.initFrom(&box);
    frame.lineWidth = box.hasFrame() ? box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, &box) : 0;
    const QMargins m = box.textMargins();
    const int overhang = std::max(0, -fm.minLeftBearing()) + std::max(0, -fm.minRightBearing());
    const int text = fm.horizontalAdvance(longest) + overhang + 1 + m.left() + m.right() + 2 * 2;
    const int contents = box.style()->sizeFromContents(QStyle::CT_LineEdit, &frame, QSize(text, fm.height()), &box).width();
    // The style's frame, as the box lays its text out inside it.
    const QRect inner = box.style()->subElementRect(QStyle::SE_LineEditContents, &frame, &box);
    const int frameWidth = inner.isValid() ? box.width() - inner.width() : 0;
    return std::max(contents, text + frameWidth);
}

bool IsRangeBox(const FrmBatchProcessing& w, const QObject* o)
{
    return o == w.txtZmin || o == w.txtZmax || o == w.txtDiagMin || o == w.txtDiagMax;
}

} // namespace

FrmBatchProcessing::FrmBatchProcessing()
{
    setObjectName("frmBatchProcessing");
    setWindowTitle("Sorvanta Batch Processing");
    // The batch jobs hold the single image; their windows stay live meanwhile.
    platform::MarkJobWindow(*this);
    setWindowState(Qt::WindowMaximized);
    // The core clears this window's summary on every option change (set here
    // rather than at static start-up, where the core's own statics may not be
    // constructed yet).
    core::SetBatchSummaryWindowProvider(
        [] { return dynamic_cast<core::BatchSummaryWindow*>(&gui::frmBatchProcessing()); });
    BuildControls();
    LoadGrid();
    // The Results folder, else the program's own.
    const std::string results = platform::ResultsFolder();
    SetFolder(platform::IsFolder(results) ? results : platform::BaseFolder());
    ListFolder();
    lblCurrentPath->setText(Dir1->path());
    Wire();
}

// The grid's headers and widths.
void FrmBatchProcessing::LoadGrid()
{
    Grid1->setColumnCount(12);
    for (int c = 0; c < 12; ++c) {
        auto* h = new QTableWidgetItem(kColumns[c].header);
        h->setTextAlignment(Qt::AlignCenter);
        Grid1->setHorizontalHeaderItem(c, h);
        // The designed width, widened where the header's text would be cut.
        const int text = Grid1->horizontalHeader()->fontMetrics().horizontalAdvance(kColumns[c].header) + 12;
        Grid1->setColumnWidth(c, std::max(kColumns[c].twips / kTwipsPerPixel, text));
    }
    Grid1->setRowCount(1);
    Grid1->verticalHeader()->setVisible(false);
}

// The steps are laid out on a page that scrolls when the work area the
// window is given is smaller than they need.
void FrmBatchProcessing::BuildControls()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("scrollSteps");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    // Only a container: the keyboard goes to the controls, and the page
    // scrolls to the one that takes the focus.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* page = new QWidget(scroll);
    page->setObjectName("pageSteps");
    auto* root = new QHBoxLayout(page);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    root->addLayout(left, 0);
    root->addLayout(right, 1);
    BuildFolderStep(*left);
    BuildAnalysisStep(*left);
    BuildProcessStep(*left);
    left->addStretch(1);
    BuildSummaryStep(*right);
    BuildOutputSteps(*right);
    scroll->setWidget(page);
    outer->addWidget(scroll);
}

// 1 - Select Folder
void FrmBatchProcessing::BuildFolderStep(QBoxLayout& column)
{
    QGroupBox* g1 = Step(this, "lblPathSelection", "&1 - Select Folder");
    auto* l1 = new QGridLayout(g1);
    Dir1 = new platform::DirListBox(g1);
    Dir1->setObjectName("Dir1");
    Dir1->setAccessibleName(platform::VisibleCaption(g1->title()));
    fileList = new gui::FileList(g1);
    fileList->setPattern("*_ph.tif");
    File1 = fileList;
    cmdBrowse = Make<QPushButton>(g1, "cmdBrowse", "&Browse...");
    lblCurrentPath = Make<QLabel>(g1, "lblCurrentPath", "Current Path");
    // The file list is read by its caption; the count under it is a label of its own.
    auto* lblPhaseImages = Make<QLabel>(g1, "lblPhaseImages", "Phase Images");
    lblPhaseImages->setBuddy(fileList);
    fileList->setAccessibleName(platform::VisibleCaption(lblPhaseImages->text()));
    lblPhaseImageCount = Make<QLabel>(g1, "lblPhaseImageCount", "Phase Image Count");
    l1->addWidget(lblCurrentPath, 0, 0, 1, 2);
    l1->addWidget(lblPhaseImages, 1, 1);
    l1->addWidget(Dir1, 2, 0);
    l1->addWidget(fileList, 2, 1);
    l1->addWidget(cmdBrowse, 3, 0);
    l1->addWidget(lblPhaseImageCount, 3, 1);
    column.addWidget(g1);
}

// 2 - Analysis Parameters
void FrmBatchProcessing::BuildAnalysisStep(QBoxLayout& column)
{
    QGroupBox* g2 = Step(this, "lblAnalysisParameters", "&2 - Analysis Parameters");
    auto* l2 = new QGridLayout(g2);
    lblGrating = Make<QLabel>(g2, "lblGrating", "Grating (&lpi)");
    lblGrating->setEnabled(false);
    cmbGrating = MakeCombo(g2, "cmbGrating", gui::GratingItems(), "Grating (lpi)");
    auto* lblRotation = Make<QLabel>(g2, "lblRotation", "Rotation");
    cmbRotation = MakeCombo(g2, "cmbRotation", gui::RotationItems(), "Rotation");
    chkFringeValuetxt = Make<QCheckBox>(g2, "chkFringeValuetxt", "&Use FringeValue.txt");
    chkExclude128 = Make<QCheckBox>(g2, "chkExclude128", "&Exclude 128");
    chkPhaseFilter = Make<QCheckBox>(g2, "chkPhaseFilter", "Phase &Filter");
    chkCompensate = Make<QCheckBox>(g2, "chkCompensate", "Co&mpensate");
    chkNormalizeDiagonal = Make<QCheckBox>(g2, "chkNormalizeDiagonal", "Normali&ze Diagonal");
    chkUseMask = Make<QCheckBox>(g2, "chkUseMask", "Mas&k with:");
    lblBatchMask = Make<QLabel>(g2, "lblBatchMask", "No File Selected");
    lblBatchMask->setEnabled(false);
    cmdSelectMask = Make<QPushButton>(g2, "cmdSelectMask", "Selec&t File...");
    lblLateralDimensions = Make<QLabel>(g2, "lblLateralDimensions", "X/Y Dimensions");
    auto* lblSampleWidth = Make<QLabel>(g2, "lblSampleWidth", "&Width (X)");
    txtSampleWidth = MakeEdit(g2, "txtSampleWidth", "Width (X)");
    auto* lblSampleHeight = Make<QLabel>(g2, "lblSampleHeight", "Height (&Y)");
    txtSampleHeight = MakeEdit(g2, "txtSampleHeight", "Height (Y)");
    int r = 0;
    for (auto [label, box] : {std::pair<QLabel*, QWidget*>{lblGrating, cmbGrating}, {lblRotation, cmbRotation}}) {
        label->setBuddy(box);
        l2->addWidget(label, r, 0);
        l2->addWidget(box, r++, 1);
    }
    l2->addWidget(chkFringeValuetxt, r, 0);
    l2->addWidget(chkExclude128, r++, 1);
    l2->addWidget(chkPhaseFilter, r, 0);
    l2->addWidget(chkCompensate, r++, 1);
    l2->addWidget(chkNormalizeDiagonal, r++, 0);
    l2->addWidget(chkUseMask, r, 0);
    l2->addWidget(lblBatchMask, r++, 1);
    l2->addWidget(cmdSelectMask, r++, 1);
    l2->addWidget(lblLateralDimensions, r++, 0, 1, 2);
    for (auto [label, box] : {std::pair{lblSampleWidth, txtSampleWidth}, std::pair{lblSampleHeight, txtSampleHeight}}) {
        label->setBuddy(box);
        l2->addWidget(label, r, 0);
        l2->addWidget(box, r++, 1);
    }
    column.addWidget(g2);
}

// 3 - Process
void FrmBatchProcessing::BuildProcessStep(QBoxLayout& column)
{
    QGroupBox* g3 = Step(this, "lblThree", "&3 - Process");
    auto* l3 = new QVBoxLayout(g3);
    cmdGetBatchData = Make<QPushButton>(g3, "cmdGetBatchData", "&Get Batch Data");
    lblNumberOfImagesProcessed = Make<QLabel>(g3, "lblNumberOfImagesProcessed", "Number of Images Processed: 0");
    ProgressBar1 = new QProgressBar(g3);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setAccessibleName(platform::VisibleCaption(g3->title()));
    ProgressBar1->setVisible(false);
    ProgressBar2 = new QProgressBar(g3);
    ProgressBar2->setObjectName("ProgressBar2");
    ProgressBar2->setAccessibleName(platform::VisibleCaption(g3->title()));
    ProgressBar2->setValue(0);
    cmdViewErrors = Make<QPushButton>(g3, "cmdViewErrors", "&View Errors...");
    cmdViewErrors->setVisible(false);
    for (QWidget* w : std::initializer_list<QWidget*>{cmdGetBatchData, lblNumberOfImagesProcessed, ProgressBar1,
                                                      ProgressBar2, cmdViewErrors})
        l3->addWidget(w);
    column.addWidget(g3);
}

// 4 - Data Summary (its caption is a label: the units dialog writes the Z
// unit into it)
void FrmBatchProcessing::BuildSummaryStep(QBoxLayout& column)
{
    QGroupBox* g4 = Step(this, "grpDataSummary", "");
    auto* l4 = new QVBoxLayout(g4);
    lblDataSummary = Make<QLabel>(g4, "lblDataSummary", "4 - Data Summary");
    l4->addWidget(lblDataSummary);
    Grid1 = new QTableWidget(g4);
    Grid1->setObjectName("Grid1");
    lblDataSummary->setBuddy(Grid1);
    platform::ShowCaption(*lblDataSummary, lblDataSummary->text());
    Grid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lblDataType = Make<QLabel>(g4, "lblDataType", "Data Type:");
    lblDataType->setVisible(false);
    lblImagesProcessed = Make<QLabel>(g4, "lblImagesProcessed", "Images Processed:");
    lblImagesProcessed->setVisible(false);
    auto* labels = new QGridLayout;
    lblMaxZ = Make<QLabel>(g4, "lblMaxZ", "Max Z:");
    lblMinZ = Make<QLabel>(g4, "lblMinZ", "Min Z:");
    lblMaxCoplanarity = Make<QLabel>(g4, "lblMaxCoplanarity", "Max Coplanarity:");
    lblMinAB = Make<QLabel>(g4, "lblMinAB", "Min AB");
    lblMaxAB = Make<QLabel>(g4, "lblMaxAB", "Max AB:");
    lblMinCD = Make<QLabel>(g4, "lblMinCD", "Min CD:");
    lblMaxCD = Make<QLabel>(g4, "lblMaxCD", "Max CD:");
    labels->addWidget(lblMaxZ, 0, 0);
    labels->addWidget(lblMinZ, 0, 1);
    labels->addWidget(lblMaxCoplanarity, 0, 2);
    labels->addWidget(lblMinAB, 1, 0);
    labels->addWidget(lblMaxAB, 1, 1);
    labels->addWidget(lblMinCD, 1, 2);
    labels->addWidget(lblMaxCD, 1, 3);
    l4->addWidget(lblDataType);
    l4->addWidget(lblImagesProcessed);
    l4->addWidget(Grid1, 1);
    l4->addLayout(labels);
    column.addWidget(g4, 1);
}

// 5 - Output, 6 - Graph Scaling, 7 - Process
void FrmBatchProcessing::BuildOutputSteps(QBoxLayout& column)
{
    auto* bottom = new QHBoxLayout;
    QGroupBox* g5 = Step(this, "lblOutput", "&5 - Output");
    auto* l5 = new QGridLayout(g5);
    chk3DPlot = Make<QCheckBox>(g5, "chk3DPlot", "3D &Surface Plot");
    chkContour = Make<QCheckBox>(g5, "chkContour", "Co&ntour Plot");
    chkDiagonal = Make<QCheckBox>(g5, "chkDiagonal", "Diagonal &Plot");
    chkSaveData = Make<QCheckBox>(g5, "chkSaveData", "D&ata File");
    chkReduceData = Make<QCheckBox>(g5, "chkReduceData", "Reduce &Data");
    chkReduceData->setChecked(true);
    chkReduceData->setEnabled(false);
    cmdConfigure3D = Make<QPushButton>(g5, "cmdConfigure3D", "Conf&igure....");
    cmdCreateLegend = Make<QPushButton>(g5, "cmdCreateLegend", "C&reate Legend...");
    l5->addWidget(chk3DPlot, 0, 0);
    l5->addWidget(chkContour, 1, 0);
    l5->addWidget(chkDiagonal, 2, 0);
    l5->addWidget(chkSaveData, 3, 0);
    l5->addWidget(chkReduceData, 0, 1);
    l5->addWidget(cmdConfigure3D, 2, 1);
    l5->addWidget(cmdCreateLegend, 3, 1);
    bottom->addWidget(g5);

    // The range boxes are wide enough for the longest value a plot range may take.
    QGroupBox* g6 = Step(this, "lblScaling", "&6 - Graph Scaling");
    auto* l6 = new QGridLayout(g6);
    const struct {
        QLineEdit** box;
        const char *boxName, *labelName, *caption;
    } ranges[] = {{&txtZmin, "txtZmin", "lblZmin", "Z Min"},
                  {&txtZmax, "txtZmax", "lblZmax", "Z Max"},
                  {&txtDiagMin, "txtDiagMin", "lblDiagMin", "Diagonal Min"},
                  {&txtDiagMax, "txtDiagMax", "lblDiagMax", "Diagonal Max"}};
    int r = 0;
    for (const auto& range : ranges) {
        auto* label = Make<QLabel>(g6, range.labelName, range.caption);
        QLineEdit* box = MakeEdit(g6, range.boxName, range.caption);
        box->setMinimumWidth(RangeBoxWidth(*box));
        label->setBuddy(box);
        *range.box = box;
        l6->addWidget(label, r, 0);
        l6->addWidget(box, r++, 1);
    }
    bottom->addWidget(g6);

    QGroupBox* g7 = Step(this, "lblSeven", "&7 - Process");
    auto* l7 = new QVBoxLayout(g7);
    cmdGenerateOutput = Make<QPushButton>(g7, "cmdGenerateOutput", "Generate &Output");
    cmdGenerateOutput->setEnabled(false);
    cmdViewThumbnails = Make<QPushButton>(g7, "cmdViewThumbnails", "View T&humbnails");
    cmdViewThumbnails->setEnabled(false);
    cmdClose = Make<QPushButton>(g7, "cmdClose", "&Close");
    l7->addWidget(cmdGenerateOutput);
    l7->addWidget(cmdViewThumbnails);
    l7->addWidget(cmdClose);
    bottom->addWidget(g7);
    column.addLayout(bottom);
}

void FrmBatchProcessing::Wire()
{
    connect(cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
    connect(Dir1, &platform::DirListBox::pathChanged, this, [this] { Dir1_Change(); });
    connect(chkCompensate, &QCheckBox::toggled, this, [this] { chkCompensate_Click(); });
    connect(chkFringeValuetxt, &QCheckBox::toggled, this, [this] { chkFringeValuetxt_Click(); });
    for (QCheckBox* c : {chkExclude128, chkPhaseFilter, chkNormalizeDiagonal})
        connect(c, &QCheckBox::toggled, this, [] { core::ResetBatchSummary(); });
    for (QComboBox* c : {cmbGrating, cmbRotation})
        connect(c, &QComboBox::currentIndexChanged, this, [] { core::ResetBatchSummary(); });
    connect(chk3DPlot, &QCheckBox::toggled, this, [this] { chkOutputPlot_Click(chk3DPlot); });
    connect(chkContour, &QCheckBox::toggled, this, [this] { chkOutputPlot_Click(chkContour); });
    connect(chkUseMask, &QCheckBox::toggled, this, [this] { chkUseMask_Click(); });
    connect(cmdSelectMask, &QPushButton::clicked, this, [this] { cmdSelectMask_Click(); });
    for (QLineEdit* e : {txtSampleWidth, txtSampleHeight})
        connect(e, &QLineEdit::textChanged, this, [this, e] { SizeBox_Change(e); });
    for (QLineEdit* e : {txtSampleWidth, txtSampleHeight, txtZmin, txtZmax, txtDiagMin, txtDiagMax})
        e->installEventFilter(this);
    connect(cmdGetBatchData, &QPushButton::clicked, this, [this] { StartRun(false, -1); });
    connect(Grid1, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) { Grid1_DblClick(row, column); });
    connect(cmdViewErrors, &QPushButton::clicked, this, [this] { cmdViewErrors_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
    // Commands provided by the batch output and its configuration window.
    connect(cmdGenerateOutput, &QPushButton::clicked, this, [this] {
        if (onGenerateOutput) onGenerateOutput();
    });
    connect(cmdCreateLegend, &QPushButton::clicked, this, [this] {
        if (onCreateLegend) onCreateLegend();
    });
    connect(cmdConfigure3D, &QPushButton::clicked, this, [this] {
        if (onConfigure) onConfigure();
    });
    connect(cmdViewThumbnails, &QPushButton::clicked, this, [this] {
        if (onViewThumbnails) onViewThumbnails();
    });
}

// ------------------------------------------------------------------ folder

void FrmBatchProcessing::cmdBrowse_Click()
{
    platform::FolderBrowseRequest request;
    request.title = "Browse For Folder";
    request.prompt = "Select the folder containing the phase images to process:";
    request.root = "Desktop";
    request.initialFolder = S(Dir1->path());
    const platform::FolderBrowseResult r = platform::BrowseForFolder(request);
    if (!r.confirmed)
        return;
    if (!platform::IsFolder(r.folder)) {
        model::ShowMsg("Device unavailable", 16, "Folder Access Error");
        return;
    }
    SetFolder(r.folder);
    Dir1_Change();
}

// The folder as the file system names it; the folder list shows it as text.
void FrmBatchProcessing::SetFolder(const std::string& folder)
{
    folder_ = folder;
    const QSignalBlocker quiet(Dir1);
    Dir1->setFolder(folder);
}

void FrmBatchProcessing::Dir1_Change()
{
    // The folder list keeps the bytes of the folder chosen in it (a name
    // that is not UTF-8 shows with U+FFFD in the list).
    if (platform::CanonicalPath(folder_) != Dir1->folder())
        folder_ = Dir1->folder();
    core::ResetBatchSummary();
    ListFolder();
    lblCurrentPath->setText(Dir1->path());
}

// The file list shows the folder's phase images, by the names on disk.
void FrmBatchProcessing::ListFolder()
{
    fileList->setPath(NameText(folder_));
    if (!SurvivesNameEncoding(folder_)) {
        fileList->clear();
        for (const std::string& name : platform::ListFiles(folder_, S(fileList->pattern())))
            fileList->addItem(NameText(name));
    }
    ShowPhaseImageCount();
}

void FrmBatchProcessing::ShowPhaseImageCount()
{
    lblPhaseImageCount->setText("Phase Image Count: " + QString::number(fileList->listCount()));
}

// ----------------------------------------------------------------- options

void FrmBatchProcessing::chkCompensate_Click()
{
    if (chkCompensate->isChecked()) {
        // A setting pushed at start-up comes before the compensation table and
        // the units; the run checks the area again before it starts.
        if (!model::state.StartupInProgress) {
            const CompensationCheck c = CheckBatchCompensation(cmbGrating->currentIndex(), S(txtSampleWidth->text()),
                                                               S(txtSampleHeight->text()));
            if (!c.ok()) {
                model::ShowMsg(c.message, 16, c.title);
                if (c.sizesMissing)
                    txtSampleWidth->setFocus();
                chkCompensate->setChecked(false);
                return;
            }
        }
        lblGrating->setEnabled(true);
        core::ResetBatchSummary();
    } else {
        if (!chkFringeValuetxt->isChecked())
            lblGrating->setEnabled(false);
        core::ResetBatchSummary();
    }
}

void FrmBatchProcessing::chkFringeValuetxt_Click()
{
    core::ResetBatchSummary();
    if (chkFringeValuetxt->isChecked())
        lblGrating->setEnabled(true);
    else if (!chkCompensate->isChecked())
        lblGrating->setEnabled(false);
}

void FrmBatchProcessing::chkOutputPlot_Click(QCheckBox* clicked)
{
    if (clicked->isChecked())
        chkReduceData->setEnabled(true);
    else if (!chk3DPlot->isChecked() && !chkContour->isChecked())
        chkReduceData->setEnabled(false);
}

void FrmBatchProcessing::chkUseMask_Click()
{
    if (chkUseMask->isChecked() && core::EqualsNoCase(S(lblBatchMask->text()), "No file selected"))
        cmdSelectMask_Click();
    lblBatchMask->setEnabled(chkUseMask->isChecked());
    core::ResetBatchSummary();
}

void FrmBatchProcessing::cmdSelectMask_Click()
{
    for (;;) {
        platform::FileDialogRequest request;
        request.kind = platform::FileDialogRequest::Open;
        request.title = "Load Mask";
        request.filter = "Mask TIF Files (*_msk.tif)|*_msk.tif";
        request.initialFolder = model::files.WorkingFolder;
        const platform::FileDialogResult r = platform::ShowFileDialog(request);
        if (!r.confirmed) {
            if (!lblBatchMask->isEnabled())
                chkUseMask->setChecked(false);
            return;
        }
        model::files.WorkingFolder = platform::FolderOf(r.path);
        const std::string title = platform::FileNameOf(r.path);
        if (!core::MatchesPattern(r.path, "*_msk.tif")) {
            model::ShowMsg(platform::kMsgCannotOpenInvalidFormat, 16, "Load Mask File Error");
            continue;
        }
        cmdSelectMask->setText("Loading");
        const MaskLoad loaded = LoadBatchMask(r.path);
        cmdSelectMask->setText("Selec&t File...");
        if (loaded != MaskLoad::Ok) {
            model::ShowMsg("The file cannot be opened.", 16, "Load Mask File Error");
            if (!lblBatchMask->isEnabled())
                chkUseMask->setChecked(false);
            return;
        }
        lblBatchMask->setText(Q(title));
        lblBatchMask->setEnabled(true);
        chkUseMask->setChecked(true);
        core::ResetBatchSummary();
        return;
    }
}

void FrmBatchProcessing::SizeBox_Change(QLineEdit* box)
{
    const std::string text = S(box->text());
    double v = 0;
    if (text != "." && !(core::ParseNumber(text, &v) && v >= 0) && !text.empty())
        box->setText("");
    core::ResetBatchSummary();
}

bool FrmBatchProcessing::eventFilter(QObject* watched, QEvent* event)
{
    auto* box = qobject_cast<QLineEdit*>(watched);
    // A range box keeps room for its longest value in whatever font it is given.
    if (box && (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) &&
        IsRangeBox(*this, box)) {
        box->setMinimumWidth(RangeBoxWidth(*box));
    } else if (box && event->type() == QEvent::FocusIn) {
        QTimer::singleShot(0, box, [box] { box->selectAll(); });
    } else if (box && event->type() == QEvent::FocusOut) {
        double v = 0;
        const bool numeric = core::ParseNumber(S(box->text()), &v);
        if (box == txtSampleWidth || box == txtSampleHeight) {
            if (!(numeric && v > 0) && !box->text().isEmpty())
                box->setText("");
        } else if (numeric) {
            box->setText(Q(core::FormatNumber(v, model::files.ZFormat)));
        }
    }
    return gui::BatchProcessingWindow::eventFilter(watched, event);
}

// --------------------------------------------------------------------- run

BatchOptions FrmBatchProcessing::GatherOptions()
{
    BatchOptions o;
    ListFolder();
    // The folder and its images by the names on disk, listed as the command
    // line lists them; the run refuses a name the outputs could not carry.
    o.folder = folder_;
    while (o.folder.size() > 1 && o.folder.back() == '/')
        o.folder.pop_back();
    o.files = platform::ListFiles(folder_, S(fileList->pattern()));
    o.headerlessUseFringeFile = false;
    o.analysis.grating = cmbGrating->currentIndex();
    o.analysis.rotation = cmbRotation->currentIndex();
    o.analysis.useFringeFile = Ticked(chkFringeValuetxt);
    o.analysis.exclude128 = Ticked(chkExclude128);
    o.analysis.phaseFilter = Ticked(chkPhaseFilter);
    o.analysis.compensate = Ticked(chkCompensate);
    o.analysis.useMask = Ticked(chkUseMask);
    o.analysis.sampleWidth = S(txtSampleWidth->text());
    o.analysis.sampleHeight = S(txtSampleHeight->text());
    o.normalizeDiagonal = Ticked(chkNormalizeDiagonal);
    o.rotationText = S(cmbRotation->currentText());
    o.maskCaption = S(lblBatchMask->text());
    return o;
}

void FrmBatchProcessing::RunBatchAnalysis(const BatchOptions& o)
{
    BeginJob();
    {
        // The run works in the shared image model: a file handed over by a
        // second start (or a close of the main window) waits for its end.
        platform::JobGuard job("Batch Run");
        lastRun_ = batch::RunBatchAnalysis(o, *this);
    }
    // Past its checks, the run's record is the grid's (outputs only of a
    // completed run); a refused run leaves the grid's record as it was.
    if (lastRun_.started) {
        const bool completed = lastRun_.end == RunEnd::Completed;
        shownProcessed_ = completed ? lastRun_.processed : 0;
        record_ = completed ? lastRun_.record : RunRecord{};
    }
    EndJob();
}

void FrmBatchProcessing::BeginJob()
{
    if (jobs_++ == 0)
        closeRequested_ = false;
}

void FrmBatchProcessing::EndJob()
{
    if (--jobs_ > 0 || !closeRequested_)
        return;
    closeRequested_ = false;
    stopOnClose_ = true;
    cmdClose_Click();
}

void FrmBatchProcessing::ShowOutputEnd(const std::string& text)
{
    lblImagesProcessed->setText(Q(text));
    lblImagesProcessed->setVisible(true);
}

void FrmBatchProcessing::Grid1_DblClick(int row, int column)
{
    if (!cmdGenerateOutput->isEnabled())
        return;
    const QTableWidgetItem* cell = Grid1->item(row, column);
    if (!cell || cell->text().isEmpty())
        return;
    if (shownProcessed_ < 2)
        return;
    const auto& names = record_.options.files;
    if (row < 0 || row >= int(names.size()))
        return;
    const std::string text = std::string("Recalculate displacement data using") + model::CR + "\"" +
                             names[size_t(row)] + "\"" + model::CR + "as the reference image?";
    if (model::ShowMsg(text, 36, "Calculate Relative Data") != platform::kAnsYes)
        return;
    StartRun(true, row);
}

// Get Batch Data runs with the window's options; the grid's relative run
// with those of the run that filled the grid (its folder read again), against
// the image of the row. A run refused before it starts (the reference gone,
// another run writing the folder...) leaves the results shown and the mode,
// reference and record they came from.
void FrmBatchProcessing::StartRun(bool relative, int row)
{
    auto& b = model::batch;
    const bool mode = b.BatchRelativeMode;
    const int16_t index = b.BatchReferenceIndex;
    BatchOptions o;
    if (relative) {
        o = record_.options;
        o.referenceName = record_.options.files[size_t(row)];
        o.files = platform::ListFiles(o.folder, S(fileList->pattern()));
        b.BatchReferenceIndex = static_cast<int16_t>(row);
    } else {
        o = GatherOptions();
    }
    b.BatchRelativeMode = relative;
    RunBatchAnalysis(o);
    if (!lastRun_.started) {
        b.BatchRelativeMode = mode;
        b.BatchReferenceIndex = index;
    }
}

void FrmBatchProcessing::cmdViewErrors_Click()
{
    model::ShowMsg(model::batch.BatchErrorList, 64, "Batch Processing Errors");
}

// The single image's fringe value needs no restoring here: every batch job
// puts the single image's state back when it ends (model::SingleImageHold).
void FrmBatchProcessing::cmdClose_Click()
{
    hide();
    platform::ShowTaskbar();
    core::ResetAnalysisState();
    if (gui::frmAnalysisExists()) {
        gui::FrmAnalysis& main = gui::frmAnalysis();
        main.activateWindow();
        main.setFocus();
    }
}

// Each opening reads the folder again: images written since (by Crop Domains,
// or outside the program) are listed and counted.
void FrmBatchProcessing::showEvent(QShowEvent* event)
{
    gui::BatchProcessingWindow::showEvent(event);
    if (event->spontaneous()) return;
    Dir1->refresh();
    ListFolder();
}

// The close box and Alt+F4 hide the window (Close); during a job they stop
// it, and the window closes when the job has ended.
void FrmBatchProcessing::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (JobRunning())
        closeRequested_ = true;
    else
        cmdClose_Click();
}

void FrmBatchProcessing::changeEvent(QEvent* event)
{
    gui::BatchProcessingWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isVisible() &&
        !(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
        QTimer::singleShot(0, this, [this] { setWindowState(windowState() | Qt::WindowMaximized); });
}

// ------------------------------------------------------- summary and report

void FrmBatchProcessing::ClearBatchSummary()
{
    cmdViewThumbnails->setEnabled(false);
    lblNumberOfImagesProcessed->setStyleSheet("color: black;");
    cmdViewErrors->setVisible(false);
    Grid1->clearContents();
    Grid1->setRowCount(1);
    lblMaxZ->setText("Max Z:");
    lblMinZ->setText("Min Z:");
    const std::string caption = core::BatchRangeCaption(S(cmbRotation->currentText()));
    Grid1->horizontalHeaderItem(4)->setText(Q(caption));
    lblMaxCoplanarity->setText(caption == "Coplanarity" ? "Max Coplanarity:" : "Max Deflection:");
    lblMinAB->setText("Min AB:");
    lblMaxAB->setText("Max AB:");
    lblMinCD->setText("Min CD:");
    lblMaxCD->setText("Max CD:");
    txtZmax->clear();
    txtZmin->clear();
    txtDiagMax->clear();
    txtDiagMin->clear();
    cmdGenerateOutput->setEnabled(false);
    ProgressBar2->setValue(0);
    lblNumberOfImagesProcessed->setText("Number of Images Processed: 0");
    lblDataType->setVisible(false);
    lblImagesProcessed->setVisible(false);
    // The grid shows no results: there is no run to output.
    record_ = RunRecord{};
    shownProcessed_ = 0;
}

void FrmBatchProcessing::UncheckCompensate() { chkCompensate->setChecked(false); }
void FrmBatchProcessing::FocusSampleWidth() { txtSampleWidth->setFocus(); }
void FrmBatchProcessing::SetWindowEnabled(bool enabled) { setEnabled(enabled); }
void FrmBatchProcessing::SetCurrentPath(const std::string& folder) { lblCurrentPath->setText(Q(folder)); }

void FrmBatchProcessing::SetProcessedLabel(const std::string& text, bool red)
{
    lblNumberOfImagesProcessed->setText(Q(text));
    lblNumberOfImagesProcessed->setStyleSheet(red ? "color: #ff0000;" : "color: black;");
}

void FrmBatchProcessing::ShowProgress(bool shown) { ProgressBar1->setVisible(shown); }

void FrmBatchProcessing::SetProgress(int value, int maximum)
{
    ProgressBar1->setMaximum(maximum);
    ProgressBar1->setValue(value);
}

void FrmBatchProcessing::SetDataType(const std::string& text)
{
    lblDataType->setText(Q(text));
    lblDataType->setVisible(true);
}

void FrmBatchProcessing::SetGridRowCount(int rows)
{
    Grid1->clearContents();
    Grid1->setRowCount(rows - 1);
}

void FrmBatchProcessing::SetGridRow(int row, const std::vector<std::string>& cells)
{
    for (int c = 0; c < int(cells.size()) && c < Grid1->columnCount(); ++c) {
        auto* item = new QTableWidgetItem(Q(cells[size_t(c)]));
        if (c == 0) item->setTextAlignment(Qt::AlignCenter);
        Grid1->setItem(row - 1, c, item);
    }
}

void FrmBatchProcessing::SetSummary(const SummaryTexts& t)
{
    lblMaxZ->setText(Q(t.maxZ));
    lblMinZ->setText(Q(t.minZ));
    lblMaxCoplanarity->setText(Q(t.maxRange));
    lblMinAB->setText(Q(t.minAB));
    lblMaxAB->setText(Q(t.maxAB));
    lblMinCD->setText(Q(t.minCD));
    lblMaxCD->setText(Q(t.maxCD));
}

void FrmBatchProcessing::SuggestRanges(const std::string& zMin, const std::string& zMax, const std::string& diagMin,
                                       const std::string& diagMax)
{
    txtZmin->setText(Q(zMin));
    txtZmax->setText(Q(zMax));
    txtDiagMin->setText(Q(diagMin));
    txtDiagMax->setText(Q(diagMax));
}

void FrmBatchProcessing::EnableGenerateOutput() { cmdGenerateOutput->setEnabled(true); }
void FrmBatchProcessing::ShowViewErrors() { cmdViewErrors->setVisible(true); }
void FrmBatchProcessing::Yield() { platform::YieldToUi(); }

// ---------------------------------------------------------------- instance

FrmBatchProcessing& frmBatchProcessing()
{
    auto* w = dynamic_cast<FrmBatchProcessing*>(&gui::frmBatchProcessing());
    Q_ASSERT_X(w, "batch", "InstallBatchWindows() was not called before the first use of the batch window");
    return *w;
}

gui::BatchProcessingWindow* NewBatchProcessingWindow() { return new FrmBatchProcessing; }

void InstallBatchWindows()
{
    gui::WindowFactories f;
    f.frmBatchProcessing = NewBatchProcessingWindow;
    gui::SetWindowFactories(f);
}

} // namespace batch
