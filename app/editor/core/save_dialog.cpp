#include "app/editor/core/save_dialog.h"

#include "app/core/model/model.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/messages.h"
#include "platform/wildcard.h"

namespace editor {

std::string ForceEnding(const std::string& path, const std::string& ending)
{
    if (platform::WildcardMatch("*" + ending, path)) return path;
    return path.substr(0, path.size() >= 4 ? path.size() - 4 : 0) + ending;
}

SaveName AskSaveName(const SaveNameRule& rule)
{
    for (;;) {
        platform::FileDialogRequest req;
        req.kind = platform::FileDialogRequest::Save;
        req.title = rule.title;
        req.filter = rule.filter;
        req.initialFolder = model::files.WorkingFolder;
        req.fileName = "";
        req.promptOverwrite = rule.promptOverwrite;
        const platform::FileDialogResult r = platform::ShowFileDialog(req);
        if (!r.confirmed) return {};
        if (!platform::WildcardMatch("*" + rule.extension, r.path)) {
            model::ShowMsg(platform::kMsgCannotSaveInvalidName, 16,
                           rule.errorTitle);
            continue;
        }
        const std::string path = ForceEnding(r.path, rule.ending);
        if (rule.refuseExisting && platform::FileExists(path)) {
            model::ShowMsg(std::string("An existing file cannot be overwritten.") + model::CR + "Type a new file name.",
                           16, rule.errorTitle);
            continue;
        }
        if (rule.promptOverwrite && path != r.path && platform::FileExists(path)) {
            // The dialog asked about the name typed, not about the name written.
            const int answer = model::ShowMsg(platform::FileNameOf(path) + " already exists." + model::CR +
                                                  "Do you want to replace it?",
                                              36, rule.title);
            if (answer != platform::kAnsYes) continue;
        }
        SaveName out;
        out.confirmed = true;
        out.path = path;
        out.fileTitle = platform::FileNameOf(r.path);
        model::files.WorkingFolder = platform::FolderOf(path);
        return out;
    }
}

std::string AskOpenName(const std::string& title, const std::string& filter, const std::string& pattern,
                        const std::string& errorTitle)
{
    for (;;) {
        platform::FileDialogRequest req;
        req.kind = platform::FileDialogRequest::Open;
        req.title = title;
        req.filter = filter;
        req.initialFolder = model::files.WorkingFolder;
        const platform::FileDialogResult r = platform::ShowFileDialog(req);
        if (!r.confirmed) return {};
        if (platform::WildcardMatch(pattern, r.path)) return r.path;
        model::ShowMsg(platform::kMsgCannotOpenInvalidFormat, 16, errorTitle);
    }
}

} // namespace editor
