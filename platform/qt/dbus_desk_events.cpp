// Desk events from D-Bus. On the session bus: the screen savers' ActiveChanged(true)
// (freedesktop's name, which KDE owns too, and GNOME's own). On the system bus, from
// logind: PrepareForSleep(true) before a suspend or hibernation, and Lock on this process's
// own session (what `loginctl lock-session` sends).
//
// Why the sender is checked against the name's owner: a signal is a broadcast, and any
// client of a bus may send one with any interface and path. Only the client that owns the
// well-known name speaks for the screen saver or for logind; the bus tells us who that is.
//
// Why a "delay" inhibitor while watching: logind then waits for us (up to its
// InhibitDelayMaxSec) before the machine sleeps, so the logout is done before the sleep and
// not after the wake-up; closing the descriptor after the logout lets the sleep go on.
//
// No bus at all (a bare X session): nothing is watched, and nothing is said.
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>

#include "platform/desk_events.h"
#include "platform/desktop_registry.h"

namespace quillet::platform::dbus_desk {

inline constexpr char kLogind[] = "org.freedesktop.login1";
inline constexpr char kLogindPath[] = "/org/freedesktop/login1";
inline constexpr char kLogindManager[] = "org.freedesktop.login1.Manager";
inline constexpr char kLogindSession[] = "org.freedesktop.login1.Session";
// Each screen saver's interface carries the name its owner holds.
inline constexpr const char* kScreenSavers[] = {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver"};

// Window thread only: the bus delivers its signals on the thread of this object.
class Watcher : public QObject {
    Q_OBJECT

  public:
    explicit Watcher(QObject* parent) : QObject(parent) {
        QDBusConnection session = QDBusConnection::sessionBus();
        if (session.isConnected()) {
            // Any path: KDE sends it from /ScreenSaver, the others from their own paths.
            for (const char* screen_saver : kScreenSavers) {
                session.connect(QString(), QString(), screen_saver, "ActiveChanged", this,
                                SLOT(screen_saver_changed(bool, QDBusMessage)));
            }
        }
        QDBusConnection system = QDBusConnection::systemBus();
        if (system.isConnected()) {
            system.connect(QString(), kLogindPath, kLogindManager, "PrepareForSleep", this,
                           SLOT(preparing_for_sleep(bool, QDBusMessage)));
            system.connect(QString(), QString(), kLogindSession, "Lock", this, SLOT(session_locked(QDBusMessage)));
            find_own_session();
        }
    }

    void watch(std::function<void()> left) {
        left_ = std::move(left);
        hold_back_sleep();
    }

    void stop() {
        left_ = nullptr;
        ++watch_number_;
        sleep_delay_ = QDBusUnixFileDescriptor();
    }

  private slots:
    void screen_saver_changed(bool active, const QDBusMessage& message) {
        if (active) leave_if_sent_by(QDBusConnection::sessionBus(), message.interface(), message);
    }
    void preparing_for_sleep(bool starting, const QDBusMessage& message) {
        if (starting) leave_if_sent_by(QDBusConnection::systemBus(), kLogind, message);
    }
    void session_locked(const QDBusMessage& message) {
        if (!own_session_.isEmpty() && message.path() == own_session_) {
            leave_if_sent_by(QDBusConnection::systemBus(), kLogind, message);
        }
    }

  private:
    // Signals are rare, so the owner is asked each time rather than tracked.
    void leave_if_sent_by(QDBusConnection bus, const QString& name, const QDBusMessage& message) {
        if (!left_) return;
        const QDBusReply<QString> owner = bus.interface()->serviceOwner(name);
        if (!owner.isValid() || owner.value() != message.service()) return;
        std::function<void()> left = left_;  // a copy: `left` stops the watch
        left();
    }

    // The session this process runs in; failing that (a process started outside any
    // session, under a service manager for instance), the one the environment names.
    void find_own_session() {
        QDBusMessage by_pid = QDBusMessage::createMethodCall(kLogind, kLogindPath, kLogindManager, "GetSessionByPID");
        by_pid << static_cast<std::uint32_t>(getpid());
        on_reply(by_pid, [this](const QDBusMessage& reply) {
            if (remember_session(reply)) return;
            const QString named = qEnvironmentVariable("XDG_SESSION_ID");
            if (named.isEmpty()) return;
            QDBusMessage by_id = QDBusMessage::createMethodCall(kLogind, kLogindPath, kLogindManager, "GetSession");
            by_id << named;
            on_reply(by_id, [this](const QDBusMessage& reply) { remember_session(reply); });
        });
    }

    bool remember_session(const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
        own_session_ = qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path();
        return !own_session_.isEmpty();
    }

    void hold_back_sleep() {
        QDBusMessage inhibit = QDBusMessage::createMethodCall(kLogind, kLogindPath, kLogindManager, "Inhibit");
        inhibit << QString("sleep") << QString("Quillet") << QString("Logging out before the machine sleeps")
                << QString("delay");
        on_reply(inhibit, [this, number = watch_number_](const QDBusMessage& reply) {
            // A watch stopped meanwhile must not keep the sleep waiting.
            if (number != watch_number_ || !left_ || reply.type() != QDBusMessage::ReplyMessage) return;
            if (reply.arguments().isEmpty()) return;
            sleep_delay_ = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().first());
        });
    }

    // Asynchronous: the window thread does not wait on a bus.
    void on_reply(const QDBusMessage& call, std::function<void(const QDBusMessage&)> handle) {
        QDBusConnection system = QDBusConnection::systemBus();
        if (!system.isConnected()) return;
        auto* pending = new QDBusPendingCallWatcher(system.asyncCall(call), this);
        connect(pending, &QDBusPendingCallWatcher::finished, this, [handle](QDBusPendingCallWatcher* finished) {
            handle(finished->reply());
            finished->deleteLater();
        });
    }

    std::function<void()> left_;
    unsigned watch_number_ = 0;
    QDBusUnixFileDescriptor sleep_delay_;  // closed when replaced
    QString own_session_;
};

// The watcher belongs to the application object and ends with it.
class DbusDeskEvents : public DeskEvents {
  public:
    void watch(std::function<void()> left) override {
        if (QCoreApplication::instance() == nullptr) return;
        if (!watcher_) watcher_ = new Watcher(QCoreApplication::instance());
        watcher_->watch(std::move(left));
    }
    void stop() override {
        if (watcher_) watcher_->stop();
    }

  private:
    QPointer<Watcher> watcher_;
};

DbusDeskEvents system_desk_events;
const bool registered = (register_system_desk_events(&system_desk_events), true);

}  // namespace quillet::platform::dbus_desk

#include "dbus_desk_events.moc"
