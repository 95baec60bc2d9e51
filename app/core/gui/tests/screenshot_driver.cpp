// Screenshot harness (not a test case): starts the program in a scratch base
// folder on the real display, confirms the units dialog, calculates the
// displacement of a phase image and grabs the screen with ImageMagick.
//   screenshot_driver <scratch folder> <output.png> [phase image]
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/frm_units.h"
#include "app/core/gui/startup.h"
#include "app/core/settings.h"
#include "platform/folders.h"
#include "platform/guiservices.h"
#include "platform/strandel_binding.h"
#include "tools/synth/synth.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: screenshot_driver <scratch folder> <output.png> [phase image]\n");
        return 2;
    }
    platform::InstallGuiServices();
    const std::string scratch = argv[1];
    const QString output = QString::fromLocal8Bit(argv[2]);
    platform::SetBaseFolder(scratch);
    QDir().mkpath(QString::fromStdString(platform::UtilityFolder()));
    core::WriteDefaultSettingsFile(core::SettingsFilePath());

    std::string image = argc > 3 ? argv[3] : "";
    if (image.empty()) {
        image = platform::JoinPath(scratch, "Sample_ph.tif");
        const int cols = 640, rows = 480;
        std::string err;
        auto z = synth::ParseSurface("dome:0.00002+saddle:0.000008+plane:0.001,0.0005,0", cols, rows, &err);
        auto px = synth::WrapToPhase(cols, rows, z, 0.5, synth::ParseBlank("ring:230,1000", cols, rows, &err));
        strandel::WriteTIFFFile(image, cols, rows, synth::MakeHeader(0.5, cols, rows), px.data());
    }

    gui::StartupHooks hooks;
    hooks.instanceFolder = QString::fromStdString(platform::JoinPath(scratch, "run"));
    hooks.runDisplayConflict = [](gui::FrmDisplayConflict&) { return true; };
    if (gui::RunStartup(image, hooks) != gui::StartupResult::Running) return 1;
    gui::frmUnits().cmdOK->click();
    auto& main = gui::frmAnalysis();
    main.exitProgram = [] {};
    main.cmdUnwrap->click();

    int code = 1;
    QProcess grab;
    QObject::connect(&grab, &QProcess::finished, [&](int exitCode) {
        code = exitCode;
        // exit(), not quit(): quit() first closes every window, and the main
        // window asks "Are you sure you want to quit?" in a message box nobody
        // answers here.
        QCoreApplication::exit(0);
    });
    QTimer::singleShot(2000, [&] { grab.start("import", {"-window", "root", output}); });
    QTimer::singleShot(60000, [] { QCoreApplication::exit(0); });
    app.exec();
    std::fprintf(stderr, "screenshot: %s\n", code == 0 ? "taken" : "failed");
    gui::ShutdownProgram();
    std::fprintf(stderr, "screenshot: done\n");
    return code;
}
