#pragma once

// The HTTP messages as the server's own code sees them: a request's line,
// headers and query, and the answer to give (a body in memory or a file).
// Nothing here knows the library that speaks HTTP.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using Fields = std::map<std::string, std::string>;

struct HttpRequest
{
    std::string method;
    std::string target; // as sent
    std::string path;   // decoded, without the query
    Fields query;       // decoded fields of the query string
    std::vector<std::pair<std::string, std::string>> headers;
    std::vector<std::string> matches; // the route's captures; [0] is the whole path
    std::string remote;               // the peer's address ("192.0.2.7", "2001:db8::1")
    bool secure = false;              // arrived over HTTPS

    // The first header of that name (any case); empty when there is none.
    std::string header(const std::string &name) const;
};

struct HttpResponse
{
    HttpResponse() = default;
    ~HttpResponse();
    HttpResponse(const HttpResponse &) = delete;
    HttpResponse &operator=(const HttpResponse &) = delete;

    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string contentType;
    std::string body;
    int fileFd = -1;      // a file to send as the body instead (closed afterwards)
    int64_t fileSize = 0; // bytes of it to send
    bool close = false;   // end the connection after this answer

    void setHeader(const std::string &name, const std::string &value);
    void setContent(std::string content, const std::string &type);
    // Takes `fd` over; sends `size` bytes of it.
    void setFile(int fd, int64_t size, const std::string &type);
    void setRedirect(const std::string &location, int code);
};

// What a route does with one request: it receives the body piece by piece as
// it arrives, then fills the answer.
class HttpExchange
{
public:
    virtual ~HttpExchange() = default;
    // The next piece of the body; false stops reading it (the connection then
    // closes after the answer).
    virtual bool body(const char *data, size_t length) = 0;
    // Where the next piece of the body may be read, so that body() gets it
    // where it is to go and nothing is copied; null leaves the server to read
    // into a buffer of its own. Valid until the next body() call.
    virtual char *bodySpace(size_t &length)
    {
        length = 0;
        return nullptr;
    }
    // Called once, after the whole body (`complete`) or after body() stopped
    // or the body turned out malformed. Not called when the client went away.
    virtual void respond(HttpResponse &res, bool complete) = 0;
};
