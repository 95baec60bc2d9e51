#pragma once
// What the desktop tests (desktop_session.h) ask of a window placed by the
// window manager, and the real input they give it through xdotool. Header
// only, like offscreen_app.h, so the testsupport library stays free of Qt.
#include "testsupport/testsupport.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <string>

namespace testsupport {

// "frame 0,0 1024x768, client 1024x749, maximised" for failure messages.
inline std::string Placement(const QWidget& w)
{
    const QRect f = w.frameGeometry(), g = w.geometry();
    return "frame " + std::to_string(f.x()) + "," + std::to_string(f.y()) + " " + std::to_string(f.width()) + "x" +
           std::to_string(f.height()) + ", client " + std::to_string(g.width()) + "x" + std::to_string(g.height()) +
           (w.isMaximized() ? ", maximised" : ", not maximised") + (w.isVisible() ? "" : ", hidden");
}

// Maximised by the window manager: the frame, title bar included, fills the
// work area and the window's own area lies inside it.
inline bool PlacedByWindowManager(const QWidget& w)
{
    const QRect area = w.screen()->availableGeometry();
    return w.isVisible() && w.isMaximized() && w.frameGeometry() == area && area.contains(w.geometry()) &&
           w.geometry() != area;
}

// Ready for a real click: placed by the window manager, drawn on the server
// (exposed) and the window the keyboard and pointer go to (active). A click
// given before the server has shown the window lands on what lay there.
inline bool ReadyForInput(const QWidget& w)
{
    return PlacedByWindowManager(w) && w.windowHandle() && w.windowHandle()->isExposed() && w.isActiveWindow();
}

// The state the window manager has set on the window on the X server, as
// xprop reads it: "withdrawn" (unmapped, or never managed), "iconic" or
// "normal", then " maximised" when both maximised states are set.
inline std::string ManagerState(const QWidget& w)
{
    const std::string said =
        Shell("xprop -id " + std::to_string(w.winId()) + " WM_STATE _NET_WM_STATE 2>/dev/null");
    std::string state = said.find("window state: Iconic") != std::string::npos   ? "iconic"
                        : said.find("window state: Normal") != std::string::npos ? "normal"
                                                                                 : "withdrawn";
    if (said.find("_NET_WM_STATE_MAXIMIZED_VERT") != std::string::npos &&
        said.find("_NET_WM_STATE_MAXIMIZED_HORZ") != std::string::npos)
        state += " maximised";
    return state;
}

// Waits until the window manager reports `state` (ManagerState) and the
// window has taken it in: a step that changes a window through the manager
// (hide, minimise, restore) is over only then, never after a fixed number of
// event rounds; the manager may apply it after the program's next request.
inline bool WaitForManager(const QWidget& w, const std::string& state)
{
    const auto takenIn = [&] {
        if (state == "withdrawn") return !w.isVisible();
        if (state == "iconic") return w.isMinimized();
        return !w.isMinimized() && w.isMaximized() == (state == "normal maximised");
    };
    // A hidden or minimised window may keep its maximised state for later.
    const auto says = [&] {
        const std::string now = ManagerState(w);
        return state.rfind("normal", 0) == 0 ? now == state : now.rfind(state, 0) == 0;
    };
    const QDeadlineTimer guard(kHangMs);
    while (!(says() && takenIn()) && !guard.hasExpired()) QTest::qWait(10);
    return says() && takenIn();
}

// The whole of `control` lies on the screen, inside its window's own area.
inline bool WhollyShown(const QWidget& control)
{
    const QRect on(control.mapToGlobal(QPoint(0, 0)), control.size());
    const QWidget* w = control.window();
    return control.isVisible() && w->screen()->geometry().contains(on) && w->geometry().contains(on);
}

// Real key presses: the window is made active through the window manager and
// xdotool types `keys` ("alt+r", "Escape", "shift+F10") on the X server.
inline void TypeInto(const QWidget& window, const std::string& keys)
{
    Shell("xdotool windowactivate --sync " + std::to_string(window.winId()) + " key " + keys);
}

// Real key presses to whatever holds the keyboard now (an open pop-up menu).
inline void Type(const std::string& keys) { Shell("xdotool key " + keys); }

// A real click of the left button at `at` (global screen pixels);
// `clicks` 2 gives a double click.
inline void ClickAt(QPoint at, int clicks = 1)
{
    Shell("xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click --repeat " +
          std::to_string(clicks) + " 1");
}

// The centre of `control` on the screen.
inline QPoint CentreOf(const QWidget& control) { return control.mapToGlobal(control.rect().center()); }

} // namespace testsupport
