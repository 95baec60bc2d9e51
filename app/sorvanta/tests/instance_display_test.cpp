// The program started by one user on two X displays: each start shows its own
// window, and a further start on one of the displays hands over to the
// instance there. Runs on two virtual X servers; skipped where none can run.
#include "testsupport/testsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

const QString kProgram = QString(SORVANTA_BIN_DIR) + "/Sorvanta";

// A virtual X server on a free display; empty display when it cannot start.
struct VirtualDisplay {
    QProcess server;
    QString display;

    VirtualDisplay()
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty()) return;
        // The server picks a free display number and writes it to standard
        // output. It never resets: by default a server resets when its last
        // client leaves and refuses a client that comes meanwhile, so a
        // program starting while xwininfo ends could find no display.
        server.start(xvfb, {"-displayfd", "1", "-noreset", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        if (!server.waitForStarted(testsupport::kHangMs)) return;
        while (server.state() == QProcess::Running && !server.canReadLine()) server.waitForReadyRead(500);
        const QByteArray number = server.readLine().trimmed();
        if (!number.isEmpty()) display = ":" + QString::fromLatin1(number);
    }
    ~VirtualDisplay()
    {
        server.terminate();
        if (!server.waitForFinished(10000)) server.kill();
        server.waitForFinished(5000);
    }

    // What the server said on standard error.
    std::string Said() { return server.readAllStandardError().toStdString(); }

    // The titles of the windows on the display.
    QString Windows() const
    {
        QProcess info;
        info.start("xwininfo", {"-display", display, "-root", "-tree"});
        if (!info.waitForFinished(testsupport::kHangMs)) return "xwininfo did not end";
        return QString::fromLocal8Bit(info.readAllStandardOutput());
    }

    // Waits until one of the program's windows is on the display, looking
    // again while the program runs; false when it ended first (the guard only
    // ends a hang).
    bool ShowsProgramWindow(QProcess& program) const
    {
        const QDeadlineTimer guard(testsupport::kHangMs);
        while (!guard.hasExpired()) {
            const QString titles = Windows();
            if (titles.contains("\"Display Configuration Warning\"") || titles.contains("\"Sorvanta Setup\""))
                return true;
            if (program.state() != QProcess::Running || program.waitForFinished(100)) return false;
        }
        return false;
    }
};

// A start of the program, ended with the test.
struct Program : QProcess {
    Program(const QProcessEnvironment& env)
    {
        setProcessEnvironment(env);
        start(kProgram, {});
        waitForStarted(testsupport::kHangMs);
    }
    // What the program said on standard error, and how it ended if it did.
    std::string Said()
    {
        std::string said = readAllStandardError().toStdString();
        if (state() == QProcess::NotRunning)
            said += exitStatus() == QProcess::NormalExit ? "\nended with status " + std::to_string(exitCode())
                                                         : "\nended by a signal";
        return said;
    }
    ~Program() override
    {
        if (state() == QProcess::NotRunning) return;
        terminate();
        if (!waitForFinished(10000)) kill();
        waitForFinished(5000);
    }
};

} // namespace

TEST(InstancePerDisplay, TwoDisplaysOfOneUserEachKeepTheirOwnWindow)
{
    int argc = 1;
    char name[] = "t";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    if (QStandardPaths::findExecutable("xwininfo").isEmpty()) GTEST_SKIP() << "xwininfo is not installed";
    VirtualDisplay a, b;
    if (a.display.isEmpty() || b.display.isEmpty()) GTEST_SKIP() << "no virtual X server";
    ASSERT_NE(a.display, b.display);

    // One user: one home, one runtime folder, one class registry.
    testsupport::TempDir dir("displays");
    std::filesystem::create_directories(dir.file("home"));
    std::filesystem::create_directories(dir.file("run"));
    ::chmod(dir.file("run").c_str(), 0700);
    auto environment = [&](const QString& display, const QString& platform) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("WAYLAND_DISPLAY");
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", platform);
        env.insert("HOME", QString::fromStdString(dir.file("home")));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.file("run")));
        env.insert("SORVANTA_CLASS_REGISTRY", QString::fromStdString(dir.file("classes.reg")));
        return env;
    };

    Program onA(environment(a.display, "xcb"));
    ASSERT_TRUE(a.ShowsProgramWindow(onA)) << a.Windows().toStdString() << onA.Said() << a.Said();
    Program onB(environment(b.display, "xcb"));
    EXPECT_TRUE(b.ShowsProgramWindow(onB)) << b.Windows().toStdString() << onB.Said() << b.Said(); // not handed to the one on A
    EXPECT_EQ(QProcess::Running, onB.state());

    // A further start on display A hands over to the instance there and ends.
    Program again(environment(a.display, "xcb"));
    EXPECT_TRUE(again.waitForFinished(testsupport::kHangMs));
    EXPECT_EQ(QProcess::NormalExit, again.exitStatus()) << again.readAllStandardError().toStdString();
    EXPECT_EQ(0, again.exitCode()) << again.readAllStandardError().toStdString();
    EXPECT_EQ(QProcess::Running, onA.state());
    EXPECT_EQ(QProcess::Running, onB.state());
}
