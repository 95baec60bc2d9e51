// The class registry as norvikel-regsvr and the program use it: the lock
// and the temporary file that a killed writer leaves, writers at once,
// write failures named with their file and reason, a registry that is a
// symbolic link, the installation's scope that every user reads after the
// user's own, scopes a lookup must pass over, and where the user's registry
// is when HOME is unset.
#include "app/browser/thumbnail_client.h"
#include "testsupport/testsupport.h"
#include "thumbctl/control/constants.h"
#include "thumbctl/control/host/registry.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <filesystem>
#include <pwd.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kModule = testsupport::BinDir() + "/libNorvikel.so";
const std::string kProgId = "THUMBNAIL.ThumbnailCtrl.1";

// Runs norvikel-regsvr with the user's registry at `registry`; its output
// (both streams) and exit status.
std::string RegSvr(const std::string& registry, const std::string& args, int* code)
{
    return testsupport::Shell("SORVANTA_CLASS_REGISTRY='" + registry + "' '" + testsupport::BinDir() +
                                  "/norvikel-regsvr' " + args + " 2>&1",
                              code);
}

bool Registers(const std::string& registryFile)
{
    return testsupport::ReadText(registryFile).find("ProgID/" + kProgId) != std::string::npos;
}

} // namespace

TEST(ClassRegistry, ALockFileWhoseHolderIsGoneIsLockedAgainAndRemoved)
{
    testsupport::TempDir dir("regsvr-lock");
    const std::string registry = dir.file("classes.reg");
    // An empty lock file, as a registration killed right after making it
    // leaves; and one with another process's text in it.
    for (const std::string& left : {std::string(), std::string("12345\nhost\n")}) {
        testsupport::WriteBytes(registry + ".lock", std::vector<uint8_t>(left.begin(), left.end()));
        int code = -1;
        const std::string said = RegSvr(registry, "register '" + kModule + "'", &code);
        EXPECT_EQ(0, code) << said;
        EXPECT_TRUE(Registers(registry));
        EXPECT_FALSE(fs::exists(registry + ".lock"));
        EXPECT_EQ(1, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
    }
}

TEST(ClassRegistry, PipesAndFoldersInPlaceOfFilesAreNeverWaitedOn)
{
    testsupport::TempDir dir("regsvr-special");
    testsupport::HangGuard guard;
    const std::string registry = dir.file("classes.reg");
    testsupport::MakeFifo(dir.file("libNorvikel.so"));
    testsupport::MakeFifo(registry + ".lock");
    struct Case {
        std::string args, said;
    };
    const Case cases[] = {
        {"register '" + dir.file("libNorvikel.so") + "'", dir.file("libNorvikel.so") + " is not a regular file."},
        {"register '" + dir.path().string() + "'", " is not a regular file."},
        {"register '" + kModule + "'", registry + ".lock: not a regular file"},
    };
    for (const Case& c : cases) {
        int code = -1;
        const std::string said = RegSvr(registry, c.args, &code);
        EXPECT_EQ(1, code) << said;
        EXPECT_NE(std::string::npos, said.find(c.said)) << said;
    }
    // A registered module that became a pipe is not loaded.
    fs::remove(registry + ".lock");
    testsupport::WriteBytes(registry, {});
    host::SetRegistryPath(registry);
    ASSERT_TRUE(host::EditRegistry([&](host::RegistryKeys& k) {
        k["ProgID/" + kProgId]["CLSID"] = "{1}";
        k["CLSID/{1}"]["InprocServer"] = dir.file("libNorvikel.so");
        return true;
    }));
    host::Ref<host::Dispatch> d;
    std::string why;
    EXPECT_EQ(host::kModuleNotFound, host::CreateObject(kProgId, host::kIidDispatch, d.out(), &why));
    EXPECT_NE(std::string::npos, why.find("not a regular file")) << why;
    host::SetRegistryPath("");
}

TEST(ClassRegistry, AWriteThatFailsNamesTheFileAndTheReason)
{
    testsupport::TempDir dir("regsvr-write");
    testsupport::WriteBytes(dir.file("plain"), {'x'});
    fs::create_symlink(dir.file("missing/classes.reg"), dir.file("dangling.reg"));
    struct Case {
        std::string registry, named, reason;
    };
    const Case cases[] = {
        {dir.file("plain/classes.reg"), dir.file("plain"), "is not a folder"},
        {dir.file("dangling.reg"), dir.file("missing/classes.reg"), "No such file or directory"},
    };
    for (const Case& c : cases) {
        for (const char* verb : {"register", "unregister"}) {
            int code = -1;
            const std::string said = RegSvr(c.registry, std::string(verb) + " '" + kModule + "'", &code);
            EXPECT_EQ(1, code) << said;
            EXPECT_NE(std::string::npos, said.find("(0x8004020")) << said;
            EXPECT_NE(std::string::npos, said.find(c.named)) << said;
            EXPECT_NE(std::string::npos, said.find(c.reason)) << said;
            // Nothing to move aside: no advice for a damaged file.
            EXPECT_EQ(std::string::npos, said.find("Move it aside")) << said;
        }
    }
    EXPECT_FALSE(fs::exists(dir.file("missing")));
}

TEST(ClassRegistry, ARegistryThatIsALinkIsWrittenAtTheFileItNames)
{
    testsupport::TempDir dir("regsvr-link");
    fs::create_directories(dir.file("real"));
    const std::string link = dir.file("classes.reg");
    fs::create_symlink("real/classes.reg", link);  // relative, and dangling at first
    int code = -1;
    EXPECT_EQ("", RegSvr(link, "register '" + kModule + "' >/dev/null", &code));
    EXPECT_EQ(0, code);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(Registers(dir.file("real/classes.reg")));
    RegSvr(link, "unregister '" + kModule + "'", &code);
    EXPECT_EQ(0, code);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_FALSE(Registers(dir.file("real/classes.reg")));
    EXPECT_EQ(std::vector<std::string>{"classes.reg"}, [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.file("real"))) names.push_back(e.path().filename());
        return names;
    }());
}

TEST(ClassRegistry, TheInstallationsRegistryIsWrittenWithSystemAndReadAfterTheUsers)
{
    testsupport::TempDir dir("regsvr-system");
    // A control installed in an installation's program folder.
    const std::string folder = dir.file("Calverdine/Sorvanta");
    fs::create_directories(folder);
    fs::copy_file(kModule, folder + "/libNorvikel.so");
    const std::string installed = folder + "/libNorvikel.so";
    const std::string user = dir.file("home/classes.reg");
    const std::string system = dir.file("Calverdine/classes.reg");

    int code = -1;
    EXPECT_EQ(system + "\n", RegSvr(user, "where --system '" + installed + "'", &code));
    EXPECT_EQ(0, code);
    RegSvr(user, "register --system '" + installed + "'", &code);
    EXPECT_EQ(0, code);
    EXPECT_TRUE(Registers(system));
    EXPECT_FALSE(fs::exists(user));
    struct stat st {};
    ASSERT_EQ(0, ::stat(system.c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 07777);  // every user reads it
    // A module in no installation has no such scope.
    const std::string said = RegSvr(user, "register --system '" + kModule + "'", &code);
    EXPECT_EQ(1, code);
    EXPECT_NE(std::string::npos, said.find("is not in an installation")) << said;

    // Looked up after the user's own registry, which wins when it has the class.
    host::SetRegistryPath(user);
    host::SetInstallationRegistryPath(system);
    std::string classId, module;
    EXPECT_EQ(host::kOk, host::ClassIdFromProgId(kProgId, &classId));
    EXPECT_EQ(host::kOk, host::ModuleOfClass(classId, &module));
    EXPECT_EQ(installed, module);
    RegSvr(user, "register '" + kModule + "' >/dev/null", &code);
    ASSERT_EQ(0, code);
    EXPECT_EQ(host::kOk, host::ModuleOfClass(classId, &module));
    EXPECT_EQ(fs::canonical(kModule).string(), module);

    // Not registered anywhere: the program says how to register the control
    // installed beside it for every user of the installation.
    fs::remove(user);
    fs::remove(system);
    std::string message;
    EXPECT_EQ(nullptr, browser::ThumbnailClient::Create(nullptr, &message));
    EXPECT_NE(std::string::npos, message.find("/norvikel-regsvr' register --system '")) << message;
    host::SetInstallationRegistryPath("");
    host::SetRegistryPath("");
}

// Writers at once that each change keys of their own: every change of
// every writer is in the registry afterwards (a lock that let two writers
// read the same registry would lose one's change).
TEST(ClassRegistry, WritersAtOnceLoseNoChange)
{
    testsupport::HangGuard guard;
    testsupport::TempDir dir("regsvr-writers");
    const std::string registry = dir.file("classes.reg");
    ::setenv("SORVANTA_CLASS_REGISTRY", registry.c_str(), 1);
    constexpr int kWriters = 6, kChanges = 20;
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failed = 0;
            for (int c = 0; c < kChanges; ++c) {
                failed += !host::EditRegistry([&](host::RegistryKeys& keys) {
                    keys["Writer/" + std::to_string(w)][std::to_string(c)] = std::to_string(w * 1000 + c);
                    return true;
                });
            }
            ::_exit(failed);
        }
        writers.push_back(pid);
    }
    for (const pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer's change failed: " << status;
    }
    host::RegistryKeys keys;
    std::string why;
    ASSERT_TRUE(host::ReadRegistry(&keys, &why)) << why;
    for (int w = 0; w < kWriters; ++w)
        for (int c = 0; c < kChanges; ++c) {
            const auto key = keys.find("Writer/" + std::to_string(w));
            ASSERT_NE(keys.end(), key) << "every change of writer " << w << " is lost";
            EXPECT_EQ(std::to_string(w * 1000 + c), key->second[std::to_string(c)]) << w << "/" << c;
        }
    EXPECT_EQ(1, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
    ::unsetenv("SORVANTA_CLASS_REGISTRY");
}

// A registration killed while it writes leaves its lock and its temporary
// file; the next change of that registry removes both and writes it whole.
TEST(ClassRegistry, WhatAWriterKilledWhileWritingLeftGoesWithTheNextChange)
{
    testsupport::HangGuard guard;
    testsupport::TempDir dir("regsvr-killed");
    const std::string registry = dir.file("classes.reg");
    const std::string tool = testsupport::BinDir() + "/norvikel-regsvr";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("SORVANTA_CLASS_REGISTRY", registry.c_str(), 1);
        ::setenv("SORVANTA_REGISTRY_TEST_HALT", "write", 1);
        ::execl(tool.c_str(), tool.c_str(), "register", kModule.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Stopped at the write, which the hook makes it wait at.
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, WUNTRACED));
    ASSERT_TRUE(WIFSTOPPED(status)) << status;
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path())) left.insert(e.path().filename().string());
    ASSERT_EQ(2u, left.size());
    EXPECT_EQ(1u, left.count("classes.reg.lock"));
    const std::string temporary = *left.begin() == "classes.reg.lock" ? *left.rbegin() : *left.begin();
    EXPECT_EQ(0u, temporary.find(".classes.reg.")) << temporary;
    ::kill(pid, SIGKILL);
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));

    int code = -1;
    const std::string said = RegSvr(registry, "register '" + kModule + "'", &code);
    EXPECT_EQ(0, code) << said;
    EXPECT_TRUE(Registers(registry));
    std::vector<std::string> now;
    for (const auto& e : fs::directory_iterator(dir.path())) now.push_back(e.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"classes.reg"}, now);
}

// A lookup passes over a scope it cannot use and says which it used: the
// user's entry naming a library that is gone (an earlier release's place),
// a user's registry that cannot be read, and one that someone other than
// the user or root owns or may write, or whose folder is so.
TEST(ClassRegistry, ALookupPassesOverAScopeItCannotUse)
{
    testsupport::TempDir dir("regsvr-scopes");
    const std::string installed = dir.file("lib/Calverdine/Sorvanta/libNorvikel.so");
    const std::string earlier = dir.file("share/Calverdine/Sorvanta/libNorvikel.so");
    for (const std::string& to : {installed, earlier}) {
        fs::create_directories(fs::path(to).parent_path());
        fs::copy_file(kModule, to);
    }
    const std::string system = dir.file("lib/Calverdine/classes.reg");
    const std::string userFolder = dir.file("config");
    const std::string user = userFolder + "/classes.reg";
    int code = -1;
    RegSvr(user, "register --system '" + installed + "'", &code);
    ASSERT_EQ(0, code);
    host::SetRegistryPath(user);
    host::SetInstallationRegistryPath(system);
    const std::string classId = thumbctl::kControlClassId;

    struct Case {
        const char* name;
        std::function<void()> spoil;  // makes the user's scope unusable
        std::string said;             // what the lookup says of it without the installation's
        bool rootOnly;
    };
    const Case cases[] = {
        {"library gone", [&] { fs::remove(earlier); }, "libNorvikel.so: No such file or directory", false},
        {"damaged", [&] { testsupport::WriteBytes(user, {'j', 'u', 'n', 'k', '\n'}); }, " is damaged: line 1",
         false},
        {"written by the group", [&] { ::chmod(user.c_str(), 0664); }, "users other than its owner may write it",
         false},
        {"folder open to all", [&] { ::chmod(userFolder.c_str(), 01777); },
         "users other than its owner may write into its folder", false},
        {"another user's file", [&] { ASSERT_EQ(0, ::chown(user.c_str(), 65534, 65534)); },
         "belongs to another user (uid 65534)", true},
        {"another user's folder", [&] { ASSERT_EQ(0, ::chown(userFolder.c_str(), 65534, 65534)); },
         "its folder " + userFolder + " belongs to another user (uid 65534)", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.rootOnly && ::geteuid() != 0) continue;
        fs::remove_all(userFolder);
        fs::create_directories(userFolder);
        ::chmod(userFolder.c_str(), 0700);
        fs::create_directories(fs::path(earlier).parent_path());
        if (!fs::exists(earlier)) fs::copy_file(kModule, earlier);
        RegSvr(user, "register '" + earlier + "'", &code);
        ASSERT_EQ(0, code);
        // Usable, the user's own entry wins.
        std::string module, used, why;
        ASSERT_EQ(host::kOk, host::ModuleOfClass(classId, &module, &why, &used)) << why;
        EXPECT_EQ(fs::canonical(earlier).string(), module);
        EXPECT_EQ(user, used);

        c.spoil();
        module.clear();
        used.clear();
        EXPECT_EQ(host::kOk, host::ModuleOfClass(classId, &module, &why, &used)) << why;
        EXPECT_EQ(installed, module);
        EXPECT_EQ(system, used);
        host::ClassFactory* factory = nullptr;
        used.clear();
        ASSERT_EQ(host::kOk, host::GetClassFactory(classId, &factory, &why, &used)) << why;
        EXPECT_EQ(system, used);
        factory->Release();

        // Without the installation's entry, the lookup says why it passed
        // over the user's.
        host::SetInstallationRegistryPath(dir.file("none.reg"));
        why.clear();
        EXPECT_TRUE(host::Failed(host::ModuleOfClass(classId, &module, &why)));
        EXPECT_NE(std::string::npos, why.find(c.said)) << why;
        host::SetInstallationRegistryPath(system);
    }
    // The next change of a registry others could write takes that right
    // away again, and the registry is used again.
    fs::remove_all(userFolder);
    fs::create_directories(userFolder);
    ::chmod(userFolder.c_str(), 0700);
    RegSvr(user, "register '" + earlier + "'", &code);
    ::chmod(user.c_str(), 0666);
    RegSvr(user, "register '" + earlier + "'", &code);
    ASSERT_EQ(0, code);
    struct stat st {};
    ASSERT_EQ(0, ::stat(user.c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 07777);
    std::string module, used;
    EXPECT_EQ(host::kOk, host::ModuleOfClass(classId, &module, nullptr, &used));
    EXPECT_EQ(user, used);
    fs::remove_all(userFolder);
    host::SetInstallationRegistryPath("");
    host::SetRegistryPath("");
}

// A lookup reads the very registry it checked: a folder that someone able
// to rename above it swaps in between the check and the read (open to all,
// naming their library) is never what decides which library is loaded.
TEST(ClassRegistry, ALookupReadsTheRegistryItChecked)
{
    testsupport::TempDir dir("regsvr-swap");
    const std::string mine = dir.file("mine/Sorvanta/libNorvikel.so");
    const std::string planted = dir.file("planted/Sorvanta/libNorvikel.so");
    for (const std::string& to : {mine, planted}) {
        fs::create_directories(fs::path(to).parent_path());
        fs::copy_file(kModule, to);
    }
    const std::string folder = dir.file("config");
    const std::string user = folder + "/classes.reg";
    const std::string theirs = dir.file("theirs");
    int code = -1;
    for (const auto& [registry, module] : {std::pair{user, mine}, std::pair{theirs + "/classes.reg", planted}}) {
        fs::create_directories(fs::path(registry).parent_path());
        ::chmod(fs::path(registry).parent_path().c_str(), 0700);
        RegSvr(registry, "register '" + module + "'", &code);
        ASSERT_EQ(0, code);
    }
    ::chmod(theirs.c_str(), 0777);
    host::SetRegistryPath(user);
    host::SetInstallationRegistryPath(dir.file("none.reg"));
    const std::string classId = thumbctl::kControlClassId;

    int swaps = 0;
    host::SetLookupReadHook([&](const std::string& path) {
        if (path != user || swaps++) return;
        fs::rename(folder, dir.file("config.old"));
        fs::rename(theirs, folder);
    });
    std::string module, used, why;
    ASSERT_EQ(host::kOk, host::ModuleOfClass(classId, &module, &why, &used)) << why;
    host::SetLookupReadHook(nullptr);
    EXPECT_EQ(1, swaps);
    EXPECT_EQ(fs::canonical(mine).string(), module);
    // The swapped-in folder, once checked, is refused.
    EXPECT_TRUE(host::Failed(host::ModuleOfClass(classId, &module, &why)));
    EXPECT_NE(std::string::npos, why.find("users other than its owner may write into its folder")) << why;

    // A folder that is the user's own link to a folder of theirs is still
    // read where the link leads.
    fs::remove_all(folder);
    fs::create_directory_symlink(dir.file("config.old"), folder);
    module.clear();
    ASSERT_EQ(host::kOk, host::ModuleOfClass(classId, &module, &why, &used)) << why;
    EXPECT_EQ(fs::canonical(mine).string(), module);
    host::SetInstallationRegistryPath("");
    host::SetRegistryPath("");
}

// A registration never reports a registry no lookup would use. The
// registry's own folder left open to the group by an earlier release (made
// at umask 002) is closed again by the change; a folder that is not the
// registry's own, or another user's, is left as it is and the registration
// fails saying why; so does one that would make its folder in another
// user's.
TEST(ClassRegistry, ARegistrationReportsOnlyARegistryALookupUses)
{
    testsupport::TempDir dir("regsvr-folder-history");
    const std::string classId = thumbctl::kControlClassId;
    struct Case {
        const char* name;
        std::string folder;
        mode_t mode;
        uid_t owner;  // 0: this user
        bool registers;
        std::string said;
    };
    const Case cases[] = {
        {"own folder open to the group", dir.file("config/Sorvanta"), 0775, 0, true, ""},
        {"own folder open to all", dir.file("config2/Sorvanta"), 0777, 0, true, ""},
        {"shared folder", dir.file("shared"), 0777, 0, false, "users other than its owner may write into its folder"},
        {"another user's folder", dir.file("theirs/Sorvanta"), 0755, 65534, false, "belongs to another user (uid 65534)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.owner != 0 && ::geteuid() != 0) continue;
        fs::create_directories(c.folder);
        ASSERT_EQ(0, ::chmod(c.folder.c_str(), c.mode));
        if (c.owner != 0) ASSERT_EQ(0, ::chown(c.folder.c_str(), c.owner, c.owner));
        const std::string registry = c.folder + "/classes.reg";
        int code = -1;
        const std::string said = RegSvr(registry, "register '" + kModule + "'", &code);
        if (!c.registers) {
            EXPECT_EQ(1, code) << said;
            EXPECT_NE(std::string::npos, said.find(c.said)) << said;
            EXPECT_FALSE(fs::exists(registry));
            struct stat st {};
            ASSERT_EQ(0, ::stat(c.folder.c_str(), &st));
            EXPECT_EQ(c.mode, st.st_mode & 07777);
            continue;
        }
        ASSERT_EQ(0, code) << said;
        struct stat st {};
        ASSERT_EQ(0, ::stat(c.folder.c_str(), &st));
        EXPECT_EQ(0u, st.st_mode & 022);
        host::SetRegistryPath(registry);
        host::SetInstallationRegistryPath(dir.file("none.reg"));
        std::string module, used, why;
        EXPECT_EQ(host::kOk, host::ModuleOfClass(classId, &module, &why, &used)) << why;
        EXPECT_EQ(registry, used);
        host::SetInstallationRegistryPath("");
        host::SetRegistryPath("");
    }
    // Root run with another user's HOME (su without a login) makes nothing
    // in that home: a configuration folder of root's there would close the
    // user's own to them.
    if (::geteuid() == 0) {
        const std::string home = dir.file("their-home");
        fs::create_directories(home);
        ASSERT_EQ(0, ::chown(home.c_str(), 65534, 65534));
        int code = -1;
        const std::string said = RegSvr(home + "/.config/Sorvanta/classes.reg", "register '" + kModule + "'", &code);
        EXPECT_EQ(1, code) << said;
        EXPECT_NE(std::string::npos, said.find(home + " belongs to another user (uid 65534)")) << said;
        EXPECT_FALSE(fs::exists(home + "/.config"));
    }
}

// A registry its user may not read is not a damaged one: the tool names
// the system's reason and does not tell the user to move the file aside
// and register every control again. As root, a real second user (an
// unused uid through setpriv) meets the file.
TEST(ClassRegistry, AnUnreadableRegistryIsNamedForWhatItIs)
{
    testsupport::TempDir dir("regsvr-unreadable");
    std::string as;
    uid_t uid = ::geteuid();
    if (uid == 0) {
        if (testsupport::Shell("command -v setpriv >/dev/null && echo yes", nullptr) != "yes\n")
            GTEST_SKIP() << "as root without setpriv no user is kept from reading a file";
        for (uid = 61000; uid < 62000 && ::getpwuid(uid); ++uid) {
        }
        as = "setpriv --reuid=" + std::to_string(uid) + " --regid=" + std::to_string(uid) + " --clear-groups ";
    }
    ::chmod(dir.path().c_str(), 0755);
    const std::string folder = dir.file("config/Sorvanta");
    fs::create_directories(folder);
    const std::string registry = folder + "/classes.reg";
    testsupport::WriteBytes(registry, {'#', '\n'});
    ASSERT_EQ(0, ::chown(dir.file("config").c_str(), uid, uid));
    ASSERT_EQ(0, ::chown(folder.c_str(), uid, uid));
    ASSERT_EQ(0, ::chown(registry.c_str(), uid, uid));
    ::chmod(folder.c_str(), 0700);
    ::chmod(registry.c_str(), 0);
    int code = -1;
    const std::string said = testsupport::Shell(
        as + "env SORVANTA_CLASS_REGISTRY='" + registry + "' '" + testsupport::BinDir() + "/norvikel-regsvr' register '" +
            kModule + "' 2>&1",
        &code);
    EXPECT_EQ(1, code) << said;
    EXPECT_NE(std::string::npos, said.find("cannot read the class registry " + registry + ": Permission denied"))
        << said;
    EXPECT_EQ(std::string::npos, said.find("Move it aside")) << said;
}

// The user's registry is in the user's configuration folder, found from
// one resolution of the home: with HOME (or a relative one) and
// XDG_CONFIG_HOME unset, the password database's home; never a shared
// folder such as /tmp that another user could have put a registry into.
TEST(ClassRegistry, TheUsersRegistryFollowsTheHomeOfThePasswordDatabaseWhenHomeIsUnset)
{
    const passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(nullptr, pw);
    const std::string fromDatabase = std::string(pw->pw_dir) + "/.config/Sorvanta/classes.reg";
    const std::pair<std::string, std::string> cases[] = {
        {"-u HOME -u XDG_CONFIG_HOME", fromDatabase},
        {"-u XDG_CONFIG_HOME HOME=", fromDatabase},
        {"HOME=relative XDG_CONFIG_HOME=relative", fromDatabase},
        {"-u XDG_CONFIG_HOME HOME=/h", "/h/.config/Sorvanta/classes.reg"},
        {"HOME=/h XDG_CONFIG_HOME=/x", "/x/Sorvanta/classes.reg"},
        {"-u HOME XDG_CONFIG_HOME=/x", "/x/Sorvanta/classes.reg"},
    };
    for (const auto& [env, expected] : cases) {
        int code = -1;
        const std::string said = testsupport::Shell(
            "env -u SORVANTA_CLASS_REGISTRY " + env + " '" + testsupport::BinDir() + "/norvikel-regsvr' where", &code);
        EXPECT_EQ(0, code) << env;
        EXPECT_EQ(expected + "\n", said) << env;
    }
    // A user with neither HOME nor an entry in the password database (an
    // unused uid, as root through setpriv) has no registry, and hears so.
    if (::geteuid() == 0 && testsupport::Shell("command -v setpriv >/dev/null && echo yes", nullptr) == "yes\n") {
        uid_t uid = 61000;
        while (uid < 62000 && ::getpwuid(uid)) ++uid;
        int code = -1;
        const std::string said = testsupport::Shell("setpriv --reuid=" + std::to_string(uid) + " --regid=" +
                                                        std::to_string(uid) + " --clear-groups env -i '" +
                                                        testsupport::BinDir() + "/norvikel-regsvr' where 2>&1",
                                                    &code);
        EXPECT_EQ(1, code) << said;
        EXPECT_NE(std::string::npos, said.find("this user has no home folder")) << said;
    }
}
