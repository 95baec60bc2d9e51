#pragma once
// What assistive technology reads from a window: the accessible name of each
// control shown, as the accessibility interface reports it, the captions tied
// to values, and the keyboard mnemonics of buttons and captions.
#include "platform/accessibility.h"
#include "testsupport/testsupport.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAccessible>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

namespace testsupport {

inline std::string AccessibleName(QWidget* w)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name).toStdString() : std::string();
}

inline QAccessible::Role AccessibleRole(QWidget* w)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->role() : QAccessible::NoRole;
}

// The name of the caption that labels `w` (its Label relation); "" when none.
inline std::string LabelledBy(QWidget* w)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    if (!a) return {};
    for (const auto& rel : a->relations(QAccessible::Label))
        if (rel.first) return rel.first->text(QAccessible::Name).toStdString();
    return {};
}

// A reader's line for a figure: its caption, what it shows, its description.
inline std::string ReadWithCaption(QWidget* w)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    std::string line;
    for (const std::string& part : {LabelledBy(w), AccessibleName(w),
                                    a ? a->text(QAccessible::Description).toStdString() : std::string()})
        if (!part.empty()) line += (line.empty() ? "" : " ") + part;
    return line;
}

// The caption a button shows, as read: without its mnemonic marker, trimmed.
inline std::string Caption(const QAbstractButton* b) { return platform::VisibleCaption(b->text()).toStdString(); }

// A scroll bar of a scrolled view or a header of a table: read as a part of
// the view it belongs to (its scrolling, its column names), not as a control
// of its own.
inline bool PartOfAView(const QWidget* w)
{
    if (qobject_cast<const QHeaderView*>(w)) return qobject_cast<const QAbstractItemView*>(w->parentWidget());
    if (!qobject_cast<const QScrollBar*>(w)) return false;
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto* view = qobject_cast<const QAbstractScrollArea*>(p))
            return view->horizontalScrollBar() == w || view->verticalScrollBar() == w;
    return false;
}

// The controls shown in `window` whose name is empty or is their code name,
// the buttons whose name is not their visible caption (trimmed), and the
// labels whose name is not the text they show; "" when all are readable.
inline std::string UnreadableControls(QWidget* window)
{
    std::string bad;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || PartOfAView(w)) continue;
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSlider*>(w) ||
                             qobject_cast<QProgressBar*>(w) ||
                             qobject_cast<QAbstractItemView*>(w);
        const std::string name = AccessibleName(w), code = w->objectName().toStdString();
        if (auto* l = qobject_cast<QLabel*>(w)) {
            if (!l->text().isEmpty() && name != platform::VisibleCaption(l->text()).toStdString())
                bad += code + " reads \"" + name + "\"\n";
        } else if (control && (name.empty() || name == code)) {
            bad += code + " reads \"" + name + "\"\n";
        } else if (auto* b = qobject_cast<QAbstractButton*>(w);
                   b && !b->text().isEmpty() && name != platform::VisibleCaption(b->text()).toStdString()) {
            bad += code + " reads \"" + name + "\"\n";
        }
    }
    return bad;
}

// Hidden within its own page: a widget merely on a page not shown (a tab of
// a tab widget) is shown with its page.
inline bool HiddenOnItsPage(const QWidget* w, const QWidget* window)
{
    const QWidget* page = window;
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<const QStackedWidget*>(p->parentWidget())) {
            page = p;
            break;
        }
    return !w->isVisibleTo(page);
}

// Elements of the accessibility tree of `window` that expose a code name: a
// name equal to the object name of their widget, or any name on a hidden
// element that shows nothing of its own (a picture buffer that only loads
// files; not one merely on a page not shown); "" when there are none.
inline std::string CodeNamedElements(QWidget* window)
{
    std::string bad;
    std::vector<QAccessibleInterface*> todo{QAccessible::queryAccessibleInterface(window)};
    while (!todo.empty()) {
        QAccessibleInterface* a = todo.back();
        todo.pop_back();
        if (!a) continue;
        for (int i = 0; i < a->childCount(); ++i) todo.push_back(a->child(i));
        auto* w = qobject_cast<QWidget*>(a->object());
        if (!w || w == window) continue;
        const std::string name = a->text(QAccessible::Name).toStdString();
        const std::string code = w->objectName().toStdString();
        const bool ownText = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w) ||
                             qobject_cast<QGroupBox*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSlider*>(w) ||
                             qobject_cast<QProgressBar*>(w) || qobject_cast<QAbstractItemView*>(w);
        if (!name.empty() && name == code) bad += code + " is named by its code name\n";
        else if (!name.empty() && a->state().invisible && !ownText && HiddenOnItsPage(w, window))
            bad += code + " is hidden but named \"" + name + "\"\n";
    }
    return bad;
}

// The keyboard mnemonics of the captions shown together in `window`. Every
// button with a caption and every titled group box must have one; a label
// captioning a box (its buddy takes the focus) may have one. Reports the
// captions without one and the mnemonics used twice; "" when each has its
// own. A tab page not shown is not checked: show each page in turn. With
// `everyMode` the hidden controls count as well (a window whose modes show
// different buttons), and controls with the same caption may share a key.
inline std::string MnemonicFaults(QWidget* window, bool everyMode = false)
{
    std::string bad;
    std::map<int, std::string> used;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->window() != window || (!everyMode && !w->isVisibleTo(window))) continue;
        QString caption;
        bool required = true;
        if (auto* b = qobject_cast<QAbstractButton*>(w)) caption = b->text();
        else if (auto* g = qobject_cast<QGroupBox*>(w)) caption = g->title();
        else if (auto* l = qobject_cast<QLabel*>(w); l && l->buddy() && l->buddy()->focusPolicy() != Qt::NoFocus)
            caption = l->text(), required = false;
        if (caption.trimmed().isEmpty()) continue;
        const std::string shown = platform::VisibleCaption(caption).toStdString();
        const QKeySequence key = QKeySequence::mnemonic(caption);
        if (key.isEmpty()) {
            if (required) bad += "\"" + shown + "\" has no mnemonic\n";
            continue;
        }
        auto [it, fresh] = used.emplace(key[0].toCombined(), shown);
        if (!fresh && !(everyMode && it->second == shown)) bad += "\"" + shown + "\" and \"" + it->second + "\" share " + key.toString().toStdString() + "\n";
    }
    return bad;
}

// The texts `window` shows: its title, the captions of its labels, buttons,
// group boxes and tabs, as a user reads them (no mnemonic marker, trimmed,
// without a closing colon).
inline std::vector<std::string> ShownTexts(QWidget* window)
{
    auto clean = [](const QString& t) {
        QString v = platform::VisibleCaption(t);
        if (v.endsWith(':')) v.chop(1);
        return v.trimmed().toStdString();
    };
    std::vector<std::string> texts{clean(window->windowTitle())};
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window)) continue;
        if (auto* l = qobject_cast<QLabel*>(w)) texts.push_back(clean(l->text()));
        else if (auto* b = qobject_cast<QAbstractButton*>(w)) texts.push_back(clean(b->text()));
        else if (auto* g = qobject_cast<QGroupBox*>(w)) texts.push_back(clean(g->title()));
        else if (auto* t = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < t->count(); ++i) texts.push_back(clean(t->tabText(i)));
    }
    return texts;
}

// What assistive technology finds wrong in `window`, one line each; "" when
// nothing: an interactive element without a name or named by no text the
// window shows (UnreadableControls, CodeNamedElements besides), an element
// inside the window that reports a window's role (a picture read as a
// frame), a picture view not read as an image, and a box whose caption is
// not tied to it (the box reads no caption, or another one than its name).
inline std::string AccessibilityFaults(QWidget* window)
{
    std::string bad = UnreadableControls(window) + CodeNamedElements(window);
    const std::vector<std::string> shown = ShownTexts(window);
    auto isShown = [&](const std::string& name) {
        std::string n = name;
        if (!n.empty() && n.back() == ':') n.pop_back();
        for (const std::string& t : shown)
            if (t == n) return true;
        return false;
    };
    if (AccessibleName(window).empty()) bad += "the window has no name\n";
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->window() != window) continue;
        const std::string code = w->objectName().toStdString();
        const QAccessible::Role role = AccessibleRole(w);
        // Every stop of the keyboard says what it is.
        if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && AccessibleName(w).empty() &&
            !qobject_cast<QComboBox*>(w) && !qobject_cast<QComboBox*>(w->parentWidget()))
            bad += code + " takes the keyboard but has no name\n";
        if (role == QAccessible::Window || role == QAccessible::Dialog)
            bad += code + " reports a window's role inside the window\n";
        if (QString(w->metaObject()->className()) == "platform::PictureBuffer" && role != QAccessible::Graphic)
            bad += code + " is a picture not read as an image\n";
        const bool box = qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                         qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QAbstractSlider*>(w) ||
                         qobject_cast<QAbstractItemView*>(w) || qobject_cast<QProgressBar*>(w);
        if (!box || qobject_cast<QComboBox*>(w->parentWidget()) || w->inherits("QComboBoxListView")) continue;
        // An editable combo box's own line edit belongs to the combo box.
        if (qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget())) continue;
        const std::string caption = LabelledBy(w);
        // A list box reads its choice as its name: its caption names it.
        const bool choice = qobject_cast<QComboBox*>(w) != nullptr;
        const std::string name = choice && !caption.empty() ? caption : AccessibleName(w);
        if (name.empty()) continue;   // reported by UnreadableControls
        std::string cleanCaption = caption;
        if (!cleanCaption.empty() && cleanCaption.back() == ':') cleanCaption.pop_back();
        std::string cleanName = name;
        if (!cleanName.empty() && cleanName.back() == ':') cleanName.pop_back();
        // A bar's caption shows its value after its name ("Center X  40").
        const bool valued = qobject_cast<QAbstractSlider*>(w) && cleanCaption.rfind(cleanName + " ", 0) == 0;
        if (!isShown(name) && !valued && !(choice && caption.empty()))
            bad += code + " is named \"" + name + "\", a text the window does not show\n";
        if (!caption.empty() && cleanCaption != cleanName && !valued)
            bad += code + " \"" + name + "\" reads the caption \"" + caption + "\"\n";
        if (caption.empty())
            for (QLabel* l : window->findChildren<QLabel*>())
                if (l->isVisibleTo(window) && !l->buddy() && l != w &&
                    platform::VisibleCaption(l->text()).toStdString() == cleanName) {
                    bad += code + " \"" + name + "\" is not tied to its caption\n";
                    break;
                }
    }
    return bad;
}

// The pop-up menu open now as assistive technology reads it (its
// interface, as the menu announces itself on opening): the names of its
// items in order ("" for a separator). Empty when no pop-up menu is open or
// it is not read as a pop-up menu.
inline std::vector<std::string> OpenPopupMenuItems()
{
    std::vector<std::string> items;
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(QApplication::activePopupWidget());
    if (!menu || menu->role() != QAccessible::PopupMenu || menu->state().invisible) return items;
    for (int k = 0; k < menu->childCount(); ++k)
        if (QAccessibleInterface* item = menu->child(k))
            items.push_back(item->role() == QAccessible::Separator ? std::string()
                                                                   : item->text(QAccessible::Name).toStdString());
    return items;
}

// Lets events run until `done` holds (a mnemonic clicks its button after
// showing it pressed for a moment, however busy the machine); gives up only
// at the guard that ends a hung test.
template <typename Done>
bool WaitUntil(Done done)
{
    const QDeadlineTimer guard(kHangMs);
    while (!done() && !guard.hasExpired()) QTest::qWait(10);
    return done();
}

} // namespace testsupport
