#pragma once

#include "http/formparser.h"
#include "http/httpmessage.h"

#include <string>

class BlobStore;
class HttpServer;
class LinkService;
struct Link;

// The browser side of external links: GET /link/<code> answers a small HTML
// page (a password form first when the link has a password) that lists the
// linked files with preview and download links and, when the link allows it,
// an upload form. Every text of the page is HTML-escaped.
class LinkPage
{
public:
    LinkPage(LinkService &links, BlobStore &blobs);

    void install(HttpServer &http);

private:
    void show(const HttpRequest &req, HttpResponse &res);
    void unlock(const HttpRequest &req, const FormParser &form, bool ok, HttpResponse &res);
    void file(const HttpRequest &req, const FormParser &form, HttpResponse &res);
    void upload(const HttpRequest &req, FormParser &form, bool ok, HttpResponse &res);

    // The page of an open link, with an optional note of success at the top.
    std::string listing(const Link &link, const std::string &note);
    void answer(HttpResponse &res, int status, const std::string &html);
    bool unlocked(const HttpRequest &req, const Link &link);

    LinkService &links;
    BlobStore &blobs;
};
