#pragma once
// The services the upgrade script is built from: file operations, the
// registration of a component through its self-registration entry point
// (in a child process), special folders, the shown release number and the
// handling of the signals that end the tool. The registration reports its
// own failures in a message box; the results returned here let the script
// stop and report an upgrade that did not complete.
#include <functional>
#include <string>

#include "thumbctl/control/host/registry_lock.h"

namespace upgrade {

// Title of every message the tool shows.
inline constexpr const char* kUpgradeTitle = "Sorvanta Upgrade";
// Title of the registration messages: the program's name.
inline constexpr const char* kProgramName = "SorvantaUpgrade";
// The main program's file name, in the release and in the installation.
inline constexpr const char* kProgramFile = "Sorvanta";
// The registration helper, installed and shipped beside the tool.
inline constexpr const char* kRegistrationHelperFile = "norvikel-regsvr";

// ---- File operations ------------------------------------------------------

// Operation codes by name ("MoveFile" 1, "CopyFile" 2, "DeleteFile" 3,
// "RenameFile" 4); any other text, compared exactly, is 0.
int FileOperationCode(const std::string& operation);

// Flag of the file operations: existing targets are replaced without asking.
inline constexpr int kNoConfirmation = 16;

// Runs one file operation. A target ending in '/' is a folder that receives
// the file under its own name; missing target folders are created. A copy is written under a hidden temporary
// name in the target's folder and renamed over the target, so a running
// program or a loaded library is replaced whole and a failed copy leaves the
// old file as it was. Returns "" on success, else the reason.
std::string ShellFileOperation(const std::string& operation, const std::string& from,
                               const std::string& to, int flags);

// The target a copy of `from` to `to` writes (folder targets completed).
std::string CopyTarget(const std::string& from, const std::string& to);

// Copies the regular file `from` to `target` through the temporary file
// `temp` (in the target's folder; replaced when it exists), synced and then
// renamed over the target, whose folder is synced too: the target has its
// old contents or the new ones, never a part. The copy's mode is explicit,
// not the umask's: 0755 when the source may be run by anyone, else 0644
// (every user of the installation runs or reads it). With keepOwner (a
// backup, which must be faithful) the mode, owner and group follow the
// source exactly; when they cannot be kept, the copy fails. Returns "" or the reason; on failure
// `temp` is removed again.
std::string CopyThrough(const std::string& from, const std::string& target, const std::string& temp,
                        bool keepOwner = false);

// Syncs a folder, so that the renames, links and removals made in it so far
// are on the disk before a later journal record relies on them. "" or the
// reason. SyncFolderOf syncs the folder that holds `path`.
std::string SyncFolder(const std::string& folder);
std::string SyncFolderOf(const std::string& path);

// ---- Registration ---------------------------------------------------------

// How long a registration may run: it ends a library that hangs. Longer by
// far than any wait of the helper's own (the class registry's lock), so
// that the helper's words on a busy registry reach the user, and than a
// slow registration on a loaded machine (a sanitizer build's took 21 s).
inline constexpr int kRegistrationTimeoutMs = 12 * host::kRegistryLockWaitMs;
static_assert(kRegistrationTimeoutMs > 2 * host::kRegistryLockWaitMs, "the helper's own lock wait must end first");

// Registers (command "r") or unregisters ("u") the component at `path` by
// running the registration helper (`helper`; "" = the one beside this
// program) in a child process, which loads the library and calls its
// DllRegisterServer or DllUnregisterServer. `registry`, when given, is the
// class registry file the child writes (else the one it finds itself). The
// child is killed when it has not ended after timeoutMs, or when the tool is
// asked to stop, so nothing of it outlives the call. Shows the failure
// messages itself, each followed by what the helper said on its standard
// error; returns true when the entry point ran to its end and reported
// success.
bool RegUnregServer(const std::string& path, const std::string& command,
                    int timeoutMs = kRegistrationTimeoutMs, const std::string& helper = "",
                    const std::string& registry = "");

// Path of the user's class registry the helper writes ("" with *error when
// the helper cannot tell).
std::string ClassRegistryPath(const std::string& helper, std::string* error);
// Path of the class registry of the installation that holds `module`, which
// every user of it reads ("" with *error when the helper cannot tell).
std::string InstallationRegistryPath(const std::string& helper, const std::string& module, std::string* error);

// The file a path names once every symbolic link on its last part is
// followed (a dangling link: the file it would name); the path itself when
// it is no link.
std::string ResolvedPath(const std::string& path);

// Called with true while a registration runs and false after it (the window
// shows the busy pointer); empty by default.
void SetBusyPointerHandler(std::function<void(bool)> handler);

// ---- Special folders ------------------------------------------------------

// Folder identifiers the tool asks for.
enum SystemFolderId : int {
    kFolderSystem = 37,
    kFolderProgramFiles = 38,
};

// The Program Files folder of an installation: the folder that holds
// "Calverdine". Under an installation prefix that is "<prefix>/lib" (where
// architecture-dependent files belong); earlier releases installed into
// "<prefix>/share", and an installation found there is upgraded in place.
// ProgramFilesOfPrefix gives the one of the two that holds an installed
// program, else "<prefix>/lib".
std::string ProgramFilesOfPrefix(const std::string& prefix);
// Sets the Program Files folder (the tool's --prefix; tests). Empty: the
// user's own installation, under the prefix "~/.local" (an earlier
// release's in the user's data folder, $XDG_DATA_HOME or ~/.local/share).
void SetProgramFilesFolder(const std::string& folder);

// Path of a special folder, or "" when it does not exist (or the id is none
// of the above). The system folder (where the program loads its libraries
// from) is the installed program's own folder, "Calverdine/Sorvanta" under
// the Program Files folder.
std::string FindSystemFolder(int csidl);

// ---- Version text ---------------------------------------------------------

// The release number shown for a file version "a.b.c.d": "a.b.d"
// ("2.5.0.3" shows as "2.5.3", "2.10.0.3" as "2.10.3"). A text that is not
// four dot-separated parts is shown as it is.
std::string ShownVersion(const std::string& fileVersion);

// ---- Signals --------------------------------------------------------------

// From here on SIGINT, SIGTERM and SIGHUP only note that the tool is to stop
// (the script then rolls back and the caller ends the tool with that signal);
// RestoreStopSignals puts the default handling back.
void CatchStopSignals();
void RestoreStopSignals();
// The stop signal received since CatchStopSignals, or 0.
int StopSignal();

} // namespace upgrade
