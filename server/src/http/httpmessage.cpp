#include "http/httpmessage.h"

#include <strings.h>
#include <unistd.h>

std::string HttpRequest::header(const std::string &name) const
{
    for (const auto &h : headers)
        if (strcasecmp(h.first.c_str(), name.c_str()) == 0)
            return h.second;
    return std::string();
}

HttpResponse::~HttpResponse()
{
    if (fileFd >= 0)
        ::close(fileFd);
}

void HttpResponse::setHeader(const std::string &name, const std::string &value)
{
    for (auto &h : headers)
        if (strcasecmp(h.first.c_str(), name.c_str()) == 0) {
            h.second = value;
            return;
        }
    headers.emplace_back(name, value);
}

void HttpResponse::setContent(std::string content, const std::string &type)
{
    body = std::move(content);
    contentType = type;
}

void HttpResponse::setFile(int fd, int64_t size, const std::string &type)
{
    if (fileFd >= 0)
        ::close(fileFd);
    fileFd = fd;
    fileSize = size;
    contentType = type;
    body.clear();
}

void HttpResponse::setRedirect(const std::string &location, int code)
{
    status = code;
    setHeader("Location", location);
}
