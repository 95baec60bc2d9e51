#include "platform/singleinstance.h"

#include "testsupport/testsupport.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kProbe = QString(SORVANTA_BIN_DIR) + "/instance_probe";

// Starts a first instance and waits until it listens.
bool StartFirst(QProcess& p, const testsupport::TempDir& dir, const std::string& log)
{
    p.start(kProbe, {QString::fromStdString(dir.path().string()), QString::fromStdString(log)});
    if (!p.waitForStarted(testsupport::kHangMs)) return false;
    while (p.state() == QProcess::Running && !p.canReadLine()) p.waitForReadyRead(200);
    return p.readLine().trimmed() == "FIRST";
}

// The exit status of a later instance, once it has ended; -1 when it did
// not end normally (or only the guard against a hang ended the wait).
int RunSecond(const testsupport::TempDir& dir, const std::string& log, const QString& commandLine, QByteArray* out,
              QByteArray* err = nullptr)
{
    QProcess p;
    p.start(kProbe, {QString::fromStdString(dir.path().string()), QString::fromStdString(log), commandLine});
    const bool ended = p.waitForFinished(testsupport::kHangMs);
    *out = p.readAllStandardOutput();
    if (err) *err = p.readAllStandardError();
    return ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The environment of one start on `display` with its own HOME (and
// XDG_RUNTIME_DIR when `runtime` is not empty).
QProcessEnvironment DisplayEnvironment(const QString& display, const QString& home, const QString& runtime)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("WAYLAND_DISPLAY");
    env.remove("XDG_CACHE_HOME");
    env.insert("DISPLAY", display);
    env.insert("HOME", home);
    if (runtime.isEmpty()) env.remove("XDG_RUNTIME_DIR");
    else env.insert("XDG_RUNTIME_DIR", runtime);
    return env;
}

int ModeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void Quit(QProcess& first, const testsupport::TempDir& dir, const std::string& log)
{
    QByteArray out;
    EXPECT_EQ(RunSecond(dir, log, "quit", &out), 0);
    EXPECT_TRUE(first.waitForFinished(testsupport::kHangMs));
    if (first.state() != QProcess::NotRunning) first.kill();
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
        ASSERT_TRUE(crashed.waitForFinished(testsupport::kHangMs));
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

TEST(SingleInstance, TheDisplayTokenNamesOneDisplay)
{
    struct Case {
        const char* wayland;
        const char* x11;
        const char* token;
    } cases[] = {
        {"", ":87", "x11:87"},
        {"", ":87.0", "x11:87"},          // a screen of display 87 is display 87
        {"", "unix:87.1", "x11:87"},      // so is its explicit local socket
        {"", ":64", "x11:64"},
        {"", "lab-4.example:10.0", "x11:lab-4.example:10"},
        {"wayland-1", ":0", "wayland:wayland-1"}, // the session's own socket wins over Xwayland
        {"/run/user/7/wayland-0", "", "wayland:%2Frun%2Fuser%2F7%2Fwayland-0"},
        {"", "", "nodisplay"},
        {"", "odd name", "x11:odd%20name"},
        {"\u00e9cran-1", "", "wayland:%C3%A9cran-1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::DisplayToken(c.wayland, c.x11).toStdString(), c.token) << c.wayland << " " << c.x11;

    // A long name stays short enough for a socket path and apart from its neighbours.
    const QString a = platform::DisplayToken(QString(200, 'a') + "1", "");
    const QString b = platform::DisplayToken(QString(200, 'a') + "2", "");
    EXPECT_LE(a.size(), 48);
    EXPECT_NE(a, b);
}

TEST(SingleInstance, TheInstanceFolderIsPrivateToTheUser)
{
    testsupport::TempDir dir("place");
    const QString root = QString::fromStdString(dir.path().string());
    const std::string runtime = dir.file("run");
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    QString error;

    // The user's runtime folder when it is the user's own.
    EXPECT_EQ(platform::InstanceFolder(QString::fromStdString(runtime), "", root + "/home", &error).toStdString(),
              runtime);

    // None, relative or open to others (the world or the group may write
    // there): a private folder in the user's cache, mode 0700.
    const std::string privateFolder = dir.file("home/.cache/Sorvanta-runtime");
    const std::string open = dir.file("open");
    std::filesystem::create_directories(open);
    ::chmod(open.c_str(), 01777);
    QStringList refused = {QString(), QString("run"), QString::fromStdString(open), root + "/missing"};
    const std::pair<const char*, mode_t> shares[] = {{"0770", 0770}, {"0730", 0730}, {"0720", 0720}, {"0702", 0702}};
    for (const auto& [name, mode] : shares) {
        const std::string shared = dir.file(std::string("shared") + name);
        std::filesystem::create_directories(shared);
        ::chmod(shared.c_str(), mode);
        refused << QString::fromStdString(shared);
    }
    for (const QString& r : refused) {
        EXPECT_EQ(platform::InstanceFolder(r, "", root + "/home", &error).toStdString(), privateFolder)
            << r.toStdString();
        EXPECT_EQ(ModeOf(privateFolder), 0700);
    }
    // XDG_CACHE_HOME when set.
    EXPECT_EQ(platform::InstanceFolder("", root + "/cache", root + "/home").toStdString(),
              dir.file("cache/Sorvanta-runtime"));

    // An existing folder made too open is narrowed.
    ::chmod(privateFolder.c_str(), 0755);
    EXPECT_EQ(platform::InstanceFolder("", "", root + "/home").toStdString(), privateFolder);
    EXPECT_EQ(ModeOf(privateFolder), 0700);

    // A link put in its place is refused, as is a file; no home at all too.
    const std::string linkedHome = dir.file("linked");
    std::filesystem::create_directories(linkedHome + "/.cache");
    std::filesystem::create_directory_symlink(open, linkedHome + "/.cache/Sorvanta-runtime");
    error.clear();
    EXPECT_TRUE(platform::InstanceFolder("", "", QString::fromStdString(linkedHome), &error).isEmpty());
    EXPECT_FALSE(error.isEmpty());
    const std::string fileHome = dir.file("filehome");
    std::filesystem::create_directories(fileHome + "/.cache");
    testsupport::WriteBytes(fileHome + "/.cache/Sorvanta-runtime", {'x'});
    EXPECT_TRUE(platform::InstanceFolder("", "", QString::fromStdString(fileHome)).isEmpty());
    EXPECT_TRUE(platform::InstanceFolder("", "", "").isEmpty());

    // A folder of another user is refused, be it the runtime folder or the private one.
    if (::getuid() == 0) {
        const std::string foreignHome = dir.file("foreign");
        std::filesystem::create_directories(foreignHome + "/.cache/Sorvanta-runtime");
        ::chmod((foreignHome + "/.cache/Sorvanta-runtime").c_str(), 0700);
        ASSERT_EQ(::chown((foreignHome + "/.cache/Sorvanta-runtime").c_str(), 65534, 65534), 0);
        EXPECT_TRUE(platform::InstanceFolder("", "", QString::fromStdString(foreignHome)).isEmpty());
        EXPECT_EQ(platform::InstanceFolder(QString::fromStdString(foreignHome + "/.cache/Sorvanta-runtime"), "",
                                           root + "/home")
                      .toStdString(),
                  privateFolder);
    }
}

TEST(SingleInstance, EachDisplayOfOneUserKeepsItsOwnInstance)
{
    // With and without a runtime folder of the session.
    for (const bool withRuntime : {true, false}) {
        SCOPED_TRACE(withRuntime ? "XDG_RUNTIME_DIR set" : "XDG_RUNTIME_DIR unset");
        testsupport::TempDir dir("displays");
        const QString home = QString::fromStdString(dir.file("home"));
        QString runtime;
        if (withRuntime) {
            std::filesystem::create_directories(dir.file("run"));
            ::chmod(dir.file("run").c_str(), 0700);
            runtime = QString::fromStdString(dir.file("run"));
        }
        const std::string log64 = dir.file("on64.txt"), log87 = dir.file("on87.txt");
        auto start = [&](QProcess& p, const QString& display, const std::string& log, const QString& commandLine) {
            p.setProcessEnvironment(DisplayEnvironment(display, home, runtime));
            QStringList args{"-", QString::fromStdString(log)};
            if (!commandLine.isNull()) args << commandLine;
            p.start(kProbe, args);
            return p.waitForStarted(testsupport::kHangMs);
        };
        auto firstLine = [](QProcess& p) {
            while (p.state() == QProcess::Running && !p.canReadLine()) p.waitForReadyRead(200);
            return p.readLine().trimmed();
        };

        QProcess on64, on87;
        ASSERT_TRUE(start(on64, ":64", log64, QString()));
        ASSERT_EQ(firstLine(on64), "FIRST");
        ASSERT_TRUE(start(on87, ":87.0", log87, QString()));
        ASSERT_EQ(firstLine(on87), "FIRST"); // not handed to the instance on :64

        // A second start on each display hands over to the instance of that display.
        for (const auto& [display, file] : {std::pair<QString, QString>{":64", "/x/a_ph.tif"},
                                            std::pair<QString, QString>{":87", "/x/b_ph.tif"}}) {
            QProcess second;
            ASSERT_TRUE(start(second, display, dir.file("unused.txt"), file));
            ASSERT_TRUE(second.waitForFinished(testsupport::kHangMs));
            EXPECT_EQ(second.readAllStandardOutput().trimmed(), "HANDED") << display.toStdString();
            EXPECT_EQ(second.exitCode(), 0);
        }
        EXPECT_EQ(testsupport::ReadText(log64), "open /x/a_ph.tif\n");
        EXPECT_EQ(testsupport::ReadText(log87), "open /x/b_ph.tif\n");
        if (!withRuntime) {
            EXPECT_EQ(ModeOf(dir.file("home/.cache/Sorvanta-runtime")), 0700);
        }

        for (const QString display : {":64", ":87"}) {
            QProcess quit;
            ASSERT_TRUE(start(quit, display, dir.file("unused.txt"), "quit"));
            EXPECT_TRUE(quit.waitForFinished(testsupport::kHangMs));
        }
        EXPECT_TRUE(on64.waitForFinished(testsupport::kHangMs));
        EXPECT_TRUE(on87.waitForFinished(testsupport::kHangMs));
        EXPECT_EQ(on64.exitCode(), 0);
        EXPECT_EQ(on87.exitCode(), 0);
    }
}

// The socket that later instances hand their command line through admits
// this user only, whatever the umask: no other user can connect and make
// the instance open a file.
TEST(SingleInstance, TheSocketAdmitsItsUserOnlyWhateverTheUmask)
{
    testsupport::TempDir dir("socket");
    for (const mode_t mask : {mode_t(0), mode_t(002), mode_t(022)}) {
        SCOPED_TRACE("umask " + std::to_string(mask));
        const mode_t old = ::umask(mask);
        platform::SingleInstance instance("modecheck" + QString::number(mask), QString::fromStdString(dir.path().string()),
                                          nullptr, "nodisplay");
        const bool first = instance.isFirstInstance();
        const bool listening = first && instance.listen();
        ::umask(old);
        ASSERT_TRUE(listening);
        struct stat st {};
        ASSERT_EQ(0, ::lstat(instance.serverPath().toLocal8Bit().constData(), &st));
        EXPECT_TRUE(S_ISSOCK(st.st_mode));
        EXPECT_EQ(0, int(st.st_mode & 077)) << std::oct << (st.st_mode & 07777);
        EXPECT_EQ(::getuid(), st.st_uid);
    }
}

// The folders made on the way to the private folder (a cache folder the
// home lacks) are private too whatever the umask; a folder that exists is
// left as it is.
TEST(SingleInstance, FoldersMadeAboveTheInstanceFolderArePrivateWhateverTheUmask)
{
    testsupport::TempDir dir("parents");
    const std::string kept = dir.file("kept");
    std::filesystem::create_directories(kept);
    ::chmod(kept.c_str(), 0755);
    for (const mode_t mask : {mode_t(0), mode_t(002), mode_t(077)}) {
        SCOPED_TRACE("umask " + std::to_string(mask));
        const std::string cache = dir.file("cache" + std::to_string(mask));
        const mode_t old = ::umask(mask);
        const QString folder =
            platform::InstanceFolder("", QString::fromStdString(cache + "/deeper"), QString::fromStdString(kept));
        const QString inHome = platform::InstanceFolder("", "", QString::fromStdString(kept));
        ::umask(old);
        EXPECT_EQ(cache + "/deeper/Sorvanta-runtime", folder.toStdString());
        for (const std::string& made : {cache, cache + "/deeper", cache + "/deeper/Sorvanta-runtime",
                                        kept + "/.cache", kept + "/.cache/Sorvanta-runtime"})
            EXPECT_EQ(0700, ModeOf(made)) << made;
        EXPECT_EQ(0755, ModeOf(kept));
        std::filesystem::remove_all(kept + "/.cache");
    }
}
