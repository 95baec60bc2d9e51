#include "app/core/gui/settings_forms.h"

#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/frm_units.h"
#include "app/core/gui/windows.h"
#include "app/core/grating.h"
#include "app/core/runtime.h"
#include "platform/folders.h"
#include "platform/qtext.h"

namespace gui {
namespace {

using platform::Q;

bool IsOn(const std::string& v) { return core::EqualsNoCase(v, "On"); }
std::string OnOff(const QCheckBox* c) { return c && c->isChecked() ? "On" : "Off"; }

void SetPair(QRadioButton* first, QRadioButton* second, bool firstValue)
{
    if (!first || !second) return;
    (firstValue ? first : second)->setChecked(true);
}

void SetPosition(QComboBox* c, int pos)
{
    if (c && pos >= 0 && pos < c->count()) c->setCurrentIndex(pos);
}

void Tick(QCheckBox* c, bool on)
{
    if (c) c->setChecked(on);
}

void SizeText(QLineEdit* e, float v)
{
    if (e && v != 0) e->setText(Q(core::ShortText(v)));
}

void PushCompensate(QCheckBox* c, const std::string& value, float width, float height, bool tableExists)
{
    if (!c) return;
    if (!tableExists) {
        c->setEnabled(false);
        return;
    }
    if (width != 0 && height != 0) c->setChecked(IsOn(value));
}

QString AngleText(int16_t v) { return QString::number(v); }

} // namespace

void SettingsForms::PushSettings(const model::Settings& s)
{
    FrmUnits& u = frmUnits();
    SetPair(u.optEnglishIn, u.optMetricmm, core::EqualsNoCase(s.SettingXYDimensions, "English"));
    SetPair(u.optEnglishMils, u.optMetricMicrons, core::EqualsNoCase(s.SettingZDisplacement, "English"));
    SetPair(u.optTif, u.optBitmap, core::EqualsNoCase(s.SettingImageFormat, "TIF"));

    const bool tableExists = platform::FileExists(core::GratingCompFilePath());

    FrmAnalysis& a = frmAnalysis();
    SetPosition(a.cmbGrating, core::GratingPosition(s.SettingGrating));
    SetPosition(a.cmbRotation, core::RotationPosition(s.SettingRotation));
    Tick(a.chkFringeValuetxt, IsOn(s.SettingUseFringeValue));
    Tick(a.chkExclude128, IsOn(s.SettingExclude128));
    Tick(a.chkPhaseFilter, IsOn(s.SettingPhaseFilter));
    PushCompensate(a.chkCompensate, s.SettingCompensate, s.SettingWidth, s.SettingHeight, tableExists);
    SizeText(a.txtSampleWidth, s.SettingWidth);
    SizeText(a.txtSampleHeight, s.SettingHeight);
    if (s.SettingZMin != model::NoDataValue)
        a.txtZmin->setText(Q(core::ZLimitText(s.SettingZMin, model::files.ZFormat)));
    if (s.SettingZMax != model::NoDataValue)
        a.txtZmax->setText(Q(core::ZLimitText(s.SettingZMax, model::files.ZFormat)));

    Chart3DWindow& c3 = frm3DChart();
    c3.SetViewElevation(s.SettingPlotAltitude);
    c3.SetViewRotation(s.SettingPlotRotation);
    if (c3.txtAltitude) c3.txtAltitude->setText(AngleText(s.SettingPlotAltitude));
    if (c3.txtRotation) c3.txtRotation->setText(AngleText(s.SettingPlotRotation));
    SetPosition(frmContour().cmbAppearance, core::ContourStylePosition(s.SettingContourStyle));

    BatchProcessingWindow& b = frmBatchProcessing();
    SetPosition(b.cmbGrating, core::GratingPosition(s.SettingBatchGrating));
    SetPosition(b.cmbRotation, core::RotationPosition(s.SettingBatchRotation));
    Tick(b.chkFringeValuetxt, IsOn(s.SettingBatchUseFringeValue));
    Tick(b.chkExclude128, IsOn(s.SettingBatchExclude128));
    Tick(b.chkPhaseFilter, IsOn(s.SettingBatchPhaseFilter));
    PushCompensate(b.chkCompensate, s.SettingBatchCompensate, s.SettingBatchWidth, s.SettingBatchHeight,
                   tableExists);
    Tick(b.chkNormalizeDiagonal, IsOn(s.SettingBatchNormalizeDiagonal));
    SizeText(b.txtSampleWidth, s.SettingBatchWidth);
    SizeText(b.txtSampleHeight, s.SettingBatchHeight);
    if (IsOn(s.SettingBatch3DOutput)) Tick(b.chk3DPlot, true);
    if (IsOn(s.SettingBatchContourOutput)) Tick(b.chkContour, true);
    if (IsOn(s.SettingBatchDiagonalOutput)) Tick(b.chkDiagonal, true);
    if (IsOn(s.SettingBatchDataOutput)) Tick(b.chkSaveData, true);
    if (IsOn(s.SettingBatchReduceData)) Tick(b.chkReduceData, true);

    BatchConfigurationWindow& bc = frmBatchConfiguration();
    SetPair(bc.optText, bc.optBinary, core::EqualsNoCase(s.SettingBatchDataFormat, "Text"));
    bc.SetViewElevation(s.SettingBatchPlotAltitude);
    bc.SetViewRotation(s.SettingBatchPlotRotation);
    if (bc.txtAltitude) bc.txtAltitude->setText(AngleText(s.SettingBatchPlotAltitude));
    if (bc.txtRotation) bc.txtRotation->setText(AngleText(s.SettingBatchPlotRotation));
    SetPosition(bc.cmbAppearance, core::ContourStylePosition(s.SettingBatchContourStyle));
    SetPair(bc.optBitmap, bc.optJPG, core::EqualsNoCase(s.SettingBatchGraphFormat, "BMP"));
}

void SettingsForms::GatherSettings(model::Settings& s)
{
    const std::string& zFormat = model::files.ZFormat;
    FrmAnalysis& a = frmAnalysis();
    if (int lpi = a.cmbGrating->currentText().toInt(); lpi > 0) s.SettingGrating = int16_t(lpi);
    if (int p = a.cmbRotation->currentIndex(); p >= 0 && p <= 5) s.SettingRotation = core::RotationName(p);
    s.SettingUseFringeValue = OnOff(a.chkFringeValuetxt);
    s.SettingExclude128 = OnOff(a.chkExclude128);
    s.SettingPhaseFilter = OnOff(a.chkPhaseFilter);
    s.SettingCompensate = OnOff(a.chkCompensate);
    s.SettingWidth = core::GatherSampleSize(a.txtSampleWidth->text().toStdString());
    s.SettingHeight = core::GatherSampleSize(a.txtSampleHeight->text().toStdString());
    s.SettingZMin = core::GatherZLimit(a.txtZmin->text().toStdString(), zFormat);
    s.SettingZMax = core::GatherZLimit(a.txtZmax->text().toStdString(), zFormat);

    Chart3DWindow& c3 = frm3DChart();
    s.SettingPlotAltitude = core::SettingsElevation(c3.ViewElevation());
    s.SettingPlotRotation = core::SettingsRotation(c3.ViewRotation());
    if (auto* c = frmContour().cmbAppearance; c && c->currentIndex() >= 0 && c->currentIndex() <= 3)
        s.SettingContourStyle = core::ContourStyleName(c->currentIndex());

    BatchProcessingWindow& b = frmBatchProcessing();
    if (b.cmbGrating)
        if (int lpi = b.cmbGrating->currentText().toInt(); lpi > 0) s.SettingBatchGrating = int16_t(lpi);
    if (b.cmbRotation)
        if (int p = b.cmbRotation->currentIndex(); p >= 0 && p <= 5) s.SettingBatchRotation = core::RotationName(p);
    s.SettingBatchUseFringeValue = OnOff(b.chkFringeValuetxt);
    s.SettingBatchExclude128 = OnOff(b.chkExclude128);
    s.SettingBatchPhaseFilter = OnOff(b.chkPhaseFilter);
    s.SettingBatchCompensate = OnOff(b.chkCompensate);
    s.SettingBatchNormalizeDiagonal = OnOff(b.chkNormalizeDiagonal);
    if (b.txtSampleWidth) s.SettingBatchWidth = core::GatherSampleSize(b.txtSampleWidth->text().toStdString());
    if (b.txtSampleHeight) s.SettingBatchHeight = core::GatherSampleSize(b.txtSampleHeight->text().toStdString());
    s.SettingBatch3DOutput = OnOff(b.chk3DPlot);
    s.SettingBatchContourOutput = OnOff(b.chkContour);
    s.SettingBatchDiagonalOutput = OnOff(b.chkDiagonal);
    s.SettingBatchDataOutput = OnOff(b.chkSaveData);
    s.SettingBatchReduceData = OnOff(b.chkReduceData);

    BatchConfigurationWindow& bc = frmBatchConfiguration();
    s.SettingBatchDataFormat = bc.optText && bc.optText->isChecked() ? "Text" : "Binary";
    s.SettingBatchPlotAltitude = core::SettingsElevation(bc.ViewElevation());
    s.SettingBatchPlotRotation = core::SettingsRotation(bc.ViewRotation());
    if (auto* c = bc.cmbAppearance; c && c->currentIndex() >= 0 && c->currentIndex() <= 3)
        s.SettingBatchContourStyle = core::ContourStyleName(c->currentIndex());
    s.SettingBatchGraphFormat = bc.optBitmap && bc.optBitmap->isChecked() ? "BMP" : "JPG";
}

void RegisterSettingsForms()
{
    static SettingsForms forms;
    core::SetSettingsWindows(&forms);
}

} // namespace gui
