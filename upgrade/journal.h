#pragma once
// The journal of an upgrade and the lock of an installation. Before each
// change to the installation (or to the class registry) the script appends
// a record of what it is about to do and syncs it, so that whatever ends the
// tool, the next start can undo the changes it finds in the journal, or
// finish an upgrade that had completed and was only clearing its backups.
//
// Records, one per line, fields separated by tabs:
//   folder   PATH                          a folder about to be created
//   new      TARGET TEMP                   a file about to be added
//   replace  TARGET BACKUP TEMP            a file about to be replaced; its old
//                                          contents are kept in BACKUP
//   registry FILE BACKUP TEMP EXISTED LOCK the class registry about to be changed
//                                          by a registration (EXISTED 1 or 0;
//                                          LOCK its lock file). Undone under
//                                          that lock, as a change of the
//                                          registry is made: the temporary
//                                          files the registration child
//                                          writes through go too, and so
//                                          does the lock file.
//   commit                                 every step done: the backups go
// TEMP is the hidden file a copy is written to before its rename.
#include <string>
#include <vector>

namespace upgrade {

// File name of the journal in the installation's "Calverdine" folder.
inline constexpr const char* kJournalFile = ".upgrade-journal";
// A journal larger than this is not one this tool wrote.
inline constexpr long long kMaxJournalBytes = 1 << 20;

using JournalRecord = std::vector<std::string>;

class Journal {
public:
    Journal() = default;
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Starts a new journal at `path`; false with *error when it cannot be written.
    bool Begin(const std::string& path, std::string* error);
    bool Active() const { return fd_ >= 0; }
    // Appends one record and syncs it before returning; false with *error
    // when it cannot (the change must then not be made).
    bool Add(const JournalRecord& record, std::string* error);
    // Undoes every recorded change, newest first, and removes the journal.
    // A folder the upgrade made that holds someone else's files since stays
    // (with them) and is no failure. False with *error when something could
    // not be put back (the journal then stays for the next start to try
    // again).
    bool Undo(std::string* error);
    // Records the commit, removes the backups and the journal.
    bool Commit(std::string* error);

private:
    void Close();
    // Closes the journal after an undo or a commit; the file goes only when
    // every record was dealt with (why empty), else it stays for the next start.
    bool Retire(const std::string& why, std::string* error);
    int fd_ = -1;
    std::string path_;
    std::vector<JournalRecord> records_;
};

// What the start of the tool found.
enum class Recovery { kNothing, kUndone, kFinished, kFailed };

// Finishes or undoes the upgrade the journal at `path` describes and removes
// the journal. kFailed with *error when a change could not be put back.
Recovery RecoverInterruptedUpgrade(const std::string& path, std::string* error);

// One upgrade of an installation at a time: an exclusive lock on its
// "Calverdine" folder, held for the object's life (the system drops it when
// the process ends, however it ends). No file is left behind.
class InstallationLock {
public:
    InstallationLock() = default;
    ~InstallationLock();
    InstallationLock(const InstallationLock&) = delete;
    InstallationLock& operator=(const InstallationLock&) = delete;
    // False when another process holds it (or the folder cannot be opened).
    bool Take(const std::string& folder);

private:
    int fd_ = -1;
};

// Test hook: the points where a test may stop the tool. Called after every
// journal record is synced and after every change is complete. When
// SORVANTA_UPGRADE_TEST_HALT is "kill:N", "stop:N", "term:N", "int:N" or
// "hup:N", the Nth call sends the tool that signal; unset, it does nothing.
void Checkpoint();

} // namespace upgrade
