#pragma once
// The batch results table: its file name, the header blocks, the column
// header, data rows and the count line, and a writer that puts each line on
// disk as it is produced under a temporary name and renames the finished
// table over the earlier one, so a run that fails or is killed leaves the
// earlier table whole. Lines end with CR LF and fields are separated by single
// TABs.
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace batch {

// "FOLDER/Batch Results for NAME (Abs).txt" or "... (Rel).txt", NAME being the
// last part of the folder path (empty for the root).
std::string TableFileName(const std::string& folder, bool relative);
// The hidden file beside the table that a run writes before it renames it:
// "FOLDER/.Batch Results for NAME (Abs).txt.tmp".
std::string TemporaryTableName(const std::string& tablePath);
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

// Writes the table a line at a time into its temporary file (an earlier
// run's leftover is replaced). Every write is flushed; ok() turns false at the
// first line that could not be written. commit() puts the table in place;
// discard() (and the destructor) removes the temporary file.
class TableWriter {
public:
    TableWriter() = default;
    TableWriter(const TableWriter&) = delete;
    TableWriter& operator=(const TableWriter&) = delete;
    ~TableWriter() { discard(); }

    bool open(const std::string& path);
    bool writeLine(const std::string& line);
    // Closes the temporary file and renames it over the table; false (the
    // temporary file removed, the table untouched) when either fails.
    bool commit();
    void discard();
    bool ok() const { return ok_; }
    bool isOpen() const { return out_.is_open(); }

private:
    std::ofstream out_;
    std::string path_, temporary_;
    bool ok_ = false;
};

} // namespace batch
