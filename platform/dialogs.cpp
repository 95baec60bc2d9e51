#include "platform/dialogs.h"

#include "platform/handlerslot.h"

namespace platform {

namespace {

HandlerSlot<FileDialogHandler> gFile;
HandlerSlot<FolderBrowseHandler> gFolder;

} // namespace

FileDialogResult ShowFileDialog(const FileDialogRequest& request)
{
    if (const FileDialogHandler handler = gFile.get()) return handler(request);
    FileDialogResult cancelled;
    cancelled.filterIndex = request.filterIndex;
    return cancelled;
}

FolderBrowseResult BrowseForFolder(const FolderBrowseRequest& request)
{
    if (const FolderBrowseHandler handler = gFolder.get()) return handler(request);
    return {};
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler handler)
{
    return gFile.exchange(std::move(handler));
}

FolderBrowseHandler SetFolderBrowseHandler(FolderBrowseHandler handler)
{
    return gFolder.exchange(std::move(handler));
}

std::vector<FileFilter> ParseFileFilter(const std::string& filter)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= filter.size() && !filter.empty()) {
        size_t end = filter.find('|', start);
        if (end == std::string::npos) end = filter.size();
        parts.push_back(filter.substr(start, end - start));
        start = end + 1;
    }
    std::vector<FileFilter> out;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) out.push_back({parts[i], parts[i + 1]});
    if (parts.size() % 2 == 1 && !parts.back().empty()) out.push_back({parts.back(), parts.back()});
    return out;
}

ScriptedDialogs::ScriptedDialogs()
{
    previousFile_ = SetFileDialogHandler([this](const FileDialogRequest& r) {
        fileRequests.push_back(r);
        FileDialogResult a;
        a.filterIndex = r.filterIndex;
        if (!fileAnswers.empty()) {
            a = fileAnswers.front();
            fileAnswers.pop_front();
            if (a.filterIndex == 0) a.filterIndex = r.filterIndex;
        }
        return a;
    });
    previousFolder_ = SetFolderBrowseHandler([this](const FolderBrowseRequest& r) {
        folderRequests.push_back(r);
        FolderBrowseResult a;
        if (!folderAnswers.empty()) {
            a = folderAnswers.front();
            folderAnswers.pop_front();
        }
        return a;
    });
}

ScriptedDialogs::~ScriptedDialogs()
{
    SetFileDialogHandler(std::move(previousFile_));
    SetFolderBrowseHandler(std::move(previousFolder_));
}

} // namespace platform
