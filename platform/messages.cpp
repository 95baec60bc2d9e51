#include "platform/messages.h"

#include "platform/handlerslot.h"

#include <cstdio>

namespace platform {
namespace {

HandlerSlot<MessageHandler> gHandler;

int DefaultAnswer(int style)
{
    return (style & 0x7) == 4 ? kAnsNo : kAnsOk;
}

} // namespace

int ShowMessage(const std::string& text, int style, const std::string& title)
{
    if (const MessageHandler handler = gHandler.get()) return handler(text, style, title);
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return DefaultAnswer(style);
}

MessageHandler SetMessageHandler(MessageHandler handler)
{
    return gHandler.exchange(std::move(handler));
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
