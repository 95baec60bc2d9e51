// Registration through norvikel-regsvr into a scratch registry, creation by
// ProgID, and what unregistering leaves behind.
#include <dlfcn.h>

#include <filesystem>

#include <QCoreApplication>

#include "thumbctl/control/tests/control_host.h"

namespace {

using namespace ctltest;

TEST(Registration, RegisterCreateUnregister)
{
    ScratchRegistry reg(false);
    // Another server's entries survive our registration and removal.
    ASSERT_TRUE(host::EditRegistry([](host::RegistryKeys& k) {
        k["ProgID/Other.Thing.1"]["CLSID"] = "{0}";
        return true;
    }));
    ASSERT_EQ(RegSvr("register"), 0);
    ASSERT_EQ(RegSvr("register"), 0);  // twice is harmless

    host::RegistryKeys keys;
    ASSERT_TRUE(host::ReadRegistry(&keys));
    const auto& ctl = keys.at(std::string("CLSID/") + thumbctl::kControlClassId);
    EXPECT_EQ(ctl.at("ProgID"), "THUMBNAIL.ThumbnailCtrl.1");
    EXPECT_EQ(ctl.at("ThreadingModel"), "Apartment");
    EXPECT_EQ(ctl.at("MiscStatus"), std::to_string(0x20191));
    EXPECT_EQ(ctl.at("Version"), "1.0");
    char resolved[4096];
    ASSERT_NE(realpath(ModulePath().c_str(), resolved), nullptr);
    EXPECT_EQ(ctl.at("InprocServer"), resolved);
    EXPECT_EQ(keys.at("ProgID/THUMBNAIL.ThumbnailPropPage.1").at("CLSID"), thumbctl::kPropPageClassId);
    EXPECT_EQ(keys.at(std::string("TypeLib/") + thumbctl::kTypeLibId + "/1.0").at("Name"), "NorvikelLib");

    {
        Control c;
        ASSERT_TRUE(c.object);
        EXPECT_EQ(c.get("DataSource").value, S(2));
    }

    ASSERT_EQ(RegSvr("unregister"), 0);
    ASSERT_TRUE(host::ReadRegistry(&keys));
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_TRUE(keys.count("ProgID/Other.Thing.1"));

    host::Ref<host::Dispatch> again;
    const host::Status s = host::CreateObject(thumbctl::kControlProgId, host::kIidDispatch, again.out());
    EXPECT_EQ(s, host::kClassNotRegistered);
    EXPECT_EQ(host::StatusText(s), "class not registered");
    EXPECT_FALSE(again);

    // Every object is gone, so the module may be unloaded.
    void* module = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(module, nullptr);
    auto canUnload = reinterpret_cast<host::CanUnloadNowFn>(dlsym(module, "DllCanUnloadNow"));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), host::kOk);
    dlclose(module);
}

// A value is everything after the first '=' of its line: a module in a
// folder whose name holds '=' is read back at the path it was written with.
TEST(Registration, ValuesHoldingEqualsSignsReadBackWhole)
{
    ScratchRegistry reg(false);
    ASSERT_TRUE(host::EditRegistry([](host::RegistryKeys& k) {
        k["CLSID/{1}"]["InprocServer"] = "/opt/build=2/lib=x.so";
        k["CLSID/{1}"]["Trailing"] = "a==";
        return true;
    }));
    host::RegistryKeys keys;
    ASSERT_TRUE(host::ReadRegistry(&keys));
    ASSERT_EQ(keys.count("CLSID/{1}"), 1u);
    const auto& values = keys.at("CLSID/{1}");
    EXPECT_EQ(values.size(), 2u);
    EXPECT_EQ(values.count("InprocServer") ? values.at("InprocServer") : "(missing)", "/opt/build=2/lib=x.so");
    EXPECT_EQ(values.count("Trailing") ? values.at("Trailing") : "(missing)", "a==");
}

TEST(Registration, ToolReportsBadModules)
{
    ScratchRegistry reg(false);
    EXPECT_EQ(RegSvr("register", "/no/such/libThing.so"), 1);
    EXPECT_EQ(RegSvr("frobnicate"), 2);
    host::RegistryKeys keys;
    ASSERT_TRUE(host::ReadRegistry(&keys));
    EXPECT_TRUE(keys.empty());
}

TEST(Registration, UnwritableRegistryAndConcurrentWriters)
{
    testsupport::TempDir dir("classreg-lock");
    // A registry whose folder cannot be made: the type library step fails.
    setenv("SORVANTA_CLASS_REGISTRY", "/proc/no-such-folder/classes.reg", 1);
    int code = 0;
    const std::string said = testsupport::Shell(testsupport::BinDir() + "/norvikel-regsvr register " + ModulePath(), &code);
    EXPECT_EQ(code, 1);
    EXPECT_NE(said.find("0x80040200"), std::string::npos) << said;

    // Several registrations at once leave one whole registry behind.
    const std::string path = dir.file("classes.reg");
    setenv("SORVANTA_CLASS_REGISTRY", path.c_str(), 1);
    std::string many;
    for (int i = 0; i < 6; ++i)
        many += testsupport::BinDir() + "/norvikel-regsvr " + (i % 2 ? "register " : "unregister ") + ModulePath() + " & ";
    testsupport::Shell(many + "wait", &code);
    // What they left is read before anything else writes: whole, and with the
    // control's keys all there or all gone, whichever ran last.
    host::RegistryKeys keys;
    std::string why;
    ASSERT_TRUE(host::ReadRegistry(&keys, &why)) << why;
    EXPECT_FALSE(std::filesystem::exists(path + ".lock"));
    const bool hasProgId = keys.count("ProgID/THUMBNAIL.ThumbnailCtrl.1") == 1;
    EXPECT_EQ(keys.count(std::string("CLSID/") + thumbctl::kControlClassId) == 1, hasProgId);
    EXPECT_EQ(keys.count("ProgID/THUMBNAIL.ThumbnailPropPage.1") == 1, hasProgId);
    EXPECT_EQ(RegSvr("register"), 0);
    ASSERT_TRUE(host::ReadRegistry(&keys));
    EXPECT_EQ(keys.count("ProgID/THUMBNAIL.ThumbnailCtrl.1"), 1u);
    unsetenv("SORVANTA_CLASS_REGISTRY");
}

// A damaged registry is named with its line, never overwritten, and the tool
// says how to recover; a pipe or a device in its place is refused at once.
TEST(Registration, DamagedOrSpecialRegistryIsNamedAndKept)
{
    ScratchRegistry reg(false);
    const std::string damaged = "# registry\n[ProgID/Other.Thing.1]\nCLSID={0}\nthis line is garbage\n";
    testsupport::WriteBytes(reg.path(), std::vector<uint8_t>(damaged.begin(), damaged.end()));
    for (const char* verb : {"register", "unregister"}) {
        int code = 0;
        const std::string said =
            testsupport::Shell(testsupport::BinDir() + "/norvikel-regsvr " + verb + " " + ModulePath(), &code);
        EXPECT_EQ(code, 1) << said;
        EXPECT_NE(said.find(reg.path() + " is damaged: line 4"), std::string::npos) << said;
        EXPECT_NE(said.find("this line is garbage"), std::string::npos) << said;
        EXPECT_NE(said.find("Move it aside"), std::string::npos) << said;
        EXPECT_EQ(testsupport::ReadText(reg.path()), damaged) << verb;
    }
    // A container asking for the control hears the same reason.
    host::Ref<host::Dispatch> d;
    std::string why;
    EXPECT_EQ(host::CreateObject(thumbctl::kControlProgId, host::kIidDispatch, d.out(), &why),
              host::kClassNotRegistered);
    EXPECT_NE(why.find(reg.path() + " is damaged: line 4"), std::string::npos) << why;

    testsupport::HangGuard guard;
    std::filesystem::remove(reg.path());
    testsupport::MakeFifo(reg.path());
    for (const std::string& special : {reg.path(), std::string("/dev/zero")}) {
        setenv("SORVANTA_CLASS_REGISTRY", special.c_str(), 1);
        host::RegistryKeys keys;
        EXPECT_FALSE(host::ReadRegistry(&keys, &why)) << special;
        EXPECT_NE(why.find(special + ": not a regular file"), std::string::npos) << why;
        EXPECT_FALSE(host::EditRegistry([](host::RegistryKeys&) { return true; }, &why)) << special;
    }
    EXPECT_EQ(std::filesystem::status(reg.path()).type(), std::filesystem::file_type::fifo);
}

TEST(Registration, UnknownProgIdAndForeignClass)
{
    ScratchRegistry reg;
    host::Ref<host::Dispatch> d;
    // Without an application object the widget classes cannot be made (ctest
    // runs each test in a process of its own; run together, an earlier test
    // may already have made the application object).
    if (!QCoreApplication::instance()) {
        EXPECT_EQ(host::CreateObject(thumbctl::kControlProgId, host::kIidDispatch, d.out()), host::kUnexpected);
    }
    testsupport::OffscreenApp();
    EXPECT_EQ(host::CreateObject("THUMBNAIL.Nothing.1", host::kIidDispatch, d.out()), host::kClassNotRegistered);
    // A control asked for an interface it does not have.
    host::Ref<host::Unknown> u;
    EXPECT_EQ(host::CreateObject(thumbctl::kControlProgId, "IFrobnicate", u.out()), host::kNoInterface);
    EXPECT_FALSE(u);
}

} // namespace
