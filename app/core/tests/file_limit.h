#pragma once
// Test helper: runs code in a child process under a file-size limit, which
// makes writes fail the way they fail on a full disk.
#include <csignal>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace coretest {

// Runs `body` in a child process whose files may grow to `limit` bytes. With
// SIGXFSZ ignored, a write past the limit fails (EFBIG) as on a full disk.
// The test process itself keeps its limits. Returns the child's result.
inline bool WithFileSizeLimit(rlim_t limit, const std::function<bool()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit r {limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &r);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace coretest
