#pragma once

#include "http/formexchange.h"
#include "http/httpserver.h"
#include "http/linkpage.h"
#include "service/fileservice.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <string>

class AccountService;
class BlobStore;
class DeskService;
class LinkService;
class SearchService;
class ShareService;
struct Session;

// The services behind the paths.
struct Services
{
    AccountService &accounts;
    FileService &files;
    ShareService &shares;
    DeskService &desk;
    LinkService &links;
    SearchService &search;
    BlobStore &blobs;
};

// The HTTP face of the server: routes every path of the client's interface,
// reads forms and multipart bodies, checks the token, calls a service and
// writes the envelope {"code", "msg", "data"}. Refusals of the rules come back
// as HTTP 200 with a non-zero "code"; broken requests get a 4xx status and the
// same envelope, so every answer is JSON the client can read.
class ApiServer
{
public:
    // What a JSON path answers: "data", plus keys the client reads at the top
    // level of the reply (for example "md5" or "fileId").
    struct Reply
    {
        nlohmann::json data = nlohmann::json::object();
        nlohmann::json top = nlohmann::json::object();
        // "data" given as JSON text instead (large listings); `top` stays empty.
        std::string dataText;
    };
    using JsonHandler = std::function<Reply(const Session &, const Fields &)>;
    using DownloadHandler = std::function<FileRef(const Session &, const Fields &)>;
    using UploadHandler =
        std::function<Reply(const Session &, const Fields &, BlobWriter &, const std::string &)>;

    // A few threads per core (routes block on the database and the disk) and
    // the HTTP layer's deadlines.
    static HttpServer::Options defaultOptions();

    explicit ApiServer(const Services &services,
                       const HttpServer::Options &options = defaultOptions());

    // Serves HTTPS with these PEM files (see HttpServer::useTls).
    bool useTls(const std::string &certificateFile, const std::string &keyFile, std::string &error);
    // Binds to host:port (0 picks a free port); returns the port or -1.
    int bind(const std::string &host, int port);
    // Serves until stop(); false if the server could not run.
    bool run();
    void stop();

    static std::string envelope(int code, const std::string &message,
                                const nlohmann::json &data = nlohmann::json::object());
    // The Content-Disposition value for a file (RFC 6266): an ASCII stand-in
    // name for old browsers and the exact name as UTF-8 (RFC 5987).
    static std::string contentDisposition(bool inlineView, const std::string &fileName);
    // Streams a stored file as the response body, as an attachment or (with
    // `inlineType`) to be shown in place.
    static void streamFile(HttpResponse &res, const FileRef &file, bool inlineView,
                           const std::string &inlineType);

private:
    void addRoutes();
    void addCollaborationRoutes();
    void addLinkRoutes();
    // The session the form's "token" names; refuses a malformed body and an
    // unknown or expired token.
    Session signedSession(const FormParser &form, bool ok);
    void post(const std::string &path, FormExchange::Answer answer);
    void addJson(const std::string &path, JsonHandler handler);
    void addDownload(const std::string &path, DownloadHandler handler);
    void addUpload(const std::string &path, UploadHandler handler);

    AccountService &accounts;
    FileService &files;
    ShareService &shares;
    DeskService &desk;
    LinkService &links;
    SearchService &search;
    BlobStore &blobs;
    LinkPage linkPage;
    HttpServer http;
};
