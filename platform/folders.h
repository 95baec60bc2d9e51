#pragma once
// Special folders and path building. Paths always use '/', never backslashes.
#include <string>

namespace platform {

// Folder our shared libraries are installed in (the program's own folder).
std::string SystemFolder();
void SetSystemFolder(const std::string& folder);   // tests and tools

// The user's data folder; "Calverdine/Utility Files" and "Calverdine/Results"
// live under it. By default UserDataFolder().
std::string BaseFolder();
void SetBaseFolder(const std::string& folder);     // tests and tools

// The user's home folder: $HOME when it is an absolute path, else the
// password database's entry of this user; "" when there is none. Every
// per-user place is built on this one answer: the user's data folder
// ($XDG_DATA_HOME when it is an absolute path, else "~/.local/share") and
// configuration folder ($XDG_CONFIG_HOME when absolute, else "~/.config");
// "" when the user has no home. All as the bytes the system gives, never
// passed through a Unicode string.
std::string HomeFolder();
std::string UserDataFolder();
std::string UserConfigFolder();

// "Utility Files" and "Results" under BaseFolder().
std::string UtilityFolder();
std::string ResultsFolder();

// Joins path pieces with exactly one '/' between them.
std::string JoinPath(const std::string& a, const std::string& b);
template <typename... More>
std::string JoinPath(const std::string& a, const std::string& b, const More&... more)
{
    return JoinPath(JoinPath(a, b), more...);
}

// Folder part of a path with its final '/', or "" when there is none.
std::string FolderOf(const std::string& path);
// File name part of a path.
std::string FileNameOf(const std::string& path);

bool FileExists(const std::string& path);      // a regular file or a folder
bool IsFolder(const std::string& path);

// Makes `folder` and every missing folder above it with mode 0700 whatever
// the umask (folders that exist are left as they are). False with *error
// ("<folder>: <reason>") when one cannot be made.
bool MakeFolders(const std::string& folder, std::string* error = nullptr);

} // namespace platform
