#pragma once
// Kit for the jobs that walk a folder of images (crop, burn, batch, browser):
// folder and file listings, one-job-at-a-time guards that let the windows
// repaint between images, and path comparison.
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Names (no folder) of the regular files of `folder` that match any of the
// ";"-separated patterns, letter case ignored ("*_ph.tif;*_ph.bmp"). Sorted
// by name ignoring case. Empty when the folder cannot be read.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& patterns);

// Names of the sub-folders of `folder`, sorted the same way.
std::vector<std::string> ListSubfolders(const std::string& folder);

// The absolute path with symbolic links, "." and ".." resolved and without a
// trailing separator (the root stays "/"). Parts that do not exist yet are
// kept as written.
std::string CanonicalPath(const std::string& path);

// True when both paths name the same place (see CanonicalPath).
bool SamePath(const std::string& a, const std::string& b);

// Lets the window system run pending events (repaint, progress, a hand-over
// from a second instance). Does nothing without an application object.
void YieldToUi();

// Marks a long job as running for its lifetime. A second guard for a job that
// already runs is refused (started() false) and changes nothing.
//     JobGuard guard("Crop Domains");
//     if (!guard.started()) return;
//     for (...) { ...; YieldToUi(); }
class JobGuard {
public:
    explicit JobGuard(std::string job);
    ~JobGuard();
    JobGuard(const JobGuard&) = delete;
    JobGuard& operator=(const JobGuard&) = delete;

    bool started() const { return started_; }
    const std::string& job() const { return job_; }

    static bool IsRunning(const std::string& job);
    static bool AnyRunning();

    // Runs `action` once no job runs: at once when idle, else right after the
    // last running job ends (in the order the actions were given).
    static void WhenIdle(std::function<void()> action);

private:
    std::string job_;
    bool started_ = false;
};

} // namespace platform
