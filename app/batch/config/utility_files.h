#pragma once
// The sample files of the batch plot configuration in "Utility Files": the
// preview's phase image, its two diagonal profiles and the diagonal legend
// pictures. The build makes them (tools/mkutility) and builds them into the
// program, which puts back any that are missing from the folder.
#include <string>
#include <vector>

namespace batchcfg {

extern const char* const kConfigurationPhase;     // "Configuration Phase.tif"
extern const char* const kDiagonalData;           // "Diagonal.dat"
extern const char* const kNormalizedDiagonalData; // "Normalized Diagonal.dat"
extern const char* const kDiagonalLegendBmp;      // "Diagonal Legend.bmp"
extern const char* const kDiagonalLegendJpg;      // "Diagonal Legend.jpg"

// The five names above.
const std::vector<std::string>& UtilityFileNames();

// Full path of a file in the utility folder.
std::string UtilityFilePath(const std::string& fileName);

// Writes every built-in sample file that is missing from the utility folder
// (creating the folder); existing files are left as they are. Returns the
// number of files written; failures are listed in *errors.
int InstallUtilityFiles(std::vector<std::string>* errors = nullptr);

} // namespace batchcfg
