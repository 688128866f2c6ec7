// Desktop notifications over a session bus started for the test, with a small service in
// the notification service's place that records what it is sent and can be "clicked".
#include "DesktopNotifier.h"
#include "JobReportWindow.h"
#include "QtTestApp.h"
#include "UiShell.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>
#include <QVariantMap>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

class TNoticeRecorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList Notices; // "summary: body"
    QStringList Actions; // of the last notice

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int) {
        Notices << summary + QStringLiteral(": ") + body;
        Actions = actions;
        return 7;
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
};

// A private session bus: dbus-daemon, gone with the test.
class SessionBus {
public:
    SessionBus() {
        FILE* daemon = popen("dbus-daemon --session --fork --nopidfile --print-address=1 "
                             "--print-pid=1",
                             "r");
        char address[512] = "", pid[32] = "";
        if (daemon && std::fgets(address, sizeof address, daemon) &&
            std::fgets(pid, sizeof pid, daemon)) {
            Address = QString::fromUtf8(address).trimmed();
            Pid = std::atoi(pid);
        }
        if (daemon) pclose(daemon);
    }
    ~SessionBus() {
        if (Pid > 0) kill(Pid, SIGTERM);
    }
    QString Address;
    int Pid = 0;
};

} // namespace

TEST(DesktopNotifier, NoticeWhenNoWindowIsActiveAndItsClickRaisesTheReport) {
    SessionBus bus;
    ASSERT_FALSE(bus.Address.isEmpty()) << "dbus-daemon could not start";
    // Set before anything of the program reaches for the session bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.Address.toUtf8());
    bwtest::QtApp();
    QDBusConnection service = QDBusConnection::connectToBus(bus.Address, "recorder");
    ASSERT_TRUE(service.isConnected());
    TNoticeRecorder recorder;
    ASSERT_TRUE(service.registerObject(Path, &recorder, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(Service));

    bw::TJobSummary summary;
    summary.Title = "Rip finished";
    summary.Verdict = "2 tracks ripped, all accurate";
    bool raised = false;
    bw::UiShell().ShowReport = [&](bw::TfrmJobReport& report) {
        report.hide();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !recorder.Notices.isEmpty(); }, 5000));
        EXPECT_EQ(recorder.Actions, (QStringList{"default", "Show Report"}));
        // The user clicks the notice.
        QDBusMessage click = QDBusMessage::createSignal(Path, Service, "ActionInvoked");
        click << uint(7) << QStringLiteral("default");
        service.send(click);
        raised = QTest::qWaitFor([&] { return report.isVisible(); }, 5000);
    };
    ASSERT_TRUE(bw::UserAway());
    bw::ReportJobEnd(nullptr, summary, bw::UserAway());
    EXPECT_EQ(recorder.Notices, QStringList{"Rip finished: 2 tracks ripped, all accurate"});
    EXPECT_TRUE(raised);

    // The user is looking at the program: nothing is sent.
    QWidget main;
    main.show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    bw::UiShell().ShowReport = [](bw::TfrmJobReport&) { QTest::qWait(300); };
    bw::ReportJobEnd(&main, summary, bw::UserAway());
    EXPECT_EQ(recorder.Notices.size(), 1);

    // No service on the bus: nothing is sent, nothing waits.
    service.unregisterService(Service);
    bw::TDesktopNotifier notifier;
    EXPECT_FALSE(notifier.Notify("Rip finished", "nothing"));
    bw::ResetUiShell();
}

#include "NotifierTest.moc"
