// One windowed instance per user: a lock file decides which process runs, and a local
// socket carries a later start's request to raise the running window.
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <memory>

#include "platform/qt/qt_host.h"
#include "platform/qt/window_host.h"
#include "resources/resources.h"

namespace {

constexpr char kRaiseRequest[] = "raise\n";
constexpr int kConnectAttempts = 20;  // a running instance may still be starting up
constexpr int kConnectWaitMs = 100;

// Held by the running instance for its lifetime; a child of the application object.
class InstanceGuard : public QObject {
  public:
    explicit InstanceGuard(const QString& lockPath) : QObject(qApp), lock(lockPath) {
        lock.setStaleLockTime(0);  // stale only when its process is gone, never by age
    }
    QLockFile lock;
    QLocalServer server;
};

InstanceGuard* Guard = nullptr;

// Named from the class and title, per user: "Tavo-Quillo-SA-<uid>".
QString InstanceName() {
    return QStringLiteral("%1-%2-%3")
        .arg(QString::fromUtf8(LoadStringResource(kStringClassName)),
             QString::fromUtf8(LoadStringResource(kStringTitle)))
        .arg(getuid());
}

QString LockPath(const QString& name) {
    // The session's runtime folder, else the temporary one (the uid in the name keeps users
    // apart there).
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::tempPath();
    return folder + "/" + name + ".lock";
}

void Listen(QLocalServer& server, const QString& name) {
    QLocalServer::removeServer(name);  // a socket left by a crashed instance
    server.setSocketOptions(QLocalServer::UserAccessOption);
    server.listen(name);
    QObject::connect(&server, &QLocalServer::newConnection, [&server] {
        while (QLocalSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::readyRead, [socket] {
                if (socket->readAll().contains("raise")) RaiseMainWindow();
            });
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void AskToRaise(const QString& name) {
    for (int attempt = 0; attempt < kConnectAttempts; attempt++) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(kConnectWaitMs)) {
            socket.write(kRaiseRequest);
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return;
        }
        QThread::msleep(kConnectWaitMs);
    }
}

}  // namespace

bool RaiseRunningInstance() {
    if (qApp == nullptr || IsHeadlessRun() || Guard != nullptr) return false;
    const QString name = InstanceName();
    auto guard = std::make_unique<InstanceGuard>(LockPath(name));
    if (guard->lock.tryLock(0)) {
        Listen(guard->server, name);
        Guard = guard.release();
        QObject::connect(Guard, &QObject::destroyed, [] { Guard = nullptr; });
        return false;
    }
    // Without a usable lock file there is no telling; run rather than refuse.
    if (guard->lock.error() != QLockFile::LockFailedError) return false;
    AskToRaise(name);
    return true;
}
