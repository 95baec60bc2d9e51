// The thumbnail list's accessible interfaces: the control is a list (named
// "Thumbnails" by the control) whose children are its thumbnails, each named
// by its file and carrying its selection and focus state and its cell on
// screen.
#include "thumbctl/control/view_access.h"

#include "thumbctl/control/thumbnail.h"
#include "thumbctl/control/view_ctrl.h"

#include <QAccessibleWidget>
#include <QPointer>

#include <vector>

namespace thumbctl {

namespace {

const CThumbnailItem* ItemOf(const CThumbnailCtrl* c, long index)
{
    if (!c || index < 0 || index >= c->ItemCount()) return nullptr;
    return c->state().List.items[size_t(index)].get();
}

// One thumbnail of the list; it follows whatever item stands at its index.
class ThumbnailItemAccessible : public QAccessibleInterface {
public:
    ThumbnailItemAccessible(CThumbnailCtrl* control, long index) : control_(control), index_(index) {}

    bool isValid() const override { return ItemOf(control_, index_) != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return control_ ? control_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(control_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QString text(QAccessible::Text t) const override
    {
        const CThumbnailItem* item = ItemOf(control_, index_);
        if (!item || t != QAccessible::Name) return {};
        // A handed-over bitmap has no file: its label names it.
        const std::string& name = item->namePart.empty() ? item->label : item->namePart;
        return QString::fromUtf8(name.c_str()).trimmed();
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        if (!isValid()) return {};
        const QRect r = VisibleItemRect(GridOf(*control_), index_);
        if (r.isEmpty()) return {};
        return QRect(control_->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        const CThumbnailItem* item = ItemOf(control_, index_);
        if (!item) {
            s.invalid = true;
            return s;
        }
        s.selectable = control_->state().SelectLimit != 0;
        s.selected = item->selected;
        s.focusable = true;
        s.focused = control_->hasFocus() && control_->state().List.focus == index_;
        s.invisible = !control_->isVisible();
        s.offscreen = rect().isEmpty();
        return s;
    }

private:
    QPointer<CThumbnailCtrl> control_;
    long index_;
};

// The control as a list of its thumbnails. Item interfaces are made on
// first use and kept while their index exists.
class ThumbnailListAccessible : public QAccessibleWidget {
public:
    explicit ThumbnailListAccessible(CThumbnailCtrl* control) : QAccessibleWidget(control, QAccessible::List) {}
    ~ThumbnailListAccessible() override { Trim(0); }

    int childCount() const override
    {
        const int n = int(control()->ItemCount());
        Trim(size_t(n));
        return n;
    }

    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount()) return nullptr;
        while (ids_.size() <= size_t(index)) {
            auto* item = new ThumbnailItemAccessible(control(), long(ids_.size()));
            ids_.push_back(QAccessible::registerAccessibleInterface(item));
        }
        return QAccessible::accessibleInterface(ids_[size_t(index)]);
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (size_t i = 0; i < ids_.size(); ++i)
            if (QAccessible::accessibleInterface(ids_[i]) == child) return int(i);
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint p = control()->mapFromGlobal(QPoint(x, y));
        const long index = control()->ItemAtPoint(p.x(), p.y());
        return index < 0 ? nullptr : child(int(index));
    }

    QAccessibleInterface* focusChild() const override
    {
        if (!control()->hasFocus()) return nullptr;
        return child(control()->state().List.focus);
    }

private:
    CThumbnailCtrl* control() const { return static_cast<CThumbnailCtrl*>(widget()); }

    // Item interfaces past `count` go.
    void Trim(size_t count) const
    {
        while (ids_.size() > count) {
            QAccessible::deleteAccessibleInterface(ids_.back());
            ids_.pop_back();
        }
    }

    mutable std::vector<QAccessible::Id> ids_;
};

QAccessibleInterface* MakeInterface(const QString& className, QObject* object)
{
    if (className != QLatin1String(CThumbnailCtrl::staticMetaObject.className())) return nullptr;
    auto* control = qobject_cast<CThumbnailCtrl*>(object);
    return control ? new ThumbnailListAccessible(control) : nullptr;
}

} // namespace

void InstallAccessibility(CThumbnailCtrl& control)
{
    static const bool installed = [] {
        QAccessible::installFactory(MakeInterface);
        return true;
    }();
    (void)installed;
    // A plain widget's interface may have been made for the control while
    // it was being built; it gives way to the list.
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(&control);
    if (made && !dynamic_cast<ThumbnailListAccessible*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void NotifyItemEvent(CThumbnailCtrl& control, long index, QAccessible::Event event)
{
    if (!QAccessible::isActive() || index < 0 || index >= control.ItemCount()) return;
    QAccessibleEvent e(&control, event);
    e.setChild(int(index));
    QAccessible::updateAccessibility(&e);
}

} // namespace thumbctl
