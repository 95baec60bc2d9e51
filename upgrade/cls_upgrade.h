#pragma once
// The upgrade script: copies a release's files over an installation, checks
// the versions of the libraries, registers the thumbnail control and raises
// progress from 10 to 100 percent. Every file it writes is kept in a
// transaction: when a step fails, every file it replaced gets its old
// contents back and every file it added is removed, so the installation is
// either upgraded or left as it was.
#include "upgrade/stopwatch.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace upgrade {

// File names of the release and the installation.
inline constexpr const char* kProgramFile = "Sorvanta";
inline constexpr const char* kTiffLibraryFile = "libStrandel.so";
inline constexpr const char* kTiffLibraryVersion = "1.1.0.0";
inline constexpr const char* kAnalysisLibraryFile = "libVarnholde.so";
inline constexpr const char* kAnalysisLibraryVersion = "2.0.0.0";
inline constexpr const char* kThumbnailControlFile = "libNorvikel.so";
inline constexpr const char* kDiagonalLegendFile = "Diagonal Legend.jpg";

// The chart style files of "Utility Files", copied when missing.
const std::vector<std::string>& ChartStyleFiles();

class clsUpgrade {
public:
    // appFolder: the release folder (the tool's own folder).
    explicit clsUpgrade(std::string appFolder);
    ~clsUpgrade();
    clsUpgrade(const clsUpgrade&) = delete;
    clsUpgrade& operator=(const clsUpgrade&) = delete;

    // Raised between the steps with 10, 20, ... 100.
    std::function<void(int percent)> Progress;
    // Lets pending window events run (after copies and registrations).
    std::function<void()> LetMessagesRun;

    // Runs the whole script. Afterwards Succeeded() tells whether every
    // step completed; otherwise Failure() names what went wrong and the
    // installation's files are as they were before Go.
    void Go();
    bool Succeeded() const { return failure_.empty(); }
    const std::string& Failure() const { return failure_; }

    void SetRegistrationTimeout(int ms) { registrationTimeoutMs_ = ms; }
    Stopwatch* stopwatch() { return stopwatch_ ? &*stopwatch_ : nullptr; }

    // The folders, fixed when Go starts.
    std::string APP, PF, SYS, WIN, HELP;

private:
    bool Copy(const std::string& from, const std::string& to);
    bool Register(const std::string& path);
    void Raise(int percent);
    void Pump();
    void Rollback();
    void Commit();

    std::string appFolder_;
    std::optional<Stopwatch> stopwatch_;
    int registrationTimeoutMs_;
    std::string failure_;
    // Files written: the target and the hidden copy of its old contents
    // ("" when the target did not exist).
    std::vector<std::pair<std::string, std::string>> written_;
    // Folders the script created, outermost first.
    std::vector<std::string> createdFolders_;
};

} // namespace upgrade
