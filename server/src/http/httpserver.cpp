#include "http/httpserver.h"

#include "http/formparser.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/buffer_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <strings.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iterator>
#include <limits>
#include <optional>
#include <regex>
#include <thread>
#include <type_traits>
#include <vector>

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using TlsStream = beast::ssl_stream<tcp::socket>;

namespace {

const size_t headerLimit = 32 * 1024;     // request line and headers together
const size_t fieldLimit = 100;            // headers in one request
const size_t bufferLimit = 64 * 1024;     // headers plus what may follow them
const size_t bodyChunk = 1 << 20;         // the largest piece of a body read at once
const size_t lingerLimit = 64u << 20;     // unread body bytes drained before closing
const int64_t sendSlice = 64ll << 20;     // file bytes sent before others get a turn
const size_t readSlice = 64u << 20;       // body bytes read before others get a turn
const uint64_t bodyLowWater = 256u << 10; // bytes a body read waits for
const int lingerSeconds = 2;
const size_t firstRead = 4096;         // what a TLS connection reads for a request's start
const int64_t securePiece = 256 << 10; // file bytes encrypted and sent at once over TLS

const char *reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Payload Too Large";
    case 416:
        return "Range Not Satisfiable";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return status < 400 ? "OK" : "Error";
    }
}

// Header values never carry a line break of their own into the answer.
std::string headerSafe(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

// The bytes [first, last] a Range header asks of a file of `size` bytes.
// Only a single range is served; several ranges, a malformed header or an
// If-Range (the server gives no validators to compare) leave the whole file
// (nullopt). `unsatisfiable` is set when the range begins past the end.
struct ByteRange
{
    int64_t first = 0, last = 0;
};

std::optional<ByteRange> requestedRange(const HttpRequest &request, int64_t size,
                                        bool &unsatisfiable)
{
    unsatisfiable = false;
    std::string asked = request.header("Range");
    if (asked.rfind("bytes=", 0) != 0 || !request.header("If-Range").empty())
        return std::nullopt;
    asked.erase(0, 6);
    size_t dash = asked.find('-');
    if (dash == std::string::npos || asked.find_first_not_of("0123456789-") != std::string::npos ||
        asked.find('-', dash + 1) != std::string::npos)
        return std::nullopt; // several ranges (a comma), or not a range at all
    std::string from = asked.substr(0, dash), to = asked.substr(dash + 1);
    if ((from.empty() && to.empty()) || from.size() > 18 || to.size() > 18)
        return std::nullopt;
    ByteRange range;
    if (from.empty()) { // the last `to` bytes
        int64_t suffix = static_cast<int64_t>(std::stoll(to));
        if (suffix == 0 || size == 0) {
            unsatisfiable = true;
            return std::nullopt;
        }
        range.first = std::max<int64_t>(0, size - suffix);
        range.last = size - 1;
        return range;
    }
    range.first = static_cast<int64_t>(std::stoll(from));
    range.last = to.empty() ? size - 1 : static_cast<int64_t>(std::stoll(to));
    if (!to.empty() && range.last < range.first)
        return std::nullopt; // not a valid range: ignored
    if (range.first >= size) {
        unsatisfiable = true;
        return std::nullopt;
    }
    // An end past the file ends with it.
    range.last = std::min(range.last, size - 1);
    return range;
}

// The answer to a path nobody serves: the body is read (up to a limit) and
// dropped, so the connection can go on.
class NotFound : public HttpExchange
{
public:
    bool body(const char *, size_t length) override
    {
        seen += length;
        return seen <= (1u << 20);
    }
    void respond(HttpResponse &res, bool) override { res.status = 404; }

private:
    size_t seen = 0;
};

} // namespace

struct HttpServer::Impl
{
    struct Pattern
    {
        std::string method;
        std::regex expression;
        Route make;
    };

    explicit Impl(const Options &options) : options(options), acceptor(io) {}

    std::unique_ptr<HttpExchange> exchangeFor(HttpRequest &request);
    void accept();

    Options options;
    asio::io_context io;
    tcp::acceptor acceptor;
    std::map<std::string, Route> exact; // "METHOD path"
    std::vector<Pattern> patterns;
    ErrorPage errorPage;
    std::unique_ptr<asio::ssl::context> tls; // set when the server speaks HTTPS
};

namespace {

template <class Stream> class Connection : public std::enable_shared_from_this<Connection<Stream>>
{
public:
    Connection(HttpServer::Impl &server, tcp::socket socket)
        : server(server), stream(makeStream(server, std::move(socket))),
          timer(this->socket().get_executor()), buffer(bufferLimit)
    {
    }

    void start()
    {
        beast::error_code ec;
        socket().set_option(tcp::no_delay(true), ec);
        socket().native_non_blocking(true, ec);
        // Reads made directly (a body's pieces) answer "would block" instead
        // of waiting.
        socket().non_blocking(true, ec);
        auto peer = socket().remote_endpoint(ec);
        if (!ec) {
            auto address = peer.address();
            if (address.is_v6() && address.to_v6().is_v4_mapped())
                address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
            remote = address.to_string();
        }
        if constexpr (secure) {
            // The handshake runs on the clock of the first request's line and
            // headers: a client that connects and stays silent, or drips its
            // handshake, is closed as soon as one that drips its headers.
            arm(server.options.headerSeconds);
            stream.async_handshake(asio::ssl::stream_base::server,
                                   [self = this->shared_from_this()](beast::error_code ec) {
                                       if (ec)
                                           return self->close();
                                       self->readHeader(false);
                                   });
        } else {
            waitRequest();
        }
    }

private:
    static constexpr bool secure = !std::is_same_v<Stream, tcp::socket>;

    static Stream makeStream(HttpServer::Impl &server, tcp::socket socket)
    {
        if constexpr (secure)
            return Stream(std::move(socket), *server.tls);
        else
            return socket;
    }

    tcp::socket &socket()
    {
        if constexpr (secure)
            return stream.next_layer();
        else
            return stream;
    }

    void arm(int seconds)
    {
        timer.expires_after(std::chrono::seconds(seconds));
        timer.async_wait([self = this->shared_from_this()](beast::error_code ec) {
            if (ec == asio::error::operation_aborted)
                return;
            if (self->timer.expiry() <= std::chrono::steady_clock::now()) {
                beast::error_code ignored;
                self->socket().close(ignored);
            }
        });
    }

    void close()
    {
        beast::error_code ignored;
        timer.cancel();
        socket().close(ignored);
    }

    // Idle until the next request begins; pipelined bytes already read go on
    // at once.
    void waitRequest()
    {
        if (buffer.size() > 0)
            return readHeader();
        arm(server.options.idleSeconds);
        if constexpr (secure) {
            // The TLS layer may already hold bytes it took from the socket, so
            // the socket's readiness proves nothing: a small read waits for
            // the request's first bytes instead.
            stream.async_read_some(buffer.prepare(firstRead), [self = this->shared_from_this()](
                                                                  beast::error_code ec, size_t n) {
                if (ec)
                    return self->close();
                self->buffer.commit(n);
                self->readHeader();
            });
        } else {
            socket().async_wait(tcp::socket::wait_read,
                                [self = this->shared_from_this()](beast::error_code ec) {
                                    if (ec)
                                        return self->close();
                                    self->readHeader();
                                });
        }
    }

    // `restartClock` false keeps the deadline already running (the
    // handshake's, for the first request over TLS).
    void readHeader(bool restartClock = true)
    {
        parser.emplace();
        parser->header_limit(headerLimit);
        parser->body_limit(std::numeric_limits<std::uint64_t>::max());
        if (restartClock)
            arm(server.options.headerSeconds);
        http::async_read_header(stream, buffer, *parser,
                                [self = this->shared_from_this()](beast::error_code ec, size_t) {
                                    self->onHeader(ec);
                                });
    }

    void onHeader(beast::error_code ec)
    {
        if (ec) {
            if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
                return refuse(431);
            if (ec.category() == http::make_error_code(http::error::bad_method).category() &&
                ec != http::error::end_of_stream && ec != http::error::partial_message)
                return refuse(400);
            return close();
        }
        auto &message = parser->get();
        if (static_cast<size_t>(std::distance(message.begin(), message.end())) > fieldLimit)
            return refuse(431);
        request = HttpRequest();
        request.method = std::string(message.method_string());
        request.remote = remote;
        request.secure = secure;
        request.target = std::string(message.target());
        splitTarget(request.target, request.path, request.query);
        for (const auto &field : message)
            request.headers.emplace_back(std::string(field.name_string()),
                                         std::string(field.value()));
        keepAlive = message.keep_alive();
        http10 = message.version() < 11;
        bodyRead = parser->is_done();
        try {
            exchange = server.exchangeFor(request);
        } catch (...) {
            return refuse(500);
        }
        if (!parser->is_done() &&
            strcasecmp(request.header("Expect").c_str(), "100-continue") == 0 && !http10) {
            static const char interim[] = "HTTP/1.1 100 Continue\r\n\r\n";
            arm(server.options.transferSeconds);
            asio::async_write(stream, asio::buffer(interim, sizeof interim - 1),
                              [self = this->shared_from_this()](beast::error_code ec, size_t) {
                                  if (ec)
                                      return self->close();
                                  self->readBody();
                              });
            return;
        }
        readBody();
    }

    // An answer of the server's own to a request it could not read; the
    // connection closes after it.
    void refuse(int status)
    {
        keepAlive = false;
        bodyRead = false;
        exchange.reset();
        response = std::make_unique<HttpResponse>();
        response->status = status;
        write();
    }

    bool feed(const char *data, size_t length)
    {
        try {
            return exchange->body(data, length);
        } catch (...) {
            return false;
        }
    }

    void readBody()
    {
        if (parser->is_done())
            return finishBody(true);
        if (parser->chunked())
            return readChunked();
        bodyLeft = parser->content_length().value_or(0);
        size_t ready = static_cast<size_t>(std::min<uint64_t>(buffer.size(), bodyLeft));
        if (ready > 0) {
            bool more = feed(static_cast<const char *>(buffer.data().data()), ready);
            buffer.consume(ready);
            bodyLeft -= ready;
            if (!more)
                return finishBody(false);
        }
        arm(server.options.transferSeconds);
        if (chunk.empty())
            chunk.resize(static_cast<size_t>(std::min<uint64_t>(bodyLeft, bodyChunk)));
        if constexpr (secure)
            readSecure();
        else
            readRaw();
    }

    // Where the next piece of a body is read: the route's buffer where it
    // has one, else the connection's.
    char *bodyTarget(size_t &want)
    {
        size_t room = 0;
        char *target = exchange->bodySpace(room);
        if (!target) {
            target = chunk.data();
            room = chunk.size();
        }
        want = static_cast<size_t>(std::min<uint64_t>(room, bodyLeft));
        return target;
    }

    // Over TLS the body comes through the TLS layer, a record at a time.
    void readSecure()
    {
        if (bodyLeft == 0) {
            bodyRead = true;
            return finishBody(true);
        }
        size_t want = 0;
        char *target = bodyTarget(want);
        stream.async_read_some(
            asio::buffer(target, want),
            [self = this->shared_from_this(), target](beast::error_code ec, size_t n) {
                if (ec)
                    return self->close(); // the client went away
                self->bodyLeft -= n;
                if (!self->feed(target, n))
                    return self->finishBody(false);
                self->progress();
                self->readSecure();
            });
    }

    // A body of known length is read straight from the socket in large
    // pieces: whatever has arrived is read at once, and the thread waits
    // for more only when the socket is empty. While much of the body is
    // still to come, the socket reports itself readable only once a good
    // piece has arrived, so a fast upload costs a wake-up per few hundred
    // KiB instead of one per network packet burst.
    void readRaw()
    {
        size_t taken = 0;
        for (;;) {
            if (bodyLeft == 0) {
                bodyRead = true;
                setLowWater(1);
                return finishBody(true);
            }
            size_t want = 0;
            char *target = bodyTarget(want);
            beast::error_code ec;
            size_t n = socket().read_some(asio::buffer(target, want), ec);
            if (ec == asio::error::would_block || ec == asio::error::try_again)
                break;
            if (ec)
                return close(); // the client went away
            bodyLeft -= n;
            if (!feed(target, n)) {
                setLowWater(1);
                return finishBody(false);
            }
            progress();
            taken += n;
            if (taken >= readSlice) {
                // Other connections of this thread get a turn.
                asio::post(socket().get_executor(),
                           [self = this->shared_from_this()] { self->readRaw(); });
                return;
            }
        }
        setLowWater(static_cast<int>(std::min<uint64_t>(bodyLeft, bodyLowWater)));
        socket().async_wait(tcp::socket::wait_read,
                            [self = this->shared_from_this()](beast::error_code ec) {
                                if (ec)
                                    return self->close();
                                self->readRaw();
                            });
    }

    // The socket counts as readable once this many bytes are waiting (or at
    // its end); the kernel also wakes the reader when its buffer fills.
    void setLowWater(int bytes)
    {
        if (bytes < 1)
            bytes = 1;
        if (bytes == lowWater)
            return;
        if (::setsockopt(socket().native_handle(), SOL_SOCKET, SO_RCVLOWAT, &bytes, sizeof bytes) ==
            0)
            lowWater = bytes;
    }

    // Bytes moved: the transfer deadline moves on, re-armed at most once a
    // second (each re-arming costs a handler and a system call).
    void progress()
    {
        auto due = std::chrono::steady_clock::now() +
                   std::chrono::seconds(server.options.transferSeconds - 1);
        if (timer.expiry() < due)
            arm(server.options.transferSeconds);
    }

    void readChunked()
    {
        if (chunk.size() < bodyChunk)
            chunk.resize(bodyChunk);
        auto &body = parser->get().body();
        body.data = chunk.data();
        body.size = chunk.size();
        arm(server.options.transferSeconds);
        http::async_read_some(
            stream, buffer, *parser,
            [self = this->shared_from_this()](beast::error_code ec, size_t) {
                if (ec == http::error::need_buffer)
                    ec = {};
                if (ec) {
                    if (ec.category() == http::make_error_code(http::error::bad_chunk).category() &&
                        ec != http::error::end_of_stream && ec != http::error::partial_message)
                        return self->finishBody(false);
                    return self->close();
                }
                size_t got = self->chunk.size() - self->parser->get().body().size;
                if (got > 0 && !self->feed(self->chunk.data(), got))
                    return self->finishBody(false);
                if (self->parser->is_done()) {
                    self->bodyRead = true;
                    return self->finishBody(true);
                }
                self->readChunked();
            });
    }

    void finishBody(bool complete)
    {
        if (!complete)
            keepAlive = false;
        response = std::make_unique<HttpResponse>();
        try {
            exchange->respond(*response, complete);
        } catch (...) {
            response = std::make_unique<HttpResponse>();
            response->status = 500;
        }
        exchange.reset();
        if (response->close)
            keepAlive = false;
        write();
    }

    void write()
    {
        HttpResponse &r = *response;
        fileOffset = 0;
        fileLeft = r.fileFd >= 0 ? r.fileSize : 0;
        if (r.fileFd >= 0 && r.status == 200)
            applyRange(r);
        if (r.status >= 400 && r.body.empty() && r.fileFd < 0 && server.errorPage)
            server.errorPage(r);
        int64_t length = r.fileFd >= 0 ? fileLeft : static_cast<int64_t>(r.body.size());
        head = "HTTP/1.1 " + std::to_string(r.status) + " " + reason(r.status) + "\r\n";
        if (!r.contentType.empty())
            head += "Content-Type: " + headerSafe(r.contentType) + "\r\n";
        head += "Content-Length: " + std::to_string(length) + "\r\n";
        for (const auto &h : r.headers) {
            // The connection header is the server's alone (HttpResponse::close
            // is how a route asks for the end), so it goes out once.
            if (strcasecmp(h.first.c_str(), "Connection") == 0)
                continue;
            head += headerSafe(h.first) + ": " + headerSafe(h.second) + "\r\n";
        }
        if (!keepAlive)
            head += "Connection: close\r\n";
        else if (http10)
            head += "Connection: keep-alive\r\n";
        head += "\r\n";
        headSent = 0;
        bodySent = 0;
        writeSome();
    }

    // A file answer to a request for one byte range sends that range.
    void applyRange(HttpResponse &r)
    {
        bool unsatisfiable = false;
        std::optional<ByteRange> range = requestedRange(request, r.fileSize, unsatisfiable);
        if (unsatisfiable) {
            r.status = 416;
            r.setHeader("Content-Range", "bytes */" + std::to_string(r.fileSize));
            r.headers.erase(
                std::remove_if(r.headers.begin(), r.headers.end(),
                               [](const auto &h) { return h.first == "Content-Disposition"; }),
                r.headers.end());
            ::close(r.fileFd);
            r.fileFd = -1;
            r.contentType.clear();
            fileLeft = 0;
            return;
        }
        r.setHeader("Accept-Ranges", "bytes");
        if (!range)
            return;
        r.status = 206;
        r.setHeader("Content-Range", "bytes " + std::to_string(range->first) + "-" +
                                         std::to_string(range->last) + "/" +
                                         std::to_string(r.fileSize));
        fileOffset = static_cast<off_t>(range->first);
        fileLeft = range->last - range->first + 1;
    }

    // Writes the head and the body in memory, re-arming the deadline while
    // bytes go out.
    void writeSome()
    {
        const HttpResponse &r = *response;
        std::array<asio::const_buffer, 2> pieces = {
            asio::buffer(head.data() + headSent, head.size() - headSent),
            asio::buffer(r.body.data() + bodySent, r.body.size() - bodySent)};
        if (headSent == head.size() && bodySent == r.body.size()) {
            if (r.fileFd < 0)
                return written();
            if constexpr (secure)
                return sendSecure();
            else
                return sendFile();
        }
        arm(server.options.transferSeconds);
        stream.async_write_some(pieces,
                                [self = this->shared_from_this()](beast::error_code ec, size_t n) {
                                    if (ec)
                                        return self->close();
                                    size_t toHead = std::min(n, self->head.size() - self->headSent);
                                    self->headSent += toHead;
                                    self->bodySent += n - toHead;
                                    self->writeSome();
                                });
    }

    void sendFile()
    {
        int64_t slice = 0;
        while (fileLeft > 0) {
            size_t want = static_cast<size_t>(std::min<int64_t>(fileLeft, 1 << 30));
            ssize_t n = ::sendfile(socket().native_handle(), response->fileFd, &fileOffset, want);
            if (n > 0) {
                fileLeft -= n;
                slice += n;
                if (slice >= sendSlice && fileLeft > 0) {
                    arm(server.options.transferSeconds); // bytes moved
                    asio::post(socket().get_executor(),
                               [self = this->shared_from_this()] { self->sendFile(); });
                    return;
                }
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                arm(server.options.transferSeconds);
                socket().async_wait(tcp::socket::wait_write,
                                    [self = this->shared_from_this()](beast::error_code ec) {
                                        if (ec)
                                            return self->close();
                                        self->sendFile();
                                    });
                return;
            }
            return close(); // the file ended early or the socket broke
        }
        written();
    }

    // Over TLS the file's bytes are encrypted on their way out, so they pass
    // through memory a piece at a time instead of going by sendfile.
    void sendSecure()
    {
        if (fileLeft == 0)
            return written();
        size_t want = static_cast<size_t>(std::min<int64_t>(fileLeft, securePiece));
        if (chunk.size() < want)
            chunk.resize(want);
        ssize_t n;
        do
            n = ::pread(response->fileFd, chunk.data(), want, fileOffset);
        while (n < 0 && errno == EINTR);
        if (n <= 0)
            return close(); // the file ended early
        asio::async_write(stream, asio::buffer(chunk.data(), static_cast<size_t>(n)),
                          [self = this->shared_from_this()](beast::error_code ec, size_t sent) {
                              if (ec)
                                  return self->close();
                              self->fileOffset += static_cast<off_t>(sent);
                              self->fileLeft -= static_cast<int64_t>(sent);
                              self->progress();
                              self->sendSecure();
                          });
    }

    void written()
    {
        response.reset();
        if (!keepAlive)
            return closeGracefully();
        parser.reset();
        if (chunk.size() > 64 * 1024)
            std::vector<char>().swap(chunk);
        waitRequest();
    }

    // After an answer given before the whole body was read, the rest is read
    // and dropped for a moment, so the client sees the answer rather than a
    // reset connection.
    void closeGracefully()
    {
        if constexpr (secure) {
            if (bodyRead) {
                // Goodbye with close_notify, waiting a moment for the client's.
                arm(lingerSeconds);
                stream.async_shutdown(
                    [self = this->shared_from_this()](beast::error_code) { self->close(); });
                return;
            }
            // No close_notify here: once it is sent, OpenSSL refuses the body
            // still arriving and the client would meet a reset instead of
            // the answer. The answer says "Connection: close" and its length.
        } else {
            beast::error_code ec;
            socket().shutdown(tcp::socket::shutdown_send, ec);
            if (bodyRead || ec)
                return close();
        }
        if (chunk.size() < 64 * 1024)
            chunk.resize(64 * 1024);
        lingered = 0;
        arm(lingerSeconds);
        drain();
    }

    void drain()
    {
        auto dropped = [self = this->shared_from_this()](beast::error_code ec, size_t n) {
            self->lingered += n;
            if (ec || self->lingered > lingerLimit)
                return self->close();
            self->drain();
        };
        // Over TLS the rest passes through the TLS layer, which needs it to
        // stay in step.
        if constexpr (secure)
            stream.async_read_some(asio::buffer(chunk.data(), chunk.size()), std::move(dropped));
        else
            socket().async_read_some(asio::buffer(chunk.data(), chunk.size()), std::move(dropped));
    }

    HttpServer::Impl &server;
    Stream stream;
    asio::steady_timer timer;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::buffer_body>> parser;
    HttpRequest request;
    std::string remote; // the peer's address
    std::unique_ptr<HttpExchange> exchange;
    std::unique_ptr<HttpResponse> response;
    std::vector<char> chunk;
    uint64_t bodyLeft = 0;
    bool keepAlive = true;
    bool http10 = false;
    bool bodyRead = false;
    std::string head;
    size_t headSent = 0, bodySent = 0;
    off_t fileOffset = 0;
    int64_t fileLeft = 0;
    size_t lingered = 0;
    int lowWater = 1;
};

} // namespace

std::unique_ptr<HttpExchange> HttpServer::Impl::exchangeFor(HttpRequest &request)
{
    auto it = exact.find(request.method + " " + request.path);
    if (it != exact.end()) {
        request.matches = {request.path};
        return it->second(request);
    }
    for (const Pattern &p : patterns) {
        std::smatch m;
        if (p.method == request.method && std::regex_match(request.path, m, p.expression)) {
            request.matches.assign(m.begin(), m.end());
            return p.make(request);
        }
    }
    return std::make_unique<NotFound>();
}

void HttpServer::Impl::accept()
{
    acceptor.async_accept(asio::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor.is_open())
            return;
        if (!ec) {
            if (tls)
                std::make_shared<Connection<TlsStream>>(*this, std::move(socket))->start();
            else
                std::make_shared<Connection<tcp::socket>>(*this, std::move(socket))->start();
            return accept();
        }
        // Out of descriptors (or another passing failure): wait a moment
        // instead of spinning.
        auto pause = std::make_shared<asio::steady_timer>(io, std::chrono::milliseconds(100));
        pause->async_wait([this, pause](beast::error_code) {
            if (acceptor.is_open())
                accept();
        });
    });
}

HttpServer::HttpServer(const Options &options) : d(std::make_unique<Impl>(options)) {}

HttpServer::~HttpServer() = default;

void HttpServer::route(const std::string &method, const std::string &pattern, Route make)
{
    if (pattern.find('(') == std::string::npos)
        d->exact[method + " " + pattern] = std::move(make);
    else
        d->patterns.push_back(Impl::Pattern{method, std::regex(pattern), std::move(make)});
}

std::unique_ptr<HttpExchange> HttpServer::exchangeFor(HttpRequest &request) const
{
    return d->exchangeFor(request);
}

void HttpServer::setErrorPage(ErrorPage page)
{
    d->errorPage = std::move(page);
}

namespace {

// The last error OpenSSL queued, as text.
std::string tlsError()
{
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "unknown error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace

bool HttpServer::useTls(const std::string &certificateFile, const std::string &keyFile,
                        std::string &error)
{
    auto context = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
    SSL_CTX *ctx = context->native_handle();
    // TLS 1.2 and 1.3 only; 1.2 with forward-secret AEAD suites only.
    // Renegotiation is refused: it would let a client make the server repeat
    // handshakes on one connection at will.
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_options(ctx, SSL_OP_NO_COMPRESSION | SSL_OP_CIPHER_SERVER_PREFERENCE |
                                 SSL_OP_NO_RENEGOTIATION);
    // Idle keep-alive connections give their TLS buffers back.
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
    if (SSL_CTX_set_cipher_list(ctx, "ECDHE+AESGCM:ECDHE+CHACHA20:!aNULL") != 1) {
        error = "TLS cipher list: " + tlsError();
        return false;
    }
    ERR_clear_error();
    if (SSL_CTX_use_certificate_chain_file(ctx, certificateFile.c_str()) != 1) {
        error = "cannot use the certificate " + certificateFile + ": " + tlsError();
        return false;
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        error = "cannot use the private key " + keyFile + ": " + tlsError();
        return false;
    }
    if (SSL_CTX_check_private_key(ctx) != 1) {
        error =
            "the private key " + keyFile + " does not belong to the certificate " + certificateFile;
        ERR_clear_error();
        return false;
    }
    d->tls = std::move(context);
    return true;
}

int HttpServer::bind(const std::string &host, int port)
{
    // Every idle connection holds a descriptor: allow as many as the system does.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    beast::error_code ec;
    auto address = asio::ip::make_address(host == "localhost" ? "127.0.0.1" : host, ec);
    if (ec)
        return -1;
    tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
    d->acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        d->acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        d->acceptor.bind(endpoint, ec);
    if (!ec)
        d->acceptor.listen(d->options.backlog, ec);
    if (ec) {
        beast::error_code ignored;
        d->acceptor.close(ignored);
        return -1;
    }
    return d->acceptor.local_endpoint().port();
}

bool HttpServer::run()
{
    if (!d->acceptor.is_open())
        return false;
    d->accept();
    std::vector<std::thread> threads;
    for (int i = 1; i < d->options.threads; ++i)
        threads.emplace_back([this] { d->io.run(); });
    d->io.run();
    for (std::thread &t : threads)
        t.join();
    return true;
}

void HttpServer::stop()
{
    asio::post(d->io, [this] {
        beast::error_code ignored;
        d->acceptor.close(ignored);
        d->io.stop();
    });
}
