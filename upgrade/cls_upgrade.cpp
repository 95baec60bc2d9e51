// The upgrade script and its journalled changes.
#include "upgrade/cls_upgrade.h"

#include "platform/fileversion.h"
#include "platform/folders.h"
#include "thumbctl/control/host/registry_lock.h"
#include "upgrade/services.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace upgrade {
namespace {

std::string Join(const std::string& folder, const std::string& name) { return platform::JoinPath(folder, name); }

// Hidden names beside a file: the copy being written, and the old contents.
std::string TempOf(const std::string& target)
{
    return platform::FolderOf(target) + ".upgnew_" + platform::FileNameOf(target);
}
std::string BackupOf(const std::string& target)
{
    return platform::FolderOf(target) + ".upgold_" + platform::FileNameOf(target);
}

// Whether `path` lies in the user's home folder (the user's own
// installation), both taken as the files they name. A home that is the
// root folder (a service account's) holds every installation and makes
// none of them the user's own.
bool IsUnderHome(const std::string& path)
{
    const std::string home = platform::HomeFolder();
    if (home.empty() || path.empty()) return false;
    char a[PATH_MAX], b[PATH_MAX];
    if (!::realpath(home.c_str(), a) || !::realpath(path.c_str(), b)) return false;
    const std::string h = a, p = b;
    if (h == "/") return false;
    return p == h || (p.size() > h.size() && p.compare(0, h.size(), h) == 0 && p[h.size()] == '/');
}

} // namespace

const std::vector<std::string>& ChartStyleFiles()
{
    static const std::vector<std::string> names = {"Colorfill Contour.sty", "Grayfill Contour.sty",
                                                   "Colorline Contour.sty", "Blackline Contour.sty",
                                                   "Colorgray Contour.sty"};
    return names;
}

std::vector<std::string> ReleaseFiles()
{
    std::vector<std::string> names = {kProgramFile, kDiagonalLegendFile, kTiffLibraryFile, kAnalysisLibraryFile,
                                      kThumbnailControlFile, kRegistrationHelperFile};
    names.insert(names.end(), ChartStyleFiles().begin(), ChartStyleFiles().end());
    return names;
}

std::string JournalPath(const std::string& programFiles)
{
    return platform::JoinPath(programFiles, "Calverdine", kJournalFile);
}

clsUpgrade::clsUpgrade(std::string appFolder)
    : appFolder_(std::move(appFolder)), registrationTimeoutMs_(kRegistrationTimeoutMs)
{
    while (appFolder_.size() > 1 && appFolder_.back() == '/') appFolder_.pop_back();
}

clsUpgrade::~clsUpgrade()
{
    // A script that was interrupted before it finished leaves nothing half done.
    if (journal_.Active()) Rollback();
}

void clsUpgrade::Raise(int percent)
{
    if (Progress) Progress(percent);
}

void clsUpgrade::Pump()
{
    if (LetMessagesRun) LetMessagesRun();
}

bool clsUpgrade::Stopping()
{
    if (StopSignal() == 0) return false;
    failure_ = "the upgrade was interrupted (signal " + std::to_string(StopSignal()) + ").";
    return true;
}

bool clsUpgrade::Record(const JournalRecord& record)
{
    std::string error;
    if (journal_.Add(record, &error)) return true;
    failure_ = "the upgrade journal cannot be written: " + error;
    return false;
}

// Creates the missing folders up to `folder`, outermost first, each announced
// in the journal before it is made and synced into its parent after.
bool clsUpgrade::MakeFolders(const std::string& folder)
{
    std::vector<std::string> missing;
    for (std::string f = folder; f.size() > 1 && !platform::IsFolder(f);) {
        while (f.size() > 1 && f.back() == '/') f.pop_back();
        missing.insert(missing.begin(), f);
        f = platform::FolderOf(f);
    }
    for (const std::string& f : missing) {
        if (!Record({"folder", f})) return false;
        // Mode 0755 whatever the umask: every user of the installation
        // reads the folder.
        const bool made = ::mkdir(f.c_str(), 0755) == 0;
        if ((!made && (errno != EEXIST || !platform::IsFolder(f))) || (made && ::chmod(f.c_str(), 0755) != 0)) {
            failure_ = "\"" + f + "\" cannot be created: " + std::strerror(errno);
            return false;
        }
        const std::string error = SyncFolderOf(f);
        if (!error.empty()) {
            failure_ = "\"" + f + "\" cannot be created: " + error;
            return false;
        }
        Checkpoint();
    }
    return true;
}

bool clsUpgrade::Copy(const std::string& from, const std::string& to)
{
    if (Stopping()) return false;
    const std::string target = CopyTarget(from, to);
    if (!MakeFolders(platform::FolderOf(target))) return false;
    const std::string temp = TempOf(target);
    if (platform::FileExists(target)) {
        // The old contents stay under a hidden name beside the target until
        // the upgrade is complete: a hard link costs nothing; where links
        // are not allowed, a copy that keeps the owner too.
        const std::string backup = BackupOf(target);
        if (!Record({"replace", target, backup, temp})) return false;
        ::unlink(backup.c_str());
        std::string error;
        if (::link(target.c_str(), backup.c_str()) == 0)
            error = SyncFolderOf(backup);
        else
            error = CopyThrough(target, backup, temp, true);
        if (!error.empty()) {
            failure_ = "\"" + target + "\" cannot be replaced: " + error;
            return false;
        }
        Checkpoint();
    } else if (!Record({"new", target, temp})) {
        return false;
    }
    const std::string error = CopyThrough(from, target, temp);
    if (!error.empty()) {
        failure_ = "\"" + platform::FileNameOf(from) + "\" cannot be copied: " + error;
        return false;
    }
    Checkpoint();
    Pump();
    return true;
}

// The scope of the registration follows the installation: an installation
// in a shared prefix (anywhere but under the user's own home), which every
// user of it runs, gets its own registry, read by all of them; so does one
// that already has that registry. The user's own installation, under the
// home, keeps the user's registry otherwise. A registry reached through a
// symbolic link is the file the link names. "" with *error when the helper
// cannot tell.
std::string clsUpgrade::RegistryOfRegistration(const std::string& helper, const std::string& control,
                                               std::string* error)
{
    std::string registry = InstallationRegistryPath(helper, control, error);
    if (registry.empty()) return "";
    if (!platform::FileExists(ResolvedPath(registry)) && IsUnderHome(programFiles_)) {
        registry = ClassRegistryPath(helper, error);
        if (registry.empty()) return "";
    }
    return ResolvedPath(registry);
}

bool clsUpgrade::Register(const std::string& path)
{
    if (Stopping()) return false;
    // The registration changes the class registry. A copy of it is kept
    // until the upgrade is complete, so that a rollback restores it.
    const std::string helper = Join(releaseFolder_, kRegistrationHelperFile);
    std::string error;
    const std::string registry = RegistryOfRegistration(helper, path, &error);
    if (registry.empty()) {
        failure_ = "\"" + path + "\" cannot be registered: " + error;
        return false;
    }
    // Folders the registration will make are removed again by a rollback.
    if (!MakeFolders(platform::FolderOf(registry))) return false;
    const bool existed = platform::FileExists(registry);
    const std::string backup = BackupOf(registry);
    const std::string temp = TempOf(registry);
    if (!Record({"registry", registry, backup, temp, existed ? "1" : "0", host::RegistryLockPath(registry)})) return false;
    if (existed) {
        error = CopyThrough(registry, backup, temp, true);
        if (!error.empty()) {
            failure_ = "\"" + path + "\" cannot be registered: " + error;
            return false;
        }
    }
    Checkpoint();
    const bool ok = RegUnregServer(path, "r", registrationTimeoutMs_, helper, registry);
    Checkpoint();
    Pump();
    if (!ok && !Stopping()) failure_ = "\"" + path + "\" cannot be registered.";
    return ok;
}

void clsUpgrade::Rollback()
{
    std::string error;
    if (!journal_.Undo(&error)) {
        leftAsItWas_ = false;
        failure_ += " Not everything could be put back (" + error +
                    "); the next start of the upgrade tool tries again.";
    }
}

void clsUpgrade::Commit()
{
    // Backups that cannot be removed now are removed by the next start; the
    // upgrade itself is complete either way.
    std::string error;
    journal_.Commit(&error);
}

void clsUpgrade::Go()
{
    failure_.clear();
    leftAsItWas_ = true;

    releaseFolder_ = appFolder_;
    programFiles_ = FindSystemFolder(kFolderProgramFiles);
    systemFolder_ = FindSystemFolder(kFolderSystem);
    if (programFiles_.empty()) {
        failure_ = "there is no installation to upgrade.";
        return;
    }
    // An upgrade ended by force is put back before this one begins.
    std::string error;
    if (RecoverInterruptedUpgrade(JournalPath(programFiles_), &error) == Recovery::kFailed ||
        !journal_.Begin(JournalPath(programFiles_), &error)) {
        failure_ = "the upgrade journal cannot be used: " + error;
        return;
    }
    Raise(10);
    if (RunSteps())
        Commit();
    else
        Rollback();
}

bool clsUpgrade::RunSteps()
{
    const std::string programFolder = Join(Join(programFiles_, "Calverdine"), "Sorvanta");
    const std::string utilityFolder = Join(Join(programFiles_, "Calverdine"), "Utility Files") + "/";

    // The main program, always.
    if (!Copy(Join(releaseFolder_, kProgramFile), Join(programFolder, kProgramFile))) return false;
    Raise(20);

    // The picture libraries and their image control are built into the
    // program and the thumbnail control here: nothing to copy.
    Raise(30);

    for (const std::string& name : ChartStyleFiles())
        if (!platform::FileExists(utilityFolder + name) && !Copy(Join(releaseFolder_, name), utilityFolder))
            return false;
    Raise(40);

    // The 3D and 2D chart controls, their help files and shortcuts: the
    // charts are part of the program here.
    Raise(50);
    Raise(60);

    if (!platform::FileExists(utilityFolder + kDiagonalLegendFile) &&
        !Copy(Join(releaseFolder_, kDiagonalLegendFile), utilityFolder))
        return false;
    Raise(70);

    // The libraries the program loads: replaced unless they already carry
    // exactly the release's version (a missing file has none).
    const std::string system = systemFolder_.empty() ? programFolder : systemFolder_;
    if (platform::FileVersionOf(Join(system, kTiffLibraryFile)) != kTiffLibraryVersion &&
        !Copy(Join(releaseFolder_, kTiffLibraryFile), system + "/"))
        return false;
    if (platform::FileVersionOf(Join(system, kAnalysisLibraryFile)) != kAnalysisLibraryVersion &&
        !Copy(Join(releaseFolder_, kAnalysisLibraryFile), system + "/"))
        return false;
    Raise(80);

    // The folder-browse dialog is part of the program's toolkit: nothing to
    // install or register.
    Raise(90);

    const std::string control = Join(system, kThumbnailControlFile);
    if (!platform::FileExists(control)) {
        if (!Copy(Join(releaseFolder_, kThumbnailControlFile), system + "/")) return false;
        if (!Register(control)) return false;
    }
    Raise(100);
    return !Stopping();
}

} // namespace upgrade
