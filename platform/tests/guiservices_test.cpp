#include "testsupport/offscreen_app.h"

#include "platform/folderjobs.h"
#include "platform/guiservices.h"
#include "platform/listboxes.h"
#include "platform/messages.h"
#include "platform/pathtext.h"

#include "testsupport/testsupport.h"

#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

// Runs `act` on the modal dialog once it is up.
template <typename Act>
void WhenModal(Act act)
{
    QTimer::singleShot(0, [act] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) {
            WhenModal(act);
            return;
        }
        act(w);
    });
}

} // namespace

TEST(MessageBoxes, StylesGiveButtonsIconsAndAnswers)
{
    testsupport::OffscreenApp();
    struct {
        int style;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon;
    } cases[] = {
        {0, QMessageBox::Ok, QMessageBox::NoIcon},
        {16, QMessageBox::Ok, QMessageBox::Critical},
        {48, QMessageBox::Ok, QMessageBox::Warning},
        {64, QMessageBox::Ok, QMessageBox::Information},
        {36, QMessageBox::Yes | QMessageBox::No, QMessageBox::Question},
        {1, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::NoIcon},
    };
    for (auto& c : cases) {
        EXPECT_EQ(platform::MessageButtons(c.style), c.buttons) << c.style;
        EXPECT_EQ(platform::MessageIcon(c.style), c.icon) << c.style;
    }
    EXPECT_EQ(platform::MessageAnswer(QMessageBox::Ok), 1);
    EXPECT_EQ(platform::MessageAnswer(QMessageBox::Cancel), 2);
    EXPECT_EQ(platform::MessageAnswer(QMessageBox::Yes), 6);
    EXPECT_EQ(platform::MessageAnswer(QMessageBox::No), 7);
    EXPECT_EQ(platform::MessageText("The file cannot be opened.\rInvalid file format."),
              "The file cannot be opened.\nInvalid file format.");
}

TEST(MessageBoxes, TheInstalledHandlerShowsARealBoxAndReturnsTheClick)
{
    testsupport::OffscreenApp();
    platform::InstallGuiServices();
    QString seenTitle, seenText;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    WhenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        seenTitle = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    const int answer = platform::ShowMessage("Are you sure you want to quit?", 36, "Sorvanta");
    EXPECT_EQ(answer, platform::kAnsNo);
    EXPECT_EQ(seenTitle, "Sorvanta");
    EXPECT_EQ(seenText, "Are you sure you want to quit?");
    EXPECT_EQ(seenIcon, QMessageBox::Question);

    WhenModal([](QWidget* w) { static_cast<QMessageBox*>(w)->button(QMessageBox::Ok)->click(); });
    EXPECT_EQ(platform::ShowMessage("Mask dimensions do not match.", 16, "Mask Load Error"), platform::kAnsOk);
    platform::SetMessageHandler({});
    platform::SetFileDialogHandler({});
    platform::SetFolderBrowseHandler({});
}

TEST(FileDialogs, RealDialogTakesFiltersFolderAndReportsTheChoice)
{
    testsupport::OffscreenApp();
    testsupport::TempDir dir("dlg");
    std::ofstream(dir.file("a_ph.tif")) << "x";
    EXPECT_EQ(platform::QtNameFilters("Bitmap Files (*.bmp)|*.bmp|Phase|*_ph.tif;*_ph.bmp"),
              (QStringList{"Bitmap Files (*.bmp)", "Phase (*_ph.tif *_ph.bmp)"}));

    platform::FileDialogRequest req;
    req.title = "Open Phase Image";
    req.filter = "Bitmap Files (*.bmp)|*.bmp|Phase Images (*_ph.tif)|*_ph.tif";
    req.filterIndex = 2;
    req.initialFolder = dir.path().string();
    QString seenFilter, seenFolder;
    WhenModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(d, nullptr);
        seenFilter = d->selectedNameFilter();
        seenFolder = d->directory().absolutePath();
        d->selectFile("a_ph.tif");
        static_cast<QDialog*>(d)->accept();
    });
    auto r = platform::ShowQtFileDialog(req);
    EXPECT_TRUE(r.confirmed);
    EXPECT_EQ(r.path, dir.file("a_ph.tif"));
    EXPECT_EQ(r.filterIndex, 2);
    EXPECT_EQ(seenFilter, "Phase Images (*_ph.tif)");
    EXPECT_EQ(seenFolder.toStdString(), dir.path().string());

    WhenModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(platform::ShowQtFileDialog(req).confirmed);
}

// The dialog gives its choice as text, as the file-name encoding shows the
// names: two files whose bytes differ only where they are not valid in it
// ("e\xff_ph.tif" and "e\xef\xbf\xbd_ph.tif", U+FFFD) show alike, and the
// choice is refused with the encoding reason, never taken as the other file.
TEST(FileDialogs, RealDialogsChoiceOfTwoNamesThatShowAlikeIsRefused)
{
    testsupport::OffscreenApp();
    testsupport::TempDir dir("dlgbytes");
    std::ofstream(dir.file("e\xff_ph.tif")) << "first";
    std::ofstream(dir.file("e\xef\xbf\xbd_ph.tif")) << "second";
    platform::ScriptedMessages messages;
    platform::FileDialogRequest open;
    open.title = "Load Phase Image";
    open.filter = "Phase Image TIF Files (*_ph.tif)|*_ph.tif";
    open.initialFolder = dir.path().string();
    WhenModal([&](QWidget* w) {
        auto* d = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(d, nullptr);
        d->selectFile(QFile::decodeName(QByteArray("e\xff_ph.tif")));
        static_cast<QDialog*>(d)->accept();
    });
    const platform::FileDialogResult r = platform::ShowQtFileDialog(open);
    EXPECT_FALSE(r.confirmed) << r.path;
    ASSERT_EQ(messages.records.size(), 1u);
    EXPECT_EQ(messages.records[0].text, std::string("The file cannot be opened.\r") + platform::kNameEncodingReason);
    EXPECT_EQ(messages.records[0].title, "Load Phase Image");
}

TEST(Display, ReportsTheScreen)
{
    testsupport::OffscreenApp();
    EXPECT_GT(platform::ScreenWidth(), 0);
    EXPECT_GT(platform::ScreenHeight(), 0);
    EXPECT_GT(platform::ColorDepth(), 0);
    EXPECT_EQ(platform::IsSmallFonts(), platform::LogicalDpiX() == 96);
}

TEST(ListBoxes, FolderAndFileListsFollowThePathAndPattern)
{
    testsupport::OffscreenApp();
    testsupport::TempDir dir("lists");
    std::filesystem::create_directory(dir.path() / "run2");
    for (const char* n : {"b_PH.tif", "a_ph.tif", "a_ph.bmp"}) std::ofstream(dir.file(n)) << "x";
    platform::FileListBox files;
    files.setPattern("*_ph.tif");
    files.setPath(QString::fromStdString(dir.path().string()));
    ASSERT_EQ(files.listCount(), 2);
    EXPECT_EQ(files.fileName(0), "a_ph.tif");
    EXPECT_EQ(files.fileName(1), "b_PH.tif");
    std::ofstream(dir.file("c_ph.tif")) << "x";
    EXPECT_EQ(files.listCount(), 2); // until refreshed
    files.refresh();
    EXPECT_EQ(files.listCount(), 3);

    platform::DirListBox dirs;
    QStringList changes;
    QObject::connect(&dirs, &platform::DirListBox::pathChanged, [&](const QString& p) { changes << p; });
    dirs.setPath(QString::fromStdString(dir.path().string() + "/"));
    dirs.setPath(QString::fromStdString(dir.path().string())); // same folder: no change event
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes[0].toStdString(), platform::CanonicalPath(dir.path().string()));
    ASSERT_EQ(dirs.count(), 2);
    EXPECT_EQ(dirs.item(1)->text(), "run2");
    emit dirs.itemActivated(dirs.item(1));
    EXPECT_EQ(dirs.path().toStdString(), platform::CanonicalPath(dir.file("run2")));
}
