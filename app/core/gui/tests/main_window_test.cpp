// The main window as a user meets it after start-up: values shown from the
// settings file, controls shown or hidden, names read by assistive technology.
#include "gui_fixture.h"

#include "testsupport/windows/standin_windows.h"
#include "app/core/settings.h"
#include "testsupport/accessible_names.h"

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

namespace {

// A surface window whose chart, like the real one, titles itself with the
// data set at each build.
class TitledChart : public testsupport::standins::Chart3D {
public:
    void Setup3DChart(bool reduced) override
    {
        Chart3D::Setup3DChart(reduced);
        header->setText(QString::fromStdString(model::files.DataSetName));
        footer->setText("");
    }
    QString ChartHeader() const override { return header->text(); }
    QString ChartFooter() const override { return footer->text(); }
};

} // namespace

TEST_F(GuiTest, AHeaderTypedInThePlotWindowSurvivesARecalculation)
{
    gui::WindowFactories f;
    f.frm3DChart = [] { return new TitledChart; };
    gui::SetWindowFactories(f);
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    auto& chart = static_cast<TitledChart&>(gui::frm3DChart());

    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    QTest::mouseClick(main.cmd3DPlot, Qt::LeftButton);
    // Before anything is typed the box shows the chart's own title.
    EXPECT_EQ("Part1_ph.tif", chart.txtHeader->text().toStdString());

    chart.txtHeader->selectAll();
    QTest::keyClicks(chart.txtHeader, "Wafer 7 after reflow");
    QTest::keyClicks(chart.txtFooter, "lot 12");
    main.chkPhaseFilter->click();   // a new option: the result is calculated again
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    QTest::mouseClick(main.cmd3DPlot, Qt::LeftButton);
    EXPECT_EQ(2, chart.setupCalls);
    EXPECT_EQ("Wafer 7 after reflow", chart.header->text().toStdString());
    EXPECT_EQ("lot 12", chart.footer->text().toStdString());
    EXPECT_EQ("Wafer 7 after reflow", chart.txtHeader->text().toStdString());

    gui::ShutdownProgram();
    gui::SetWindowFactories(testsupport::standins::Factories());
}

TEST_F(GuiTest, FiguresAndControlsAreReadAsTheyAreShown)
{
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_FALSE(main.lblMaxZValue->text().isEmpty());
    EXPECT_EQ(main.lblMaxZValue->text().toStdString(), testsupport::AccessibleName(main.lblMaxZValue));
    EXPECT_EQ(main.lblMinZValue->text().toStdString(), testsupport::AccessibleName(main.lblMinZValue));
    EXPECT_EQ(main.lblCoplanarityData->text().toStdString(), testsupport::AccessibleName(main.lblCoplanarityData));
    EXPECT_EQ("", testsupport::UnreadableControls(&main));
    EXPECT_EQ("Width (X)", testsupport::AccessibleName(main.txtSampleWidth));

    // A new figure is read at once.
    main.chkPhaseFilter->click();
    EXPECT_EQ("", testsupport::AccessibleName(main.lblMaxZValue));
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    EXPECT_EQ(main.lblCoplanarityData->text().toStdString(), testsupport::AccessibleName(main.lblCoplanarityData));
}

TEST_F(GuiTest, WindowTitlesAreTheWindowsOwnTexts)
{
    // A display name of its own would make the platform append " — Sorvanta"
    // to every title; without one it follows the application name.
    StartAndConfirm();
    EXPECT_EQ("Sorvanta", QCoreApplication::applicationName().toStdString());
    QCoreApplication::setApplicationName("probe");
    EXPECT_EQ("probe", QGuiApplication::applicationDisplayName().toStdString());
    QCoreApplication::setApplicationName("Sorvanta");
    EXPECT_EQ("Sorvanta Phase Image Display", gui::frmAnalysis().windowTitle().toStdString());
}

TEST_F(GuiTest, MissingHandedOverFileAndUnreadableFringeFileAreToldPlainly)
{
    StartAndConfirm();
    messages.records.clear();
    gui::ReceiveCommandLine(dir.file("Gone_ph.tif"));
    ASSERT_EQ(1u, messages.records.size()) << Messages();
    EXPECT_EQ("The file cannot be opened.", messages.records[0].text);
    EXPECT_EQ(16, messages.records[0].style);
    EXPECT_FALSE(model::state.PhaseInMemory);

    // No FringeValue.txt: the reason follows the message once.
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 40, 30, 0.5);
    gui::ReceiveCommandLine(img);
    ASSERT_TRUE(model::state.PhaseInMemory);
    auto& main = gui::frmAnalysis();
    main.chkFringeValuetxt->setChecked(true);
    messages.records.clear();
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_EQ(1u, messages.records.size()) << Messages();
    const std::string& text = messages.records[0].text;
    EXPECT_EQ(0u, text.find("FringeValue.txt cannot be read.\r")) << text;
    EXPECT_EQ(text.find("cannot be read"), text.rfind("cannot be read")) << text;
    EXPECT_NE(std::string::npos, text.find("FringeValue.txt:")) << text;
}

TEST_F(GuiTest, ThePanelStaysInPlaceWhenTheUnitsAppear)
{
    const std::string img = dir.file("Part1_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    main.show();
    QCoreApplication::processEvents();
    const QPoint before = main.cmdParameters->mapTo(&main, QPoint(0, 0));
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_TRUE(main.lblZUnits->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(before, main.cmdParameters->mapTo(&main, QPoint(0, 0)));
}
