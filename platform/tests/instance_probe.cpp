// Test program for the single-instance hand-over: started twice by the tests.
//   instance_probe <folder> <log file> [command line]
// A folder "-" stands for the user's own instance folder of the environment.
// The first instance prints "FIRST" and logs every hand-over it receives as
// "<action> <text>" (the text "quit" ends it). A later instance hands its
// command line over, prints "HANDED" and exits 0, or prints "ALONE" and exits
// 3 when no running instance answered.
#include "platform/handover.h"
#include "platform/singleinstance.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <cstdio>

namespace {

struct LoggingTarget : platform::HandoverTarget {
    QString log;
    void write(const QString& line)
    {
        // Take a moment first, so that a sender that did not wait would be
        // seen gone before the line is there.
        QThread::msleep(300);
        QFile f(log);
        if (f.open(QIODevice::Append | QIODevice::Text)) f.write((line + "\n").toUtf8());
    }
    bool UnitsDialogPending() const override { return false; }
    void SetPendingFile(const std::string& p) override { write("pending " + QString::fromStdString(p)); }
    void ForgetMask() override {}
    void LoadPhaseImage(const std::string& p) override { write("open " + QString::fromStdString(p)); }
    void ClearCurrentImage() override { write("clear"); }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) return 2;
    QString folder = QString::fromLocal8Bit(argv[1]);
    if (folder == "-") folder.clear();
    LoggingTarget target;
    target.log = QString::fromLocal8Bit(argv[2]);
    const QString commandLine = argc > 3 ? QString::fromUtf8(argv[3]) : QString();

    platform::SingleInstance instance("SorvantaProbe", folder);
    if (instance.isFirstInstance()) {
        if (!instance.listen()) return 4;
        instance.setHandler([&](const QString& text) {
            if (text == "quit") {
                app.quit();
                return;
            }
            if (platform::HandleHandover(text.toStdString(), target) == platform::HandoverAction::Ignored)
                target.write("ignored " + text);
        });
        std::printf("FIRST\n");
        std::fflush(stdout);
        return app.exec();
    }
    const bool handed = platform::HandOverToRunningInstance(instance, commandLine);
    std::printf(handed ? "HANDED\n" : "ALONE\n");
    return handed ? 0 : 3;
}
