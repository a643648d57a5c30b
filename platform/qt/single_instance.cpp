// SPDX-License-Identifier: GPL-3.0-or-later
// One windowed instance per user: a lock file decides which process runs, and a local
// socket carries a later start's request to the running window: raise it, and play the later
// start's file or record its microphone.
//
//   request = verb "\n" argument, to the end of the connection
//   verb    = "raise" | "file" (an absolute path) | "device" (a microphone's name)
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "platform/files/file_names.h"
#include "platform/qt/main_window.h"
#include "platform/qt/qt_host.h"
#include "resources/resources.h"

namespace {

constexpr int kConnectAttempts = 20;  // a running instance may still be starting up
constexpr int kConnectWaitMs = 100;
constexpr char kLockName[] = "instance.lock";
constexpr char kSocketName[] = "instance";

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
OtherInstance Found = OtherInstance::kNone;

// Main thread only.
struct HandOverRecord {
    QByteArray request = "raise\n";  // what this start asks of a running one
    void (*receive)(bool isFile, const char* what) = nullptr;  // the running one's side
};
HandOverRecord HandOver;

// A later start's request, whole: the window comes to the front, then plays what it was given,
// from the event loop (a failure's box must not run inside the socket's signal).
void Answer(const QByteArray& request) {
    const qsizetype end = request.indexOf('\n');
    if (end < 0) return;
    const QByteArray verb = request.left(end);
    const QByteArray what = request.mid(end + 1);
    if (verb != "raise" && verb != "file" && verb != "device") return;
    RaiseMainWindow();
    if (verb == "raise" || what.isEmpty() || what.contains('\0') || HandOver.receive == nullptr) {
        return;
    }
    QTimer::singleShot(0, [isFile = verb == "file", what] {
        if (HandOver.receive != nullptr) HandOver.receive(isFile, what.constData());
    });
}

// A folder of this user's alone: a directory (not a symlink) that the user owns, which no one
// else may enter. Made 0700 when missing.
bool IsPrivateFolder(const QByteArray& folder) {
    mkdir(folder.constData(), 0700);
    return IsOwnFolder(folder.constData(), false);
}

// $XDG_RUNTIME_DIR/Quillo-SA, else Quillo-SA-<uid> in the temporary folder; empty (with a line
// on stderr) when that is not this user's private folder: a folder that another user made
// first would let them hold the lock or hear the raise request.
QString InstanceFolder() {
    const QString title = QString::fromUtf8(LoadStringResource(kStringTitle));
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder =
        runtime.startsWith('/') && QDir(runtime).exists()
            ? runtime + "/" + title
            : QStringLiteral("%1/%2-%3").arg(QDir::tempPath(), title).arg(getuid());
    const QByteArray local = QFile::encodeName(folder);
    if (IsPrivateFolder(local)) return folder;
    std::fprintf(stderr,
                 "quillo-sa: %s is not a folder of this user's alone; running without the "
                 "single-instance check\n",
                 PrintableFileName(local.constData()).c_str());
    return QString();
}

void Listen(QLocalServer& server, const QString& name) {
    QLocalServer::removeServer(name);  // a socket left by a crashed instance
    server.setSocketOptions(QLocalServer::UserAccessOption);
    server.listen(name);
    QObject::connect(&server, &QLocalServer::newConnection, [&server] {
        while (QLocalSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, [socket] {
                Answer(socket->readAll());
                socket->deleteLater();
            });
        }
    });
}

bool AskToRaise(const QString& name) {
    for (int attempt = 0; attempt < kConnectAttempts; attempt++) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (socket.waitForConnected(kConnectWaitMs)) {
            socket.write(HandOver.request);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(kConnectWaitMs);
    }
    return false;
}

// The lock, taken; an empty or unreadable lock file (a crash while it was being written)
// names no process that could hold it, so it is removed and taken.
bool TakeLock(QLockFile& lock) {
    if (lock.tryLock(0)) return true;
    qint64 pid = 0;
    QString host;
    QString application;
    if (lock.error() != QLockFile::LockFailedError || lock.getLockInfo(&pid, &host, &application)) {
        return false;
    }
    return lock.removeStaleLockFile() && lock.tryLock(0);
}

}  // namespace

bool RaiseRunningInstance() {
    if (qApp == nullptr || IsHeadlessRun() || Guard != nullptr) return false;
    const QString folder = InstanceFolder();
    if (folder.isEmpty()) return false;
    const QString socketPath = folder + "/" + kSocketName;
    // Anything else in the lock file's place (a folder) would pass for a lock that no one
    // answers for, and keep every start from running.
    const QByteArray lockPath = QFile::encodeName(folder + "/" + kLockName);
    struct stat lockInfo {};
    if (lstat(lockPath.constData(), &lockInfo) == 0 && !S_ISREG(lockInfo.st_mode)) {
        std::fprintf(stderr,
                     "quillo-sa: %s is not a lock file; running without the single-instance "
                     "check\n",
                     PrintableFileName(lockPath.constData()).c_str());
        return false;
    }
    auto guard = std::make_unique<InstanceGuard>(folder + "/" + kLockName);
    if (TakeLock(guard->lock)) {
        Listen(guard->server, socketPath);
        Guard = guard.release();
        QObject::connect(Guard, &QObject::destroyed, [] { Guard = nullptr; });
        return false;
    }
    // Without a usable lock file there is no telling; run rather than refuse.
    if (guard->lock.error() != QLockFile::LockFailedError) return false;
    Found = AskToRaise(socketPath) ? OtherInstance::kRaised : OtherInstance::kUnreachable;
    return true;
}

void SetInputToHandOver(bool isFile, const char* what) {
    if (what == nullptr || what[0] == '\0') {
        HandOver.request = "raise\n";
        return;
    }
    // The running one has a folder of its own: a file goes by its absolute path.
    const QByteArray argument =
        isFile ? QFile::encodeName(QFileInfo(QFile::decodeName(what)).absoluteFilePath())
               : QByteArray(what);
    HandOver.request = (isFile ? "file\n" : "device\n") + argument;
}

void SetHandedInputReceiver(void (*receive)(bool isFile, const char* what)) {
    HandOver.receive = receive;
}

OtherInstance OtherInstanceFound() {
    return Found;
}
