// The control in a Qt window through its class registry and automation.
#include "thumbctl/control/view_embed.h"

#include "thumbctl/control/constants.h"
#include "thumbctl/control/host/registry.h"

#include <QWidget>

#include <cstdlib>
#include <dlfcn.h>

namespace thumbctl {

std::unique_ptr<EmbeddedControl> EmbeddedControl::Create(QWidget* parent, const std::string& moduleFolder,
                                                         std::string* error)
{
    std::unique_ptr<EmbeddedControl> c(new EmbeddedControl);
    c->registryDir_ = std::make_unique<QTemporaryDir>();
    const std::string registry = c->registryDir_->filePath(QStringLiteral("classes.reg")).toStdString();
    // The module reads the registry location from the environment as well.
    ::setenv("SORVANTA_CLASS_REGISTRY", registry.c_str(), 1);
    host::SetRegistryPath(registry);
    const std::string module = moduleFolder + "/libNorvikel.so";
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        *error = "cannot load " + module;
        return nullptr;
    }
    auto reg = reinterpret_cast<host::RegisterServerFn>(::dlsym(handle, "DllRegisterServer"));
    if (!reg || reg() != host::kOk) {
        *error = "cannot register " + module;
        return nullptr;
    }
    if (host::CreateObject(kControlProgId, host::kIidDispatch, c->dispatch_.out(), error) != host::kOk)
        return nullptr;
    auto persist = host::Ref<host::PersistPropertyBag>::query(c->dispatch_.get(), host::kIidPersistPropertyBag);
    auto ole = host::Ref<host::OleControl>::query(c->dispatch_.get(), host::kIidOleControl);
    c->points_ = host::Ref<host::ConnectionPoints>::query(c->dispatch_.get(), host::kIidConnectionPoints);
    if (!persist || !ole || !c->points_) {
        *error = "the control lacks an interface";
        return nullptr;
    }
    persist->InitNew();
    ole->SetAmbientUserMode(true);
    c->points_->Advise(c.get(), &c->cookie_);
    c->widget_ = ole->CreateControlWindow(parent);
    return c;
}

EmbeddedControl::~EmbeddedControl()
{
    if (points_) points_->Unadvise(cookie_);
}

host::Status EmbeddedControl::Invoke(const std::string& name, host::InvokeKind kind,
                                     const std::vector<host::Variant>& args, host::Variant* result)
{
    int32_t id = 0;
    dispatch_->GetIDOfName(name, &id);
    host::ExceptionInfo info;
    const host::Status s = dispatch_->Invoke(id, kind, args, result, &info);
    exception_ = s == host::kOk ? std::string() : info.description;
    return s;
}

bool EmbeddedControl::Put(const std::string& name, const host::Variant& value, std::vector<host::Variant> index)
{
    index.push_back(value);
    host::Variant ignored;
    return Invoke(name, host::InvokeKind::Put, index, &ignored) == host::kOk;
}

host::Variant EmbeddedControl::Get(const std::string& name, std::vector<host::Variant> index)
{
    host::Variant result;
    Invoke(name, host::InvokeKind::Get, index, &result);
    return result;
}

host::Variant EmbeddedControl::Call(const std::string& name, std::vector<host::Variant> args)
{
    host::Variant result;
    Invoke(name, host::InvokeKind::Call, args, &result);
    return result;
}

} // namespace thumbctl
