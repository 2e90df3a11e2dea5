#pragma once
// The program's single event loop: DoEvents runs pending Qt events when an
// application object exists; Sleep blocks the thread.
#include "platform/api/WinTypes.h"

namespace vb {
void DoEvents();
}

namespace win {
void Sleep(DWORD milliseconds);
}
