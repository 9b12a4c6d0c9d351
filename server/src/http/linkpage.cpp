#include "http/linkpage.h"

#include "http/apiserver.h"
#include "http/formexchange.h"
#include "http/httpserver.h"
#include "service/helpers.h"
#include "service/linkservice.h"
#include "service/serviceerror.h"
#include "store/blobwriter.h"

#include <cstdio>
#include <ctime>

namespace {

const char *const codePattern = "/link/([0-9a-f]{32})";
const char *const cookieName = "folvane_link";

std::string localDate(int64_t ms)
{
    std::time_t t = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

std::string page(const std::string &body)
{
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
           "<title>外部链接</title><style>"
           "body{font-family:sans-serif;margin:2em auto;max-width:720px;color:#333}"
           "h1{font-size:1.3em;color:#0696f5}table{border-collapse:collapse;width:100%}"
           "td,th{padding:6px;border-bottom:1px solid #eaeaea;text-align:left}"
           ".note{color:#a00}.done{color:#2a7d2a}.desc{color:#666;white-space:pre-wrap}a{color:#"
           "0696f5}"
           "</style></head><body><h1>外部链接</h1>" +
           body + "</body></html>\n";
}

std::string cookieValue(const HttpRequest &req)
{
    std::string cookies = req.header("Cookie");
    std::string key = std::string(cookieName) + "=";
    size_t at = 0;
    while ((at = cookies.find(key, at)) != std::string::npos) {
        if (at == 0 || cookies[at - 1] == ' ' || cookies[at - 1] == ';') {
            size_t end = cookies.find(';', at);
            return cookies.substr(at + key.size(), end == std::string::npos
                                                       ? std::string::npos
                                                       : end - at - key.size());
        }
        at += key.size();
    }
    return std::string();
}

// Types a browser may show in place; nothing else can be previewed, and markup
// is shown as text so that no linked file runs in the server's origin.
std::string previewType(const std::string &ext)
{
    if (ext == "png")
        return "image/png";
    if (ext == "jpg" || ext == "jpeg")
        return "image/jpeg";
    if (ext == "gif")
        return "image/gif";
    if (ext == "pdf")
        return "application/pdf";
    if (ext == "txt" || ext == "md" || ext == "csv" || ext == "log" || ext == "sql" ||
        ext == "json" || ext == "xml" || ext == "html" || ext == "htm" || ext == "svg" ||
        ext == "cpp" || ext == "h" || ext == "c")
        return "text/plain; charset=utf-8";
    return std::string();
}

// Everything under /link/ is seen by people outside the company, in any
// browser: no scripts, nothing from elsewhere, no framing, no sniffing of
// types, and the link's address is not passed on to other sites.
void publicHeaders(HttpResponse &res)
{
    res.setHeader("Cache-Control", "no-store");
    res.setHeader("X-Content-Type-Options", "nosniff");
    res.setHeader("Referrer-Policy", "no-referrer");
    res.setHeader("Content-Security-Policy",
                  "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'; "
                  "form-action 'self'; base-uri 'none'; frame-ancestors 'none'");
}

int statusOf(const ServiceError &e)
{
    if (e.code == CodeNotFound)
        return 404;
    if (e.code == CodeForbidden)
        return 403;
    if (e.code == CodeTooMany)
        return 429;
    return 400;
}

} // namespace

LinkPage::LinkPage(LinkService &links, BlobStore &blobs) : links(links), blobs(blobs) {}

void LinkPage::install(HttpServer &http)
{
    http.route("GET", codePattern,
               FormExchange::route([this](const HttpRequest &req, FormParser &, bool,
                                          HttpResponse &res) { show(req, res); }));
    http.route("POST", codePattern,
               FormExchange::route([this](const HttpRequest &req, FormParser &form, bool ok,
                                          HttpResponse &res) { unlock(req, form, ok, res); }));
    http.route("GET", std::string(codePattern) + "/file/([0-9a-f]{16})",
               FormExchange::route([this](const HttpRequest &req, FormParser &form, bool,
                                          HttpResponse &res) { file(req, form, res); }));
    // Only an open link that allows uploads lets the file be stored; the
    // answer tells why when it does not.
    http.route("POST", std::string(codePattern) + "/upload",
               FormExchange::route([this](const HttpRequest &req, FormParser &form, bool ok,
                                          HttpResponse &res) { upload(req, form, ok, res); },
                                   &blobs,
                                   [this](const HttpRequest &req, const Fields &) {
                                       try {
                                           Link link = links.open(req.matches[1]);
                                           return unlocked(req, link) &&
                                                  LinkService::allows(link, '3');
                                       } catch (const ServiceError &) {
                                           return false;
                                       }
                                   }));
}

void LinkPage::answer(HttpResponse &res, int status, const std::string &html)
{
    res.status = status;
    publicHeaders(res);
    res.setContent(html, "text/html; charset=utf-8");
}

bool LinkPage::unlocked(const HttpRequest &req, const Link &link)
{
    return links.unlocked(link, cookieValue(req));
}

std::string LinkPage::listing(const Link &link, const std::string &note)
{
    std::string body;
    if (!note.empty())
        body += "<p class=\"done\">" + helpers::escapeMarkup(note) + "</p>";
    if (!link.description.empty())
        body += "<p class=\"desc\">" + helpers::escapeMarkup(link.description) + "</p>";
    bool preview = LinkService::allows(link, '1');
    bool download = LinkService::allows(link, '2');
    std::string base = "/link/" + link.code;
    body += "<table><tr><th>文件名</th><th>大小</th><th>修改时间</th><th></th></tr>";
    for (const Item &item : links.files(link)) {
        std::string size = helpers::sizeText(item.size);
        size.replace(size.find("&nbsp;"), 6, " ");
        body += "<tr><td>" + helpers::escapeMarkup(item.name) + "</td><td>" +
                helpers::escapeMarkup(size) + "</td><td>" + localDate(item.modifiedAt) +
                "</td><td>";
        if (preview && !previewType(helpers::extensionOf(item.name)).empty())
            body += "<a href=\"" + base + "/file/" + item.id + "?view=1\">预览</a> ";
        else if (preview && !download)
            body += "<span class=\"desc\">不支持预览</span>";
        if (download)
            body += "<a href=\"" + base + "/file/" + item.id + "\">下载</a>";
        body += "</td></tr>";
    }
    body += "</table>";
    if (LinkService::allows(link, '3') && links.uploadFolder(link))
        body += "<form method=\"post\" action=\"" + base +
                "/upload\" enctype=\"multipart/form-data\"><p>上传文件：<input type=\"file\" "
                "name=\"file\"> <button type=\"submit\">上传</button></p></form>";
    std::string limits = "有效期至 " + localDate(link.expiresAt - 1);
    if (link.maxVisit > 0)
        limits += "，已访问 " + std::to_string(link.visits) + " / " +
                  std::to_string(link.maxVisit) + " 次";
    body += "<p class=\"desc\">" + helpers::escapeMarkup(limits) + "</p>";
    return page(body);
}

namespace {

std::string passwordForm(const std::string &code, const std::string &note)
{
    std::string body;
    if (!note.empty())
        body += "<p class=\"note\">" + helpers::escapeMarkup(note) + "</p>";
    body += "<form method=\"post\" action=\"/link/" + code +
            "\"><p>访问密码：<input type=\"password\" name=\"pwd\" autofocus> "
            "<button type=\"submit\">访问</button></p></form>";
    return page(body);
}

} // namespace

void LinkPage::show(const HttpRequest &req, HttpResponse &res)
{
    std::string code = req.matches[1];
    try {
        Link link = links.open(code);
        if (!unlocked(req, link)) {
            answer(res, 200, passwordForm(code, std::string()));
            return;
        }
        links.visit(link);
        link.visits += 1;
        answer(res, 200, listing(link, std::string()));
    } catch (const ServiceError &e) {
        answer(res, statusOf(e),
               page("<p class=\"note\">" + helpers::escapeMarkup(e.what()) + "</p>"));
    }
}

void LinkPage::unlock(const HttpRequest &req, const FormParser &form, bool ok, HttpResponse &res)
{
    std::string code = req.matches[1];
    try {
        if (!ok)
            throw ServiceError(CodeBadInput, "请求数据无效");
        Link link = links.open(code);
        auto pwd = form.fields.find("pwd");
        if (!links.passwordMatches(link, pwd == form.fields.end() ? std::string() : pwd->second,
                                   req.remote)) {
            answer(res, 403, passwordForm(code, "密码错误"));
            return;
        }
        publicHeaders(res);
        // Over HTTPS the key never goes back over plain HTTP.
        res.setHeader("Set-Cookie", std::string(cookieName) + "=" + links.accessKey(link) +
                                        "; Path=/link/" + code + "; HttpOnly; SameSite=Strict" +
                                        (req.secure ? "; Secure" : ""));
        res.setRedirect("/link/" + code, 303);
    } catch (const ServiceError &e) {
        // Too many wrong passwords: the form stays, with the time to wait.
        if (e.code == CodeTooMany)
            answer(res, statusOf(e), passwordForm(code, e.what()));
        else
            answer(res, statusOf(e),
                   page("<p class=\"note\">" + helpers::escapeMarkup(e.what()) + "</p>"));
    }
}

void LinkPage::file(const HttpRequest &req, const FormParser &form, HttpResponse &res)
{
    std::string code = req.matches[1];
    std::string fileId = req.matches[2];
    try {
        Link link = links.open(code);
        if (!unlocked(req, link))
            throw ServiceError(CodeForbidden, "请先输入访问密码");
        auto viewField = form.fields.find("view");
        bool view = viewField != form.fields.end() && viewField->second == "1";
        // A preview-only link never hands out the file as a download, and a
        // file that cannot be shown in place is refused before it counts as
        // a visit.
        if (!view && !LinkService::allows(link, '2'))
            view = true;
        if (view && !LinkService::allows(link, '1'))
            throw ServiceError(CodeForbidden, "链接不允许预览");
        std::string type;
        if (view) {
            bool found = false;
            for (const Item &item : links.files(link))
                if (item.id == fileId) {
                    found = true;
                    type = previewType(helpers::extensionOf(item.name));
                }
            if (!found)
                throw ServiceError(CodeNotFound, "文件不存在");
            if (type.empty())
                throw ServiceError(CodeForbidden, "该文件不支持预览");
        }
        FileRef ref = links.download(link, fileId);
        publicHeaders(res);
        ApiServer::streamFile(res, ref, view, view ? type : std::string());
    } catch (const ServiceError &e) {
        answer(res, statusOf(e),
               page("<p class=\"note\">" + helpers::escapeMarkup(e.what()) + "</p>"));
    }
}

void LinkPage::upload(const HttpRequest &req, FormParser &form, bool ok, HttpResponse &res)
{
    std::string code = req.matches[1];
    try {
        Link link = links.open(code);
        if (!unlocked(req, link))
            throw ServiceError(CodeForbidden, "请先输入访问密码");
        if (!LinkService::allows(link, '3'))
            throw ServiceError(CodeForbidden, "链接不允许上传");
        if (form.diskFull()) {
            res.close = true;
            throw ServiceError(CodeServerError, "磁盘空间不足");
        }
        if (!ok || !form.file) {
            res.close = form.stoppedByGate;
            throw ServiceError(CodeBadInput, "没有上传文件");
        }
        std::string name = links.upload(link, form.fileName, *form.file);
        link.visits += 1;
        answer(res, 200, listing(link, "已上传：" + name));
    } catch (const ServiceError &e) {
        answer(res, statusOf(e),
               page("<p class=\"note\">" + helpers::escapeMarkup(e.what()) + "</p>"));
    }
}
