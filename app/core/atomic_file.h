#pragma once
// Files written whole or not at all, and the temporary files that make it so.
//
// An AtomicFile writes into a hidden temporary file beside its target,
// ".vh<pid>_s<n>.tmp" (the analysis library names its own ".vh<pid>_<n>.tmp"),
// and commit() renames it over the target, so a write that fails or a program
// that is killed never leaves a half-written file. The rules every writer of
// the program shares:
//   - the path is taken byte for byte, as the file system names it;
//   - a symbolic link is written through: its target is replaced, the link stays;
//   - a file that grants nobody write permission is not replaced (root included);
//   - only a regular file is replaced: a folder, pipe, device or socket stays;
//   - a replaced file keeps its permissions.
// A temporary file whose process has ended is stale: the first open of a
// folder in a process clears those of that folder (the folder written to: a
// link's target's), and RemoveStaleTemporaries clears those of any folder.
// Every whole-file write of the program ends here, whatever it encodes (the
// TIFF library writes the temporary file by its descriptor's name in /proc,
// the other codecs encode into memory first).
#include <functional>
#include <string>
#include <sys/types.h>

namespace core {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile() { discard(); }
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Makes the temporary file for `path`; false (error() says why) when the
    // target cannot be replaced or the folder takes no new file.
    bool open(const std::string& path);
    // Appends the bytes; false at the first one that could not be written.
    bool write(const char* data, size_t size);
    bool write(const std::string& bytes) { return write(bytes.data(), bytes.size()); }
    // Renames the finished file over the target; false (the temporary file
    // removed, the target untouched) when that fails.
    bool commit();
    // Removes the temporary file (the target stays as it was).
    void discard();
    bool isOpen() const { return fd_ >= 0; }
    // The temporary file's descriptor (-1 when not open), for an encoder that
    // writes into it itself; it stays this object's to close.
    int descriptor() const { return fd_; }
    const std::string& error() const { return error_; }
    // The file a commit replaces (the link's target for a symbolic link).
    const std::string& target() const { return target_; }

private:
    bool fail(const std::string& why);
    std::string target_, temporary_, error_;
    int fd_ = -1;
    int mode_ = -1;   // the replaced file's permissions, given at commit
};

// The file that writing `path` replaces: `path` itself, or for a symbolic
// link (a chain of them) the file it names.
std::string WriteTarget(const std::string& path);
// "" when a file may be written at `path` (a path within the system's limits,
// and none there or a regular file that grants write permission), else why not.
std::string ReplaceProblem(const std::string& path);

// True for a name of the program's temporary files (".vh<pid>_....tmp"),
// with the process that made it.
bool IsProgramTemporary(const std::string& name, pid_t* pid = nullptr);
// Removes from `folder` the program's temporary files whose process has
// ended (never this process's own); returns how many were removed.
int RemoveStaleTemporaries(const std::string& folder);

// Tests only: called with the target between the last write and the rename
// of every commit (nullptr: none).
void SetBeforeRenameHook(std::function<void(const std::string& target)> hook);

} // namespace core
