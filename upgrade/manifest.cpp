// Checking a release folder against its manifest.
#include "upgrade/manifest.h"

#include "platform/folders.h"
#include "platform/regular_file.h"

#include <QCryptographicHash>

#include <cerrno>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace upgrade {
namespace {

struct Entry {
    std::string sha256;
    long long size = 0;
};

bool IsHex(const std::string& text)
{
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// Parses one line "<sha256> <size> <name>"; false when it is not one.
bool ParseLine(const std::string& line, std::string* name, Entry* entry)
{
    const auto first = line.find(' ');
    if (first != 64) return false;
    const auto second = line.find(' ', first + 1);
    if (second == std::string::npos || second == first + 1 || second + 1 >= line.size()) return false;
    entry->sha256 = line.substr(0, first);
    const std::string size = line.substr(first + 1, second - first - 1);
    if (!IsHex(entry->sha256) || size.size() > 15 || size.find_first_not_of("0123456789") != std::string::npos)
        return false;
    entry->size = std::stoll(size);
    *name = line.substr(second + 1);
    // A plain file name of the release folder, nothing outside it.
    return name->find('/') == std::string::npos && *name != "." && *name != "..";
}

// A manifest larger than this is not one the build wrote.
constexpr int64_t kMaxManifestBytes = 1 << 20;

// Checks one file of the release against its entry; "" or what is wrong.
// The path is used as the bytes it is, never passed through a Unicode string.
std::string CheckFile(const std::string& folder, const std::string& name, const Entry& entry)
{
    const std::string path = platform::JoinPath(folder, name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 && errno == ENOENT) return "\"" + name + "\" is missing from the release.";
    int64_t size = 0;
    std::string why;
    const int fd = platform::OpenRegularFile(path, &size, &why);
    if (fd < 0) {
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return "\"" + name + "\" in the release is not a file.";
        return "\"" + name + "\" in the release cannot be read.";
    }
    std::string problem;
    if (size != entry.size) {
        problem = "\"" + name + "\" in the release is damaged: " + std::to_string(size) + " bytes instead of " +
                  std::to_string(entry.size) + ".";
    } else {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        std::vector<char> buf(1 << 16);
        int64_t done = 0;
        while (done < size && problem.empty()) {
            const ssize_t n = ::read(fd, buf.data(), buf.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) problem = "\"" + name + "\" in the release cannot be read.";
            else {
                hash.addData(QByteArrayView(buf.data(), qsizetype(n)));
                done += n;
            }
        }
        if (problem.empty() && hash.result().toHex().toStdString() != entry.sha256)
            problem = "\"" + name + "\" in the release is damaged: its contents differ from the release manifest.";
    }
    ::close(fd);
    return problem;
}

} // namespace

std::string CheckRelease(const std::string& releaseFolder, const std::vector<std::string>& required)
{
    const std::string path = platform::JoinPath(releaseFolder, kManifestFile);
    std::string text;
    if (!platform::ReadRegularFile(path, kMaxManifestBytes, &text, nullptr))
        return std::string("The release has no manifest (\"") + kManifestFile + "\").";
    std::map<std::string, Entry> entries;
    int lineNumber = 0;
    for (std::string::size_type start = 0; start < text.size();) {
        const auto end = text.find('\n', start);
        const bool whole = end != std::string::npos && end - start < 4096;
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        ++lineNumber;
        std::string name;
        Entry entry;
        if (!whole || !ParseLine(line, &name, &entry))
            return std::string("The release manifest \"") + kManifestFile + "\" is damaged (line " +
                   std::to_string(lineNumber) + ").";
        entries[name] = entry;
    }
    for (const std::string& name : required)
        if (!entries.count(name)) return "\"" + name + "\" is not listed in the release manifest.";
    for (const auto& [name, entry] : entries) {
        const std::string problem = CheckFile(releaseFolder, name, entry);
        if (!problem.empty()) return problem;
    }
    return "";
}

} // namespace upgrade
