// The upgrade journal, its recovery and the installation lock.
#include "upgrade/journal.h"

#include "platform/folders.h"
#include "platform/regular_file.h"
#include "thumbctl/control/host/registry_lock.h"
#include "upgrade/services.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace upgrade {
namespace {

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Whether a failed removal found nothing to remove. A read-only file system
// answers EROFS even for a name that is not there; a step that never
// happened is not a failed undo.
bool NothingThere(const std::string& path, int err)
{
    return err == ENOENT || !Exists(path);
}

// Removes a file and syncs its folder; a file that is not there is no error.
std::string Remove(const std::string& path)
{
    if (::unlink(path.c_str()) == 0) return SyncFolderOf(path);
    if (NothingThere(path, errno)) return "";
    return path + ": " + std::strerror(errno);
}

// Removes a folder the upgrade made and syncs the folder that held it.
// Every file the upgrade put there is gone by now (records are undone
// newest first): a folder that still holds something holds what someone
// else put there since, and stays with it; anything else under that name
// was not made by the step either.
std::string RemoveFolder(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return "";
    if (::rmdir(path.c_str()) == 0) return SyncFolderOf(path);
    const int err = errno;
    if (NothingThere(path, err) || err == ENOTEMPTY || err == EEXIST) return "";
    return path + ": " + std::strerror(err);
}

std::string First(const std::string& a, const std::string& b) { return a.empty() ? b : a; }

const std::string& Field(const JournalRecord& r, size_t i)
{
    static const std::string none;
    return i < r.size() ? r[i] : none;
}

// Puts back the change one record announced; "" or the reason.
std::string UndoRecord(const JournalRecord& r)
{
    const std::string& kind = Field(r, 0);
    if (kind == "folder") return RemoveFolder(Field(r, 1));
    if (kind == "new") return First(Remove(Field(r, 2)), Remove(Field(r, 1)));
    if (kind == "replace" || kind == "registry") {
        const std::string& target = Field(r, 1);
        const std::string& backup = Field(r, 2);
        // The registry is put back under its own lock, as a change of it is
        // made: a registration that still runs for someone else ends first,
        // and whatever temporary file the registration ended by force left
        // beside the registry (it writes through one of its own) goes.
        host::RegistryLock lock;
        if (kind == "registry" && platform::IsFolder(platform::FolderOf(target))) {
            const std::string lockPath = Field(r, 5).empty() ? host::RegistryLockPath(target) : Field(r, 5);
            // A lock file that cannot even be made (a read-only folder) is
            // one no registration could have taken to write there either.
            if (const std::string why = lock.Take(lockPath); !why.empty() && lock.HeldElsewhere()) return why;
            if (const std::string why = host::RemoveRegistryLeftovers(target); !why.empty()) return why;
        }
        std::string error = Remove(Field(r, 3));
        if (Exists(backup)) {
            // The backup holds the old contents. When it is still a link to
            // the target itself (the copy had not been renamed in yet) the
            // rename does nothing and the link is simply removed.
            if (::rename(backup.c_str(), target.c_str()) != 0) return target + ": " + std::strerror(errno);
            error = First(error, SyncFolderOf(target));
            error = First(error, Remove(backup));
        } else if (kind == "registry" && Field(r, 4) == "0") {
            // There was no registry before: the registration made it.
            error = First(error, Remove(target));
        }
        // The lock file a registration ended by force left goes with ours.
        // A replaced file without a backup was never touched: the backup is
        // made before the copy starts.
        return error;
    }
    return "";  // commit, or a record this version does not write
}

// Removes the backups and temporary files of a completed upgrade.
std::string FinishRecord(const JournalRecord& r)
{
    const std::string& kind = Field(r, 0);
    if (kind == "new") return Remove(Field(r, 2));
    if (kind == "replace" || kind == "registry") return First(Remove(Field(r, 3)), Remove(Field(r, 2)));
    return "";
}

std::string UndoAll(const std::vector<JournalRecord>& records)
{
    std::string first;
    for (auto it = records.rbegin(); it != records.rend(); ++it) first = First(first, UndoRecord(*it));
    return first;
}

std::string FinishAll(const std::vector<JournalRecord>& records)
{
    std::string first;
    for (const JournalRecord& r : records) first = First(first, FinishRecord(r));
    return first;
}

bool Committed(const std::vector<JournalRecord>& records)
{
    for (const JournalRecord& r : records)
        if (Field(r, 0) == "commit") return true;
    return false;
}

// The complete records of a journal file; a last line cut short by the end
// of the tool announced nothing that was done.
bool ReadJournal(const std::string& path, std::vector<JournalRecord>* records, std::string* error)
{
    std::string text;
    if (!platform::ReadRegularFile(path, kMaxJournalBytes, &text, error)) return false;
    std::string::size_type start = 0;
    for (auto end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start)) {
        JournalRecord record;
        const std::string line = text.substr(start, end - start);
        std::string::size_type from = 0;
        for (auto tab = line.find('\t'); ; tab = line.find('\t', from)) {
            record.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
            if (tab == std::string::npos) break;
            from = tab + 1;
        }
        records->push_back(std::move(record));
    }
    return true;
}

} // namespace

Journal::~Journal() { Close(); }

void Journal::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Journal::Begin(const std::string& path, std::string* error)
{
    Close();
    records_.clear();
    path_ = path;
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0644);
    struct stat st {};
    std::string why;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        why = path + ": " + std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        why = path + ": not a regular file";
    else
        why = SyncFolderOf(path);  // the journal's name is on the disk before any record relies on it
    if (!why.empty()) {
        if (error) *error = why;
        Close();
        return false;
    }
    return true;
}

bool Journal::Add(const JournalRecord& record, std::string* error)
{
    std::string line;
    for (const std::string& field : record) {
        if (field.find_first_of("\t\n") != std::string::npos) {
            if (error) *error = "\"" + field + "\": a tab or line break in a path";
            return false;
        }
        if (!line.empty()) line += '\t';
        line += field;
    }
    line += '\n';
    for (size_t done = 0; done < line.size();) {
        const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (error) *error = path_ + ": " + std::strerror(errno);
            return false;
        }
        done += size_t(n);
    }
    if (::fsync(fd_) != 0) {
        if (error) *error = path_ + ": " + std::strerror(errno);
        return false;
    }
    records_.push_back(record);
    Checkpoint();
    return true;
}

bool Journal::Undo(std::string* error)
{
    if (!Active()) return true;
    return Retire(UndoAll(records_), error);
}

bool Journal::Commit(std::string* error)
{
    if (!Active()) return true;
    if (!Add({"commit"}, error)) return false;
    // From here on the upgrade stands: whatever ends the tool now, the next
    // start finishes the clearing.
    return Retire(FinishAll(records_), error);
}

bool Journal::Retire(const std::string& why, std::string* error)
{
    Close();
    if (!why.empty()) {
        if (error) *error = why;
        return false;
    }
    records_.clear();
    Remove(path_);
    return true;
}

Recovery RecoverInterruptedUpgrade(const std::string& path, std::string* error)
{
    if (!Exists(path)) return Recovery::kNothing;
    std::vector<JournalRecord> records;
    if (!ReadJournal(path, &records, error)) return Recovery::kFailed;
    const bool committed = Committed(records);
    const std::string why = committed ? FinishAll(records) : UndoAll(records);
    if (!why.empty()) {
        if (error) *error = why;
        return Recovery::kFailed;
    }
    Remove(path);
    return committed ? Recovery::kFinished : Recovery::kUndone;
}

InstallationLock::~InstallationLock()
{
    if (fd_ >= 0) ::close(fd_);
}

bool InstallationLock::Take(const std::string& folder)
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return false;
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd_);
        fd_ = -1;
        return false;
    }
    return true;
}

void Checkpoint()
{
    static const std::pair<int, long> halt = [] {
        const char* v = std::getenv("SORVANTA_UPGRADE_TEST_HALT");
        if (!v) return std::pair<int, long>(0, 0);
        const std::string text = v;
        const auto colon = text.find(':');
        if (colon == std::string::npos) return std::pair<int, long>(0, 0);
        const std::string how = text.substr(0, colon);
        const int signo = how == "kill"   ? SIGKILL
                          : how == "stop" ? SIGSTOP
                          : how == "term" ? SIGTERM
                          : how == "int"  ? SIGINT
                          : how == "hup"  ? SIGHUP
                                          : 0;
        return std::pair<int, long>(signo, std::atol(text.c_str() + colon + 1));
    }();
    static long count = 0;
    if (halt.first != 0 && ++count == halt.second) ::raise(halt.first);
}

} // namespace upgrade
