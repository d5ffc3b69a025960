#pragma once

#include <functional>

namespace platform {

// Ending the program on request. The request takes effect when control returns to the event
// loop; until then every modal window asked to show returns Cancel at once, and nothing that
// would keep the program alive (a shutdown sequence, a further dialog) is started.
void RequestTermination();
bool TerminationRequested();
// What ends the event loop; the program's entry installs it. Without one, a request is only
// recorded (the windows' tests look at the flag).
void SetTerminationHandler(std::function<void()> handler);
void ResetTerminationForTests();

// exec() of a modal window, or 0 (Rejected) at once once termination was requested.
template <class Dialog>
int ExecModal(Dialog& dialog) {
    return TerminationRequested() ? 0 : dialog.exec();
}

}  // namespace platform
