// The phase-image window driven through its controls, with the main window.
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/startup.h"
#include "app/core/model/model.h"
#include "app/core/runtime.h"
#include "app/editor/core/partition_file.h"
#include "app/editor/gui/frm_domain_name.h"
#include "app/editor/gui/frm_jobs.h"
#include "app/editor/gui/frm_phase_image.h"
#include "editor_test_util.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "platform/accessibility.h"
#include "platform/picturebuffer.h"
#include "tools/synth/synth.h"

#include "testsupport/accessible_names.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/windows/standin_windows.h"

#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <sstream>

using namespace editor;

namespace {

// Writes a synthetic phase image with a measurement header.
void WriteSynthetic(const std::string& path, int cols, int rows, const std::string& surface, double fringe = 0.5)
{
    std::string err;
    auto z = synth::ParseSurface(surface, cols, rows, &err);
    ASSERT_TRUE(err.empty()) << err;
    auto px = synth::WrapToPhase(cols, rows, z, fringe);
    ASSERT_EQ(0, strandel::WriteTIFFFile(path, uint16_t(cols), uint16_t(rows), synth::MakeHeader(fringe, cols, rows),
                                         px.data()));
}

class EditorWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::OffscreenApp();
        model::ResetModel();
        platform::SetBaseFolder(dir.file("base"));
        std::filesystem::create_directories(platform::ResultsFolder());
        testsupport::standins::InstallStandinWindows();
        InstallEditorWindows();
        model::state.StartupInProgress = false;
        model::files.WorkingFolder = dir.path().string() + "/";
    }
    void TearDown() override
    {
        FrmDomainName::ModalHook() = nullptr;
        DestroyDomainNameDialog();
        DestroyJobWindows();
        if (gui::frmAnalysisExists()) delete &gui::frmAnalysis();
        gui::DestroyWindows();
    }
    // Loads an image through the main window's loader.
    void Load(const std::string& path)
    {
        gui::frmAnalysis().LoadPhaseImage(path);
        ASSERT_TRUE(model::state.PhaseInMemory);
    }
    FrmPhaseImage& W() { return frmPhaseImage(); }
    void SetRegion(int l, int t, int w, int h) { W().bufDisplay->setRoi(l, t, w, h); }

    testsupport::TempDir dir;
    platform::ScriptedMessages messages;
    platform::ScriptedDialogs dialogs;
};

} // namespace

TEST_F(EditorWindow, MaskCreateAddFinishedWritesTheMaskFileAndCannotLeaveWhileOpen)
{
    const std::string image = dir.file("part3_ph.tif");
    WriteSynthetic(image, 64, 48, "plane:0.001,0,0");
    Load(image);
    gui::frmAnalysis().cmdMask_Click();
    ASSERT_TRUE(W().cmdCreateMask->isVisibleTo(&W()));
    W().cmdCreateMask->click();
    EXPECT_TRUE(W().hscCenterX->isVisibleTo(&W()));
    EXPECT_EQ(64, W().hscCenterX->maximum());
    EXPECT_EQ(32, W().hscSizeX->value());
    EXPECT_EQ(16, W().bufDisplay->roiLeft());
    EXPECT_EQ(65280u, W().bufDisplay->outlineColor());

    W().cmdReturn->click();
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Complete MASK operation.", messages.records[0].text);
    EXPECT_EQ("Cannot Exit", messages.records[0].title);

    SetRegion(10, 5, 20, 10);
    W().cmdAddMaskRegion->click();
    EXPECT_TRUE(W().cmdMaskDone->isVisibleTo(&W()));
    EXPECT_TRUE(W().cmdUndoLastMask->isVisibleTo(&W()));
    EXPECT_FALSE(W().cmdMaskCancel->isVisibleTo(&W()));
    // Back at the image centre with its size kept.
    EXPECT_EQ(32 - 10, W().bufDisplay->roiLeft());
    EXPECT_EQ(20, W().bufDisplay->roiWidth());

    dialogs.queueFile(dir.file("part3.tif"));
    W().cmdMaskDone->click();
    EXPECT_EQ("Mask: part3_msk.tif", W().lblMask->text().toStdString());
    EXPECT_TRUE(model::state.MaskInMemory);
    strandel::ReadResult r = strandel::ReadImage(dir.file("part3_msk.tif"));
    ASSERT_EQ(0, r.status);
    ASSERT_EQ(3072u, r.pixels.size());
    int zeros = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            if (r.pixels[size_t(y) * 64 + x] == 0) {
                ++zeros;
                EXPECT_TRUE(x >= 10 && x < 30 && y >= 5 && y < 15);
            }
    EXPECT_EQ(200, zeros);
    // The main window shows the masked pixels white.
    EXPECT_EQ(255, gui::frmAnalysis().Picbuf1->pixels()[5 * 64 + 10]);
    EXPECT_TRUE(W().cmdClearMask->isVisibleTo(&W()));

    W().show();
    W().cmdReturn->click();
    EXPECT_FALSE(W().isVisible());

    // Clear Mask: the display loses the overlay.
    W().cmdClearMask->click();
    EXPECT_FALSE(model::state.MaskInMemory);
    EXPECT_EQ(model::images.PhaseImage(10, 5), W().bufDisplay->pixels()[5 * 64 + 10]);
}

TEST_F(EditorWindow, LoadMaskOfAnotherSizeIsRefusedAndKeepsTheState)
{
    const std::string image = dir.file("a_ph.tif");
    WriteSynthetic(image, 64, 48, "plane:0.001,0,0");
    Load(image);
    std::vector<uint8_t> big(640 * 480, 255);
    ASSERT_EQ(0, strandel::WriteTIFFFile(dir.file("big_msk.tif"), 640, 480, "", big.data()));
    gui::frmAnalysis().cmdMask_Click();
    dialogs.queueFile(dir.file("big.tif"));        // wrong kind: refused, dialog again
    dialogs.queueFile(dir.file("big_msk.tif"));
    W().cmdLoadMask->click();
    ASSERT_EQ(2u, messages.records.size());
    EXPECT_EQ("The file cannot be opened.\rInvalid file format.", messages.records[0].text);
    EXPECT_EQ("Mask dimensions 640 (X) x 480 (Y) do not match current phase image size.", messages.records[1].text);
    EXPECT_EQ("Mask Load Error", messages.records[1].title);
    EXPECT_FALSE(model::state.MaskInMemory);
    EXPECT_TRUE(W().cmdLoadMask->isVisibleTo(&W()));
}

TEST_F(EditorWindow, TwoDomainPartitionIsSavedAsTheFixtureAndListedInBothWindows)
{
    const std::string image = dir.file("wafer_ph.tif");
    WriteSynthetic(image, 640, 480, "plane:0.001,0,0");
    Load(image);
    gui::frmAnalysis().cmdCrop_Click();
    W().cmdPartitionAndCrop->click();
    W().cmdCreatePartition->click();
    EXPECT_FALSE(W().cmbDomains->isEnabled());

    std::vector<std::string> answers = {"domain 001", "Domain 001", ""};
    size_t next = 0;
    FrmDomainName::ModalHook() = [&](FrmDomainName& d) {
        if (next < answers.size() && !answers[next].empty()) d.txtDomainName->setText(QString::fromStdString(answers[next]));
        ++next;
        d.cmdOK_Click();
    };
    answers = {"", ""};   // the proposed names: Domain 001, then Domain 002
    SetRegion(10, 20, 100, 50);
    W().cmdAddPartitionDomain->click();
    SetRegion(200, 20, 100, 50);
    W().cmdAddPartitionDomain->click();
    ASSERT_EQ(2, W().cmbDomains->count());
    EXPECT_EQ("Domain 002", W().cmbDomains->itemText(1).toStdString());
    EXPECT_EQ(2, gui::frmAnalysis().cmbDomain->count());

    // A name differing only in letter case is a duplicate; the dialog comes again.
    answers = {"domain 001", ""};
    next = 0;
    FrmDomainName::ModalHook() = [&](FrmDomainName& d) {
        if (next == 0) d.txtDomainName->setText("domain 001");
        else if (next == 1) d.txtDomainName->setText("Extra");
        ++next;
        d.cmdOK_Click();
    };
    SetRegion(400, 300, 30, 30);
    W().cmdAddPartitionDomain->click();
    ASSERT_FALSE(messages.records.empty());
    EXPECT_EQ("The given domain name already exists.\rEnter a different domain name.", messages.records.back().text);
    ASSERT_EQ(3, W().cmbDomains->count());
    W().cmdUndoLastDomain->click();
    EXPECT_EQ(2, W().cmbDomains->count());
    EXPECT_EQ(2, gui::frmAnalysis().cmbDomain->count());
    EXPECT_FALSE(W().cmdUndoLastDomain->isVisibleTo(&W()));
    // The outline of the removed domain is gone, the others stay.
    EXPECT_EQ(model::images.PhaseImage(410, 300), model::images.DisplayImage(410, 300));
    EXPECT_EQ(255, model::images.DisplayImage(10, 20));

    dialogs.queueFile(dir.file("wafer.TXT"));
    W().cmdPartitionDone->click();
    EXPECT_EQ(testsupport::ReadBytes(edtest::Fixture("two_domains_par.txt")),
              testsupport::ReadBytes(dir.file("wafer_par.txt")));
    EXPECT_EQ("Partition: wafer_par.txt", W().lblPartition->text().toStdString());
    EXPECT_TRUE(model::state.PartitionInMemory);
    EXPECT_EQ(3, model::maskPartition.DomainCount);
    EXPECT_FALSE(gui::frmAnalysis().cmbGrating->isEnabled());

    // Leaving selects the same domain in the main window, whose region follows fields 0 to 3.
    W().cmbDomains->setCurrentIndex(1);
    W().cmbDomains_Click();
    W().cmdReturn_Click();
    EXPECT_EQ(1, gui::frmAnalysis().cmbDomain->currentIndex());
    EXPECT_EQ(200, gui::frmAnalysis().Picbuf1->roiLeft());
    EXPECT_EQ(20, gui::frmAnalysis().Picbuf1->roiTop());
    EXPECT_EQ(100, gui::frmAnalysis().Picbuf1->roiWidth());
    EXPECT_EQ(50, gui::frmAnalysis().Picbuf1->roiHeight());

    // Clear Partition.
    W().cmdClearPartition_Click();
    EXPECT_FALSE(model::state.PartitionInMemory);
    EXPECT_EQ(0, W().cmbDomains->count());
    EXPECT_TRUE(gui::frmAnalysis().cmbGrating->isEnabled());
}

TEST_F(EditorWindow, MalformedPartitionFilesAreRefusedWithoutChange)
{
    const std::string image = dir.file("wafer_ph.tif");
    WriteSynthetic(image, 640, 480, "plane:0.001,0,0");
    Load(image);
    gui::frmAnalysis().cmdCrop_Click();
    W().cmdPartitionAndCrop->click();
    for (const char* bad : {"bad_outside_par.txt", "bad_dotdot_par.txt", "bad_empty_par.txt"}) {
        dialogs.queueFile(edtest::Fixture(bad));
        W().cmdLoadPartition->click();
        EXPECT_FALSE(model::state.PartitionInMemory) << bad;
        EXPECT_EQ(0, W().cmbDomains->count());
        EXPECT_EQ("Load Partition Error", messages.records.back().title);
        EXPECT_EQ("Load Partition", testsupport::Caption(W().cmdLoadPartition));
    }
    dialogs.queueFile(edtest::Fixture("numeric_name_par.txt"));
    W().cmdLoadPartition->click();
    ASSERT_TRUE(model::state.PartitionInMemory);
    EXPECT_EQ("Domain 1", W().cmbDomains->itemText(0).toStdString());
    EXPECT_EQ("Left", gui::frmAnalysis().cmbDomain->itemText(1).toStdString());
    EXPECT_EQ("12", model::maskPartition.DomainTable[0].Name);
}

TEST_F(EditorWindow, CropMakesTheRegionTheCurrentImageAndKeepsTheHeader)
{
    const std::string image = dir.file("big_ph.tif");
    WriteSynthetic(image, 64, 48, "plane:0.003,0.001,0");
    Load(image);
    const model::ByteMatrix before = model::images.PhaseImage;
    const std::string header = model::files.ImageHeaderText;
    gui::frmAnalysis().cmdCrop_Click();
    W().cmdCropImage->click();
    SetRegion(60, 10, 10, 10);   // reaches outside
    W().cmdCrop->click();
    EXPECT_EQ("Region Outside Image Limits", messages.records.back().text);
    EXPECT_TRUE(W().cmdCrop->isVisibleTo(&W()));
    SetRegion(44, 8, 20, 10);    // touches the right edge: accepted
    W().cmdCrop->click();
    EXPECT_TRUE(W().cmdCropFinished->isVisibleTo(&W()));
    EXPECT_EQ(20, W().bufDisplay->imageWidth());

    // An existing name is refused; the dialog comes again.
    dialogs.queueFile(image);
    dialogs.queueFile(dir.file("small.tif"));
    W().cmdCropFinished->click();
    EXPECT_EQ("An existing file cannot be overwritten.\rType a new file name.", messages.records.back().text);
    EXPECT_EQ(20, model::images.ImageCols);
    EXPECT_EQ(10, model::images.ImageRows);
    EXPECT_EQ(19, model::images.FullXMax);
    EXPECT_EQ("Image: small.tif (20 x 10)", gui::frmAnalysis().lblImageName->text().toStdString());
    EXPECT_EQ(dir.file("small_ph.tif"), model::files.PhaseImageFile);
    strandel::ReadResult r = strandel::ReadImage(dir.file("small_ph.tif"));
    ASSERT_EQ(0, r.status);
    EXPECT_EQ(header, r.header);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(before(44 + x, 8 + y), r.pixels[size_t(y) * 20 + x]);
}

TEST_F(EditorWindow, AFileHandedOverWhileTheCropIsSavedOpensAfterIt)
{
    const std::string image = dir.file("big_ph.tif"), other = dir.file("other_ph.tif");
    WriteSynthetic(image, 64, 48, "plane:0.003,0.001,0");
    WriteSynthetic(other, 40, 30, "plane:0.001,0,0");
    Load(image);
    gui::frmAnalysis().cmdCrop_Click();
    W().cmdCropImage->click();
    SetRegion(4, 8, 20, 10);
    W().cmdCrop->click();
    // A second start hands its file over while the saved crop lets the
    // windows repaint.
    bool handed = false;
    QTimer whileSaving;
    whileSaving.setInterval(0);
    QObject::connect(&whileSaving, &QTimer::timeout, [&] {
        if (handed || model::files.PhaseImageFile != dir.file("small_ph.tif")) return;
        handed = true;
        gui::ReceiveCommandLine(other);
    });
    whileSaving.start();
    dialogs.queueFile(dir.file("small.tif"));
    W().cmdCropFinished->click();
    ASSERT_TRUE(handed);
    // The handed file is the current image, and the label names it.
    EXPECT_EQ(other, model::files.PhaseImageFile);
    EXPECT_EQ(40, model::images.ImageCols);
    EXPECT_EQ("Image: other_ph.tif (40 x 30)", gui::frmAnalysis().lblImageName->text().toStdString());
}

TEST_F(EditorWindow, BurnMaskWritesANewImageAndClearsTheMask)
{
    const std::string image = dir.file("src_ph.tif");
    WriteSynthetic(image, 64, 48, "plane:0.001,0,0");
    Load(image);
    const std::string header = model::files.ImageHeaderText;
    gui::frmAnalysis().cmdMask_Click();
    W().cmdCreateMask->click();
    SetRegion(10, 5, 20, 10);
    W().cmdAddMaskRegion->click();
    dialogs.queueFileCancel();
    W().cmdMaskDone->click();
    EXPECT_EQ("Mask: Current", W().lblMask->text().toStdString());
    dialogs.queueFile(dir.file("burned.tif"));
    W().cmdBurnMask->click();
    EXPECT_FALSE(model::state.MaskInMemory);
    strandel::ReadResult r = strandel::ReadImage(dir.file("burned_ph.tif"));
    ASSERT_EQ(0, r.status);
    EXPECT_EQ(header, r.header);
    EXPECT_EQ(128, r.pixels[5 * 64 + 10]);
    EXPECT_EQ(128, r.pixels[14 * 64 + 29]);
    EXPECT_EQ(strandel::ReadImage(image).pixels[4 * 64 + 10], r.pixels[4 * 64 + 10]);
    EXPECT_EQ("Image: burned.tif (64 x 48)", gui::frmAnalysis().lblImageName->text().toStdString());
}

TEST_F(EditorWindow, BurnMaskWithoutASaveKeepsTheFileAndNamesTheImageCurrent)
{
    const std::string image = dir.file("src_ph.tif");
    WriteSynthetic(image, 64, 48, "plane:0.001,0,0");
    Load(image);
    gui::frmAnalysis().cmdMask_Click();
    W().cmdCreateMask->click();
    SetRegion(10, 5, 20, 10);
    W().cmdAddMaskRegion->click();
    dialogs.queueFileCancel();
    W().cmdMaskDone->click();
    dialogs.queueFileCancel();
    W().cmdBurnMask->click();
    EXPECT_FALSE(model::state.MaskInMemory);
    EXPECT_EQ(128, model::images.PhaseImage(10, 5));   // burned in memory only
    EXPECT_EQ(image, model::files.PhaseImageFile);
    EXPECT_EQ("Current", model::files.DataSetName);
    EXPECT_EQ("Image: Current (64 x 48)", gui::frmAnalysis().lblImageName->text().toStdString());
}

TEST_F(EditorWindow, DomainNameDialogRefusesFileNameCharacters)
{
    FrmDomainName& d = frmDomainName();
    d.txtDomainName->setText("a/b");
    model::maskPartition.DomainNameText = "unchanged";
    d.cmdOK_Click();
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Invalid Domain Name", messages.records[0].title);
    EXPECT_EQ("unchanged", model::maskPartition.DomainNameText);
    model::maskPartition.CurrentDomain = 4;
    d.chkAutomaticallyNumberDomains->setChecked(true);
    EXPECT_EQ("Domain 005", d.txtDomainName->text().toStdString());
    EXPECT_FALSE(d.txtDomainName->isEnabled());
    d.cmdOK_Click();
    EXPECT_EQ("Domain 005", model::maskPartition.DomainNameText);
    d.close();   // the close box cancels
    EXPECT_EQ("", model::maskPartition.DomainNameText);
}

TEST_F(EditorWindow, TiltOverOneDomainGivesTheDomainSizeAndRange)
{
    // A plane of 0.002 mils per column and 0.001 per row.
    const std::string image = dir.file("tilt_ph.tif");
    WriteSynthetic(image, 320, 240, "plane:0.002,0.001,0", 0.5);
    const std::string partition = dir.file("tilt_par.txt");
    ASSERT_TRUE(WritePartitionFile(partition, {{40, 30, 100, 50, "Probe"}}, 320, 240));
    const double expected = 0.002 * 99 + 0.001 * 49;

    // Through the command-line analysis: its data file holds the domain's result.
    const std::string out = testsupport::Shell(testsupport::BinDir() + "/sorvanta-analyze --rotation None --base '" +
                                               dir.file("base") + "' --partition '" + partition +
                                               "' --domain 1 --save '" + dir.file("tilt.dat") + "' '" + image + "'");
    const std::string data = testsupport::ReadText(dir.file("tilt_ab.dat"));
    EXPECT_NE(std::string::npos, data.find("Rows\t50")) << out;
    EXPECT_NE(std::string::npos, data.find("Columns\t100")) << out;
    double lo = 1e9, hi = -1e9;
    int values = 0;
    {
        std::istringstream in(data);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream ls(line);
            double v;
            if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
            while (ls >> v) {
                lo = std::min(lo, v);
                hi = std::max(hi, v);
                ++values;
            }
        }
    }
    EXPECT_EQ(5000, values);
    EXPECT_NEAR(expected, hi - lo, 0.01);

    // Through the windows.
    Load(image);
    gui::frmAnalysis().cmdCrop_Click();
    W().cmdPartitionAndCrop->click();
    dialogs.queueFile(partition);
    W().cmdLoadPartition->click();
    ASSERT_TRUE(model::state.PartitionInMemory);
    W().cmdReturn_Click();
    gui::FrmAnalysis& m = gui::frmAnalysis();
    m.cmbRotation->setCurrentIndex(0);
    m.cmbDomain->setCurrentIndex(0);
    m.cmdUnwrap_Click();
    EXPECT_EQ(100, model::images.ImageCols);
    EXPECT_EQ(50, model::images.ImageRows);
    EXPECT_NEAR(expected, model::state.ZRange, 0.01);
    EXPECT_NE(std::string::npos, out.find(core::FormatNumber(model::state.ZRange, model::files.ZFormat))) << out;
}

TEST_F(EditorWindow, MaskAndPartitionSavesAskBeforeReplacingTheNameWritten)
{
    const std::string image = dir.file("part3_ph.tif");
    WriteSynthetic(image, 64, 48, "plane:0.001,0,0");
    Load(image);
    testsupport::WriteBytes(dir.file("part3_msk.tif"), {'k'});
    testsupport::WriteBytes(dir.file("part3_par.txt"), {'k'});

    gui::frmAnalysis().cmdMask_Click();
    W().cmdCreateMask->click();
    SetRegion(10, 5, 20, 10);
    W().cmdAddMaskRegion->click();
    // "part3.tif" is written as part3_msk.tif: asked about; No brings the dialog back, then cancel.
    dialogs.queueFile(dir.file("part3.tif"));
    dialogs.queueFileCancel();
    messages.queue(platform::kAnsNo);
    W().cmdMaskDone->click();
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("part3_msk.tif already exists.\rDo you want to replace it?", messages.records[0].text);
    EXPECT_EQ(36, messages.records[0].style);
    EXPECT_EQ(2u, dialogs.fileRequests.size());
    EXPECT_EQ("k", testsupport::ReadText(dir.file("part3_msk.tif")));
    EXPECT_EQ("Mask: Current", W().lblMask->text().toStdString());

    // Yes replaces it.
    W().cmdClearMask->click();
    W().cmdCreateMask->click();
    SetRegion(10, 5, 20, 10);
    W().cmdAddMaskRegion->click();
    dialogs.queueFile(dir.file("part3.tif"));
    messages.queue(platform::kAnsYes);
    W().cmdMaskDone->click();
    EXPECT_EQ("Mask: part3_msk.tif", W().lblMask->text().toStdString());
    EXPECT_EQ(0, strandel::ReadImage(dir.file("part3_msk.tif")).status);
    W().cmdClearMask->click();

    // The partition's Finished asks the same way.
    W().cmdReturn->click();
    gui::frmAnalysis().cmdCrop_Click();
    W().cmdPartitionAndCrop->click();
    W().cmdCreatePartition->click();
    FrmDomainName::ModalHook() = [](FrmDomainName& d) { d.cmdOK_Click(); };
    SetRegion(10, 5, 20, 10);
    W().cmdAddPartitionDomain->click();
    messages.records.clear();
    dialogs.queueFile(dir.file("part3.txt"));
    messages.queue(platform::kAnsNo);
    dialogs.queueFileCancel();
    W().cmdPartitionDone->click();
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("part3_par.txt already exists.\rDo you want to replace it?", messages.records[0].text);
    EXPECT_EQ("k", testsupport::ReadText(dir.file("part3_par.txt")));
    EXPECT_EQ("Partition: Current", W().lblPartition->text().toStdString());
}

TEST_F(EditorWindow, DomainNameDialogRefusesTheNamesThePartitionLoaderRefuses)
{
    FrmDomainName& d = frmDomainName();
    d.show();
    model::maskPartition.DomainNameText = "unchanged";
    d.txtDomainName->clear();
    QTest::keyClicks(d.txtDomainName, "a..b");
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("Invalid Domain Name", messages.records[0].title);
    EXPECT_EQ("unchanged", model::maskPartition.DomainNameText);
    EXPECT_TRUE(d.isVisible());

    // Dots that are not a pair are a name like any other, and load again.
    d.txtDomainName->clear();
    QTest::keyClicks(d.txtDomainName, "v1.2 left");
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    EXPECT_EQ(1u, messages.records.size());
    ASSERT_EQ("v1.2 left", model::maskPartition.DomainNameText);
    const PartitionRead r =
        ParsePartitionText(FormatPartitionFile({{1, 2, 3, 4, model::maskPartition.DomainNameText}}, 10, 10), 10, 10);
    EXPECT_EQ(PartitionRead::Ok, r.status) << r.reason;
}

TEST_F(EditorWindow, LoadingAnotherImageEndsTheOpenEditorOperation)
{
    const std::string small = dir.file("small_ph.tif"), large = dir.file("large_ph.tif");
    WriteSynthetic(small, 200, 150, "plane:0.001,0,0");
    WriteSynthetic(large, 400, 300, "plane:0.001,0,0");
    Load(small);
    gui::FrmAnalysis& m = gui::frmAnalysis();
    m.show();
    m.cmdMask_Click();
    W().cmdCreateMask->click();
    ASSERT_TRUE(W().cmdAddMaskRegion->isVisibleTo(&W()));

    // The user keeps the operation: the new image is not loaded.
    dialogs.queueFile(large);
    messages.queue(platform::kAnsNo);
    QTest::mouseClick(m.cmdLoadFile, Qt::LeftButton);
    ASSERT_EQ(1u, messages.records.size());
    EXPECT_EQ("The MASK operation of the phase image window is not complete.\rCancel it and load the new image?",
              messages.records[0].text);
    EXPECT_EQ(36, messages.records[0].style);
    EXPECT_EQ(200, model::images.ImageCols);
    EXPECT_TRUE(W().cmdAddMaskRegion->isVisibleTo(&W()));

    // Yes ends it and loads the image; a new mask is drawn and written at the new size.
    dialogs.queueFile(large);
    messages.queue(platform::kAnsYes);
    QTest::mouseClick(m.cmdLoadFile, Qt::LeftButton);
    EXPECT_EQ(400, model::images.ImageCols);
    EXPECT_FALSE(W().cmdAddMaskRegion->isVisibleTo(&W()));
    ASSERT_TRUE(W().cmdCreateMask->isVisibleTo(&W()));
    W().cmdCreateMask->click();
    EXPECT_EQ(400, W().hscCenterX->maximum());
    messages.records.clear();
    SetRegion(300, 200, 50, 50);   // inside the new picture only
    W().cmdAddMaskRegion->click();
    EXPECT_TRUE(messages.records.empty());
    dialogs.queueFile(dir.file("large.tif"));
    W().cmdMaskDone->click();
    strandel::ReadResult r = strandel::ReadImage(dir.file("large_msk.tif"));
    ASSERT_EQ(0, r.status);
    EXPECT_EQ(400, r.cols);
    EXPECT_EQ(300, r.rows);
    EXPECT_EQ(0, r.pixels[size_t(200) * 400 + 300]);
}

TEST_F(EditorWindow, LoadingAnotherImageEndsAPartitionOrCropBeingDrawn)
{
    const std::string small = dir.file("small_ph.tif"), large = dir.file("large_ph.tif");
    WriteSynthetic(small, 200, 150, "plane:0.001,0,0");
    WriteSynthetic(large, 400, 300, "plane:0.001,0,0");
    Load(small);
    gui::FrmAnalysis& m = gui::frmAnalysis();
    m.cmdCrop_Click();
    W().cmdPartitionAndCrop->click();
    W().cmdCreatePartition->click();
    FrmDomainName::ModalHook() = [](FrmDomainName& d) { d.cmdOK_Click(); };
    SetRegion(10, 10, 20, 20);
    W().cmdAddPartitionDomain->click();
    ASSERT_EQ(1, m.cmbDomain->count());
    messages.queue(platform::kAnsYes);
    Load(large);
    EXPECT_EQ("The PARTITION operation of the phase image window is not complete.\rCancel it and load the new image?",
              messages.records.at(0).text);
    EXPECT_EQ(0, m.cmbDomain->count());
    EXPECT_EQ(0, W().cmbDomains->count());
    EXPECT_FALSE(model::maskPartition.RoiEditMode);
    EXPECT_FALSE(W().cmdAddPartitionDomain->isVisibleTo(&W()));
    EXPECT_TRUE(W().cmdCropImage->isVisibleTo(&W()));

    // A crop made but not finished is undone.
    W().cmdCropImage->click();
    SetRegion(10, 10, 50, 40);
    W().cmdCrop->click();
    ASSERT_TRUE(W().cmdCropFinished->isVisibleTo(&W()));
    messages.queue(platform::kAnsYes);
    Load(small);
    EXPECT_FALSE(W().cmdCropFinished->isVisibleTo(&W()));
    EXPECT_TRUE(W().cmdCropImage->isVisibleTo(&W()));
    EXPECT_EQ(200, W().bufDisplay->imageWidth());
    EXPECT_EQ(200, model::images.ImageCols);
}

TEST_F(EditorWindow, CtrlHeldOnASizeBarLinksTheTwoSizesFromTheKeyboard)
{
    const std::string image = dir.file("part_ph.tif");
    WriteSynthetic(image, 200, 150, "plane:0.001,0,0");
    Load(image);
    gui::frmAnalysis().cmdMask_Click();
    W().cmdCreateMask->click();
    W().show();
    W().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W(), testsupport::kHangMs));
    QScrollBar* bar = W().hscSizeX;
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(bar->width() - 3, bar->height() / 2));
    ASSERT_EQ(bar, QApplication::focusWidget());
    const int x = bar->value(), y = W().hscSizeY->value();
    ASSERT_NE(x, y);

    // Without Ctrl the height stays; with Ctrl held it follows the width.
    QTest::keyClick(W().windowHandle(), Qt::Key_Right);
    EXPECT_EQ(x + 1, bar->value());
    EXPECT_EQ(y, W().hscSizeY->value());
    QTest::keyPress(W().windowHandle(), Qt::Key_Control, Qt::ControlModifier);
    QTest::keyClick(W().windowHandle(), Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(x + 2, bar->value());
    EXPECT_EQ(x + 2, W().hscSizeY->value());
    EXPECT_EQ(x + 2, W().bufDisplay->roiHeight());
    QTest::keyRelease(W().windowHandle(), Qt::Key_Control, Qt::NoModifier);
    QTest::keyClick(W().windowHandle(), Qt::Key_Right);
    EXPECT_EQ(x + 3, bar->value());
    EXPECT_EQ(x + 2, W().hscSizeY->value());
}

TEST_F(EditorWindow, EnterInTheDomainNameBoxRunsOkOnce)
{
    FrmDomainName& d = frmDomainName();
    d.show();
    d.txtDomainName->clear();
    QTest::keyClicks(d.txtDomainName, "a?b");
    QTest::keyClick(d.txtDomainName, Qt::Key_Return);
    EXPECT_EQ(1u, messages.records.size());
    EXPECT_TRUE(d.isVisible());
    d.txtDomainName->clear();
    QTest::keyClicks(d.txtDomainName, "Left");
    QTest::keyClick(d.txtDomainName, Qt::Key_Enter);
    EXPECT_EQ(1u, messages.records.size());
    EXPECT_EQ("Left", model::maskPartition.DomainNameText);
    EXPECT_FALSE(d.isVisible());
}

TEST_F(EditorWindow, ControlsAreReadByTheirCaptionOrTheLabelBesideThem)
{
    const std::string image = dir.file("part_ph.tif");
    WriteSynthetic(image, 64, 48, "plane:0.001,0,0");
    Load(image);
    gui::frmAnalysis().cmdCrop_Click();
    W().cmdPartitionAndCrop->click();
    W().cmdCreatePartition->click();
    EXPECT_EQ("", testsupport::UnreadableControls(&W()));
    EXPECT_EQ("Size X", testsupport::AccessibleName(W().hscSizeX));
    EXPECT_EQ("Domain Select", testsupport::AccessibleName(W().cmbDomains));
    W().hscSizeX->setValue(20);
    EXPECT_EQ("Size X  20", testsupport::AccessibleName(W().lblSizeX));
    EXPECT_EQ("", testsupport::UnreadableControls(&frmDomainName()));

    EXPECT_EQ("", testsupport::UnreadableControls(&frmCropDomains()));
    EXPECT_EQ("", testsupport::UnreadableControls(&gui::frmBurnMask()));
}

TEST_F(EditorWindow, EveryCommandHasItsOwnMnemonicAndAltWorksIt)
{
    platform::InstallAccessibility();
    const std::string image = dir.file("part_ph.tif");
    WriteSynthetic(image, 64, 48, "plane:0.001,0,0");
    Load(image);
    QTest::mouseClick(gui::frmAnalysis().cmdMask, Qt::LeftButton);
    ASSERT_TRUE(W().isVisible());
    EXPECT_EQ(QAccessible::Window, testsupport::AccessibleRole(&W()));
    EXPECT_EQ(QAccessible::Dialog, testsupport::AccessibleRole(&frmDomainName()));
    EXPECT_EQ("", testsupport::CodeNamedElements(&W()));
    // Each mode shows its own buttons; one caption keeps one key in all.
    EXPECT_EQ("", testsupport::MnemonicFaults(&W(), true));
    EXPECT_EQ("", testsupport::MnemonicFaults(&frmDomainName()));
    EXPECT_EQ("", testsupport::MnemonicFaults(&frmCropDomains()));
    EXPECT_EQ("", testsupport::MnemonicFaults(&gui::frmBurnMask(), true));

    // Alt+C starts a mask as the click would.
    W().activateWindow();
    QApplication::setActiveWindow(&W());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&W(), testsupport::kHangMs));
    QTest::keyClick(&W(), Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return W().hscCenterX->isVisibleTo(&W()); }));
}

TEST_F(EditorWindow, ClicksOnTheIdlePictureAfterACropSayNothing)
{
    const std::string image = dir.file("part_ph.tif");
    WriteSynthetic(image, 200, 150, "plane:0.001,0,0");
    Load(image);
    gui::frmAnalysis().cmdCrop_Click();
    W().show();
    W().cmdCropImage->click();
    platform::PictureBuffer* pic = W().bufDisplay;
    // The pointer rests inside the region when Crop is pressed from the keyboard.
    QTest::mouseMove(pic, QPoint(100, 75));
    W().cmdCrop->setFocus();
    QTest::keyClick(W().cmdCrop, Qt::Key_Space);
    ASSERT_TRUE(W().cmdCropFinished->isVisibleTo(&W()));
    const QSize window = W().size();
    dialogs.queueFileCancel();
    W().cmdCropFinished->click();
    // The picture control is the cropped picture's size (no blank band) and the window keeps its size.
    EXPECT_EQ(QSize(pic->imageWidth(), pic->imageHeight()), pic->size());
    EXPECT_EQ(window, W().size());
    messages.records.clear();
    for (QPoint p : {QPoint(5, 5), QPoint(50, 30), QPoint(90, 70)}) {
        QTest::mouseMove(pic, p);
        QTest::mouseClick(pic, Qt::LeftButton, Qt::NoModifier, p);
    }
    EXPECT_TRUE(messages.records.empty()) << messages.records.front().text;
}

TEST_F(EditorWindow, OpensMaximisedInBothModes)
{
    const std::string image = dir.file("part_ph.tif");
    WriteSynthetic(image, 200, 150, "plane:0.001,0,0");
    Load(image);
    QTest::mouseClick(gui::frmAnalysis().cmdCrop, Qt::LeftButton);
    ASSERT_TRUE(W().isVisible());
    EXPECT_TRUE(W().isMaximized());
    W().cmdReturn->click();
    W().showNormal();
    W().hide();
    QTest::mouseClick(gui::frmAnalysis().cmdMask, Qt::LeftButton);
    EXPECT_TRUE(W().isMaximized());
}

namespace {

// Counts the changes of a window into the maximised state.
struct MaximiseCounter : QObject {
    int count = 0;
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::WindowStateChange && static_cast<QWidget*>(o)->isMaximized()) ++count;
        return false;
    }
};

} // namespace

TEST_F(EditorWindow, EveryOpeningAsksForTheMaximisedState)
{
    const std::string image = dir.file("part_ph.tif");
    WriteSynthetic(image, 200, 150, "plane:0.001,0,0");
    Load(image);
    MaximiseCounter counter;
    QPushButton* open[] = {gui::frmAnalysis().cmdMask, gui::frmAnalysis().cmdCrop, gui::frmAnalysis().cmdMask};
    for (int i = 0; i < 3; ++i) {
        counter.count = 0;
        W().installEventFilter(&counter);
        QTest::mouseClick(open[i], Qt::LeftButton);
        QApplication::processEvents();
        W().removeEventFilter(&counter);
        ASSERT_TRUE(W().isVisible()) << i;
        // The request goes out with each opening, not only with the first.
        EXPECT_GE(counter.count, 1) << i;
        EXPECT_TRUE(W().isMaximized()) << i;
        EXPECT_TRUE(W().screen()->availableGeometry().contains(W().frameGeometry()))
            << i << " " << W().frameGeometry().x() << "," << W().frameGeometry().y() << " "
            << W().frameGeometry().width() << "x" << W().frameGeometry().height();
        QTest::mouseClick(W().cmdReturn, Qt::LeftButton);
        ASSERT_FALSE(W().isVisible()) << i;
    }
}

TEST_F(EditorWindow, ClearPartitionLeavesNoDomainOutlineOnEitherPicture)
{
    const std::string image = dir.file("wafer_ph.tif");
    WriteSynthetic(image, 320, 240, "plane:0.001,0,0");
    const std::string partition = dir.file("wafer_par.txt");
    ASSERT_TRUE(WritePartitionFile(partition, {{40, 30, 100, 50, "Left"}, {180, 30, 100, 50, "Right"}}, 320, 240));
    Load(image);
    gui::FrmAnalysis& m = gui::frmAnalysis();
    QTest::mouseClick(m.cmdCrop, Qt::LeftButton);
    QTest::mouseClick(W().cmdPartitionAndCrop, Qt::LeftButton);
    dialogs.queueFile(partition);
    QTest::mouseClick(W().cmdLoadPartition, Qt::LeftButton);
    ASSERT_TRUE(model::state.PartitionInMemory);
    QTest::mouseClick(W().cmdReturn, Qt::LeftButton);
    ASSERT_TRUE(m.Picbuf1->regionVisible());
    QTest::mouseClick(m.cmdCrop, Qt::LeftButton);
    ASSERT_TRUE(W().bufDisplay->regionVisible());

    QTest::mouseClick(W().cmdClearPartition, Qt::LeftButton);
    EXPECT_FALSE(model::state.PartitionInMemory);
    EXPECT_FALSE(W().bufDisplay->regionVisible());
    EXPECT_FALSE(m.Picbuf1->regionVisible());
    // The outline pixels drawn into the picture are gone too.
    EXPECT_EQ(model::images.PhaseImage(40, 30), W().bufDisplay->pixels()[30 * 320 + 40]);
    EXPECT_EQ(model::images.PhaseImage(40, 30), m.Picbuf1->pixels()[30 * 320 + 40]);
}

TEST_F(EditorWindow, ButtonCaptionsKeepClearOfTheButtonsEdges)
{
    const std::string image = dir.file("part_ph.tif");
    WriteSynthetic(image, 200, 150, "plane:0.001,0,0");
    Load(image);
    QTest::mouseClick(gui::frmAnalysis().cmdMask, Qt::LeftButton);
    QApplication::processEvents();
    ASSERT_TRUE(W().cmdReturn->isVisible());
    for (QPushButton* b : W().findChildren<QPushButton*>()) {
        if (!b->isVisible()) continue;
        QString caption = b->text();
        caption.remove(QRegularExpression("&(?!&)"));
        const int room = (b->width() - b->fontMetrics().horizontalAdvance(caption)) / 2;
        EXPECT_GE(room, b->fontMetrics().averageCharWidth()) << caption.toStdString();
    }
}
