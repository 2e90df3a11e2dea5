#include "platform/api/TrayIcon.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPointer>
#include <QStyleHints>
#include <QWidget>
#include <algorithm>
#include <map>
#include <utility>

#include "platform/api/DebugOutput.h"
#include "platform/host/DesktopNotification.h"
#include "platform/host/QtPlatform.h"

namespace platform {

namespace {

using IconKey = std::pair<win::HWND, win::UINT>;

// One button's click history, to tell a double click where Qt reports none.
struct ClickHistory {
    QElapsedTimer lastClick;
    bool clickPending = false;
    QElapsedTimer lastDoubleClick;
};

struct TrayEntry {
    TrayIconInfo info;
    QPointer<QSystemTrayIcon> qtIcon;
    ClickHistory left;
    ClickHistory right;
};

std::map<IconKey, TrayEntry>& Entries() {
    static std::map<IconKey, TrayEntry> entries;
    return entries;
}

TrayEntry* FindEntry(const IconKey& key) {
    auto found = Entries().find(key);
    return found == Entries().end() ? nullptr : &found->second;
}

// The texts of a record, whatever its character width.
struct NotifyRequest {
    win::DWORD cbSize = 0;
    win::HWND hWnd = 0;
    win::UINT uID = 0;
    win::UINT uFlags = 0;
    win::UINT uCallbackMessage = 0;
    win::HICON hIcon = 0;
    std::string tip;
    std::string info;
    std::string infoTitle;
    win::UINT uTimeoutOrVersion = 0;
    win::DWORD dwInfoFlags = 0;
    bool hasBalloonFields = false;
};

// A field is read up to its zero, and never beyond the field as the
// record's size declares it.
template <typename Char>
std::size_t FieldLength(const Char* field, std::size_t capacity) {
    std::size_t length = 0;
    while (length + 1 < capacity && field[length] != 0) ++length;
    return length;
}

std::string TextOf(const char* field, std::size_t capacity) {
    return QString::fromUtf8(field, static_cast<qsizetype>(FieldLength(field, capacity))).toStdString();
}

std::string TextOf(const char16_t* field, std::size_t capacity) {
    return QString::fromUtf16(field, static_cast<qsizetype>(FieldLength(field, capacity))).toStdString();
}

template <typename Record>
std::optional<NotifyRequest> RequestOf(const Record* data, win::DWORD v1Size, win::DWORD v2Size) {
    if (!data || data->cbSize < v1Size) return std::nullopt;
    NotifyRequest request;
    request.cbSize = data->cbSize;
    request.hWnd = data->hWnd;
    request.uID = data->uID;
    request.uFlags = data->uFlags;
    request.uCallbackMessage = data->uCallbackMessage;
    request.hIcon = data->hIcon;
    request.hasBalloonFields = data->cbSize >= v2Size;
    request.tip = TextOf(data->szTip, request.hasBalloonFields ? 128 : 64);
    if (request.hasBalloonFields) {
        request.info = TextOf(data->szInfo, 256);
        request.infoTitle = TextOf(data->szInfoTitle, 64);
        request.uTimeoutOrVersion = data->uTimeoutOrVersion;
        request.dwInfoFlags = data->dwInfoFlags;
    }
    return request;
}

std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

void Log(const std::string& line) { win::OutputDebugStringA("\tShell_NotifyIcon " + line); }

std::string IconName(const NotifyRequest& request) {
    return "window " + std::to_string(request.hWnd) + ", id " + std::to_string(request.uID);
}

bool HaveWidgetApplication() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

int DoubleClickInterval() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 500;
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

void OnActivated(const IconKey& key, QSystemTrayIcon::ActivationReason reason);
void OnBalloonClicked(const IconKey& key);

QSystemTrayIcon* CreateQtIcon(const IconKey& key) {
    // Offscreen there is no tray to show an icon in.
    if (!HaveWidgetApplication() || !HasDisplay()) return nullptr;
    auto* icon = new QSystemTrayIcon(QCoreApplication::instance());
    QObject::connect(icon, &QSystemTrayIcon::activated, icon,
                     [key](QSystemTrayIcon::ActivationReason reason) { OnActivated(key, reason); });
    QObject::connect(icon, &QSystemTrayIcon::messageClicked, icon, [key] { OnBalloonClicked(key); });
    return icon;
}

// Qt warns about a tray icon shown without a picture; it is shown once it has one.
void ShowWhenItHasAPicture(TrayEntry& entry) {
    if (!entry.qtIcon) return;
    const QIcon picture = IconOfHandle(entry.info.icon);
    entry.qtIcon->setIcon(picture);
    if (!picture.isNull()) entry.qtIcon->show();
}

void ApplyTip(TrayEntry& entry, const std::string& tip) {
    entry.info.tip = tip;
    if (entry.qtIcon) entry.qtIcon->setToolTip(QString::fromStdString(tip));
}

QSystemTrayIcon::MessageIcon QtMessageIcon(win::DWORD kind) {
    switch (kind & 0xF) {
        case win::NIIF_INFO:
            return QSystemTrayIcon::Information;
        case win::NIIF_WARNING:
            return QSystemTrayIcon::Warning;
        case win::NIIF_ERROR:
            return QSystemTrayIcon::Critical;
        default:
            return QSystemTrayIcon::NoIcon;
    }
}

platform::NotificationUrgency UrgencyOf(win::DWORD infoFlags) {
    switch (infoFlags & 0xF) {
        case win::NIIF_ERROR: return platform::NotificationUrgency::Critical;
        case win::NIIF_NONE: return platform::NotificationUrgency::Low;
        default: return platform::NotificationUrgency::Normal;
    }
}

// Handed over and left: the outcome is written when it is known, from the
// notification thread.
void ShowAsDesktopNotification(const NotifyRequest& request) {
    const int timeout =
        request.uTimeoutOrVersion ? static_cast<int>(std::min<win::UINT>(request.uTimeoutOrVersion, 600000)) : 10000;
    platform::PostDesktopNotification(
        request.infoTitle, request.info, UrgencyOf(request.dwInfoFlags), timeout,
        [](platform::NotificationOutcome outcome, const std::string& why) {
            switch (outcome) {
                case platform::NotificationOutcome::Shown:
                    return Log("NIM_MODIFY: balloon shown by the desktop's notification service");
                case platform::NotificationOutcome::NoService:
                    return Log("NIM_MODIFY: no tray and no notification service (" + why + ")");
                case platform::NotificationOutcome::Dropped:
                    return Log("NIM_MODIFY: balloon dropped: " + why);
            }
        });
}

void ShowBalloon(TrayEntry& entry, const NotifyRequest& request) {
    entry.info.balloonTitle = request.infoTitle;
    entry.info.balloonText = request.info;
    entry.info.balloonIconKind = request.dwInfoFlags;
    entry.info.balloonTimeoutMs = request.uTimeoutOrVersion;
    if (request.info.empty()) {
        Log("NIM_MODIFY: balloon removed");
        return;
    }
    ++entry.info.balloonCount;
    Log("NIM_MODIFY: balloon \"" + Escaped(request.infoTitle) + "\": " + Escaped(request.info) + " (icon " +
        std::to_string(request.dwInfoFlags) + ", " + std::to_string(request.uTimeoutOrVersion) + " ms)");
    // Without a tray Qt would fall back to a balloon window of its own; the
    // desktop's notification service shows it instead.
    if (!entry.qtIcon || !entry.qtIcon->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable()) {
        ShowAsDesktopNotification(request);
        return;
    }
    const QString title = QString::fromStdString(request.infoTitle);
    const QString text = QString::fromStdString(request.info);
    const int timeout =
        request.uTimeoutOrVersion ? static_cast<int>(std::min<win::UINT>(request.uTimeoutOrVersion, 600000)) : 10000;
    if ((request.dwInfoFlags & 0xF) == win::NIIF_USER)
        entry.qtIcon->showMessage(title, text, IconOfHandle(entry.info.icon), timeout);
    else
        entry.qtIcon->showMessage(title, text, QtMessageIcon(request.dwInfoFlags), timeout);
}

void ApplyFields(TrayEntry& entry, const NotifyRequest& request, const char* verb) {
    if (request.uFlags & win::NIF_MESSAGE) entry.info.callbackMessage = request.uCallbackMessage;
    if (request.uFlags & win::NIF_ICON) {
        entry.info.icon = request.hIcon;
        Log(std::string(verb) + ": icon " + std::to_string(request.hIcon));
        ShowWhenItHasAPicture(entry);
    }
    if (request.uFlags & win::NIF_TIP) {
        ApplyTip(entry, request.tip);
        Log(std::string(verb) + ": tip \"" + Escaped(request.tip) + "\"");
    }
    if ((request.uFlags & win::NIF_INFO) && request.hasBalloonFields) ShowBalloon(entry, request);
}

win::BOOL Add(const NotifyRequest& request) {
    const IconKey key{request.hWnd, request.uID};
    if (FindEntry(key)) {
        Log("NIM_ADD failed: " + IconName(request) + " is already there");
        return win::FALSE_;
    }
    Log("NIM_ADD: " + IconName(request));
    TrayEntry& entry = Entries()[key];
    entry.info.lastRecordSize = request.cbSize;
    entry.qtIcon = CreateQtIcon(key);
    ApplyFields(entry, request, "NIM_ADD");
    return win::TRUE_;
}

win::BOOL Modify(const NotifyRequest& request) {
    TrayEntry* entry = FindEntry({request.hWnd, request.uID});
    if (!entry) {
        Log("NIM_MODIFY failed: no icon for " + IconName(request));
        return win::FALSE_;
    }
    entry->info.lastRecordSize = request.cbSize;
    ++entry->info.modifyCount;
    ApplyFields(*entry, request, "NIM_MODIFY");
    return win::TRUE_;
}

win::BOOL Delete(const NotifyRequest& request) {
    auto found = Entries().find({request.hWnd, request.uID});
    if (found == Entries().end()) {
        Log("NIM_DELETE failed: no icon for " + IconName(request));
        return win::FALSE_;
    }
    Log("NIM_DELETE: " + IconName(request));
    // The call may come from inside one of the icon's own signals.
    if (QSystemTrayIcon* icon = found->second.qtIcon) {
        icon->hide();
        icon->deleteLater();
    }
    Entries().erase(found);
    return win::TRUE_;
}

win::BOOL SetVersion(const NotifyRequest& request) {
    TrayEntry* entry = FindEntry({request.hWnd, request.uID});
    if (!entry || !request.hasBalloonFields || request.uTimeoutOrVersion > 4) {
        Log("NIM_SETVERSION failed: " + IconName(request));
        return win::FALSE_;
    }
    entry->info.lastRecordSize = request.cbSize;
    entry->info.version = request.uTimeoutOrVersion;
    Log("NIM_SETVERSION: " + IconName(request) + ", version " + std::to_string(request.uTimeoutOrVersion));
    return win::TRUE_;
}

win::BOOL Dispatch(win::DWORD message, const std::optional<NotifyRequest>& request) {
    if (!request) {
        Log("message " + std::to_string(message) + " failed: bad record");
        return win::FALSE_;
    }
    switch (message) {
        case win::NIM_ADD:
            return Add(*request);
        case win::NIM_MODIFY:
            return Modify(*request);
        case win::NIM_DELETE:
            return Delete(*request);
        case win::NIM_SETVERSION:
            return SetVersion(*request);
        default:
            Log("message " + std::to_string(message) + " failed: unknown message");
            return win::FALSE_;
    }
}

// The owner learns of the icon through its callback message; only the
// mouse-move message reaches a window here, with the code as its x.
void Deliver(const IconKey& key, win::UINT code) {
    TrayEntry* entry = FindEntry(key);
    if (!entry || entry->info.callbackMessage != win::WM_MOUSEMOVE) return;
    QWidget* owner = WindowOfHandle(key.first);
    if (!owner) return;
    // Qt hands a window mouse moves without a button only while it tracks the mouse.
    if (!owner->hasMouseTracking()) owner->setMouseTracking(true);
    const QPointF position(code, 0);
    QMouseEvent move(QEvent::MouseMove, position, owner->mapToGlobal(position), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(owner, &move);
}

void DeliverAll(const IconKey& key, std::initializer_list<win::UINT> codes) {
    for (win::UINT code : codes) Deliver(key, code);
}

bool Within(const QElapsedTimer& timer, int interval) { return timer.isValid() && timer.elapsed() < interval; }

// A click of a button: a second one within the double-click interval is a
// double click, as the shell's own tray would report it.
void OnClick(const IconKey& key, ClickHistory TrayEntry::*button, win::UINT down, win::UINT up, win::UINT dblclk) {
    TrayEntry* entry = FindEntry(key);
    if (!entry) return;
    ClickHistory& history = entry->*button;
    const int interval = DoubleClickInterval();
    if (history.clickPending && Within(history.lastClick, interval)) {
        history.clickPending = false;
        history.lastDoubleClick.start();
        DeliverAll(key, {dblclk, up});
        return;
    }
    history.clickPending = true;
    history.lastClick.start();
    DeliverAll(key, {down, up});
}

// Qt's own double click; one that follows a double click already told from
// two clicks is the same one.
void OnDoubleClick(const IconKey& key) {
    TrayEntry* entry = FindEntry(key);
    if (!entry) return;
    if (Within(entry->left.lastDoubleClick, DoubleClickInterval())) return;
    entry->left.clickPending = false;
    entry->left.lastDoubleClick.start();
    DeliverAll(key, {win::WM_LBUTTONDBLCLK, win::WM_LBUTTONUP});
}

void OnActivated(const IconKey& key, QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            OnClick(key, &TrayEntry::left, win::WM_LBUTTONDOWN, win::WM_LBUTTONUP, win::WM_LBUTTONDBLCLK);
            break;
        case QSystemTrayIcon::Context:
            OnClick(key, &TrayEntry::right, win::WM_RBUTTONDOWN, win::WM_RBUTTONUP, win::WM_RBUTTONDBLCLK);
            break;
        case QSystemTrayIcon::DoubleClick:
            OnDoubleClick(key);
            break;
        case QSystemTrayIcon::MiddleClick:
            DeliverAll(key, {win::WM_MBUTTONDOWN, win::WM_MBUTTONUP});
            break;
        default:
            break;
    }
}

void OnBalloonClicked(const IconKey& key) { Deliver(key, win::NIN_BALLOONUSERCLICK); }

struct IconTable {
    std::map<win::HICON, QIcon> icons;
    std::map<std::string, win::HICON> byName;
    win::HICON next = 0x10001;
};

IconTable& Icons() {
    static IconTable table;
    return table;
}

}  // namespace

// Handles are numbered by the layer rather than taken from winId(), which
// would turn a child control and its siblings into native windows.
std::map<win::HWND, QPointer<QWidget>>& WindowHandles() {
    static std::map<win::HWND, QPointer<QWidget>> handles;
    return handles;
}

win::HWND HandleOfWindow(QWidget* window) {
    if (!window) return 0;
    static const char* const kHandle = "quarnelWindowHandle";
    if (const QVariant known = window->property(kHandle); known.isValid()) return known.value<win::HWND>();
    static win::HWND next = 0x10010;
    const win::HWND handle = next;
    next += 4;
    window->setProperty(kHandle, QVariant::fromValue(handle));
    WindowHandles()[handle] = window;
    return handle;
}

QWidget* WindowOfHandle(win::HWND handle) {
    if (handle == 0 || !HaveWidgetApplication()) return nullptr;
    auto found = WindowHandles().find(handle);
    return found == WindowHandles().end() ? nullptr : found->second.data();
}

win::HICON LoadIconResource(const std::string& name) {
    IconTable& table = Icons();
    if (auto known = table.byName.find(name); known != table.byName.end()) return known->second;
    const QString path = QStringLiteral(":/icons/") + QString::fromStdString(name) + QStringLiteral(".png");
    if (!QFile::exists(path)) return 0;
    const win::HICON handle = table.next;
    table.next += 2;
    table.icons.emplace(handle, QIcon(path));
    table.byName.emplace(name, handle);
    return handle;
}

QIcon IconOfHandle(win::HICON handle) {
    auto found = Icons().icons.find(handle);
    return found == Icons().icons.end() ? QIcon() : found->second;
}

std::optional<TrayIconInfo> QueryTrayIcon(win::HWND owner, win::UINT id) {
    if (TrayEntry* entry = FindEntry({owner, id})) return entry->info;
    return std::nullopt;
}

int TrayIconCount() { return static_cast<int>(Entries().size()); }

void SendTrayCallback(win::HWND owner, win::UINT id, win::UINT code) { Deliver({owner, id}, code); }

void SimulateTrayActivation(win::HWND owner, win::UINT id, QSystemTrayIcon::ActivationReason reason) {
    OnActivated({owner, id}, reason);
}

void SimulateBalloonClick(win::HWND owner, win::UINT id) { OnBalloonClicked({owner, id}); }

}  // namespace platform

namespace win {

BOOL Shell_NotifyIconA(DWORD message, NOTIFYICONDATAA* data) {
    return platform::Dispatch(message, platform::RequestOf(data, NOTIFYICONDATAA_V1_SIZE, NOTIFYICONDATAA_V2_SIZE));
}

BOOL Shell_NotifyIconW(DWORD message, NOTIFYICONDATAW* data) {
    return platform::Dispatch(message, platform::RequestOf(data, NOTIFYICONDATAW_V1_SIZE, NOTIFYICONDATAW_V2_SIZE));
}

}  // namespace win
