// Screenshot harness (not a test case): starts the program in a scratch base
// folder on the real display, confirms the units dialog, calculates the
// displacement of a phase image and grabs the screen with ImageMagick.
//   screenshot_driver <scratch folder> <output.png> [phase image]
#include "app/core/gui/startup.h"
#include "platform/folders.h"
#include "platform/strandel_binding.h"
#include "testsupport/screenshot.h"
#include "testsupport/screenshot_program.h"
#include "testsupport/windows/standin_windows.h"
#include "tools/synth/synth.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    testsupport::ScreenshotApp app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: screenshot_driver <scratch folder> <output.png> [phase image]\n");
        return 2;
    }
    const std::string scratch = argv[1], output = argv[2];
    testsupport::UseScratchBase(scratch);
    testsupport::standins::InstallStandinWindows();

    std::string image = argc > 3 ? argv[3] : "";
    if (image.empty()) {
        image = platform::JoinPath(scratch, "Sample_ph.tif");
        const int cols = 640, rows = 480;
        std::string err;
        auto z = synth::ParseSurface("dome:0.00002+saddle:0.000008+plane:0.001,0.0005,0", cols, rows, &err);
        auto px = synth::WrapToPhase(cols, rows, z, 0.5, synth::ParseBlank("ring:230,1000", cols, rows, &err));
        strandel::WriteTIFFFile(image, cols, rows, synth::MakeHeader(0.5, cols, rows), px.data());
    }

    gui::FrmAnalysis* main = testsupport::StartProgram(scratch, image);
    if (!main) return 1;
    main->cmdUnwrap->click();

    const int code = testsupport::ScreenshotTimeline().grab(2000, output).run();
    gui::ShutdownProgram();
    return code;
}
