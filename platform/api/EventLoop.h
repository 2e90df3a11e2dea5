#pragma once
// The program's single event loop: DoEvents runs pending Qt events when an
// application object exists; Sleep blocks the thread. The loop lives while
// the program has a form loaded; without a display the forms are loaded but
// reach no one.
#include "platform/api/WinTypes.h"

namespace vb {
void DoEvents();
}

namespace win {
void Sleep(DWORD milliseconds);
}

namespace platform {

// Called in main() before the application object is created: picks where
// windows appear (nowhere, when the session has no display).
void ChooseWindowPlatform();
// True when windows reach a user.
bool DisplayPresent();
// True while the program has a top-level window loaded (shown or hidden).
bool AnyFormLoaded();
// Once the events now pending have run, ends the running event loop when no
// form is loaded any more.
void QuitLoopWhenNoFormRemains();

}  // namespace platform
