// The virtual X server and openbox of desktop_session.h.
#include "testsupport/desktop_session.h"

#include <cerrno>
#include <fcntl.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace testsupport {
namespace {

// Generous guards: they only turn a server that never comes up into a
// failure; a healthy start answers in well under a second.
constexpr int kStartGuardMs = 60000;

bool OnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return false;
}

// Starts `argv` in a child that ends with this process. `keepFd` stays open
// in the child (the server's display pipe); the child's output is dropped.
pid_t Spawn(const std::vector<std::string>& argv, int keepFd = -1)
{
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);   // the parent already ended
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    for (int fd = 3; fd < 256; ++fd)
        if (fd != keepFd) ::close(fd);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

} // namespace

DesktopSession::DesktopSession(int width, int height)
{
    if (!OnPath("Xvfb")) {
        why_ = "Xvfb is not installed (tools/install-deps.sh installs it)";
        return;
    }
    if (!OnPath("openbox")) {
        why_ = "openbox is not installed (tools/install-deps.sh installs it)";
        return;
    }
    if (!OnPath("xdotool")) {
        why_ = "xdotool is not installed (tools/install-deps.sh installs it)";
        return;
    }
    char scratch[] = "/tmp/sorv_desktop_XXXXXX";
    if (!::mkdtemp(scratch)) {
        why_ = "no scratch folder";
        return;
    }
    folder_ = scratch;
    fs::create_directories(folder_ + "/home");
    fs::create_directories(folder_ + "/run");
    ::chmod((folder_ + "/run").c_str(), 0700);
    ::setenv("HOME", (folder_ + "/home").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (folder_ + "/run").c_str(), 1);
    ::setenv("SORVANTA_CLASS_REGISTRY", (folder_ + "/classes.reg").c_str(), 1);
    ::unsetenv("WAYLAND_DISPLAY");
    if (!StartServer(width, height) || !StartWindowManager()) return;
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ok_ = true;
}

DesktopSession::~DesktopSession()
{
    // The window manager goes first; the server follows when this program
    // ends and closes its own connection (started with -terminate).
    if (manager_ > 0) {
        ::kill(manager_, SIGTERM);
        ::waitpid(manager_, nullptr, 0);
    }
    std::error_code ec;
    if (!folder_.empty()) fs::remove_all(folder_, ec);
}

bool DesktopSession::StartServer(int width, int height)
{
    int fds[2];
    if (::pipe(fds) != 0) {
        why_ = "no pipe for the display number";
        return false;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    server_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen, "-dpi", "96", "-nolisten",
                     "tcp", "-terminate"},
                    fds[1]);
    ::close(fds[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    for (;;) {
        if (::poll(&p, 1, kStartGuardMs) <= 0) break;
        char c = 0;
        const ssize_t n = ::read(fds[0], &c, 1);
        if (n <= 0 || c == '\n') break;
        number += c;
    }
    ::close(fds[0]);
    if (number.empty()) {
        why_ = "Xvfb did not start";
        return false;
    }
    display_ = ":" + number;
    ::setenv("DISPLAY", display_.c_str(), 1);
    return true;
}

bool DesktopSession::StartWindowManager()
{
    // openbox runs its start-up command once it manages the screen.
    const std::string ready = folder_ + "/openbox-ready";
    manager_ = Spawn({"openbox", "--sm-disable", "--startup", "touch " + ready});
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartGuardMs);
    while (!fs::exists(ready)) {
        int status = 0;
        if (::waitpid(manager_, &status, WNOHANG) == manager_ || std::chrono::steady_clock::now() > until) {
            why_ = "openbox did not start on " + display_;
            manager_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace testsupport
