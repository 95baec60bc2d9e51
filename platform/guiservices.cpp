// The real message boxes and dialogs of guiservices.h, the placement of
// maximised windows and what the start-up asks of the display.
#include "platform/guiservices.h"

#include "platform/accessibility.h"
#include "platform/commandguards.h"
#include "platform/folderjobs.h"
#include "platform/messages.h"
#include "platform/pathtext.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <QStringList>

#include <cstdlib>
#include <xcb/xcb.h>

namespace platform {

ReturnActivation::ReturnActivation() : opener_(QApplication::activeWindow()) {}

ReturnActivation::~ReturnActivation()
{
    if (!opener_ || !opener_->isVisible()) return;
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != opener_) return;
    opener_->raise();
    opener_->activateWindow();
}

void InstallGuiServices()
{
    SetMessageHandler(ShowMessageBox);
    SetFileDialogHandler(ShowQtFileDialog);
    SetFolderBrowseHandler(ShowQtFolderDialog);
    InstallAccessibility();
    InstallCommandClickGuard();
}

QMessageBox::StandardButtons MessageButtons(int style)
{
    switch (style & 0x7) {
    case 1: return QMessageBox::Ok | QMessageBox::Cancel;
    case 2: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case 3: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case 4: return QMessageBox::Yes | QMessageBox::No;
    case 5: return QMessageBox::Retry | QMessageBox::Cancel;
    default: return QMessageBox::Ok;
    }
}

QMessageBox::Icon MessageIcon(int style)
{
    switch (style & 0x70) {
    case 16: return QMessageBox::Critical;
    case 32: return QMessageBox::Question;
    case 48: return QMessageBox::Warning;
    case 64: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

int MessageAnswer(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return kAnsOk;
    case QMessageBox::Cancel: return kAnsCancel;
    case QMessageBox::Abort: return 3;
    case QMessageBox::Retry: return 4;
    case QMessageBox::Ignore: return 5;
    case QMessageBox::Yes: return kAnsYes;
    case QMessageBox::No: return kAnsNo;
    default: return kAnsCancel;
    }
}

QString MessageText(const std::string& text)
{
    QString s = QString::fromStdString(text);
    s.replace("\r\n", "\n");
    s.replace('\r', '\n');
    return s;
}

int ShowMessageBox(const std::string& text, int style, const std::string& title)
{
    const ReturnActivation returnTo;
    QMessageBox box(MessageIcon(style),
                    title.empty() ? QCoreApplication::applicationName() : QString::fromStdString(title),
                    MessageText(text), MessageButtons(style), returnTo.opener());
    box.setAccessibleName(box.windowTitle());
    // The first button is the default one; the close box gives Cancel, or No
    // where there is no Cancel.
    const auto buttons = MessageButtons(style);
    if (buttons & QMessageBox::Ok) box.setDefaultButton(QMessageBox::Ok);
    else if (buttons & QMessageBox::Yes) box.setDefaultButton(QMessageBox::Yes);
    else if (buttons & QMessageBox::Abort) box.setDefaultButton(QMessageBox::Abort);
    else box.setDefaultButton(QMessageBox::Retry);
    if (buttons & QMessageBox::Cancel) box.setEscapeButton(QMessageBox::Cancel);
    else if (buttons & QMessageBox::No) box.setEscapeButton(QMessageBox::No);
    else if (buttons & QMessageBox::Ok) box.setEscapeButton(QMessageBox::Ok);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked) return (buttons & QMessageBox::Cancel) ? kAnsCancel : (buttons & QMessageBox::No) ? kAnsNo : kAnsOk;
    return MessageAnswer(box.standardButton(clicked));
}

QStringList QtNameFilters(const std::string& filter)
{
    QStringList out;
    for (const auto& f : ParseFileFilter(filter)) {
        QStringList masks;
        for (const auto& p : QString::fromStdString(f.patterns).split(';', Qt::SkipEmptyParts))
            masks << p.trimmed();
        const QString desc = QString::fromStdString(f.description).trimmed();
        const QString list = masks.join(' ');
        if (desc.endsWith("(" + list + ")")) out << desc;
        else out << desc + " (" + list + ")";
    }
    return out;
}

FileDialogResult ShowQtFileDialog(const FileDialogRequest& request)
{
    const ReturnActivation returnTo;
    QFileDialog dialog(returnTo.opener(), QString::fromStdString(request.title),
                       QString::fromStdString(request.initialFolder));
    dialog.setAcceptMode(request.kind == FileDialogRequest::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Named by its title as shown: an untitled dialog takes "Open" or "Save
    // As" from its kind, so it is named once the kind is set.
    dialog.setAccessibleName(dialog.windowTitle());
    dialog.setFileMode(request.kind == FileDialogRequest::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (request.kind == FileDialogRequest::Save && !request.promptOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QStringList filters = QtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const int index = request.filterIndex >= 1 && request.filterIndex <= filters.size() ? request.filterIndex : 1;
        dialog.selectNameFilter(filters.at(index - 1));
    }
    if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));

    FileDialogResult result;
    result.filterIndex = request.filterIndex;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return result;
    // The dialog gives the name as text; the file is the one on disk of that
    // name, or none when two names show alike (their bytes differ where they
    // are not valid in the file-name encoding).
    if (!PathOnDisk(QDir::fromNativeSeparators(dialog.selectedFiles().first()), &result.path)) {
        ShowMessage(std::string(request.kind == FileDialogRequest::Save ? "The file cannot be saved."
                                                                         : "The file cannot be opened.") +
                        "\r" + kNameEncodingReason,
                    kMsgCritical, request.title);
        return result;
    }
    result.confirmed = true;
    const int chosen = filters.indexOf(dialog.selectedNameFilter());
    if (chosen >= 0) result.filterIndex = chosen + 1;
    return result;
}

FolderBrowseResult ShowQtFolderDialog(const FolderBrowseRequest& request)
{
    // The prompt goes into the title bar: Qt's folder dialog has no prompt line.
    QString title = QString::fromStdString(request.title);
    if (!request.prompt.empty()) title += " - " + QString::fromStdString(request.prompt);
    const ReturnActivation returnTo;
    const QString chosen = QFileDialog::getExistingDirectory(returnTo.opener(), title,
                                                             QString::fromStdString(request.initialFolder));
    FolderBrowseResult result;
    if (chosen.isEmpty()) return result;
    std::string folder;
    if (!PathOnDisk(QDir::fromNativeSeparators(chosen), &folder)) {
        ShowMessage(std::string("The folder cannot be opened.\r") + kNameEncodingReason, kMsgCritical, request.title);
        return result;
    }
    result.confirmed = true;
    result.folder = CanonicalPath(folder);
    return result;
}

namespace {

// The window named by `property` of `window` on the X server; 0 without one.
xcb_window_t WindowProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property)
{
    const xcb_get_property_cookie_t cookie = xcb_get_property(c, 0, window, property, XCB_ATOM_WINDOW, 0, 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    if (!reply) return 0;
    xcb_window_t value = 0;
    if (reply->type == XCB_ATOM_WINDOW && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        value = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
    std::free(reply);
    return value;
}

// An EWMH window manager names a window of its own on the root window, and
// that window names itself: a manager that ended leaves a stale name behind.
bool X11WindowManagerRuns()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return false;
    const char name[] = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
    if (!atom) return false;
    const xcb_atom_t check = atom->atom;
    std::free(atom);
    if (check == XCB_ATOM_NONE) return false;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen) return false;
    const xcb_window_t manager = WindowProperty(c, screen->root, check);
    return manager != 0 && WindowProperty(c, manager, check) == manager;
}

} // namespace

bool WindowManagerRuns()
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) return X11WindowManagerRuns();
    if (platform.startsWith(QLatin1String("wayland"))) return true;
    static const QStringList bare = {"offscreen", "minimal", "minimalegl", "vnc", "linuxfb", "eglfs", "vkkhrdisplay"};
    return !bare.contains(platform);
}

void ShowMaximised(QWidget& window)
{
    const Qt::WindowStates state = window.windowState() & ~(Qt::WindowMinimized | Qt::WindowFullScreen);
    // Each opening asks for the maximised state anew, so the request goes out
    // with the window's mapping.
    const bool opening = !window.isVisible();
    if (opening) window.setWindowState(state & ~Qt::WindowMaximized);
    if (!WindowManagerRuns()) {
        // The frame, title bar included, fills the work area, never more.
        window.winId();   // the platform window, to learn its frame
        const QMargins frame = window.windowHandle() ? window.windowHandle()->frameMargins() : QMargins();
        if (const QScreen* s = window.screen()) window.setGeometry(s->availableGeometry().marginsRemoved(frame));
        window.showMaximized();
    } else if (!opening) {
        // Shown again: a minimised or restored window is maximised once more;
        // its place stays the manager's.
        if (window.windowState() != (state | Qt::WindowMaximized)) window.setWindowState(state | Qt::WindowMaximized);
    } else {
        window.setWindowState(state | Qt::WindowMaximized);
        window.show();
    }
    window.raise();
    window.activateWindow();
}

bool IsContextMenuKey(const QEvent* event)
{
    if (event->type() == QEvent::ContextMenu)
        return static_cast<const QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard;
    if (event->type() != QEvent::KeyPress) return false;
    const auto* k = static_cast<const QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = k->modifiers() & ~Qt::KeypadModifier;
    return (k->key() == Qt::Key_Menu && mods == Qt::NoModifier) ||
           (k->key() == Qt::Key_F10 && mods == Qt::ShiftModifier);
}

int ScreenWidth()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() : 0;
}

int ScreenHeight()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 0;
}

int ColorDepth()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->depth() : 0;
}

int LogicalDpiX()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? qRound(s->logicalDotsPerInchX()) : 0;
}

bool IsSmallFonts()
{
    return LogicalDpiX() == 96;
}

} // namespace platform
