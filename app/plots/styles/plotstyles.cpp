// The chart style files shipped with the program and their place in "Utility Files".
#include "plotstyles.h"

#include "app/core/shipped_files.h"
#include "platform/folders.h"

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
    return core::InstallShippedFiles(":/sorvanta/styles/", ChartStyleFileNames(), "style ", errors);
}

} // namespace plots
