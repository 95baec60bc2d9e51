// Tests of the upgrade tool: its services, the script against a release
// folder and an installation in a scratch prefix, and its window.
#include "platform/fileversion.h"
#include "platform/messages.h"
#include "sorvanta_versions.h"
#include "testsupport/offscreen_app.h"
#include "testsupport/testsupport.h"
#include "thumbctl/control/host/registry_lock.h"
#include "upgrade/cls_upgrade.h"
#include "upgrade/frm_upgrade.h"
#include "upgrade/journal.h"
#include "upgrade/manifest.h"
#include "upgrade/services.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QProgressBar>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

const std::string kModules = UPGRADE_MODULES_DIR;
std::string Module(int kind) { return kModules + "/libupgrade_module_" + std::to_string(kind) + ".so"; }

void WriteText(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Every file below a folder with its bytes (hidden leftovers included).
std::map<std::string, std::vector<uint8_t>> Snapshot(const fs::path& root)
{
    std::map<std::string, std::vector<uint8_t>> files;
    if (!fs::exists(root)) return files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        files[fs::relative(e.path(), root).string()] =
            e.is_regular_file() ? ReadBytes(e.path().string()) : std::vector<uint8_t>{};
    return files;
}

// Writes the release manifest of a folder, as the build does.
void WriteManifest(const std::string& folder)
{
    std::string text;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.is_regular_file() && e.path().filename() != upgrade::kManifestFile)
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const auto bytes = ReadBytes(folder + "/" + name);
        const QByteArray hash =
            QCryptographicHash::hash(QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())),
                                     QCryptographicHash::Sha256)
                .toHex();
        text += hash.toStdString() + " " + std::to_string(bytes.size()) + " " + name + "\n";
    }
    WriteText(folder + "/" + upgrade::kManifestFile, text);
}

// Names of hidden files and folders below a folder (leftovers of a copy).
std::vector<std::string> Hidden(const fs::path& root)
{
    std::vector<std::string> hidden;
    for (const auto& f : Snapshot(root))
        if (fs::path(f.first).filename().string()[0] == '.') hidden.push_back(f.first);
    return hidden;
}

ino_t Inode(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

TEST(UpgradeServices, OperationCodesAndShownVersions)
{
    const std::pair<const char*, int> codes[] = {{"MoveFile", 1}, {"CopyFile", 2}, {"DeleteFile", 3},
                                                 {"RenameFile", 4}, {"copyfile", 0}, {"", 0}, {"Copy", 0}};
    for (const auto& c : codes) EXPECT_EQ(c.second, upgrade::FileOperationCode(c.first)) << c.first;

    const std::pair<const char*, const char*> versions[] = {
        {"2.5.0.3", "2.5.3"}, {"2.10.0.3", "2.10.3"}, {"10.0.0.12", "10.0.12"}, {"", ""}, {"2.5", "2.5"}};
    for (const auto& v : versions) EXPECT_EQ(v.second, upgrade::ShownVersion(v.first)) << v.first;
}

TEST(UpgradeServices, CopyReplacesWholeFilesAndKeepsTargetsOnFailure)
{
    TempDir dir;
    const std::string src = dir.file("tool");
    WriteText(src, "new contents");
    ::chmod(src.c_str(), 0755);
    fs::create_directories(dir.file("target"));

    // A folder target takes the file's own name; an existing file is replaced.
    WriteText(dir.file("target/tool"), "old");
    EXPECT_EQ("", upgrade::ShellFileOperation("CopyFile", src, dir.file("target") + "/", upgrade::kNoConfirmation));
    EXPECT_EQ("new contents", ReadText(dir.file("target/tool")));
    EXPECT_TRUE(fs::status(dir.file("target/tool")).permissions() == fs::status(src).permissions());

    // A missing source: an error, the target untouched, nothing left beside it.
    const std::string error =
        upgrade::ShellFileOperation("CopyFile", dir.file("missing"), dir.file("target/tool"), 16);
    EXPECT_NE("", error);
    EXPECT_EQ("new contents", ReadText(dir.file("target/tool")));
    EXPECT_EQ(1u, Snapshot(dir.file("target")).size());

    // An unwritable folder: an error, no file.
    fs::create_directories(dir.file("locked"));
    fs::permissions(dir.file("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(dir.file("locked").c_str(), W_OK) != 0) {
        EXPECT_NE("", upgrade::ShellFileOperation("CopyFile", src, dir.file("locked") + "/", 16));
        EXPECT_FALSE(fs::exists(dir.file("locked/tool")));
    }
    fs::permissions(dir.file("locked"), fs::perms::owner_all);

    EXPECT_EQ("", upgrade::ShellFileOperation("RenameFile", dir.file("target/tool"), dir.file("target/t2"), 16));
    EXPECT_EQ("", upgrade::ShellFileOperation("MoveFile", dir.file("target/t2"), dir.file("moved"), 16));
    EXPECT_EQ("new contents", ReadText(dir.file("moved")));
    EXPECT_EQ("", upgrade::ShellFileOperation("DeleteFile", dir.file("moved"), "", 16));
    EXPECT_FALSE(fs::exists(dir.file("moved")));
    EXPECT_NE("", upgrade::ShellFileOperation("Unknown", src, dir.file("x"), 16));
}

TEST(UpgradeServices, SpecialFoldersFollowTheProgramFilesFolder)
{
    TempDir dir;
    upgrade::SetProgramFilesFolder(dir.path().string());
    EXPECT_EQ(dir.path().string(), upgrade::FindSystemFolder(upgrade::kFolderProgramFiles));
    EXPECT_EQ("", upgrade::FindSystemFolder(upgrade::kFolderSystem));  // no installation yet
    fs::create_directories(dir.file("Calverdine/Sorvanta"));
    EXPECT_EQ(dir.file("Calverdine/Sorvanta"), upgrade::FindSystemFolder(upgrade::kFolderSystem));
    EXPECT_EQ("", upgrade::FindSystemFolder(12345));
    upgrade::SetProgramFilesFolder(dir.file("missing"));
    EXPECT_EQ("", upgrade::FindSystemFolder(upgrade::kFolderProgramFiles));
    upgrade::SetProgramFilesFolder("");
}

TEST(UpgradeServices, RegistrationOutcomesAndTheirMessages)
{
    testsupport::HangGuard guard;   // a registration that is never ended
    TempDir dir;
    const std::string registry = dir.file("registry.txt");
    ::setenv("UPGRADE_TEST_REGISTRY", registry.c_str(), 1);
    const std::string classes = dir.file("classes.reg");
    ::setenv("SORVANTA_CLASS_REGISTRY", classes.c_str(), 1);
    // A truncated library (the helper dies loading it) and one that never
    // finishes: the helper process is ended, the tool goes on.
    const std::string truncated = dir.file("truncated.so");
    {
        auto bytes = ReadBytes(SORVANTA_BIN_DIR "/libNorvikel.so");
        bytes.resize(bytes.size() / 3);
        WriteBytes(truncated, bytes);
    }
    struct Case {
        std::string path, command;
        bool ok;
        std::string message;  // "" = none
        int timeoutMs;
        std::string said = "";  // what the helper said, shown after the message
    };
    // The registrations that end on their own are given a guard only; the
    // one that never ends has a short time-out.
    const int kWait = testsupport::kHangMs;
    const Case cases[] = {
        {Module(0), "r", true, "", kWait},
        {Module(0), "u", true, "", kWait},
        {Module(0), "x", false, "Unknown command handle", kWait},
        {dir.file("nothing.so"), "r", false, "Failure loading control DLL", kWait,
         "norvikel-regsvr: cannot load " + dir.file("nothing.so") + ": "},
        {Module(3), "r", false, "Process failed in obtaining entry point or creating thread.", kWait,
         "norvikel-regsvr: " + Module(3) + " has no DllRegisterServer"},
        {Module(2), "r", false, "Registration of " + Module(2) + " failed (0x80004005).", kWait,
         "norvikel-regsvr: DllRegisterServer failed: "},
        {Module(1), "r", false, "Process failed in signaled state or time-out.", 300},
        {truncated, "r", false, "Process failed in signaled state or time-out.", kWait},
    };
    for (const Case& c : cases) {
        platform::ScriptedMessages messages;
        EXPECT_EQ(c.ok, upgrade::RegUnregServer(c.path, c.command, c.timeoutMs)) << c.path << " " << c.command;
        if (!c.message.empty()) {
            ASSERT_EQ(1u, messages.records.size()) << c.message;
            const std::string& text = messages.records[0].text;
            EXPECT_EQ(c.message, text.substr(0, text.find('\r')));
            if (!c.said.empty()) {
                EXPECT_EQ(c.message + "\r" + c.said, text.substr(0, c.message.size() + 1 + c.said.size())) << text;
            }
            EXPECT_EQ(upgrade::kProgramName, messages.records[0].title);
        } else {
            EXPECT_TRUE(messages.records.empty()) << messages.records[0].text;
        }
    }
    // The registration that timed out was ended with its process: no child
    // of this test is left, running or unreaped.
    errno = 0;
    EXPECT_EQ(-1, ::waitpid(-1, nullptr, WNOHANG));
    EXPECT_EQ(ECHILD, errno);
    EXPECT_EQ("register\nunregister\n", ReadText(registry));
    ::unsetenv("UPGRADE_TEST_REGISTRY");
    ::unsetenv("SORVANTA_CLASS_REGISTRY");
}

// Each check of the release against its manifest, in a case where it is
// the only check that fails: the exact message names what is wrong.
TEST(UpgradeRelease, EachCheckOfTheManifestStandsOnItsOwn)
{
    struct Case {
        const char* name;
        std::function<void(const std::string& folder)> damage;
        std::string said;  // "" = the release is whole
    };
    const auto writeLine = [](const std::string& folder, const std::string& line) {
        std::string text = ReadText(folder + "/" + upgrade::kManifestFile) + line;
        WriteText(folder + "/" + upgrade::kManifestFile, text);
    };
    const Case cases[] = {
        {"whole", [](const std::string&) {}, ""},
        {"no manifest", [](const std::string& f) { fs::remove(f + "/" + upgrade::kManifestFile); },
         "The release has no manifest (\"release.manifest\")."},
        {"a line that is none", [&](const std::string& f) { writeLine(f, "not a line\n"); },
         "The release manifest \"release.manifest\" is damaged (line 3)."},
        {"a required file not listed",
         [](const std::string& f) {
             fs::remove(f + "/b.txt");
             WriteManifest(f);
         },
         "\"b.txt\" is not listed in the release manifest."},
        {"a listed file missing", [](const std::string& f) { fs::remove(f + "/b.txt"); },
         "\"b.txt\" is missing from the release."},
        {"a folder in a file's place",
         [](const std::string& f) {
             fs::remove(f + "/b.txt");
             fs::create_directory(f + "/b.txt");
         },
         "\"b.txt\" in the release is not a file."},
        {"another size", [](const std::string& f) { WriteText(f + "/b.txt", "bravo!"); },
         "\"b.txt\" in the release is damaged: 6 bytes instead of 5."},
        {"the same size, other bytes", [](const std::string& f) { WriteText(f + "/b.txt", "brave"); },
         "\"b.txt\" in the release is damaged: its contents differ from the release manifest."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string folder = dir.file("release");
        WriteText(folder + "/a.txt", "alpha");
        WriteText(folder + "/b.txt", "bravo");
        WriteManifest(folder);
        c.damage(folder);
        EXPECT_EQ(c.said, upgrade::CheckRelease(folder, {"a.txt", "b.txt"}));
    }
}

// What the upgrade puts into an installation has the mode every user needs,
// whatever the umask and the release folder's modes; a backup keeps its
// source's mode exactly.
TEST(UpgradeServices, CopiesAndFoldersGetExplicitModesWhateverTheUmask)
{
    TempDir dir;
    const auto modeOf = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    WriteText(dir.file("release/program"), "program");
    WriteText(dir.file("release/data"), "data");
    ::chmod(dir.file("release/program").c_str(), 0700);
    ::chmod(dir.file("release/data").c_str(), 0600);
    for (const mode_t mask : {mode_t(027), mode_t(002), mode_t(077)}) {
        SCOPED_TRACE("umask " + std::to_string(mask));
        const mode_t old = ::umask(mask);
        const std::string to = dir.file("install" + std::to_string(mask) + "/a/b/");
        EXPECT_EQ("", upgrade::ShellFileOperation("CopyFile", dir.file("release/program"), to, upgrade::kNoConfirmation));
        EXPECT_EQ("", upgrade::ShellFileOperation("CopyFile", dir.file("release/data"), to, upgrade::kNoConfirmation));
        EXPECT_EQ("", upgrade::CopyThrough(dir.file("release/data"), to + "backup", to + ".temp", true));
        ::umask(old);
        EXPECT_EQ(0755, modeOf(to + "program"));
        EXPECT_EQ(0644, modeOf(to + "data"));
        EXPECT_EQ(0600, modeOf(to + "backup"));
        EXPECT_EQ(0755, modeOf(dir.file("install" + std::to_string(mask) + "/a")));
        EXPECT_EQ(0755, modeOf(to));
    }
}

// The undo of an interrupted upgrade: whatever a registration ended by force
// left beside the registry (its temporary file, its lock) goes with the
// registry and the folder the run made for it; a folder the run made that
// someone else has put a file into since stays, with that file, and blocks
// nothing.
TEST(UpgradeJournal, UndoRemovesWhatAKilledRegistrationLeftAndKeepsOthersFiles)
{
    TempDir dir;
    const std::string journal = dir.file("Calverdine/.upgrade-journal");
    fs::create_directories(dir.file("Calverdine"));
    const std::string config = dir.file("config");
    const std::string registry = config + "/classes.reg";
    const std::string shared = dir.file("Calverdine/Utility Files");
    {
        upgrade::Journal j;
        std::string error;
        ASSERT_TRUE(j.Begin(journal, &error)) << error;
        ASSERT_TRUE(j.Add({"folder", shared}, &error)) << error;
        fs::create_directories(shared);
        ASSERT_TRUE(j.Add({"new", shared + "/style.sty", shared + "/.upgnew_style.sty"}, &error)) << error;
        WriteText(shared + "/style.sty", "style");
        ASSERT_TRUE(j.Add({"folder", config}, &error)) << error;
        fs::create_directories(config);
        ASSERT_TRUE(j.Add({"registry", registry, config + "/.upgold_classes.reg", config + "/.upgnew_classes.reg", "0",
                           host::RegistryLockPath(registry)},
                          &error))
            << error;
        // The registration child, killed while it wrote: its lock file and
        // its temporary file stay.
        WriteText(host::RegistryLockPath(registry), "");
        WriteText(config + "/.classes.reg.aZ09xY", "[CLSID/{half");
        // Someone else's file in a folder the run made.
        WriteText(shared + "/mine.txt", "not the upgrade's");
    }  // the tool ends here without an undo
    std::string error;
    EXPECT_EQ(upgrade::Recovery::kUndone, upgrade::RecoverInterruptedUpgrade(journal, &error)) << error;
    EXPECT_FALSE(fs::exists(config)) << (fs::exists(config) ? fs::directory_iterator(config)->path().string() : "");
    EXPECT_FALSE(fs::exists(shared + "/style.sty"));
    EXPECT_EQ("not the upgrade's", ReadText(shared + "/mine.txt"));
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_EQ(upgrade::Recovery::kNothing, upgrade::RecoverInterruptedUpgrade(journal, &error));
}

// A release folder and an installation under a scratch prefix.
class UpgradeScript : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::OffscreenApp();
        release = dir.file("release");
        pf = dir.file("prefix/share");
        program = pf + "/Calverdine/Sorvanta";
        utility = pf + "/Calverdine/Utility Files";
        const std::string bin = SORVANTA_BIN_DIR;
        fs::create_directories(release);
        for (const char* f : {"Sorvanta", "libStrandel.so", "libVarnholde.so"})
            fs::copy_file(bin + "/" + f, release + "/" + f);
        for (const std::string& style : upgrade::ChartStyleFiles())
            fs::copy_file(std::string(SORVANTA_SOURCE_DIR) + "/app/plots/styles/" + style, release + "/" + style);
        WriteText(release + "/Diagonal Legend.jpg", "legend");
        fs::copy_file(Module(0), release + "/libNorvikel.so");
        fs::copy_file(bin + "/norvikel-regsvr", release + "/norvikel-regsvr");
        WriteManifest(release);

        // An earlier release: an older program and TIFF library, no styles,
        // no thumbnail control.
        WriteText(program + "/Sorvanta", "earlier program");
        fs::copy_file(kModules + "/old/libStrandel.so", program + "/libStrandel.so");
        fs::create_directories(pf + "/Calverdine/Results");

        registry = dir.file("registry.txt");
        ::setenv("UPGRADE_TEST_REGISTRY", registry.c_str(), 1);
        classes = dir.file("config/classes.reg");
        ::setenv("SORVANTA_CLASS_REGISTRY", classes.c_str(), 1);
        upgrade::SetProgramFilesFolder(pf);
        // The installation is the user's own, under the home, unless a test
        // moves the home away.
        if (const char* home = std::getenv("HOME")) savedHome = home;
        ::setenv("HOME", dir.path().c_str(), 1);
    }
    void TearDown() override
    {
        ::setenv("HOME", savedHome.c_str(), 1);
        upgrade::SetProgramFilesFolder("");
        ::unsetenv("UPGRADE_TEST_REGISTRY");
        ::unsetenv("SORVANTA_CLASS_REGISTRY");
    }

    // The tool's run; a registration that must end on its own is given a
    // guard only.
    int Run(platform::ScriptedMessages& messages, int timeoutMs = testsupport::kHangMs)
    {
        upgrade::UpgradeToolOptions options;
        options.appFolder = release + "/";
        options.registrationTimeoutMs = timeoutMs;
        return upgrade::RunUpgradeTool(options);
    }

    static std::vector<std::string> Texts(const platform::ScriptedMessages& messages)
    {
        std::vector<std::string> texts;
        for (const auto& r : messages.records) texts.push_back(r.text);
        return texts;
    }

public:
    TempDir dir;
    std::string release, pf, program, utility, registry, classes, savedHome;
};

// A registration that meets a class registry another process holds locked:
// the helper waits its own time and says so, and its words reach the user
// (the tool's own limit, as it runs by default, is longer than that wait).
TEST_F(UpgradeScript, TheHelpersOwnReasonReachesTheUserWhenTheRegistryIsLocked)
{
    testsupport::HangGuard guard;
    fs::remove(release + "/libNorvikel.so");
    fs::copy_file(SORVANTA_BIN_DIR "/libNorvikel.so", release + "/libNorvikel.so");
    WriteManifest(release);
    fs::create_directories(dir.file("config"));
    host::RegistryLock held;
    ASSERT_EQ("", held.Take(host::RegistryLockPath(classes)));
    const auto before = Snapshot(pf);
    // The other process lets the lock go once the failure is shown: the
    // rollback, which puts the registry back under its lock, then has it.
    platform::ScriptedMessages messages;
    platform::SetMessageHandler([&](const std::string& text, int style, const std::string& title) {
        messages.records.push_back({text, style, title});
        if (text.rfind("Registration of ", 0) == 0) held.Release();
        return style == platform::kMsgQuestion ? int(platform::kAnsYes) : int(platform::kAnsOk);
    });
    upgrade::UpgradeToolOptions options;  // the tool's own limit
    options.appFolder = release;
    EXPECT_EQ(upgrade::kUpgradeFailed, upgrade::RunUpgradeTool(options));
    ASSERT_EQ(3u, messages.records.size());
    EXPECT_EQ(0u, messages.records[2].text.find("The upgrade could not be completed: ")) << messages.records[2].text;
    EXPECT_NE(std::string::npos, messages.records[2].text.find("\rThe system has not been modified."));
    const std::string& text = messages.records[1].text;
    EXPECT_EQ(0u, text.find("Registration of " + program + "/libNorvikel.so failed (0x80040200).\r")) << text;
    EXPECT_NE(std::string::npos, text.find("the class registry is locked by another process (" + classes + ".lock)"))
        << text;
    EXPECT_EQ(before, Snapshot(pf));
    EXPECT_FALSE(fs::exists(classes));
}

// A rollback that cannot put everything back (the registry stays locked by
// another process throughout) says so, and does not say the system is
// unchanged; the next start, once the lock is gone, puts it back.
TEST_F(UpgradeScript, ARollbackThatCannotPutEverythingBackSaysSo)
{
    testsupport::HangGuard guard;
    fs::remove(release + "/libNorvikel.so");
    fs::copy_file(SORVANTA_BIN_DIR "/libNorvikel.so", release + "/libNorvikel.so");
    WriteManifest(release);
    fs::create_directories(dir.file("config"));
    const auto before = Snapshot(pf);
    {
        host::RegistryLock held;
        ASSERT_EQ("", held.Take(host::RegistryLockPath(classes)));
        platform::ScriptedMessages messages;
        EXPECT_EQ(upgrade::kUpgradeFailed, Run(messages));
        ASSERT_FALSE(messages.records.empty());
        const std::string last = messages.records.back().text;
        EXPECT_NE(std::string::npos, last.find("Not everything could be put back (the class registry is locked by "
                                               "another process"))
            << last;
        EXPECT_EQ(std::string::npos, last.find("The system has not been modified.")) << last;
        EXPECT_NE(before, Snapshot(pf));
    }
    platform::ScriptedMessages messages;
    messages.defaultAnswer = platform::kAnsNo;  // every question answered No
    EXPECT_EQ(upgrade::kUpgradeDeclined, Run(messages));
    EXPECT_EQ("An interrupted upgrade has been undone.", messages.records.at(0).text);
    EXPECT_EQ(before, Snapshot(pf));
}

// An installation in a shared prefix (an earlier release's PREFIX/share,
// outside the user's home) registers its control in the installation's
// registry, which every user of it reads; the user's own is not touched.
// What the run makes has the modes every user needs, at any umask, and the
// registry's folder an earlier release left open to the group is closed. A home
// of "/" (a service account's, or root's on some systems) holds every
// installation and makes none of them the user's own.
TEST_F(UpgradeScript, AnInstallationInASharedPrefixRegistersForEveryUser)
{
    fs::remove(release + "/libNorvikel.so");
    fs::copy_file(SORVANTA_BIN_DIR "/libNorvikel.so", release + "/libNorvikel.so");
    WriteManifest(release);
    fs::create_directories(dir.file("home"));
    const struct {
        mode_t mask;
        std::string home;
    } cases[] = {{027, dir.file("home")}, {002, dir.file("home")}, {022, "/"}};
    for (const auto& c : cases) {
        const mode_t mask = c.mask;
        SCOPED_TRACE("umask " + std::to_string(mask) + ", HOME " + c.home);
        ::setenv("HOME", c.home.c_str(), 1);
        fs::remove_all(utility);
        fs::remove(program + "/libNorvikel.so");
        fs::remove(pf + "/Calverdine/classes.reg");
        // An earlier release installed at umask 002 left its folders open to
        // the group: a registry there would be passed over by every lookup.
        ::chmod((pf + "/Calverdine").c_str(), 0775);
        const mode_t old = ::umask(mask);
        platform::ScriptedMessages messages;
        const int status = Run(messages);
        ::umask(old);
        EXPECT_EQ(upgrade::kUpgradeDone, status) << (messages.records.empty() ? "" : messages.records.back().text);
        const std::string installed = pf + "/Calverdine/classes.reg";
        EXPECT_NE(std::string::npos,
                  ReadText(installed).find("InprocServer=" + fs::canonical(program + "/libNorvikel.so").string()));
        EXPECT_FALSE(fs::exists(classes));
        const auto modeOf = [](const std::string& path) {
            struct stat st {};
            return ::stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
        };
        EXPECT_EQ(0644, modeOf(installed));
        EXPECT_EQ(0755, modeOf(pf + "/Calverdine"));
        EXPECT_EQ(0755, modeOf(utility));
        EXPECT_EQ(0644, modeOf(utility + "/Diagonal Legend.jpg"));
        EXPECT_EQ(0755, modeOf(program + "/Sorvanta"));
        EXPECT_EQ(0755, modeOf(program + "/libNorvikel.so"));
    }
}

TEST_F(UpgradeScript, UpgradesAnEarlierInstallationAndReportsProgress)
{
    platform::ScriptedMessages messages;
    QString barAtEnd;
    platform::SetMessageHandler([&](const std::string& text, int style, const std::string& title) {
        messages.records.push_back({text, style, title});
        if (auto* w = upgrade::CurrentUpgradeWindow()) barAtEnd = w->vbalProgressBar1->text();
        return style == platform::kMsgQuestion ? int(platform::kAnsYes) : int(platform::kAnsOk);
    });
    EXPECT_EQ(upgrade::kUpgradeDone, Run(messages));
    EXPECT_EQ((std::vector<std::string>{"Upgrade this system to Sorvanta Version " SORVANTA_PROGRAM_VERSION " ?",
                                        "The system has been successfully modified."}),
              Texts(messages));
    EXPECT_EQ(upgrade::kUpgradeTitle, messages.records[0].title);
    EXPECT_EQ("100%", barAtEnd.toStdString());

    EXPECT_EQ(ReadBytes(release + "/Sorvanta"), ReadBytes(program + "/Sorvanta"));
    EXPECT_EQ(SORVANTA_TIFF_LIBRARY_VERSION, platform::FileVersionOf(program + "/libStrandel.so"));
    EXPECT_EQ(SORVANTA_ANALYSIS_LIBRARY_VERSION, platform::FileVersionOf(program + "/libVarnholde.so"));
    for (const std::string& style : upgrade::ChartStyleFiles()) EXPECT_TRUE(fs::exists(utility + "/" + style));
    EXPECT_TRUE(fs::exists(utility + "/Diagonal Legend.jpg"));
    EXPECT_TRUE(fs::exists(program + "/libNorvikel.so"));
    EXPECT_EQ("register\n", ReadText(registry));
    for (const auto& f : Snapshot(pf)) EXPECT_NE('.', fs::path(f.first).filename().string()[0]) << f.first;

    // A second run copies the program again and leaves everything present
    // and current alone: no new files, no second registration.
    std::map<std::string, ino_t> inodes;
    for (const auto& f : Snapshot(pf)) inodes[f.first] = Inode(pf + "/" + f.first);
    platform::SetMessageHandler({});
    platform::ScriptedMessages again;
    EXPECT_EQ(upgrade::kUpgradeDone, Run(again));
    for (const auto& f : Snapshot(pf)) {
        if (f.first == "Calverdine/Sorvanta/Sorvanta")
            EXPECT_NE(inodes[f.first], Inode(pf + "/" + f.first));
        else
            EXPECT_EQ(inodes[f.first], Inode(pf + "/" + f.first)) << f.first;
    }
    EXPECT_EQ(inodes.size(), Snapshot(pf).size());
    EXPECT_EQ("register\n", ReadText(registry));
}

TEST_F(UpgradeScript, ProgressRunsFromTenToHundredInSteps)
{
    upgrade::clsUpgrade script(release);
    script.SetRegistrationTimeout(testsupport::kHangMs);
    std::vector<int> seen;
    script.Progress = [&](int p) { seen.push_back(p); };
    script.Go();
    EXPECT_TRUE(script.Succeeded()) << script.Failure();
    EXPECT_EQ((std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100}), seen);
}

TEST_F(UpgradeScript, DeclinedOrMissingInstallationChangesNothing)
{
    const auto before = Snapshot(dir.path());
    {
        platform::ScriptedMessages messages;
        messages.queue(platform::kAnsNo);
        EXPECT_EQ(upgrade::kUpgradeDeclined, Run(messages));
        EXPECT_EQ((std::vector<std::string>{"Upgrade this system to Sorvanta Version " SORVANTA_PROGRAM_VERSION " ?",
                                            "The system has not been modified."}),
                  Texts(messages));
        EXPECT_EQ(platform::kMsgInformation, messages.records[1].style);
    }
    fs::remove(program + "/Sorvanta");
    const auto withoutProgram = Snapshot(dir.path());
    {
        platform::ScriptedMessages messages;
        EXPECT_EQ(upgrade::kUpgradeNotFound, Run(messages));
        ASSERT_EQ(2u, messages.records.size());
        EXPECT_EQ("Existing files to upgrade not found.\rThe system has not been modified.",
                  messages.records[1].text);
        EXPECT_EQ(platform::kMsgCritical, messages.records[1].style);
    }
    EXPECT_EQ(withoutProgram, Snapshot(dir.path()));
    EXPECT_EQ(before.size(), withoutProgram.size() + 1);
}

TEST_F(UpgradeScript, AFailedStepPutsEveryFileBack)
{
    struct Case {
        const char* name;
        std::function<void(UpgradeScript&)> breakIt;
        const char* shownFirst;  // a message the failure shows before the final one, or ""
        int timeoutMs;
    };
    const int kWait = testsupport::kHangMs;
    const Case cases[] = {
        {"release without the diagonal legend",
         [](UpgradeScript& t) { fs::remove(t.release + "/Diagonal Legend.jpg"); }, "", kWait},
        {"control that never finishes registering",
         [](UpgradeScript& t) {
             fs::remove(t.release + "/libNorvikel.so");
             fs::copy_file(Module(1), t.release + "/libNorvikel.so");
             WriteManifest(t.release);
         },
         "Process failed in signaled state or time-out.", 300},
        {"control whose registration fails",
         [](UpgradeScript& t) {
             fs::remove(t.release + "/libNorvikel.so");
             fs::copy_file(Module(2), t.release + "/libNorvikel.so");
             WriteManifest(t.release);
         },
         "", kWait},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.breakIt(*this);
        const auto before = Snapshot(pf);
        platform::ScriptedMessages messages;
        EXPECT_EQ(upgrade::kUpgradeFailed, Run(messages, c.timeoutMs));
        ASSERT_GE(messages.records.size(), 2u);
        const std::string last = messages.records.back().text;
        EXPECT_EQ(0u, last.find("The upgrade could not be completed: ")) << last;
        EXPECT_NE(std::string::npos, last.find("\rThe system has not been modified.")) << last;
        if (*c.shownFirst) {
            EXPECT_EQ(c.shownFirst, messages.records[1].text);
        }
        EXPECT_EQ(before, Snapshot(pf));
        // Put the release back together for the next case.
        fs::remove(release + "/libNorvikel.so");
        fs::copy_file(Module(0), release + "/libNorvikel.so");
        WriteText(release + "/Diagonal Legend.jpg", "legend");
        WriteManifest(release);
    }
}

TEST_F(UpgradeScript, AFailedCopyLeavesNoBackupBehind)
{
    // The release's TIFF library cannot be read as a file: the program, the
    // styles and the legend are copied and the old library has its backup
    // when that copy fails.
    fs::remove(release + "/libStrandel.so");
    fs::create_directories(release + "/libStrandel.so");
    const auto before = Snapshot(pf);
    upgrade::clsUpgrade script(release);
    script.Go();
    EXPECT_FALSE(script.Succeeded());
    EXPECT_NE(std::string::npos, script.Failure().find("libStrandel.so")) << script.Failure();
    EXPECT_EQ(before, Snapshot(pf));
    EXPECT_EQ(std::vector<std::string>{}, Hidden(pf));
}

TEST_F(UpgradeScript, AScriptThatEndsEarlyIsPutBackByItsDestructor)
{
    // The real control, so that its registration writes the class registry.
    fs::remove(release + "/libNorvikel.so");
    fs::copy_file(SORVANTA_BIN_DIR "/libNorvikel.so", release + "/libNorvikel.so");
    const std::string other = dir.file("other/libNorvikel.so");
    fs::create_directories(dir.file("other"));
    fs::copy_file(SORVANTA_BIN_DIR "/libNorvikel.so", other);
    for (const bool registeredBefore : {false, true}) {
        for (const int endAt : {70, 100}) {  // before the control, after its registration
            SCOPED_TRACE(std::string(registeredBefore ? "registry present" : "no registry") + ", ended at " +
                         std::to_string(endAt));
            fs::remove(classes);
            if (registeredBefore) {
                int rc = -1;
                testsupport::Shell("'" SORVANTA_BIN_DIR "/norvikel-regsvr' register '" + other + "'", &rc);
                ASSERT_EQ(0, rc);
            }
            const auto before = Snapshot(pf);
            const bool existed = fs::exists(classes);
            const auto registryBefore = ReadBytes(classes);
            const bool folderExisted = fs::exists(dir.file("config"));
            const auto folderBefore = Snapshot(dir.file("config"));
            bool reached = false;
            {
                upgrade::clsUpgrade script(release);
                script.SetRegistrationTimeout(testsupport::kHangMs);
                script.Progress = [&](int percent) {
                    if (percent == endAt) {
                        reached = true;
                        throw std::runtime_error("the window went away");
                    }
                };
                EXPECT_THROW(script.Go(), std::runtime_error);
            }
            EXPECT_TRUE(reached);
            EXPECT_EQ(before, Snapshot(pf));
            EXPECT_EQ(existed, fs::exists(classes));
            EXPECT_EQ(registryBefore, ReadBytes(classes));
            EXPECT_EQ(std::vector<std::string>{}, Hidden(dir.file("config")));
            // Nothing the registration made is left: no lock file, no folder.
            EXPECT_EQ(folderExisted, fs::exists(dir.file("config")));
            EXPECT_EQ(folderBefore, Snapshot(dir.file("config")));
        }
    }
}

TEST_F(UpgradeScript, AClassRegistryThatIsALinkIsBackedUpAndPutBackAtTheFileItNames)
{
    // The real control, so that its registration writes the class registry.
    fs::remove(release + "/libNorvikel.so");
    fs::copy_file(SORVANTA_BIN_DIR "/libNorvikel.so", release + "/libNorvikel.so");
    fs::create_directories(dir.file("config"));
    fs::create_directories(dir.file("elsewhere"));
    const std::string target = dir.file("elsewhere/classes.reg");
    for (const bool targetExists : {true, false}) {
        SCOPED_TRACE(targetExists ? "link to a registry" : "dangling link");
        fs::remove(classes);
        fs::remove(target);
        fs::create_symlink("../elsewhere/classes.reg", classes);
        if (targetExists) WriteText(target, "# registry\n[ProgID/Other.Thing.1]\nCLSID={0}\n");
        const auto before = ReadBytes(target);
        {
            upgrade::clsUpgrade script(release);
            script.SetRegistrationTimeout(testsupport::kHangMs);
            script.Progress = [](int percent) {
                if (percent == 100) throw std::runtime_error("the window went away");
            };
            EXPECT_THROW(script.Go(), std::runtime_error);
        }
        EXPECT_TRUE(fs::is_symlink(classes));
        EXPECT_EQ(targetExists, fs::exists(target));
        EXPECT_EQ(before, ReadBytes(target));
        EXPECT_EQ(targetExists ? std::vector<std::string>{"classes.reg"} : std::vector<std::string>{}, [&] {
            std::vector<std::string> names;
            for (const auto& e : fs::directory_iterator(dir.file("elsewhere"))) names.push_back(e.path().filename());
            return names;
        }()) << "leftovers beside the registry";
    }
}

TEST_F(UpgradeScript, ALockFileLeftByAKilledRegistrationDoesNotStopTheNext)
{
    fs::remove(release + "/libNorvikel.so");
    fs::copy_file(SORVANTA_BIN_DIR "/libNorvikel.so", release + "/libNorvikel.so");
    WriteManifest(release);
    // What a registration killed between making its lock file and writing
    // into it leaves: an empty lock file that no one holds.
    WriteText(classes + ".lock", "");
    platform::ScriptedMessages messages;
    EXPECT_EQ(upgrade::kUpgradeDone, Run(messages)) << (messages.records.empty() ? "" : messages.records.back().text);
    EXPECT_NE(std::string::npos, testsupport::ReadText(classes).find("THUMBNAIL.ThumbnailCtrl.1"));
    EXPECT_FALSE(fs::exists(classes + ".lock"));
}

TEST(UpgradeWindow, ShowsPercentAndCannotBeClosedWhileRunning)
{
    testsupport::OffscreenApp();
    upgrade::frmSorvantaUpgrade window;
    EXPECT_EQ("Sorvanta Upgrade", window.windowTitle().toStdString());
    EXPECT_EQ("Modifying system. Please wait.....", window.lblStatus->text().toStdString());
    window.show();
    window.myUpgrade_Progress(40);
    EXPECT_EQ("40%", window.vbalProgressBar1->text().toStdString());
    window.close();
    EXPECT_TRUE(window.isVisible());
    window.allowClose(true);
    window.close();
    EXPECT_FALSE(window.isVisible());
}
