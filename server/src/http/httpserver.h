#pragma once

#include "http/httpmessage.h"

#include <functional>
#include <memory>
#include <string>

// The HTTP/1.1 server under the interface: the only code that knows the
// library that speaks HTTP (Boost.Beast over Asio). Connections are served by
// a few threads without one thread per connection, so idle, slow or stalled
// clients cost a socket and a small buffer, never a worker:
// - a connection may wait idle for its next request for `idleSeconds`; once
//   the first byte of a request arrives, its line and headers must be
//   complete within `headerSeconds`, or the connection closes;
// - bodies and answers may take as long as they need while bytes flow; a
//   transfer that stalls for `transferSeconds` is closed;
// - requests on a kept-alive connection are answered in order, pipelined ones
//   included; files go out with sendfile.
// Over HTTPS the same holds, with the TLS handshake counted in the first
// request's `headerSeconds`, so a client cannot hold a connection open by
// being slow to shake hands or silent after it.
// A route's exchange runs on the thread that read the request; routes do
// their blocking work there (the database, the blob store), which is why
// there are several threads.
class HttpServer
{
public:
    struct Options
    {
        int threads = 8;
        int idleSeconds = 60;
        int headerSeconds = 10;
        int transferSeconds = 30;
        int backlog = 4096;
    };
    // Makes the exchange of a request whose headers have arrived.
    using Route = std::function<std::unique_ptr<HttpExchange>(const HttpRequest &)>;
    // Fills answers of the server's own (unknown path, broken request) that
    // have a status of 400 or more and no body.
    using ErrorPage = std::function<void(HttpResponse &)>;

    explicit HttpServer(const Options &options);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // `pattern` is a path, or a regular expression over the decoded path when
    // it holds a '(' (its captures go to HttpRequest::matches).
    void route(const std::string &method, const std::string &pattern, Route make);
    void setErrorPage(ErrorPage page);
    // The exchange the routes make for a request whose method and path are
    // set; fills its `matches`. What a connection does once headers arrive.
    std::unique_ptr<HttpExchange> exchangeFor(HttpRequest &request) const;

    // Serves HTTPS (TLS 1.2 and 1.3) with the PEM certificate chain and key
    // from these files instead of plain HTTP; call before run(). False with
    // `error` set when they cannot be used.
    bool useTls(const std::string &certificateFile, const std::string &keyFile, std::string &error);

    // Binds and listens on host:port (0 picks a free port); returns the port
    // or -1.
    int bind(const std::string &host, int port);
    // Serves until stop(); false if the server could not run.
    bool run();
    // May be called from any thread.
    void stop();

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};
