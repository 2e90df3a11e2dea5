#include "WindowMessages.h"

#include <QEvent>
#include <QString>
#include <QWidget>
#include <map>
#include <set>

#include "platform/api/TrayIcon.h"

namespace {

const char* const kLeaveRequested = "quarnelLeaveRequested";

struct Module {
    win::HMODULE handle;
    bool alwaysLoaded;
    std::set<std::string> exports;
};

std::map<std::string, Module>& Modules() {
    static std::map<std::string, Module> modules{
        {"user32", {0x7E410000, true, {"TrackMouseEvent", "CallWindowProcA", "SetWindowLongA", "DrawTextA",
                                       "GetSysColor", "GetModuleHandleA"}}},
        {"kernel32", {0x7C800000, true, {"GetModuleHandleA", "LoadLibraryA", "GetProcAddress", "FreeLibrary"}}},
        {"gdi32", {0x77F10000, true, {}}},
        {"uxtheme", {0x5AD70000, true, {"OpenThemeData", "DrawThemeBackground", "CloseThemeData"}}},
        {"comctl32", {0x773D0000, false, {"_TrackMouseEvent"}}},
    };
    return modules;
}

std::map<win::HMODULE, int>& LoadCounts() {
    static std::map<win::HMODULE, int> counts;
    return counts;
}

const Module* ModuleNamed(const std::string& name) {
    QString key = QString::fromStdString(name).trimmed().toLower();
    if (key.endsWith(QStringLiteral(".dll"))) key.chop(4);
    auto found = Modules().find(key.toStdString());
    return found == Modules().end() ? nullptr : &found->second;
}

const Module* ModuleOf(win::HMODULE handle) {
    for (const auto& [name, module] : Modules())
        if (module.handle == handle) return &module;
    return nullptr;
}

bool IsLoaded(const Module& module) { return module.alwaysLoaded || LoadCounts()[module.handle] > 0; }

win::BOOL RequestLeave(win::TRACKMOUSEEVENT* request) {
    if (!request || request->cbSize != sizeof(win::TRACKMOUSEEVENT)) return win::FALSE_;
    QWidget* window = platform::WindowOfHandle(request->hwndTrack);
    if (!window) return win::FALSE_;
    window->setProperty(kLeaveRequested, (request->dwFlags & win::TME_LEAVE) != 0);
    return win::TRUE_;
}

}  // namespace

namespace win {

BOOL TrackMouseEvent(TRACKMOUSEEVENT* request) { return RequestLeave(request); }
BOOL _TrackMouseEvent(TRACKMOUSEEVENT* request) { return RequestLeave(request); }

HMODULE GetModuleHandleA(const std::string& name) {
    const Module* module = ModuleNamed(name);
    return module && IsLoaded(*module) ? module->handle : 0;
}

HMODULE LoadLibraryA(const std::string& name) {
    const Module* module = ModuleNamed(name);
    if (!module) return 0;
    ++LoadCounts()[module->handle];
    return module->handle;
}

FARPROC GetProcAddress(HMODULE handle, const std::string& name) {
    const Module* module = ModuleOf(handle);
    if (!module || !IsLoaded(*module) || !module->exports.contains(name)) return 0;
    return handle + 0x1000 + static_cast<FARPROC>(std::hash<std::string>{}(name) & 0xFFFF);
}

BOOL FreeLibrary(HMODULE handle) {
    auto count = LoadCounts().find(handle);
    if (count == LoadCounts().end() || count->second == 0) return ModuleOf(handle) ? TRUE_ : FALSE_;
    --count->second;
    return TRUE_;
}

}  // namespace win

namespace platform {

win::UINT MessageOfEvent(QWidget* window, const QEvent& event) {
    switch (event.type()) {
    case QEvent::MouseMove: return win::WM_MOUSEMOVE;
    case QEvent::ThemeChange: return win::WM_THEMECHANGED;
    case QEvent::PaletteChange: return win::WM_SYSCOLORCHANGE;
    case QEvent::Leave:
        if (!window || !window->property(kLeaveRequested).toBool()) return 0;
        window->setProperty(kLeaveRequested, false);
        return win::WM_MOUSELEAVE;
    default: return 0;
    }
}

}  // namespace platform
