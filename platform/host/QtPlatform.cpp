#include "platform/host/QtPlatform.h"

#include <QApplication>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <string>

#include "platform/host/SessionBus.h"

namespace platform {

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

bool IsHeadlessPlatformName(const QString& name) {
    return name.startsWith(QLatin1String("offscreen")) || name.startsWith(QLatin1String("minimal"));
}

}  // namespace

void ChooseQtPlatform() {
    const bool named = IsSet("QT_QPA_PLATFORM");
    if (!named && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return;
    }
    // A real display's platform asks the session bus from this thread.
    if (!named || !IsHeadlessPlatformName(QString::fromLocal8Bit(std::getenv("QT_QPA_PLATFORM"))))
        SetAsideSilentSessionBus();
}

bool HasDisplay() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
    return !IsHeadlessPlatformName(QGuiApplication::platformName());
}

bool AnyWindowLoaded() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    // A window unloaded with deleteLater is gone once its deletion has run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return !QApplication::topLevelWidgets().isEmpty();
}

void QuitWhenNoWindowRemains() {
    // Only a running event loop keeps the process alive without windows.
    if (QThread::currentThread()->loopLevel() == 0) return;
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        if (!AnyWindowLoaded()) QCoreApplication::quit();
    });
}

}  // namespace platform
