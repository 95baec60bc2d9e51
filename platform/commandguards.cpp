// The second-click guard and the busy scope of commandguards.h.
#include "platform/commandguards.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

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

constexpr const char* kJobWindow = "sorvantaJobWindow";
constexpr const char* kUnavailable = "sorvantaUnavailable";

// The widget an event given to `receiver` acts on: the widget itself, the
// widget a shortcut or action belongs to, or none (a window-system window
// passes its events on to its widgets, where they are judged).
QWidget* OwnerWidget(QObject* receiver)
{
    if (auto* action = qobject_cast<QAction*>(receiver))
        for (QObject* o : action->associatedObjects())
            if (o->isWidgetType()) return static_cast<QWidget*>(o);
    for (QObject* o = receiver; o; o = o->parent())
        if (o->isWidgetType()) return static_cast<QWidget*>(o);
    return nullptr;
}

// Drops the input of every window but the jobs' own while the single image
// is held, and keeps the window manager's closes of those windows for the
// end of the hold.
class WindowHold : public QObject {
public:
    int depth = 0;

    void Begin()
    {
        open_.clear();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) open_.emplace_back(w);
        qApp->installEventFilter(this);
    }

    void End()
    {
        qApp->removeEventFilter(this);
        open_.clear();
        for (const QPointer<QWidget>& w : std::exchange(closes_, {}))
            if (w) QTimer::singleShot(0, w, [w] {
                    if (w && w->isVisible()) w->close();
                });
    }

    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        if (!IsInput(e->type())) return false;
        QWidget* w = OwnerWidget(receiver);
        if (!w || Live(w)) return false;
        if (e->type() == QEvent::Close) {
            // The program's own closes go on; the user's waits for the end.
            if (!e->spontaneous() || receiver != w) return false;
            e->ignore();
            QPointer<QWidget> window(w->window());
            for (const QPointer<QWidget>& c : closes_)
                if (c == window) return true;
            closes_.push_back(window);
            return true;
        }
        // Taken here, so that it goes to no other widget; a drag is told
        // that nothing here takes it.
        if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) e->ignore();
        else e->accept();
        return true;
    }

private:
    static bool IsInput(QEvent::Type t)
    {
        switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::NonClientAreaMouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::DragLeave:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::Gesture:
        case QEvent::NativeGesture:
        case QEvent::Enter:
        case QEvent::Leave:
        case QEvent::HoverEnter:
        case QEvent::HoverLeave:
        case QEvent::HoverMove:
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::FocusAboutToChange:
        case QEvent::Close:
            return true;
        default:
            return false;
        }
    }

    // A job's window, what it owns, or a question asked during the hold (a
    // modal window that was not open when the hold began).
    bool Live(QWidget* w) const
    {
        for (QWidget* p = w; p; p = p->parentWidget()) {
            if (p->property(kJobWindow).toBool()) return true;
            if (p->isWindow() && p->isModal() && !WasOpen(p)) return true;
        }
        return false;
    }

    bool WasOpen(QWidget* window) const
    {
        for (const QPointer<QWidget>& w : open_)
            if (w == window) return true;
        return false;
    }

    std::vector<QPointer<QWidget>> open_;
    std::vector<QPointer<QWidget>> closes_;
};

WindowHold* Hold()
{
    static QPointer<WindowHold> hold;
    // Windows only: a program without them (a tool) has nothing to hold.
    if (!hold && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        hold = new WindowHold;
        hold->setParent(qApp);
    }
    return hold;
}

} // namespace

void InstallCommandClickGuard() { Guard(true); }

void MarkJobWindow(QWidget& window) { window.setProperty(kJobWindow, true); }

void HoldWindows(bool held)
{
    WindowHold* h = Hold();
    if (!h) return;
    if (held) {
        if (h->depth++ == 0) h->Begin();
    } else if (h->depth > 0 && --h->depth == 0) {
        h->End();
    }
}

bool WindowsHeld()
{
    const WindowHold* h = Hold();
    return h && h->depth > 0;
}

void HoldUnavailable(QWidget& widget, bool unavailable)
{
    const int before = widget.property(kUnavailable).toInt();
    const int after = unavailable ? before + 1 : std::max(before - 1, 0);
    widget.setProperty(kUnavailable, after);
    if (before == 0 && after > 0) widget.setEnabled(false);
    else if (before > 0 && after == 0) widget.setEnabled(true);
}

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
    HoldUnavailable(commands, true);
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
    if (commands_) HoldUnavailable(*commands_, false);
    if (focus_ && focus_->isEnabled() && focus_->isVisible()) focus_->setFocus();
    // What waited for the end (a hand-over, a close) runs now, with nothing
    // filtered.
    guard_.reset();
    close_.reset();
}

} // namespace platform
