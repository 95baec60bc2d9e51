#pragma once
// The upgrade script: copies a release's files over an installation, checks
// the versions of the libraries, registers the thumbnail control and raises
// progress from 10 to 100 percent. Every change is announced in the
// installation's journal before it is made: when a step fails, or the
// object goes away before the script ends, every file it replaced gets its
// old contents back, every file and folder it added is removed and the class
// registry is restored, so the installation is either upgraded or left as
// it was; an upgrade ended by force is put back by the next start.
#include "sorvanta_versions.h"
#include "upgrade/journal.h"
#include "upgrade/services.h"

#include <functional>
#include <string>
#include <vector>

namespace upgrade {

// File names of the release and the installation, and the library versions
// the release carries (set where the build gives the libraries their versions).
inline constexpr const char* kTiffLibraryFile = "libStrandel.so";
inline constexpr const char* kTiffLibraryVersion = SORVANTA_TIFF_LIBRARY_VERSION;
inline constexpr const char* kAnalysisLibraryFile = "libVarnholde.so";
inline constexpr const char* kAnalysisLibraryVersion = SORVANTA_ANALYSIS_LIBRARY_VERSION;
inline constexpr const char* kThumbnailControlFile = "libNorvikel.so";
inline constexpr const char* kDiagonalLegendFile = "Diagonal Legend.jpg";

// The chart style files of "Utility Files", copied when missing.
const std::vector<std::string>& ChartStyleFiles();

// Every file the release must hold: what the script may copy and the
// registration helper.
std::vector<std::string> ReleaseFiles();

// The journal's place in the installation under the Program Files folder.
std::string JournalPath(const std::string& programFiles);

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
    // After a failure: whether the installation is as it was before Go
    // (false when the rollback could not put everything back; Failure()
    // then says what stayed, and the next start of the tool tries again).
    bool LeftAsItWas() const { return leftAsItWas_; }

    void SetRegistrationTimeout(int ms) { registrationTimeoutMs_ = ms; }

private:
    bool RunSteps();
    bool MakeFolders(const std::string& folder);
    bool Copy(const std::string& from, const std::string& to);
    bool Register(const std::string& path);
    std::string RegistryOfRegistration(const std::string& helper, const std::string& control, std::string* error);
    bool Record(const JournalRecord& record);
    bool Stopping();
    void Raise(int percent);
    void Pump();
    void Rollback();
    void Commit();

    std::string appFolder_;
    // The folders, fixed when Go starts: the release folder, the Program
    // Files folder that holds "Calverdine", and the installed program's
    // folder, from which it loads its libraries.
    std::string releaseFolder_, programFiles_, systemFolder_;
    int registrationTimeoutMs_;
    std::string failure_;
    bool leftAsItWas_ = true;
    Journal journal_;
};

} // namespace upgrade
