#pragma once
// The file dialogs of the editor: the save dialog of its saves (mask,
// partition, phase image), asked again until the name is accepted, the kind's
// name ending forced on; the open dialog of its loads (mask, partition), asked
// again until the name has the kind's ending.
#include <string>

namespace editor {

struct SaveNameRule {
    std::string title;          // "Save Mask"
    std::string filter;         // "Mask TIF Files (*_msk.tif)|*_msk.tif"
    std::string extension;      // ".tif": a name without it is refused
    std::string ending;         // "_msk.tif": put in place of the last four characters when missing
    std::string errorTitle;     // title of the refusal messages
    bool refuseExisting = false;   // an existing file is refused and the dialog comes again
    bool promptOverwrite = false;  // ask before replacing a file (the name written, ending forced on)
};

struct SaveName {
    bool confirmed = false;     // false: the dialog was cancelled
    std::string path;           // the final path, ending forced on
    std::string fileTitle;      // the file name as chosen, before the ending was put on
};

// Shows the dialog (initial folder model::files.WorkingFolder, no proposed
// name) until a name is accepted or the user cancels. On acceptance
// WorkingFolder becomes the chosen file's folder.
SaveName AskSaveName(const SaveNameRule& rule);

// Shows the open dialog (initial folder model::files.WorkingFolder) until the
// chosen name matches `pattern` ("*_msk.tif", letter case ignored) or the user
// cancels; a name that does not match is refused with "The file cannot be
// opened." CR "Invalid file format." under errorTitle. "" when cancelled.
std::string AskOpenName(const std::string& title, const std::string& filter, const std::string& pattern,
                        const std::string& errorTitle);

// The name with the ending forced on ("part3.tif" -> "part3_msk.tif").
std::string ForceEnding(const std::string& path, const std::string& ending);

} // namespace editor
