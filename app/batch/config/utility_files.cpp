// Sample files of the batch plot configuration, built in and put back into
// "Utility Files" when missing.
#include "utility_files.h"

#include "app/core/runtime.h"
#include "platform/folders.h"

#include <QDir>
#include <QFile>

namespace batchcfg {

const char* const kConfigurationPhase = "Configuration Phase.tif";
const char* const kDiagonalData = "Diagonal.dat";
const char* const kNormalizedDiagonalData = "Normalized Diagonal.dat";
const char* const kDiagonalLegendBmp = "Diagonal Legend.bmp";
const char* const kDiagonalLegendJpg = "Diagonal Legend.jpg";

const std::vector<std::string>& UtilityFileNames()
{
    static const std::vector<std::string> names = {kConfigurationPhase, kDiagonalData, kNormalizedDiagonalData,
                                                   kDiagonalLegendBmp, kDiagonalLegendJpg};
    return names;
}

std::string UtilityFilePath(const std::string& fileName)
{
    return platform::JoinPath(platform::UtilityFolder(), fileName);
}

int InstallUtilityFiles(std::vector<std::string>* errors)
{
    auto report = [errors](const std::string& why) {
        if (errors) errors->push_back(why);
    };
    const QString folder = QString::fromStdString(platform::UtilityFolder());
    if (!QDir().mkpath(folder)) {
        report("cannot create " + folder.toStdString());
        return 0;
    }
    int written = 0;
    for (const std::string& name : UtilityFileNames()) {
        const std::string target = UtilityFilePath(name);
        if (QFile::exists(QString::fromStdString(target))) continue;
        QFile source(":/sorvanta/utility/" + QString::fromStdString(name));
        if (!source.open(QIODevice::ReadOnly)) {
            report(name + " is not built into the program");
            continue;
        }
        const QByteArray bytes = source.readAll();
        if (!core::WriteFileAtomically(target, std::string(bytes.constData(), size_t(bytes.size())))) {
            report("cannot write " + target);
            continue;
        }
        ++written;
    }
    return written;
}

} // namespace batchcfg
