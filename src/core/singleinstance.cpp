#include "core/singleinstance.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {

const QByteArray activateRequest = QByteArrayLiteral("activate\n");
// How long a later start waits for the running client to take its request.
constexpr int requestTimeoutMs = 3000;

} // namespace

QString SingleInstance::defaultName()
{
    // Two clients with different home folders keep different settings and may
    // run side by side; the hash keeps the name short enough for a socket path.
    const QByteArray home =
        QCryptographicHash::hash(QDir::homePath().toUtf8(), QCryptographicHash::Sha256).toHex();
    const QString base = QStringLiteral("folvane-") + QString::fromLatin1(home.left(16));
#ifdef Q_OS_WIN
    // A pipe name; pipes are per machine, so the user's name goes in too.
    return base + QLatin1Char('-') + qEnvironmentVariable("USERNAME");
#else
    // The runtime folder belongs to the user alone (Qt creates it with mode
    // 0700 when the session has none), so no other user can take the name.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::temp().filePath(base) : QDir(runtime).filePath(base);
#endif
}

SingleInstance::SingleInstance(const QString &name, QObject *parent) : QObject(parent), name(name)
{
    server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

bool SingleInstance::claim()
{
#ifdef Q_OS_WIN
    lock = std::make_unique<QLockFile>(QDir::temp().filePath(name + QStringLiteral(".lock")));
#else
    lock = std::make_unique<QLockFile>(name + QStringLiteral(".lock"));
#endif
    // The lock is held as long as the client runs; only a dead holder's lock
    // is stale, whatever its age.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() == QLockFile::LockFailedError && forwardToRunning())
            return false;
        qDebug() << "single instance: no running client answered at" << name;
        return true;
    }
    // A socket left by a client that died is in the way of listening.
    QLocalServer::removeServer(name);
    if (!server.listen(name))
        qDebug() << "single instance: cannot listen at" << name << server.errorString();
    return true;
}

bool SingleInstance::forwardToRunning() const
{
    // The running client may be between taking the lock and listening.
    QElapsedTimer elapsed;
    elapsed.start();
    QLocalSocket socket;
    do {
        socket.connectToServer(name);
        if (socket.waitForConnected(requestTimeoutMs)) {
            socket.write(activateRequest);
            const bool sent = socket.waitForBytesWritten(requestTimeoutMs);
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(50);
    } while (elapsed.elapsed() < requestTimeoutMs);
    return false;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // Only a whole request counts; anything else is dropped.
            while (socket->canReadLine()) {
                if (socket->readLine(64) == activateRequest)
                    emit activationRequested();
                else
                    socket->abort();
            }
            if (socket->bytesAvailable() > 64)
                socket->abort();
        });
    }
}
