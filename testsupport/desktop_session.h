#pragma once
// A desktop of its own for the tests whose faults depend on a window manager:
// a virtual X server (Xvfb) with the openbox window manager on it, and a home,
// runtime folder and class registry of the test's own. Construct it before
// the test program's QApplication: it points DISPLAY there, chooses Qt's xcb
// platform and sets HOME, XDG_RUNTIME_DIR and SORVANTA_CLASS_REGISTRY.
//
//     static testsupport::DesktopSession desktop(1024, 768);
//     if (!desktop.ok()) GTEST_SKIP() << desktop.whyNot();
//
// Both programs end with the test program (they are told to when their parent
// ends); nothing waits a fixed time: the server names its display when it is
// ready and openbox runs a start-up command once it manages the screen.
#include <string>
#include <sys/types.h>

namespace testsupport {

class DesktopSession {
public:
    // A screen of width x height pixels at 96 dots per inch.
    DesktopSession(int width, int height);
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    bool ok() const { return ok_; }
    // Why the desktop could not be made ("Xvfb is not installed", ...); the
    // tests also need xdotool, which gives them the real mouse and keys.
    const std::string& whyNot() const { return why_; }
    // ":N", the display the windows go to.
    const std::string& display() const { return display_; }
    // The scratch folder holding home/, run/ and classes.reg.
    const std::string& folder() const { return folder_; }

private:
    bool StartServer(int width, int height);
    bool StartWindowManager();

    bool ok_ = false;
    std::string why_;
    std::string display_;
    std::string folder_;
    pid_t server_ = -1;
    pid_t manager_ = -1;
};

} // namespace testsupport
