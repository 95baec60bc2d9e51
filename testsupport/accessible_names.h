#pragma once
// What assistive technology reads from a window: the accessible name of each
// control shown, as the accessibility interface reports it.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QWidget>

#include <string>
#include <vector>

namespace testsupport {

inline std::string AccessibleName(QWidget* w)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name).toStdString() : std::string();
}

// The controls shown in `window` whose name is empty or is their code name,
// and the labels whose name is not the text they show; "" when all are readable.
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
            if (!l->text().isEmpty() && name != l->text().toStdString()) bad += code + " reads \"" + name + "\"\n";
        } else if (control && (name.empty() || name == code)) {
            bad += code + " reads \"" + name + "\"\n";
        }
    }
    return bad;
}

} // namespace testsupport
