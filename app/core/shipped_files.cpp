// Putting built-in files back into "Utility Files".
#include "app/core/shipped_files.h"

#include "app/core/runtime.h"
#include "platform/regular_file.h"
#include "platform/folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace core {
namespace {

enum class Copy { Written, Unreadable, Unwritable };

// The largest file of an installation's "Utility Files" copied.
constexpr size_t kMaxUtilityFileBytes = size_t(64) << 20;

// Copies the file (or built-in resource, ":/...") `from` to `target` in one
// atomic write. A file is read as a regular file of bounded size only, never
// a pipe or device waited on.
Copy CopyFile(const QString& from, const std::string& target)
{
    std::string bytes;
    if (from.startsWith(":/")) {
        QFile resource(from);
        if (!resource.open(QIODevice::ReadOnly)) return Copy::Unreadable;
        bytes = resource.readAll().toStdString();
    } else if (!platform::ReadRegularFile(QFile::encodeName(from).toStdString(), kMaxUtilityFileBytes, &bytes)) {
        return Copy::Unreadable;
    }
    return WriteFileAtomically(target, bytes) ? Copy::Written : Copy::Unwritable;
}

void Report(std::vector<std::string>* errors, const std::string& why)
{
    if (errors) errors->push_back(why);
}

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// "Calverdine/Utility Files" of the installation the program runs from
// ("<prefix>/lib/Calverdine/Sorvanta", or an earlier release's under
// "<prefix>/share"), or "" when it runs from elsewhere.
std::string InstallationUtilityFolder()
{
    const std::string program = WithoutTrailingSlash(platform::SystemFolder());
    const std::string calverdine = WithoutTrailingSlash(platform::FolderOf(program));
    if (platform::FileNameOf(program) != "Sorvanta" || platform::FileNameOf(calverdine) != "Calverdine") return {};
    const std::string utility = platform::JoinPath(calverdine, "Utility Files");
    return platform::IsFolder(utility) ? utility : std::string();
}

} // namespace

int InstallShippedFiles(const std::string& resourceFolder, const std::vector<std::string>& names,
                        const std::string& label, std::vector<std::string>* errors)
{
    const std::string folder = platform::UtilityFolder();
    if (!QDir().mkpath(QString::fromStdString(folder))) {
        Report(errors, "cannot create " + folder);
        return 0;
    }
    int written = 0;
    for (const std::string& name : names) {
        const std::string target = platform::JoinPath(folder, name);
        if (QFile::exists(QString::fromStdString(target))) continue;
        switch (CopyFile(QString::fromStdString(resourceFolder + name), target)) {
        case Copy::Written: ++written; break;
        case Copy::Unreadable: Report(errors, label + name + " is not built into the program"); break;
        case Copy::Unwritable: Report(errors, "cannot write " + target); break;
        }
    }
    return written;
}

int SeedUtilityFilesFromInstallation(std::vector<std::string>* errors)
{
    const std::string target = platform::UtilityFolder();
    if (platform::IsFolder(target)) return 0;
    const std::string source = InstallationUtilityFolder();
    if (source.empty() || WithoutTrailingSlash(source) == WithoutTrailingSlash(target)) return 0;
    if (!QDir().mkpath(QString::fromStdString(target))) {
        Report(errors, "cannot create " + target);
        return 0;
    }
    int copied = 0;
    const QDir from(QString::fromStdString(source));
    for (const QFileInfo& info : from.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (info.isSymLink() || !info.isFile()) continue;
        const std::string name = info.fileName().toStdString();
        switch (CopyFile(info.absoluteFilePath(), platform::JoinPath(target, name))) {
        case Copy::Written: ++copied; break;
        case Copy::Unreadable: Report(errors, "cannot read " + platform::JoinPath(source, name)); break;
        case Copy::Unwritable: Report(errors, "cannot write " + platform::JoinPath(target, name)); break;
        }
    }
    return copied;
}

} // namespace core
