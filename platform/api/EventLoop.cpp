#include "platform/api/EventLoop.h"

#include <QCoreApplication>
#include <chrono>
#include <thread>

#include "platform/host/QtPlatform.h"

namespace vb {

void DoEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace vb

namespace win {

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace win

namespace platform {

void ChooseWindowPlatform() { ChooseQtPlatform(); }

bool DisplayPresent() { return HasDisplay(); }

bool AnyFormLoaded() { return AnyWindowLoaded(); }

void QuitLoopWhenNoFormRemains() { QuitWhenNoWindowRemains(); }

}  // namespace platform
