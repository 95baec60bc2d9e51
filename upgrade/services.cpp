// File operations, component registration, special folders, the shown
// release number and the stop signals of the upgrade tool.
#include "upgrade/services.h"

#include "platform/folders.h"
#include "platform/regular_file.h"
#include "platform/messages.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace upgrade {
namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

// Writes everything `in` holds to `out`; "" or the reason.
std::string CopyContents(int in, int out, const std::string& from, const std::string& target)
{
    std::vector<char> buf(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return from + ": " + ErrnoText(errno);
        }
        if (n == 0) return "";
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buf.data() + done, size_t(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return target + ": " + ErrnoText(errno);  // EFBIG and ENOSPC end up here
            }
            done += w;
        }
    }
}

// The mode of a file the upgrade puts into the installation, whatever the
// umask and the release folder's modes: every user runs and reads it.
mode_t ShippedMode(mode_t source) { return (source & 0111) ? 0755 : 0644; }

// Copies `from` into the file `out` already opened at `temp`, then renames
// it over `target` and syncs the target's folder. Closes `out`; removes
// `temp` on failure. With keepOwner the copy keeps the owner and group of
// `from` too, or the copy fails when the system does not allow it.
std::string FinishCopy(const std::string& from, int out, const std::string& temp, const std::string& target,
                       bool keepOwner)
{
    std::string error;
    int64_t size = 0;
    const int in = platform::OpenRegularFile(from, &size, &error);
    struct stat st {};
    if (in >= 0 && ::fstat(in, &st) != 0) error = from + ": " + ErrnoText(errno);
    if (error.empty()) error = CopyContents(in, out, from, target);
    const mode_t mode = keepOwner ? mode_t(st.st_mode & 07777) : ShippedMode(st.st_mode);
    if (error.empty() && ::fchmod(out, mode) != 0) error = target + ": " + ErrnoText(errno);
    if (error.empty() && keepOwner && ::fchown(out, st.st_uid, st.st_gid) != 0)
        error = target + ": the owner of " + from + " cannot be kept (" + ErrnoText(errno) + ")";
    if (error.empty() && ::fsync(out) != 0) error = target + ": " + ErrnoText(errno);
    if (::close(out) != 0 && error.empty()) error = target + ": " + ErrnoText(errno);
    if (in >= 0) ::close(in);
    if (error.empty() && ::rename(temp.c_str(), target.c_str()) != 0) error = target + ": " + ErrnoText(errno);
    if (error.empty()) error = SyncFolderOf(target);
    if (!error.empty()) ::unlink(temp.c_str());
    return error;
}

// Copies `from` over `target` through a hidden temporary file of a fresh
// name beside the target.
std::string CopyReplacing(const std::string& from, const std::string& target)
{
    std::string folder = platform::FolderOf(target);
    if (folder.empty()) folder = "./";
    std::string temp = folder + ".upg" + std::to_string(::getpid()) + "XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int out = ::mkstemp(name.data());
    if (out < 0) return target + ": " + ErrnoText(errno);
    temp.assign(name.data());
    return FinishCopy(from, out, temp, target, false);
}

std::string CreateFolders(const std::string& target)
{
    const std::string folder = platform::FolderOf(target);
    std::string path;
    for (std::string::size_type i = 0; i < folder.size(); ++i) {
        path += folder[i];
        if (folder[i] != '/' || path.size() <= 1) continue;
        if (::mkdir(path.c_str(), 0755) == 0) {
            if (::chmod(path.c_str(), 0755) != 0) return path + ": " + ErrnoText(errno);  // not the umask's
            const std::string error = SyncFolderOf(path.substr(0, path.size() - 1));
            if (!error.empty()) return error;
        } else if (errno != EEXIST) {
            return path + ": " + ErrnoText(errno);
        }
    }
    return "";
}

std::mutex gMutex;
std::function<void(bool)> gBusyPointer;
std::string gProgramFiles;

void BusyPointer(bool busy)
{
    std::function<void(bool)> handler;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        handler = gBusyPointer;
    }
    if (handler) handler(busy);
}

std::string ExistingFolder(const std::string& path)
{
    return !path.empty() && platform::IsFolder(path) ? path : std::string();
}

volatile std::sig_atomic_t gStopSignal = 0;

void NoteStopSignal(int signo) { gStopSignal = signo; }

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// How a child process ended.
struct ChildEnd {
    enum Kind { kExited, kSignaled, kTimedOut, kStopped, kNotStarted } kind = kNotStarted;
    int code = 0;         // exit status or signal
    std::string out, err; // what it wrote (the first 64 KB of each)
};

// A started child process and the read ends of its output pipes.
struct Child {
    pid_t pid = -1;
    int out = -1, err = -1;
};

// The environment of this process with `name` set to `value` (or as it is
// when value is empty), as "NAME=value" texts.
std::vector<std::string> EnvironmentWith(const std::string& name, const std::string& value)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (value.empty() || std::strncmp(*e, (name + "=").c_str(), name.size() + 1) != 0) env.emplace_back(*e);
    if (!value.empty()) env.push_back(name + "=" + value);
    return env;
}

// Starts `args` (args[0] a path) with the environment `env` and its standard
// output and error in pipes. The child is killed should this process die
// first. pid -1 when it cannot be started.
Child StartChild(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    Child child;
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return child;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return child;
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int s : kStopSignals) ::sigaction(s, &dfl, nullptr);
        ::sigaction(SIGXFSZ, &dfl, nullptr);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (pid < 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return child;
    }
    child.pid = pid;
    child.out = outPipe[0];
    child.err = errPipe[0];
    return child;
}

using Deadline = std::chrono::steady_clock::time_point;

// Milliseconds left until the deadline (0 when it has passed).
long long MillisecondsLeft(Deadline deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? left : 0;
}

// Reads the child's output until it closes both pipes (kExited), the
// deadline passes (kTimedOut) or a stop signal arrives (kStopped); closes
// the pipes. The first 64 KB of each stream go to end->out and end->err.
ChildEnd::Kind CollectOutput(const Child& child, Deadline deadline, ChildEnd* end)
{
    pollfd fds[2] = {{child.out, POLLIN, 0}, {child.err, POLLIN, 0}};
    std::string* sinks[2] = {&end->out, &end->err};
    int open = 2;
    ChildEnd::Kind kind = ChildEnd::kExited;
    while (open > 0) {
        if (gStopSignal != 0) {
            kind = ChildEnd::kStopped;
            break;
        }
        const long long left = MillisecondsLeft(deadline);
        if (left <= 0) {
            kind = ChildEnd::kTimedOut;
            break;
        }
        const int n = ::poll(fds, 2, int(std::min<long long>(left, 100)));
        if (n < 0 && errno != EINTR) {
            kind = ChildEnd::kTimedOut;  // cannot watch it: it is ended
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buf[4096];
            const ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                if (sinks[i]->size() < 65536) sinks[i]->append(buf, size_t(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    return kind;
}

// Waits for the child to end. A child that closed its output may still run:
// it too gets its time until the deadline and no more; with `kill` (or when
// time is up or a stop signal arrives) it is killed. Sets end->kind and
// end->code.
void ReapChild(pid_t pid, Deadline deadline, bool kill, ChildEnd* end)
{
    int status = 0;
    for (;;) {
        if (kill) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return;
        }
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return;  // not ours to wait for: nothing known
        if (gStopSignal != 0 || MillisecondsLeft(deadline) <= 0) {
            end->kind = gStopSignal != 0 ? ChildEnd::kStopped : ChildEnd::kTimedOut;
            kill = true;
            continue;
        }
        ::usleep(5000);
    }
    if (WIFEXITED(status)) {
        end->kind = ChildEnd::kExited;
        end->code = WEXITSTATUS(status);
    } else {
        end->kind = ChildEnd::kSignaled;
        end->code = WTERMSIG(status);
    }
}

// Runs `args` as a child process with its output in pipes (its environment
// this one's, `env` when given); kills it after timeoutMs or when a stop
// signal arrives.
ChildEnd RunChild(const std::vector<std::string>& args, int timeoutMs,
                  const std::vector<std::string>& env = EnvironmentWith("", ""))
{
    ChildEnd end;
    const Child child = StartChild(args, env);
    if (child.pid < 0) return end;
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const ChildEnd::Kind collected = CollectOutput(child, deadline, &end);
    const bool kill = collected != ChildEnd::kExited;
    if (kill) end.kind = collected;
    ReapChild(child.pid, deadline, kill, &end);
    return end;
}

// The helper given, else the one beside this program.
std::string HelperPath(const std::string& helper)
{
    return helper.empty() ? platform::JoinPath(platform::SystemFolder(), kRegistrationHelperFile) : helper;
}

} // namespace

int FileOperationCode(const std::string& operation)
{
    if (operation == "MoveFile") return 1;
    if (operation == "CopyFile") return 2;
    if (operation == "DeleteFile") return 3;
    if (operation == "RenameFile") return 4;
    return 0;
}

std::string CopyTarget(const std::string& from, const std::string& to)
{
    if (!to.empty() && to.back() == '/') return to + platform::FileNameOf(from);
    return to;
}

std::string CopyThrough(const std::string& from, const std::string& target, const std::string& temp, bool keepOwner)
{
    ::unlink(temp.c_str());
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) return temp + ": " + ErrnoText(errno);
    return FinishCopy(from, out, temp, target, keepOwner);
}

std::string SyncFolder(const std::string& folder)
{
    const std::string path = folder.empty() ? std::string(".") : folder;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return path + ": " + ErrnoText(errno);
    const int rc = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    // A file system that cannot sync folders orders its changes itself.
    if (rc != 0 && err != EINVAL && err != EROFS) return path + ": " + ErrnoText(err);
    return "";
}

std::string SyncFolderOf(const std::string& path)
{
    std::string folder = platform::FolderOf(path);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return SyncFolder(folder);
}

std::string ShellFileOperation(const std::string& operation, const std::string& from,
                               const std::string& to, int /*flags: nothing here ever asks*/)
{
    switch (FileOperationCode(operation)) {
    case 1: {  // move
        const std::string target = CopyTarget(from, to);
        if (::rename(from.c_str(), target.c_str()) == 0) return "";
        if (errno != EXDEV) return from + ": " + ErrnoText(errno);
        std::string error = CopyReplacing(from, target);
        if (error.empty() && ::unlink(from.c_str()) != 0) error = from + ": " + ErrnoText(errno);
        return error;
    }
    case 2: {
        const std::string target = CopyTarget(from, to);
        const std::string error = CreateFolders(target);  // as a shell copy does
        return error.empty() ? CopyReplacing(from, target) : error;
    }
    case 3:
        return ::unlink(from.c_str()) == 0 ? std::string() : from + ": " + ErrnoText(errno);
    case 4:
        return ::rename(from.c_str(), to.c_str()) == 0 ? std::string() : from + ": " + ErrnoText(errno);
    default:
        return "Unknown file operation \"" + operation + "\"";
    }
}

void SetBusyPointerHandler(std::function<void(bool)> handler)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gBusyPointer = std::move(handler);
}

bool RegUnregServer(const std::string& path, const std::string& command, int timeoutMs, const std::string& helper,
                    const std::string& registry)
{
    if (command != "r" && command != "u") {
        platform::ShowMessage("Unknown command handle", platform::kMsgOkOnly, kProgramName);
        return false;
    }
    BusyPointer(true);
    const ChildEnd end = RunChild({HelperPath(helper), command == "r" ? "register" : "unregister", path}, timeoutMs,
                                  EnvironmentWith("SORVANTA_CLASS_REGISTRY", registry));
    BusyPointer(false);
    if (end.kind == ChildEnd::kExited && end.code == 0) return true;
    if (end.kind == ChildEnd::kStopped) return false;  // the tool is stopping; no message box now
    // The helper says on standard error which failure it met.
    const bool exited = end.kind == ChildEnd::kExited;
    std::string message;
    if (exited && end.code == 1 && end.err.find(": cannot load ") != std::string::npos) {
        message = "Failure loading control DLL";
    } else if (end.kind == ChildEnd::kNotStarted || (exited && end.code == 127) ||
               (exited && end.code == 1 && end.err.find(" has no Dll") != std::string::npos)) {
        // No entry point, or the helper itself could not be started.
        message = "Process failed in obtaining entry point or creating thread.";
    } else if (exited && end.code == 1 && end.err.find("(0x") != std::string::npos) {
        // The helper ends its report with the entry point's status "(0x...)".
        const std::string code = end.err.substr(end.err.rfind("(0x") + 1, 10);
        message = std::string(command == "r" ? "Registration" : "Unregistration") + " of " + path + " failed (" +
                  code + ").";
    } else {
        // Timed out, killed by a signal (a damaged library) or ended abnormally.
        message = "Process failed in signaled state or time-out.";
    }
    // The helper's own words follow: the file and the reason it names.
    std::string said = end.err;
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
    if (!said.empty()) message += "\r" + said;
    platform::ShowMessage(message, platform::kMsgOkOnly, kProgramName);
    return false;
}

namespace {

// The one line a helper run prints: a path ("" with *error when it fails).
std::string AskHelper(const std::string& helper, const std::vector<std::string>& args, std::string* error)
{
    std::vector<std::string> argv = {HelperPath(helper)};
    argv.insert(argv.end(), args.begin(), args.end());
    const ChildEnd end = RunChild(argv, kRegistrationTimeoutMs);
    std::string path = end.out;
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
    if (end.kind != ChildEnd::kExited || end.code != 0 || path.empty() || path.find('\n') != std::string::npos) {
        std::string shown = HelperPath(helper);
        for (const std::string& a : args) shown += " " + a;
        if (error) *error = "the class registry cannot be found (" + shown + ")";
        return "";
    }
    return path;
}

} // namespace

std::string ClassRegistryPath(const std::string& helper, std::string* error)
{
    return AskHelper(helper, {"where"}, error);
}

std::string InstallationRegistryPath(const std::string& helper, const std::string& module, std::string* error)
{
    return AskHelper(helper, {"where", "--system", module}, error);
}

std::string ResolvedPath(const std::string& path)
{
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::vector<char> buf(4096);
        const ssize_t n = ::readlink(current.c_str(), buf.data(), buf.size());
        if (n <= 0 || size_t(n) >= buf.size()) return current;
        const std::string target(buf.data(), size_t(n));
        current = target.front() == '/' ? target : platform::FolderOf(current) + target;
    }
    return current;
}

void SetProgramFilesFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(gMutex);
    gProgramFiles = folder;
}

namespace {

bool HoldsInstallation(const std::string& programFiles)
{
    return platform::FileExists(platform::JoinPath(programFiles, "Calverdine", "Sorvanta", kProgramFile));
}

// The user's own installation: "~/.local/lib", or an earlier release's in
// the user's data folder.
std::string UserProgramFiles()
{
    const std::string home = platform::HomeFolder();
    const std::string lib = home.empty() ? std::string() : platform::JoinPath(home, ".local", "lib");
    const std::string data = platform::UserDataFolder();
    if (!lib.empty() && HoldsInstallation(lib)) return lib;
    if (HoldsInstallation(data)) return data;
    return lib.empty() ? data : lib;
}

} // namespace

std::string ProgramFilesOfPrefix(const std::string& prefix)
{
    const std::string lib = platform::JoinPath(prefix, "lib");
    const std::string share = platform::JoinPath(prefix, "share");
    return !HoldsInstallation(lib) && HoldsInstallation(share) ? share : lib;
}

std::string FindSystemFolder(int csidl)
{
    std::string programFiles;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        programFiles = gProgramFiles;
    }
    if (programFiles.empty()) programFiles = UserProgramFiles();
    switch (csidl) {
    case kFolderProgramFiles:
        return ExistingFolder(programFiles);
    case kFolderSystem:
        return ExistingFolder(platform::JoinPath(programFiles, "Calverdine", "Sorvanta"));
    default:
        return "";
    }
}

std::string ShownVersion(const std::string& fileVersion)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto dot = fileVersion.find('.', start);
        parts.push_back(fileVersion.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts.size() != 4) return fileVersion;
    return parts[0] + "." + parts[1] + "." + parts[3];
}

void CatchStopSignals()
{
    gStopSignal = 0;
    struct sigaction sa {};
    sa.sa_handler = NoteStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: a waiting call returns and sees the signal
    for (int s : kStopSignals) ::sigaction(s, &sa, nullptr);
}

void RestoreStopSignals()
{
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int s : kStopSignals) ::sigaction(s, &sa, nullptr);
}

int StopSignal() { return gStopSignal; }

} // namespace upgrade
