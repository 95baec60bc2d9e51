#include "app/core/gui/frm_units.h"

#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/windows.h"
#include "app/core/model/model.h"
#include "app/core/figures.h"
#include "app/core/runtime.h"
#include "platform/accessibility.h"
#include "platform/wildcard.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPointer>
#include <QVBoxLayout>

namespace gui {
namespace {

QGroupBox* Frame(QWidget* parent, const char* name, const char* labelName, const QString& caption, QLabel** label,
                 QRadioButton** first, const char* firstName, const QString& firstText, QRadioButton** second,
                 const char* secondName, const QString& secondText)
{
    auto* box = new QGroupBox(parent);
    box->setObjectName(name);
    box->setAccessibleName(caption);
    auto* lay = new QVBoxLayout(box);
    *label = new QLabel(caption, box);
    (*label)->setObjectName(labelName);
    QFont f = (*label)->font();
    f.setBold(true);
    (*label)->setFont(f);
    lay->addWidget(*label);
    *first = new QRadioButton(firstText, box);
    (*first)->setObjectName(firstName);
    *second = new QRadioButton(secondText, box);
    (*second)->setObjectName(secondName);
    lay->addWidget(*first);
    lay->addWidget(*second);
    (*first)->setChecked(true);
    return box;
}

// A job window's file list follows the phase-image format; its counter shows
// how many files that leaves.
template <typename JobWindow>
void ListPhaseImages(JobWindow& w, const QString& pattern)
{
    if (!w.File1) return;
    w.File1->SetPattern(pattern);
    if (w.lblPhaseImageCount)
        platform::ShowCaption(*w.lblPhaseImageCount, "Phase Image Count: " + QString::number(w.File1->FileCount()));
}

} // namespace

FrmUnits::FrmUnits(QWidget* parent) : QWidget(parent)
{
    setObjectName("frmUnits");
    setWindowTitle("Sorvanta Setup");
    setWindowFlag(Qt::Dialog);   // the units dialog, shown without a parent
    auto* lay = new QVBoxLayout(this);
    fraSampleDimensions = Frame(this, "fraSampleDimensions", "lblSampleDimensions", "X/Y Dimensions",
                                &lblSampleDimensions, &optEnglishIn, "optEnglishIn", "English (&in.)", &optMetricmm,
                                "optMetricmm", "Metric (&mm)");
    fraDisplacement = Frame(this, "fraDisplacement", "lblDisplacement", "Z-Displacement", &lblDisplacement,
                            &optEnglishMils, "optEnglishMils", "English (mi&ls)", &optMetricMicrons,
                            "optMetricMicrons", "Metric (mi&crons)");
    fraImageFileFormat = Frame(this, "fraImageFileFormat", "lblImageFormat", "Phase Image File Format",
                               &lblImageFormat, &optTif, "optTif", "&TIF (Varnholde)", &optBitmap, "optBitmap",
                               "&BMP  (Orrindale)");
    lay->addWidget(fraSampleDimensions);
    lay->addWidget(fraDisplacement);
    lay->addWidget(fraImageFileFormat);
    cmdOK = new QPushButton("&OK", this);
    cmdOK->setObjectName("cmdOK");
    cmdOK->setDefault(true);
    lay->addWidget(cmdOK);
    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    setFocusProxy(cmdOK);
}

void FrmUnits::ApplyUnitsToBatchForm()
{
    auto& files = model::files;
    FrmAnalysis& main = frmAnalysis();
    BatchProcessingWindow& batch = frmBatchProcessing();

    files.XYUnits = optEnglishIn->isChecked() ? "in" : "mm";
    const QString xy = "X/Y Dimensions (" + QString::fromStdString(files.XYUnits) + ")";
    main.lblLateralDimensions->setText(xy);
    if (batch.lblLateralDimensions) batch.lblLateralDimensions->setText(xy);

    if (optEnglishMils->isChecked()) {
        files.ZUnits = "mils";
        files.ZFormat = "0.0";
    } else {
        files.ZUnits = "microns";
        files.ZFormat = "0";
    }
    main.lblZUnits->setText("(" + QString::fromStdString(files.ZUnits) + ")");
    for (QLabel* figure : {main.lblMaxZValue, main.lblMinZValue, main.lblCoplanarityData})
        figure->setAccessibleDescription(QString::fromStdString(files.ZUnits));
    if (batch.lblDataSummary)
        platform::ShowCaption(*batch.lblDataSummary, "4 - Data Summary (" + QString::fromStdString(files.ZUnits) + ")");

    if (!optTif->isChecked()) {
        files.ImageFileFormat = "BMP";
        main.cmdAutoLoadImagePH->setVisible(true);
        // Hidden boxes are unticked too: a tick from the settings would
        // otherwise compensate where no compensation can be chosen.
        main.chkCompensate->setChecked(false);
        main.chkCompensate->setVisible(false);
        if (batch.chkCompensate) {
            batch.chkCompensate->setChecked(false);
            batch.chkCompensate->setVisible(false);
        }
    } else {
        files.ImageFileFormat = "TIF";
    }

    const QString pattern = "*_ph." + QString::fromStdString(files.ImageFileFormat).toLower();
    ListPhaseImages(batch, pattern);
    ListPhaseImages(frmBurnMask(), pattern);
}

void FrmUnits::cmdOK_Click()
{
    if (confirmed_) return;   // shown once per run
    confirmed_ = true;
    auto& files = model::files;
    ApplyUnitsToBatchForm();
    core::SetUnitScaleFactor();
    model::state.StartupInProgress = false;
    hide();

    FrmAnalysis& main = frmAnalysis();
    const std::string pending = files.PendingFile;
    if (!pending.empty()) {
        if (platform::WildcardMatch("*Phase.tif", pending)) main.cmdMask->setEnabled(false);
        if (!platform::WildcardMatch("*NoPhase.tif", pending)) {
            main.LoadPhaseImage(pending);
            main.ShowWindow();
            files.UnitsDialogPending = false;
            return;
        }
    }
    main.ShowBlankPicture();
    main.ShowWindow();
    files.UnitsDialogPending = false;
    main.cmdLoadFile_Click();
}

void FrmUnits::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        cmdOK_Click();
        return;
    }
    e->ignore();
}

void FrmUnits::closeEvent(QCloseEvent* e)
{
    cmdOK_Click();
    e->accept();
}

FrmUnits& frmUnits()
{
    static QPointer<FrmUnits> instance;
    if (!instance) instance = new FrmUnits;
    return *instance;
}

} // namespace gui
