// The calibration file reader and the displacement data file writers.
#include "varnholde/internal.h"
#include "varnholde/varnholde.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <set>
#include <vector>
#include <dirent.h>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace varnholde;

namespace varnholde {

bool ReadTextLines(const char* path, std::vector<std::string>& lines, std::string& why)
{
    lines.clear();
    // Non-blocking open: a pipe in the file's place is refused, never waited on.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("Cannot open ") + path + ": " + std::strerror(errno) + ".";
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        why = std::string(path) + " is not a regular file.";
        return false;
    }
    std::string text;
    char buf[4096];
    bool failed = false, tooLarge = static_cast<uint64_t>(st.st_size) > kMaxTextFileBytes;
    while (!tooLarge) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) failed = true;
        if (got <= 0) break;
        text.append(buf, static_cast<size_t>(got));
        tooLarge = text.size() > kMaxTextFileBytes;
    }
    ::close(fd);
    if (tooLarge) {
        why = std::string(path) + " is too large (more than " + std::to_string(kMaxTextFileBytes) + " bytes).";
        return false;
    }
    if (failed) {
        why = std::string("Cannot read ") + path + ".";
        return false;
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return true;
}

bool ParseNumber(const std::string& text, double& value)
{
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    if (b == e) return false;
    // from_chars reads the C number format whatever the process locale is.
    const char* first = text.data() + b;
    if (*first == '+') ++first;
    double v = 0.0;
    const auto r = std::from_chars(first, text.data() + e, v);
    if (r.ec != std::errc() || r.ptr != text.data() + e || !std::isfinite(v)) return false;
    value = v;
    return true;
}

} // namespace varnholde

namespace {

constexpr int kLinesPerInch[kGratings] = {50, 100, 200, 300, 500, 1000};

std::vector<std::string> Tokens(const std::string& line)
{
    std::vector<std::string> out;
    std::string cur;
    for (char ch : line) {
        if (ch == ' ' || ch == '\t' || ch == ',' || ch == ';') {
            if (!cur.empty()) out.push_back(cur), cur.clear();
        } else {
            cur += ch;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

// ---- Data files ----

// The data file writer. A data file is written whole or not at all, under the
// rules every writer of the program keeps:
//   - a temporary file of a new name (".vh<pid>_<n>.tmp", made with O_EXCL)
//     beside the file replaced, synced, then renamed over it;
//   - a symbolic link is written through: its target is replaced, the link stays;
//   - a file that grants nobody write permission is not replaced (root included);
//   - only a regular file is replaced: a folder, pipe, device or socket stays;
//   - a replaced file keeps its permissions;
//   - the temporary files of runs that ended (a killed process's) are cleared
//     from the folder written to, the first time a process writes there.

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file that writing `path` replaces: `path` itself, or for a symbolic
// link (a chain of them) the file it names.
std::string WriteTarget(const std::string& path)
{
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
        if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return p;
        const std::string link(buf.data(), static_cast<size_t>(n));
        p = link[0] == '/' ? link : FolderOf(p) + link;
    }
    return p;
}

// A name ".vh<pid>_<n>.tmp" of this writer, with the process that made it.
bool IsDataTemporary(const std::string& name, long* pid)
{
    if (name.size() < 10 || name.compare(0, 3, ".vh") != 0 || name.compare(name.size() - 4, 4, ".tmp") != 0)
        return false;
    const std::string middle = name.substr(3, name.size() - 7);
    const size_t bar = middle.find('_');
    if (bar == 0 || bar == std::string::npos || bar > 10 || bar + 1 == middle.size()) return false;
    for (size_t k = 0; k < middle.size(); ++k)
        if (k != bar && !std::isdigit(static_cast<unsigned char>(middle[k]))) return false;
    *pid = std::strtol(middle.substr(0, bar).c_str(), nullptr, 10);
    return *pid > 0;
}

// Removes the temporary files of ended processes from `folder`, once a process.
void ClearStaleTemporaries(const std::string& folder)
{
    static std::mutex mutex;
    static std::set<std::string> cleared;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!cleared.insert(folder).second) return;
    }
    DIR* d = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!d) return;
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(d)) {
        long pid = 0;
        if (IsDataTemporary(e->d_name, &pid) && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
            errno == ESRCH)
            stale.push_back(folder + e->d_name);
    }
    ::closedir(d);
    for (const std::string& path : stale) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(path.c_str());
    }
}

class DataFileWriter {
public:
    explicit DataFileWriter(const std::string& path) : path_(path), target_(WriteTarget(path))
    {
        struct stat old {};
        const bool replacing = ::stat(target_.c_str(), &old) == 0;
        if (!replacing && errno != ENOENT) {
            fail(std::string("Cannot save ") + path + ": " + std::strerror(errno));
            return;
        }
        if (replacing && S_ISDIR(old.st_mode)) {
            fail(std::string("Cannot save ") + path + ": " + std::strerror(EISDIR));
            return;
        }
        // A pipe, a device or a socket is never swapped for a file of that name.
        if (replacing && !S_ISREG(old.st_mode)) {
            fail(std::string("Cannot save ") + path + ": not a regular file");
            return;
        }
        // Mode bits rather than access(): root may write anything, but a file
        // that grants nobody write permission was made read-only on purpose.
        if (replacing && ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target_.c_str(), W_OK) != 0)) {
            fail(std::string("Cannot save ") + path + ": the file is read-only");
            return;
        }
        const std::string folder = FolderOf(target_);
        ClearStaleTemporaries(folder);
        // A short hidden name: it fits beside any name the folder can hold.
        static std::atomic<unsigned> counter{0};
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            temp_ = folder + ".vh" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".tmp";
            fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ < 0 && errno != EEXIST) break;
        }
        if (fd_ < 0) {
            fail(std::string("Cannot create a file in the folder of ") + path + ": " + std::strerror(errno));
            return;
        }
        created_ = true;
        if (replacing) ::fchmod(fd_, old.st_mode & 07777);
    }
    ~DataFileWriter()
    {
        if (fd_ >= 0) ::close(fd_);
        if (created_ && !committed_) ::unlink(temp_.c_str());
    }
    DataFileWriter(const DataFileWriter&) = delete;
    DataFileWriter& operator=(const DataFileWriter&) = delete;
    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    void write(const void* data, size_t size)
    {
        if (!ok()) return;
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(fd_, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                fail(std::string("Cannot write ") + path_ + ": " + std::strerror(n < 0 ? errno : ENOSPC));
                return;
            }
            p += n;
            size -= static_cast<size_t>(n);
        }
    }
    void write(const std::string& s) { write(s.data(), s.size()); }
    bool commit()
    {
        if (!ok()) return false;
        if (::fsync(fd_) != 0 && errno != EINVAL) fail(std::string("Cannot write ") + path_ + ": " + std::strerror(errno));
        const int closed = ::close(fd_);
        fd_ = -1;
        if (ok() && closed != 0) fail(std::string("Cannot write ") + path_ + ": " + std::strerror(errno));
        if (ok() && ::rename(temp_.c_str(), target_.c_str()) != 0)
            fail(std::string("Cannot save ") + path_ + ": " + std::strerror(errno));
        committed_ = ok();
        return committed_;
    }

private:
    void fail(const std::string& why)
    {
        if (error_.empty()) error_ = why + ".";
    }
    std::string path_, target_, temp_, error_;
    int fd_ = -1;
    bool created_ = false;
    bool committed_ = false;
};

void AppendValue(std::string& out, float v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void PutU32(std::string& out, uint32_t v)
{
    for (int k = 0; k < 4; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

void PutF32(std::string& out, float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    PutU32(out, bits);
}

bool CheckSave(const float* data, int16_t rows, int16_t cols, const char* path)
{
    if (!ValidSize(rows, cols) || !Present(data, "data") || !Present(path, "file name")) return false;
    if (!*path) {
        SetError("No file name was given.");
        return false;
    }
    return true;
}

int32_t Finish(DataFileWriter& file)
{
    if (file.commit()) return kOk;
    SetError(file.error());
    return kFileError;
}

} // namespace

extern "C" {

float ReadFringeValue(const char* fringeValuePath, uint8_t grating)
{
    float result = kNoData;
    const int32_t status = Guard([&] {
        if (!Present(fringeValuePath, "file name")) return kBadArgument;
        if (!ValidGrating(grating)) return kBadArgument;
        std::vector<std::string> lines;
        std::string why;
        if (!ReadTextLines(fringeValuePath, lines, why)) {
            SetError(why);   // names the file and the cause
            return kFileError;
        }
        const int lpi = kLinesPerInch[grating];
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::vector<std::string> t = Tokens(lines[i]);
            double first;
            if (t.empty() || !ParseNumber(t[0], first) || first != lpi) continue;
            double value;
            if (t.size() < 2 || !ParseNumber(t[1], value)) {
                SetError("Line " + std::to_string(i + 1) + " of " + fringeValuePath +
                         " has no valid fringe value for the " + std::to_string(lpi) + " lpi grating.");
                return kFileError;
            }
            if (value <= 0.0) break;
            // A value a float cannot hold (1e39 would become infinite, 1e-320 zero) is no fringe value.
            const float asFloat = static_cast<float>(value);
            if (!std::isfinite(asFloat) || asFloat < std::numeric_limits<float>::min()) {
                SetError("Line " + std::to_string(i + 1) + " of " + fringeValuePath + " has no valid fringe value for the " +
                         std::to_string(lpi) + " lpi grating.");
                return kFileError;
            }
            result = asFloat;
            return kOk;
        }
        result = -1.0f;
        SetError("The " + std::to_string(lpi) + " lpi grating has no calibrated fringe value in " +
                 fringeValuePath + ".");
        return kNoDataError;
    });
    return status == kOk || status == kNoDataError ? result : kNoData;
}

int32_t SaveSingleAsText(const float* data, int16_t rows, int16_t cols, int16_t mils, const char* path)
{
    return Guard([&] {
        if (!CheckSave(data, rows, cols, path)) return kBadArgument;
        DataFileWriter file(path);
        std::string line = "Varnholde displacement data\r\nRows\t" + std::to_string(rows) + "\r\nColumns\t" +
                           std::to_string(cols) + "\r\nUnits\t" + (mils ? "mils" : "microns") +
                           "\r\nNoData\t9999\r\n";
        file.write(line);
        for (int y = 0; y < rows && file.ok(); ++y) {
            line.clear();
            const float* row = data + static_cast<size_t>(y) * cols;
            for (int x = 0; x < cols; ++x) {
                if (x) line += '\t';
                AppendValue(line, row[x]);
            }
            line += "\r\n";
            file.write(line);
        }
        return Finish(file);
    });
}

int32_t SaveSingleAsBinary(const float* data, int16_t rows, int16_t cols, int16_t mils, const char* path)
{
    return Guard([&] {
        if (!CheckSave(data, rows, cols, path)) return kBadArgument;
        DataFileWriter file(path);
        std::string block = "VHDB";
        PutU32(block, 1);
        PutU32(block, static_cast<uint32_t>(rows));
        PutU32(block, static_cast<uint32_t>(cols));
        PutU32(block, mils ? 1u : 2u);
        PutF32(block, kNoData);
        file.write(block);
        for (int y = 0; y < rows && file.ok(); ++y) {
            block.clear();
            const float* row = data + static_cast<size_t>(y) * cols;
            for (int x = 0; x < cols; ++x) PutF32(block, row[x]);
            file.write(block);
        }
        return Finish(file);
    });
}

} // extern "C"
