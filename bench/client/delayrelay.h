#pragma once

// A TCP relay on its own thread between the client and a local server that
// holds every chunk for a fixed time in each direction: what a company
// network costs, where a new connection and its TLS handshake take several
// round trips. Counts the connections it carries (each one a TCP and, over
// HTTPS, a TLS handshake).

#include <QDateTime>
#include <QElapsedTimer>
#include <QPointer>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <deque>
#include <memory>

class DelayRelay
{
public:
    DelayRelay(quint16 upstreamPort, int delayMs) : upstream(upstreamPort), delay(delayMs)
    {
        thread.start();
        QSemaphore ready;
        QMetaObject::invokeMethod(
            &anchor(),
            [this, &ready] {
                server = new QTcpServer;
                QObject::connect(server, &QTcpServer::newConnection, server, [this] {
                    while (QTcpSocket *client = server->nextPendingConnection())
                        relay(client);
                });
                server->listen(QHostAddress::LocalHost, 0);
                listenPort = server->serverPort();
                ready.release();
            },
            Qt::QueuedConnection);
        ready.acquire();
    }

    ~DelayRelay()
    {
        QMetaObject::invokeMethod(
            &anchor(), [this] { delete server; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }

    quint16 port() const { return listenPort; }
    int connections() const { return accepted.load(); }

private:
    // Bytes waiting for their time, in order, for one direction.
    struct Pipe
    {
        QPointer<QTcpSocket> to;
        std::deque<std::pair<qint64, QByteArray>> waiting;
        bool closeAfter = false;
    };

    QObject &anchor()
    {
        if (!anchorObject) {
            anchorObject = std::make_unique<QObject>();
            anchorObject->moveToThread(&thread);
        }
        return *anchorObject;
    }

    void relay(QTcpSocket *client)
    {
        ++accepted;
        client->setParent(server);
        auto *up = new QTcpSocket(server);
        up->connectToHost(QHostAddress::LocalHost, upstream);
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        up->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto toServer = std::make_shared<Pipe>();
        toServer->to = up;
        auto toClient = std::make_shared<Pipe>();
        toClient->to = client;
        forward(client, toServer);
        forward(up, toClient);
    }

    void forward(QTcpSocket *from, const std::shared_ptr<Pipe> &pipe)
    {
        QObject::connect(from, &QTcpSocket::readyRead, from, [this, from, pipe] {
            const bool idle = pipe->waiting.empty();
            pipe->waiting.emplace_back(clock() + delay, from->readAll());
            if (idle)
                schedule(pipe);
        });
        QObject::connect(from, &QTcpSocket::disconnected, from, [this, from, pipe] {
            pipe->closeAfter = true;
            if (pipe->waiting.empty())
                schedule(pipe);
            from->deleteLater();
        });
    }

    void schedule(const std::shared_ptr<Pipe> &pipe)
    {
        const qint64 wait = pipe->waiting.empty() ? 0 : pipe->waiting.front().first - clock();
        QTimer::singleShot(int(std::max<qint64>(0, wait)), Qt::PreciseTimer, server,
                           [this, pipe] { drain(pipe); });
    }

    void drain(const std::shared_ptr<Pipe> &pipe)
    {
        while (!pipe->waiting.empty() && pipe->waiting.front().first <= clock()) {
            if (pipe->to)
                pipe->to->write(pipe->waiting.front().second);
            pipe->waiting.pop_front();
        }
        if (!pipe->waiting.empty()) {
            schedule(pipe);
        } else if (pipe->closeAfter && pipe->to) {
            pipe->to->disconnectFromHost();
        }
    }

    qint64 clock() const { return QDateTime::currentMSecsSinceEpoch(); }

    quint16 upstream;
    int delay;
    QThread thread;
    std::unique_ptr<QObject> anchorObject;
    QTcpServer *server = nullptr;
    quint16 listenPort = 0;
    std::atomic<int> accepted{0};
};
