#pragma once

#include <httplib.h>

#include <string>

class BlobStore;
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

    void install(httplib::Server &http);

private:
    void show(const httplib::Request &req, httplib::Response &res);
    void unlock(const httplib::Request &req, httplib::Response &res,
                const httplib::ContentReader &reader);
    void file(const httplib::Request &req, httplib::Response &res);
    void upload(const httplib::Request &req, httplib::Response &res,
                const httplib::ContentReader &reader);

    // The page of an open link, with an optional note at the top.
    std::string listing(const Link &link, const std::string &note);
    void answer(httplib::Response &res, int status, const std::string &html);
    bool unlocked(const httplib::Request &req, const Link &link);

    LinkService &links;
    BlobStore &blobs;
};
