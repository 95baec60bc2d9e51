// Screenshot harness (not a test case): starts the program in a scratch base
// folder on the real display with a phase image of a results folder, opens
// "View Thumbnails", grabs the screen, opens the selected picture full size
// with Enter and grabs it again. The control must be registered in the class
// registry the environment names.
//   screenshot_browser <scratch folder> <phase image> <browser.png> <viewer.png>
#include "app/browser/frm_full_size.h"
#include "app/browser/frm_thumbnail_view.h"
#include "app/core/gui/frm_analysis.h"
#include "app/core/gui/frm_units.h"
#include "app/core/gui/startup.h"
#include "app/core/settings.h"
#include "platform/folders.h"
#include "platform/guiservices.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QProcess>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 5) {
        std::fprintf(stderr, "usage: screenshot_browser <scratch folder> <phase image> <browser.png> <viewer.png>\n");
        return 2;
    }
    platform::InstallGuiServices();
    const std::string scratch = argv[1];
    const std::string image = argv[2];
    const QString shots[2] = {QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4])};
    platform::SetBaseFolder(scratch);
    QDir().mkpath(QString::fromStdString(platform::UtilityFolder()));
    core::WriteDefaultSettingsFile(core::SettingsFilePath());

    gui::StartupHooks hooks;
    hooks.instanceFolder = QString::fromStdString(platform::JoinPath(scratch, "run"));
    hooks.runDisplayConflict = [](gui::FrmDisplayConflict&) { return true; };
    if (gui::RunStartup(image, hooks) != gui::StartupResult::Running) return 1;
    gui::frmUnits().cmdOK->click();
    auto& main = gui::frmAnalysis();
    main.exitProgram = [] {};
    main.cmdViewThumbnails->click();

    int code = 0;
    QProcess grab;
    int shot = 0;
    QObject::connect(&grab, &QProcess::finished, [&](int exitCode) {
        code |= exitCode;
        if (++shot == 2) {
            QCoreApplication::exit(0);
            return;
        }
        // Enter on the control opens the selected picture full size.
        browser::FrmThumbnailView& b = browser::frmThumbnailView();
        if (b.Thumbnail1()) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QApplication::sendEvent(b.Thumbnail1()->widget(), &press);
        }
        QTimer::singleShot(1500, [&] { grab.start("import", {"-window", "root", shots[1]}); });
    });
    QTimer::singleShot(2500, [&] { grab.start("import", {"-window", "root", shots[0]}); });
    QTimer::singleShot(60000, [&] { QCoreApplication::exit(0); });
    app.exec();
    std::fprintf(stderr, "screenshots: %s\n", code == 0 ? "taken" : "failed");
    gui::ShutdownProgram();
    return code;
}
