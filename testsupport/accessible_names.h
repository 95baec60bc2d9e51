#pragma once
// What assistive technology reads from a window: the accessible name of each
// control shown, as the accessibility interface reports it, the captions tied
// to values, and the keyboard mnemonics of buttons and captions.
#include "platform/accessibility.h"
#include "testsupport/testsupport.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAccessible>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
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

// The controls shown in `window` whose name is empty or is their code name,
// the buttons whose name is not their visible caption (trimmed), and the
// labels whose name is not the text they show; "" when all are readable.
inline std::string UnreadableControls(QWidget* window)
{
    std::string bad;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window)) continue;
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

// Elements of the accessibility tree of `window` that expose a code name: a
// name equal to the object name of their widget, or any name on a hidden
// element that shows nothing of its own (a picture buffer that only loads
// files); "" when there are none.
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
        else if (!name.empty() && a->state().invisible && !ownText)
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
