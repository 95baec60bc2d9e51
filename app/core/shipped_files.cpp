// Putting built-in files back into "Utility Files".
#include "app/core/shipped_files.h"

#include "app/core/runtime.h"
#include "platform/folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace core {

int InstallShippedFiles(const std::string& resourceFolder, const std::vector<std::string>& names,
                        const std::string& label, std::vector<std::string>* errors)
{
    auto report = [errors](const std::string& why) {
        if (errors) errors->push_back(why);
    };
    const std::string folder = platform::UtilityFolder();
    if (!QDir().mkpath(QString::fromStdString(folder))) {
        report("cannot create " + folder);
        return 0;
    }
    int written = 0;
    for (const std::string& name : names) {
        const std::string target = platform::JoinPath(folder, name);
        if (QFile::exists(QString::fromStdString(target))) continue;
        QFile source(QString::fromStdString(resourceFolder + name));
        if (!source.open(QIODevice::ReadOnly)) {
            report(label + name + " is not built into the program");
            continue;
        }
        if (!WriteFileAtomically(target, source.readAll().toStdString())) {
            report("cannot write " + target);
            continue;
        }
        ++written;
    }
    return written;
}

namespace {

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// "<share>/Calverdine/Utility Files" of the installation the program runs
// from ("<share>/Calverdine/Sorvanta"), or "" when it runs from elsewhere.
std::string InstallationUtilityFolder()
{
    const std::string program = WithoutTrailingSlash(platform::SystemFolder());
    const std::string calverdine = WithoutTrailingSlash(platform::FolderOf(program));
    if (platform::FileNameOf(program) != "Sorvanta" || platform::FileNameOf(calverdine) != "Calverdine") return {};
    const std::string utility = platform::JoinPath(calverdine, "Utility Files");
    return platform::IsFolder(utility) ? utility : std::string();
}

} // namespace

int SeedUtilityFilesFromInstallation(std::vector<std::string>* errors)
{
    const std::string target = platform::UtilityFolder();
    if (platform::IsFolder(target)) return 0;
    const std::string source = InstallationUtilityFolder();
    if (source.empty() || WithoutTrailingSlash(source) == WithoutTrailingSlash(target)) return 0;
    if (!QDir().mkpath(QString::fromStdString(target))) {
        if (errors) errors->push_back("cannot create " + target);
        return 0;
    }
    int copied = 0;
    const QDir from(QString::fromStdString(source));
    for (const QFileInfo& info : from.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (info.isSymLink() || !info.isFile()) continue;
        QFile file(info.absoluteFilePath());
        const std::string name = info.fileName().toStdString();
        if (!file.open(QIODevice::ReadOnly)) {
            if (errors) errors->push_back("cannot read " + platform::JoinPath(source, name));
            continue;
        }
        if (!WriteFileAtomically(platform::JoinPath(target, name), file.readAll().toStdString())) {
            if (errors) errors->push_back("cannot write " + platform::JoinPath(target, name));
            continue;
        }
        ++copied;
    }
    return copied;
}

} // namespace core
