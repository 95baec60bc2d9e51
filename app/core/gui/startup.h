#pragma once
// The splash window, the display warning and the start-up sequence of the
// program, which runs in the splash window's load handler.
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>

namespace platform {
class SingleInstance;
}

namespace gui {

class FrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit FrmSplash(QWidget* parent = nullptr);
    QTimer* Timer1;
    QLabel* ImgXCtrl1;     // the splash picture
    QLabel* lblSorvanta;
    QLabel* lblMaker;
    QLabel* lblRights;
    QLabel* lblAddress;
    QLabel* lblCity;
    QLabel* lblPhone;
    QLabel* lblWeb;
    bool SplashTimerDone = false;
    // Shows a BMP picture file in place of the drawn one; false when unreadable.
    bool ShowPictureFile(const std::string& path);
};

class FrmDisplayConflict : public QDialog {
    Q_OBJECT
public:
    explicit FrmDisplayConflict(QWidget* parent = nullptr);
    QLabel* Label1;
    QLabel* Label2;   // resolution line
    QLabel* Label3;   // font line
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Picture1;
    QPushButton* cmdContinue;
    QPushButton* cmdQuit;
};

// The drawn splash picture.
QImage DrawSplashPicture(int width, int height);

// What the start-up reads of the display (replaceable in tests).
struct DisplayInfo {
    int width = 0;
    int height = 0;
    int colorDepth = 0;
    bool smallFonts = false;
};

struct StartupHooks {
    std::function<DisplayInfo()> display;
    // Shows the display warning modally; true to continue, false to quit.
    std::function<bool(FrmDisplayConflict&)> runDisplayConflict;
    // Folder of the single-instance lock and socket ("" = the user's default).
    QString instanceFolder;
    // Splash time in milliseconds.
    int splashMs = 500;
};

enum class StartupResult {
    Running,        // the units dialog is up; run the event loop
    HandedOver,     // a running instance took the command line
    Ended,          // the start-up ended the program (message shown or Quit)
};

// Runs the whole start-up. `commandLine` is the one optional phase-image path.
StartupResult RunStartup(const std::string& commandLine, const StartupHooks& hooks = StartupHooks());

FrmSplash& frmSplash();
platform::SingleInstance* Instance();

// The text of a hand-over, as the running instance acts on it.
void ReceiveCommandLine(const std::string& text);

// Ends everything the start-up made (tests).
void ShutdownProgram();

} // namespace gui
