// The batch window as a user drives it: a real start of the program, real
// clicks and keys, scripted dialogs and message boxes, labels read back.
#include "app/batch/gui/frm_batch_processing.h"
#include "app/batch/output.h"
#include "app/batch/tests/batch_test_util.h"
#include "app/core/gui/frm_analysis.h"
#include "app/core/figures.h"
#include "app/core/runtime.h"
#include "app/core/gui/settings_forms.h"
#include "app/core/gui/tests/gui_fixture.h"
#include "app/core/settings.h"
#include "platform/accessibility.h"
#include "testsupport/accessible_names.h"

#include <QAccessible>
#include <QApplication>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QHeaderView>
#include <QTest>

#include <cstring>
#include <filesystem>

namespace {

class BatchWindow : public guitest::GuiTest {
protected:
    std::string folder;

    void SetUp() override
    {
        GuiTest::SetUp();
        batch::InstallBatchWindows();
        folder = dir.file("Panel 7");
        std::filesystem::create_directories(folder);
    }

    void MakeThree()
    {
        batchtest::WritePhase(folder + "/a_plane_ph.tif", 201, 101, "plane:0.0390625,0.078125,0", true);
        batchtest::WritePhase(folder + "/b_bare_ph.tif", 201, 101, "plane:0.01,0,0", false);
        batchtest::WritePhase(folder + "/c_bow_ph.tif", 201, 101, "cylinder:0.002,100", true);
    }

    // Opens the batch window from the main window's button.
    batch::FrmBatchProcessing& Open()
    {
        QTest::mouseClick(gui::frmAnalysis().cmdBatchProcess, Qt::LeftButton);
        batch::FrmBatchProcessing& w = batch::frmBatchProcessing();
        EXPECT_TRUE(w.isVisible());
        QApplication::setActiveWindow(&w);
        return w;
    }

    static void Click(QAbstractButton* b)
    {
        ASSERT_TRUE(b->isVisible() && b->isEnabled()) << b->objectName().toStdString();
        if (qobject_cast<QCheckBox*>(b))
            QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
        else
            QTest::mouseClick(b, Qt::LeftButton);
    }

    static void Type(QLineEdit* e, const QString& text)
    {
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }

    // Leaves a box by tabbing to the next control.
    static void Leave(QLineEdit* e)
    {
        e->setFocus();
        QTest::keyClick(e, Qt::Key_Tab);
        QApplication::processEvents();
    }

    static void DoubleClickCell(QTableWidget* g, int row, int column)
    {
        // A user's double click: a click, then the second press as a double click.
        const QPoint at = g->visualRect(g->model()->index(row, column)).center();
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, at);
    }

    std::string Harness(const std::string& args)
    {
        int rc = -1;
        const std::string out = testsupport::Shell(testsupport::BinDir() + "/sorvanta-batch --base '" +
                                                       dir.file("base") + "' " + args + " '" + folder + "'",
                                                   &rc);
        EXPECT_EQ(rc, 0) << out;
        return out;
    }

    static std::string WithoutCreated(std::string text)
    {
        const size_t p = text.find("\r\nCreated: ");
        if (p == std::string::npos) return text;
        return text.erase(p, text.find("\r\n", p + 2) - p);
    }
};

} // namespace

TEST_F(BatchWindow, TheReferenceChosenInTheGridIsTheOneTheRelativeRunUses)
{
    MakeThree();
    StartAndConfirm();
    batch::FrmBatchProcessing& w = Open();
    dialogs.queueFolder(folder);
    Click(w.cmdBrowse);
    Click(w.cmdGetBatchData);
    ASSERT_EQ(w.LastRun().processed, 2);

    // An image is added in front between the run and the double click.
    batchtest::WritePhase(folder + "/a0_saddle_ph.tif", 201, 101, "saddle:0.001", true);
    messages.records.clear();
    messages.queue(platform::kAnsYes);
    DoubleClickCell(w.Grid1, 2, 1);
    ASSERT_EQ(messages.records.size(), 1u) << Messages();
    EXPECT_NE(messages.records[0].text.find("\"c_bow_ph.tif\""), std::string::npos);
    EXPECT_EQ(w.lblDataType->text(), "Relative Data with Reference: c_bow_ph.tif");
    const std::string rel = folder + "/Batch Results for Panel 7 (Rel).txt";
    const std::string relTable = testsupport::ReadText(rel);
    EXPECT_NE(relTable.find("\r\nRelative Displacement Reference: c_bow_ph.tif\r\n"), std::string::npos);
    EXPECT_EQ(w.LastRun().end, batch::RunEnd::Completed);
    EXPECT_EQ(w.LastRun().total, 4);

    // The reference is gone by the time of the next choice: said, nothing run.
    std::filesystem::remove(folder + "/c_bow_ph.tif");
    messages.records.clear();
    messages.queue(platform::kAnsYes);
    DoubleClickCell(w.Grid1, 3, 1);
    ASSERT_EQ(messages.records.size(), 2u) << Messages();
    EXPECT_EQ(messages.records[1].text, "c_bow_ph.tif is no longer in the folder.\rNothing was analyzed.");
    EXPECT_EQ(w.LastRun().end, batch::RunEnd::ReferenceFailed);
    EXPECT_EQ(testsupport::ReadText(rel), relTable) << "the relative table stays";
}

TEST_F(BatchWindow, WholeRunEqualsTheHarnessTableAndTheGridLeadsToARelativeRun)
{
    MakeThree();
    StartAndConfirm();
    // The harness first, with the window's options (the default settings and a 2 x 1 in sample).
    Harness("--width 2 --height 1");
    const std::string abs = folder + "/Batch Results for Panel 7 (Abs).txt";
    const std::string harnessTable = testsupport::ReadText(abs);
    std::filesystem::remove(abs);

    batch::FrmBatchProcessing& w = Open();
    EXPECT_EQ(w.windowTitle(), "Sorvanta Batch Processing");
    dialogs.queueFolder(folder);
    Click(w.cmdBrowse);
    ASSERT_EQ(dialogs.folderRequests.size(), 1u);
    EXPECT_EQ(dialogs.folderRequests[0].prompt, "Select the folder containing the phase images to process:");
    EXPECT_EQ(w.lblPhaseImageCount->text(), "Phase Image Count: 3");
    EXPECT_EQ(w.lblCurrentPath->text().toStdString(), folder);
    Type(w.txtSampleWidth, "2");
    Type(w.txtSampleHeight, "1");
    Click(w.cmdGetBatchData);

    const std::string table = testsupport::ReadText(abs);
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(WithoutCreated(table), WithoutCreated(harnessTable));
    EXPECT_NE(WithoutCreated(table), table) << "the Created line was there";

    // Grid, labels, buttons.
    ASSERT_EQ(w.Grid1->rowCount(), 3);
    EXPECT_EQ(w.Grid1->horizontalHeaderItem(4)->text(), "Coplanarity");
    EXPECT_EQ(w.Grid1->item(1, 0)->text(), "2");
    EXPECT_EQ(w.Grid1->item(1, 1)->text(), "b_bare_ph.tif");
    EXPECT_EQ(w.Grid1->item(1, 2), nullptr);
    EXPECT_EQ(w.Grid1->item(2, 4)->text(), "20.0");
    EXPECT_EQ(w.lblNumberOfImagesProcessed->text(), "Number of Images Processed: 2/3");
    EXPECT_NE(w.lblNumberOfImagesProcessed->styleSheet().indexOf("#ff0000"), -1) << "red";
    EXPECT_EQ(w.lblMaxCoplanarity->text(), "Max Coplanarity: 20.0");
    EXPECT_TRUE(w.lblDataType->isVisible());
    EXPECT_EQ(w.lblDataType->text(), "Absolute Data");
    EXPECT_FALSE(w.txtZmin->text().isEmpty());
    EXPECT_FALSE(w.txtDiagMax->text().isEmpty());
    EXPECT_TRUE(w.cmdGenerateOutput->isEnabled());
    EXPECT_FALSE(w.ProgressBar1->isVisible());
    EXPECT_TRUE(w.isEnabled());

    messages.records.clear();
    Click(w.cmdViewErrors);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, "#2 b_bare_ph.tif: Fringe Value needed.\r");
    EXPECT_EQ(messages.records[0].style, 64);
    EXPECT_EQ(messages.records[0].title, "Batch Processing Errors");

    // The header row and an empty cell do nothing.
    messages.records.clear();
    QTest::mouseDClick(w.Grid1->horizontalHeader()->viewport(), Qt::LeftButton, {},
                       QPoint(w.Grid1->columnWidth(0) + 10, w.Grid1->horizontalHeader()->height() / 2));
    DoubleClickCell(w.Grid1, 1, 5);
    EXPECT_TRUE(messages.records.empty()) << Messages();

    // No keeps the previous reference; Yes runs relative to the bowed image.
    model::batch.BatchReferenceIndex = 0;
    messages.queue(platform::kAnsNo);
    DoubleClickCell(w.Grid1, 2, 1);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text,
              "Recalculate displacement data using\r\"c_bow_ph.tif\"\ras the reference image?");
    EXPECT_EQ(messages.records[0].style, 36);
    EXPECT_EQ(messages.records[0].title, "Calculate Relative Data");
    EXPECT_EQ(model::batch.BatchReferenceIndex, 0);
    EXPECT_FALSE(model::batch.BatchRelativeMode);
    const std::string rel = folder + "/Batch Results for Panel 7 (Rel).txt";
    EXPECT_FALSE(std::filesystem::exists(rel));

    messages.queue(platform::kAnsYes);
    DoubleClickCell(w.Grid1, 2, 1);
    ASSERT_TRUE(std::filesystem::exists(rel));
    EXPECT_EQ(model::batch.BatchReferenceIndex, 2);
    EXPECT_EQ(w.lblDataType->text(), "Relative Data with Reference: c_bow_ph.tif");
    EXPECT_EQ(w.Grid1->item(2, 2)->text(), "0.0");
    const std::string relTable = testsupport::ReadText(rel);
    std::filesystem::remove(rel);
    Harness("--width 2 --height 1 --relative c_bow_ph.tif");
    EXPECT_EQ(WithoutCreated(relTable), WithoutCreated(testsupport::ReadText(rel)));

    // A new folder clears the results.
    const std::string other = dir.file("Other");
    std::filesystem::create_directories(other);
    dialogs.queueFolder(other);
    Click(w.cmdBrowse);
    EXPECT_EQ(w.lblPhaseImageCount->text(), "Phase Image Count: 0");
    EXPECT_EQ(w.Grid1->rowCount(), 1);
    EXPECT_EQ(w.Grid1->item(0, 0), nullptr);
    EXPECT_FALSE(w.cmdGenerateOutput->isEnabled());
    EXPECT_FALSE(w.cmdViewErrors->isVisible());
    EXPECT_EQ(w.lblMaxZ->text(), "Max Z:");
    EXPECT_EQ(w.lblNumberOfImagesProcessed->text(), "Number of Images Processed: 0");
    EXPECT_TRUE(w.txtZmin->text().isEmpty());

    // An empty folder: the run's own message.
    messages.records.clear();
    Click(w.cmdGetBatchData);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, "No phase images found in this folder.");
    EXPECT_EQ(messages.records[0].title, "Folder Selection Error");
}

TEST_F(BatchWindow, TheFileListIsReadAgainWhenTheWindowIsShown)
{
    StartAndConfirm();
    batch::FrmBatchProcessing& w = Open();
    w.Dir1->setPath(QString::fromStdString(folder));
    EXPECT_EQ("Phase Image Count: 0", w.lblPhaseImageCount->text().toStdString());
    QTest::mouseClick(w.cmdClose, Qt::LeftButton);
    ASSERT_FALSE(w.isVisible());

    // Images written while the window was closed (as Crop Domains does), and a new folder.
    batchtest::WritePhase(folder + "/d1_ph.tif", 40, 30, "plane:0.01,0,0", true);
    batchtest::WritePhase(folder + "/d2_ph.tif", 40, 30, "plane:0.01,0,0", true);
    std::filesystem::create_directories(folder + "/Domains");
    Open();
    EXPECT_EQ("Phase Image Count: 2", w.lblPhaseImageCount->text().toStdString());
    ASSERT_EQ(2, w.fileList->listCount());
    EXPECT_EQ("d1_ph.tif", w.fileList->fileName(0).toStdString());
    EXPECT_FALSE(w.Dir1->findItems("Domains", Qt::MatchExactly).isEmpty());
}

TEST_F(BatchWindow, OptionChecksAndMessages)
{
    // A grating table without data for 100 lpi (the box is disabled without a table).
    const std::string utility = dir.file("base") + "/Calverdine/Utility Files";
    std::filesystem::create_directories(utility);
    std::string lines;
    for (int i = 0; i < 48; ++i) lines += "0\n";
    testsupport::WriteBytes(utility + "/GratingComp.txt", std::vector<uint8_t>(lines.begin(), lines.end()));
    StartAndConfirm();
    batch::FrmBatchProcessing& w = Open();

    // Compensate without a height: refused, unticked, focus to the width box.
    Type(w.txtSampleWidth, "2");
    w.txtSampleHeight->clear();
    messages.records.clear();
    Click(w.chkCompensate);
    ASSERT_EQ(messages.records.size(), 1u) << Messages();
    EXPECT_EQ(messages.records[0].text, "Compensation requires image Width(X) and Height(Y).");
    EXPECT_EQ(messages.records[0].title, "Batch Analysis Setup Error");
    EXPECT_FALSE(w.chkCompensate->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), w.txtSampleWidth);

    // Both sizes but no compensation data for the grating.
    Type(w.txtSampleHeight, "1");
    messages.records.clear();
    Click(w.chkCompensate);
    ASSERT_EQ(messages.records.size(), 1u) << Messages();
    EXPECT_EQ(messages.records[0].text, "There are no compensation parameters available for this grating.");
    EXPECT_EQ(messages.records[0].title, "Analysis Setup Error");
    EXPECT_FALSE(w.chkCompensate->isChecked());

    // The grating label follows the two grating-dependent options.
    EXPECT_FALSE(w.lblGrating->isEnabled());
    Click(w.chkFringeValuetxt);
    EXPECT_TRUE(w.lblGrating->isEnabled());
    Click(w.chkFringeValuetxt);
    EXPECT_FALSE(w.lblGrating->isEnabled());

    // Reduce Data follows the 3D and contour boxes and keeps its tick.
    if (w.chk3DPlot->isChecked()) Click(w.chk3DPlot);
    EXPECT_FALSE(w.chkReduceData->isEnabled());
    Click(w.chkContour);
    EXPECT_TRUE(w.chkReduceData->isEnabled());
    Click(w.chkContour);
    EXPECT_FALSE(w.chkReduceData->isEnabled());
    EXPECT_TRUE(w.chkReduceData->isChecked());

    // Size boxes: typing and leaving.
    struct Case {
        const char* typed;
        const char* afterTyping;
        const char* afterLeaving;
    };
    const Case cases[] = {{"-", "", ""}, {"2.", "2.", "2."}, {"0", "0", ""}, {"abc", "", ""}, {"12.5", "12.5", "12.5"}};
    for (const Case& c : cases) {
        Type(w.txtSampleWidth, c.typed);
        EXPECT_EQ(w.txtSampleWidth->text().toStdString(), c.afterTyping) << c.typed;
        Leave(w.txtSampleWidth);
        EXPECT_EQ(w.txtSampleWidth->text().toStdString(), c.afterLeaving) << c.typed;
    }
    // Plot range boxes take the Z format when left.
    Type(w.txtZmax, "12.345");
    Leave(w.txtZmax);
    EXPECT_EQ(w.txtZmax->text(), "12.3");
    Type(w.txtZmax, "abc");
    Leave(w.txtZmax);
    EXPECT_EQ(w.txtZmax->text(), "abc");

    // Rotation decides the range captions.
    w.cmbRotation->setFocus();
    w.cmbRotation->setCurrentIndex(2);
    EXPECT_EQ(w.Grid1->horizontalHeaderItem(4)->text(), "Max Deflection");
    EXPECT_EQ(w.lblMaxCoplanarity->text(), "Max Deflection:");
    w.cmbRotation->setCurrentIndex(4);
    EXPECT_EQ(w.Grid1->horizontalHeaderItem(4)->text(), "Coplanarity");
}

TEST_F(BatchWindow, MaskChoice)
{
    StartAndConfirm();
    batch::FrmBatchProcessing& w = Open();
    const std::string mask = dir.file("Part_MSK.TIF");
    {
        std::vector<uint8_t> px(40 * 30, 255);
        ASSERT_EQ(0, strandel::WriteTIFFFile(mask, 40, 30, "", px.data()));
    }
    // The first tick opens the dialog; a cancel leaves the box unticked.
    dialogs.queueFileCancel();
    Click(w.chkUseMask);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].title, "Load Mask");
    EXPECT_EQ(dialogs.fileRequests[0].filter, "Mask TIF Files (*_msk.tif)|*_msk.tif");
    EXPECT_FALSE(w.chkUseMask->isChecked());
    EXPECT_FALSE(w.lblBatchMask->isEnabled());

    // A file that is not a mask is refused and the dialog opens again.
    messages.records.clear();
    dialogs.queueFile(dir.file("picture.tif"));
    dialogs.queueFile(mask);
    Click(w.chkUseMask);
    EXPECT_EQ(dialogs.fileRequests.size(), 3u);
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, "The file cannot be opened.\rInvalid file format.");
    EXPECT_EQ(messages.records[0].title, "Load Mask File Error");
    EXPECT_TRUE(w.chkUseMask->isChecked());
    EXPECT_TRUE(w.lblBatchMask->isEnabled());
    EXPECT_EQ(w.lblBatchMask->text(), "Part_MSK.TIF");
    EXPECT_EQ(testsupport::Caption(w.cmdSelectMask), "Select File...");
    EXPECT_EQ(model::batch.BatchMaskCols, 40);
    EXPECT_EQ(model::batch.BatchMaskRows, 30);
    EXPECT_EQ(model::files.WorkingFolder, dir.path().string() + "/");

    // With a mask chosen, unticking and ticking again asks nothing.
    Click(w.chkUseMask);
    EXPECT_FALSE(w.lblBatchMask->isEnabled());
    Click(w.chkUseMask);
    EXPECT_EQ(dialogs.fileRequests.size(), 3u);
    EXPECT_TRUE(w.lblBatchMask->isEnabled());
}

TEST_F(BatchWindow, SettingsRoundTripAndStoredCompensationAtStartUp)
{
    // A stored batch configuration with compensation on, and a grating table.
    const std::string utility = dir.file("base") + "/Calverdine/Utility Files";
    std::filesystem::create_directories(utility);
    std::string table;
    for (int g = 0; g < 6; ++g) table += "4\n4\n0\n0\n0\n0\n0\n0.001\n";
    testsupport::WriteBytes(utility + "/GratingComp.txt", std::vector<uint8_t>(table.begin(), table.end()));
    model::Settings s;
    s.SettingBatchGrating = 300;
    s.SettingBatchRotation = "3Pt";
    s.SettingBatchUseFringeValue = "On";
    s.SettingBatchExclude128 = "Off";
    s.SettingBatchPhaseFilter = "On";
    s.SettingBatchCompensate = "On";
    s.SettingBatchNormalizeDiagonal = "On";
    s.SettingBatchWidth = 2.5f;
    s.SettingBatchHeight = 1.5f;
    s.SettingBatch3DOutput = "Off";
    s.SettingBatchContourOutput = "On";
    s.SettingBatchDataOutput = "On";
    const std::string text = core::SettingsFileText(s, false);
    testsupport::WriteBytes(utility + "/Sorvanta Settings.txt", std::vector<uint8_t>(text.begin(), text.end()));

    StartAndConfirm();
    EXPECT_TRUE(messages.records.empty()) << Messages();
    batch::FrmBatchProcessing& w = Open();
    EXPECT_EQ(w.cmbGrating->currentText(), "300");
    EXPECT_EQ(w.cmbRotation->currentText(), "3 Pt Rotation");
    EXPECT_TRUE(w.chkCompensate->isChecked());
    EXPECT_TRUE(w.chkFringeValuetxt->isChecked());
    EXPECT_FALSE(w.chkExclude128->isChecked());
    EXPECT_TRUE(w.chkNormalizeDiagonal->isChecked());
    EXPECT_EQ(w.txtSampleWidth->text(), "2.5");
    EXPECT_TRUE(w.chkContour->isChecked());
    EXPECT_TRUE(w.lblGrating->isEnabled());

    model::Settings back = s;
    back.SettingBatchGrating = 100;
    back.SettingBatchRotation = "LSF";
    back.SettingBatchCompensate = "Off";
    back.SettingBatchWidth = 0;
    gui::SettingsForms().GatherSettings(back);
    EXPECT_EQ(back.SettingBatchGrating, 300);
    EXPECT_EQ(back.SettingBatchRotation, "3Pt");
    EXPECT_EQ(back.SettingBatchCompensate, "On");
    EXPECT_EQ(back.SettingBatchUseFringeValue, "On");
    EXPECT_EQ(back.SettingBatchExclude128, "Off");
    EXPECT_EQ(back.SettingBatchPhaseFilter, "On");
    EXPECT_EQ(back.SettingBatchNormalizeDiagonal, "On");
    EXPECT_FLOAT_EQ(back.SettingBatchWidth, 2.5f);
    EXPECT_FLOAT_EQ(back.SettingBatchHeight, 1.5f);
    EXPECT_EQ(back.SettingBatch3DOutput, "Off");
    EXPECT_EQ(back.SettingBatchContourOutput, "On");
    EXPECT_EQ(back.SettingBatchDataOutput, "On");

    // Closing keeps every value; the window comes back as it was.
    Click(w.cmdClose);
    EXPECT_FALSE(w.isVisible());
    batch::FrmBatchProcessing& again = Open();
    EXPECT_EQ(&again, &w);
    EXPECT_TRUE(again.chkCompensate->isChecked());
}

TEST_F(BatchWindow, EveryCommandHasItsOwnMnemonicAndAltWorksIt)
{
    platform::InstallAccessibility();
    StartAndConfirm();
    batch::FrmBatchProcessing& w = Open();
    EXPECT_EQ(QAccessible::Window, testsupport::AccessibleRole(&w));
    EXPECT_EQ("", testsupport::MnemonicFaults(&w, true));
    EXPECT_EQ("", testsupport::CodeNamedElements(&w));

    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, testsupport::kHangMs));
    const bool before = w.chkNormalizeDiagonal->isChecked();
    QTest::keyClick(&w, Qt::Key_Z, Qt::AltModifier);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return w.chkNormalizeDiagonal->isChecked() != before; }));
}

namespace {

// The figures sorvanta-analyze gives for an image with the main window's
// default options: "Max Z", "Min Z", "Coplanarity".
std::vector<std::string> AnalyzeFigures(const std::string& scratch, const std::string& image)
{
    int rc = -1;
    const std::string out = testsupport::Shell(batchtest::ToolEnvironment(scratch) + "'" + testsupport::BinDir() +
                                                   "/sorvanta-analyze' '" + image + "'",
                                               &rc);
    EXPECT_EQ(rc, 0) << out;
    std::vector<std::string> figures;
    for (const char* label : {"Max Z: ", "Min Z: ", "Coplanarity: "}) {
        const size_t at = out.find(label);
        figures.push_back(at == std::string::npos ? "<missing>"
                                                  : out.substr(at + strlen(label), out.find('\n', at) - at - strlen(label)));
    }
    return figures;
}

std::vector<std::string> MainFigures()
{
    const gui::FrmAnalysis& m = gui::frmAnalysis();
    return {m.lblMaxZValue->text().toStdString(), m.lblMinZValue->text().toStdString(),
            m.lblCoplanarityData->text().toStdString()};
}

} // namespace

// A batch run on images of another fringe value leaves the main window's
// image as it was: a click on Calculate Displacement during the run does
// nothing (the commands are unavailable while the run holds the model), and
// a close of the batch window during the run stops it; either way the next
// Calculate Displacement gives sorvanta-analyze's figures.
TEST_F(BatchWindow, TheMainWindowComputesWithItsOwnImageWhateverTheBatchWindowDid)
{
    for (const char* name : {"a_ph.tif", "b_ph.tif", "c_ph.tif"})
        batchtest::WritePhase(folder + "/" + name, 201, 101, "cylinder:0.001,100", true, "", 5.0);
    const std::string image = dir.file("main_ph.tif");
    batchtest::WritePhase(image, 201, 101, "cylinder:0.002,100+saddle:0.001,100,50", true, "", 10.0);
    const std::vector<std::string> expected = AnalyzeFigures(dir.file("tool"), image);
    StartAndConfirm();
    gui::FrmAnalysis& main = gui::frmAnalysis();
    dialogs.queueFile(image);
    QTest::mouseClick(main.cmdLoadFile, Qt::LeftButton);
    ASSERT_EQ(main.lblFringeValue->text(), "10.000000 (mils)");

    batch::FrmBatchProcessing& w = Open();
    dialogs.queueFolder(folder);
    Click(w.cmdBrowse);
    // The user brings the main window forward during the run and clicks
    // Calculate Displacement (at the run's first yield).
    bool unavailable = false;
    QTimer::singleShot(0, &main, [&] {
        unavailable = !main.cmdUnwrap->isEnabled();
        QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    });
    Click(w.cmdGetBatchData);
    ASSERT_EQ(w.LastRun().end, batch::RunEnd::Completed);
    EXPECT_TRUE(unavailable) << "Calculate Displacement is unavailable during the run";
    EXPECT_EQ(MainFigures(), (std::vector<std::string>{"", "", ""})) << "nothing was computed during the run";
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    EXPECT_EQ(MainFigures(), expected);

    // The batch window is closed (its close box) during the next run.
    QTimer::singleShot(0, &w, [&] { w.close(); });
    Click(w.cmdGetBatchData);
    EXPECT_EQ(w.LastRun().end, batch::RunEnd::Cancelled);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.cmdGenerateOutput->isEnabled()) << "nothing of the stopped run can be output";
    EXPECT_TRUE(main.cmdUnwrap->isEnabled());
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    EXPECT_EQ(MainFigures(), expected);

    // An image handed over by a second start during a run is loaded when the
    // run has ended, as a whole: its name and its figures.
    const std::string other = dir.file("other_ph.tif");
    batchtest::WritePhase(other, 201, 101, "cylinder:0.001,100", true, "", 10.0);
    const std::vector<std::string> otherExpected = AnalyzeFigures(dir.file("tool"), other);
    Open();
    QTimer::singleShot(0, &main, [&] { main.LoadPhaseImage(other); });
    Click(w.cmdGetBatchData);
    ASSERT_EQ(w.LastRun().end, batch::RunEnd::Completed);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return main.lblImageName->text().contains("other_ph.tif"); }));
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    EXPECT_EQ(MainFigures(), otherExpected);
}

// The window lists the folder by the names the file system gives, exactly as
// the command line does: names that are not UTF-8 are failed with the
// encoding reason, never taken for the file whose name holds U+FFFD.
TEST_F(BatchWindow, NamesThatAreNotUtf8AreListedAsTheCommandLineListsThem)
{
    batchtest::WritePhase(folder + "/a_plane_ph.tif", 201, 101, "plane:0.0390625,0.078125,0", true);
    batchtest::WritePhase(folder + "/e\xef\xbf\xbd_ph.tif", 201, 101, "cylinder:0.002,100", true);
    batchtest::WritePhase(folder + "/e\xfe_ph.tif", 201, 101, "cylinder:0.003,100", true);
    batchtest::WritePhase(folder + "/e\xff_ph.tif", 201, 101, "saddle:0.001,100,50", true);
    batchtest::WritePhase(folder + "/lat\xe9_ph.tif", 201, 101, "cylinder:0.001,100", true);
    StartAndConfirm();
    const std::string out = Harness("");
    const std::string abs = folder + "/Batch Results for Panel 7 (Abs).txt";
    const std::string harnessTable = testsupport::ReadText(abs);
    std::filesystem::remove(abs);

    batch::FrmBatchProcessing& w = Open();
    dialogs.queueFolder(folder);
    Click(w.cmdBrowse);
    EXPECT_EQ(w.lblPhaseImageCount->text(), "Phase Image Count: 5");
    Click(w.cmdGetBatchData);
    EXPECT_EQ(WithoutCreated(testsupport::ReadText(abs)), WithoutCreated(harnessTable));
    const std::string& errors = model::batch.BatchErrorList;
    for (const char* name : {"e\xfe_ph.tif", "e\xff_ph.tif", "lat\xe9_ph.tif"})
        EXPECT_NE(errors.find(std::string(name) + batch::kReasonNameEncoding), std::string::npos) << errors;
    EXPECT_NE(out.find("lat\xe9_ph.tif: The file name is not valid"), std::string::npos) << out;
    EXPECT_EQ(w.LastRun().processed, 2);

    // A folder whose name is not UTF-8, chosen with Browse...: its images are
    // listed and its table is written into it.
    const std::string odd = dir.file("lot\xe9");
    std::filesystem::create_directories(odd);
    batchtest::WritePhase(odd + "/a_ph.tif", 201, 101, "cylinder:0.002,100", true);
    dialogs.queueFolder(odd);
    Click(w.cmdBrowse);
    EXPECT_EQ(w.lblPhaseImageCount->text(), "Phase Image Count: 1");
    Click(w.cmdGetBatchData);
    EXPECT_EQ(w.LastRun().processed, 1);
    EXPECT_NE(testsupport::ReadText(odd + "/Batch Results for lot\xe9 (Abs).txt").find("\r\na_ph.tif\t"),
              std::string::npos);
}

// After a relative run against b_bow, a double click on c_twist whose file
// has gone is refused and leaves everything as it was: the relative mode,
// the reference, the grid and the labels, and so what Generate Output writes.
TEST_F(BatchWindow, ARefusedRelativeRunLeavesTheResultsAndTheirReference)
{
    batchtest::WritePhase(folder + "/a_plane_ph.tif", 201, 101, "plane:0.0390625,0.078125,0", true);
    batchtest::WritePhase(folder + "/b_bow_ph.tif", 201, 101, "cylinder:0.002,100", true);
    batchtest::WritePhase(folder + "/c_twist_ph.tif", 201, 101, "saddle:0.001,100,50", true);
    StartAndConfirm();
    batch::FrmBatchProcessing& w = Open();
    dialogs.queueFolder(folder);
    Click(w.cmdBrowse);
    Click(w.cmdGetBatchData);
    messages.queue(platform::kAnsYes);
    DoubleClickCell(w.Grid1, 1, 1);
    ASSERT_EQ(w.lblDataType->text(), "Relative Data with Reference: b_bow_ph.tif");
    const std::string twistRow = w.Grid1->item(2, 4)->text().toStdString();

    std::filesystem::remove(folder + "/c_twist_ph.tif");
    messages.records.clear();
    messages.queue(platform::kAnsYes);
    DoubleClickCell(w.Grid1, 2, 1);
    ASSERT_EQ(messages.records.size(), 2u) << Messages();
    EXPECT_EQ(messages.records[1].text, "c_twist_ph.tif is no longer in the folder.\rNothing was analyzed.");
    EXPECT_TRUE(model::batch.BatchRelativeMode);
    EXPECT_EQ(model::batch.BatchReferenceIndex, 1);
    EXPECT_EQ(w.lblDataType->text(), "Relative Data with Reference: b_bow_ph.tif");
    EXPECT_EQ(w.Grid1->item(2, 4)->text().toStdString(), twistRow);
    EXPECT_TRUE(w.cmdGenerateOutput->isEnabled());
    const batch::OutputRun run = batch::RecordedRun(w.Record());
    EXPECT_TRUE(run.relative);
    EXPECT_EQ(run.images[size_t(run.referenceIndex)].fileName, "b_bow_ph.tif");

    // The same for a run another program holds the folder for.
    batch::FolderLock held;
    ASSERT_EQ(held.acquire(w.Folder()), batch::FolderLock::Result::Held);
    messages.records.clear();
    Click(w.cmdGetBatchData);
    ASSERT_EQ(messages.records.size(), 1u) << Messages();
    EXPECT_EQ(messages.records[0].text, std::string(batch::kFolderBusyText) + "\rThe previous results table is kept.");
    EXPECT_TRUE(model::batch.BatchRelativeMode);
    EXPECT_EQ(w.lblDataType->text(), "Relative Data with Reference: b_bow_ph.tif");
    EXPECT_TRUE(w.cmdGenerateOutput->isEnabled());
}

// Each box of both steps with numbers is tied to its caption (the label's
// buddy; read by its caption, never by its group's Alt+6), and the range
// boxes show the longest value a plot range may take.
TEST_F(BatchWindow, BoxesAreTiedToTheirCaptionsAndShowTheirLongestValue)
{
    platform::InstallAccessibility();
    StartAndConfirm();
    batch::FrmBatchProcessing& w = Open();
    for (QWidget* box : w.findChildren<QWidget*>()) {
        if (!qobject_cast<QLineEdit*>(box) && !qobject_cast<QComboBox*>(box)) continue;
        if (box->parent() && qobject_cast<QComboBox*>(box->parent())) continue;   // a combo box's own editor
        SCOPED_TRACE(box->objectName().toStdString());
        QLabel* caption = nullptr;
        for (QLabel* l : w.findChildren<QLabel*>())
            if (l->buddy() == box) caption = l;
        ASSERT_NE(caption, nullptr);
        const std::string shown = platform::VisibleCaption(caption->text()).toStdString();
        EXPECT_EQ(testsupport::LabelledBy(box), shown);
        if (qobject_cast<QLineEdit*>(box)) {   // a list box reads its choice, captioned by its label
            EXPECT_EQ(testsupport::AccessibleName(box), shown);
        }
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(box);
        EXPECT_NE(a->text(QAccessible::Accelerator).toStdString(), "Alt+6");
    }
    const QString longest = QString::fromStdString(core::FormatNumber(-core::kPlotRangeLimit, "0.0"));
    ASSERT_EQ(longest, "-999999.0");
    for (QLineEdit* box : {w.txtZmin, w.txtZmax, w.txtDiagMin, w.txtDiagMax}) {
        QStyleOptionFrame frame;
        frame.initFrom(box);
        const QRect text = box->style()->subElementRect(QStyle::SE_LineEditContents, &frame, box);
        EXPECT_LE(box->fontMetrics().horizontalAdvance(longest), text.width() - 4) << box->objectName().toStdString();
    }
}
