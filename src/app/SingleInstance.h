// One running program per user: the first start holds a lock file and listens on a local
// socket; a later start finds the lock taken, asks the running program to come to the front
// (message 2131) and exits. The names derive from the main window's class name.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <memory>

#include "Messages.h"

namespace bw {

// Class name the single-instance names are derived from.
inline const QString MainWindowClassName = QStringLiteral("Brindlewave Made by Vellamor Software");

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    // folder: where the lock file and the socket live; empty means the user's runtime
    // folder ($XDG_RUNTIME_DIR, else the temporary folder with the user id in the names).
    explicit TSingleInstance(QString folder = {});
    ~TSingleInstance() override;

    // True when this process is now the one instance: it holds the lock. False when another
    // running process holds it.
    bool Claim();

    // Starts accepting requests from later starts; each valid one is posted to the target.
    // Call after Claim() succeeded. False when the socket could not be opened.
    bool Listen(TMessageTarget* target);

    // Tells the running instance to come to the front. Retries for up to timeoutMs while
    // that instance may still be starting. True when the request was delivered.
    bool NotifyRunning(int timeoutMs = 3000) const;

    QString LockPath() const { return FLockPath; }
    QString SocketPath() const { return FSocketPath; }

private:
    void ReadRequest(class QLocalSocket* socket);

    QString FLockPath;
    QString FSocketPath;
    std::unique_ptr<QLockFile> FLock;
    QLocalServer FServer;
    TMessageTarget* FTarget = nullptr;
};

} // namespace bw
