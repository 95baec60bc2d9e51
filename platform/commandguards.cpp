// The second-click guard and the busy scope of commandguards.h.
#include "platform/commandguards.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
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

// The role of a control that takes a value, a text or a choice from an
// assistive technology (false for any other).
bool ValueControlRole(const QWidget* w, QAccessible::Role* role)
{
    if (qobject_cast<const QLineEdit*>(w)) *role = QAccessible::EditableText;
    else if (qobject_cast<const QComboBox*>(w)) *role = QAccessible::ComboBox;
    else if (qobject_cast<const QAbstractSpinBox*>(w)) *role = QAccessible::SpinBox;
    else if (auto* s = qobject_cast<const QAbstractSlider*>(w))
        *role = s->inherits("QScrollBar") ? QAccessible::ScrollBar
                : s->inherits("QDial")    ? QAccessible::Dial
                                          : QAccessible::Slider;
    else return false;
    return true;
}

// Such a control of a held window as assistive technology sees it during the
// hold: read as it shows, but with no value, text or action to set. Qt's own
// interfaces set a value or a text, or open a list, on a control however
// unavailable it is.
class HeldValueControl : public QAccessibleWidget {
public:
    HeldValueControl(QWidget* w, QAccessible::Role role) : QAccessibleWidget(w, role) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value) {
            if (auto* e = qobject_cast<QLineEdit*>(widget()))
                return e->echoMode() == QLineEdit::Normal ? e->text() : QString();
            if (auto* s = qobject_cast<QAbstractSpinBox*>(widget())) return s->text();
            if (auto* s = qobject_cast<QAbstractSlider*>(widget())) return QString::number(s->value());
            if (auto* c = qobject_cast<QComboBox*>(widget())) return c->currentText();
        }
        return QAccessibleWidget::text(t);
    }
    void setText(QAccessible::Text, const QString&) override {}
    QStringList actionNames() const override { return {}; }
    void doAction(const QString&) override {}
};

// Forgets the interfaces assistive technology has for the value controls of
// `window`, so that they are made again for what the window is now.
void ForgetValueInterfaces(QWidget* window)
{
    QAccessible::Role role;
    for (QWidget* c : window->findChildren<QWidget*>())
        if (ValueControlRole(c, &role))
            if (QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c))
                QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(a));
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
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* w : windows)
            if (w->isVisible()) open_.emplace_back(w);
        // What making them unavailable sets off (a box losing the focus)
        // acts before the filter is in place, as at any other time.
        for (QWidget* w : windows) HoldWindow(w);
        qApp->installEventFilter(this);
    }

    void End()
    {
        qApp->removeEventFilter(this);
        open_.clear();
        for (auto w = unavailable_.rbegin(); w != unavailable_.rend(); ++w)
            if (*w) HoldUnavailable(**w, false);
        unavailable_.clear();
        for (const QPointer<QAction>& a : std::exchange(actions_, {}))
            if (a) a->setEnabled(true);
        for (const QPointer<QWidget>& w : std::exchange(held_, {}))
            if (w) ForgetValueInterfaces(w);
        for (const QPointer<QWidget>& w : std::exchange(closes_, {}))
            if (w) QTimer::singleShot(0, w, [w] {
                    if (w && w->isVisible()) w->close();
                });
    }

    bool eventFilter(QObject* receiver, QEvent* e) override
    {
        if (e->type() == QEvent::Show && receiver->isWidgetType()) {
            // A held window first shown during the hold is held as the others.
            HoldWindow(static_cast<QWidget*>(receiver));
            return false;
        }
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
    // A window of its own (a dialog, a message box, a plot window), not a
    // popup or tooltip that belongs to the control that shows it.
    static bool IsOwnWindow(const QWidget* w)
    {
        return w->isWindow() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip;
    }

    // Makes the controls of a held window unavailable, so that nothing that
    // bypasses input events (an assistive technology's press, toggle or
    // value) acts on them either. The windows it owns (a question the job
    // asks, parented to the window that was active) are windows of their own
    // and stay as they are: only the window's non-window children are made
    // unavailable, and a child that holds a window is gone into instead.
    void HoldWindow(QWidget* window)
    {
        if (!IsOwnWindow(window) || Live(window)) return;
        for (const QPointer<QWidget>& w : held_)
            if (w == window) return;
        held_.emplace_back(window);
        HoldChildren(window);
        // Its menu commands: an assistive technology triggers an action
        // whatever the menu that shows it.
        for (QAction* a : window->findChildren<QAction*>()) {
            if (!a->isEnabled() || InOwnWindow(a, window)) continue;
            a->setEnabled(false);
            actions_.emplace_back(a);
        }
        ForgetValueInterfaces(window);
    }

public:
    // True when assistive technology may set no value on `w`: an unavailable
    // control of a held window.
    bool RefusesValues(const QWidget* w) const
    {
        if (depth == 0 || w->isEnabled()) return false;
        for (const QPointer<QWidget>& h : held_)
            if (h == w->window()) return true;
        return false;
    }

private:

    // True when `o` belongs to a window of its own inside `window`.
    static bool InOwnWindow(const QObject* o, const QWidget* window)
    {
        for (const QObject* p = o->parent(); p && p != window; p = p->parent())
            if (p->isWidgetType() && IsOwnWindow(static_cast<const QWidget*>(p))) return true;
        return false;
    }

    void HoldChildren(QWidget* parent)
    {
        for (QObject* o : parent->children()) {
            if (!o->isWidgetType()) continue;
            auto* c = static_cast<QWidget*>(o);
            if (IsOwnWindow(c)) continue;
            if (HoldsWindow(c)) {
                HoldChildren(c);
                continue;
            }
            // A control its window has made unavailable stays so, and is
            // left to its window.
            if (c->property(kUnavailable).toInt() == 0 && c->testAttribute(Qt::WA_ForceDisabled)) continue;
            HoldUnavailable(*c, true);
            unavailable_.emplace_back(c);
        }
    }

    static bool HoldsWindow(const QWidget* w)
    {
        for (const QWidget* c : w->findChildren<QWidget*>())
            if (IsOwnWindow(c)) return true;
        return false;
    }

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
    std::vector<QPointer<QWidget>> held_;
    std::vector<QPointer<QWidget>> unavailable_;
    std::vector<QPointer<QAction>> actions_;
};

QPointer<WindowHold>& TheHold()
{
    static QPointer<WindowHold> hold;
    return hold;
}

QAccessibleInterface* HeldControlFactory(const QString&, QObject* object)
{
    const WindowHold* h = TheHold();
    if (!h || !object->isWidgetType()) return nullptr;
    auto* w = static_cast<QWidget*>(object);
    QAccessible::Role role;
    if (!ValueControlRole(w, &role) || !h->RefusesValues(w)) return nullptr;
    return new HeldValueControl(w, role);
}

WindowHold* Hold()
{
    QPointer<WindowHold>& hold = TheHold();
    // Windows only: a program without them (a tool) has nothing to hold.
    if (!hold && qobject_cast<QApplication*>(QCoreApplication::instance())) {
        hold = new WindowHold;
        hold->setParent(qApp);
        static const bool installed = [] {
            QAccessible::installFactory(HeldControlFactory);
            return true;
        }();
        (void)installed;
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
