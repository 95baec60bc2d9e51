#pragma once
// Guards around the commands of the program's windows.
//
// The second click of a double click on a command: the first click runs the
// command, which often hides the button, shows another one in its place or
// closes the window; the second click would then land on whatever is there
// now (Cancel after Undo Last, the main window's Load Phase Image after a plot
// window's Close) or run the same command again. InstallCommandClickGuard()
// drops that second click, wherever it lands, for every push button of every
// window; a window whose click runs a command without a push button (the
// full-size viewer closes on a click) marks it with CommandClicked().
//
// A long command run inside its handler (BusyScope): its window's commands
// are disabled, it counts as a running job (JobGuard), so a hand-over from a
// second start and a close of the main window wait for its end (WhenIdle),
// and the clicks and keys given meanwhile are dropped when it ends rather
// than acted on long after they were given. Only input is dropped, and never
// the input of a dialog opened while it is being dropped.
//
// A job that holds the single image (a batch run, Generate Output, the
// configuration preview: model::SingleImageHold) works on the model the other
// windows read. While it holds it (HoldWindows) only the job's own windows
// live: every other window of the program takes no input (clicks, keys,
// shortcuts, the wheel, drops, focus, hover), so none of them redraws from
// the model, saves or prints, and a close given to one by the window manager
// is carried out when the hold ends. A job's window says so once
// (MarkJobWindow); the dialogs, menus and message boxes it owns, and the
// questions the job asks meanwhile (a modal dialog opened during the hold),
// live with it. What reaches a control without an input event (an assistive
// technology's press, toggle or value) is refused as well: the controls of
// every other window, those first shown during the hold included, are made
// unavailable (HoldUnavailable) while the hold lasts; the windows they own
// (the job's questions, parented to the window that was active) are left
// live. When the hold ends every window takes input as before, however holds
// and busy scopes nest.
//
// A window whose job runs closes one way (CloseAfterJob): the close box,
// Alt+F4 or a close() given while the job runs are refused and kept, and the
// window closes once the job has ended and said how it ended, from the event
// loop. BusyScope holds one for the window of its commands; a window that
// runs its job otherwise holds its own around the job and its report.
#include "platform/folderjobs.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>

class QInputEvent;

namespace platform {

// Installs the guard on the application (once; later calls do nothing).
void InstallCommandClickGuard();

// A click given with `event` (its press or release) ran a command: the second
// click of its double click is dropped.
void CommandClicked(const QInputEvent& event);

// How many second clicks were dropped since the program started (tests wait
// on it).
int DroppedSecondClicks();

// `window` (and what it owns) belongs to the jobs that hold the single image:
// it stays live while they hold it.
void MarkJobWindow(QWidget& window);

// Begins (true) or ends (false) a hold of the program's windows; holds nest,
// the windows live again when the last one ends.
void HoldWindows(bool held);
bool WindowsHeld();

// Makes `widget` unavailable (disabled) for as long as any reason holds it:
// it is available again when the last reason lets go, in whatever order the
// reasons end. BusyScope and the main window's hold use it.
void HoldUnavailable(QWidget& widget, bool unavailable);

class CloseAfterJob {
public:
    // `window`: the job's window (its top-level window is the one watched).
    explicit CloseAfterJob(QWidget& window);
    // Closes the window, from the event loop, when a close was asked.
    ~CloseAfterJob();
    CloseAfterJob(const CloseAfterJob&) = delete;
    CloseAfterJob& operator=(const CloseAfterJob&) = delete;

    // A close was asked while the job ran: the window goes when the scope
    // ends, so whatever the window alone shows of the outcome must be said
    // in words before then.
    bool closeAsked() const;

private:
    class Filter;
    std::unique_ptr<Filter> filter_;
};

class BusyScope {
public:
    // `commands`: the widget holding the window's commands; `job`: the job's
    // name for JobGuard. A job that already runs is refused (started()).
    BusyScope(QWidget& commands, std::string job);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    bool started() const { return guard_->started(); }

private:
    std::unique_ptr<JobGuard> guard_;
    std::unique_ptr<CloseAfterJob> close_;
    QPointer<QWidget> commands_;
    QPointer<QWidget> focus_;
};

} // namespace platform
