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
// the program ("<share>/Calverdine/Sorvanta" and "<share>/Calverdine/Utility
// Files"). Where the user's data folder has no "Utility Files" and the
// program runs from such an installation, the data folder becomes the
// installation's "<share>", so that its styles and sample files are read.
// Returns true when it did so.
bool UseInstallationDataFolder();

} // namespace core
