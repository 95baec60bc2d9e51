#pragma once
// The batch results table: its file name, the header blocks, the column
// header, data rows and the count line; a writer that puts each line on disk
// as it is produced into a temporary file and renames the finished table over
// the earlier one (core::AtomicFile), so a run that fails or is killed leaves
// the earlier table whole; and the lock that makes a folder's table one run's
// at a time. Lines end with CR LF and fields are separated by single TABs.
#include "app/core/atomic_file.h"

#include <ctime>
#include <string>
#include <vector>

namespace batch {

// "FOLDER/Batch Results for NAME (Abs).txt" or "... (Rel).txt", NAME being the
// last part of the folder path (empty for the root).
std::string TableFileName(const std::string& folder, bool relative);
// The last part of a folder path ("" for "/").
std::string FolderName(const std::string& folder);

// "Dec 10, 2026 03:05:09 PM": month abbreviation, two-digit day, year, hour
// on a 12-hour clock, minutes, seconds, AM or PM.
std::string CreatedText(std::time_t when);

// What the header blocks report.
struct TableHeader {
    std::time_t created = 0;
    std::string folder;
    std::string programVersion;
    std::string analysisLibraryVersion;
    bool useFringeFile = false;
    bool exclude128 = false;
    bool phaseFilter = false;
    bool compensate = false;
    bool normalizeDiagonal = false;
    std::string rotation;          // "None", "LSF", "4Pt", "3Pt", "LSF+", "LSF-"
    std::string rotationText;      // the rotation list's text (decides column 4)
    std::string grating;           // "100"
    float calibratedFringeValue = -1;
    std::string sampleWidth;       // the size boxes' texts
    std::string sampleHeight;
    std::string xyUnits;
    std::string zUnits;
    bool useMask = false;
    std::string maskCaption;
    bool relative = false;
    std::string referenceName;
};

// The header lines, from "GENERAL INFO" down to the column header row.
std::vector<std::string> HeaderLines(const TableHeader& h);
// The eleven column labels joined by TABs; column 4 is "Coplanarity" when the
// rotation text contains "Lsf" (any case), else "Max Deflection".
std::string ColumnHeaderRow(const std::string& rotationText);

// The ten value texts of an analysed image, in column order.
struct ImageValues {
    std::string minZ, maxZ, range, abMin, abMax, cdMin, cdMax, twist, bow, centre;
    std::vector<std::string> list() const
    {
        return {minZ, maxZ, range, abMin, abMax, cdMin, cdMax, twist, bow, centre};
    }
};
std::string DataRow(const std::string& fileName, const ImageValues& v);
std::string CountLine(int processed, int total);

// Writes the table a line at a time into its temporary file. Every line goes
// to the file at once; ok() turns false at the first line that could not be
// written. commit() puts the table in place; discard() (and the destructor)
// removes the temporary file. A table that is a link is written through to
// its target; a read-only table is not replaced (open() fails).
class TableWriter {
public:
    bool open(const std::string& path) { return file_.open(path); }
    bool writeLine(const std::string& line) { return file_.write(line + "\r\n"); }
    // Renames the finished table over the old one; false (the temporary file
    // removed, the old table untouched) when that fails.
    bool commit() { return file_.commit(); }
    void discard() { file_.discard(); }
    bool ok() const { return file_.isOpen() && file_.error().empty(); }
    bool isOpen() const { return file_.isOpen(); }

private:
    core::AtomicFile file_;
};

// The batch lock of a folder: one run at a time writes its results table.
// A kernel lock on the folder itself, so it ends with its holder, however
// that ends; the folder gets no file of its own for it.
class FolderLock {
public:
    enum class Result { Held, Busy, Unavailable };
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // Held: this run holds the folder; Busy: another run does; Unavailable:
    // the folder cannot be opened.
    Result acquire(const std::string& folder);
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace batch
