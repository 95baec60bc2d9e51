// The second-click guard and the busy scope of commandguards.h.
#include "platform/commandguards.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

namespace platform {
namespace {

// Drops the second click of a double click whose first click ran a command.
// The window system reports that second press as a double click (same
// button, same place, within the double-click interval, by the events' own
// times), to whichever window is under the pointer by then.
class SecondClickGuard : public QObject {
public:
    void Mark(ulong timestamp)
    {
        marked_ = true;
        markTime_ = timestamp;
    }
    int dropped = 0;

    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        if (!receiver->isWidgetType()) return false;
        switch (e->type()) {
        case QEvent::MouseButtonPress:
            marked_ = false;   // a click of its own, not the second of a pair
            return false;
        case QEvent::MouseButtonRelease: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (eatRelease_ && m->button() == Qt::LeftButton) {
                eatRelease_ = false;
                return true;
            }
            // A release on a pushed button clicks it: the command runs while
            // this event is delivered.
            auto* button = qobject_cast<QPushButton*>(receiver);
            if (button && m->button() == Qt::LeftButton && button->isEnabled() && button->isDown() &&
                button->rect().contains(m->position().toPoint()))
                Mark(m->timestamp());
            return false;
        }
        case QEvent::MouseButtonDblClick: {
            auto* m = static_cast<QMouseEvent*>(e);
            const bool second = marked_ && m->button() == Qt::LeftButton &&
                                m->timestamp() - markTime_ <= ulong(QApplication::doubleClickInterval());
            marked_ = false;
            if (!second) return false;
            eatRelease_ = true;
            ++dropped;
            return true;
        }
        default:
            return false;
        }
    }

private:
    bool marked_ = false;
    ulong markTime_ = 0;
    bool eatRelease_ = false;
};

QPointer<SecondClickGuard>& TheGuard()
{
    static QPointer<SecondClickGuard> guard;
    return guard;
}

// The guard, installed on the application when `install` asks for it.
SecondClickGuard* Guard(bool install = false)
{
    QPointer<SecondClickGuard>& guard = TheGuard();
    if (!guard && install && qApp) {
        guard = new SecondClickGuard;
        guard->setParent(qApp);
        qApp->installEventFilter(guard);
    }
    return guard;
}

// Eats the clicks and keys that reach the program while it is installed,
// except those of a dialog that opened meanwhile.
class InputEater : public QObject {
public:
    InputEater() : modal_(QApplication::activeModalWidget()) {}

    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return !InNewDialog(receiver);
        default:
            return false;
        }
    }

private:
    bool InNewDialog(QObject* receiver) const
    {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || dialog == modal_) return false;
        auto* w = qobject_cast<QWidget*>(receiver);
        return w && (w == dialog || dialog->isAncestorOf(w));
    }

    QPointer<QWidget> modal_;
};

} // namespace

void InstallCommandClickGuard() { Guard(true); }

void CommandClicked(const QInputEvent& event)
{
    if (SecondClickGuard* g = Guard()) g->Mark(event.timestamp());
}

int DroppedSecondClicks()
{
    const SecondClickGuard* g = Guard();
    return g ? g->dropped : 0;
}

// Refuses and remembers the closes of one window.
class CloseAfterJob::Filter : public QObject {
public:
    explicit Filter(QWidget* window) : window(window) { window->installEventFilter(this); }
    ~Filter() override
    {
        if (window) window->removeEventFilter(this);
    }

    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        if (receiver != window || e->type() != QEvent::Close) return false;
        e->ignore();
        asked = true;
        return true;
    }

    QPointer<QWidget> window;
    bool asked = false;
};

CloseAfterJob::CloseAfterJob(QWidget& window) : filter_(std::make_unique<Filter>(window.window())) {}

CloseAfterJob::~CloseAfterJob()
{
    QPointer<QWidget> window = filter_->window;
    const bool asked = filter_->asked;
    filter_.reset();
    if (!asked || !window) return;
    // From the event loop: never inside the handler that ran the job.
    QTimer::singleShot(0, window, [window] {
        if (window && window->isVisible()) window->close();
    });
}

bool CloseAfterJob::closeAsked() const { return filter_->asked; }

BusyScope::BusyScope(QWidget& commands, std::string job)
    : guard_(std::make_unique<JobGuard>(std::move(job))), focus_(QApplication::focusWidget())
{
    if (!guard_->started()) return;
    close_ = std::make_unique<CloseAfterJob>(commands);
    commands_ = &commands;
    commands.setEnabled(false);
}

BusyScope::~BusyScope()
{
    if (!guard_->started()) return;
    {
        InputEater eater;
        qApp->installEventFilter(&eater);
        QCoreApplication::processEvents();
        qApp->removeEventFilter(&eater);
    }
    if (commands_) commands_->setEnabled(true);
    if (focus_ && focus_->isEnabled() && focus_->isVisible()) focus_->setFocus();
    // What waited for the end (a hand-over, a close) runs now, with nothing
    // filtered.
    guard_.reset();
    close_.reset();
}

} // namespace platform
