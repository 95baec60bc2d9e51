#pragma once
// The chart appearance style files shipped with the program and their place
// in "Utility Files".
#include <string>
#include <vector>

namespace plots {

// The five style file names, e.g. "Colorfill Contour.sty".
const std::vector<std::string>& ChartStyleFileNames();

// Full path of a style file in the utility folder.
std::string ChartStylePath(const std::string& fileName);

// Copies every shipped style file that is missing from the utility folder
// into it (creating the folder); existing files are left as they are.
// Returns the number of files written; failures are listed in *errors.
int InstallChartStyles(std::vector<std::string>* errors = nullptr);

} // namespace plots
