#include "plotstyles.h"

#include "app/core/runtime.h"
#include "platform/folders.h"

#include <QDir>
#include <QFile>

namespace plots {

const std::vector<std::string>& ChartStyleFileNames()
{
    static const std::vector<std::string> names = {"Colorfill Contour.sty", "Grayfill Contour.sty",
                                                   "Colorline Contour.sty", "Blackline Contour.sty",
                                                   "Colorgray Contour.sty"};
    return names;
}

std::string ChartStylePath(const std::string& fileName)
{
    return platform::JoinPath(platform::UtilityFolder(), fileName);
}

int InstallChartStyles(std::vector<std::string>* errors)
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
    for (const std::string& name : ChartStyleFileNames()) {
        const QString target = QString::fromStdString(ChartStylePath(name));
        if (QFile::exists(target)) continue;
        QFile source(":/sorvanta/styles/" + QString::fromStdString(name));
        if (!source.open(QIODevice::ReadOnly)) {
            report("style " + name + " is not built into the program");
            continue;
        }
        if (!core::WriteFileAtomically(target.toStdString(), source.readAll().toStdString())) {
            report("cannot write " + target.toStdString());
            continue;
        }
        ++written;
    }
    return written;
}

} // namespace plots
