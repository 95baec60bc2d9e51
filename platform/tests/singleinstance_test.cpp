#include "platform/singleinstance.h"

#include "testsupport/testsupport.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const QString kProbe = QString(SORVANTA_BIN_DIR) + "/instance_probe";

// Starts a first instance and waits until it listens.
bool StartFirst(QProcess& p, const testsupport::TempDir& dir, const std::string& log)
{
    p.start(kProbe, {QString::fromStdString(dir.path().string()), QString::fromStdString(log)});
    if (!p.waitForStarted(10000)) return false;
    while (p.state() == QProcess::Running && !p.canReadLine()) p.waitForReadyRead(200);
    return p.readLine().trimmed() == "FIRST";
}

int RunSecond(const testsupport::TempDir& dir, const std::string& log, const QString& commandLine, QByteArray* out,
              QByteArray* err = nullptr)
{
    QProcess p;
    p.start(kProbe, {QString::fromStdString(dir.path().string()), QString::fromStdString(log), commandLine});
    p.waitForFinished(60000);
    *out = p.readAllStandardOutput();
    if (err) *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void Quit(QProcess& first, const testsupport::TempDir& dir, const std::string& log)
{
    QByteArray out;
    RunSecond(dir, log, "quit", &out);
    if (!first.waitForFinished(20000)) first.kill();
    first.waitForFinished(5000);
}

} // namespace

TEST(SingleInstance, SecondInstanceHandsItsPathToTheFirstAndExits)
{
    testsupport::TempDir dir("inst");
    const std::string log = dir.file("received.txt");
    QProcess first;
    ASSERT_TRUE(StartFirst(first, dir, log));

    QByteArray out, err;
    EXPECT_EQ(RunSecond(dir, log, "/data/Run 7/part_PH.TIF", &out, &err), 0);
    EXPECT_EQ(out.trimmed(), "HANDED");
    EXPECT_FALSE(err.contains("Invalid file format.")) << err.toStdString(); // the receiver opens it
    // The sender returned only after the first instance had dealt with it.
    EXPECT_EQ(testsupport::ReadText(log), "open /data/Run 7/part_PH.TIF\n");

    // Text beyond Latin-1, an image-clearing name and an empty command line.
    EXPECT_EQ(RunSecond(dir, log, QString::fromUtf8("/data/m\u00e9sure_\u4e2d_ph.tif"), &out), 0);
    EXPECT_EQ(RunSecond(dir, log, "/data/partNoPhase.tif", &out), 0);
    EXPECT_EQ(RunSecond(dir, log, "", &out), 0);
    // A name the program does not open is sent all the same, and the sender says so.
    EXPECT_EQ(RunSecond(dir, log, "/data/photo.bmp", &out, &err), 0);
    EXPECT_TRUE(err.contains("Open Phase Image: The file cannot be opened.")) << err.toStdString();
    EXPECT_EQ(testsupport::ReadText(log), "open /data/Run 7/part_PH.TIF\n"
                                          "open /data/m\u00e9sure_\u4e2d_ph.tif\n"
                                          "clear\n"
                                          "ignored \n"
                                          "ignored /data/photo.bmp\n");
    EXPECT_EQ(first.state(), QProcess::Running);
    Quit(first, dir, log);
    EXPECT_EQ(first.exitCode(), 0);
}

TEST(SingleInstance, AStaleLockFromAKilledInstanceDoesNotBlockTheNextStart)
{
    testsupport::TempDir dir("stale");
    const std::string log = dir.file("received.txt");
    {
        QProcess crashed;
        ASSERT_TRUE(StartFirst(crashed, dir, log));
        crashed.kill(); // SIGKILL: lock file and socket file stay behind
        crashed.waitForFinished(5000);
    }
    bool leftovers = false;
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        leftovers = leftovers || e.path().extension() == ".lock";
    EXPECT_TRUE(leftovers);

    // The next start becomes the first instance and takes hand-overs as usual.
    QByteArray out;
    QProcess next;
    ASSERT_TRUE(StartFirst(next, dir, log));
    EXPECT_EQ(RunSecond(dir, log, "/x/a_ph.tif", &out), 0);
    EXPECT_EQ(testsupport::ReadText(log), "open /x/a_ph.tif\n");
    Quit(next, dir, log);
}

TEST(SingleInstance, WithoutARunningInstanceTheSenderReportsFailure)
{
    int argc = 1;
    char name[] = "t";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    testsupport::TempDir dir("none");
    platform::SingleInstance a("SorvantaUnit", QString::fromStdString(dir.path().string()));
    EXPECT_FALSE(a.sendCommandLine("/x/a_ph.tif", 2000));
    ASSERT_TRUE(a.isFirstInstance());
    platform::SingleInstance b("SorvantaUnit", QString::fromStdString(dir.path().string()));
    EXPECT_FALSE(b.isFirstInstance()); // the lock is held by a live process (us)
    // Holding the lock but not listening: nobody answers, the caller goes on alone.
    EXPECT_FALSE(b.sendCommandLine("/x/a_ph.tif", 2000));
}
