#pragma once

// A TCP relay on loopback between the client and a local server that counts
// the bytes it carries in each direction: what went over the wire, headers,
// TLS records and bytes cut off by a stop included, whatever the client's
// own progress says. Plain POSIX sockets (Linux), a thread per direction of
// each connection, so that it keeps up with a download on loopback.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CountingRelay
{
public:
    explicit CountingRelay(unsigned short upstreamPort) : upstream(upstreamPort)
    {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = loopback(0);
        if (listener < 0 ||
            bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
            listen(listener, 16) != 0)
            return;
        socklen_t length = sizeof(address);
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        listenPort = ntohs(address.sin_port);
        acceptor = std::thread([this] { acceptLoop(); });
    }

    ~CountingRelay()
    {
        stopping.store(true);
        if (listener >= 0)
            shutdown(listener, SHUT_RDWR); // wakes accept()
        if (acceptor.joinable())
            acceptor.join();
        {
            std::lock_guard<std::mutex> lock(mutex);
            for (const auto &weak : connections) {
                if (const auto c = weak.lock()) {
                    shutdown(c->client, SHUT_RDWR);
                    shutdown(c->server, SHUT_RDWR);
                }
            }
        }
        for (std::thread &t : pumps)
            t.join();
        if (listener >= 0)
            close(listener);
    }

    CountingRelay(const CountingRelay &) = delete;
    CountingRelay &operator=(const CountingRelay &) = delete;

    // 0 when the relay could not listen.
    unsigned short port() const { return listenPort; }
    // Bytes handed to the client (the server's answers) and to the server.
    long long toClient() const { return bytesToClient.load(); }
    long long toServer() const { return bytesToServer.load(); }
    int connectionCount() const { return accepted.load(); }
    void resetCounts()
    {
        bytesToClient.store(0);
        bytesToServer.store(0);
    }

private:
    // Closed when both directions have ended: a server still sending to a
    // client that has gone then sees its connection reset.
    struct Connection
    {
        int client = -1;
        int server = -1;
        ~Connection()
        {
            close(client);
            if (server >= 0)
                close(server);
        }
    };

    static sockaddr_in loopback(unsigned short port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return address;
    }

    void acceptLoop()
    {
        for (;;) {
            const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0 || stopping.load()) {
                if (client >= 0)
                    close(client);
                return;
            }
            ++accepted;
            auto c = std::make_shared<Connection>();
            c->client = client;
            c->server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address = loopback(upstream);
            if (c->server < 0 ||
                connect(c->server, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0)
                continue; // the client sees its connection closed
            const int on = 1;
            setsockopt(c->client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
            setsockopt(c->server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
            std::lock_guard<std::mutex> lock(mutex);
            connections.push_back(c);
            pumps.emplace_back([this, c] { pump(c->client, c->server, bytesToServer); });
            pumps.emplace_back([this, c] { pump(c->server, c->client, bytesToClient); });
        }
    }

    // Copies `from` to `to` until either side ends, counting what was handed on.
    static void pump(int from, int to, std::atomic<long long> &count)
    {
        std::vector<char> buffer(256 * 1024);
        for (;;) {
            const ssize_t got = read(from, buffer.data(), buffer.size());
            if (got <= 0)
                break;
            ssize_t sent = 0;
            while (sent < got) {
                const ssize_t n = send(to, buffer.data() + sent, size_t(got - sent), MSG_NOSIGNAL);
                if (n <= 0) {
                    // The receiver has gone; the sender learns it when the
                    // connection closes.
                    count += sent;
                    shutdown(to, SHUT_RDWR);
                    return;
                }
                sent += n;
            }
            count += got;
        }
        shutdown(to, SHUT_WR);
    }

    unsigned short upstream;
    unsigned short listenPort = 0;
    int listener = -1;
    std::atomic<bool> stopping{false};
    std::atomic<int> accepted{0};
    std::atomic<long long> bytesToClient{0};
    std::atomic<long long> bytesToServer{0};
    std::thread acceptor;
    std::mutex mutex;
    std::vector<std::weak_ptr<Connection>> connections;
    std::vector<std::thread> pumps;
};
