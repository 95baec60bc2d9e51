#pragma once
// What assistive technology reads from the program's own windows: the role of
// a top-level window, and the names and captions of controls.
#include <QAccessible>
#include <QString>

class QLabel;
class QWidget;

namespace platform {

// The role of a top-level window: Dialog for a dialog (a QDialog, a window of
// dialog type or a modal one), Window (a frame) for any other.
QAccessible::Role WindowRole(const QWidget& window);

// Gives top-level windows built on a plain QWidget their window role instead
// of Qt's generic client role ("filler" on the accessibility bus), and the
// picture views (PictureBuffer) the image role. Called by InstallGuiServices
// and by every picture view; safe to call more than once.
void InstallAccessibility();

// The text a user sees on a caption: without the mnemonic marker '&' ("&&"
// stays one '&') and without leading or trailing blanks.
QString VisibleCaption(const QString& caption);

// A caption whose text changes (a count, a unit) and that names the box it is
// tied to (its buddy): the label shows `text` and the box is read by it.
void ShowCaption(QLabel& caption, const QString& text);

} // namespace platform
