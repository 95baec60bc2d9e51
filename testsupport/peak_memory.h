#pragma once
// Peak memory of one piece of work, measured in a child process whose peak is
// reset first: the tests that bound the memory a reader may take and the
// benchmarks that report memory per decode read it the same way.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// A "Field:  N kB" line of /proc/self/status, in kB; -1 when absent.
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

// Peak resident memory of the largest process a shell command starts (the
// program a test runs), measured apart from every other child of the test;
// -1 when the system cannot tell. *exitCode gets the command's exit status.
inline int64_t CommandPeakBytes(const std::string& command, int* exitCode = nullptr)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int64_t result[2] = {-1, -1};
        const int status = std::system(command.c_str());
        result[1] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        struct rusage usage {};
        if (getrusage(RUSAGE_CHILDREN, &usage) == 0) result[0] = int64_t(usage.ru_maxrss) * 1024;
        if (write(fds[1], result, sizeof result) != sizeof result) _exit(1);
        _exit(0);
    }
    close(fds[1]);
    int64_t result[2] = {-1, -1};
    if (pid < 0 || read(fds[0], result, sizeof result) != sizeof result) result[0] = result[1] = -1;
    close(fds[0]);
    if (pid > 0) waitpid(pid, nullptr, 0);
    if (exitCode) *exitCode = int(result[1]);
    return result[0];
}

} // namespace testsupport
