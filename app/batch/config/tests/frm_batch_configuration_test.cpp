// The batch plot configuration window driven as a user drives it, after a real
// start of the program: element boxes, title and size boxes, view angles and
// drag locks, the appearance list, the preview, the shared legend charts, and
// its settings through exit and a new start.
#include "app/batch/config/frm_batch_configuration.h"
#include "app/batch/config/chart_design.h"

#include "app/batch/config/output_commands.h"
#include "app/batch/config/utility_files.h"
#include "app/batch/gui/frm_batch_processing.h"
#include "app/core/gui/tests/gui_fixture.h"
#include "app/core/settings.h"
#include "platform/accessibility.h"
#include "testsupport/accessible_names.h"
#include "plots/builders/plot_state.h"
#include "plots/windows/frm_contour.h"
#include "plots/windows/frm_createlegend.h"
#include "plots/windows/plot_windows.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <set>

using namespace guitest;
using batchcfg::FrmBatchConfiguration;
using charts::Axis2D;
using charts::Axis3D;

namespace {

// Clicks a box and types a text into it, replacing what it held.
void Type(QLineEdit* box, const QString& text, bool enter = true)
{
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
    if (enter) QTest::keyClick(box, Qt::Key_Return);
}

// Clicks a check box or option button on its box.
void Click(QAbstractButton* b)
{
    QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, QPoint(8, b->height() / 2));
}

// Moves the focus away from a box by tabbing.
void Leave(QLineEdit* box)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(box, &out);
}

void Mouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent e(type, QPointF(p), w->mapToGlobal(QPointF(p)), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void Key(QWidget* w, QEvent::Type type, int key)
{
    QKeyEvent e(type, key, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Chooses a tab as a click on it does, and lets it lay out its controls.
void Tab(FrmBatchConfiguration& w, int index)
{
    w.SSTab1->setCurrentIndex(index);
    QApplication::processEvents();
}

class BatchConfigTest : public GuiTest {
protected:
    void SetUp() override
    {
        GuiTest::SetUp();
        batch::InstallBatchWindows();
        batchcfg::InstallBatchConfigurationWindow();
    }
    FrmBatchConfiguration& Window()
    {
        FrmBatchConfiguration* w = batchcfg::BatchConfiguration();
        EXPECT_NE(w, nullptr);
        return *w;
    }
    FrmBatchConfiguration& Shown()
    {
        FrmBatchConfiguration& w = Window();
        w.show();
        w.activateWindow();
        QApplication::processEvents();
        return w;
    }
};

} // namespace

TEST_F(BatchConfigTest, DesignTabsAndTheSharedLegendCharts)
{
    StartAndConfirm();
    FrmBatchConfiguration& w = Window();
    EXPECT_FALSE(w.isVisible());   // made hidden by the settings push
    EXPECT_EQ(w.windowTitle(), "Batch Output Configuration");
    ASSERT_EQ(w.SSTab1->count(), 4);
    EXPECT_EQ(w.SSTab1->tabText(0), "3D Surface Plot");
    EXPECT_EQ(w.SSTab1->tabText(3), "Misc");
    EXPECT_EQ(w.txtAltitude->accessibleName(), "Altitude (degrees)");
    EXPECT_EQ(w.cmbAppearance->count(), 4);
    EXPECT_EQ(w.surface().headerText(), "Phase Image Name");
    EXPECT_EQ(w.diagonal().footerText(), "Min/Max Values");
    EXPECT_EQ(w.surface().axisTitle(Axis3D::Z), "Displacement (units)");
    // The bindings of the three plot charts.
    ASSERT_EQ(w.surface().actions().size(), 5u);
    EXPECT_EQ(w.surface().actions()[1].message, 513);
    EXPECT_EQ(w.diagonal().actions()[0].action, 11);
    // The legend maker draws on this window's legend charts.
    EXPECT_EQ(&plots::SurfaceLegendChart(), &w.surfaceLegend());
    EXPECT_EQ(&plots::ContourLegendChart(), &w.contourLegend());
    // Once the window is gone the legend maker draws on charts of its own
    // (the sanitizer build catches a chart used after the window freed it).
    gui::ShutdownProgram();
    EXPECT_EQ(plots::SurfaceLegendChart().kind(), charts::ChartKind::LegendOnly);
    plots::BuildSurfaceLegend(0, 64);
    EXPECT_EQ(plots::SurfaceLegendChart().levelCount(), 64);
}

TEST_F(BatchConfigTest, ElementAndTitleBoxes)
{
    StartAndConfirm();
    FrmBatchConfiguration& w = Shown();
    Click(w.chk3DHeader);
    EXPECT_FALSE(w.surface().headerShown());
    EXPECT_FALSE(w.txt3DHeader->isEnabled());
    Click(w.chk3DHeader);
    EXPECT_TRUE(w.surface().headerShown());
    EXPECT_TRUE(w.txt3DHeader->isEnabled());
    Click(w.chk3DXValues);
    EXPECT_EQ(w.surface().axisAnnotation(Axis3D::X), 2);
    Tab(w, 2);
    Click(w.chkDiagYValues);
    EXPECT_EQ(w.diagonal().axisAnnotation(Axis2D::Y), 2);
    Click(w.chkDiagYValues);
    EXPECT_EQ(w.diagonal().axisAnnotation(Axis2D::Y), 0);
    w.surface().setAxisTitle(Axis3D::X, "X (in)");
    Tab(w, 0);
    Click(w.chk3DXLabel);
    EXPECT_EQ(w.surface().axisTitle(Axis3D::X), "");
    Click(w.chk3DXLabel);
    EXPECT_EQ(w.surface().axisTitle(Axis3D::X), "X (units)");

    Type(w.txt3DHeader, "Plate 7");
    EXPECT_EQ(w.surface().headerText(), "Plate 7");
    // A click into a box selects its whole text.
    QTest::mouseClick(w.txt3DFooter, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(w.txt3DFooter->selectedText(), "Auto");
    Type(w.txt3DHeader, "Auto");
    EXPECT_EQ(w.surface().headerText(), "Phase Image Name");
    Type(w.txt3DFooter, "auto");   // other letter cases go on the chart as typed
    EXPECT_EQ(w.surface().footerText(), "auto");
    EXPECT_EQ(w.SurfaceOptions().footer, "auto");
    // Left without Enter: the 3D box applies, the diagonal box does not.
    Type(w.txt3DHeader, "Left", false);
    Leave(w.txt3DHeader);
    EXPECT_EQ(w.surface().headerText(), "Left");
    Tab(w, 2);
    Type(w.txtDiagHeader, "Left too", false);
    Leave(w.txtDiagHeader);
    EXPECT_EQ(w.diagonal().headerText(), "Phase Image Name");
    // The 3D footer of the builders follows the 3D footer box, not the contour one.
    Tab(w, 1);
    Click(w.chkContourFooter);
    EXPECT_TRUE(w.SurfaceOptions().footerTicked);
    EXPECT_FALSE(w.ContourOptions().footerTicked);
}

TEST_F(BatchConfigTest, SizeBoxesTakeWholeNumbersInTheirRange)
{
    StartAndConfirm();
    FrmBatchConfiguration& w = Shown();
    struct Case {
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {{"20", "20"},   {"200", "200"}, {"19.9", "200"}, {"200.1", "200"},
                          {"abc", "200"}, {"", "200"},    {"20.5", "20"},  {"21.5", "22"}};
    for (const Case& k : cases) {
        Type(w.txt3DLabelSize, k.typed);
        EXPECT_EQ(w.txt3DLabelSize->text(), k.shown) << k.typed;
    }
    EXPECT_EQ(w.surface().axisTitleFontSize(Axis3D::X), batchcfg::AxisFontPercent(22));
    EXPECT_EQ(w.surface().axisTitleFontSize(Axis3D::Z), batchcfg::AxisFontPercent(22));
    Tab(w, 2);
    for (const Case& k : std::initializer_list<Case>{{"8", "8"}, {"31", "8"}, {"7.5", "8"}, {"30", "30"}}) {
        Type(w.txtDiagLabelSize, k.typed);
        EXPECT_EQ(w.txtDiagLabelSize->text(), k.shown) << k.typed;
    }
    EXPECT_EQ(w.diagonal().axisTitleFontSize(Axis2D::X), 30);
    // A size typed and left with the mouse is applied too.
    Tab(w, 1);
    Type(w.txtContourTickSize, "60", false);
    Leave(w.txtContourTickSize);
    EXPECT_EQ(w.contour().axisNumberFontSize(Axis3D::X), batchcfg::AxisFontPercent(60));
}

TEST_F(BatchConfigTest, ViewAnglesAndDragLocks)
{
    StartAndConfirm();
    FrmBatchConfiguration& w = Shown();
    w.surface().addChartLabel();
    Type(w.txtAltitude, "45.5");
    EXPECT_EQ(w.txtAltitude->text(), "46");
    EXPECT_EQ(w.surface().viewElevation(), 46);
    EXPECT_EQ(w.surface().chartLabelCount(), 0);
    Type(w.txtAltitude, "44.5");
    EXPECT_EQ(w.surface().viewElevation(), 44);
    w.SetViewElevation(37.25);
    Type(w.txtAltitude, "abc");
    EXPECT_EQ(w.txtAltitude->text(), "37.25");
    w.SetViewRotation(120.5);
    Type(w.txtRotation, "abc");
    EXPECT_EQ(w.txtRotation->text(), "120");
    Type(w.txtRotation, "400");
    EXPECT_EQ(w.surface().viewRotation(), 400);
    Type(w.txtAltitude, "30");
    Type(w.txtRotation, "200");

    // A plain drag turns both angles; the boxes follow.
    QWidget* chart = w.chtSurface;
    const QPoint c = chart->rect().center();
    auto drag = [&](QPoint by) {
        Mouse(chart, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
        Mouse(chart, QEvent::MouseMove, c + by, Qt::NoButton, Qt::LeftButton);
        Mouse(chart, QEvent::MouseButtonRelease, c + by, Qt::LeftButton, Qt::NoButton);
    };
    drag(QPoint(20, 20));
    EXPECT_EQ(w.surface().viewElevation(), 40);
    EXPECT_EQ(w.surface().viewRotation(), 190);
    EXPECT_EQ(w.txtAltitude->text(), "40");
    EXPECT_EQ(w.txtRotation->text(), "190");
    // R held: only the rotation follows.
    Key(chart, QEvent::KeyPress, Qt::Key_R);
    drag(QPoint(20, 20));
    EXPECT_EQ(w.surface().viewElevation(), 40);
    EXPECT_EQ(w.surface().viewRotation(), 180);
    // A and R held: nothing moves.
    Key(chart, QEvent::KeyPress, Qt::Key_A);
    drag(QPoint(20, 20));
    EXPECT_EQ(w.surface().viewRotation(), 180);
    Key(chart, QEvent::KeyRelease, Qt::Key_R);
    Key(chart, QEvent::KeyRelease, Qt::Key_A);
    EXPECT_FALSE(plots::plotState.AltitudeKeyHeld);
    // An elevation past 180 shows as a negative altitude.
    w.SetViewElevation(190);
    drag(QPoint(0, 2));
    EXPECT_EQ(w.txtAltitude->text(), "-169");
}

TEST_F(BatchConfigTest, TypedAndDraggedAnglesAreSavedAsTheSettingsReaderTakesThem)
{
    StartAndConfirm();
    FrmBatchConfiguration& w = Shown();
    struct Case {
        const char* altitude;
        const char* rotation;
        QPoint drag;
        int16_t savedAltitude, savedRotation;
    };
    const Case cases[] = {
        {"100", "-10", QPoint(0, 0), 90, 350},
        {"30", "400", QPoint(0, 0), 30, 40},
        {"80", "10", QPoint(40, 60), 90, 350},   // the drag takes the altitude past 90 and the rotation below 0
    };
    QWidget* chart = w.chtSurface;
    const QPoint c = chart->rect().center();
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.altitude) + " " + k.rotation);
        Type(w.txtAltitude, k.altitude);
        Type(w.txtRotation, k.rotation);
        if (!k.drag.isNull()) {
            Mouse(chart, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
            Mouse(chart, QEvent::MouseMove, c + k.drag, Qt::NoButton, Qt::LeftButton);
            Mouse(chart, QEvent::MouseButtonRelease, c + k.drag, Qt::LeftButton, Qt::NoButton);
        }
        SaveAndReadBackSettings();
        EXPECT_EQ(model::settings.SettingBatchPlotAltitude, k.savedAltitude);
        EXPECT_EQ(model::settings.SettingBatchPlotRotation, k.savedRotation);
    }
}

TEST_F(BatchConfigTest, AppearanceRebuildsLevelsOnlyBetweenFillAndLines)
{
    StartAndConfirm();
    FrmBatchConfiguration& w = Shown();
    Tab(w, 1);
    charts::Chart3D& c = w.contour();
    // A filled layout of 17 levels over 0..16.
    c.setAxisMin(Axis3D::Z, 0);
    c.setAxisMax(Axis3D::Z, 18);
    c.setLevelTableReset(true);
    c.setLevelCount(0);
    for (int k = 0; k <= 16; ++k) c.addLevel(k);
    w.cmbAppearance->setFocus();
    QTest::keyClick(w.cmbAppearance, Qt::Key_End);   // "Black Lines"
    EXPECT_EQ(w.cmbAppearance->currentText(), "Black Lines");
    ASSERT_EQ(c.levelCount(), 19);
    EXPECT_EQ(c.level(19), 18.0);
    EXPECT_EQ(c.legendMode(), 1);
    ASSERT_EQ(c.legendLabelCount(), 18);
    EXPECT_EQ(c.legendLabelText(1), "");
    EXPECT_EQ(c.legendLabelText(18), "Line 17");
    EXPECT_FALSE(c.contourFilled());
    EXPECT_EQ(c.chartBackground(), QColor(214, 211, 206));
    EXPECT_FALSE(w.contourLegend().contourFilled());
    // Lines to lines: the levels stay.
    QTest::keyClick(w.cmbAppearance, Qt::Key_Up);   // "Color Lines"
    EXPECT_EQ(c.levelCount(), 19);
    EXPECT_EQ(c.legendLabelText(18), "Line 17");
    // Gray Fill: 17 levels, the fill texts, the grey legend ramp on the legend chart.
    QTest::keyClick(w.cmbAppearance, Qt::Key_Up);
    EXPECT_EQ(w.cmbAppearance->currentText(), "Gray Fill");
    ASSERT_EQ(c.levelCount(), 17);
    EXPECT_EQ(c.legendLabelText(2), "Min");
    EXPECT_EQ(c.legendLabelText(18), "Max");
    EXPECT_EQ(c.legendMode(), 2);
    EXPECT_EQ(c.chartBackground(), QColor(Qt::white));
    EXPECT_TRUE(w.contourLegend().contourFilled());
    EXPECT_EQ(w.contourLegend().style().name, charts::BuiltInStyle("Colorgray Contour.sty").name);
}

TEST_F(BatchConfigTest, PreviewShowsTheSampleAndKeepsTheUsersImage)
{
    const std::string image = dir.file("plate_ph.tif");
    WritePhaseTiff(image, 64, 48);
    StartAndConfirm(image);
    ASSERT_EQ(model::images.XMax, 63);
    FrmBatchConfiguration& w = Shown();
    std::string error;
    ASSERT_TRUE(w.Preview("-1", "1", false, &error)) << error;
    EXPECT_EQ(w.surface().pointsX(), 50);
    EXPECT_TRUE(w.surface().gridValid());
    EXPECT_EQ(w.diagonal().seriesCount(), 2);
    EXPECT_EQ(model::images.XMax, 63);
    EXPECT_EQ(model::files.PhaseImageFile, image);
    // The window's picture of the sample is not blank.
    const QImage shot = w.chtSurface->grab().toImage();
    EXPECT_FALSE(shot.isNull());
}

TEST_F(BatchConfigTest, SettingsSurviveExitAndANewStart)
{
    StartAndConfirm();
    {
        FrmBatchConfiguration& w = Shown();
        Tab(w, 3);
        Click(w.optJPG);
        Click(w.optBinary);
        Tab(w, 1);
        w.cmbAppearance->setFocus();
        QTest::keyClick(w.cmbAppearance, Qt::Key_Down);   // "Gray Fill"
        Tab(w, 0);
        Type(w.txtAltitude, "30");
        Type(w.txtRotation, "120.5");
    }
    messages.queue(platform::kAnsYes);
    gui::frmAnalysis().cmdExit->click();
    const std::string text = testsupport::ReadText(core::SettingsFilePath());
    EXPECT_NE(text.find("Binary"), std::string::npos);
    gui::ShutdownProgram();

    model::ResetModel();
    StartAndConfirm();
    FrmBatchConfiguration& w = Window();
    EXPECT_TRUE(w.optJPG->isChecked());
    EXPECT_TRUE(w.optBinary->isChecked());
    EXPECT_EQ(w.cmbAppearance->currentText(), "Gray Fill");
    EXPECT_TRUE(w.contour().contourFilled());
    EXPECT_EQ(w.txtAltitude->text(), "30");
    EXPECT_EQ(w.txtRotation->text(), "120");
    EXPECT_EQ(w.surface().viewElevation(), 30);
    EXPECT_EQ(w.surface().viewRotation(), 120);
    EXPECT_EQ(model::settings.SettingBatchGraphFormat, "JPG");
    EXPECT_EQ(model::settings.SettingBatchContourStyle, "GrayFill");
}

TEST_F(BatchConfigTest, GenerateOutputFromTheBatchWindow)
{
    const std::string folder = dir.file("Panel 7");
    std::filesystem::create_directories(folder);
    WritePhaseTiff(folder + "/a_ph.tif", 90, 60, 10.0, true, "dome:0.004");
    WritePhaseTiff(folder + "/b_ph.tif", 90, 60, 10.0, false, "dome:0.004");   // no header: the run fails it
    WritePhaseTiff(folder + "/c_ph.tif", 90, 60, 10.0, true, "saddle:0.003");
    const std::string user = dir.file("mine_ph.tif");
    WritePhaseTiff(user, 40, 30);
    StartAndConfirm(user);
    QTest::mouseClick(gui::frmAnalysis().cmdBatchProcess, Qt::LeftButton);
    batch::FrmBatchProcessing& b = batch::frmBatchProcessing();
    ASSERT_TRUE(b.isVisible());
    dialogs.queueFolder(folder);
    QTest::mouseClick(b.cmdBrowse, Qt::LeftButton);
    for (QCheckBox* box : {b.chk3DPlot, b.chkContour, b.chkDiagonal, b.chkSaveData})
        if (!box->isChecked()) Click(box);
    QTest::mouseClick(b.cmdGetBatchData, Qt::LeftButton);
    ASSERT_TRUE(b.cmdGenerateOutput->isEnabled()) << Messages();
    Type(b.txtZmin, "5");
    Type(b.txtZmax, "5");
    QTest::mouseClick(b.cmdGenerateOutput, Qt::LeftButton);
    ASSERT_FALSE(messages.records.empty());
    EXPECT_EQ(messages.records.back().text, "Z Max must be greater then Z Min.");
    EXPECT_EQ(messages.records.back().title, "Batch Output Setup Error");
    Type(b.txtZmin, "-2");
    Type(b.txtZmax, "3.5");
    const size_t before = messages.records.size();
    const model::ImageMatrices inMemory = model::images;
    QTest::mouseClick(b.cmdGenerateOutput, Qt::LeftButton);
    EXPECT_EQ(messages.records.size(), before) << Messages();

    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
    for (const char* n : {"a_ab.dat", "a_3D.bmp", "a_ctr.bmp", "a_dia.bmp", "c_ab.dat", "c_3D.bmp", "c_ctr.bmp",
                          "c_dia.bmp", "3D Legend (-2.0 to 3.5 mils).bmp", "Contour Legend (-2.0 to 3.5 mils).bmp",
                          "Diagonal Legend.bmp"})
        EXPECT_TRUE(names.count(n)) << n;
    for (const std::string& n : names) EXPECT_NE(n.rfind("b_", 0) == 0 && n != "b_ph.tif", true) << n;
    // The configuration window was never shown: the pictures have the charts' set sizes.
    FrmBatchConfiguration& w = Window();
    EXPECT_EQ(w.SSTab1->currentIndex(), 1);   // the contour legend, drawn last
    EXPECT_FALSE(w.isVisible());
    const QSize s = w.surface().size(), d = w.diagonal().size();
    EXPECT_EQ(testsupport::Shell("identify -format '%w %h' '" + folder + "/a_3D.bmp'"),
              std::to_string(s.width()) + " " + std::to_string(s.height()));
    EXPECT_EQ(testsupport::Shell("identify -format '%w %h' '" + folder + "/c_dia.bmp'"),
              std::to_string(d.width()) + " " + std::to_string(d.height()));
    EXPECT_GT(d.width(), 400);
    EXPECT_FALSE(b.ProgressBar2->isVisible());
    EXPECT_TRUE(b.isEnabled());
    EXPECT_TRUE(b.cmdViewThumbnails->isEnabled());
    // The configuration window shows the sample again; the matrices in memory
    // are those from before the command, not the sample's.
    EXPECT_EQ(w.surface().headerText(), "Phase Image Name");
    EXPECT_EQ(w.surface().footerText(), "Coplanarity");
    EXPECT_EQ(model::files.PhaseImageFile, user);
    EXPECT_EQ(model::images.XMax, inMemory.XMax);
    EXPECT_EQ(model::images.CurrentPhase.buffer(), inMemory.CurrentPhase.buffer());

    // Configure shows the window with the sample profiles.
    QTest::mouseClick(b.cmdConfigure3D, Qt::LeftButton);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.diagonal().seriesCount(), 2);
}

// A range no plot can take is refused before anything is written; a close of
// the batch window during Generate Output waits for its end (a folder is never
// left with some images' outputs and not others'), and the window closes then.
TEST_F(BatchConfigTest, GenerateOutputRefusesARangeNoPlotTakesAndACloseWaitsForItsEnd)
{
    const std::string folder = dir.file("Panel 7");
    std::filesystem::create_directories(folder);
    WritePhaseTiff(folder + "/a_ph.tif", 90, 60, 10.0, true, "dome:0.004");
    WritePhaseTiff(folder + "/c_ph.tif", 90, 60, 10.0, true, "saddle:0.003");
    const std::string user = dir.file("mine_ph.tif");
    WritePhaseTiff(user, 40, 30);
    StartAndConfirm(user);
    QTest::mouseClick(gui::frmAnalysis().cmdBatchProcess, Qt::LeftButton);
    batch::FrmBatchProcessing& b = batch::frmBatchProcessing();
    dialogs.queueFolder(folder);
    QTest::mouseClick(b.cmdBrowse, Qt::LeftButton);
    for (QCheckBox* box : {b.chk3DPlot, b.chkDiagonal, b.chkSaveData})
        if (!box->isChecked()) Click(box);
    QTest::mouseClick(b.cmdGetBatchData, Qt::LeftButton);
    ASSERT_TRUE(b.cmdGenerateOutput->isEnabled()) << Messages();
    const auto files = [&] {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
        return names;
    };
    const std::set<std::string> before = files();

    struct Case {
        const char* zMin;
        const char* zMax;
        const char* message;
    };
    for (const Case& c : {Case{"-2", "1e300", "Z Max must be a number from -999999 to 999999."},
                          Case{"-1e7", "3", "Z Min must be a number from -999999 to 999999."}}) {
        Type(b.txtZmin, c.zMin);
        Type(b.txtZmax, c.zMax);
        messages.records.clear();
        QTest::mouseClick(b.cmdGenerateOutput, Qt::LeftButton);
        ASSERT_EQ(messages.records.size(), 1u) << Messages();
        EXPECT_EQ(messages.records[0].text, c.message);
        EXPECT_EQ(messages.records[0].title, "Batch Output Setup Error");
        EXPECT_EQ(files(), before);
    }

    Type(b.txtZmin, "-2");
    Type(b.txtZmax, "3.5");
    messages.records.clear();
    bool closed = false;
    QMetaObject::Connection atFirst = QObject::connect(b.ProgressBar2, &QProgressBar::valueChanged, [&](int v) {
        if (v != 1 || closed) return;
        closed = true;
        b.close();   // at the first image's progress
        EXPECT_TRUE(b.isVisible()) << "the close waits for the output's end";
    });
    QTest::mouseClick(b.cmdGenerateOutput, Qt::LeftButton);
    QObject::disconnect(atFirst);
    ASSERT_TRUE(closed);
    EXPECT_TRUE(messages.records.empty()) << Messages();
    const std::set<std::string> after = files();
    for (const char* n : {"a_ab.dat", "a_3D.bmp", "a_dia.bmp", "c_ab.dat", "c_3D.bmp", "c_dia.bmp",
                          "3D Legend (-2.0 to 3.5 mils).bmp", "Diagonal Legend.bmp"})
        EXPECT_TRUE(after.count(n)) << n;
    // The close given during the output is carried out once it has ended.
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !b.isVisible(); }));
    EXPECT_TRUE(b.isEnabled());
    EXPECT_EQ(model::files.PhaseImageFile, user);
    EXPECT_TRUE(gui::frmAnalysis().cmdUnwrap->isEnabled());
}

TEST_F(BatchConfigTest, CreateLegendDrawsOnTheConfigurationLegendAndNamesTheUnit)
{
    StartAndConfirm();
    QTest::mouseClick(gui::frmAnalysis().cmdBatchProcess, Qt::LeftButton);
    batch::FrmBatchProcessing& b = batch::frmBatchProcessing();
    QTest::mouseClick(b.cmdCreateLegend, Qt::LeftButton);
    plots::FrmCreateLegend* maker = nullptr;
    for (QWidget* t : QApplication::topLevelWidgets())
        if (t->isVisible() && t->objectName() == "frmCreateLegend") maker = qobject_cast<plots::FrmCreateLegend*>(t);
    ASSERT_NE(maker, nullptr);
    Click(maker->optContour);
    Type(maker->txtZmin, "-1.5", false);
    Type(maker->txtZmax, "2", false);
    // The configuration's JPG choice selects the JPEG filter.
    Window().optJPG->setChecked(true);
    dialogs.queueFile(dir.file("legend.jpg"), 2);
    QTest::mouseClick(maker->cmdSaveAs, Qt::LeftButton);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].fileName, "Contour Legend (-1.5 to 2.0 mils)");
    EXPECT_EQ(dialogs.fileRequests[0].filterIndex, 2);
    FrmBatchConfiguration& w = Window();
    EXPECT_EQ(w.SSTab1->currentIndex(), 1);
    EXPECT_EQ(w.contourLegend().headerText(), "Z (mils)");
    EXPECT_EQ(w.contourLegend().levelCount(), 17);
    const std::vector<uint8_t> rgb = testsupport::MagickPixels(dir.file("legend.jpg"), "rgb");
    EXPECT_EQ(rgb.size(), size_t(w.contourLegend().size().width() * w.contourLegend().size().height() * 3));
    maker->close();
}

TEST_F(BatchConfigTest, TheContourWindowsAppearanceLeavesTheBatchContourLegend)
{
    plots::InstallPlotWindows();
    StartAndConfirm();
    FrmBatchConfiguration& w = Window();
    ASSERT_TRUE(w.contourLegend().contourFilled());
    plots::FrmContour& contour = plots::frmContour();
    contour.cmbAppearance->setCurrentIndex(3);   // "Black Lines" on the single-image contour plot
    EXPECT_FALSE(contour.chart().contourFilled());
    EXPECT_TRUE(w.contourLegend().contourFilled());
    EXPECT_EQ(w.contourLegend().legendBackground(), QColor(Qt::white));
}

TEST_F(BatchConfigTest, EachTabsCaptionsHaveTheirOwnMnemonicsAndAltWorksThem)
{
    platform::InstallAccessibility();
    FrmBatchConfiguration& w = Shown();
    EXPECT_EQ(QAccessible::Window, testsupport::AccessibleRole(&w));
    for (int i = 0; i < w.SSTab1->count(); ++i) {
        Tab(w, i);
        EXPECT_EQ("", testsupport::MnemonicFaults(&w)) << w.SSTab1->tabText(i).toStdString();
        EXPECT_EQ("", testsupport::UnreadableControls(&w)) << w.SSTab1->tabText(i).toStdString();
    }
    // Alt+H on the 3D tab takes the header off the chart there.
    Tab(w, 0);
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, testsupport::kHangMs));
    ASSERT_TRUE(w.chk3DHeader->isChecked());
    QTest::keyClick(&w, Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return !w.chk3DHeader->isChecked(); }));
    EXPECT_TRUE(w.chkContourHeader->isChecked());
}

// A pipe as a sample diagonal file ("Utility Files") never keeps the window
// from opening.
TEST_F(BatchConfigTest, ASampleDiagonalThatIsAPipeNeverHoldsTheWindow)
{
    testsupport::HangGuard guard;
    StartAndConfirm();
    for (const char* name : {batchcfg::kDiagonalData, batchcfg::kNormalizedDiagonalData}) {
        std::filesystem::remove(batchcfg::UtilityFilePath(name));
        testsupport::MakeFifo(batchcfg::UtilityFilePath(name));
    }
    QTest::mouseClick(gui::frmAnalysis().cmdBatchProcess, Qt::LeftButton);
    QTest::mouseClick(batch::frmBatchProcessing().cmdConfigure3D, Qt::LeftButton);
    EXPECT_TRUE(Window().isVisible());
}

// Every box of every tab is tied to its caption: a number box or a list is
// the buddy of the label before it and is read by that caption (never by the
// tab's or group's mnemonic); a title box is named by the check box beside it.
TEST_F(BatchConfigTest, EveryBoxIsTiedToItsCaption)
{
    platform::InstallAccessibility();
    StartAndConfirm();
    FrmBatchConfiguration& w = Shown();
    int tied = 0, titles = 0;
    for (int t = 0; t < w.SSTab1->count(); ++t) {
        Tab(w, t);
        QWidget* page = w.SSTab1->widget(t);
        for (QWidget* box : page->findChildren<QWidget*>()) {
            if (!qobject_cast<QLineEdit*>(box) && !qobject_cast<QComboBox*>(box)) continue;
            if (qobject_cast<QComboBox*>(box->parent())) continue;   // a list's own editor
            SCOPED_TRACE(box->objectName().toStdString());
            const std::string name = testsupport::AccessibleName(box);
            QLabel* caption = nullptr;
            for (QLabel* l : page->findChildren<QLabel*>())
                if (l->buddy() == box) caption = l;
            if (!caption) {
                bool besideItsCheckBox = false;
                for (QCheckBox* c : page->findChildren<QCheckBox*>())
                    besideItsCheckBox |= testsupport::Caption(c) == name && box->objectName().endsWith(
                                                                                 c->objectName().mid(3));
                EXPECT_TRUE(besideItsCheckBox) << name;
                ++titles;
                continue;
            }
            const std::string shown = platform::VisibleCaption(caption->text()).toStdString();
            EXPECT_EQ(testsupport::LabelledBy(box), shown);
            if (qobject_cast<QLineEdit*>(box)) {
                EXPECT_EQ(name, shown);
            }
            // No mnemonic borrowed from around it (a list keeps its own Down key).
            const QString key = QAccessible::queryAccessibleInterface(box)->text(QAccessible::Accelerator);
            EXPECT_FALSE(key.startsWith("Alt+")) << key.toStdString();
            ++tied;
        }
    }
    EXPECT_EQ(tied, 8) << "Appearance, three label sizes, two number sizes, altitude, rotation";
    EXPECT_EQ(titles, 6);
}
