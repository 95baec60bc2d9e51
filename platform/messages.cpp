#include "platform/messages.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex gMutex;
MessageHandler gHandler;

int DefaultAnswer(int style)
{
    return (style & 0x7) == 4 ? kAnsNo : kAnsOk;
}

} // namespace

int ShowMessage(const std::string& text, int style, const std::string& title)
{
    MessageHandler handler;
    {
        std::lock_guard<std::mutex> lock(gMutex);
        handler = gHandler;
    }
    if (handler) return handler(text, style, title);
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return DefaultAnswer(style);
}

MessageHandler SetMessageHandler(MessageHandler handler)
{
    std::lock_guard<std::mutex> lock(gMutex);
    MessageHandler old = std::move(gHandler);
    gHandler = std::move(handler);
    return old;
}

ScriptedMessages::ScriptedMessages()
{
    previous_ = SetMessageHandler([this](const std::string& text, int style, const std::string& title) {
        records.push_back({text, style, title});
        if (!answers.empty()) {
            int a = answers.front();
            answers.pop_front();
            return a;
        }
        if (defaultAnswer) return defaultAnswer;
        return (style & 0x7) == 4 ? int(kAnsYes) : int(kAnsOk);
    });
}

ScriptedMessages::~ScriptedMessages()
{
    SetMessageHandler(std::move(previous_));
}

} // namespace platform
