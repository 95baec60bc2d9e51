// The modal-window wait of modalwait.h: an application event filter that
// notices a modal window being hidden and then looks again.
#include "platform/modalwait.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <deque>

namespace platform {
namespace {

class ModalWatch : public QObject {
public:
    std::deque<std::function<void()>> actions;

    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        if (e->type() == QEvent::Hide || e->type() == QEvent::Destroy) {
            auto* w = qobject_cast<QWidget*>(receiver);
            if (w && w->isWindow() && w->isModal()) Later();
        }
        return false;
    }

    // From the event loop: the hidden window has left the modal stack, and
    // the code that closed it may open its next question first.
    void Later()
    {
        QTimer::singleShot(0, this, [this] { RunWhenClear(); });
    }

    void RunWhenClear()
    {
        while (!ModalDialogOpen() && !actions.empty()) {
            auto action = std::move(actions.front());
            actions.pop_front();
            action();
        }
    }
};

ModalWatch* Watch()
{
    static QPointer<ModalWatch> watch;
    if (!watch && qApp) {
        watch = new ModalWatch;
        watch->setParent(qApp);
        qApp->installEventFilter(watch);
    }
    return watch;
}

} // namespace

bool ModalDialogOpen()
{
    return qobject_cast<QApplication*>(QCoreApplication::instance()) && QApplication::activeModalWidget();
}

void WhenNoModalDialog(std::function<void()> action)
{
    ModalWatch* watch = ModalDialogOpen() ? Watch() : nullptr;
    if (!watch) {
        action();
        return;
    }
    watch->actions.push_back(std::move(action));
}

} // namespace platform
