// The batch results table: names, lines and the line-at-a-time writer.
#include "app/batch/table.h"

#include "app/core/reset.h"
#include "app/core/runtime.h"
#include "platform/folders.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace batch {
namespace {

const char* OnOff(bool on) { return on ? "ON" : "OFF"; }

} // namespace

std::string FolderName(const std::string& folder)
{
    std::string f = folder;
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    return platform::FileNameOf(f);
}

std::string TableFileName(const std::string& folder, bool relative)
{
    std::string f = folder;
    while (!f.empty() && f.back() == '/')
        f.pop_back();
    return f + "/Batch Results for " + FolderName(folder) + (relative ? " (Rel).txt" : " (Abs).txt");
}

std::string CreatedText(std::time_t when)
{
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm t{};
    localtime_r(&when, &t);
    int hour = t.tm_hour % 12;
    if (hour == 0)
        hour = 12;
    char text[64];
    std::snprintf(text, sizeof text, "%s %02d, %04d %02d:%02d:%02d %s", months[t.tm_mon % 12], t.tm_mday,
                  t.tm_year + 1900, hour, t.tm_min, t.tm_sec, t.tm_hour < 12 ? "AM" : "PM");
    return text;
}

std::string ColumnHeaderRow(const std::string& rotationText)
{
    const std::vector<std::string> labels = {"Image Filename", "Min Z", "MaxZ",
                                             core::BatchRangeCaption(rotationText),
                                             "ABMin", "ABMax", "CDMin", "CDMax", "% IPC Twist", "% Bow",
                                             "Center Deflection"};
    std::string row;
    for (size_t i = 0; i < labels.size(); ++i)
        row += (i ? "\t" : "") + labels[i];
    return row;
}

std::vector<std::string> HeaderLines(const TableHeader& h)
{
    std::vector<std::string> l;
    l.push_back("GENERAL INFO");
    l.push_back("Created: " + CreatedText(h.created));
    l.push_back("Folder: " + h.folder);
    l.push_back("Sorvanta Version: " + h.programVersion);
    l.push_back("Varnholde.dll Version: " + h.analysisLibraryVersion);
    l.push_back("");
    l.push_back("ANALYSIS SETTINGS");
    l.push_back(std::string("Use FringeValue.txt: ") + OnOff(h.useFringeFile));
    l.push_back(std::string("Exclude 128: ") + OnOff(h.exclude128));
    l.push_back(std::string("Phase Filter: ") + OnOff(h.phaseFilter));
    l.push_back(std::string("Compensate: ") + OnOff(h.compensate));
    l.push_back(std::string("Normalize Diagonal: ") + OnOff(h.normalizeDiagonal));
    l.push_back("Rotation: " + h.rotation);
    l.push_back("Grating: " + h.grating + " lpi");
    l.push_back(h.calibratedFringeValue == -1.0f ? "FringeValue.txt Data: NOT CALIBRATED"
                                                 : "FringeValue.txt Data: " + core::ShortText(h.calibratedFringeValue));
    if (core::IsNumeric(h.sampleWidth) && core::IsNumeric(h.sampleHeight)) {
        l.push_back("Image Width: " + h.sampleWidth + " " + h.xyUnits);
        l.push_back("Image Height: " + h.sampleHeight + " " + h.xyUnits);
    } else {
        l.push_back("Image Width/Height: NOT SPECIFIED");
    }
    l.push_back("Mask File: " + (h.useMask ? h.maskCaption : std::string("NONE")));
    l.push_back("");
    l.push_back("DATA SUMMARY (" + h.zUnits + ")");
    if (h.relative)
        l.push_back("Relative Displacement Reference: " + h.referenceName);
    l.push_back(ColumnHeaderRow(h.rotationText));
    return l;
}

std::string DataRow(const std::string& fileName, const ImageValues& v)
{
    std::string row = fileName;
    for (const std::string& f : v.list())
        row += "\t" + f;
    return row;
}

std::string CountLine(int processed, int total)
{
    return "Number of Images Processed: " + std::to_string(processed) + "/" + std::to_string(total);
}

FolderLock::~FolderLock()
{
    if (fd_ >= 0)
        ::close(fd_);   // releases the lock
}

FolderLock::Result FolderLock::acquire(const std::string& folder)
{
    if (fd_ >= 0)
        return Result::Held;
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Result::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Result::Busy : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Held;
}

} // namespace batch
