// Screenshot harness of tools/screenshot-batch.sh (run under Xvfb, not by
// CTest): starts the program in a scratch base folder, opens the batch window
// from the main window, picks FOLDER, runs Get Batch Data and grabs the screen.
//   screenshot_batch SCRATCH_DIR FOLDER OUT.png
#include "app/batch/gui/frm_batch_processing.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "testsupport/screenshot.h"
#include "testsupport/screenshot_program.h"
#include "testsupport/windows/standin_windows.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: screenshot_batch SCRATCH_DIR FOLDER OUT.png\n");
        return 2;
    }
    testsupport::ScreenshotApp app(argc, argv);
    const std::string scratch = argv[1], folder = argv[2], out = argv[3];
    testsupport::UseScratchBase(scratch);
    testsupport::standins::InstallStandinWindows();
    batch::InstallBatchWindows();
    // Without an image on the command line the program asks for one first:
    // cancelled; then the batch window's folder dialog answered with FOLDER.
    platform::ScriptedDialogs dialogs;
    dialogs.queueFileCancel();
    dialogs.queueFolder(folder);
    gui::FrmAnalysis* main = testsupport::StartProgram(scratch, "");
    if (!main) return 1;
    // Any message is printed and answered.
    platform::SetMessageHandler([](const std::string& text, int, const std::string& title) {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        return int(platform::kAnsOk);
    });
    main->cmdBatchProcess->click();
    batch::FrmBatchProcessing& w = batch::frmBatchProcessing();
    w.cmdBrowse->click();
    w.cmdGetBatchData->click();
    return testsupport::SettleAndGrab(out) ? 0 : 1;
}
