#pragma once
// Loading a shared library by file name on first use and binding each function
// by name on its own first call. Nothing is ever unloaded.
#include <mutex>
#include <string>

namespace platform {

class DynamicLibrary {
public:
    // fileName is looked up in SystemFolder() (the folder of our own libraries).
    explicit DynamicLibrary(std::string fileName);
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Address of an exported symbol, or nullptr; the library is loaded on the
    // first call. On failure lastError() tells what was missing.
    void* symbol(const char* name);
    bool load();
    const std::string& fileName() const { return fileName_; }
    std::string path() const;
    std::string lastError() const;

private:
    std::string fileName_;
    void* handle_ = nullptr;
    bool tried_ = false;
    std::string error_;
    mutable std::mutex mutex_;
};

// A function of a DynamicLibrary bound on its first call.
template <typename Sig>
class LazyFunction;

template <typename R, typename... Args>
class LazyFunction<R(Args...)> {
public:
    LazyFunction(DynamicLibrary& lib, const char* name) : lib_(lib), name_(name) {}
    // Null when the library or the symbol is missing.
    R (*get())(Args...)
    {
        if (!fn_) fn_ = reinterpret_cast<R (*)(Args...)>(lib_.symbol(name_));
        return fn_;
    }

private:
    DynamicLibrary& lib_;
    const char* name_;
    R (*fn_)(Args...) = nullptr;
};

} // namespace platform
