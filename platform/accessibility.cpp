// Window roles, picture roles and captions as assistive technology reads them.
#include "platform/accessibility.h"

#include <QAccessibleWidget>
#include <QDialog>
#include <QLabel>
#include <QWidget>

namespace platform {
namespace {

// Asked for each class of a widget from the most derived one up. Qt's own
// interfaces answer for its classes (QDialog, QMainWindow, QMessageBox, ...);
// a window that is a plain QWidget reaches "QWidget" unanswered.
QAccessibleInterface* TopLevelWindowFactory(const QString& className, QObject* object)
{
    // A picture view is an image, whatever it is built on.
    if (className == QLatin1String("platform::PictureBuffer")) {
        auto* w = qobject_cast<QWidget*>(object);
        return w ? new QAccessibleWidget(w, QAccessible::Graphic) : nullptr;
    }
    if (className != QLatin1String("QWidget")) return nullptr;
    auto* w = qobject_cast<QWidget*>(object);
    if (!w || !w->isWindow()) return nullptr;
    return new QAccessibleWidget(w, WindowRole(*w));
}

} // namespace

QAccessible::Role WindowRole(const QWidget& window)
{
    const Qt::WindowType type = window.windowType();
    if (qobject_cast<const QDialog*>(&window) || type == Qt::Dialog || type == Qt::Sheet || window.isModal())
        return QAccessible::Dialog;
    return QAccessible::Window;
}

void InstallAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(TopLevelWindowFactory);
        return true;
    }();
    (void)installed;
}

QString VisibleCaption(const QString& caption)
{
    QString out;
    out.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&')) out += caption[i];
        else if (i + 1 < caption.size()) out += caption[++i];   // "&C" shows C, "&&" shows &
    }
    return out.trimmed();
}

void ShowCaption(QLabel& caption, const QString& text)
{
    caption.setText(text);
    if (QWidget* box = caption.buddy()) box->setAccessibleName(VisibleCaption(text));
}

} // namespace platform
