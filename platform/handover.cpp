#include "platform/handover.h"

#include "platform/folderjobs.h"
#include "platform/wildcard.h"

namespace platform {

namespace {

struct Deferred {
    bool waiting = false;
    std::string text;
    HandoverTarget* target = nullptr;
};

Deferred& Queue()
{
    static Deferred d;
    return d;
}

} // namespace

bool IsPhaseImageCommandLine(const std::string& commandLine)
{
    return WildcardMatch("*_ph.tif", commandLine) || WildcardMatch("*Phase.tif", commandLine);
}

HandoverAction DecideHandover(const std::string& text, bool unitsDialogPending, bool jobRunning)
{
    if (unitsDialogPending) return HandoverAction::KeptPending;
    if (text.empty() || !IsPhaseImageCommandLine(text)) return HandoverAction::Ignored;
    if (jobRunning) return HandoverAction::Queued;
    return WildcardMatch("*NoPhase.tif", text) ? HandoverAction::Cleared : HandoverAction::Opened;
}

bool HandoverTarget::JobRunning() const
{
    return JobGuard::AnyRunning();
}

HandoverAction HandleHandover(const std::string& text, HandoverTarget& target)
{
    const bool jobRunning = target.JobRunning();
    const HandoverAction action =
        DecideHandover(text, target.UnitsDialogPending(), jobRunning || target.DialogOpen());
    switch (action) {
    case HandoverAction::KeptPending:
        target.SetPendingFile(text);
        break;
    case HandoverAction::Ignored:
        break;
    case HandoverAction::Queued: {
        Deferred& q = Queue();
        q.text = text;
        q.target = &target;
        if (!q.waiting) {
            q.waiting = true;
            // Decided again when the wait ends: another job or dialog may have
            // begun meanwhile.
            auto again = [] {
                Deferred& d = Queue();
                d.waiting = false;
                if (d.target) HandleHandover(d.text, *d.target);
            };
            if (jobRunning) JobGuard::WhenIdle(again);
            else target.WhenDialogsClosed(again);
        }
        break;
    }
    case HandoverAction::Opened:
        if (WildcardMatch("*Phase.tif", text)) target.ForgetMask();
        target.LoadPhaseImage(text);
        break;
    case HandoverAction::Cleared:
        target.ClearCurrentImage();
        break;
    }
    return action;
}

} // namespace platform
