#include "rawconnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RawConnection::RawConnection(int port)
{
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        close();
    int one = 1;
    if (fd >= 0)
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

RawConnection::~RawConnection()
{
    close();
}

void RawConnection::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool RawConnection::send(const std::string &data)
{
    size_t sent = 0;
    while (fd >= 0 && sent < data.size()) {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return fd >= 0;
}

bool RawConnection::fill(int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    if (fd < 0 || poll(&p, 1, timeoutMs) != 1)
        return false;
    char buf[65536];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0)
        return false;
    pending.append(buf, static_cast<size_t>(n));
    return true;
}

bool RawConnection::readResponse(std::string &head, std::string &body, int timeoutMs)
{
    size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos)
        if (!fill(timeoutMs))
            return false;
    head = pending.substr(0, end);
    size_t at = head.find("Content-Length: ");
    size_t length = at == std::string::npos ? 0 : std::stoul(head.substr(at + 16));
    while (pending.size() < end + 4 + length)
        if (!fill(timeoutMs))
            return false;
    body = pending.substr(end + 4, length);
    pending.erase(0, end + 4 + length);
    return true;
}

bool RawConnection::closedByServer(int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    if (fd < 0 || poll(&p, 1, timeoutMs) != 1)
        return false;
    char c;
    return ::recv(fd, &c, 1, MSG_PEEK) <= 0;
}

std::string RawConnection::formPost(const std::string &path, const std::string &form)
{
    return "POST " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
           "Content-Length: " +
           std::to_string(form.size()) + "\r\n\r\n" + form;
}
