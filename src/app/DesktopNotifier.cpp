#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace bw {

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

// A service that is running, or one the bus starts when it is called.
bool ServiceAvailable(QDBusConnection& bus) {
    QDBusConnectionInterface* names = bus.interface();
    if (!names) return false;
    if (names->isServiceRegistered(Service).value()) return true;
    return names->activatableServiceNames().value().contains(Service);
}

} // namespace

TDesktopNotifier::TDesktopNotifier(QObject* parent) : QObject(parent) {}

bool TDesktopNotifier::Notify(const QString& summary, const QString& body,
                              std::function<void()> onClick) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !ServiceAvailable(bus)) return false;
    if (!FConnected) {
        bus.connect(Service, Path, Service, QStringLiteral("ActionInvoked"), this,
                    SLOT(ActionInvoked(uint, QString)));
        bus.connect(Service, Path, Service, QStringLiteral("NotificationClosed"), this,
                    SLOT(NotificationClosed(uint, uint)));
        FConnected = true;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.vellamor.Brindlewave"));
    call << QStringLiteral("Brindlewave") << uint(0) << QStringLiteral("org.vellamor.Brindlewave")
         << summary << body
         << (onClick ? QStringList{QStringLiteral("default"), QStringLiteral("Show Report")}
                     : QStringList{})
         << hints << int(-1);
    // Asynchronous: a slow service never holds up the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, onClick = std::move(onClick)] {
                QDBusPendingReply<uint> reply = *watcher;
                if (!reply.isError() && onClick) FActions[reply.value()] = onClick;
                watcher->deleteLater();
            });
    return true;
}

void TDesktopNotifier::ActionInvoked(uint id, const QString& action) {
    auto found = FActions.find(id);
    if (found == FActions.end() || action != QStringLiteral("default")) return;
    const std::function<void()> onClick = found->second;
    onClick();
}

void TDesktopNotifier::NotificationClosed(uint id, uint) {
    FActions.erase(id);
}

} // namespace bw
