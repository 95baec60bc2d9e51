// File operations, component registration, special folders, version tests
// and the shown release number of the upgrade tool.
#include "upgrade/services.h"

#include "platform/folders.h"
#include "platform/messages.h"

#include <QStandardPaths>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <future>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <dlfcn.h>

namespace upgrade {
namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

// Copies `from` over `target` through a hidden temporary file beside the
// target; the target keeps its old contents until the final rename.
std::string CopyReplacing(const std::string& from, const std::string& target)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return from + ": " + ErrnoText(errno);
    struct stat st {};
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return from + ": not a regular file";
    }
    std::string folder = platform::FolderOf(target);
    if (folder.empty()) folder = "./";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);  // as a shell copy does
    std::string temp = folder + ".upg" + std::to_string(::getpid()) + "XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int out = ::mkstemp(name.data());
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return target + ": " + ErrnoText(err);
    }
    temp.assign(name.data());
    std::string error;
    std::vector<char> buf(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = from + ": " + ErrnoText(errno);
            break;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buf.data() + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                error = target + ": " + ErrnoText(errno);
                break;
            }
            done += w;
        }
        if (!error.empty()) break;
    }
    if (error.empty() && ::fchmod(out, st.st_mode & 07777) != 0) error = target + ": " + ErrnoText(errno);
    if (error.empty() && ::fsync(out) != 0) error = target + ": " + ErrnoText(errno);
    if (::close(out) != 0 && error.empty()) error = target + ": " + ErrnoText(errno);
    ::close(in);
    if (error.empty() && ::rename(temp.c_str(), target.c_str()) != 0) error = target + ": " + ErrnoText(errno);
    if (!error.empty()) ::unlink(temp.c_str());
    return error;
}

std::mutex gMutex;
std::function<void(bool)> gBusyPointer;
std::string gProgramFiles;

void BusyPointer(bool busy)
{
    std::function<void(bool)> handler;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        handler = gBusyPointer;
    }
    if (handler) handler(busy);
}

std::string ExistingFolder(const std::string& path)
{
    return !path.empty() && platform::IsFolder(path) ? path : std::string();
}

} // namespace

int FileOperationCode(const std::string& operation)
{
    if (operation == "MoveFile") return 1;
    if (operation == "CopyFile") return 2;
    if (operation == "DeleteFile") return 3;
    if (operation == "RenameFile") return 4;
    return 0;
}

std::string CopyTarget(const std::string& from, const std::string& to)
{
    if (!to.empty() && to.back() == '/') return to + platform::FileNameOf(from);
    return to;
}

std::string ShellFileOperation(const std::string& operation, const std::string& from,
                               const std::string& to, int /*flags: nothing here ever asks*/)
{
    switch (FileOperationCode(operation)) {
    case 1: {  // move
        const std::string target = CopyTarget(from, to);
        if (::rename(from.c_str(), target.c_str()) == 0) return "";
        if (errno != EXDEV) return from + ": " + ErrnoText(errno);
        std::string error = CopyReplacing(from, target);
        if (error.empty() && ::unlink(from.c_str()) != 0) error = from + ": " + ErrnoText(errno);
        return error;
    }
    case 2:
        return CopyReplacing(from, CopyTarget(from, to));
    case 3:
        return ::unlink(from.c_str()) == 0 ? std::string() : from + ": " + ErrnoText(errno);
    case 4:
        return ::rename(from.c_str(), to.c_str()) == 0 ? std::string() : from + ": " + ErrnoText(errno);
    default:
        return "Unknown file operation \"" + operation + "\"";
    }
}

void SetBusyPointerHandler(std::function<void(bool)> handler)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gBusyPointer = std::move(handler);
}

bool RegUnregServer(const std::string& path, const std::string& command, int timeoutMs)
{
    void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        platform::ShowMessage("Failure loading control DLL", platform::kMsgOkOnly, kProgramName);
        return false;
    }
    const char* entry = command == "r" ? "DllRegisterServer" : command == "u" ? "DllUnregisterServer" : nullptr;
    if (!entry) {
        platform::ShowMessage("Unknown command handle", platform::kMsgOkOnly, kProgramName);
        ::dlclose(lib);
        return false;
    }
    using EntryPoint = int32_t (*)();
    auto fn = reinterpret_cast<EntryPoint>(::dlsym(lib, entry));
    if (!fn) {
        platform::ShowMessage("Process failed in obtaining entry point or creating thread.", platform::kMsgOkOnly,
                              kProgramName);
        ::dlclose(lib);
        return false;
    }
    BusyPointer(true);
    auto result = std::make_shared<std::promise<int32_t>>();
    std::future<int32_t> done = result->get_future();
    try {
        std::thread([fn, result] { result->set_value(fn()); }).detach();
    } catch (const std::system_error&) {
        BusyPointer(false);
        platform::ShowMessage("Process failed in obtaining entry point or creating thread.", platform::kMsgOkOnly,
                              kProgramName);
        ::dlclose(lib);
        return false;
    }
    if (done.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
        // The worker may still be inside the library: it stays loaded.
        BusyPointer(false);
        platform::ShowMessage("Process failed in signaled state or time-out.", platform::kMsgOkOnly, kProgramName);
        return false;
    }
    const int32_t status = done.get();
    ::dlclose(lib);
    BusyPointer(false);
    if (status < 0) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", uint32_t(status));
        platform::ShowMessage(std::string(command == "r" ? "Registration" : "Unregistration") + " of " + path +
                                  " failed (" + code + ").",
                              platform::kMsgOkOnly, kProgramName);
        return false;
    }
    return true;
}

void SetProgramFilesFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gProgramFiles = folder;
}

std::string FindSystemFolder(int csidl)
{
    std::string programFiles;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        programFiles = gProgramFiles;
    }
    if (programFiles.empty()) programFiles = platform::BaseFolder();
    switch (csidl) {
    case kFolderProgramFiles:
        return ExistingFolder(programFiles);
    case kFolderSystem:
        return ExistingFolder(platform::JoinPath(programFiles, "Calverdine", "Sorvanta"));
    case kFolderDesktop:
    case kFolderDesktopDirectory:
        return ExistingFolder(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString());
    case kFolderPrograms:
    case kFolderStartMenu:
        return ExistingFolder(QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation).toStdString());
    default:
        return "";
    }
}

bool IsWin95() { return false; }
bool IsWin98() { return false; }
bool IsWinME() { return false; }
bool IsWinNT4() { return false; }
bool IsWin2000() { return false; }
bool IsWinXP() { return false; }

std::string ShownVersion(const std::string& fileVersion)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto dot = fileVersion.find('.', start);
        parts.push_back(fileVersion.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts.size() != 4) return fileVersion;
    return parts[0] + "." + parts[1] + "." + parts[3];
}

} // namespace upgrade
