#pragma once
// One QApplication for the widget tests of this folder (offscreen platform).
#include <QApplication>

namespace platformtest {

inline QApplication& App()
{
    static int argc = 1;
    static char name[] = "platform_gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

} // namespace platformtest
