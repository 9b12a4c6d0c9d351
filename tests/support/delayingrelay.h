#pragma once

#include <QThread>

#include <atomic>

class QTcpServer;

// A loopback TCP relay on its own thread in front of another loopback port
// (a real folvane-server): requests pass at once, and every piece of an answer
// is held for a fixed time before it goes on. In front of the real server it
// makes a slow server whose answers are real.
class DelayingRelay
{
public:
    DelayingRelay(quint16 upstreamPort, int delayMs);
    ~DelayingRelay();
    DelayingRelay(const DelayingRelay &) = delete;
    DelayingRelay &operator=(const DelayingRelay &) = delete;

    // The port it listens on (127.0.0.1), 0 when it could not listen.
    quint16 port() const { return m_port; }
    // Connections accepted so far.
    int connections() const { return m_connections.load(); }

private:
    QThread m_thread;
    // Lives in the relay's thread: the calls that set it up and end it go there.
    QObject m_context;
    QTcpServer *m_server = nullptr;
    quint16 m_upstreamPort = 0;
    int m_delayMs = 0;
    quint16 m_port = 0;
    std::atomic<int> m_connections{0};
};
