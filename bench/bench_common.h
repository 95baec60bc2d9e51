#pragma once
// Helpers shared by the thumbnail and kernel-codec benchmarks: both sides of
// a comparison timed in turn inside one iteration of one process, the
// repetitions every figure runs with (medians and spread over them), and the
// peak memory of one piece of work measured in a child process.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

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

inline int64_t StatusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::atoll(line.c_str() + n + 1);
    return -1;
}

// Peak resident memory that `work` adds, measured in a child process whose
// peak is reset first; -1 when the system cannot tell or the work fails.
inline int64_t PeakBytes(const std::function<bool()>& work)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int64_t result = -1;
        std::ofstream("/proc/self/clear_refs") << "5";
        const int64_t before = StatusKb("VmRSS:");
        if (work()) {
            const int64_t peak = StatusKb("VmHWM:");
            if (before >= 0 && peak >= 0) result = (peak - before) * 1024;
        }
        if (write(fds[1], &result, sizeof result) != sizeof result) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    int64_t result = -1;
    if (pid < 0 || read(fds[0], &result, sizeof result) != sizeof result) result = -1;
    close(fds[0]);
    if (pid > 0) waitpid(pid, nullptr, 0);
    return result;
}

} // namespace benchcommon
