// Sample files of the batch plot configuration, built in and put back into
// "Utility Files" when missing.
#include "utility_files.h"

#include "app/core/shipped_files.h"
#include "platform/folders.h"

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
    return core::InstallShippedFiles(":/sorvanta/utility/", UtilityFileNames(), "", errors);
}

} // namespace batchcfg
