#include "delayingrelay.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

// Passes one client connection on to the upstream port; the upstream's bytes
// reach the client `delayMs` after they arrived, in their order (timers of the
// same length fire in the order they were started).
void relay(QTcpSocket *client, quint16 upstreamPort, int delayMs)
{
    auto *upstream = new QTcpSocket(client);
    // Bytes written before the connection is up are buffered until it is.
    upstream->connectToHost(QHostAddress::LocalHost, upstreamPort);
    QObject::connect(client, &QTcpSocket::readyRead, upstream,
                     [client, upstream] { upstream->write(client->readAll()); });
    QObject::connect(upstream, &QTcpSocket::readyRead, client, [client, upstream, delayMs] {
        const QByteArray data = upstream->readAll();
        QTimer::singleShot(delayMs, Qt::PreciseTimer, client,
                           [client, data] { client->write(data); });
    });
    // The end of the answer is held like its bytes.
    QObject::connect(upstream, &QTcpSocket::disconnected, client, [client, delayMs] {
        QTimer::singleShot(delayMs, Qt::PreciseTimer, client,
                           [client] { client->disconnectFromHost(); });
    });
    QObject::connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
}

} // namespace

DelayingRelay::DelayingRelay(quint16 upstreamPort, int delayMs)
    : m_upstreamPort(upstreamPort), m_delayMs(delayMs)
{
    m_context.moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            m_server = new QTcpServer;
            QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
                while (QTcpSocket *client = m_server->nextPendingConnection()) {
                    client->setParent(m_server);
                    ++m_connections;
                    relay(client, m_upstreamPort, m_delayMs);
                }
            });
            if (m_server->listen(QHostAddress::LocalHost, 0))
                m_port = m_server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

DelayingRelay::~DelayingRelay()
{
    QMetaObject::invokeMethod(
        &m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}
