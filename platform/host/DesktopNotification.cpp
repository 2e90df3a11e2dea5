#include "platform/host/DesktopNotification.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/host/SessionBus.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kAnswerWaitMs = 2000;
// Busy with one notification for longer than an answer may take: the bus
// itself does not answer (libdbus waits for it without a limit).
constexpr auto kHungAfter = std::chrono::milliseconds(kAnswerWaitMs + 1000);
constexpr std::size_t kMaxWaiting = 4;

const char* IconName(NotificationUrgency urgency) {
    switch (urgency) {
        case NotificationUrgency::Critical: return "dialog-error";
        case NotificationUrgency::Normal: return "dialog-information";
        case NotificationUrgency::Low: break;
    }
    return "";
}

struct Notification {
    std::string title;
    std::string text;
    NotificationUrgency urgency = NotificationUrgency::Normal;
    int timeoutMs = 0;
    NotificationDone done;
    Clock::time_point posted;
};

std::string Seconds(Clock::duration duration) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(duration).count()) + " s";
}

// The session bus the process was given, as it names it now. A connection
// that failed or was lost is tried again at the next notification, so a bus
// that starts after the program (a log-on start) is still found.
QDBusConnection SessionBus() {
    const QString address = QString::fromStdString(SessionBusAddress());
    const QString name = "quarnel-notifications " + address;
    if (QDBusConnection known(name); known.isConnected()) return known;
    QDBusConnection::disconnectFromBus(name);
    if (address.isEmpty()) return QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    return QDBusConnection::connectToBus(address, name);
}

void Send(const Notification& n) {
    QDBusConnection bus = SessionBus();
    if (!bus.isConnected()) return n.done(NotificationOutcome::NoService, "no session bus");
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    QVariantMap hints;
    hints.insert("urgency", QVariant::fromValue(static_cast<uchar>(n.urgency)));
    call << QString("Quarnel") << 0u << QString(IconName(n.urgency)) << QString::fromStdString(n.title)
         << QString::fromStdString(n.text) << QStringList() << hints << n.timeoutMs;
    const QDBusMessage answer = bus.call(call, QDBus::Block, kAnswerWaitMs);
    if (answer.type() != QDBusMessage::ErrorMessage) return n.done(NotificationOutcome::Shown, "");
    if (QDBusError(answer).type() == QDBusError::NoReply)
        return n.done(NotificationOutcome::Dropped, "the notification service did not answer within " +
                                                        Seconds(std::chrono::milliseconds(kAnswerWaitMs)));
    n.done(NotificationOutcome::NoService, (answer.errorName() + ": " + answer.errorMessage()).toStdString());
}

// One thread for every notification of the process, started by the first.
// Never destroyed: a wait on the bus may outlast the process's end.
class NotificationThread {
public:
    static NotificationThread& Instance() {
        static auto* thread = new NotificationThread;
        return *thread;
    }

    void Post(Notification n) {
        std::vector<Notification> dropped;
        std::string why;
        {
            const std::lock_guard lock(mutex_);
            if (closing_) return;
            if (busySince_ && n.posted - *busySince_ > kHungAfter) {
                why = "the session bus has not answered for " + Seconds(n.posted - *busySince_);
                dropped.assign(std::make_move_iterator(waiting_.begin()), std::make_move_iterator(waiting_.end()));
                waiting_.clear();
                dropped.push_back(std::move(n));
            } else if (waiting_.size() >= kMaxWaiting) {
                why = std::to_string(waiting_.size()) + " notifications wait for the session bus already";
                dropped.push_back(std::move(n));
            } else {
                waiting_.push_back(std::move(n));
                if (!started_) Start();
            }
        }
        wake_.notify_one();
        for (const Notification& d : dropped) d.done(NotificationOutcome::Dropped, why);
    }

private:
    // Qt's bus objects go when the process ends normally (exit, not _exit):
    // before they do, the thread finishes the notification it is on, as long
    // as an answer may take, and starts no other. Qt makes those objects at
    // its first connection; one made here, to a file that is no socket (it
    // fails at once), makes them before the hook is set, so that they go
    // after it has run.
    void Start() {
        started_ = true;
        const QString none = QStringLiteral("quarnel-no-connection");
        QDBusConnection::connectToBus(QStringLiteral("unix:path=/dev/null"), none);
        QDBusConnection::disconnectFromBus(none);
        std::atexit([] { Instance().Close(); });
        std::thread([this] { Run(); }).detach();
    }

    void Close() {
        std::unique_lock lock(mutex_);
        closing_ = true;
        waiting_.clear();
        idle_.wait_for(lock, kHungAfter, [&] { return !busySince_; });
    }

    std::optional<Notification> Next() {
        std::unique_lock lock(mutex_);
        busySince_.reset();
        idle_.notify_all();
        wake_.wait(lock, [&] { return !waiting_.empty() && !closing_; });
        Notification n = std::move(waiting_.front());
        waiting_.pop_front();
        const Clock::time_point now = Clock::now();
        if (now - n.posted > std::chrono::milliseconds(n.timeoutMs)) {
            lock.unlock();
            n.done(NotificationOutcome::Dropped, "it waited " + Seconds(now - n.posted) +
                                                     " for the session bus, longer than it was to be shown");
            return std::nullopt;
        }
        busySince_ = now;
        return n;
    }

    void Run() {
        for (;;)
            if (const std::optional<Notification> n = Next()) Send(*n);
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Notification> waiting_;
    std::optional<Clock::time_point> busySince_;
    bool started_ = false;
    bool closing_ = false;
};

}  // namespace

void PostDesktopNotification(const std::string& title, const std::string& text, NotificationUrgency urgency,
                             int timeoutMs, NotificationDone done) {
    NotificationThread::Instance().Post({title, text, urgency, timeoutMs, std::move(done), Clock::now()});
}

}  // namespace platform
