#include "platform/api/EventLoop.h"

#include <QCoreApplication>
#include <chrono>
#include <thread>

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
