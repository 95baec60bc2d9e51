// The class registry as norvikel-regsvr and the program use it: the lock
// that a killed writer leaves, write failures named with their file and
// reason, a registry that is a symbolic link, and the installation's scope
// that every user reads after the user's own.
#include "app/browser/thumbnail_client.h"
#include "testsupport/testsupport.h"
#include "thumbctl/control/host/registry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

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
