#pragma once

#include <string>

// One TCP connection to the server driven byte by byte: what a test or a
// benchmark needs for pipelining, stalled or slow clients and keep-alive
// counts that a full HTTP client would hide. A TLS client derives from it
// and reads and writes through its TLS layer instead.
class RawConnection
{
public:
    explicit RawConnection(int port);
    virtual ~RawConnection();
    RawConnection(const RawConnection &) = delete;
    RawConnection &operator=(const RawConnection &) = delete;

    bool connected() const { return fd >= 0; }
    virtual bool send(const std::string &data);
    // Reads one response (head and Content-Length body), waiting at most
    // `timeoutMs` for each piece; what follows it is kept for the next call.
    bool readResponse(std::string &head, std::string &body, int timeoutMs = 5000);
    // True when the server closed the connection within `timeoutMs`.
    virtual bool closedByServer(int timeoutMs);
    void close();
    int socket() const { return fd; }

    // A form-encoded POST request.
    static std::string formPost(const std::string &path, const std::string &form);

protected:
    // Appends what arrives within `timeoutMs` to the pending bytes; false
    // when nothing did or the connection ended.
    virtual bool fill(int timeoutMs);

    int fd = -1;
    std::string pending;
};
