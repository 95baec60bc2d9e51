// Checking a release folder against its manifest.
#include "upgrade/manifest.h"

#include "platform/folders.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <map>

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

} // namespace

std::string CheckRelease(const std::string& releaseFolder, const std::vector<std::string>& required)
{
    const std::string path = platform::JoinPath(releaseFolder, kManifestFile);
    QFile file(QString::fromStdString(path));
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return std::string("The release has no manifest (\"") + kManifestFile + "\").";
    std::map<std::string, Entry> entries;
    int lineNumber = 0;
    while (!file.atEnd()) {
        std::string line = file.readLine(4096).toStdString();
        ++lineNumber;
        const bool whole = !line.empty() && line.back() == '\n';
        if (whole) line.pop_back();
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
        const std::string filePath = platform::JoinPath(releaseFolder, name);
        const QFileInfo info(QString::fromStdString(filePath));
        if (!info.exists()) return "\"" + name + "\" is missing from the release.";
        if (!info.isFile()) return "\"" + name + "\" in the release is not a file.";
        if (info.size() != entry.size)
            return "\"" + name + "\" in the release is damaged: " + std::to_string(info.size()) + " bytes instead of " +
                   std::to_string(entry.size) + ".";
        QFile data(info.filePath());
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (!data.open(QIODevice::ReadOnly) || !hash.addData(&data))
            return "\"" + name + "\" in the release cannot be read.";
        if (hash.result().toHex().toStdString() != entry.sha256)
            return "\"" + name + "\" in the release is damaged: its contents differ from the release manifest.";
    }
    return "";
}

} // namespace upgrade
