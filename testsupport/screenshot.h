#pragma once
// Shared by the screenshot harnesses of tools/screenshot-*.sh (run under
// Xvfb, not by CTest): the application on the X display, letting windows
// settle, grabbing the screen or one window to a PNG with ImageMagick's
// import, and a timeline of steps run inside the event loop. Header only, like
// offscreen_app.h, so the testsupport library itself stays free of Qt.
#include "testsupport/testsupport.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// The one QApplication of a screenshot harness. Its windows go to the X
// display the grabs read, even where QT_QPA_PLATFORM=offscreen is exported
// for the test suite: drawn offscreen, they would leave the grabbed screen
// black while every grab still reported success.
class ScreenshotApp : public QApplication {
public:
    ScreenshotApp(int& argc, char** argv) : QApplication(OnXDisplay(argc), argv) {}

private:
    static int& OnXDisplay(int& argc)
    {
        if (!qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "xcb");
        return argc;
    }
};

// Runs the event loop until `window` (else every window shown) is on the
// screen, however long the display takes to map it; a guard only ends a hang.
inline void WaitUntilShown(const QWidget* window = nullptr)
{
    const auto exposed = [](const QWidget* w) {
        const QWindow* handle = w->window()->windowHandle();
        return !w->isVisible() || (handle && handle->isExposed());
    };
    const auto shown = [&] {
        if (window) return exposed(window);
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (!exposed(w)) return false;
        return true;
    };
    const QDeadlineTimer guard(kHangMs);
    while (!shown() && !guard.hasExpired()) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

// Waits until the windows are on the screen, then runs the event loop for
// `ms` milliseconds more so that they are laid out and painted before a grab.
inline void Settle(int ms = 400)
{
    WaitUntilShown();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents();
        QThread::msleep(20);
    }
}

// Writes the whole screen, or only `window`, to `png` with ImageMagick's
// import and says so on standard output ("wrote" or "FAILED" and the path).
inline bool GrabScreen(const std::string& png, const QWidget* window = nullptr)
{
    const QString target = window ? QString::number(window->winId()) : QStringLiteral("root");
    QProcess import;
    import.start(QStringLiteral("import"), {QStringLiteral("-window"), target, QString::fromStdString(png)});
    const bool ok = import.waitForFinished(kHangMs) && import.exitStatus() == QProcess::NormalExit &&
                    import.exitCode() == 0;
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", png.c_str());
    std::fflush(stdout);
    return ok;
}

// Lets the windows settle, then grabs as GrabScreen does.
inline bool SettleAndGrab(const std::string& png, const QWidget* window = nullptr)
{
    Settle();
    return GrabScreen(png, window);
}

// Steps (actions and grabs) run one after another inside the event loop, each
// a set time after the one before. The next step is timed from the start of
// the current one, so a step that waits in a modal dialog does not hold up
// the grabs after it. Run() leaves the loop with QCoreApplication::exit(), not
// quit(): in Qt 6 quit() first closes every window, and a window that asks
// before it closes would wait for an answer nobody gives.
class ScreenshotTimeline {
public:
    ScreenshotTimeline& then(int delayMs, std::function<void()> action)
    {
        steps_.push_back({delayMs, {}, std::move(action)});
        return *this;
    }
    // A grab waits, past its delay, until its window (else every window
    // shown) is on the screen; the next step is timed from then.
    ScreenshotTimeline& grab(int delayMs, const std::string& png, std::function<const QWidget*()> window = {})
    {
        steps_.push_back({delayMs, [window] { WaitUntilShown(window ? window() : nullptr); },
                          [this, png, window] { ok_ = GrabScreen(png, window ? window() : nullptr) && ok_; }});
        return *this;
    }

    // Runs the event loop until the last step is done, or until `limitMs`, a
    // guard that only ends a harness whose step hangs; 0 when every grab was
    // written.
    int run(int limitMs = kHangMs)
    {
        if (steps_.empty()) return 0;
        QTimer::singleShot(limitMs, &context_, [this] {
            timedOut_ = true;
            std::fprintf(stderr, "screenshot: steps not done in time\n");
            QCoreApplication::exit(1);
        });
        schedule(0);
        QApplication::exec();
        return ok_ && !timedOut_ ? 0 : 1;
    }

private:
    struct Step {
        int delayMs;
        std::function<void()> ready;   // waits for what the action needs, or empty
        std::function<void()> action;
    };

    void schedule(size_t i)
    {
        QTimer::singleShot(steps_[i].delayMs, &context_, [this, i] {
            if (steps_[i].ready) steps_[i].ready();
            if (i + 1 < steps_.size()) schedule(i + 1);
            steps_[i].action();
            if (i + 1 == steps_.size()) QCoreApplication::exit(0);
        });
    }

    QObject context_;   // pending steps end with the timeline
    std::vector<Step> steps_;
    bool ok_ = true;
    bool timedOut_ = false;
};

} // namespace testsupport
