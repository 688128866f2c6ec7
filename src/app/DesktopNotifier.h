// Desktop notifications through the session's org.freedesktop.Notifications service, the way
// GNOME and KDE programs send them. Nothing is sent, and nothing waits, when there is no
// session bus or no notification service on it. Clicking a notification runs its action.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>

namespace bw {

class TDesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit TDesktopNotifier(QObject* parent = nullptr);

    // Sends the notice; `onClick` runs (on this thread) when the user clicks it. False when
    // no notification service runs.
    bool Notify(const QString& summary, const QString& body, std::function<void()> onClick = {});

private slots:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);

private:
    bool FConnected = false;
    std::map<uint, std::function<void()>> FActions; // by the service's notification id
};

} // namespace bw
