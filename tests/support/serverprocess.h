#pragma once

#include "serverlauncher.h"

#include <QString>
#include <QTemporaryDir>

// Runs folvane-server on a free loopback port with a temporary data folder for
// the life of the object. The binary comes from FOLVANE_SERVER_BIN (set by the
// test registration) or sits beside the test program.
class ServerProcess
{
public:
    // `seed` is passed as --seed when not empty ("demo" builds the demo data).
    explicit ServerProcess(const QString &seed = QStringLiteral("demo"));
    ~ServerProcess();
    ServerProcess(const ServerProcess &) = delete;
    ServerProcess &operator=(const ServerProcess &) = delete;

    // Serves HTTPS with this certificate and key instead of plain HTTP; call
    // before start(). The client still needs the CA that signed them.
    void useTls(const QString &certificate, const QString &key);

    // Starts the server and waits until it listens; false with `error()` set otherwise.
    bool start();
    void stop();

    quint16 port() const { return quint16(m_launcher.port()); }
    QString url() const;
    QString dataDir() const { return m_data.path(); }
    QString error() const { return m_error; }

    // Writes "host" ("https://127.0.0.1" over TLS) and "port" of this server into the settings file
    // of the current HOME, as the network settings panel would.
    void configureClient() const;

    // Signs in through the transport and returns the token (empty on failure).
    QString login(const QString &user, const QString &password) const;

    static QString binaryPath();

private:
    QString m_seed;
    QString m_tlsCertificate;
    QString m_tlsKey;
    QTemporaryDir m_data;
    ServerLauncher m_launcher;
    QString m_error;
};
