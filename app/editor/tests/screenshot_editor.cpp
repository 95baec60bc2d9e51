// Screenshot harness (not a test case): the phase-image window of a running
// program at one step of a crop, grabbed from the screen with ImageMagick.
//   screenshot_editor <scratch folder> <output.png> <step>
// step: open (Crop Image pressed), drag (the region dragged past the picture),
// finished (after Crop and Finished), mask (Create Mask pressed), jobs (the
// Crop Domains window with a partition loaded).
#include "app/core/gui/startup.h"
#include "app/editor/core/partition_file.h"
#include "app/editor/gui/frm_jobs.h"
#include "app/editor/gui/frm_phase_image.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/picturebuffer.h"
#include "platform/strandel_binding.h"
#include "testsupport/screenshot.h"
#include "testsupport/screenshot_program.h"
#include "testsupport/windows/standin_windows.h"
#include "tools/synth/synth.h"

#include <QMouseEvent>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    testsupport::ScreenshotApp app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: screenshot_editor <scratch folder> <output.png> <step>\n");
        return 2;
    }
    const std::string scratch = argv[1], output = argv[2], step = argv[3];
    testsupport::UseScratchBase(scratch);
    testsupport::standins::InstallStandinWindows();
    editor::InstallEditorWindows();

    const std::string image = platform::JoinPath(scratch, "Sample_ph.tif");
    const int cols = 640, rows = 480;
    std::string err;
    auto z = synth::ParseSurface("dome:0.00002+plane:0.001,0.0005,0", cols, rows, &err);
    auto px = synth::WrapToPhase(cols, rows, z, 0.5);
    strandel::WriteTIFFFile(image, cols, rows, synth::MakeHeader(0.5, cols, rows), px.data());

    gui::FrmAnalysis* mainWindow = testsupport::StartProgram(scratch, image);
    if (!mainWindow) return 1;
    gui::FrmAnalysis& main = *mainWindow;

    platform::ScriptedDialogs dialogs;   // every file dialog is cancelled
    editor::FrmPhaseImage& w = editor::frmPhaseImage();
    auto doStep = [&] {
        if (step == "jobs") {
            const std::string partition = platform::JoinPath(scratch, "Sample_par.txt");
            editor::WritePartitionFile(partition, {{40, 30, 200, 150, "Left"}, {300, 30, 200, 150, "Right"}}, cols,
                                       rows);
            main.cmdCrop->click();
            w.cmdPartitionAndCrop->click();
            dialogs.queueFile(partition);
            w.cmdLoadPartition->click();
            w.cmdCropDomains->click();
            return;
        }
        if (step == "mask") {
            main.cmdMask->click();
            w.cmdCreateMask->click();
            return;
        }
        main.cmdCrop->click();
        w.cmdCropImage->click();
        if (step == "drag" || step == "finished") {
            platform::PictureBuffer* b = w.bufDisplay;
            const QPoint from(b->roiLeft() + b->roiWidth() / 2, b->roiTop() + b->roiHeight() / 2);
            const QPoint to = step == "drag" ? from + QPoint(400, 0) : from + QPoint(-100, 20);
            QMouseEvent move(QEvent::MouseMove, from, b->mapToGlobal(from), Qt::NoButton, Qt::NoButton, {});
            QApplication::sendEvent(b, &move);
            QMouseEvent press(QEvent::MouseButtonPress, from, b->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton, {});
            QApplication::sendEvent(b, &press);
            QMouseEvent drag(QEvent::MouseMove, to, b->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(b, &drag);
            if (step == "finished") {
                QMouseEvent release(QEvent::MouseButtonRelease, to, b->mapToGlobal(to), Qt::LeftButton, Qt::NoButton, {});
                QApplication::sendEvent(b, &release);
                w.cmdCrop->click();
                w.cmdCropFinished->click();
            }
        }
    };

    const int code = testsupport::ScreenshotTimeline().then(500, doStep).grab(2000, output).run();
    gui::ShutdownProgram();
    return code;
}
