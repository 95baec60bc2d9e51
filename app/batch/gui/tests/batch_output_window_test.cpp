// Generate Output of the batch window and the record of the run it acts on,
// driven as a user drives them: the record belongs to the run that filled the
// grid, a refused run changes nothing the outputs read, one writer of a folder
// at a time, the end says what was written; and the window's folder list,
// file list, range boxes and size on a small screen.
#include "app/batch/config/frm_batch_configuration.h"
#include "app/batch/gui/frm_batch_processing.h"
#include "app/batch/tests/batch_test_util.h"
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/tests/gui_fixture.h"
#include "app/editor/core/folder_jobs.h"
#include "platform/accessibility.h"
#include "testsupport/accessible_names.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

#include <filesystem>
#include <set>

namespace {

namespace fs = std::filesystem;

class BatchOutputWindow : public guitest::GuiTest {
protected:
    std::string folder;

    void SetUp() override
    {
        GuiTest::SetUp();
        batch::InstallBatchWindows();
        batchcfg::InstallBatchConfigurationWindow();
        folder = dir.file("F");
        fs::create_directories(folder);
    }

    batch::FrmBatchProcessing& OpenOn(const std::string& f)
    {
        QTest::mouseClick(gui::frmAnalysis().cmdBatchProcess, Qt::LeftButton);
        batch::FrmBatchProcessing& w = batch::frmBatchProcessing();
        EXPECT_TRUE(w.isVisible());
        dialogs.queueFolder(f);
        QTest::mouseClick(w.cmdBrowse, Qt::LeftButton);
        return w;
    }

    static void Tick(QCheckBox* box)
    {
        if (!box->isChecked()) QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
        ASSERT_TRUE(box->isChecked()) << box->objectName().toStdString();
    }

    static void DoubleClickCell(QTableWidget* g, int row, int column)
    {
        const QPoint at = g->visualRect(g->model()->index(row, column)).center();
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, at);
    }

    static std::set<std::string> Files(const std::string& f)
    {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(f)) names.insert(e.path().filename().string());
        return names;
    }

    void WriteFringeFile(const std::string& value)
    {
        const std::string utility = dir.file("base/Calverdine/Utility Files");
        fs::create_directories(utility);
        const std::string text = "100\t" + value + "\n";
        testsupport::WriteBytes(utility + "/FringeValue.txt", std::vector<uint8_t>(text.begin(), text.end()));
    }

    // The command-line batch on `f`, in an environment of its own.
    std::string Tool(const std::string& args, const std::string& f, int* rc)
    {
        return testsupport::Shell(batchtest::ToolEnvironment(dir.file("tool")) + "'" + testsupport::BinDir() +
                                      "/sorvanta-batch' --base '" + dir.file("base") + "' " + args + " '" + f +
                                      "' 2>&1",
                                  rc);
    }
};

} // namespace

// Crop Domains on folder G after a run on F lists G's images for itself:
// Generate Output still writes F's outputs into F, and the grid's double
// click still offers F's image of the row.
TEST_F(BatchOutputWindow, TheGridsRecordIsTheRunsWhateverAnotherJobLists)
{
    const std::string g = dir.file("G");
    fs::create_directories(g);
    batchtest::WritePhase(folder + "/m01_ph.tif", 61, 41, "dome:0.002", true);
    batchtest::WritePhase(folder + "/m02_ph.tif", 61, 41, "cylinder:0.002,30", true);
    for (const char* n : {"g1_ph.tif", "g2_ph.tif", "g3_ph.tif"})
        batchtest::WritePhase(g + "/" + n, 61, 41, "plane:0.01,0,0", true);
    StartAndConfirm();
    batch::FrmBatchProcessing& w = OpenOn(folder);
    Tick(w.chkSaveData);
    QTest::mouseClick(w.cmdGetBatchData, Qt::LeftButton);
    ASSERT_TRUE(w.cmdGenerateOutput->isEnabled()) << Messages();

    editor::CropDomainsOptions crop;
    crop.sourceFolder = g;
    crop.destination = dir.file("crops");
    fs::create_directories(crop.destination);
    const editor::JobOutcome cropped = editor::RunCropDomains(crop, {model::Domain{0, 0, 8, 8, "D"}});
    ASSERT_TRUE(cropped.ran) << cropped.message;
    ASSERT_EQ(cropped.total, 3);

    messages.records.clear();
    QTest::mouseClick(w.cmdGenerateOutput, Qt::LeftButton);
    const std::set<std::string> written = Files(folder);
    EXPECT_TRUE(written.count("m01_ab.dat") && written.count("m02_ab.dat")) << Messages();
    for (const std::string& n : Files(g)) EXPECT_EQ(n.find("_ab.dat"), std::string::npos) << n;

    messages.queue(platform::kAnsNo);
    DoubleClickCell(w.Grid1, 1, 1);
    ASSERT_FALSE(messages.records.empty());
    EXPECT_NE(messages.records.back().text.find("\"m02_ph.tif\""), std::string::npos) << Messages();
}

// With Use FringeValue.txt on and images without a header, the calibration
// changes after the run; a double click on a row whose file has gone, and a
// Get Batch Data while another writer holds the folder, are refused. What
// Generate Output writes afterwards is what it wrote before: the run's.
TEST_F(BatchOutputWindow, ARefusedRunLeavesWhatTheOutputsRead)
{
    WriteFringeFile("1");
    for (const char* n : {"a_ph.tif", "b_ph.tif", "c_ph.tif"})
        batchtest::WritePhase(folder + "/" + n, 61, 41, "dome:0.004", false);
    StartAndConfirm();
    batch::FrmBatchProcessing& w = OpenOn(folder);
    Tick(w.chkFringeValuetxt);
    Tick(w.chkSaveData);
    QTest::mouseClick(w.cmdGetBatchData, Qt::LeftButton);
    ASSERT_EQ(w.LastRun().processed, 3) << Messages();
    QTest::mouseClick(w.cmdGenerateOutput, Qt::LeftButton);
    const std::string data = testsupport::ReadText(folder + "/a_ab.dat");
    ASSERT_FALSE(data.empty()) << Messages();
    const QString maxZ = w.lblMaxZ->text();

    WriteFringeFile("2");
    fs::remove(folder + "/c_ph.tif");
    messages.records.clear();
    messages.queue(platform::kAnsYes);
    DoubleClickCell(w.Grid1, 2, 1);
    ASSERT_EQ(messages.records.size(), 2u) << Messages();
    EXPECT_EQ(messages.records[1].text, "c_ph.tif is no longer in the folder.\rNothing was analyzed.");
    fs::remove(folder + "/a_ab.dat");
    QTest::mouseClick(w.cmdGenerateOutput, Qt::LeftButton);
    EXPECT_EQ(testsupport::ReadText(folder + "/a_ab.dat"), data) << "the run's fringe value";

    {
        batch::FolderLock other;   // another instance writing into the folder
        ASSERT_EQ(other.acquire(folder), batch::FolderLock::Result::Held);
        messages.records.clear();
        QTest::mouseClick(w.cmdGetBatchData, Qt::LeftButton);
        ASSERT_EQ(messages.records.size(), 1u) << Messages();
        EXPECT_EQ(messages.records[0].text.rfind(batch::kFolderBusyText, 0), 0u) << Messages();
    }
    EXPECT_EQ(w.lblMaxZ->text(), maxZ);
    fs::remove(folder + "/a_ab.dat");
    QTest::mouseClick(w.cmdGenerateOutput, Qt::LeftButton);
    EXPECT_EQ(testsupport::ReadText(folder + "/a_ab.dat"), data) << "the run's fringe value";
}

// Generate Output and another writer of the same folder: the command line
// started while the window writes is told the folder is busy and writes
// nothing; the window told so while another holds the folder writes nothing.
// The end of the window's output says what it wrote.
TEST_F(BatchOutputWindow, OneWriterOfAFolderAtATimeAndTheEndSaysWhatWasWritten)
{
    batchtest::WritePhase(folder + "/a_ph.tif", 61, 41, "dome:0.002", true);
    batchtest::WritePhase(folder + "/b_ph.tif", 61, 41, "cylinder:0.002,30", true);
    batchtest::WritePhase(folder + "/c_ph.tif", 61, 41, "dome:0.002", false);   // not analysed: no header
    StartAndConfirm();
    batch::FrmBatchProcessing& w = OpenOn(folder);
    Tick(w.chkSaveData);
    Tick(w.chkDiagonal);
    if (w.chk3DPlot->isChecked()) QTest::mouseClick(w.chk3DPlot, Qt::LeftButton, {}, QPoint(6, w.chk3DPlot->height() / 2));
    ASSERT_FALSE(w.chk3DPlot->isChecked());
    QTest::mouseClick(w.cmdGetBatchData, Qt::LeftButton);
    ASSERT_TRUE(w.cmdGenerateOutput->isEnabled()) << Messages();
    const std::string table = folder + "/Batch Results for F (Abs).txt";
    const std::string windowTable = testsupport::ReadText(table);

    // The command line, started when the window has written its first image.
    std::string tool;
    int toolRc = -1;
    QMetaObject::Connection during = QObject::connect(w.ProgressBar2, &QProgressBar::valueChanged, [&](int v) {
        if (v != 1 || !tool.empty()) return;
        tool = Tool("--rotation None --output data,diagonal", folder, &toolRc);
    });
    messages.records.clear();
    QTest::mouseClick(w.cmdGenerateOutput, Qt::LeftButton);
    QObject::disconnect(during);
    ASSERT_FALSE(tool.empty());
    EXPECT_EQ(toolRc, 1) << tool;
    EXPECT_NE(tool.find(batch::kFolderBusyText), std::string::npos) << tool;
    EXPECT_EQ(tool.find("Wrote:"), std::string::npos) << tool;
    EXPECT_EQ(testsupport::ReadText(table), windowTable) << "the window's run's table";
    EXPECT_TRUE(messages.records.empty()) << Messages();
    EXPECT_EQ(Files(folder), (std::set<std::string>{"a_ph.tif", "b_ph.tif", "c_ph.tif", "Batch Results for F (Abs).txt",
                                                   "a_ab.dat", "b_ab.dat", "a_dia.bmp", "b_dia.bmp",
                                                   "Diagonal Legend.bmp"}));
    EXPECT_TRUE(w.lblImagesProcessed->isVisible());
    EXPECT_EQ(w.lblImagesProcessed->text(), "5 files written for 2 of 3 images.");

    // Another writer holds the folder: nothing is written, and the window says so.
    for (const char* n : {"a_ab.dat", "b_ab.dat"}) fs::remove(folder + "/" + std::string(n));
    {
        batch::FolderLock other;
        ASSERT_EQ(other.acquire(folder), batch::FolderLock::Result::Held);
        QTest::mouseClick(w.cmdGenerateOutput, Qt::LeftButton);
    }
    ASSERT_EQ(messages.records.size(), 1u) << Messages();
    EXPECT_EQ(messages.records[0].text, std::string(batch::kFolderBusyText) + "\rNo output was written.");
    EXPECT_FALSE(fs::exists(folder + "/a_ab.dat"));
    EXPECT_EQ(w.lblImagesProcessed->text(), "No output was written.");

    // An output that cannot be written is named, with what was written.
    fs::remove(folder + "/b_dia.bmp");
    fs::create_directories(folder + "/b_dia.bmp");
    messages.records.clear();
    QTest::mouseClick(w.cmdGenerateOutput, Qt::LeftButton);
    ASSERT_EQ(messages.records.size(), 1u) << Messages();
    EXPECT_EQ(messages.records[0].text.rfind("4 files written for 2 of 3 images. 1 not written.\r"
                                             "These outputs could not be written:\r" + folder + "/b_dia.bmp: ",
                                             0),
              0u)
        << Messages();
    EXPECT_EQ(w.lblImagesProcessed->text(), "4 files written for 2 of 3 images. 1 not written.");
}

// The folder list keeps the bytes of a name that is not UTF-8: "Fold\xe9r"
// beside a folder whose name really holds U+FFFD, each chosen by a double
// click in the list, opens its own images.
TEST_F(BatchOutputWindow, TheFolderListKeepsTheBytesOfEachName)
{
    const std::string latin = dir.file("Fold\xe9r"), replacement = dir.file("Fold\xef\xbf\xbdr");
    fs::create_directories(latin);
    fs::create_directories(replacement);
    batchtest::WritePhase(latin + "/a_ph.tif", 31, 21, "dome:0.002", true);
    batchtest::WritePhase(replacement + "/a_ph.tif", 31, 21, "dome:0.002", true);
    batchtest::WritePhase(replacement + "/b_ph.tif", 31, 21, "dome:0.002", true);
    StartAndConfirm();
    batch::FrmBatchProcessing& w = OpenOn(dir.path().string());
    struct Case {
        std::string folder;
        const char* count;
    };
    for (const Case& c : {Case{latin, "Phase Image Count: 1"}, Case{replacement, "Phase Image Count: 2"}}) {
        SCOPED_TRACE(c.count);
        dialogs.queueFolder(dir.path().string());
        QTest::mouseClick(w.cmdBrowse, Qt::LeftButton);
        QListWidgetItem* item = nullptr;
        for (int i = 0; i < w.Dir1->count(); ++i)
            if (w.Dir1->item(i)->data(Qt::UserRole).toByteArray().toStdString() == fs::path(c.folder).filename().string())
                item = w.Dir1->item(i);
        ASSERT_NE(item, nullptr);
        const QPoint at = w.Dir1->visualItemRect(item).center();
        QTest::mouseClick(w.Dir1->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(w.Dir1->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(w.Folder(), c.folder);
        EXPECT_EQ(w.lblPhaseImageCount->text().toStdString(), c.count);
    }
}

// The file list is read by the caption a user sees over it, not by the count
// under it; the window fits the work area of a small screen (its steps
// scroll); the range boxes show their longest value in a large font too.
TEST_F(BatchOutputWindow, FileListNameSmallScreenAndRangeBoxesInALargeFont)
{
    platform::InstallAccessibility();
    batchtest::WritePhase(folder + "/a_ph.tif", 31, 21, "dome:0.002", true);
    StartAndConfirm();
    batch::FrmBatchProcessing& w = OpenOn(folder);
    QLabel* caption = w.findChild<QLabel*>("lblPhaseImages");
    ASSERT_NE(caption, nullptr);
    EXPECT_TRUE(caption->isVisible());
    EXPECT_EQ(testsupport::AccessibleName(w.fileList), "Phase Images");
    EXPECT_EQ(platform::VisibleCaption(caption->text()).toStdString(), "Phase Images");

    const QRect area = w.screen()->availableGeometry();
    ASSERT_LE(area.width(), 1024) << "a small screen";
    QApplication::processEvents();
    EXPECT_LE(w.frameGeometry().width(), area.width());
    EXPECT_LE(w.frameGeometry().height(), area.height());
    EXPECT_LE(w.minimumSizeHint().width(), area.width());
    EXPECT_LE(w.minimumSizeHint().height(), area.height());

    const QString longest = "-999999.0";
    const QFont before = QApplication::font();
    for (int points : {before.pointSize(), 20}) {
        SCOPED_TRACE(points);
        QFont f = before;
        f.setPointSize(points);
        QApplication::setFont(f);
        QApplication::processEvents();
        for (QLineEdit* box : {w.txtZmin, w.txtZmax, w.txtDiagMin, w.txtDiagMax}) {
            box->setText(longest);
            box->home(false);
            box->repaint();   // the box scrolls its text as it paints
            const int first = box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
            box->end(false);
            box->repaint();
            // The text is not scrolled to show its end: the whole of it is in view.
            EXPECT_EQ(box->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x() - first, box->fontMetrics().horizontalAdvance(longest))
                << box->objectName().toStdString() << " " << box->width();
        }
    }
    QApplication::setFont(before);
}
