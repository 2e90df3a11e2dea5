#pragma once
// The windowing layer's start: without a display (no DISPLAY, no
// WAYLAND_DISPLAY, no Qt platform named) the programs run on Qt's offscreen
// platform, as a scheduled task runs without a desktop. A real display's
// session bus is probed first (host/SessionBus.h).
namespace platform {

// Called before the QApplication is created.
void ChooseQtPlatform();

// True when windows reach a user: a GUI application object exists and its
// platform is a real one (not offscreen or minimal, whether named or fallen
// back to).
bool HasDisplay();

// True while the program has a top-level window loaded (shown or hidden).
bool AnyWindowLoaded();

// Once the events now pending have run, ends the running event loop when no
// window is loaded any more; without a running loop it does nothing.
void QuitWhenNoWindowRemains();

}  // namespace platform
