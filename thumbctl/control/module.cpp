// The module's exported entry points: self-registration into the class
// registry, the class factories of the control and its property page, and
// the unload query. Registration touches no widget and needs no application
// object.
#include <QApplication>

#include <dlfcn.h>

#include <atomic>
#include <string>

#include "thumbctl/control/constants.h"
#include "thumbctl/control/proppage.h"
#include "thumbctl/control/thumbnailctrl.h"
#include "thumbctl/control/typelib.h"
#include "thumbctl/control/host/registry.h"
#include "thumbctl/kernel/ipi_memory.h"

using host::Status;

namespace thumbctl {
namespace {

std::string ModulePath()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ModulePath), &info) || !info.dli_fname) return {};
    char resolved[4096];
    if (realpath(info.dli_fname, resolved)) return resolved;
    return info.dli_fname;
}

enum class Kind { Control, Page };

class Factory : public host::ClassFactory {
public:
    explicit Factory(Kind kind) : kind_(kind) { host::ModuleAddRef(); }
    Status QueryInterface(const std::string& iid, void** out) override
    {
        if (!out) return host::kInvalidPointer;
        *out = nullptr;
        if (iid != host::kIidUnknown && iid != host::kIidClassFactory) return host::kNoInterface;
        AddRef();
        *out = static_cast<host::ClassFactory*>(this);
        return host::kOk;
    }
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override
    {
        const uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    Status CreateInstance(host::Unknown* outer, const std::string& iid, void** out) override
    {
        if (!out) return host::kInvalidPointer;
        *out = nullptr;
        if (outer) return host::kNoAggregation;
        // Both objects are widgets.
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return host::kUnexpected;
        host::Unknown* object = nullptr;
        if (kind_ == Kind::Control) object = static_cast<host::Dispatch*>(CThumbnailCtrl::Create());
        else object = CThumbnailPropPage::Create();
        const Status s = object->QueryInterface(iid, out);
        object->Release();
        return s;
    }
    Status LockServer(bool lock) override
    {
        if (lock) host::ModuleAddRef();
        else host::ModuleRelease();
        return host::kOk;
    }

private:
    ~Factory() override { host::ModuleRelease(); }
    Kind kind_;
    std::atomic<uint32_t> refs_{1};
};

bool RegisterTypeLib(host::RegistryKeys& keys, const std::string& module)
{
    const auto& lib = NorvikelTypeLib();
    const std::string version = std::to_string(lib.major) + "." + std::to_string(lib.minor);
    auto& key = keys["TypeLib/" + lib.libId + "/" + version];
    key["Name"] = lib.name;
    key["Module"] = module;
    for (const auto& itf : lib.interfaces) {
        auto& ik = keys["Interface/" + itf.iid];
        ik["Name"] = itf.name;
        ik["TypeLib"] = lib.libId;
        ik["Version"] = version;
    }
    return true;
}

void UnregisterTypeLib(host::RegistryKeys& keys)
{
    const auto& lib = NorvikelTypeLib();
    keys.erase("TypeLib/" + lib.libId + "/" + std::to_string(lib.major) + "." + std::to_string(lib.minor));
    for (const auto& itf : lib.interfaces) keys.erase("Interface/" + itf.iid);
}

void RegisterClasses(host::RegistryKeys& keys, const std::string& module)
{
    auto& c = keys[std::string("CLSID/") + kControlClassId];
    c["Name"] = kControlTypeName;
    c["ProgID"] = kControlProgId;
    c["InprocServer"] = module;
    c["ThreadingModel"] = "Apartment";
    c["Control"] = "1";
    c["MiscStatus"] = std::to_string(kControlMiscStatus);
    c["ToolboxBitmap"] = module + ",1";
    c["TypeLib"] = kTypeLibId;
    c["Version"] = "1.0";
    keys[std::string("ProgID/") + kControlProgId]["CLSID"] = kControlClassId;
    keys[std::string("ProgID/") + kControlProgId]["Name"] = kControlTypeName;

    auto& p = keys[std::string("CLSID/") + kPropPageClassId];
    p["Name"] = kPropPageTypeName;
    p["ProgID"] = kPropPageProgId;
    p["InprocServer"] = module;
    p["ThreadingModel"] = "Apartment";
    keys[std::string("ProgID/") + kPropPageProgId]["CLSID"] = kPropPageClassId;
    keys[std::string("ProgID/") + kPropPageProgId]["Name"] = kPropPageTypeName;
}

void UnregisterClasses(host::RegistryKeys& keys)
{
    keys.erase(std::string("CLSID/") + kControlClassId);
    keys.erase(std::string("ProgID/") + kControlProgId);
    keys.erase(std::string("CLSID/") + kPropPageClassId);
    keys.erase(std::string("ProgID/") + kPropPageProgId);
}

} // namespace
} // namespace thumbctl

extern "C" {

__attribute__((visibility("default"))) Status DllRegisterServer()
{
    using namespace thumbctl;
    const std::string module = ModulePath();
    if (module.empty()) return host::kSelfRegTypeLib;
    if (!host::EditRegistry([&](host::RegistryKeys& k) { return RegisterTypeLib(k, module); }))
        return host::kSelfRegTypeLib;
    if (!host::EditRegistry([&](host::RegistryKeys& k) {
            RegisterClasses(k, module);
            return true;
        }))
        return host::kSelfRegClass;
    return host::kOk;
}

__attribute__((visibility("default"))) Status DllUnregisterServer()
{
    using namespace thumbctl;
    if (!host::EditRegistry([](host::RegistryKeys& k) {
            UnregisterTypeLib(k);
            return true;
        }))
        return host::kSelfRegTypeLib;
    if (!host::EditRegistry([](host::RegistryKeys& k) {
            UnregisterClasses(k);
            return true;
        }))
        return host::kSelfRegClass;
    return host::kOk;
}

__attribute__((visibility("default"))) Status DllGetClassObject(const char* classId, const char* iid, void** out)
{
    using namespace thumbctl;
    if (!out || !classId || !iid) return host::kInvalidPointer;
    *out = nullptr;
    Factory* f = nullptr;
    if (std::string(classId) == kControlClassId) f = new Factory(Kind::Control);
    else if (std::string(classId) == kPropPageClassId) f = new Factory(Kind::Page);
    else return host::kClassNotAvailable;
    const Status s = f->QueryInterface(iid, out);
    f->Release();
    return s;
}

__attribute__((visibility("default"))) Status DllCanUnloadNow()
{
    return host::ModuleLockCount() == 0 ? host::kOk : host::kFalse;
}

// The module's global-memory blocks (the table the control's bitmaps live
// in): a container hands bitmaps to AddDIB through these.
__attribute__((visibility("default"))) uint32_t NorvikelGlobalAlloc(int64_t size) { return ipiGlobalAlloc(size); }
__attribute__((visibility("default"))) void* NorvikelGlobalLock(uint32_t h) { return ipiGlobalLock(h); }
__attribute__((visibility("default"))) int NorvikelGlobalUnlock(uint32_t h) { return ipiGlobalUnlock(h) ? 1 : 0; }
__attribute__((visibility("default"))) int NorvikelGlobalFree(uint32_t h) { return ipiGlobalFree(h) ? 1 : 0; }
__attribute__((visibility("default"))) int64_t NorvikelGlobalSize(uint32_t h) { return ipiGlobalSize(h); }

} // extern "C"
