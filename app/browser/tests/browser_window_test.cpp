// The result browser and the full-size viewer as a user drives them: a real
// start of the program, "View Thumbnails" clicked, menus, keys and mouse
// clicks on the thumbnail control created from a scratch class registry,
// scripted dialogs and message boxes, labels read back.
#include "app/batch/gui/frm_batch_processing.h"
#include "app/browser/frm_full_size.h"
#include "app/browser/frm_thumbnail_view.h"
#include "app/core/gui/tests/gui_fixture.h"
#include "platform/accessibility.h"
#include "platform/folders.h"
#include "testsupport/accessible_names.h"
#include "thumbctl/control/host/registry.h"

#include <QAccessible>
#include <QMenu>
#include <QTest>

#include <filesystem>
#include <sstream>

namespace {

using browser::FrmThumbnailView;

// One scratch registry per test program, with the freshly built control
// registered into it by the registration tool.
const std::string& ScratchRegistry()
{
    static testsupport::TempDir dir("registry");
    static const std::string path = guitest::RegisterThumbnailControl(dir.file("classes.reg"));
    return path;
}

class Browser : public guitest::GuiTest {
protected:
    std::string folder;

    void SetUp() override
    {
        GuiTest::SetUp();
        browser::InstallBrowserWindows();
        batch::InstallBatchWindows();
        host::SetRegistryPath(ScratchRegistry());
        folder = dir.file("Results 3");
        std::filesystem::create_directories(folder);
    }
    void TearDown() override
    {
        GuiTest::TearDown();
        host::SetRegistryPath("");
    }

    std::string F(const std::string& name) const { return folder + "/" + name; }

    static void Magick(const std::string& args)
    {
        int rc = -1;
        const std::string out = testsupport::Shell("convert " + args, &rc);
        ASSERT_EQ(0, rc) << out;
    }

    // Two phase images, a mask, a 3D picture and a legend.
    void MakeResults()
    {
        guitest::WritePhaseTiff(F("a_ph.tif"), 64, 48);
        guitest::WritePhaseTiff(F("b_ph.tif"), 64, 48);
        std::vector<uint8_t> mask(64 * 48, 255);
        ASSERT_EQ(0, strandel::WriteTIFFFile(F("a_msk.tif"), 64, 48, "", mask.data()));
        Magick("-size 160x120 gradient:red-blue 'BMP3:" + F("a_3D.bmp") + "'");
        Magick("-size 40x120 gradient:yellow-navy 'BMP3:" + F("3D Legend (-1 to 1 mils).bmp") + "'");
    }

    // Starts the program on a_ph.tif and clicks "View Thumbnails".
    FrmThumbnailView& Open()
    {
        StartAndConfirm(F("a_ph.tif"));
        messages.records.clear();  // the start-up's note on a new settings file
        return ClickViewThumbnails();
    }

    FrmThumbnailView& ClickViewThumbnails()
    {
        QTest::mouseClick(gui::frmAnalysis().cmdViewThumbnails, Qt::LeftButton);
        return browser::frmThumbnailView();
    }

    static std::string Text(const QLabel* l) { return l->text().toStdString(); }

    // Opens the top menu with a click on the menu bar, then walks to each
    // item of the path with the arrow keys: Right opens a submenu, Return
    // chooses the last item.
    static void ClickMenu(QMenuBar* bar, const QStringList& path)
    {
        QAction* top = nullptr;
        for (QAction* a : bar->actions())
            if (platform::VisibleCaption(a->text()) == path[0]) top = a;
        ASSERT_NE(nullptr, top) << path[0].toStdString();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(top).center());
        QMenu* menu = top->menu();
        for (int i = 1; i < path.size(); ++i) {
            ASSERT_TRUE(menu->isVisible()) << path[i - 1].toStdString();
            QAction* item = nullptr;
            for (QAction* a : menu->actions())
                if (platform::VisibleCaption(a->text()) == path[i]) item = a;
            ASSERT_NE(nullptr, item) << path[i].toStdString();
            for (int k = 0; k <= menu->actions().size() && menu->activeAction() != item; ++k)
                QTest::keyClick(menu, Qt::Key_Down);
            ASSERT_EQ(item, menu->activeAction()) << path[i].toStdString();
            if (item->menu()) {
                QTest::keyClick(menu, Qt::Key_Right);
                menu = item->menu();
            } else {
                QTest::keyClick(menu, Qt::Key_Return);
            }
        }
        QApplication::processEvents();
    }

    // Centre of item `index` on the control, as the control tells assistive
    // technology; outside the control when the item is not on screen.
    static QPoint ItemPoint(FrmThumbnailView& w, long index)
    {
        QWidget* c = w.Thumbnail1()->widget();
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(c);
        QAccessibleInterface* item = list ? list->child(int(index)) : nullptr;
        if (!item || item->rect().isEmpty()) return QPoint(-1, -1);
        return c->mapFromGlobal(item->rect().center());
    }

    static void RightClick(FrmThumbnailView& w, long index)
    {
        ASSERT_GE(index, 0);
        QTest::mouseClick(w.Thumbnail1()->widget(), Qt::RightButton, {}, ItemPoint(w, index));
    }

    // The pop-up menu now open, if any.
    static QMenu* OpenPopup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

    static void ClickPopupItem(const QString& text)
    {
        QMenu* menu = OpenPopup();
        ASSERT_NE(nullptr, menu);
        QAction* item = nullptr;
        for (QAction* a : menu->actions())
            if (platform::VisibleCaption(a->text()) == text) item = a;
        ASSERT_NE(nullptr, item);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
        QApplication::processEvents();
    }
};

TEST_F(Browser, ListsTheResultsOfTheCurrentImageByKind)
{
    MakeResults();
    FrmThumbnailView& w = Open();
    ASSERT_TRUE(w.isVisible()) << Messages();
    ASSERT_NE(nullptr, w.Thumbnail1());
    EXPECT_EQ("Thumbnail View for " + folder, w.windowTitle().toStdString());
    EXPECT_EQ("Number Of Images: 5", Text(w.lblNumberOfImages));
    EXPECT_TRUE(w.lblNumberOfImages->isVisible());
    EXPECT_FALSE(w.ProgressBar1->isVisible());
    EXPECT_FALSE(w.lblLoading->isVisible());
    EXPECT_EQ(5, w.ProgressBar1->maximum());
    EXPECT_EQ(5, w.ProgressBar1->value());
    // The current image is the one selected.
    EXPECT_EQ("Selected File: a_ph.tif", Text(w.lblSelectedFile));
    EXPECT_EQ(w.GetThumbIndexForFilename(F("a_ph.tif")), w.SelectedThumbIndex());
    EXPECT_EQ(browser::AllKindsFilter("tif"), w.Thumbnail1()->Pattern());
    for (QAction* a : w.kindItems) EXPECT_TRUE(a->isChecked()) << a->text().toStdString();

    ClickMenu(w.menuBar, {"Options...", "Display Filter", "Legend Files"});
    EXPECT_FALSE(w.kindItems[browser::KindLegend]->isChecked());
    EXPECT_EQ("Number Of Images: 4", Text(w.lblNumberOfImages));
    EXPECT_EQ(-1, w.GetThumbIndexForFilename(F("3D Legend (-1 to 1 mils).bmp")));

    // Every kind off: nothing is listed, and only the count says so.
    for (const char* kind : {"3D Surface Plots", "Contour Plots", "Diagonal Plots", "Chord Plots", "Phase Images",
                             "Mask Images"})
        ClickMenu(w.menuBar, {"Options...", "Display Filter", kind});
    for (QAction* a : w.kindItems) EXPECT_FALSE(a->isChecked()) << a->text().toStdString();
    EXPECT_EQ("", w.Thumbnail1()->Pattern());
    EXPECT_EQ(0, w.Thumbnail1()->ListCount());
    EXPECT_EQ("Number Of Images: 0", Text(w.lblNumberOfImages));
    EXPECT_FALSE(w.lblSelectedFile->isVisible());
    EXPECT_TRUE(messages.records.empty()) << Messages();

    // Phase images back on.
    ClickMenu(w.menuBar, {"Options...", "Display Filter", "Phase Images"});
    EXPECT_EQ("Number Of Images: 2", Text(w.lblNumberOfImages));
}

TEST_F(Browser, LayoutChangeKeepsTheSelectionAndEmptyFolderIsReported)
{
    MakeResults();
    FrmThumbnailView& w = Open();
    const long b = w.GetThumbIndexForFilename(F("b_ph.tif"));
    QTest::mouseClick(w.Thumbnail1()->widget(), Qt::LeftButton, {}, ItemPoint(w, b));
    EXPECT_EQ("Selected File: b_ph.tif", Text(w.lblSelectedFile));
    EXPECT_EQ(b, w.CurrentThumbIndex);

    ClickMenu(w.menuBar, {"Options...", "Layout", "3 x 3"});
    EXPECT_EQ(3, w.ThumbsPerRow);
    EXPECT_EQ(305, w.Thumbnail1()->ThumbnailWidth());
    EXPECT_EQ(196, w.Thumbnail1()->ThumbnailHeight());
    EXPECT_TRUE(w.layoutItems[2]->isChecked());
    EXPECT_FALSE(w.layoutItems[0]->isChecked());
    // The file named by the main window stays the one chosen after a reload.
    EXPECT_EQ(w.GetThumbIndexForFilename(F("a_ph.tif")), w.SelectedThumbIndex());

    // "Select Folder..." on a folder without pictures.
    const std::string empty = dir.file("empty");
    std::filesystem::create_directories(empty);
    dialogs.queueFolder(empty);
    ClickMenu(w.menuBar, {"Options...", "Select Folder..."});
    ASSERT_EQ(1u, dialogs.folderRequests.size());
    EXPECT_EQ("Select the folder containing images to view:", dialogs.folderRequests[0].prompt);
    EXPECT_EQ(folder, dialogs.folderRequests[0].initialFolder);
    ASSERT_EQ(1u, messages.records.size()) << Messages();
    EXPECT_EQ("No image files were found in the selected folder.", messages.records[0].text);
    EXPECT_EQ("View Thumbnails", messages.records[0].title);
    EXPECT_EQ(16, messages.records[0].style);
    EXPECT_EQ("Number Of Images: 0", Text(w.lblNumberOfImages));
    EXPECT_EQ("Thumbnail View for " + empty, w.windowTitle().toStdString());

    // Back to the results: a chosen folder selects its first item.
    dialogs.queueFolder(folder);
    ClickMenu(w.menuBar, {"Options...", "Select Folder..."});
    EXPECT_EQ(0, w.SelectedThumbIndex());
    EXPECT_EQ("Number Of Images: 5", Text(w.lblNumberOfImages));
}

TEST_F(Browser, WithoutAnImageTheBrowserAsksForAFolder)
{
    MakeResults();
    StartAndConfirm();
    messages.records.clear();
    dialogs.queueFolderCancel();
    FrmThumbnailView& w = ClickViewThumbnails();
    ASSERT_EQ(1u, dialogs.folderRequests.size());
    EXPECT_EQ(platform::ResultsFolder(), dialogs.folderRequests[0].initialFolder);
    EXPECT_EQ("Browse For Folder", dialogs.folderRequests[0].title);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ("Thumbnail View", w.windowTitle().toStdString());
    EXPECT_FALSE(w.lblNumberOfImages->isVisible());
    EXPECT_TRUE(w.menuBar->isEnabled());

    dialogs.queueFolder(folder);
    ClickMenu(w.menuBar, {"Options...", "Select Folder..."});
    EXPECT_EQ("Number Of Images: 5", Text(w.lblNumberOfImages));
    EXPECT_EQ(0, w.SelectedThumbIndex());
    EXPECT_EQ("Selected File: " + platform::FileNameOf(w.Thumbnail1()->FileName(0)), Text(w.lblSelectedFile));
    EXPECT_TRUE(w.menuBar->isEnabled());
    EXPECT_TRUE(messages.records.empty()) << Messages();
}

TEST_F(Browser, RightClickLoadsThePhaseImageOfAPicture)
{
    MakeResults();
    Magick("-size 160x120 gradient:green-black 'BMP3:" + F("b_rel_3D.bmp") + "'");
    Magick("-size 160x120 gradient:green-white 'JPEG:" + F("c_ctr.jpg") + "'");
    FrmThumbnailView& w = Open();
    ASSERT_EQ("Number Of Images: 7", Text(w.lblNumberOfImages));

    // A legend is selected by the right click but offers nothing.
    RightClick(w, w.GetThumbIndexForFilename(F("3D Legend (-1 to 1 mils).bmp")));
    EXPECT_EQ("Selected File: 3D Legend (-1 to 1 mils).bmp", Text(w.lblSelectedFile));
    EXPECT_EQ(nullptr, OpenPopup());
    RightClick(w, w.GetThumbIndexForFilename(F("a_msk.tif")));
    EXPECT_EQ("Selected File: a_msk.tif", Text(w.lblSelectedFile));
    EXPECT_EQ(nullptr, OpenPopup());

    // The relative 3D picture of b leads to b_ph.tif.
    const long rel = w.GetThumbIndexForFilename(F("b_rel_3D.bmp"));
    RightClick(w, rel);
    EXPECT_EQ(rel, w.SelectedThumbIndex());
    EXPECT_EQ("Selected File: b_rel_3D.bmp", Text(w.lblSelectedFile));
    ClickPopupItem("Load Phase Image");
    EXPECT_TRUE(messages.records.empty()) << Messages();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(F("b_ph.tif"), model::files.PhaseImageFile);
    EXPECT_EQ("Image: b_ph.tif (64 x 48)", Text(gui::frmAnalysis().lblImageName));

    // Back in the browser the new image is the selected one; the 3D picture of a leads to a.
    ClickViewThumbnails();
    ASSERT_TRUE(w.isVisible());
    EXPECT_EQ("Selected File: b_ph.tif", Text(w.lblSelectedFile));
    RightClick(w, w.GetThumbIndexForFilename(F("a_3D.bmp")));
    ClickPopupItem("Load Phase Image");
    EXPECT_EQ(F("a_ph.tif"), model::files.PhaseImageFile);
    EXPECT_FALSE(w.isVisible());

    // A picture whose image is not there: the message, and the browser stays.
    ClickViewThumbnails();
    RightClick(w, w.GetThumbIndexForFilename(F("c_ctr.jpg")));
    ClickPopupItem("Load Phase Image");
    ASSERT_EQ(1u, messages.records.size()) << Messages();
    EXPECT_EQ("The corresponding phase image file\rc_ph.tif was not found in this folder.", messages.records[0].text);
    EXPECT_EQ("Phase Image Load Error", messages.records[0].title);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(F("a_ph.tif"), model::files.PhaseImageFile);

    // A right click beside the items changes nothing.
    const long before = w.SelectedThumbIndex();
    QTest::mouseClick(w.Thumbnail1()->widget(), Qt::RightButton, {}, QPoint(990, 640));
    EXPECT_EQ(nullptr, OpenPopup());
    EXPECT_EQ(before, w.SelectedThumbIndex());
}

TEST_F(Browser, LoadPhaseImageFromTheBatchWindowsBrowserBringsTheMainWindowForward)
{
    MakeResults();
    StartAndConfirm(F("b_ph.tif"));
    messages.records.clear();
    auto& main = gui::frmAnalysis();
    QTest::mouseClick(main.cmdBatchProcess, Qt::LeftButton);
    QWidget& batch = gui::frmBatchProcessing();
    ASSERT_TRUE(batch.isVisible());
    // The batch window's browser: its folder, plots and legends.
    FrmThumbnailView& w = browser::frmThumbnailView();
    w.FolderPath = QString::fromStdString(folder);
    w.ImageFilter(browser::kBatchFilter);
    w.DisplayThumbnailView();
    ASSERT_TRUE(w.isVisible());

    for (const bool viewer : {false, true}) {
        SCOPED_TRACE(viewer ? "from the full-size viewer" : "from the browser");
        batch.activateWindow();
        if (!w.isVisible()) w.DisplayThumbnailView();
        w.activateWindow();
        QApplication::processEvents();
        const long plot = w.GetThumbIndexForFilename(F("a_3D.bmp"));
        if (viewer) {
            QTest::mouseClick(w.Thumbnail1()->widget(), Qt::LeftButton, {}, ItemPoint(w, plot));
            QTest::keyClick(w.Thumbnail1()->widget(), Qt::Key_Return);
            ASSERT_TRUE(w.fullSize().isVisible());
            QTest::mouseClick(w.fullSize().ImgXCtrl1, Qt::RightButton, {}, QPoint(10, 10));
        } else {
            RightClick(w, plot);
        }
        ClickPopupItem("Load Phase Image");
        ASSERT_EQ(F("a_ph.tif"), model::files.PhaseImageFile) << Messages();
        EXPECT_FALSE(w.isVisible());
        EXPECT_TRUE(batch.isVisible());
        // The window that now holds the image is the one in front.
        EXPECT_EQ(&main, QApplication::activeWindow());
        model::files.PhaseImageFile.clear();
    }
}

TEST_F(Browser, RightClickFollowsTheControlsOwnCells)
{
    // Seventeen phase images: four lines of five on screen.
    guitest::WritePhaseTiff(F("a_ph.tif"), 32, 24);
    for (int i = 0; i < 16; ++i) guitest::WritePhaseTiff(F("p" + std::to_string(10 + i) + "_ph.tif"), 32, 24);
    FrmThumbnailView& w = Open();
    ASSERT_EQ("Number Of Images: 17", Text(w.lblNumberOfImages));
    // Captions in a large font under the pictures make the control's cells
    // much taller than a picture and its margin (three lines on screen): the
    // right click still lands on the item under the pointer.
    ASSERT_TRUE(w.Thumbnail1()->Put("Font", {host::Variant::String("Sans Serif,36")}));
    ASSERT_TRUE(w.Thumbnail1()->Put("CaptionType", {host::Variant::Short(3)}));
    QApplication::processEvents();
    for (long index : {12L, 7L}) {
        RightClick(w, index);
        EXPECT_EQ(index, w.SelectedThumbIndex());
        EXPECT_EQ("Selected File: " + platform::FileNameOf(w.Thumbnail1()->FileName(index)), Text(w.lblSelectedFile));
        QMenu* menu = OpenPopup();
        ASSERT_NE(nullptr, menu);
        menu->close();
    }
}

TEST_F(Browser, ViewerStepsThroughTheListAndTheBrowserFollows)
{
    MakeResults();
    FrmThumbnailView& w = Open();
    browser::FrmFullSize& v = w.fullSize();
    const long n = w.Thumbnail1()->ListCount();
    ASSERT_EQ(5, n);

    // Enter on the control opens the selected picture, centred.
    const long start = w.SelectedThumbIndex();
    QTest::keyClick(w.Thumbnail1()->widget(), Qt::Key_Return);
    ASSERT_TRUE(v.isVisible());
    EXPECT_EQ("a_ph.tif", Text(v.lblFileName));
    EXPECT_EQ(QSize(64, 48), v.ImgXCtrl1->size());
    EXPECT_EQ(QPoint(513, 330), v.ImgXCtrl1->geometry().topLeft() + QPoint(32, 24));
    EXPECT_EQ(start, v.CurrentIndex);

    // Page Down to the end; the browser's selection and label follow.
    for (long i = start + 1; i < n; ++i) {
        QTest::keyClick(&v, Qt::Key_PageDown);
        EXPECT_EQ(i, v.CurrentIndex);
        EXPECT_EQ(i, w.SelectedThumbIndex());
        const std::string name = platform::FileNameOf(w.Thumbnail1()->FileName(i));
        EXPECT_EQ(name, Text(v.lblFileName));
        EXPECT_EQ("Selected File: " + name, Text(w.lblSelectedFile));
    }
    QTest::keyClick(&v, Qt::Key_PageDown);
    EXPECT_EQ(n - 1, v.CurrentIndex);
    // Page Up to the start, and once more.
    for (long i = n - 1; i >= 0; --i) QTest::keyClick(&v, Qt::Key_PageUp);
    EXPECT_EQ(0, v.CurrentIndex);
    EXPECT_EQ(0, w.SelectedThumbIndex());
    QTest::keyClick(&v, Qt::Key_Down);
    EXPECT_EQ(0, v.CurrentIndex);
    EXPECT_TRUE(v.isVisible());
    QTest::keyClick(&v, Qt::Key_Escape);
    EXPECT_FALSE(v.isVisible());
    EXPECT_EQ("Selected File: " + platform::FileNameOf(w.Thumbnail1()->FileName(0)), Text(w.lblSelectedFile));

    // A double click opens the picture under the pointer; a left click closes it.
    const long d = w.GetThumbIndexForFilename(F("a_3D.bmp"));
    QTest::mouseClick(w.Thumbnail1()->widget(), Qt::LeftButton, {}, ItemPoint(w, d));
    QTest::mouseDClick(w.Thumbnail1()->widget(), Qt::LeftButton, {}, ItemPoint(w, d));
    ASSERT_TRUE(v.isVisible());
    EXPECT_EQ("a_3D.bmp", Text(v.lblFileName));
    EXPECT_EQ(QSize(160, 120), v.ImgXCtrl1->size());
    QTest::mouseClick(&v, Qt::LeftButton, {}, QPoint(5, 700));
    EXPECT_FALSE(v.isVisible());

    // From the viewer, "Load Phase Image" on the 3D picture.
    QTest::keyClick(w.Thumbnail1()->widget(), Qt::Key_Return);
    ASSERT_TRUE(v.isVisible());
    QTest::mouseClick(v.ImgXCtrl1, Qt::RightButton, {}, QPoint(10, 10));
    ClickPopupItem("Load Phase Image");
    EXPECT_FALSE(v.isVisible());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(F("a_ph.tif"), model::files.PhaseImageFile);
}

TEST_F(Browser, TheImageCountIsNeverCutAtTheWindowsEdge)
{
    MakeResults();
    FrmThumbnailView& w = Open();
    ASSERT_EQ("Number Of Images: 5", Text(w.lblNumberOfImages));
    for (long count : {5L, 20000L, 1234567L}) {
        w.ShowImageCount(count);
        const QLabel* l = w.lblNumberOfImages;
        const QString text = "Number Of Images: " + QString::number(count);
        EXPECT_EQ(text, l->text());
        EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(text)) << count;
        EXPECT_LE(l->geometry().right(), w.Thumbnail1()->widget()->geometry().right()) << count;
        // Within the area of the control, whose right end lies inside any window it fits.
        EXPECT_TRUE(w.client->rect().contains(l->geometry())) << count;
    }
}

TEST_F(Browser, ATallPlotIsFittedWithItsHeaderInView)
{
    MakeResults();
    // A batch plot taller than the window, its header a red band at the top.
    Magick("-size 640x937 xc:white -fill red -draw 'rectangle 0,0 639,60' 'BMP3:" + F("tall_3D.bmp") + "'");
    FrmThumbnailView& w = Open();
    browser::FrmFullSize& v = w.fullSize();
    const long t = w.GetThumbIndexForFilename(F("tall_3D.bmp"));
    ASSERT_GE(t, 0);
    QTest::mouseClick(w.Thumbnail1()->widget(), Qt::LeftButton, {}, ItemPoint(w, t));
    QTest::keyClick(w.Thumbnail1()->widget(), Qt::Key_Return);
    ASSERT_TRUE(v.isVisible());
    ASSERT_EQ("tall_3D.bmp", Text(v.lblFileName));

    const QRect r = v.ImgXCtrl1->geometry();
    EXPECT_GT(r.top(), v.lblFileName->geometry().bottom()); // below the name, not above the window
    EXPECT_LE(r.bottom(), v.rect().bottom());
    EXPECT_GE(r.left(), 0);
    EXPECT_LE(r.right(), v.rect().right());
    EXPECT_NEAR(double(r.width()) / r.height(), 640.0 / 937.0, 0.01);
    // What the user sees: the header's red at the top of the picture, white below it.
    const QImage seen = v.grab().toImage();
    if (const char* shot = std::getenv("SORVANTA_SHOT")) seen.save(shot);
    const int x = r.center().x();
    EXPECT_EQ(QColor(Qt::red), seen.pixelColor(x, r.top() + 3));
    EXPECT_EQ(QColor(Qt::white), seen.pixelColor(x, r.bottom() - 3));

    // A picture that fits stays centred on (513, 330) as before.
    QTest::keyClick(&v, Qt::Key_Escape);
    const long d = w.GetThumbIndexForFilename(F("a_3D.bmp"));
    QTest::mouseClick(w.Thumbnail1()->widget(), Qt::LeftButton, {}, ItemPoint(w, d));
    QTest::keyClick(w.Thumbnail1()->widget(), Qt::Key_Return);
    ASSERT_EQ("a_3D.bmp", Text(v.lblFileName));
    EXPECT_EQ(QRect(513 - 80, 330 - 60, 160, 120), v.ImgXCtrl1->geometry());
}

TEST_F(Browser, APictureGoneSinceListingIsReportedNotShown)
{
    MakeResults();
    FrmThumbnailView& w = Open();
    const long d = w.GetThumbIndexForFilename(F("a_3D.bmp"));
    ASSERT_GE(d, 0);
    std::filesystem::remove(F("a_3D.bmp"));
    QTest::mouseClick(w.Thumbnail1()->widget(), Qt::LeftButton, {}, ItemPoint(w, d));
    QTest::mouseDClick(w.Thumbnail1()->widget(), Qt::LeftButton, {}, ItemPoint(w, d));
    EXPECT_FALSE(w.fullSize().isVisible());
    ASSERT_EQ(1u, messages.records.size()) << Messages();
    EXPECT_EQ(0u, messages.records[0].text.rfind("The picture a_3D.bmp cannot be shown.", 0)) << Messages();
    EXPECT_EQ("Full Size View", messages.records[0].title);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(Browser, SteppingPastTheGridScrollsTheBrowser)
{
    guitest::WritePhaseTiff(F("a_ph.tif"), 64, 48);
    Magick("-size 60x40 gradient:red-blue 'BMP3:" + F("s00_3D.bmp") + "'");
    for (int i = 1; i < 30; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "s%02d_3D.bmp", i);
        std::filesystem::copy_file(F("s00_3D.bmp"), F(name));
    }
    FrmThumbnailView& w = Open();
    browser::ThumbnailClient& t = *w.Thumbnail1();
    ASSERT_EQ(31, t.ListCount());
    browser::FrmFullSize& v = w.fullSize();
    // Home on the control selects the first item and scrolls to it.
    QTest::keyClick(t.widget(), Qt::Key_Home);
    ASSERT_EQ(0, w.SelectedThumbIndex());
    EXPECT_EQ(0, t.TopIndex());
    QTest::keyClick(t.widget(), Qt::Key_Return);
    ASSERT_TRUE(v.isVisible());
    for (long i = 1; i < 31; ++i) {
        QTest::keyClick(&v, Qt::Key_PageDown);
        const long top = t.TopIndex();
        EXPECT_LE(top, i);
        EXPECT_LE(i, top + 24) << "item " << i << " is out of view";
    }
    EXPECT_EQ(30, w.SelectedThumbIndex());
    EXPECT_GT(t.TopIndex(), 0);
    QTest::keyClick(&v, Qt::Key_Escape);

    // The selection is kept in view by a layout change too.
    ClickMenu(w.menuBar, {"Options...", "Layout", "3 x 3"});
    EXPECT_EQ(30, w.SelectedThumbIndex());
    EXPECT_LE(t.TopIndex(), 30);
    EXPECT_LE(30, t.TopIndex() + 8);
}

TEST_F(Browser, UnregisteredControlIsReportedAndTheMainWindowGoesOn)
{
    MakeResults();
    host::SetRegistryPath(dir.file("nothing-registered.reg"));
    FrmThumbnailView& w = Open();
    ASSERT_EQ(1u, messages.records.size()) << Messages();
    EXPECT_NE(std::string::npos, messages.records[0].text.find("The thumbnail control is not registered"));
    // It says where the control and its registration helper are installed.
    EXPECT_NE(std::string::npos, messages.records[0].text.find("'" + platform::SystemFolder() + "/norvikel-regsvr' register '" +
                                                                platform::SystemFolder() + "/libNorvikel.so'"))
        << messages.records[0].text;
    EXPECT_EQ("View Thumbnails", messages.records[0].title);
    EXPECT_EQ(16, messages.records[0].style);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(nullptr, w.Thumbnail1());
    EXPECT_TRUE(gui::frmAnalysis().isVisible());

    // Registered, but the library has gone since.
    std::string moved;
    {
        std::istringstream in(testsupport::ReadText(ScratchRegistry()));
        for (std::string line; std::getline(in, line);)
            moved += (line.rfind("InprocServer=", 0) == 0 ? "InprocServer=" + dir.file("gone/libNorvikel.so") : line) +
                     "\n";
    }
    ASSERT_NE(std::string::npos, moved.find("gone/libNorvikel.so")) << moved;
    const std::string movedRegistry = dir.file("moved.reg");
    testsupport::WriteBytes(movedRegistry, std::vector<uint8_t>(moved.begin(), moved.end()));
    host::SetRegistryPath(movedRegistry);
    ClickViewThumbnails();
    ASSERT_EQ(2u, messages.records.size()) << Messages();
    EXPECT_NE(std::string::npos,
              messages.records[1].text.find("The thumbnail control is registered but its library cannot be loaded"));
    EXPECT_FALSE(w.isVisible());

    // Once registered, the same window shows the folder.
    host::SetRegistryPath(ScratchRegistry());
    ClickViewThumbnails();
    EXPECT_EQ(2u, messages.records.size()) << Messages();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ("Number Of Images: 5", Text(w.lblNumberOfImages));
}

} // namespace

TEST_F(Browser, ReaderHearsTheViewersPictureByItsFileName)
{
    platform::InstallAccessibility();
    MakeResults();
    FrmThumbnailView& w = Open();
    browser::FrmFullSize& v = w.fullSize();
    EXPECT_EQ(QAccessible::Window, testsupport::AccessibleRole(&w));
    EXPECT_EQ("", testsupport::MnemonicFaults(&w));

    QTest::keyClick(w.Thumbnail1()->widget(), Qt::Key_Return);
    ASSERT_TRUE(v.isVisible());
    EXPECT_EQ(QAccessible::Dialog, testsupport::AccessibleRole(&v));   // shown modal
    EXPECT_EQ(Text(v.lblFileName), testsupport::AccessibleName(v.ImgXCtrl1));
    QTest::keyClick(&v, Qt::Key_PageDown);
    EXPECT_EQ(platform::FileNameOf(w.Thumbnail1()->FileName(v.CurrentIndex)), testsupport::AccessibleName(v.ImgXCtrl1));
    EXPECT_EQ("", testsupport::CodeNamedElements(&v));
    EXPECT_EQ("", testsupport::MnemonicFaults(&v));
}

TEST_F(Browser, TheKeyboardReachesTheOptionsAndLoadPhaseImage)
{
    MakeResults();
    FrmThumbnailView& w = Open();
    ASSERT_TRUE(w.isVisible()) << Messages();
    QWidget* list = w.Thumbnail1()->widget();

    // Alt+O and F10 open the Options menu.
    for (const auto& [key, mods] : {std::pair{Qt::Key_O, Qt::KeyboardModifiers(Qt::AltModifier)},
                                    std::pair{Qt::Key_F10, Qt::KeyboardModifiers()}}) {
        w.activateWindow();
        ASSERT_TRUE(testsupport::WaitUntil([&] { return QApplication::activeWindow() == &w; }));
        QTest::keyClick(list, key, mods);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return w.Options->isVisible(); }))
            << QKeySequence(key | mods).toString().toStdString();
        QTest::keyClick(w.Options, Qt::Key_Escape);
        QTest::keyClick(w.menuBar, Qt::Key_Escape);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !w.Options->isVisible(); }));
    }

    // The menu key and Shift+F10 offer Load Phase Image on the selected
    // phase image, in the browser and in the viewer.
    const long b = w.GetThumbIndexForFilename(F("b_ph.tif"));
    ASSERT_GE(b, 0);
    w.Thumbnail1()->SetSelected(b, true);
    w.Thumbnail1_SelChange(b);
    for (const auto& [key, mods] : {std::pair{Qt::Key_Menu, Qt::KeyboardModifiers()},
                                    std::pair{Qt::Key_F10, Qt::KeyboardModifiers(Qt::ShiftModifier)}}) {
        QTest::keyClick(list, key, mods);
        QMenu* menu = OpenPopup();
        ASSERT_NE(nullptr, menu) << QKeySequence(key | mods).toString().toStdString();
        QTest::keyClick(menu, Qt::Key_Escape);
    }
    QTest::keyClick(list, Qt::Key_Menu);
    ASSERT_NE(nullptr, OpenPopup());
    QTest::keyClick(OpenPopup(), Qt::Key_Return);   // the offered command is the active one
    EXPECT_EQ(F("b_ph.tif"), model::files.PhaseImageFile);
    EXPECT_FALSE(w.isVisible());

    ClickViewThumbnails();
    ASSERT_TRUE(w.isVisible());
    const long a3d = w.GetThumbIndexForFilename(F("a_3D.bmp"));
    w.Thumbnail1()->SetSelected(a3d, true);
    w.Thumbnail1_SelChange(a3d);
    QTest::keyClick(w.Thumbnail1()->widget(), Qt::Key_Return);
    browser::FrmFullSize& v = w.fullSize();
    ASSERT_TRUE(v.isVisible());
    QTest::keyClick(&v, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_NE(nullptr, OpenPopup());
    QTest::keyClick(OpenPopup(), Qt::Key_Escape);
    EXPECT_TRUE(v.isVisible());
    QTest::keyClick(&v, Qt::Key_Menu);
    ASSERT_NE(nullptr, OpenPopup());
    QTest::keyClick(OpenPopup(), Qt::Key_Return);
    EXPECT_FALSE(v.isVisible());
    EXPECT_EQ(F("a_ph.tif"), model::files.PhaseImageFile);
}
