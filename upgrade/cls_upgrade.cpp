// The upgrade script and its file transaction.
#include "upgrade/cls_upgrade.h"

#include "platform/fileversion.h"
#include "platform/folders.h"
#include "upgrade/services.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace upgrade {
namespace {

std::string Join(const std::string& folder, const std::string& name) { return platform::JoinPath(folder, name); }

} // namespace

const std::vector<std::string>& ChartStyleFiles()
{
    static const std::vector<std::string> names = {"Colorfill Contour.sty", "Grayfill Contour.sty",
                                                   "Colorline Contour.sty", "Blackline Contour.sty",
                                                   "Colorgray Contour.sty"};
    return names;
}

clsUpgrade::clsUpgrade(std::string appFolder)
    : appFolder_(std::move(appFolder)), registrationTimeoutMs_(kRegistrationTimeoutMs)
{
    while (appFolder_.size() > 1 && appFolder_.back() == '/') appFolder_.pop_back();
}

clsUpgrade::~clsUpgrade()
{
    // A script that was interrupted before it finished leaves nothing half done.
    if (!written_.empty()) Rollback();
}

void clsUpgrade::Raise(int percent)
{
    if (Progress) Progress(percent);
}

void clsUpgrade::Pump()
{
    if (LetMessagesRun) LetMessagesRun();
}

bool clsUpgrade::Copy(const std::string& from, const std::string& to)
{
    const std::string target = CopyTarget(from, to);
    // Folders the copy will create, so that a rollback removes them again.
    std::vector<std::string> missing;
    for (std::string folder = platform::FolderOf(target); folder.size() > 1 && !platform::IsFolder(folder);) {
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        missing.insert(missing.begin(), folder);
        folder = platform::FolderOf(folder);
    }
    std::string backup;
    if (platform::FileExists(target)) {
        // Keep the old contents under a hidden name beside the target: a hard
        // link costs nothing; where links are not allowed, a copy.
        backup = platform::FolderOf(target) + ".upgold" + std::to_string(::getpid()) + "_" +
                 std::to_string(written_.size()) + "_" + platform::FileNameOf(target);
        ::unlink(backup.c_str());
        if (::link(target.c_str(), backup.c_str()) != 0) {
            const std::string error = ShellFileOperation("CopyFile", target, backup, kNoConfirmation);
            if (!error.empty()) {
                failure_ = "\"" + target + "\" cannot be replaced: " + error;
                return false;
            }
        }
    }
    const std::string error = ShellFileOperation("CopyFile", from, to, kNoConfirmation);
    if (!error.empty()) {
        if (!backup.empty()) ::unlink(backup.c_str());
        failure_ = "\"" + platform::FileNameOf(from) + "\" cannot be copied: " + error;
        return false;
    }
    createdFolders_.insert(createdFolders_.end(), missing.begin(), missing.end());
    written_.emplace_back(target, backup);
    Pump();
    return true;
}

bool clsUpgrade::Register(const std::string& path)
{
    const bool ok = RegUnregServer(path, "r", registrationTimeoutMs_);
    Pump();
    if (!ok) failure_ = "\"" + path + "\" cannot be registered.";
    return ok;
}

void clsUpgrade::Rollback()
{
    for (auto it = written_.rbegin(); it != written_.rend(); ++it) {
        if (it->second.empty())
            ::unlink(it->first.c_str());
        else
            ::rename(it->second.c_str(), it->first.c_str());
    }
    written_.clear();
    for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it) ::rmdir(it->c_str());
    createdFolders_.clear();
}

void clsUpgrade::Commit()
{
    for (const auto& w : written_)
        if (!w.second.empty()) ::unlink(w.second.c_str());
    written_.clear();
    createdFolders_.clear();
}

void clsUpgrade::Go()
{
    failure_.clear();
    if (!stopwatch_) stopwatch_.emplace();
    stopwatch_->Start();

    APP = appFolder_;
    PF = FindSystemFolder(kFolderProgramFiles);
    SYS = FindSystemFolder(kFolderSystem);
    WIN = FindSystemFolder(kFolderWindows);
    HELP = WIN.empty() ? std::string() : Join(WIN, "Help");
    const std::string programFolder = Join(Join(PF, "Calverdine"), "Sorvanta");
    const std::string utilityFolder = Join(Join(PF, "Calverdine"), "Utility Files") + "/";
    Raise(10);

    auto run = [&]() -> bool {
        // The main program, always.
        if (!Copy(Join(APP, kProgramFile), Join(programFolder, kProgramFile))) return false;
        Raise(20);

        // The image control and its run-time files of the original
        // installation have no counterpart here.
        Raise(30);

        for (const std::string& name : ChartStyleFiles())
            if (!platform::FileExists(utilityFolder + name) && !Copy(Join(APP, name), utilityFolder)) return false;
        Raise(40);

        // The 3D and 2D chart controls, their help files and shortcuts: the
        // charts are part of the program here.
        Raise(50);
        Raise(60);

        if (!platform::FileExists(utilityFolder + kDiagonalLegendFile) &&
            !Copy(Join(APP, kDiagonalLegendFile), utilityFolder))
            return false;
        Raise(70);

        // The libraries the program loads: replaced unless they already
        // carry exactly the release's version (a missing file has none).
        const std::string system = SYS.empty() ? programFolder : SYS;
        if (platform::FileVersionOf(Join(system, kTiffLibraryFile)) != kTiffLibraryVersion &&
            !Copy(Join(APP, kTiffLibraryFile), system + "/"))
            return false;
        if (platform::FileVersionOf(Join(system, kAnalysisLibraryFile)) != kAnalysisLibraryVersion &&
            !Copy(Join(APP, kAnalysisLibraryFile), system + "/"))
            return false;
        Raise(80);

        // The folder-browse component of the original: no counterpart here.
        Raise(90);

        const std::string control = Join(system, kThumbnailControlFile);
        if (!platform::FileExists(control)) {
            if (!Copy(Join(APP, kThumbnailControlFile), system + "/")) return false;
            if (!Register(control)) return false;
        }
        Raise(100);
        return true;
    };

    if (run())
        Commit();
    else
        Rollback();
}

} // namespace upgrade
