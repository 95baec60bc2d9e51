#pragma once
// Small helpers shared by the test suites: a scratch folder, running a shell
// command (reference tools such as ImageMagick or tiffcp), reading files.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system temporary folder, removed on destruction.
class TempDir {
public:
    explicit TempDir(const std::string& tag = "t");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Runs a shell command; returns its standard output and error together.
std::string Shell(const std::string& command, int* exitCode = nullptr);

// Whole file as bytes (empty when missing).
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string ReadText(const std::string& path);

// Little-endian numbers in bytes laid out by hand (picture headers): the low
// 16 or 32 bits of v at `at`.
void PutLe16(std::vector<uint8_t>& b, size_t at, uint32_t v);
void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v);

// Special files for the tests of readers that must never wait or read
// without end: a named pipe with no writer, and a sparse file of `size`
// bytes (its holes read as zeros) that begins with `head`.
void MakeFifo(const std::string& path);
void MakeSparseFile(const std::string& path, const std::vector<uint8_t>& head, int64_t size);

// The bound of a wait on something that must come (a process that ends, a
// line it prints, a window that shows, a state the events bring): so long
// that only a hung test reaches it, on a loaded machine and under the
// sanitizers alike. Never a speed check: a test waits on the event itself.
inline constexpr int kHangMs = 120000;

// Turns a hang into a failure: the process ends (SIGALRM) when the guard is
// still alive after `seconds`. Generous by intent; never a speed check.
class HangGuard {
public:
    explicit HangGuard(unsigned seconds = 120);
    ~HangGuard();
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;
};

// Pixels of any image as ImageMagick reads it, 8-bit grey ("gray") or
// 8-bit RGB ("rgb"); empty when it cannot read the file.
std::vector<uint8_t> MagickPixels(const std::string& imagePath, const std::string& map = "gray");

// Folder of the source tree and of the built binaries.
std::string SourceDir();
std::string BinDir();

} // namespace testsupport
