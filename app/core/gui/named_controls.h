#pragma once
// Small builders for the controls of the program's windows: each control gets
// the object name its window and tests look it up by, and boxes without a
// caption get the accessible name of the label beside them.
#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace gui {

// A captioned control (label, button, check box, ...) named `name`.
template <typename W>
W* Make(QWidget* parent, const char* name, const QString& text)
{
    auto* w = new W(text, parent);
    w->setObjectName(name);
    return w;
}

inline QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& accessible)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(accessible);
    return e;
}

inline QComboBox* MakeCombo(QWidget* parent, const char* name, const QStringList& items, const QString& accessible)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setAccessibleName(accessible);
    c->addItems(items);
    return c;
}

} // namespace gui
