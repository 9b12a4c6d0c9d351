#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

// Keeps one client running per user. The first start holds a lock file and
// listens on a local socket, both named after the user's home folder (where
// the client keeps its settings) in the user's private runtime folder; a later
// start finds the lock taken, asks the running client through the socket to
// show its window, and ends.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // The socket's name for the user running this process.
    static QString defaultName();

    explicit SingleInstance(const QString &name = defaultName(), QObject *parent = nullptr);

    // True when this process is the one to run: it is the first, or the
    // running one cannot be reached (so the user is never locked out); false
    // when the running client took the request to show itself.
    bool claim();

signals:
    // Another start asked this client to bring its window to the front.
    void activationRequested();

private:
    bool forwardToRunning() const;
    void acceptConnections();

    QString name;
    std::unique_ptr<QLockFile> lock;
    QLocalServer server;
};
