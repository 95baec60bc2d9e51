#pragma once
// Helpers shared by the benchmarks: both sides of a comparison timed in turn
// inside one iteration of one process, the repetitions every figure runs
// with (medians and spread over them), the peak memory of one piece of work
// measured in a child process, and a scratch folder removed at exit.
#include "testsupport/peak_memory.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace benchcommon {

// Every figure is taken over this many repetitions; the reports give their
// median, mean, standard deviation and coefficient of variation, so a ratio
// read once from one iteration never stands for the figure.
constexpr int kRepetitions = 5;
inline void Repeated(benchmark::internal::Benchmark* b)
{
    b->Repetitions(kRepetitions)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
}

template <typename F>
double Seconds(F&& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Times `ours` and `reference` once each per iteration, in alternating order
// so that neither always finds the caches the other left, and sets the
// counter `ratio` to ours / reference over the repetition, with both sides'
// milliseconds per run beside it.
template <typename Ours, typename Reference>
void CompareInTurn(benchmark::State& state, const char* ratio, Ours&& ours, Reference&& reference)
{
    double a = 0, b = 0;
    bool referenceFirst = false;
    for (auto _ : state) {
        if (referenceFirst) b += Seconds(reference);
        a += Seconds(ours);
        if (!referenceFirst) b += Seconds(reference);
        referenceFirst = !referenceFirst;
    }
    const double n = double(state.iterations());
    state.counters[ratio] = b > 0 ? a / b : 0;
    state.counters["ours_ms"] = n > 0 ? 1000 * a / n : 0;
    state.counters["reference_ms"] = n > 0 ? 1000 * b / n : 0;
}

namespace detail {

// The scratch folders alive now, for the signal handler: fixed slots the
// handler reads without allocating.
constexpr int kScratchSlots = 8;
inline char scratchPaths[kScratchSlots][4096];

// Ended by Ctrl+C, `timeout` or a closed terminal, the program removes its
// scratch folders first (by `rm -rf`, through fork and exec: calls a signal
// handler may make), then ends by the same signal.
inline void RemoveScratchAndEnd(int sig)
{
    for (auto& path : scratchPaths) {
        if (path[0] == 0) continue;
        const pid_t child = ::fork();
        if (child == 0) {
            char rm[] = "rm", rf[] = "-rf", dashes[] = "--";
            char* const args[] = {rm, rf, dashes, path, nullptr};
            char* const noEnv[] = {nullptr};
            ::execve("/bin/rm", args, noEnv);
            ::_exit(127);
        }
        if (child > 0) {
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

inline void RemoveScratchOnSignals()
{
    static const bool installed = [] {
        struct sigaction sa {};
        sa.sa_handler = RemoveScratchAndEnd;
        sigemptyset(&sa.sa_mask);
        // A signal the program was started to ignore (nohup, a background
        // job) stays ignored.
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction was {};
            if (::sigaction(sig, nullptr, &was) == 0 && was.sa_handler != SIG_IGN) ::sigaction(sig, &sa, nullptr);
        }
        return true;
    }();
    (void)installed;
}

} // namespace detail

// A folder of files a benchmark makes, under TMPDIR (else /tmp), removed
// with everything in it when the object ends. Kept in a function-local static
// that nothing else in the program touches at exit, the folder goes when the
// program ends normally, however many benchmarks used it; interrupted
// (SIGINT, SIGTERM, SIGHUP) the program removes it before it ends.
class ScratchFolder {
public:
    explicit ScratchFolder(const char* tag)
    {
        const char* dir = std::getenv("TMPDIR");
        std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/" + tag + "XXXXXX";
        if (::mkdtemp(pattern.data())) path_ = pattern;
        for (auto& slot : detail::scratchPaths) {
            if (path_.empty() || path_.size() >= sizeof slot || slot[0] != 0) continue;
            detail::RemoveScratchOnSignals();
            std::memcpy(slot, path_.c_str(), path_.size() + 1);
            slot_ = slot;
            break;
        }
    }
    ~ScratchFolder()
    {
        if (slot_) slot_[0] = 0;
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // Empty when the folder could not be made.
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    char* slot_ = nullptr;
};

using testsupport::PeakBytes;
using testsupport::StatusKb;

} // namespace benchcommon
