// The crop-domains and burn-mask windows driven through their controls.
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/windows.h"
#include "app/editor/core/partition_file.h"
#include "app/editor/gui/frm_jobs.h"
#include "app/editor/gui/frm_phase_image.h"
#include "editor_test_util.h"
#include "platform/dialogs.h"
#include "platform/folderjobs.h"
#include "platform/listboxes.h"
#include "platform/messages.h"

#include "testsupport/accessible_names.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/windows/standin_windows.h"

#include <QTest>

#include <functional>

using namespace editor;

namespace {

class JobWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::OffscreenApp();
        platform::SetBaseFolder(base.path().string());
        std::filesystem::create_directories(platform::ResultsFolder());
        testsupport::standins::InstallStandinWindows();
        InstallEditorWindows();
        edtest::MakeCurrentImage(64, 48);
        model::files.ImageFileFormat = "TIF";
    }
    void TearDown() override
    {
        DestroyJobWindows();
        if (gui::frmAnalysisExists()) delete &gui::frmAnalysis();
        gui::DestroyWindows();
    }
    testsupport::TempDir base{"base"}, src{"src"}, dst{"dst"};
    platform::ScriptedMessages messages;
};

} // namespace

TEST_F(JobWindows, CropDomainsFolderRunShowsTheCountAndTheSkippedList)
{
    edtest::WriteTiff(src.file("a_ph.tif"), 64, 48, 1);
    edtest::WriteTiff(src.file("b_ph.tif"), 64, 48, 2);
    edtest::WriteTiff(src.file("c_ph.tif"), 32, 32, 3);
    FrmPhaseImage& editor = frmPhaseImage();
    StorePartition(model::maskPartition, {{2, 3, 20, 10, "Left"}, {30, 8, 16, 12, "Right"}}, 64, 48);
    editor.cmbDomains->addItems({"Left", "Right"});

    FrmCropDomains& w = frmCropDomains();
    w.DirSource->setPath(QString::fromStdString(src.path().string()));
    EXPECT_EQ(w.DirSource->path(), w.DirDestination->path());   // the destination follows
    EXPECT_EQ("Phase Image Count: 3", w.lblPhaseImageCount->text().toStdString());
    w.DirDestination->setPath(QString::fromStdString(dst.path().string()));
    w.cmdProcess->click();
    EXPECT_EQ("Number of Images Processed: 2/3", w.lblNumberOfImagesProcessed->text().toStdString());
    EXPECT_TRUE(w.cmdViewUnprocessedFiles->isVisibleTo(&w));
    EXPECT_FALSE(w.ProgressBar1->isVisibleTo(&w));
    EXPECT_TRUE(w.cmdProcess->isEnabled());
    w.cmdViewUnprocessedFiles->click();
    ASSERT_FALSE(messages.records.empty());
    EXPECT_EQ("c_ph.tif\r", messages.records.back().text);
    EXPECT_EQ("Unprocessed File List", messages.records.back().title);
    for (const char* f : {"a_Left_ph.tif", "a_Right_ph.tif", "b_Left_ph.tif", "b_Right_ph.tif"})
        EXPECT_TRUE(std::filesystem::exists(dst.file(f))) << f;

    // Changing an output option resets the result.
    w.chkCreateDomainSubfolders->setChecked(true);
    EXPECT_EQ("Number of Images Processed: 0", w.lblNumberOfImagesProcessed->text().toStdString());
    EXPECT_FALSE(w.cmdViewUnprocessedFiles->isVisibleTo(&w));
    // Phase-image subfolders clear domain subfolders and allow the domain-name-only rule.
    w.chkCreatePhaseImageSubfolders->setChecked(true);
    EXPECT_FALSE(w.chkCreateDomainSubfolders->isChecked());
    EXPECT_TRUE(w.optUseDomainName->isEnabled());
    w.optUseDomainName->setChecked(true);
    w.chkCreatePhaseImageSubfolders->setChecked(false);
    EXPECT_TRUE(w.optAppendDomainName->isChecked());
    EXPECT_FALSE(w.optUseDomainName->isEnabled());
    // Current image mode.
    w.chkCurrentPhaseImage->setChecked(true);
    EXPECT_EQ("Phase Image Count: n/a", w.lblPhaseImageCount->text().toStdString());
    EXPECT_FALSE(w.DirSource->isEnabled());
}

TEST_F(JobWindows, BurnMaskRefusesTheSourceFolderAsDestination)
{
    edtest::WriteTiff(src.file("a_ph.tif"), 64, 48, 1);
    const auto before = testsupport::ReadBytes(src.file("a_ph.tif"));
    model::images.MaskImage.create(64, 48, 0);
    model::state.MaskInMemory = true;
    FrmBurnMask& w = frmBurnMask();
    w.DirSource->setPath(QString::fromStdString(src.path().string()));
    w.cmdProcess->click();
    ASSERT_FALSE(messages.records.empty());
    EXPECT_EQ("Output Path Error", messages.records.back().title);
    EXPECT_EQ(before, testsupport::ReadBytes(src.file("a_ph.tif")));

    w.chkCreateMaskedSubfolder->setChecked(true);
    w.cmdProcess->click();
    EXPECT_EQ("Number of Images Processed: 1/1", w.lblNumberOfImagesProcessed->text().toStdString());
    strandel::ReadResult r = strandel::ReadImage(src.file("Masked/a_ph.tif"));
    ASSERT_EQ(0, r.status);
    for (uint8_t v : r.pixels) ASSERT_EQ(128, v);
    EXPECT_EQ(before, testsupport::ReadBytes(src.file("a_ph.tif")));
}

TEST_F(JobWindows, BrowseButtonsTakeAnExistingFolderOnly)
{
    platform::ScriptedDialogs dialogs;
    FrmBurnMask& w = frmBurnMask();
    w.DirSource->setPath(QString::fromStdString(src.path().string()));
    const QString source = w.DirSource->path();

    dialogs.queueFolder(dst.path().string());
    w.cmdBrowseDestinationPath->click();
    ASSERT_EQ(1u, dialogs.folderRequests.size());
    EXPECT_EQ(source.toStdString(), dialogs.folderRequests[0].initialFolder);
    EXPECT_EQ("Select the destination folder for the burned phase images:", dialogs.folderRequests[0].prompt);
    EXPECT_EQ(QString::fromStdString(platform::CanonicalPath(dst.path().string())), w.DirDestination->path());

    // A folder that is gone is refused and the source stays; a cancel changes nothing.
    const std::string gone = dst.file("gone");
    dialogs.queueFolder(gone);
    w.cmdBrowseSourcePath->click();
    ASSERT_FALSE(messages.records.empty());
    EXPECT_EQ("Device unavailable: " + gone, messages.records.back().text);
    EXPECT_EQ("Folder Access Error", messages.records.back().title);
    EXPECT_EQ(source, w.DirSource->path());
    w.cmdBrowseSourcePath->click();
    EXPECT_EQ(source, w.DirSource->path());
    EXPECT_EQ(3u, dialogs.folderRequests.size());
}

TEST_F(JobWindows, BothWindowsFitTheScreenAndNameBothFolders)
{
    platform::ScriptedDialogs dialogs;
    std::filesystem::create_directories(src.path() / "Lot 7");
    for (QWidget* w : std::initializer_list<QWidget*>{&frmCropDomains(), &frmBurnMask()}) {
        w->show();
        // 1024 x 768 less the title bar and the taskbar.
        EXPECT_LE(w->frameGeometry().height(), 700) << w->objectName().toStdString();
        EXPECT_LE(w->frameGeometry().width(), 1024) << w->objectName().toStdString();
        auto* browseSource = w->findChild<QPushButton*>("cmdBrowseSourcePath");
        auto* browseDestination = w->findChild<QPushButton*>("cmdBrowseDestinationPath");
        auto* source = w->findChild<QLabel*>("lblSourcePath");
        auto* destination = w->findChild<QLabel*>("lblDestinationPath");
        ASSERT_TRUE(browseSource && browseDestination && source && destination);
        dialogs.queueFolder(src.file("Lot 7"));
        QTest::mouseClick(browseSource, Qt::LeftButton);
        EXPECT_TRUE(source->text().endsWith("Lot 7")) << source->text().toStdString();
        EXPECT_TRUE(source->isVisibleTo(w));
        dialogs.queueFolder(dst.path().string());
        QTest::mouseClick(browseDestination, Qt::LeftButton);
        EXPECT_EQ(QString::fromStdString(platform::CanonicalPath(dst.path().string())), destination->toolTip());
        EXPECT_TRUE(destination->isVisibleTo(w));
        w->hide();
    }
}

TEST_F(JobWindows, LongFolderPathsGiveWayWithAnEllipsis)
{
    platform::ScriptedDialogs dialogs;
    const std::string deep = src.file("A rather long folder name for lot seven/and another long one below it/Lot 7");
    std::filesystem::create_directories(deep);
    const QString full = QString::fromStdString(platform::CanonicalPath(deep));
    for (QWidget* w : std::initializer_list<QWidget*>{&frmCropDomains(), &frmBurnMask()}) {
        SCOPED_TRACE(w->objectName().toStdString());
        w->show();
        QApplication::processEvents();
        auto* source = w->findChild<QLabel*>("lblSourcePath");
        ASSERT_NE(nullptr, source);
        dialogs.queueFolder(deep);
        QTest::mouseClick(w->findChild<QPushButton*>("cmdBrowseSourcePath"), Qt::LeftButton);
        QApplication::processEvents();
        // Both ends stay; the middle gives way to an ellipsis; nothing is cut at the edge.
        EXPECT_TRUE(source->text().contains(QChar(0x2026))) << source->text().toStdString();
        EXPECT_TRUE(source->text().endsWith("Lot 7")) << source->text().toStdString();
        EXPECT_LE(source->fontMetrics().horizontalAdvance(source->text()), source->contentsRect().width());
        EXPECT_EQ(full, source->toolTip());
        // A label given more room shows more of the path.
        const QString narrow = source->text();
        source->resize(source->width() + 400, source->height());
        EXPECT_GT(source->text().size(), narrow.size());
        EXPECT_LE(source->fontMetrics().horizontalAdvance(source->text()), source->contentsRect().width());
        w->hide();
    }
}

TEST_F(JobWindows, EscapeClosesBothWindowsAsCloseDoes)
{
    const struct {
        const char* window;
        std::function<void()> show;
        std::function<QWidget&()> w;
        std::function<QWidget*()> focus;   // where the keyboard stands
    } windows[] = {
        {"Crop Domains", [] { ShowCropDomainsWindow(); }, []() -> QWidget& { return frmCropDomains(); },
         [] { return static_cast<QWidget*>(frmCropDomains().DirDestination); }},
        {"Burn Mask", [] { ShowBurnMaskWindow(); }, []() -> QWidget& { return frmBurnMask(); },
         [] { return static_cast<QWidget*>(frmBurnMask().chkTagFilenames); }},
    };
    for (const auto& c : windows) {
        c.show();
        ASSERT_TRUE(c.w().isVisible()) << c.window;
        QTest::keyClick(c.focus(), Qt::Key_Escape);
        EXPECT_FALSE(c.w().isVisible()) << c.window;
    }
}

// The file lists are named by their caption, not by the count under them
// (a screen reader would read "Phase Image Count: 3" as the list's name).
TEST_F(JobWindows, FileListsAreNamedByTheirCaptionNotByTheCount)
{
    edtest::WriteTiff(src.file("a_ph.tif"), 64, 48, 1);
    edtest::WriteTiff(src.file("b_ph.tif"), 64, 48, 2);
    const struct {
        const char* window;
        QWidget* list;
        platform::DirListBox* source;
        QLabel* count;
    } cases[] = {
        {"Crop Domains", frmCropDomains().File1, frmCropDomains().DirSource, frmCropDomains().lblPhaseImageCount},
        {"Burn Mask", frmBurnMask().FileList1, frmBurnMask().DirSource, frmBurnMask().lblPhaseImageCount},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        c.source->setPath(QString::fromStdString(src.path().string()));
        c.list->window()->show();
        EXPECT_EQ("Phase Image Count: 2", c.count->text().toStdString());
        EXPECT_EQ("Phase Images", testsupport::AccessibleName(c.list));
        EXPECT_EQ("", testsupport::AccessibilityFaults(c.list->window()));
        c.list->window()->hide();
    }
}
