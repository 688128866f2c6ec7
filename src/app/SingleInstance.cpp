#include "SingleInstance.h"

#include "Global.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QThread>
#include <QtEndian>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcInstance, "brindlewave.instance", QtInfoMsg)

namespace bw {

namespace {

// A request is the message number as 4 little-endian bytes.
constexpr int RequestBytes = 4;

QString BaseName() {
    QByteArray hash =
        QCryptographicHash::hash(MainWindowClassName.toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("brindlewave-") + QString::fromLatin1(hash.left(16));
}

} // namespace

TSingleInstance::TSingleInstance(QString folder) {
    if (folder.isEmpty()) folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists()) {
        // Not a shared folder such as /tmp, where another user could take the names first.
        folder = QString::fromStdString(SettingsFolder().string());
    }
    const QString base = QDir(folder).filePath(BaseName());
    FLockPath = base + QStringLiteral(".lock");
    FSocketPath = base + QStringLiteral(".socket");
    FServer.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&FServer, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = FServer.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this,
                    [this, socket] { ReadRequest(socket); });
            ReadRequest(socket);
        }
    });
}

TSingleInstance::~TSingleInstance() {
    FServer.close();
}

bool TSingleInstance::Claim() {
    FLock = std::make_unique<QLockFile>(FLockPath);
    // A lock left by a crashed run names a dead process; QLockFile takes it over.
    FLock->setStaleLockTime(0);
    if (FLock->tryLock(0)) return true;
    FLock.reset();
    return false;
}

bool TSingleInstance::Listen(TMessageTarget* target) {
    FTarget = target;
    // We hold the lock, so a socket file left behind belongs to a run that has ended.
    QLocalServer::removeServer(FSocketPath);
    if (FServer.listen(FSocketPath)) return true;
    qCWarning(lcInstance) << "cannot listen on" << FSocketPath << FServer.errorString();
    return false;
}

void TSingleInstance::ReadRequest(QLocalSocket* socket) {
    while (socket->bytesAvailable() >= RequestBytes) {
        QByteArray bytes = socket->read(RequestBytes);
        const int msg = qFromLittleEndian<qint32>(bytes.constData());
        // Only the show request is taken from outside; other numbers are ignored.
        if (msg != WM_SHOWINSTANCE) {
            qCWarning(lcInstance) << "ignored request" << msg;
            continue;
        }
        qCDebug(lcInstance) << "show request received";
        if (FTarget) FTarget->Post(WM_SHOWINSTANCE);
    }
}

bool TSingleInstance::NotifyRunning(int timeoutMs) const {
    QDeadlineTimer deadline(timeoutMs);
    do {
        QLocalSocket socket;
        socket.connectToServer(FSocketPath);
        if (socket.waitForConnected(qMax<qint64>(1, qMin<qint64>(500, deadline.remainingTime())))) {
            char bytes[RequestBytes];
            qToLittleEndian<qint32>(WM_SHOWINSTANCE, bytes);
            socket.write(bytes, RequestBytes);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        // The running instance holds the lock but may not listen yet.
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return false;
}

} // namespace bw
