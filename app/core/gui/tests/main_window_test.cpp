// The main window as a user meets it after start-up: values shown from the
// settings file, controls shown or hidden, names read by assistive technology.
#include "gui_fixture.h"

#include "app/core/settings.h"

#include <QTest>

using namespace guitest;

TEST_F(GuiTest, ZLimitsFromTheSettingsFileShowAsWritten)
{
    const std::string path = core::SettingsFilePath();
    ASSERT_TRUE(core::WriteDefaultSettingsFile(path));
    model::settings.SettingZMin = 0.25f;
    model::settings.SettingZMax = 1.25f;
    ASSERT_TRUE(core::SaveSettingsFile(path));
    model::ResetModel();
    StartAndConfirm();
    EXPECT_EQ("0.25", gui::frmAnalysis().txtZmin->text().toStdString());
    EXPECT_EQ("1.25", gui::frmAnalysis().txtZmax->text().toStdString());
}

TEST_F(GuiTest, DomainSelectIsHiddenWithoutAPartition)
{
    StartAndConfirm();
    gui::FrmAnalysis& m = gui::frmAnalysis();
    EXPECT_FALSE(m.lblAnalyze->isVisibleTo(&m));
    EXPECT_FALSE(m.cmbDomain->isVisibleTo(&m));
    const std::string image = dir.file("part_ph.tif");
    WritePhaseTiff(image, 64, 48);
    dialogs.queueFile(image);
    QTest::mouseClick(m.cmdLoadFile, Qt::LeftButton);
    ASSERT_TRUE(model::state.PhaseInMemory);
    EXPECT_FALSE(m.lblAnalyze->isVisibleTo(&m));
    EXPECT_FALSE(m.cmbDomain->isVisibleTo(&m));
}
