#include "scriptedhttpserver.h"

#include "core/gcore.h"

#include <QEventLoop>
#include <QFile>
#include <QMutexLocker>
#include <QPointer>
#include <QSemaphore>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// One accepted connection: collects a whole request, then plays the script's reply.
class ScriptedConnection : public QObject
{
public:
    ScriptedConnection(QTcpSocket *socket, ScriptedHttpServer *owner)
        : QObject(socket), m_socket(socket), m_owner(owner)
    {
        // A stalled connection buffers little, so the sender's socket fills up.
        if (owner->m_stall)
            socket->setReadBufferSize(64 * 1024);
        connect(socket, &QTcpSocket::readyRead, this, &ScriptedConnection::readMore);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

private:
    // True when `m_buffer` holds a whole request: headers plus a body of
    // Content-Length bytes, or a chunked body up to its last chunk.
    bool complete() const
    {
        const int end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        const QByteArray head = m_buffer.left(end + 4);
        const QByteArray length = ScriptedHttpServer::headerOf(head, "Content-Length");
        if (!length.isNull())
            return m_buffer.size() - (end + 4) >= length.toLongLong();
        if (ScriptedHttpServer::headerOf(head, "Transfer-Encoding").toLower() == "chunked")
            return m_buffer.endsWith("0\r\n\r\n");
        return true;
    }

    void readMore()
    {
        if (m_answered || m_owner->m_stall)
            return;
        m_buffer += m_socket->readAll();
        if (!complete())
            return;
        m_answered = true;
        m_owner->record(m_buffer);
        m_reply = m_owner->m_script(m_buffer);
        m_socket->write(m_reply.bytes);
        if (m_reply.trickleBytes > 0) {
            auto *timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, [this, timer] { trickle(timer); });
            timer->start(m_reply.trickleIntervalMs);
        } else {
            finish();
        }
    }

    void trickle(QTimer *timer)
    {
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            timer->stop();
            return;
        }
        const qint64 n = qMin<qint64>(m_reply.trickleChunk, m_reply.trickleBytes - m_sent);
        m_socket->write(QByteArray(int(n), 'x'));
        m_sent += n;
        if (m_sent >= m_reply.trickleBytes) {
            timer->stop();
            finish();
        }
    }

    void finish()
    {
        if (m_reply.keepAlive) {
            m_answered = false;
            m_buffer.clear();
            m_sent = 0;
            if (m_socket->bytesAvailable() > 0)
                readMore();
            return;
        }
        if (!m_reply.close)
            return;
        m_socket->flush();
        m_socket->disconnectFromHost();
    }

    QTcpSocket *m_socket;
    ScriptedHttpServer *m_owner;
    QByteArray m_buffer;
    bool m_answered = false;
    ScriptedHttpServer::Reply m_reply;
    qint64 m_sent = 0;
};

// Accepts connections as QSslSocket in server mode, with the certificate
// the owner holds when the connection comes in.
class TlsTcpServer : public QTcpServer
{
public:
    explicit TlsTcpServer(ScriptedHttpServer *owner) : m_owner(owner) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        QSslConfiguration config;
        {
            QMutexLocker lock(&m_owner->m_mutex);
            config = m_owner->m_tlsConfig;
        }
        socket->setSslConfiguration(config);
        addPendingConnection(socket);
        socket->startServerEncryption();
    }

private:
    ScriptedHttpServer *m_owner;
};

void ScriptedHttpServer::setTls(const QString &certFile, const QString &keyFile)
{
    QFile cert(certFile);
    QFile key(keyFile);
    cert.open(QIODevice::ReadOnly);
    key.open(QIODevice::ReadOnly);
    // A configuration of its own, without the system's CAs: the default one
    // reads them for every connection, slow enough under the sanitizers to
    // miss a client's connect time-out.
    QSslConfiguration config;
    config.setLocalCertificate(QSslCertificate(cert.readAll(), QSsl::Pem));
    config.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem));
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    config.setCaCertificates({});
    QMutexLocker lock(&m_mutex);
    m_tlsConfig = config;
}

ScriptedHttpServer::ScriptedHttpServer()
{
    m_thread.start();
}

ScriptedHttpServer::~ScriptedHttpServer()
{
    if (m_server) {
        QMetaObject::invokeMethod(
            m_server, [server = m_server] { delete server; }, Qt::BlockingQueuedConnection);
    }
    m_thread.quit();
    m_thread.wait();
}

quint16 ScriptedHttpServer::start(Script script)
{
    m_script = std::move(script);
    QSemaphore ready;
    auto *starter = new QObject;
    starter->moveToThread(&m_thread);
    QMetaObject::invokeMethod(starter, [this, &ready, starter] {
        bool tls = false;
        {
            QMutexLocker lock(&m_mutex);
            tls = !m_tlsConfig.localCertificate().isNull();
        }
        m_server = tls ? new TlsTcpServer(this) : new QTcpServer;
        QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
            while (QTcpSocket *socket = m_server->nextPendingConnection()) {
                socket->setParent(m_server);
                ++m_accepted;
                const int open = ++m_open;
                int most = m_mostOpen.load();
                while (open > most && !m_mostOpen.compare_exchange_weak(most, open)) {
                }
                QObject::connect(socket, &QTcpSocket::disconnected, m_server, [this] { --m_open; });
                new ScriptedConnection(socket, this);
            }
        });
        m_server->listen(QHostAddress::LocalHost, 0);
        m_port = m_server->serverPort();
        delete starter;
        ready.release();
    });
    ready.acquire();
    return m_port;
}

QString ScriptedHttpServer::url() const
{
    QMutexLocker lock(&m_mutex);
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_tlsConfig.localCertificate().isNull() ? QStringLiteral("http")
                                                     : QStringLiteral("https"))
        .arg(m_port);
}

void ScriptedHttpServer::record(const QByteArray &request)
{
    QMutexLocker lock(&m_mutex);
    m_requests.append(request);
}

QList<QByteArray> ScriptedHttpServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

QByteArray ScriptedHttpServer::bodyOf(const QByteArray &request)
{
    const int end = request.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : request.mid(end + 4);
}

QByteArray ScriptedHttpServer::headerOf(const QByteArray &request, const QByteArray &name)
{
    const int end = request.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = request.left(end < 0 ? request.size() : end).split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

QByteArray ScriptedHttpServer::okReply(const QByteArray &body, const QByteArray &contentType)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

ScriptedHttpServer::Reply ScriptedHttpServer::keepAliveReply(const QByteArray &body,
                                                             const QByteArray &contentType)
{
    Reply reply;
    reply.bytes = okReply(body, contentType).replace("Connection: close", "Connection: keep-alive");
    reply.close = false;
    reply.keepAlive = true;
    return reply;
}

QByteArray ScriptedHttpServer::multipartField(const QByteArray &request, const QByteArray &name)
{
    const QByteArray marker = "name=\"" + name + "\"\r\n\r\n";
    const int at = request.indexOf(marker);
    if (at < 0)
        return QByteArray("<absent>");
    const int start = at + marker.size();
    return request.mid(start, request.indexOf("\r\n", start) - start);
}

void pointClientAt(quint16 port)
{
    QVariantMap settings = GCore::instance()->readSettings();
    settings.insert("host", "127.0.0.1");
    settings.insert("port", QString::number(port));
    GCore::instance()->writeSettings(settings);
}
