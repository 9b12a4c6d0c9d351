#include "http/apiserver.h"

#include "service/accountservice.h"
#include "service/deskservice.h"
#include "service/linkservice.h"
#include "service/searchservice.h"
#include "service/serviceerror.h"
#include "service/session.h"
#include "service/shareservice.h"
#include "store/blobstore.h"
#include "store/storeerror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using nlohmann::json;

namespace {

const char *const jsonType = "application/json; charset=utf-8";
const char *const diskFullMessage = "磁盘空间不足";

std::string get(const Fields &fields, const char *key)
{
    auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

// RFC 5987 form of a UTF-8 file name for Content-Disposition.
std::string encodedFileName(const std::string &name)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '.' || c == '-' || c == '_')
            out += static_cast<char>(c);
        else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The plain-ASCII stand-in for browsers that ignore filename*: each character
// outside printable ASCII, and the quote, backslash and percent sign that some
// browsers read specially, becomes '_'.
std::string asciiFileName(const std::string &name)
{
    std::string out;
    for (unsigned char c : name) {
        if (c >= 0x80 && c < 0xc0)
            continue; // the rest of a UTF-8 sequence already replaced
        out += (c < 0x20 || c >= 0x7f || c == '"' || c == '\\' || c == '%') ? '_'
                                                                            : static_cast<char>(c);
    }
    return out;
}

void answer(HttpResponse &res, int code, const std::string &message)
{
    res.status = 200;
    res.setContent(ApiServer::envelope(code, message), jsonType);
}

// Runs a handler body and turns every failure into an envelope.
template <typename F> void guarded(HttpResponse &res, F &&body)
{
    try {
        body();
    } catch (const ServiceError &e) {
        answer(res, e.code, e.what());
    } catch (const StoreError &e) {
        std::fprintf(stderr, "folvane-server: store error: %s\n", e.what());
        answer(res, CodeServerError, "服务器内部错误");
    } catch (const std::exception &e) {
        std::fprintf(stderr, "folvane-server: error: %s\n", e.what());
        answer(res, CodeServerError, "服务器内部错误");
    }
}

} // namespace

HttpServer::Options ApiServer::defaultOptions()
{
    HttpServer::Options options;
    // Routes block on the database and the disk: a few threads per core keep
    // the cores busy while some of them wait.
    options.threads = std::max(8u, 4 * std::thread::hardware_concurrency());
    return options;
}

ApiServer::ApiServer(const Services &services, const HttpServer::Options &options)
    : accounts(services.accounts), files(services.files), shares(services.shares),
      desk(services.desk), links(services.links), search(services.search), blobs(services.blobs),
      linkPage(services.links, services.blobs), http(options)
{
    http.setErrorPage([](HttpResponse &res) {
        int code = res.status == 404 ? CodeNotFound : CodeBadInput;
        const char *message = res.status == 404 ? "接口不存在" : "请求无效";
        if (res.status >= 500) {
            code = CodeServerError;
            message = "服务器内部错误";
        }
        res.setContent(envelope(code, message), jsonType);
    });
    addRoutes();
    addCollaborationRoutes();
    addLinkRoutes();
}

std::string ApiServer::envelope(int code, const std::string &message, const json &data)
{
    json reply{{"code", code}, {"msg", message}, {"data", data}};
    return reply.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool ApiServer::useTls(const std::string &certificateFile, const std::string &keyFile,
                       std::string &error)
{
    return http.useTls(certificateFile, keyFile, error);
}

int ApiServer::bind(const std::string &host, int port)
{
    return http.bind(host, port);
}

bool ApiServer::run()
{
    return http.run();
}

void ApiServer::stop()
{
    http.stop();
}

Session ApiServer::signedSession(const FormParser &form, bool ok)
{
    if (!ok)
        throw ServiceError(CodeBadInput, "请求数据无效");
    return accounts.authenticate(get(form.fields, "token"));
}

void ApiServer::post(const std::string &path, FormExchange::Answer answer)
{
    http.route("POST", path, FormExchange::route(std::move(answer)));
}

namespace {

void reply(HttpResponse &res, const ApiServer::Reply &r)
{
    if (!r.dataText.empty()) {
        std::string body;
        body.reserve(r.dataText.size() + 40);
        body += "{\"code\":0,\"msg\":\"\",\"data\":";
        body += r.dataText;
        body += '}';
        res.setContent(std::move(body), jsonType);
        return;
    }
    json out{{"code", 0}, {"msg", ""}, {"data", r.data}};
    for (auto it = r.top.begin(); it != r.top.end(); ++it)
        out[it.key()] = it.value();
    res.setContent(out.dump(-1, ' ', false, json::error_handler_t::replace), jsonType);
}

} // namespace

void ApiServer::addJson(const std::string &path, JsonHandler handler)
{
    post(path, [this, handler](const HttpRequest &, FormParser &form, bool ok, HttpResponse &res) {
        guarded(res, [&] {
            Session session = signedSession(form, ok);
            reply(res, handler(session, form.fields));
        });
    });
}

void ApiServer::addDownload(const std::string &path, DownloadHandler handler)
{
    post(path, [this, handler](const HttpRequest &, FormParser &form, bool ok, HttpResponse &res) {
        guarded(res, [&] {
            Session session = signedSession(form, ok);
            FileRef file = handler(session, form.fields);
            streamFile(res, file, false, std::string());
        });
    });
}

std::string ApiServer::contentDisposition(bool inlineView, const std::string &fileName)
{
    return std::string(inlineView ? "inline" : "attachment") + "; filename=\"" +
           asciiFileName(fileName) + "\"; filename*=UTF-8''" + encodedFileName(fileName);
}

void ApiServer::streamFile(HttpResponse &res, const FileRef &file, bool inlineView,
                           const std::string &inlineType)
{
    int fd = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ServiceError(CodeServerError, "文件内容丢失");
    res.setHeader("Content-Disposition", contentDisposition(inlineView, file.name));
    if (inlineView)
        res.setHeader("X-Content-Type-Options", "nosniff");
    res.setFile(fd, file.size, inlineView ? inlineType : "application/octet-stream");
}

void ApiServer::addUpload(const std::string &path, UploadHandler handler)
{
    // The token comes before the file in the client's form: a missing or bad
    // one stops the transfer before any byte of the file is stored.
    auto gate = [this](const HttpRequest &, const Fields &fields) {
        auto token = fields.find("token");
        if (token == fields.end())
            return false;
        try {
            accounts.authenticate(token->second);
        } catch (const ServiceError &) {
            return false;
        }
        return true;
    };
    auto answer = [this, handler](const HttpRequest &, FormParser &form, bool ok,
                                  HttpResponse &res) {
        guarded(res, [&] {
            if (form.diskFull()) {
                res.close = true;
                throw ServiceError(CodeServerError, diskFullMessage);
            }
            if (form.stoppedByGate) {
                res.close = true;
                accounts.authenticate(std::string()); // answers the expired-token refusal
            }
            if (!ok) {
                res.close = true;
                throw ServiceError(CodeBadInput, "上传的数据不完整");
            }
            Session session = accounts.authenticate(get(form.fields, "token"));
            if (!form.file)
                throw ServiceError(CodeBadInput, "没有上传文件");
            reply(res, handler(session, form.fields, *form.file, form.fileName));
        });
    };
    http.route("POST", path, FormExchange::route(answer, &blobs, gate));
}

void ApiServer::addRoutes()
{
    // Accounts
    post("/api/user/login.jf", [this](const HttpRequest &req, FormParser &form, bool ok,
                                      HttpResponse &res) {
        guarded(res, [&] {
            if (!ok)
                throw ServiceError(CodeBadInput, "请求数据无效");
            json data = accounts.login(get(form.fields, "username"), get(form.fields, "password"),
                                       get(form.fields, "mac"), get(form.fields, "ip"), req.remote);
            res.setContent(envelope(0, "", data), jsonType);
        });
    });
    auto thumb = [this](const HttpRequest &, FormParser &form, bool, HttpResponse &res) {
        guarded(res, [&] {
            std::string png = accounts.thumb(get(form.fields, "userId"), get(form.fields, "size"));
            if (png.empty()) {
                res.status = 404;
                res.setContent(envelope(CodeNotFound, "用户不存在"), jsonType);
                return;
            }
            res.setHeader("Cache-Control", "no-cache");
            res.setContent(png, "image/png");
        });
    };
    http.route("GET", "/api/user/user-thumb.jf", FormExchange::route(thumb));
    http.route("POST", "/api/user/user-thumb.jf", FormExchange::route(thumb));
    addJson("/api/user/list-all-group.jf", [this](const Session &, const Fields &) {
        Reply r;
        r.data = accounts.listAllGroup();
        return r;
    });
    addJson("/api/user/user-list.jf", [this](const Session &, const Fields &f) {
        Reply r;
        r.data = accounts.userList(get(f, "groupId"));
        return r;
    });

    // The two file areas share their rules; only the area differs.
    for (Area area : {Area::Library, Area::NetDisk}) {
        const std::string base = area == Area::Library ? "/api/file/" : "/api/netdisk/";
        addJson(base + "list-dir.jf", [this, area](const Session &s, const Fields &f) {
            Reply r;
            json removes;
            r.data = files.listDir(s, area, get(f, "date"), removes);
            r.top["removes"] = removes;
            return r;
        });
        addJson(base + (area == Area::Library ? "list-file.jf" : "list.jf"),
                [this, area](const Session &s, const Fields &f) {
                    Reply r;
                    std::string parent = get(f, "parentId");
                    if (area == Area::Library && (parent == "-8" || parent == "-9"))
                        r.data = shares.sharedFolder(s, parent);
                    else
                        r.dataText = files.listFile(s, area, parent);
                    return r;
                });
        addJson(base + "delete.jf", [this, area](const Session &s, const Fields &f) {
            files.remove(s, area, get(f, "fileIds"));
            return Reply();
        });
        addJson(base + "md5.jf", [this, area](const Session &s, const Fields &f) {
            Reply r;
            std::string md5 = files.md5(s, area, get(f, "fileId"));
            r.data = json{{"md5", md5}};
            r.top["md5"] = md5;
            return r;
        });
        addDownload(base + "download.jf", [this, area](const Session &s, const Fields &f) {
            return files.download(s, area, get(f, "fileIds"));
        });
        addUpload(base + (area == Area::Library ? "upload-docfile.jf" : "upload.jf"),
                  [this, area](const Session &s, const Fields &f, BlobWriter &body,
                               const std::string &name) {
                      Reply r;
                      r.data = files.upload(s, area, get(f, "pid"), get(f, "uploadType"),
                                            get(f, "fileId"), name, body);
                      r.top["fileId"] = r.data["fileId"];
                      return r;
                  });
        addUpload(
            base + "save-update-file.jf",
            [this, area](const Session &s, const Fields &f, BlobWriter &body, const std::string &) {
                Reply r;
                r.data = files.saveUpdate(s, area, get(f, "fileId"), get(f, "versionDesp"),
                                          get(f, "isCreateFile") != "0", body);
                return r;
            });
        addJson(base + "save-fold.jf", [this, area](const Session &s, const Fields &f) {
            Reply r;
            std::string id = files.saveFold(s, area, get(f, "parentId"), get(f, "name"));
            r.data = json{{"fileId", id}};
            r.top["fileId"] = id;
            return r;
        });
        addJson(base + "move.jf", [this, area](const Session &s, const Fields &f) {
            files.move(s, area, get(f, "targetId"), get(f, "sourceIds"));
            return Reply();
        });
    }

    addJson("/api/file/rename.jf", [this](const Session &s, const Fields &f) {
        files.rename(s, get(f, "fileId"), get(f, "name"));
        return Reply();
    });
    addJson("/api/file/lock.jf", [this](const Session &s, const Fields &f) {
        files.lock(s, get(f, "fileId"), get(f, "type"));
        return Reply();
    });
    addJson("/api/file/version-list.jf", [this](const Session &s, const Fields &f) {
        Reply r;
        r.data = files.versionList(s, get(f, "fileId"));
        return r;
    });
    addDownload("/api/file/version-download.jf", [this](const Session &s, const Fields &f) {
        return files.versionDownload(s, get(f, "versionId"));
    });
    addJson("/api/file/copy.jf", [this](const Session &s, const Fields &f) {
        files.copy(s, get(f, "targetId"), get(f, "sourceIds"), false);
        return Reply();
    });
    addJson("/api/netdisk/move-to-doc.jf", [this](const Session &s, const Fields &f) {
        files.copy(s, get(f, "targetId"), get(f, "sourceIds"), true);
        return Reply();
    });
}

void ApiServer::addCollaborationRoutes()
{
    addJson("/api/file/share.jf", [this](const Session &s, const Fields &f) {
        shares.share(s, get(f, "fileIds"), get(f, "userList"), get(f, "authList"), get(f, "memo"));
        return Reply();
    });
    addJson("/api/netdisk/share.jf", [this](const Session &s, const Fields &f) {
        shares.netDiskShare(s, get(f, "fileIds"), get(f, "userList"), get(f, "shareAuth"),
                            get(f, "invalidate"), get(f, "memo"));
        return Reply();
    });
    addJson("/api/file/publish.jf", [this](const Session &s, const Fields &f) {
        shares.publish(s, get(f, "fileIds"), get(f, "userList"), get(f, "authList"),
                       PublishPeriod{get(f, "dayCountType"), get(f, "dayCount"),
                                     get(f, "startTime"), get(f, "endTime")});
        return Reply();
    });
    addJson("/api/file/auth.jf", [this](const Session &s, const Fields &f) {
        shares.auth(s, get(f, "fileIds"), get(f, "userList"), get(f, "authList"),
                    get(f, "appRange"));
        return Reply();
    });
    addJson("/api/file/link-add.jf", [this](const Session &s, const Fields &f) {
        Reply r;
        std::string url = links.add(
            s, LinkRequest{get(f, "fileIds"), get(f, "linkType"), get(f, "maxVisit"), get(f, "pwd"),
                           get(f, "linkAuth"), get(f, "linkExpiry"), get(f, "desp")});
        r.data = json{{"url", url}};
        r.top["url"] = url;
        return r;
    });

    // Lists of the personal desktop.
    const std::vector<std::pair<std::string, std::pair<std::string, bool>>> shareLists = {
        {"/api/file/share-to-me-list.jf", {"share", false}},
        {"/api/file/my-share-list.jf", {"share", true}},
        {"/api/file/publish-to-me-list.jf", {"publish", false}},
        {"/api/file/my-publish-list.jf", {"publish", true}},
        {"/api/netdisk/share-to-me-list.jf", {"netshare", false}},
        {"/api/netdisk/my-share-list.jf", {"netshare", true}},
    };
    for (const auto &[path, list] : shareLists) {
        std::string kind = list.first;
        bool sent = list.second;
        addJson(path, [this, kind, sent](const Session &s, const Fields &) {
            Reply r;
            r.data = sent ? shares.sentList(s, kind) : shares.receivedList(s, kind);
            return r;
        });
    }
    addJson("/api/file/fav-cat-list.jf", [this](const Session &s, const Fields &) {
        Reply r;
        r.data = desk.favouriteCategories(s);
        return r;
    });
    addJson("/api/file/add-fav.jf", [this](const Session &s, const Fields &f) {
        desk.addFavourite(s, get(f, "fileId"), get(f, "catId"));
        return Reply();
    });
    addJson("/api/file/my-fav-list.jf", [this](const Session &s, const Fields &) {
        Reply r;
        r.data = desk.favourites(s);
        return r;
    });
    addJson("/api/file/my-subscribe-list.jf", [this](const Session &s, const Fields &) {
        Reply r;
        r.data = desk.subscriptions(s);
        return r;
    });
    addJson("/api/file/list-my-file.jf", [this](const Session &s, const Fields &f) {
        Reply r;
        r.data = desk.myFiles(s, get(f, "type"), get(f, "limit"));
        return r;
    });
    addJson("/api/sys/notice-list.jf", [this](const Session &, const Fields &) {
        Reply r;
        r.data = desk.notices();
        return r;
    });
    addJson("/api/sys/notice-read.jf", [this](const Session &, const Fields &f) {
        // The viewer reads the announcement's fields at the top level.
        Reply r;
        r.data = desk.notice(get(f, "id"));
        r.top = r.data;
        return r;
    });
    addJson("/api/file/search.jf", [this](const Session &s, const Fields &f) {
        Reply r;
        r.data = search.search(s, SearchQuery{get(f, "solrKeyword"), get(f, "solrDirectoryId"),
                                              get(f, "solrFileExtend"), get(f, "solrCreatorId"),
                                              get(f, "solrStartTime"), get(f, "solrEndTime")});
        return r;
    });
}

void ApiServer::addLinkRoutes()
{
    linkPage.install(http);
}
