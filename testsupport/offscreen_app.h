#pragma once
// The one QApplication of a widget test program, on the offscreen platform
// unless another one is chosen. Header only, so the testsupport library itself
// stays free of Qt (the image-kernel builds use it without Qt).
#include <QApplication>

namespace testsupport {

inline QApplication& OffscreenApp()
{
    static int argc = 1;
    static char name[] = "sorvanta_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return existing;
        if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

} // namespace testsupport
