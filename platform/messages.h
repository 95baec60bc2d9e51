#pragma once
// Message boxes. Every window goes through ShowMessage, so tests script the
// answers (ScriptedMessages) and nothing ever blocks on a modal dialog.
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// Styles: buttons + icon, as the program uses them.
enum MessageStyle : int {
    kMsgOkOnly = 0,       // OK, no icon
    kMsgCritical = 16,    // OK, critical icon
    kMsgQuestion = 36,    // Yes/No, question icon
    kMsgWarning = 48,     // OK, warning icon
    kMsgInformation = 64, // OK, information icon
};

// Texts the file commands share (CR between the two lines).
inline constexpr const char* kMsgCannotOpenInvalidFormat = "The file cannot be opened.\rInvalid file format.";
inline constexpr const char* kMsgCannotSaveInvalidName = "The file cannot be saved.\rInvalid filename specified.";

// A failed save names the file and the system's reason in words:
// "The file cannot be saved." CR "/r/part_ab.dat: Permission denied." (a
// reason that names the file already stands alone).
inline std::string CannotSaveMessage(const std::string& path, const std::string& reason)
{
    const std::string why = reason.empty() ? std::string("it could not be written.") : reason;
    return "The file cannot be saved.\r" + (why.find(path) != std::string::npos ? why : path + ": " + why);
}

// Answers.
enum MessageAnswer : int { kAnsOk = 1, kAnsCancel = 2, kAnsYes = 6, kAnsNo = 7 };

using MessageHandler = std::function<int(const std::string& text, int style, const std::string& title)>;

// Shows a message and returns the answer. Without an installed handler the
// message goes to standard error and the answer is OK (No for a question).
int ShowMessage(const std::string& text, int style, const std::string& title);

// Installs a handler; returns the previous one. An empty handler restores the default.
MessageHandler SetMessageHandler(MessageHandler handler);

struct MessageRecord {
    std::string text;
    int style = 0;
    std::string title;
};

// Records every message while alive and answers from a queue (then defaultAnswer:
// 0 means "OK for OK styles, Yes for questions").
class ScriptedMessages {
public:
    ScriptedMessages();
    ~ScriptedMessages();
    ScriptedMessages(const ScriptedMessages&) = delete;
    ScriptedMessages& operator=(const ScriptedMessages&) = delete;

    void queue(int answer) { answers.push_back(answer); }
    std::vector<MessageRecord> records;
    std::deque<int> answers;
    int defaultAnswer = 0;

private:
    MessageHandler previous_;
};

} // namespace platform
