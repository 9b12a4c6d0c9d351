#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSslConfiguration>
#include <QThread>

#include <atomic>
#include <functional>

class QTcpServer;
class QTcpSocket;

// A loopback TCP server on its own thread that answers each complete HTTP
// request with bytes chosen by the test and records what it received. Used for
// transport cases that no real server would produce. The client's blocking
// calls run on the test's thread while this server answers on its own.
class ScriptedHttpServer : public QObject
{
    Q_OBJECT
public:
    // What to send back for one request.
    struct Reply
    {
        QByteArray bytes;        // sent at once
        qint64 trickleBytes = 0; // then this many filler bytes, a chunk at a time
        int trickleChunk = 4096;
        int trickleIntervalMs = 20;
        bool close = true; // close the connection when everything is sent
        // Instead of closing: wait for the next request on the same
        // connection (the bytes should carry "Connection: keep-alive").
        bool keepAlive = false;
    };
    using Script = std::function<Reply(const QByteArray &request)>;

    ScriptedHttpServer();
    ~ScriptedHttpServer() override;

    // Serves TLS with this certificate and key (PEM files) from the next
    // connection on; may be changed while running (a server that renews its
    // certificate on the same port).
    void setTls(const QString &certFile, const QString &keyFile);

    // Starts listening on 127.0.0.1 with a free port; returns the port.
    quint16 start(Script script);
    QString url() const;

    // While set, connections read nothing, so a client's upload stalls on a
    // full socket buffer.
    void setStallReading(bool stall) { m_stall = stall; }

    // Every complete request received so far (headers and body, raw).
    QList<QByteArray> requests() const;
    // Connections open now, and the most that were open at once.
    int openConnections() const { return m_open.load(); }
    int mostOpenConnections() const { return m_mostOpen.load(); }
    // Every connection accepted so far.
    int acceptedConnections() const { return m_accepted.load(); }
    // The body of a raw request (after the blank line).
    static QByteArray bodyOf(const QByteArray &request);
    // The value of a header of a raw request (case-insensitive name), or null.
    static QByteArray headerOf(const QByteArray &request, const QByteArray &name);

    // The value of a simple field of a raw multipart request, or "<absent>".
    static QByteArray multipartField(const QByteArray &request, const QByteArray &name);

    // A complete "HTTP/1.1 200 OK" reply with Content-Length.
    static QByteArray okReply(const QByteArray &body,
                              const QByteArray &contentType = "application/json");
    // The same reply for a connection that stays open.
    static Reply keepAliveReply(const QByteArray &body,
                                const QByteArray &contentType = "application/json");

private:
    friend class ScriptedConnection;
    friend class TlsTcpServer;
    void record(const QByteArray &request);

    QThread m_thread;
    QTcpServer *m_server = nullptr;
    quint16 m_port = 0;
    Script m_script;
    std::atomic<bool> m_stall{false};
    std::atomic<int> m_open{0};
    std::atomic<int> m_mostOpen{0};
    std::atomic<int> m_accepted{0};
    QSslConfiguration m_tlsConfig;
    mutable QMutex m_mutex;
    QList<QByteArray> m_requests;
};

// Points the client's settings at plain HTTP on 127.0.0.1:`port`, keeping
// its other settings.
void pointClientAt(quint16 port);
