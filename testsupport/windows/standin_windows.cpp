// The stand-in windows of the tests (see standin_windows.h).
#include "testsupport/windows/standin_windows.h"

#include "app/core/gui/frm_analysis.h"
#include "app/core/model/model.h"
#include "app/core/reset.h"

#include <QVBoxLayout>

namespace testsupport::standins {

using namespace gui;
namespace {

QCheckBox* Check(QWidget* w, const char* name, const QString& text)
{
    auto* c = new QCheckBox(text, w);
    c->setObjectName(name);
    w->layout()->addWidget(c);
    return c;
}

QLineEdit* Edit(QWidget* w, const char* name)
{
    auto* e = new QLineEdit(w);
    e->setObjectName(name);
    e->setAccessibleName(name);
    w->layout()->addWidget(e);
    return e;
}

QLabel* Label(QWidget* w, const char* name, const QString& text)
{
    auto* l = new QLabel(text, w);
    l->setObjectName(name);
    w->layout()->addWidget(l);
    return l;
}

QPushButton* Button(QWidget* w, const char* name, const QString& text)
{
    auto* b = new QPushButton(text, w);
    b->setObjectName(name);
    w->layout()->addWidget(b);
    return b;
}

QComboBox* Combo(QWidget* w, const char* name, const QStringList& items)
{
    auto* c = new QComboBox(w);
    c->setObjectName(name);
    c->setAccessibleName(name);
    c->addItems(items);
    w->layout()->addWidget(c);
    return c;
}

QRadioButton* Option(QWidget* w, const char* name, const QString& text)
{
    auto* o = new QRadioButton(text, w);
    o->setObjectName(name);
    w->layout()->addWidget(o);
    return o;
}

QScrollBar* Scroll(QWidget* w, const char* name)
{
    auto* s = new QScrollBar(Qt::Horizontal, w);
    s->setObjectName(name);
    s->setAccessibleName(name);
    w->layout()->addWidget(s);
    return s;
}

const QStringList kAppearance = {"ColorFill", "GrayFill", "ColorLine", "BlackLine"};

} // namespace

Chart3D::Chart3D()
{
    setObjectName("frm3DChart");
    new QVBoxLayout(this);
    header = Label(this, "ChartHeader", "");
    footer = Label(this, "ChartFooter", "");
    chkReduceData = Check(this, "chkReduceData", "Reduce Data");
    chkReduceData->setChecked(true);
    chkLegend = Check(this, "chkLegend", "Legend");
    txtHeader = Edit(this, "txtHeader");
    txtFooter = Edit(this, "txtFooter");
    txtAltitude = Edit(this, "txtAltitude");
    txtRotation = Edit(this, "txtRotation");
}

void Chart3D::Setup3DChart(bool reduced)
{
    ++setupCalls;
    lastReduced = reduced;
}

Contour::Contour()
{
    setObjectName("frmContour");
    new QVBoxLayout(this);
    header = Label(this, "ChartHeader", "");
    footer = Label(this, "ChartFooter", "");
    chkReduceData = Check(this, "chkReduceData", "Reduce Data");
    chkReduceData->setChecked(true);
    chkLegend = Check(this, "chkLegend", "Legend");
    txtHeader = Edit(this, "txtHeader");
    txtFooter = Edit(this, "txtFooter");
    cmdCustomize = Button(this, "cmdCustomize", "Show Options");
    cmdPrintCntr = Button(this, "cmdPrintCntr", "Print");
    cmdSave = Button(this, "cmdSave", "Save");
    cmbAppearance = Combo(this, "cmbAppearance", kAppearance);
}

void Contour::SetupContourChart(int cols, int rows, bool reduce)
{
    ++setupCalls;
    lastCols = cols;
    lastRows = rows;
    lastReduce = reduce;
}

void Contour::cmdCustomize_Click()
{
    optionsShown = !optionsShown;
    cmdCustomize->setText(optionsShown ? "Hide Options" : "Show Options");
}

Diagonal::Diagonal()
{
    setObjectName("frmDiagonal");
    new QVBoxLayout(this);
    header = Label(this, "ChartHeader", "");
    txtHeader = Edit(this, "txtHeader");
}

ChordPlot::ChordPlot()
{
    setObjectName("frmChordPlot");
    new QVBoxLayout(this);
}

BatchProcessing::BatchProcessing()
{
    setObjectName("frmBatchProcessing");
    new QVBoxLayout(this);
    cmbGrating = Combo(this, "cmbGrating", GratingItems());
    cmbRotation = Combo(this, "cmbRotation", RotationItems());
    chkFringeValuetxt = Check(this, "chkFringeValuetxt", "Use FringeValue.txt");
    chkExclude128 = Check(this, "chkExclude128", "Exclude 128");
    chkPhaseFilter = Check(this, "chkPhaseFilter", "Phase Filter");
    chkCompensate = Check(this, "chkCompensate", "Compensate");
    chkUseMask = Check(this, "chkUseMask", "Mask with:");
    chkNormalizeDiagonal = Check(this, "chkNormalizeDiagonal", "Normalize Diagonal");
    chk3DPlot = Check(this, "chk3DPlot", "3D Plot");
    chkContour = Check(this, "chkContour", "Contour");
    chkDiagonal = Check(this, "chkDiagonal", "Diagonal");
    chkSaveData = Check(this, "chkSaveData", "Save Data");
    chkReduceData = Check(this, "chkReduceData", "Reduce Data");
    txtSampleWidth = Edit(this, "txtSampleWidth");
    txtSampleHeight = Edit(this, "txtSampleHeight");
    lblLateralDimensions = Label(this, "lblLateralDimensions", "X/Y Dimensions");
    lblDataSummary = Label(this, "lblDataSummary", "4 - Data Summary");
    lblPhaseImageCount = Label(this, "lblPhaseImageCount", "Phase Image Count: 0");
    list = new FileList(this);
    layout()->addWidget(list);
    File1 = list;
}

BatchConfiguration::BatchConfiguration()
{
    setObjectName("frmBatchConfiguration");
    new QVBoxLayout(this);
    auto* data = new QWidget(this);
    new QVBoxLayout(data);
    layout()->addWidget(data);
    optText = Option(data, "optText", "Text");
    optBinary = Option(data, "optBinary", "Binary");
    optText->setChecked(true);
    auto* graph = new QWidget(this);
    new QVBoxLayout(graph);
    layout()->addWidget(graph);
    optBitmap = Option(graph, "optBitmap", "BMP");
    optJPG = Option(graph, "optJPG", "JPG");
    optBitmap->setChecked(true);
    txtAltitude = Edit(this, "txtAltitude");
    txtRotation = Edit(this, "txtRotation");
    cmbAppearance = Combo(this, "cmbAppearance", kAppearance);
}

BurnMask::BurnMask()
{
    setObjectName("frmBurnMask");
    new QVBoxLayout(this);
    lblPhaseImageCount = Label(this, "lblPhaseImageCount", "Phase Image Count: 0");
    list = new FileList(this);
    layout()->addWidget(list);
    File1 = list;
}

PhaseImage::PhaseImage()
{
    setObjectName("frmPhaseImage");
    new QVBoxLayout(this);
    bufDisplay = Label(this, "bufDisplay", "");
    bufDisplay->setAccessibleName("bufDisplay");
    cmdCropImage = Button(this, "cmdCropImage", "Crop Image");
    cmdPartitionAndCrop = Button(this, "cmdPartitionAndCrop", "Partition and Crop");
    cmdClearPartition = Button(this, "cmdClearPartition", "Clear Partition");
    cmdCropDomains = Button(this, "cmdCropDomains", "Crop Domains");
    lblDomainSelect = Label(this, "lblDomainSelect", "Domain Select");
    cmbDomains = Combo(this, "cmbDomains", {});
    cmdClearMask = Button(this, "cmdClearMask", "Clear Mask");
    cmdBurnMask = Button(this, "cmdBurnMask", "Burn Mask");
    cmdBatchBurn = Button(this, "cmdBatchBurn", "Batch Burn");
    cmdLoadMask = Button(this, "cmdLoadMask", "Load Mask");
    cmdCreateMask = Button(this, "cmdCreateMask", "Create Mask");
    hscCenterX = Scroll(this, "hscCenterX");
    hscCenterY = Scroll(this, "hscCenterY");
    hscSizeX = Scroll(this, "hscSizeX");
    hscSizeY = Scroll(this, "hscSizeY");
    lblCenterX = Label(this, "lblCenterX", "Center X");
    lblCenterY = Label(this, "lblCenterY", "Center Y");
    lblSizeX = Label(this, "lblSizeX", "Size X");
    lblSizeY = Label(this, "lblSizeY", "Size Y");
    connect(cmbDomains, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int) { cmbDomains_Click(); });
}

void PhaseImage::cmdClearMask_Click()
{
    ++clearMaskCalls;
    model::state.MaskInMemory = false;
    model::images.MaskImage.clear();
    core::ResetAnalysisState();
}

void PhaseImage::cmdClearPartition_Click()
{
    ++clearPartitionCalls;
    model::state.PartitionInMemory = false;
    model::maskPartition.DomainCount = 0;
    cmbDomains->clear();
    frmAnalysis().cmbDomain->clear();
    core::ResetAnalysisState();
}

void PhaseImage::ShowPicture(const QImage& picture)
{
    bufDisplay->setPixmap(QPixmap::fromImage(picture));
}

ThumbnailView::ThumbnailView()
{
    setObjectName("frmThumbnailView");
    new QVBoxLayout(this);
}

void ThumbnailView::DisplayThumbnailView()
{
    ++displayCalls;
    show();
}

WindowFactories Factories()
{
    WindowFactories f;
    f.frm3DChart = [] { return new Chart3D; };
    f.frmContour = [] { return new Contour; };
    f.frmDiagonal = [] { return new Diagonal; };
    f.frmChordPlot = [] { return new ChordPlot; };
    f.frmBatchProcessing = [] { return new BatchProcessing; };
    f.frmBatchConfiguration = [] { return new BatchConfiguration; };
    f.frmBurnMask = [] { return new BurnMask; };
    f.frmPhaseImage = [] { return new PhaseImage; };
    f.frmThumbnailView = [] { return new ThumbnailView; };
    return f;
}

void InstallStandinWindows() { SetWindowFactories(Factories()); }

} // namespace testsupport::standins
