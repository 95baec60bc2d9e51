// Screenshot harness (not a test case): starts the program in a scratch base
// folder on the real display with a phase image of a results folder, opens
// "View Thumbnails", grabs the screen, opens the selected picture full size
// with Enter and grabs it again. The control must be registered in the class
// registry the environment names.
//   screenshot_browser <scratch folder> <phase image> <browser.png> <viewer.png>
#include "app/batch/gui/frm_batch_processing.h"
#include "app/browser/frm_full_size.h"
#include "app/browser/frm_thumbnail_view.h"
#include "app/core/gui/startup.h"
#include "testsupport/screenshot.h"
#include "testsupport/screenshot_program.h"
#include "testsupport/windows/standin_windows.h"

#include <QKeyEvent>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    testsupport::ScreenshotApp app(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: screenshot_browser <scratch folder> <phase image> <browser.png> <viewer.png>\n");
        return 2;
    }
    const std::string scratch = argv[1], image = argv[2];
    testsupport::UseScratchBase(scratch);
    testsupport::standins::InstallStandinWindows();
    batch::InstallBatchWindows();
    browser::InstallBrowserWindows();
    gui::FrmAnalysis* main = testsupport::StartProgram(scratch, image);
    if (!main) return 1;
    main->cmdViewThumbnails->click();

    // Enter on the control opens the selected picture full size.
    auto pressEnter = [] {
        browser::FrmThumbnailView& b = browser::frmThumbnailView();
        if (!b.Thumbnail1()) return;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(b.Thumbnail1()->widget(), &press);
    };
    const int code =
        testsupport::ScreenshotTimeline().grab(2500, argv[3]).then(0, pressEnter).grab(1500, argv[4]).run();
    gui::ShutdownProgram();
    return code;
}
