#pragma once
// Files built into the program (as resources) that belong in "Utility Files":
// puts back any that are missing from the folder.
#include <string>
#include <vector>

namespace core {

// Writes each of `names` that is missing from the utility folder, taking it
// from the resource folder `resourceFolder` (":/sorvanta/styles/"), and
// creates the folder first; existing files are left as they are. Returns the
// number of files written; failures are listed in *errors, a file that is not
// built in as `label` + name + " is not built into the program".
int InstallShippedFiles(const std::string& resourceFolder, const std::vector<std::string>& names,
                        const std::string& label, std::vector<std::string>* errors);

// An installation under any prefix carries its own "Utility Files" beside
// the program ("<prefix>/lib/Calverdine/Sorvanta" and "<prefix>/lib/
// Calverdine/Utility Files"; "<prefix>/share/Calverdine" for earlier
// releases). When the program runs from such an installation and the user's
// data folder has no "Utility Files" yet, that folder is made and filled with
// copies of the installation's files, so its styles and sample files are read
// while settings, masks and results stay writable in the user's own folder.
// Files already in the user's folder are never replaced. Returns the number
// of files copied; reasons for files that could not be go to errors.
int SeedUtilityFilesFromInstallation(std::vector<std::string>* errors);

} // namespace core
