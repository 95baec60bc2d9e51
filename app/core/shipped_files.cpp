// Putting built-in files back into "Utility Files".
#include "app/core/shipped_files.h"

#include "app/core/runtime.h"
#include "platform/folders.h"

#include <QDir>
#include <QFile>

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

bool UseInstallationDataFolder()
{
    if (platform::IsFolder(platform::UtilityFolder())) return false;
    auto parent = [](std::string path) {
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        path = platform::FolderOf(path);
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        return path;
    };
    std::string program = platform::SystemFolder();
    while (program.size() > 1 && program.back() == '/') program.pop_back();
    const std::string calverdine = parent(program);
    if (platform::FileNameOf(program) != "Sorvanta" || platform::FileNameOf(calverdine) != "Calverdine" ||
        !platform::IsFolder(platform::JoinPath(calverdine, "Utility Files")))
        return false;
    platform::SetBaseFolder(parent(calverdine));
    return true;
}

} // namespace core
