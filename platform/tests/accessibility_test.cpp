// Window roles and caption texts as assistive technology reads them.
#include "platform/accessibility.h"
#include "testsupport/offscreen_app.h"

#include <QAccessible>
#include <QDialog>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

QAccessible::Role RoleOf(QWidget* w)
{
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->role() : QAccessible::NoRole;
}

TEST(Accessibility, TopLevelWindowsAreFramesAndDialogs)
{
    testsupport::OffscreenApp();
    platform::InstallAccessibility();
    platform::InstallAccessibility();   // a second call changes nothing

    QWidget frame;
    frame.setWindowTitle("Sorvanta Phase Image Display");
    auto* child = new QWidget(&frame);
    auto* button = new QPushButton("OK", &frame);
    QWidget dialogType(nullptr, Qt::Dialog);
    QWidget modal;
    modal.setWindowModality(Qt::ApplicationModal);
    QDialog dialog;

    EXPECT_EQ(QAccessible::Window, RoleOf(&frame));
    EXPECT_EQ(QAccessible::Dialog, RoleOf(&dialogType));
    EXPECT_EQ(QAccessible::Dialog, RoleOf(&modal));
    EXPECT_EQ(QAccessible::Dialog, RoleOf(&dialog));
    // Controls and plain child widgets keep Qt's roles.
    EXPECT_EQ(QAccessible::Client, RoleOf(child));
    EXPECT_EQ(QAccessible::Button, RoleOf(button));
    // The window's name is its title.
    EXPECT_EQ("Sorvanta Phase Image Display",
              QAccessible::queryAccessibleInterface(&frame)->text(QAccessible::Name).toStdString());
}

TEST(Accessibility, VisibleCaptionDropsMnemonicMarkersAndBlanks)
{
    const struct {
        const char* caption;
        const char* shown;
    } cases[] = {
        {"&Calculate Displacement ", "Calculate Displacement"},
        {"Displacement &Calculated ", "Displacement Calculated"},
        {"Save && Close", "Save & Close"},
        {"  Plain  ", "Plain"},
        {"Trailing &", "Trailing"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.shown, platform::VisibleCaption(c.caption).toStdString()) << c.caption;
}

} // namespace
