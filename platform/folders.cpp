#include "platform/folders.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::mutex gMutex;
std::string gSystemFolder;
std::string gBaseFolder;

std::string ExecutableFolder()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    buf[n] = 0;
    std::string p(buf);
    auto slash = p.rfind('/');
    return slash == std::string::npos ? std::string(".") : p.substr(0, slash);
}

} // namespace

std::string SystemFolder()
{
    std::lock_guard<std::mutex> lock(gMutex);
    if (gSystemFolder.empty()) gSystemFolder = ExecutableFolder();
    return gSystemFolder;
}

void SetSystemFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gSystemFolder = folder;
}

std::string BaseFolder()
{
    std::lock_guard<std::mutex> lock(gMutex);
    if (gBaseFolder.empty()) {
        gBaseFolder = UserDataFolder();
        if (gBaseFolder.empty()) gBaseFolder = ".";
    }
    return gBaseFolder;
}

void SetBaseFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gBaseFolder = folder;
}

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') return pw->pw_dir;
    return "";
}

std::string UserDataFolder()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/') return data;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : JoinPath(home, ".local", "share");
}

std::string UserConfigFolder()
{
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') return config;
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : JoinPath(home, ".config");
}

std::string UtilityFolder() { return JoinPath(BaseFolder(), "Calverdine", "Utility Files"); }
std::string ResultsFolder() { return JoinPath(BaseFolder(), "Calverdine", "Results"); }

std::string JoinPath(const std::string& a, const std::string& b)
{
    if (a.empty()) return b;
    if (b.empty()) return a;
    const bool aSlash = a.back() == '/';
    const bool bSlash = b.front() == '/';
    if (aSlash && bSlash) return a + b.substr(1);
    if (aSlash || bSlash) return a + b;
    return a + "/" + b;
}

std::string FolderOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolders(const std::string& folder, std::string* error)
{
    std::string path;
    for (size_t i = 0; i <= folder.size(); ++i) {
        if (i < folder.size() && folder[i] != '/') {
            path += folder[i];
            continue;
        }
        if (!path.empty()) {
            // A new folder gets its mode set outright: the umask could
            // have left it wider (000) or narrower than meant.
            if (::mkdir(path.c_str(), 0700) == 0) {
                if (::chmod(path.c_str(), 0700) != 0) {
                    if (error) *error = path + ": " + std::strerror(errno);
                    return false;
                }
            } else if (errno != EEXIST) {
                if (error) *error = path + ": " + std::strerror(errno);
                return false;
            }
        }
        if (i < folder.size()) path += '/';
    }
    if (!IsFolder(folder)) {
        if (error) *error = folder + ": not a folder";
        return false;
    }
    return true;
}

} // namespace platform
