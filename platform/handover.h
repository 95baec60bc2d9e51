#pragma once
// What the running instance does with a command line handed over by a second
// instance. The decision is plain logic; the main window supplies the actions
// through HandoverTarget.
#include <functional>
#include <string>

namespace platform {

// True when a command line names a phase image the program opens:
// "*_ph.tif" or "*Phase.tif", letter case ignored ("*NoPhase.tif" included).
bool IsPhaseImageCommandLine(const std::string& commandLine);

enum class HandoverAction {
    KeptPending,   // the units dialog is up: kept as the pending file
    Ignored,       // empty or not a phase-image name
    Queued,        // a long job runs or a modal dialog is open: acted on when it ends or closes
    Opened,        // opened as the current phase image
    Cleared,       // "*NoPhase.tif": the current image was cleared
};

// The decision alone, from the state it depends on.
HandoverAction DecideHandover(const std::string& text, bool unitsDialogPending, bool jobRunning);

class HandoverTarget {
public:
    virtual ~HandoverTarget() = default;
    virtual bool UnitsDialogPending() const = 0;
    virtual void SetPendingFile(const std::string& path) = 0;
    // A "*Phase.tif" name comes without its mask: the mask in memory is dropped.
    virtual void ForgetMask() = 0;
    virtual void LoadPhaseImage(const std::string& path) = 0;
    // "*NoPhase.tif": header text and fringe value cleared, no phase or mask in
    // memory, partition cleared, crop and mask buttons hidden, "Image: None",
    // analysis state reset and a blank 640 x 480 picture shown.
    virtual void ClearCurrentImage() = 0;
    // By default any running JobGuard counts as a long job.
    virtual bool JobRunning() const;
    // A modal dialog (a question, a file dialog) is open: the hand-over waits
    // for it to close as it waits for a job, so that no question of its own
    // comes on top of another and nothing changes under an open question.
    virtual bool DialogOpen() const { return false; }
    // Runs `action` once no modal dialog is open (at once by default).
    virtual void WhenDialogsClosed(std::function<void()> action) { action(); }
};

// Acts on one handed-over text. A text that arrives while a job runs or a
// dialog is open is kept (the last one wins) and handled as soon as both have
// ended; the target must then still be alive.
HandoverAction HandleHandover(const std::string& text, HandoverTarget& target);

} // namespace platform
