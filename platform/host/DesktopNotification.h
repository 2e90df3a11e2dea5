#pragma once
// The desktop's notification service (org.freedesktop.Notifications on the
// session bus): where a balloon goes when no system tray can show it. The
// bus is spoken to on a thread of its own: a session bus that never
// completes the connection, or a service that never answers, holds up no
// caller, and the caller's next notification finds out at once.
#include <functional>
#include <string>

namespace platform {

enum class NotificationUrgency { Low = 0, Normal = 1, Critical = 2 };

enum class NotificationOutcome {
    Shown,
    NoService,  // no session bus, or no notification service on it
    Dropped,    // the bus or the service did not answer in time
};

// Told once per notification with the reason for any outcome but Shown;
// called on the notification thread, or on the caller's for a notification
// dropped before it was handed over.
using NotificationDone = std::function<void(NotificationOutcome, const std::string& why)>;

// Hands one notification to the notification thread and returns at once.
// That thread connects to the session bus that DBUS_SESSION_BUS_ADDRESS
// names (again at the next notification after a failure) and waits at most
// two seconds for each answer. A notification is dropped when
// the thread has been waiting on the bus for longer than that, when four
// others are waiting already, or when it waited for its turn longer than it
// was to be shown.
void PostDesktopNotification(const std::string& title, const std::string& text, NotificationUrgency urgency,
                             int timeoutMs, NotificationDone done);

}  // namespace platform
