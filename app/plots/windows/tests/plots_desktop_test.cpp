// The plot windows on a desktop with a window manager (Xvfb and openbox),
// driven by the real mouse: a double click on Close closes the window and its
// second click, landing on the main window now under the pointer, runs
// nothing there; after Save and its questions the plot window is active again.
#include "app/core/gui/tests/gui_fixture.h"

#include "platform/commandguards.h"
#include "platform/guiservices.h"
#include "plots/windows/frm_3dchart.h"
#include "plots/windows/frm_contour.h"
#include "plots/windows/frm_diagonal.h"
#include "plots/windows/plot_windows.h"

#include "testsupport/accessible_names.h"
#include "testsupport/desktop_session.h"
#include "testsupport/desktop_windows.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <map>

using namespace guitest;

namespace {

testsupport::DesktopSession& Desktop()
{
    static testsupport::DesktopSession desktop(1024, 768);
    return desktop;
}

class PlotsOnDesktop : public GuiTest {
protected:
    void SetUp() override
    {
        if (!Desktop().ok()) GTEST_SKIP() << Desktop().whyNot();
        GuiTest::SetUp();
        plots::InstallPlotWindows();
    }
};

// The window is off the screen: the server no longer shows it.
bool GoneFromScreen(const QWidget& w)
{
    int code = 0;
    const std::string shown =
        testsupport::Shell("xdotool search --onlyvisible --name '^" + w.windowTitle().toStdString() + "$'", &code);
    return shown.find_first_of("0123456789") == std::string::npos;
}

} // namespace

TEST_F(PlotsOnDesktop, ADoubleClickOnCloseRunsNothingInTheMainWindow)
{
    const std::string img = dir.file("Dome_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    main.ShowWindow();
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_TRUE(main.cmd3DPlot->isEnabled()) << Messages();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(main); }))
        << testsupport::Placement(main);
    // The second click comes when the plot window is gone, and still counts
    // as the second click of a double click.
    QApplication::setDoubleClickInterval(60000);

    // Every command of the main window counts its clicks.
    std::map<QPushButton*, int> clicks;
    for (QPushButton* b : main.findChildren<QPushButton*>())
        QObject::connect(b, &QPushButton::clicked, [&clicks, b] { ++clicks[b]; });

    const struct {
        const char* window;
        const char* keys;   // the command's mnemonic in the main window
        std::function<QWidget&()> plot;
        std::function<QPushButton*()> close;
    } cases[] = {
        {"3D", "alt+3", [] () -> QWidget& { return plots::frm3DChart(); },
         [] { return plots::frm3DChart().cmdClose; }},
        {"contour", "alt+t", [] () -> QWidget& { return plots::frmContour(); },
         [] { return plots::frmContour().cmdClose; }},
        {"diagonal", "alt+d", [] () -> QWidget& { return plots::frmDiagonal(); },
         [] { return plots::frmDiagonal().cmdClose; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.window);
        testsupport::TypeInto(main, c.keys);   // opened as a user opens it
        QWidget& plot = c.plot();
        // Placed, drawn and shown by the server before the user clicks.
        ASSERT_TRUE(testsupport::WaitUntil([&] {
            return testsupport::ReadyForInput(plot) && !GoneFromScreen(plot);
        })) << testsupport::Placement(plot);
        const QPoint at = testsupport::CentreOf(*c.close());
        // What lies under Close in the main window.
        QWidget* under = main.childAt(main.mapFromGlobal(at));
        ASSERT_TRUE(qobject_cast<QPushButton*>(under)) << (under ? under->objectName().toStdString() : "nothing");
        clicks.clear();
        const int dropped = platform::DroppedSecondClicks();

        testsupport::ClickAt(at);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !plot.isVisible() && GoneFromScreen(plot); }));
        testsupport::ClickAt(at);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return platform::DroppedSecondClicks() == dropped + 1; }));
        EXPECT_TRUE(clicks.empty()) << under->objectName().toStdString() << " was clicked";
        EXPECT_FALSE(QApplication::activeModalWidget());
        EXPECT_TRUE(dialogs.fileRequests.empty());
    }
}

// Save in a plot window with the real file dialog, a name that exists and
// the dialog's "replace?" question answered Yes: activation comes back to
// the plot window, never to the main window behind it (whose mnemonics the
// next keys would run). Tried a few times: the window manager's own choice
// differs from one try to the next.
TEST_F(PlotsOnDesktop, ActivationReturnsToThePlotWindowAfterSaveAndItsQuestion)
{
    const std::string img = dir.file("Dome_ph.tif");
    WritePhaseTiff(img, 80, 60, 0.5);
    StartAndConfirm(img);
    auto& main = gui::frmAnalysis();
    main.ShowWindow();
    QTest::mouseClick(main.cmdUnwrap, Qt::LeftButton);
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::PlacedByWindowManager(main); }));
    model::files.WorkingFolder = dir.path().string() + "/";
    const std::string existing = dir.file("Dome_3D.bmp");
    testsupport::WriteBytes(existing, {'o', 'l', 'd'});
    const auto scripted = platform::SetFileDialogHandler(platform::ShowQtFileDialog);
    const auto scriptedMessages = platform::SetMessageHandler(platform::ShowMessageBox);

    testsupport::TypeInto(main, "alt+3");
    QWidget& plot = plots::frm3DChart();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return testsupport::ReadyForInput(plot) && !GoneFromScreen(plot); }));
    for (int attempt = 0; attempt < 3; ++attempt) {
        SCOPED_TRACE(attempt);
        std::filesystem::resize_file(existing, 3);
        // The user: the name typed into the dialog, then Yes to its question.
        bool typed = false, answered = false;
        std::string dialogTitle, dialogName;
        QTimer user;
        user.setInterval(10);
        QObject::connect(&user, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isActiveWindow()) return;
            if (auto* box = qobject_cast<QMessageBox*>(modal); box && !answered) {
                answered = true;
                testsupport::ClickAt(testsupport::CentreOf(*box->button(QMessageBox::Yes)));
            } else if (qobject_cast<QFileDialog*>(modal) && !typed) {
                typed = true;
                // Announced as it is titled.
                dialogTitle = modal->windowTitle().toStdString();
                dialogName = testsupport::AccessibleName(modal);
                testsupport::Type("--delay 20 D o m e underscore 3 D period b m p Return");
            }
        });
        user.start();
        testsupport::ClickAt(testsupport::CentreOf(*plots::frm3DChart().cmdSave3DChart));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return answered && !QApplication::activeModalWidget(); }));
        user.stop();
        EXPECT_GT(std::filesystem::file_size(existing), 3u);   // replaced by the picture
        EXPECT_EQ("Save As", dialogTitle);
        EXPECT_EQ(dialogTitle, dialogName);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return QApplication::activeWindow() == &plot; }))
            << "active: " << (QApplication::activeWindow() ? QApplication::activeWindow()->windowTitle().toStdString()
                                                             : std::string("none"));
        EXPECT_TRUE(plot.isVisible());
    }
    platform::SetFileDialogHandler(scripted);
    platform::SetMessageHandler(scriptedMessages);
}
