// Start-up, units dialog, loading phase images and leaving the program.
#include "gui_fixture.h"

#include "app/core/gui/windows.h"
#include "sorvanta_versions.h"
#include "testsupport/windows/standin_windows.h"
#include "app/core/loader.h"
#include "app/core/pipeline.h"
#include "app/core/settings.h"
#include "platform/picturebuffer.h"
#include "platform/regular_file.h"
#include "testsupport/accessible_names.h"
#include "testsupport/peak_memory.h"

#include <QBuffer>
#include <QKeyEvent>
#include <QProcess>
#include <QSignalBlocker>

using namespace guitest;

namespace {

std::string CR = "\r";

} // namespace

TEST_F(GuiTest, StartupEndsInUnitsDialogThenOpenDialog)
{
    ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup("", hooks));
    EXPECT_TRUE(gui::frmUnits().isVisible());
    EXPECT_EQ("Sorvanta Setup", gui::frmUnits().windowTitle());
    EXPECT_TRUE(model::files.UnitsDialogPending);
    EXPECT_TRUE(model::state.StartupInProgress);
    // Missing settings file: warned about and written with defaults.
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Sorvanta Settings.txt is missing." + CR + "A new file with default settings will be created.",
              messages.records[0].text);
    EXPECT_TRUE(platform::FileExists(core::SettingsFilePath()));
    EXPECT_EQ("Sorvanta " SORVANTA_PROGRAM_VERSION, gui::frmSplash().lblSorvanta->text().toStdString());

    gui::frmUnits().optMetricmm->setChecked(true);
    gui::frmUnits().optMetricMicrons->setChecked(true);
    dialogs.queueFileCancel();
    gui::frmUnits().cmdOK->click();
    auto& main = gui::frmAnalysis();
    EXPECT_FALSE(gui::frmUnits().isVisible());
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(model::state.StartupInProgress);
    EXPECT_FALSE(model::files.UnitsDialogPending);
    EXPECT_EQ("X/Y Dimensions (mm)", main.lblLateralDimensions->text().toStdString());
    EXPECT_EQ("(microns)", main.lblZUnits->text().toStdString());
    EXPECT_EQ("0", model::files.ZFormat);
    EXPECT_DOUBLE_EQ(0.1, model::state.UnitScaleFactor);
    EXPECT_EQ("4 - Data Summary (microns)", gui::frmBatchProcessing().lblDataSummary->text().toStdString());
    ASSERT_EQ(1u, dialogs.fileRequests.size());
    EXPECT_EQ("Load Phase Image", dialogs.fileRequests[0].title);
    EXPECT_EQ("Phase Image TIF Files (*_ph.tif)|*_ph.tif", dialogs.fileRequests[0].filter);
    EXPECT_EQ(platform::ResultsFolder() + "/", dialogs.fileRequests[0].initialFolder);
}

TEST_F(GuiTest, UnitsDialogBitmapFormatAndConfirmationByKeyAndClose)
{
    ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup("", hooks));
    auto& units = gui::frmUnits();
    EXPECT_EQ("BMP  (Orrindale)", testsupport::Caption(units.optBitmap));
    units.optBitmap->setChecked(true);
    {
        // Ticked from the settings of an earlier session.
        QSignalBlocker quiet(gui::frmAnalysis().chkCompensate);
        gui::frmAnalysis().chkCompensate->setChecked(true);
        QSignalBlocker quietBatch(gui::frmBatchProcessing().chkCompensate);
        gui::frmBatchProcessing().chkCompensate->setChecked(true);
    }
    dialogs.queueFileCancel();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(&units, &enter);
    EXPECT_FALSE(model::state.StartupInProgress);
    EXPECT_EQ("BMP", model::files.ImageFileFormat);
    auto& main = gui::frmAnalysis();
    EXPECT_FALSE(main.cmdAutoLoadImagePH->isHidden());
    EXPECT_TRUE(main.chkCompensate->isHidden());
    EXPECT_FALSE(main.chkCompensate->isChecked());
    EXPECT_TRUE(gui::frmBatchProcessing().chkCompensate->isHidden());
    EXPECT_FALSE(gui::frmBatchProcessing().chkCompensate->isChecked());
    EXPECT_EQ("*_ph.bmp", gui::frmBatchProcessing().File1->Pattern().toStdString());
    EXPECT_EQ("Phase Image Count: 0", gui::frmBatchProcessing().lblPhaseImageCount->text().toStdString());
    EXPECT_EQ("*_ph.bmp", gui::frmBurnMask().File1->Pattern().toStdString());
    EXPECT_EQ("Phase Image Count: 0", gui::frmBurnMask().lblPhaseImageCount->text().toStdString());
    ASSERT_EQ(1u, dialogs.fileRequests.size());
    EXPECT_EQ("Phase Image BMP Files (*_ph.bmp)|*_ph.bmp", dialogs.fileRequests[0].filter);

    // The fixed acquisition image is missing.
    main.cmdAutoLoadImagePH->click();
    ASSERT_FALSE(messages.records.empty());
    EXPECT_EQ("Image_ph.bmp not found.", messages.records.back().text);
    EXPECT_EQ("Phase Image Load Error", messages.records.back().title);
}

TEST_F(GuiTest, ClosingTheUnitsDialogConfirmsIt)
{
    ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup("", hooks));
    dialogs.queueFileCancel();
    gui::frmUnits().close();
    EXPECT_FALSE(model::state.StartupInProgress);
    EXPECT_TRUE(gui::frmAnalysis().isVisible());
}

TEST_F(GuiTest, StartupRefusals)
{
    // A command line that names no phase image.
    EXPECT_EQ(gui::StartupResult::Ended, gui::RunStartup("/tmp/part.bmp", hooks));
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("The file cannot be opened." + CR + "Invalid file format.", messages.records[0].text);
    EXPECT_EQ("Sorvanta", messages.records[0].title);
    EXPECT_EQ(16, messages.records[0].style);
    gui::ShutdownProgram();

    // The display warning: Quit ends the start-up; the bold line names the conflict.
    hooks.display = [] { return gui::DisplayInfo{1280, 1024, 32, false}; };
    bool labelBold = false, fontBold = true;
    hooks.runDisplayConflict = [&](gui::FrmDisplayConflict& d) {
        labelBold = d.Label2->font().bold();
        fontBold = d.Label3->font().bold();
        EXPECT_EQ("Display Resolution: 1280x1024 pixels", d.Label2->text().toStdString());
        EXPECT_EQ("Font Size: LARGE Fonts", d.Label3->text().toStdString());
        return false;
    };
    EXPECT_EQ(gui::StartupResult::Ended, gui::RunStartup("", hooks));
    EXPECT_TRUE(labelBold);
    EXPECT_FALSE(fontBold);
    gui::ShutdownProgram();

    // The analysis library is missing.
    hooks.runDisplayConflict = [](gui::FrmDisplayConflict&) { return true; };
    platform::SetSystemFolder(dir.file("nolib"));
    messages.records.clear();
    EXPECT_EQ(gui::StartupResult::Ended, gui::RunStartup("", hooks));
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Incorrect Analysis DLL Version installed on system." + CR + "Contact Calverdine.",
              messages.records[0].text);
    EXPECT_EQ(0, messages.records[0].style);
    EXPECT_FALSE(platform::FileExists(core::SettingsFilePath()));
}

TEST_F(GuiTest, CommandLineImageOpensAfterUnitsDialog)
{
    const std::string img = dir.file("part7_ph.tif");
    WritePhaseTiff(img, 64, 48, 0.5);
    ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup(img, hooks));
    EXPECT_FALSE(model::state.PhaseInMemory);
    gui::frmUnits().cmdOK->click();
    auto& main = gui::frmAnalysis();
    EXPECT_TRUE(model::state.PhaseInMemory);
    EXPECT_TRUE(dialogs.fileRequests.empty());
    EXPECT_EQ("Image: part7_ph.tif (64 x 48)", main.lblImageName->text().toStdString());
    EXPECT_EQ("0.500000 (mils)", main.lblFringeValue->text().toStdString());
    EXPECT_TRUE(main.chkExclude128->isChecked());
    EXPECT_FALSE(main.chkFringeValuetxt->isChecked());
    EXPECT_TRUE(main.chkFringeValuetxt->isEnabled());
    EXPECT_EQ(dir.path().string() + "/", model::files.WorkingFolder);
    EXPECT_EQ("part7_ph.tif", model::files.DataSetName);
    EXPECT_EQ(64, main.Picbuf1->imageWidth());
    EXPECT_EQ(48, main.Picbuf1->imageHeight());
    EXPECT_EQ(model::images.PhaseImage.buffer(), main.Picbuf1->pixels());
    EXPECT_FALSE(main.cmdCrop->isHidden());
    EXPECT_FALSE(main.cmdMask->isHidden());
    // The editor shows the same picture.
    EXPECT_FALSE(static_cast<testsupport::standins::PhaseImage&>(gui::frmPhaseImage()).bufDisplay->pixmap().isNull());
}

TEST_F(GuiTest, LoadWithoutHeaderForcesCalibrationFile)
{
    StartAndConfirm();
    const std::string img = dir.file("plain_ph.tif");
    WritePhaseTiff(img, 40, 30, 0.5, false);
    dialogs.queueFile(img);
    gui::frmAnalysis().cmdLoadFile->click();
    auto& main = gui::frmAnalysis();
    EXPECT_EQ("None", main.lblFringeValue->text().toStdString());
    EXPECT_FALSE(main.chkExclude128->isChecked());
    EXPECT_TRUE(main.chkFringeValuetxt->isChecked());
    EXPECT_FALSE(main.chkFringeValuetxt->isEnabled());
    EXPECT_EQ(0.0f, model::state.HeaderFringeValue);
}

TEST_F(GuiTest, BadFilesAreRefusedAndThePreviousImageStays)
{
    StartAndConfirm();
    auto& main = gui::frmAnalysis();
    const std::string good = dir.file("good_ph.tif");
    WritePhaseTiff(good, 32, 24);
    main.LoadPhaseImage(good);
    ASSERT_TRUE(model::state.PhaseInMemory);
    const auto before = model::images.PhaseImage;

    // Not a TIFF; a header that breaks off after its count line; a 24-bit BMP.
    const std::string junk = dir.file("junk_ph.tif");
    testsupport::WriteBytes(junk, {'n', 'o', 't', ' ', 'a', ' ', 't', 'i', 'f'});
    const std::string broken = dir.file("broken_ph.tif");
    std::vector<uint8_t> px(32 * 24, 10);
    ASSERT_EQ(0, strandel::WriteTIFFFile(broken, 32, 24, "Calverdine Phase\r\nHeader Fields:12\r\nA:1\r\n", px.data()));
    const std::string rgb = dir.file("rgb_ph.bmp");
    testsupport::Shell("convert -size 8x8 xc:red -type TrueColor BMP3:" + rgb);
    // The wrong kind of file in the open dialog: a message and the dialog again.
    dialogs.queueFile(dir.file("x.png"));
    dialogs.queueFileCancel();
    main.cmdLoadFile->click();

    for (const std::string& f : {junk, broken, rgb}) {
        messages.records.clear();
        main.LoadPhaseImage(f);
        ASSERT_FALSE(messages.records.empty()) << f;
        EXPECT_EQ("The file cannot be opened." + CR + "Invalid file format.", messages.records.back().text) << f;
        EXPECT_EQ(before, model::images.PhaseImage) << f;
        EXPECT_EQ("Image: good_ph.tif (32 x 24)", main.lblImageName->text().toStdString()) << f;
    }
    EXPECT_EQ(2u, dialogs.fileRequests.size());

    // A TIFF or BMP larger than the analysis may hold, and a path beyond the
    // system's limits, say why; the image in memory stays.
    const std::string bmp = dir.file("grey_ph.bmp");
    testsupport::Shell("convert -size 40x30 gradient: -colors 200 -type Palette BMP3:" + bmp);   // 8 bits
    const std::string tif = dir.file("big_ph.tif");
    WritePhaseTiff(tif, 40, 30);
    core::SetAnalysisMemoryBudget(4 * 40 * 30 - 1);
    const std::string longPath = dir.file(std::string(300, 'n') + "_ph.tif");
    const std::pair<std::string, std::string> refused[] = {
        {tif, core::kNotEnoughMemoryToLoad},
        {bmp, core::kNotEnoughMemoryToLoad},
        {longPath, "The file cannot be opened." + CR + platform::PathLimitText(longPath)},
    };
    for (const auto& [f, text] : refused) {
        messages.records.clear();
        main.LoadPhaseImage(f);
        ASSERT_FALSE(messages.records.empty()) << f;
        EXPECT_EQ(text, messages.records.back().text) << f;
        EXPECT_EQ(before, model::images.PhaseImage) << f;
    }
    core::SetAnalysisMemoryBudget(0);
    main.LoadPhaseImage(bmp);
    EXPECT_EQ("Image: grey_ph.bmp (40 x 30)", main.lblImageName->text().toStdString());
}

TEST_F(GuiTest, SizeQuestionsProtectMaskAndPartition)
{
    StartAndConfirm();
    auto& main = gui::frmAnalysis();
    const std::string a = dir.file("a_ph.tif"), b = dir.file("b_ph.tif");
    WritePhaseTiff(a, 40, 30);
    WritePhaseTiff(b, 50, 20);
    main.LoadPhaseImage(a);
    model::state.MaskInMemory = true;
    model::images.MaskImage.create(40, 30, 255);
    model::state.PartitionInMemory = true;
    model::maskPartition.DomainCount = 2;
    model::maskPartition.DomainTable[0] = {2, 3, 10, 8, "D1"};

    messages.queue(platform::kAnsYes);
    messages.queue(platform::kAnsNo);
    messages.records.clear();
    main.LoadPhaseImage(b);
    ASSERT_EQ(2u, messages.records.size());
    EXPECT_EQ("Selected phase image  50 (X) x  20 (Y) does not match the size of" + CR +
                  "the current mask. Continue and clear current mask from memory?",
              messages.records[0].text);
    EXPECT_EQ("Image Size Mismatch", messages.records[0].title);
    EXPECT_EQ(36, messages.records[0].style);
    EXPECT_EQ("Selected phase image  50 (X) x  20 (Y) does not match the size of" + CR +
                  "the current partition. Continue and clear current partition from memory?",
              messages.records[1].text);
    EXPECT_FALSE(model::state.MaskInMemory);
    EXPECT_TRUE(model::state.PartitionInMemory);
    EXPECT_EQ("Image: a_ph.tif (40 x 30)", main.lblImageName->text().toStdString());

    // Same size: no question; the partition outline is drawn white.
    messages.records.clear();
    main.LoadPhaseImage(a);
    EXPECT_TRUE(messages.records.empty()) << Messages();
    EXPECT_EQ(255, model::images.DisplayImage(2, 3));
    EXPECT_EQ(255, model::images.DisplayImage(11, 10));
}

TEST_F(GuiTest, ExitAsksAndRewritesTheSettingsFile)
{
    StartAndConfirm();
    auto& main = gui::frmAnalysis();
    main.txtSampleWidth->setText("12.34");
    main.cmbRotation->setCurrentIndex(2);
    main.chkPhaseFilter->setChecked(true);
    testsupport::WriteBytes(core::SettingsFilePath(), {});

    messages.queue(platform::kAnsNo);
    main.close();   // the close box asks too
    EXPECT_EQ("Are you sure you want to quit?", messages.records.back().text);
    EXPECT_EQ(36, messages.records.back().style);
    EXPECT_EQ(0, exitCalls);
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(testsupport::ReadText(core::SettingsFilePath()).empty());

    messages.queue(platform::kAnsYes);
    main.cmdExit->click();
    EXPECT_EQ(1, exitCalls);
    model::Settings expected;
    expected.SettingWidth = 12.3f;
    expected.SettingRotation = "4Pt";
    expected.SettingPhaseFilter = "On";
    expected.SettingUseFringeValue = "Off";
    EXPECT_EQ(core::SettingsFileText(expected, false), testsupport::ReadText(core::SettingsFilePath()));
}

TEST_F(GuiTest, OptionHandlers)
{
    StartAndConfirm();
    auto& main = gui::frmAnalysis();
    // Rotation caption.
    const std::vector<std::pair<int, std::string>> rot = {{0, "Maximum Deflection"}, {1, "Coplanarity"},
                                                          {2, "Maximum Deflection"}, {3, "Maximum Deflection"},
                                                          {4, "Coplanarity"},        {5, "Coplanarity"}};
    for (const auto& [i, caption] : rot) {
        main.cmbRotation->setCurrentIndex(i);
        EXPECT_EQ(caption, main.lblCoplanarity->text().toStdString()) << i;
    }
    // Sample boxes: "." stays, "-1" is emptied, "0" stays until focus leaves.
    main.txtSampleWidth->setText(".");
    EXPECT_EQ(".", main.txtSampleWidth->text().toStdString());
    main.txtSampleWidth->setText("-1");
    EXPECT_EQ("", main.txtSampleWidth->text().toStdString());
    main.txtSampleWidth->setText("abc");
    EXPECT_EQ("", main.txtSampleWidth->text().toStdString());
    // Reference and relative exclude each other; relative needs a reference.
    main.chkReference->setChecked(true);
    messages.records.clear();
    main.chkRelative->setChecked(true);
    EXPECT_FALSE(main.chkReference->isChecked());
    EXPECT_FALSE(main.chkRelative->isChecked());
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("No reference data in memory.", messages.records[0].text);
    model::state.ReferenceInMemory = true;
    model::state.RefXMax = 10;
    model::state.RefYMax = model::images.YMax;
    main.chkRelative->setChecked(true);
    EXPECT_EQ("Current and Reference images have different dimensions.", messages.records.back().text);
    EXPECT_FALSE(main.chkRelative->isChecked());
    // Hide minimises.
    main.cmdClose->click();
    EXPECT_TRUE(main.isMinimized());
}

TEST_F(GuiTest, PlotAndWindowCommands)
{
    StartAndConfirm();
    auto& main = gui::frmAnalysis();
    main.txtZmax->setText("5");
    main.txtZmin->setText("5");
    main.cmd3DPlot_Click();
    EXPECT_EQ("Z Max cannot equal Z Min.", messages.records.back().text);
    EXPECT_EQ("Presentation Setup Error", messages.records.back().title);
    main.txtZmax->setText("4");
    main.cmdContour_Click();
    EXPECT_EQ("Z Max must be greater then Z Min.", messages.records.back().text);
    main.txtZmax->setText("abc");
    auto& chart = static_cast<testsupport::standins::Chart3D&>(gui::frm3DChart());
    main.cmd3DPlot_Click();
    EXPECT_EQ(1, chart.setupCalls);
    EXPECT_TRUE(chart.lastReduced);
    EXPECT_TRUE(chart.isVisible());
    main.cmd3DPlot_Click();   // still valid: not built again
    EXPECT_EQ(1, chart.setupCalls);

    auto& contour = static_cast<testsupport::standins::Contour&>(gui::frmContour());
    contour.cmdCustomize_Click();   // the options are open
    main.cmdChordPlot_Click();
    EXPECT_TRUE(model::state.ChordPickMode);
    EXPECT_EQ(50, contour.lastCols);
    EXPECT_TRUE(contour.lastReduce);
    EXPECT_EQ("Show Options", testsupport::Caption(contour.cmdCustomize));
    EXPECT_FALSE(contour.cmdSave->isEnabled());
    EXPECT_FALSE(contour.interactive);

    main.cmdMask_Click();
    EXPECT_EQ("Sorvanta - Mask", gui::frmPhaseImage().windowTitle().toStdString());
    EXPECT_TRUE(gui::frmPhaseImage().cmdLoadMask->isVisible());
    EXPECT_FALSE(gui::frmPhaseImage().cmdClearMask->isVisible());
    main.cmdCrop_Click();
    EXPECT_EQ("Sorvanta - Crop", gui::frmPhaseImage().windowTitle().toStdString());

    auto& thumbs = static_cast<testsupport::standins::ThumbnailView&>(gui::frmThumbnailView());
    main.cmdViewThumbnails_Click();
    EXPECT_EQ(1, thumbs.displayCalls);
    EXPECT_EQ("", thumbs.FolderPath.toStdString());
    EXPECT_EQ("*_3D.bmp;*_3D.jpg;*_ctr.bmp;*_ctr.jpg;*_dia.bmp;*_dia.jpg;*_crd.bmp;*_crd.jpg;*_ph.tif;*_msk.tif;"
              "*Legend*.bmp;*Legend*.jpg",
              thumbs.filter.toStdString());
    main.cmdBatchProcess_Click();
    EXPECT_TRUE(gui::frmBatchProcessing().isVisible());
}

TEST_F(GuiTest, GratingAndRotationListsOfMainAndBatchWindows)
{
    const QStringList gratings = {"50", "100", "200", "300", "500", "1000"};
    const QStringList rotations = {"No Rotation",   "Lsf Rotation", "4 Pt Rotation",
                                   "3 Pt Rotation", "Lsf - Low 0",  "Lsf - High 0"};
    auto items = [](const QComboBox* c) {
        QStringList all;
        for (int i = 0; i < c->count(); ++i) all << c->itemText(i);
        return all;
    };
    EXPECT_EQ(gratings, items(gui::frmAnalysis().cmbGrating));
    EXPECT_EQ(rotations, items(gui::frmAnalysis().cmbRotation));
    EXPECT_EQ(gratings, items(gui::frmBatchProcessing().cmbGrating));
    EXPECT_EQ(rotations, items(gui::frmBatchProcessing().cmbRotation));
}

// A pipe in the splash picture's place ("Utility Files") never holds the start.
TEST_F(GuiTest, ASplashPictureThatIsAPipeNeverHoldsTheStart)
{
    testsupport::HangGuard guard;
    testsupport::Shell("mkdir -p '" + platform::UtilityFolder() + "'");
    testsupport::MakeFifo(platform::JoinPath(platform::UtilityFolder(), "SorvantaSplash.bmp"));
    ASSERT_EQ(gui::StartupResult::Running, gui::RunStartup("", hooks));
    EXPECT_TRUE(gui::frmUnits().isVisible());
}

// The splash reads its picture as the thumbnail list reads pictures: a
// whole one is shown; one cut short with zeros after it (its end missing)
// is refused without reading the zeros, and the drawn picture stays.
TEST_F(GuiTest, TheSplashPictureIsReadNoFurtherThanItsPicture)
{
    testsupport::HangGuard guard;
    testsupport::TempDir dir("splash");
    QImage picture(120, 50, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(2 * x, 5 * y, (x * y) & 255));
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "JPEG"));
    const std::vector<uint8_t> jpeg(encoded.begin(), encoded.end());
    const std::string path = dir.file("SorvantaSplash.bmp");
    testsupport::WriteBytes(path, jpeg);
    EXPECT_TRUE(gui::frmSplash().ShowPictureFile(path));
    EXPECT_EQ(gui::frmSplash().ImgXCtrl1->pixmap().size(), QSize(120, 50));
    testsupport::MakeSparseFile(path, std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2)),
                                int64_t(48) << 20);
    const int64_t peak = testsupport::PeakBytes([&] { return !gui::frmSplash().ShowPictureFile(path); });
    EXPECT_GE(peak, 0) << "cut and padded: refused";
    EXPECT_LT(peak, int64_t(16) << 20);
}
