#pragma once
// A small test container: a scratch class registry with the control module
// registered by norvikel-regsvr, creation by ProgID, and call helpers that
// keep the status and the exception record of each call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "testsupport/offscreen_app.h"
#include "testsupport/testsupport.h"
#include "thumbctl/control/constants.h"
#include "thumbctl/control/host/object.h"
#include "thumbctl/control/host/registry.h"

namespace ctltest {

inline std::string ModulePath() { return testsupport::BinDir() + "/libNorvikel.so"; }

// Runs norvikel-regsvr with the registry in the environment; its exit code.
inline int RegSvr(const std::string& verb, const std::string& module = ModulePath())
{
    int code = -1;
    testsupport::Shell(testsupport::BinDir() + "/norvikel-regsvr " + verb + " " + module, &code);
    return code;
}

// Points the class registry of this process and of the tools it starts at a
// scratch file, and registers the module there.
class ScratchRegistry {
public:
    explicit ScratchRegistry(bool registerModule = true) : dir_("classreg")
    {
        path_ = dir_.file("classes.reg");
        setenv("SORVANTA_CLASS_REGISTRY", path_.c_str(), 1);
        if (registerModule) {
            EXPECT_EQ(RegSvr("register"), 0);
        }
    }
    ~ScratchRegistry() { unsetenv("SORVANTA_CLASS_REGISTRY"); }
    const std::string& path() const { return path_; }

private:
    testsupport::TempDir dir_;
    std::string path_;
};

struct Call {
    host::Status status = 0;
    host::Variant value;
    host::ExceptionInfo exception;
};

class Control {
public:
    Control()
    {
        testsupport::OffscreenApp();
        std::string why;
        status = host::CreateObject(thumbctl::kControlProgId, host::kIidDispatch, object.out(), &why);
        EXPECT_EQ(status, host::kOk) << host::StatusText(status) << " " << why;
        if (object) {
            auto persist = query<host::PersistPropertyBag>(host::kIidPersistPropertyBag);
            persist->InitNew();
        }
    }
    template <typename T>
    host::Ref<T> query(const char* iid) const
    {
        return host::Ref<T>::query(object.get(), iid);
    }
    int32_t id(const std::string& name) const
    {
        int32_t i = 0;
        EXPECT_EQ(object->GetIDOfName(name, &i), host::kOk) << name;
        return i;
    }
    Call invoke(const std::string& name, host::InvokeKind kind, std::vector<host::Variant> args) const
    {
        Call c;
        c.status = object->Invoke(id(name), kind, args, &c.value, &c.exception);
        return c;
    }
    Call get(const std::string& name, std::vector<host::Variant> index = {}) const
    {
        return invoke(name, host::InvokeKind::Get, std::move(index));
    }
    Call put(const std::string& name, host::Variant v, std::vector<host::Variant> index = {}) const
    {
        index.push_back(std::move(v));
        return invoke(name, host::InvokeKind::Put, std::move(index));
    }
    Call call(const std::string& name, std::vector<host::Variant> args = {}) const
    {
        return invoke(name, host::InvokeKind::Call, std::move(args));
    }

    host::Status status = 0;
    host::Ref<host::Dispatch> object;
};

inline host::Variant L(int32_t v) { return host::Variant::Long(v); }
inline host::Variant S(int16_t v) { return host::Variant::Short(v); }
inline host::Variant B(bool v) { return host::Variant::Bool(v); }
inline host::Variant T(const std::string& v) { return host::Variant::String(v); }

} // namespace ctltest
