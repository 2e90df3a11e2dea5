#pragma once
// The desktop's notification service (org.freedesktop.Notifications on the
// session bus): where a balloon goes when no system tray can show it.
#include <string>

namespace platform {

enum class NotificationUrgency { Low = 0, Normal = 1, Critical = 2 };

// Shows one notification; waits at most two seconds for the service's answer.
// False, with the reason, when there is no session bus or no service on it.
bool SendDesktopNotification(const std::string& title, const std::string& text, NotificationUrgency urgency,
                             int timeoutMs, std::string& failure);

}  // namespace platform
