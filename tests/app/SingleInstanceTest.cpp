// The single-instance mechanism, in process and with the real program as the second start.
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QtEndian>
#include <gtest/gtest.h>

#include "Messages.h"
#include "QtTestApp.h"
#include "SingleInstance.h"
#include "TestSupport.h"

using namespace bw;
namespace fs = std::filesystem;

namespace {

const QString Program = QStringLiteral(BW_BINARY_DIR "/brindlewave");

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { bwtest::QtApp(); }

    QString Folder() const { return QString::fromStdString(Dir.Path().string()); }

    // Waits, running events, for the next message posted to the queue.
    std::optional<TPostedMessage> NextMessage(int timeoutMs = 5000) {
        std::optional<TPostedMessage> message;
        bwtest::WaitUntil(
            [&] {
                message = Queue.WaitNext(std::chrono::milliseconds(0));
                return message.has_value();
            },
            timeoutMs);
        return message;
    }

    // The environment of a program start that keeps all its files in the scratch folder.
    QProcessEnvironment ProgramEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", Folder());
        env.insert("XDG_CONFIG_HOME", Folder() + "/config");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("BRINDLEWAVE_CD_IMAGES");
        return env;
    }

    bwtest::TempDir Dir;
    TMessageQueue Queue;
};

} // namespace

TEST_F(SingleInstanceTest, OnlyTheFirstClaimsAndALaterStartReachesIt) {
    TSingleInstance first(Folder());
    ASSERT_TRUE(first.Claim());
    ASSERT_TRUE(first.Listen(&Queue));
    TSingleInstance second(Folder());
    EXPECT_FALSE(second.Claim());
    EXPECT_TRUE(second.NotifyRunning());
    auto message = NextMessage();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->Msg, WM_SHOWINSTANCE);
    EXPECT_EQ(message->WParam, 0);
    EXPECT_EQ(message->LParam, 0);
    EXPECT_TRUE(first.SocketPath().startsWith(Folder()));
}

TEST_F(SingleInstanceTest, ALockLeftByACrashedRunIsTakenOver) {
    // A running program killed outright leaves its lock file and socket behind.
    QProcess crashed;
    crashed.setProcessEnvironment(ProgramEnvironment());
    crashed.start(Program, {});
    ASSERT_TRUE(crashed.waitForStarted());
    TSingleInstance instance(Folder());
    ASSERT_TRUE(bwtest::WaitUntil([&] { return QFile::exists(instance.SocketPath()); }, 10000));
    crashed.kill();
    crashed.waitForFinished();
    ASSERT_TRUE(QFile::exists(instance.LockPath()));

    EXPECT_TRUE(instance.Claim());
    EXPECT_TRUE(instance.Listen(&Queue));
    TSingleInstance second(Folder());
    EXPECT_FALSE(second.Claim());
    EXPECT_TRUE(second.NotifyRunning());
    EXPECT_TRUE(NextMessage());
}

TEST_F(SingleInstanceTest, RequestsOtherThanShowAreIgnored) {
    TSingleInstance first(Folder());
    ASSERT_TRUE(first.Claim());
    ASSERT_TRUE(first.Listen(&Queue));
    QLocalSocket socket;
    socket.connectToServer(first.SocketPath());
    ASSERT_TRUE(socket.waitForConnected(2000));
    char bytes[8];
    qToLittleEndian<qint32>(WM_RIPFAILED, bytes);
    qToLittleEndian<qint32>(WM_SHOWINSTANCE, bytes + 4);
    socket.write(bytes, 6); // one whole request, then a torn one
    socket.waitForBytesWritten(1000);
    EXPECT_FALSE(NextMessage(300));
    socket.write(bytes + 6, 2);
    socket.waitForBytesWritten(1000);
    auto message = NextMessage();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->Msg, WM_SHOWINSTANCE);
}

TEST_F(SingleInstanceTest, TheProgramStartedSecondExitsAtOnceWithoutLoadingSettings) {
    TSingleInstance first(Folder());
    ASSERT_TRUE(first.Claim());
    ASSERT_TRUE(first.Listen(&Queue));

    QProcess second;
    second.setProcessEnvironment(ProgramEnvironment());
    second.start(Program, {});
    ASSERT_TRUE(second.waitForStarted());
    ASSERT_TRUE(bwtest::WaitUntil([&] { return second.state() == QProcess::NotRunning; }, 5000))
        << "second start did not exit";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    auto message = NextMessage();
    ASSERT_TRUE(message);
    EXPECT_EQ(message->Msg, WM_SHOWINSTANCE);
    EXPECT_FALSE(fs::exists(Dir / "config" / "Vellamor")); // no settings were loaded
}

TEST_F(SingleInstanceTest, TwoProgramStartsOneAfterTheOther) {
    QProcess first;
    QProcessEnvironment env = ProgramEnvironment();
    env.insert("QT_LOGGING_RULES", "brindlewave.instance.debug=true");
    first.setProcessEnvironment(env);
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.start(Program, {});
    ASSERT_TRUE(first.waitForStarted());
    TSingleInstance names(Folder());
    ASSERT_TRUE(bwtest::WaitUntil([&] { return QFile::exists(names.SocketPath()); }, 10000));
    EXPECT_TRUE(fs::exists(Dir / "config" / "Vellamor" / "Brindlewave"));

    QProcess second;
    second.setProcessEnvironment(ProgramEnvironment());
    second.start(Program, {});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitCode(), 0);

    QByteArray log;
    EXPECT_TRUE(bwtest::WaitUntil(
        [&] {
            log += first.readAll();
            return log.contains("show request received");
        },
        5000))
        << log.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}
