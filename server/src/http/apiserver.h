#pragma once

#include "http/formreader.h"
#include "service/fileservice.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>

class AccountService;
class BlobStore;
struct Session;

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
    struct Reply {
        nlohmann::json data = nlohmann::json::object();
        nlohmann::json top = nlohmann::json::object();
    };
    using JsonHandler = std::function<Reply(const Session &, const Fields &)>;
    using DownloadHandler = std::function<FileRef(const Session &, const Fields &)>;
    using UploadHandler =
        std::function<Reply(const Session &, const Fields &, BlobWriter &, const std::string &)>;

    ApiServer(AccountService &accounts, FileService &files, BlobStore &blobs);

    // Binds to host:port (0 picks a free port); returns the port or -1.
    int bind(const std::string &host, int port);
    // Serves until stop(); false if the server could not run.
    bool run();
    void stop();

    static std::string envelope(int code, const std::string &message,
                                const nlohmann::json &data = nlohmann::json::object());

private:
    void addRoutes();
    void addJson(const std::string &path, JsonHandler handler);
    void addDownload(const std::string &path, DownloadHandler handler);
    void addUpload(const std::string &path, UploadHandler handler);

    AccountService &accounts;
    FileService &files;
    BlobStore &blobs;
    httplib::Server http;
};
