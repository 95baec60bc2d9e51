// Screenshot harness of tools/screenshot-batch-config.sh (run under Xvfb, not
// by CTest): shows the batch plot configuration window with the sample
// preview on each of its four tabs and grabs the screen with ImageMagick's
// import.
//   screenshot_batch_config SCRATCH_DIR OUT_DIR
#include "app/batch/config/frm_batch_configuration.h"
#include "app/batch/gui/frm_batch_processing.h"
#include "platform/folders.h"
#include "testsupport/screenshot.h"
#include "testsupport/windows/standin_windows.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: screenshot_batch_config SCRATCH_DIR OUT_DIR\n");
        return 2;
    }
    testsupport::ScreenshotApp app(argc, argv);
    platform::SetBaseFolder(std::string(argv[1]) + "/base");
    testsupport::standins::InstallStandinWindows();
    batch::InstallBatchWindows();
    batchcfg::InstallBatchConfigurationWindow();
    const std::string out = argv[2];
    batchcfg::FrmBatchConfiguration& w = *batchcfg::BatchConfiguration();
    std::string error;
    if (!w.Preview("", "", false, &error)) std::fprintf(stderr, "preview: %s\n", error.c_str());
    w.showMaximized();
    bool ok = true;
    const char* names[] = {"surface", "contour", "diagonal", "misc"};
    for (int i = 0; i < 4; ++i) {
        w.SSTab1->setCurrentIndex(i);
        ok = testsupport::SettleAndGrab(out + "/batchconfig-" + names[i] + ".png") && ok;
    }
    return ok ? 0 : 1;
}
