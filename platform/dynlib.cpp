#include "platform/dynlib.h"

#include "platform/folders.h"

#include <dlfcn.h>

namespace platform {

DynamicLibrary::DynamicLibrary(std::string fileName) : fileName_(std::move(fileName)) {}

std::string DynamicLibrary::path() const
{
    return JoinPath(SystemFolder(), fileName_);
}

bool DynamicLibrary::load()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (handle_) return true;
    if (tried_) return false;
    tried_ = true;
    const std::string full = path();
    handle_ = dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = "Cannot load " + full + (why ? std::string(": ") + why : std::string());
        return false;
    }
    return true;
}

void* DynamicLibrary::symbol(const char* name)
{
    if (!load()) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    dlerror();
    void* p = dlsym(handle_, name);
    if (!p) error_ = "Function " + std::string(name) + " not found in " + fileName_;
    return p;
}

std::string DynamicLibrary::lastError() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

} // namespace platform
