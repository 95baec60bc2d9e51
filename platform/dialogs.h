#pragma once
// File dialogs and the folder-browse dialog as services. Windows call these
// functions only; the program installs the real dialogs at start-up
// (InstallGuiServices, platform/guiservices.h) and tests script the answers
// with ScriptedDialogs, so nothing waits on a modal dialog in a test.
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct FileDialogRequest {
    enum Kind { Open, Save };
    Kind kind = Open;
    std::string title;
    // Filter pairs separated by '|': "Bitmap Files (*.bmp)|*.bmp|JPEG Files (*.jpg)|*.jpg";
    // a pattern may list several masks separated by ';'.
    std::string filter;
    int filterIndex = 1;            // 1-based
    std::string initialFolder;
    std::string fileName;           // proposed name (may be empty)
    bool promptOverwrite = false;   // save dialogs: ask before replacing a file
};

struct FileDialogResult {
    bool confirmed = false;         // false: the user cancelled
    std::string path;               // full path of the chosen file
    int filterIndex = 1;            // the filter chosen (1-based)
};

struct FolderBrowseRequest {
    std::string title = "Browse For Folder";
    std::string prompt;
    std::string root = "Desktop";
    std::string initialFolder;
};

struct FolderBrowseResult {
    bool confirmed = false;
    std::string folder;             // no trailing separator
};

FileDialogResult ShowFileDialog(const FileDialogRequest& request);
FolderBrowseResult BrowseForFolder(const FolderBrowseRequest& request);

using FileDialogHandler = std::function<FileDialogResult(const FileDialogRequest&)>;
using FolderBrowseHandler = std::function<FolderBrowseResult(const FolderBrowseRequest&)>;

// Install the real dialogs; each returns the previous handler. Without a
// handler a dialog reports "cancelled".
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);
FolderBrowseHandler SetFolderBrowseHandler(FolderBrowseHandler handler);

// One filter pair of a '|' filter text.
struct FileFilter {
    std::string description;
    std::string patterns;           // ";"-separated
};
std::vector<FileFilter> ParseFileFilter(const std::string& filter);

// Records every dialog while alive and answers from queues; an empty queue
// answers "cancelled".
class ScriptedDialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs();
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // filterIndex 0: the request's own filter index.
    void queueFile(const std::string& path, int filterIndex = 0) { fileAnswers.push_back({true, path, filterIndex}); }
    void queueFileCancel() { fileAnswers.push_back({false, "", 0}); }
    void queueFolder(const std::string& folder) { folderAnswers.push_back({true, folder}); }
    void queueFolderCancel() { folderAnswers.push_back({false, ""}); }

    std::vector<FileDialogRequest> fileRequests;
    std::vector<FolderBrowseRequest> folderRequests;
    std::deque<FileDialogResult> fileAnswers;
    std::deque<FolderBrowseResult> folderAnswers;

private:
    FileDialogHandler previousFile_;
    FolderBrowseHandler previousFolder_;
};

} // namespace platform
