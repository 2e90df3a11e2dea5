#include "platform/api/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <map>

#include "platform/host/Text.h"

namespace {

struct MessageWindow {
    std::string className;
    win::LONG_PTR procedure;
};

std::map<win::HWND, MessageWindow>& Windows() {
    static std::map<win::HWND, MessageWindow> windows;
    return windows;
}

// Handles of message-only windows lie apart from those of widget windows.
win::HWND NextHandle() {
    static win::HWND next = 0x7F0002;
    const win::HWND handle = next;
    next += 4;
    return handle;
}

class PostedMessage : public QEvent {
public:
    PostedMessage(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam)
        : QEvent(Type()), window_(window), message_(message), wParam_(wParam), lParam_(lParam) {}
    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    void Deliver() const { platform::DeliverWindowMessage(window_, message_, wParam_, lParam_); }

private:
    win::HWND window_;
    win::UINT message_;
    win::WPARAM wParam_;
    win::LPARAM lParam_;
};

// Lives for the whole program on the thread that made it, the user-interface thread.
class MessageQueue : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() != PostedMessage::Type()) return QObject::event(event);
        static_cast<PostedMessage*>(event)->Deliver();
        return true;
    }
};

MessageQueue* Queue() {
    static MessageQueue* queue = new MessageQueue;
    return queue;
}

}  // namespace

namespace win {

HWND CreateWindowExA(DWORD, const std::string& className, const std::string&, DWORD, int, int, int, int, HWND,
                     std::intptr_t, HINSTANCE, void*) {
    if (className.empty()) return 0;
    const HWND handle = NextHandle();
    Windows()[handle] = MessageWindow{platform::TextUpper(className), reinterpret_cast<LONG_PTR>(&DefWindowProcA)};
    return handle;
}

BOOL DestroyWindow(HWND window) { return Windows().erase(window) ? TRUE_ : FALSE_; }

BOOL IsWindow(HWND window) { return Windows().count(window) ? TRUE_ : FALSE_; }

LONG_PTR SetWindowLongA(HWND window, int index, LONG_PTR newValue) {
    auto found = Windows().find(window);
    if (found == Windows().end() || index != GWL_WNDPROC || newValue == 0) return 0;
    const LONG_PTR previous = found->second.procedure;
    found->second.procedure = newValue;
    return previous;
}

LONG_PTR GetWindowLongA(HWND window, int index) {
    auto found = Windows().find(window);
    if (found == Windows().end() || index != GWL_WNDPROC) return 0;
    return found->second.procedure;
}

LRESULT CallWindowProcA(LONG_PTR previous, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (previous == 0) return 0;
    return reinterpret_cast<WNDPROC>(previous)(window, message, wParam, lParam);
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

UINT RegisterWindowMessageA(const std::string& name) {
    if (name.empty()) return 0;
    static std::map<std::string, UINT> registered;
    const std::string key = platform::TextFoldCase(name);
    auto found = registered.find(key);
    if (found != registered.end()) return found->second;
    const UINT number = 0xC000 + static_cast<UINT>(registered.size());
    registered.emplace(key, number);
    return number;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsWindow(window) || !QCoreApplication::instance()) return FALSE_;
    QCoreApplication::postEvent(Queue(), new PostedMessage(window, message, wParam, lParam));
    return TRUE_;
}

HINSTANCE ProgramInstance() { return 0x400000; }

}  // namespace win

namespace platform {

bool DeliverWindowMessage(win::HWND window, win::UINT message, win::WPARAM wParam, win::LPARAM lParam) {
    auto found = Windows().find(window);
    if (found == Windows().end()) return false;
    win::CallWindowProcA(found->second.procedure, window, message, wParam, lParam);
    return true;
}

}  // namespace platform
