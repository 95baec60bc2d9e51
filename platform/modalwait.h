#pragma once
// Waiting for the modal dialogs of the program to close: what must not happen
// under an open question (a hand-over from a second start opening an image
// and asking its own question on top) runs once no modal window is open.
#include <functional>

namespace platform {

// True while a modal window (a message box, a file dialog, an
// application-modal job window) is open.
bool ModalDialogOpen();

// Runs `action` once no modal window is open: at once when none is, else
// from the event loop after the last one has closed (in the order given).
void WhenNoModalDialog(std::function<void()> action);

} // namespace platform
