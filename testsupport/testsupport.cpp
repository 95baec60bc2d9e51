#include "testsupport/testsupport.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <iterator>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir(const std::string& tag)
{
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("sorv_" + tag + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string Shell(const std::string& command, int* exitCode)
{
    std::string out;
    FILE* f = popen((command + " 2>&1").c_str(), "r");
    if (!f) {
        if (exitCode) *exitCode = -1;
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    int status = pclose(f);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void PutLe16(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void PutLe32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    PutLe16(b, at, v & 0xFFFF);
    PutLe16(b, at + 2, v >> 16);
}

void MakeFifo(const std::string& path)
{
    if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("cannot make the pipe " + path);
}

void MakeSparseFile(const std::string& path, const std::vector<uint8_t>& head, int64_t size)
{
    WriteBytes(path, head);
    if (::truncate(path.c_str(), off_t(size)) != 0) throw std::runtime_error("cannot size " + path);
}

HangGuard::HangGuard(unsigned seconds) { ::alarm(seconds); }
HangGuard::~HangGuard() { ::alarm(0); }

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const std::string& path)
{
    auto b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

std::vector<uint8_t> MagickPixels(const std::string& imagePath, const std::string& map)
{
    TempDir tmp("magick");
    const std::string raw = tmp.file("pixels.raw");
    int code = 0;
    Shell("convert '" + imagePath + "[0]' -depth 8 '" + map + ":" + raw + "'", &code);
    if (code != 0) return {};
    return ReadBytes(raw);
}

std::string SourceDir() { return SORVANTA_SOURCE_DIR; }
std::string BinDir() { return SORVANTA_BIN_DIR; }

} // namespace testsupport
