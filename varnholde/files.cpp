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

// Writes a file through a temporary file in the same folder that is renamed
// into place only when every byte has been written.
class AtomicFile {
public:
    explicit AtomicFile(const std::string& path) : path_(path)
    {
        // A short hidden name in the target's folder: it fits beside any name
        // the folder can hold, and one left by a killed run stays out of sight.
        static std::atomic<unsigned> counter{0};
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        temp_ = folder + ".vh" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".tmp";
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0) fail(std::string("Cannot create a file in the folder of ") + path + ": " + std::strerror(errno));
        created_ = fd_ >= 0;
    }
    ~AtomicFile()
    {
        if (fd_ >= 0) ::close(fd_);
        if (created_ && !committed_) ::unlink(temp_.c_str());
    }
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
        if (ok() && ::rename(temp_.c_str(), path_.c_str()) != 0)
            fail(std::string("Cannot save ") + path_ + ": " + std::strerror(errno));
        committed_ = ok();
        return committed_;
    }

private:
    void fail(const std::string& why)
    {
        if (error_.empty()) error_ = why + ".";
    }
    std::string path_, temp_, error_;
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

int32_t Finish(AtomicFile& file)
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
            SetError("The fringe value file cannot be read. " + why);
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
        AtomicFile file(path);
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
        AtomicFile file(path);
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
