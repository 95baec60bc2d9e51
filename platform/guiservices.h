#pragma once
// The real message boxes and dialogs behind the services of messages.h and
// dialogs.h, and what the start-up asks of the display.
#include "platform/dialogs.h"

#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <string>

namespace platform {

// Installs the QMessageBox message handler, the QFileDialog file and folder
// dialogs, the window roles of accessibility.h and the second-click guard of
// commandguards.h. Call once after the
// QApplication exists.
void InstallGuiServices();

// Activation goes back to the window that opened a dialog once the dialog,
// and any question it asked on top of it ("replace?"), has closed: the
// window manager would otherwise pick a window of its own choosing (the
// main window over the plot window that asked), and the next key meant for
// the asking window would run a command of another. Every dialog of the
// program is opened inside one:
//     const ReturnActivation returnTo;
//     QFileDialog dialog(returnTo.opener(), ...);
class ReturnActivation {
public:
    ReturnActivation();    // the active window is the opener
    ~ReturnActivation();   // the opener, still shown, is raised and activated
    ReturnActivation(const ReturnActivation&) = delete;
    ReturnActivation& operator=(const ReturnActivation&) = delete;

    QWidget* opener() const { return opener_; }

private:
    QPointer<QWidget> opener_;
};

// The parts of InstallGuiServices, one by one.
int ShowMessageBox(const std::string& text, int style, const std::string& title);
FileDialogResult ShowQtFileDialog(const FileDialogRequest& request);
FolderBrowseResult ShowQtFolderDialog(const FolderBrowseRequest& request);

// Message styles: buttons in the low 3 bits (0 OK, 1 OK/Cancel, 2 Abort/Retry/
// Ignore, 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel), icon in 16/32/48/64
// (critical, question, warning, information). Answers: 1 OK, 2 Cancel,
// 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No.
QMessageBox::StandardButtons MessageButtons(int style);
QMessageBox::Icon MessageIcon(int style);
int MessageAnswer(QMessageBox::StandardButton button);
// Line breaks of message texts ("\r", "\r\n") as Qt shows them.
QString MessageText(const std::string& text);

// Qt name filters ("Bitmap Files (*.bmp)") from a '|' filter text.
QStringList QtNameFilters(const std::string& filter);

// Shows a window maximised, raised and active. Under a window manager the
// window only asks for the maximised state (anew at each opening) and the
// manager places it; a window shown again is never given a geometry, which
// would take it out of the manager's maximised placement. Without a window
// manager to honour the state the window takes the screen's work area itself.
void ShowMaximised(QWidget& window);

// True when a window manager places the program's windows: on X11 one that
// announces itself on the root window (_NET_SUPPORTING_WM_CHECK), on Wayland
// the compositor; false on the offscreen and other window-manager-less
// platforms.
bool WindowManagerRuns();

// A key press that asks for the context menu from the keyboard: the menu key
// or Shift+F10 (or the context-menu event the platform makes of them).
bool IsContextMenuKey(const QEvent* event);

// Screen of the primary display in pixels, its colour depth in bits per pixel
// and its logical dots per inch (96 = small fonts). 0 without a screen.
int ScreenWidth();
int ScreenHeight();
int ColorDepth();
int LogicalDpiX();
bool IsSmallFonts();

} // namespace platform
