#include "platform/host/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace platform {

namespace {

constexpr int kAnswerWaitMs = 2000;

const char* IconName(NotificationUrgency urgency) {
    switch (urgency) {
        case NotificationUrgency::Critical: return "dialog-error";
        case NotificationUrgency::Normal: return "dialog-information";
        case NotificationUrgency::Low: break;
    }
    return "";
}

}  // namespace

bool SendDesktopNotification(const std::string& title, const std::string& text, NotificationUrgency urgency,
                             int timeoutMs, std::string& failure) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        failure = "no session bus";
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    QVariantMap hints;
    hints.insert("urgency", QVariant::fromValue(static_cast<uchar>(urgency)));
    call << QString("Quarnel") << 0u << QString(IconName(urgency)) << QString::fromStdString(title)
         << QString::fromStdString(text) << QStringList() << hints << timeoutMs;
    const QDBusMessage answer = bus.call(call, QDBus::Block, kAnswerWaitMs);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        failure = (answer.errorName() + ": " + answer.errorMessage()).toStdString();
        return false;
    }
    return true;
}

}  // namespace platform
