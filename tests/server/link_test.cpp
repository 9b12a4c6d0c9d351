// External links: creation rules, the HTML page with and without password,
// downloads, previews, uploads, the visit limit and expiry.

#include "apiclient.h"
#include "rawconnection.h"
#include "serverprocess.h"
#include "store/database.h"

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

using nlohmann::json;

namespace {

std::string dateIn(int days)
{
    time_t t = std::time(nullptr) + days * 24 * 3600;
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", std::localtime(&t));
    return text;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

// One demo server for the suite: every test makes its own links.
class Links : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { server = new ServerProcess(); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        zhang = std::make_unique<ApiClient>(server->port());
        ASSERT_EQ(zhang->login("zhangsan", "123456")["code"], 0);
        rd = zhang->idOf("0", "研发中心");
        design = zhang->idOf(rd, "设计文档");
        apiDoc = zhang->idOf(design, "接口说明.md");
        ASSERT_FALSE(apiDoc.empty());
    }
    json add(ApiClient::Form form)
    {
        form.emplace("linkType", "1");
        form.emplace("maxVisit", "0");
        form.emplace("pwd", "");
        form.emplace("linkExpiry", dateIn(7));
        form.emplace("desp", "");
        return zhang->call("/api/file/link-add.jf", form);
    }
    std::string url(ApiClient::Form form)
    {
        json reply = add(form);
        EXPECT_EQ(reply["code"], 0) << reply.dump();
        return reply.value("url", "");
    }

    static ServerProcess *server;
    std::unique_ptr<ApiClient> zhang;
    std::string rd, design, apiDoc;
};

ServerProcess *Links::server = nullptr;

TEST_F(Links, CreationChecksItsFields)
{
    EXPECT_EQ(add({{"fileIds", apiDoc}, {"linkAuth", ""}})["msg"], "请设定链接授权");
    EXPECT_EQ(
        add({{"fileIds", apiDoc}, {"linkAuth", "2"}, {"linkType", "2"}, {"pwd", "  "}})["msg"],
        "请填写授权密码");
    EXPECT_NE(add({{"fileIds", apiDoc}, {"linkAuth", "2"}, {"linkExpiry", dateIn(-1)}})["code"], 0);
    EXPECT_NE(add({{"fileIds", apiDoc}, {"linkAuth", "2"}, {"maxVisit", "-1"}})["code"], 0);
    EXPECT_NE(add({{"fileIds", apiDoc}, {"linkAuth", "4"}})["code"], 0);
    EXPECT_NE(add({{"fileIds", "0123456789abcdef"}, {"linkAuth", "2"}})["code"], 0);
    // Uploads need a folder; download needs the creator's right to download.
    EXPECT_NE(add({{"fileIds", apiDoc}, {"linkAuth", "3"}})["code"], 0);
    std::string rules = zhang->idOf("0", "公司制度");
    EXPECT_EQ(add({{"fileIds", rules}, {"linkAuth", "3"}})["code"], 5);
    // The address is a path on this server with a long random code.
    std::string path = url({{"fileIds", apiDoc + "," + design}, {"linkAuth", "3,1,2,1"}});
    ASSERT_EQ(path.rfind("/link/", 0), 0u);
    EXPECT_EQ(path.size(), 6u + 32u);
    Database db(server->dataDir() + "/folvane.db");
    Statement q = db.prepare("SELECT rights FROM links WHERE code = ?");
    q.bind(1, path.substr(6));
    ASSERT_TRUE(q.step());
    EXPECT_EQ(q.text(0), "1,2,3");
}

TEST_F(Links, AnonymousLinkListsAndDownloads)
{
    const std::string desp = "<script>alert('x')</script> & 说明";
    std::string path = url({{"fileIds", apiDoc}, {"linkAuth", "2"}, {"desp", desp}});
    httplib::Client browser("127.0.0.1", server->port());
    auto page = browser.Get(path.c_str());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_TRUE(contains(page->get_header_value("Content-Type"), "text/html"));
    EXPECT_TRUE(contains(page->body, "接口说明.md"));
    EXPECT_TRUE(contains(page->body, "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; 说明"));
    EXPECT_FALSE(contains(page->body, "<script>"));
    std::string file = path + "/file/" + apiDoc;
    EXPECT_TRUE(contains(page->body, "href=\"" + file + "\""));
    EXPECT_FALSE(contains(page->body, "?view=1")); // no preview right

    auto body = browser.Get(file.c_str());
    ASSERT_TRUE(body);
    EXPECT_EQ(body->status, 200);
    EXPECT_EQ(body->body, zhang->download("/api/file/download.jf", {{"fileIds", apiDoc}})->body);
    EXPECT_TRUE(contains(body->get_header_value("Content-Disposition"), "attachment"));
    EXPECT_EQ(browser.Get((file + "?view=1").c_str())->status, 403);
    // Files outside the link are not reachable through it.
    std::string other = zhang->idOf(design, "架构图.png");
    EXPECT_EQ(browser.Get((path + "/file/" + other).c_str())->status, 404);
    EXPECT_EQ(browser.Get("/link/0123456789abcdef0123456789abcdef")->status, 404);
}

TEST_F(Links, PublicHeadersAndFilesThatCannotBePreviewed)
{
    std::string docx = zhang->idOf(design, "需求说明.docx");
    std::string path = url({{"fileIds", apiDoc + "," + docx}, {"linkAuth", "1"}});
    httplib::Client browser("127.0.0.1", server->port());
    auto page = browser.Get(path.c_str());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    auto isPublic = [](const httplib::Result &r) {
        return contains(r->get_header_value("Content-Security-Policy"), "default-src 'none'") &&
               contains(r->get_header_value("Content-Security-Policy"), "frame-ancestors 'none'") &&
               r->get_header_value("X-Content-Type-Options") == "nosniff" &&
               r->get_header_value("Referrer-Policy") == "no-referrer";
    };
    EXPECT_TRUE(isPublic(page));
    EXPECT_TRUE(contains(page->body, "不支持预览"));
    EXPECT_FALSE(contains(page->body, docx + "?view=1"));

    // A preview-only link hands out the .docx neither as a download nor in place.
    for (const std::string &suffix : {std::string(), std::string("?view=1")}) {
        auto refused = browser.Get((path + "/file/" + docx + suffix).c_str());
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->status, 403);
        EXPECT_TRUE(contains(refused->body, "该文件不支持预览"));
        EXPECT_TRUE(refused->get_header_value("Content-Disposition").empty());
        EXPECT_TRUE(isPublic(refused));
    }
    auto shown = browser.Get((path + "/file/" + apiDoc).c_str());
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->status, 200);
    EXPECT_TRUE(contains(shown->get_header_value("Content-Type"), "text/plain"));
    EXPECT_EQ(shown->get_header_value("Content-Disposition").rfind("inline; ", 0), 0u);
    EXPECT_TRUE(isPublic(shown));

    // The name as RFC 6266 has it, read byte for byte (a client library
    // would decode it).
    std::string download = url({{"fileIds", docx}, {"linkAuth", "2"}});
    RawConnection raw(server->port());
    ASSERT_TRUE(raw.send("GET " + download + "/file/" + docx +
                         " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"));
    std::string head, body;
    ASSERT_TRUE(raw.readResponse(head, body));
    EXPECT_TRUE(contains(head, " 200 "));
    EXPECT_TRUE(contains(head, "\r\nContent-Disposition: attachment; filename=\"____.docx\"; "
                               "filename*=UTF-8''%E9%9C%80%E6%B1%82%E8%AF%B4%E6%98%8E.docx\r\n"))
        << head;
    EXPECT_TRUE(contains(head, "\r\nReferrer-Policy: no-referrer\r\n"));
}

TEST_F(Links, PasswordLinkAsksFirstAndKeepsOnlyAHash)
{
    const std::string password = "p'; DROP TABLE links;--<x>";
    std::string path =
        url({{"fileIds", design}, {"linkAuth", "1,2"}, {"linkType", "2"}, {"pwd", password}});
    std::string code = path.substr(6);
    httplib::Client browser("127.0.0.1", server->port());
    auto form = browser.Get(path.c_str());
    ASSERT_TRUE(form);
    EXPECT_EQ(form->status, 200);
    EXPECT_TRUE(contains(form->body, "type=\"password\""));
    EXPECT_FALSE(contains(form->body, "接口说明.md"));
    EXPECT_EQ(browser.Get((path + "/file/" + apiDoc).c_str())->status, 403);

    auto wrong = browser.Post(path.c_str(), httplib::Params{{"pwd", "nope"}});
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 403);
    EXPECT_TRUE(contains(wrong->body, "密码错误"));
    EXPECT_TRUE(wrong->get_header_value("Set-Cookie").empty());

    auto right = browser.Post(path.c_str(), httplib::Params{{"pwd", password}});
    ASSERT_TRUE(right);
    EXPECT_EQ(right->status, 303);
    EXPECT_EQ(right->get_header_value("Referrer-Policy"), "no-referrer");
    std::string cookie = right->get_header_value("Set-Cookie");
    ASSERT_FALSE(cookie.empty());
    EXPECT_TRUE(contains(cookie, "HttpOnly"));
    EXPECT_FALSE(contains(cookie, "Secure")) << "plain HTTP could not send it back";
    cookie = cookie.substr(0, cookie.find(';'));
    httplib::Headers headers{{"Cookie", cookie}};
    auto page = browser.Get(path.c_str(), headers);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_TRUE(contains(page->body, "接口说明.md")); // the folder's files
    auto preview = browser.Get((path + "/file/" + apiDoc + "?view=1").c_str(), headers);
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->status, 200);
    EXPECT_TRUE(contains(preview->get_header_value("Content-Type"), "text/plain"));
    EXPECT_TRUE(contains(preview->get_header_value("Content-Disposition"), "inline"));
    // A made-up cookie opens nothing.
    httplib::Headers forged{{"Cookie", "folvane_link=" + std::string(64, 'a')}};
    EXPECT_FALSE(contains(browser.Get(path.c_str(), forged)->body, "接口说明.md"));

    Database db(server->dataDir() + "/folvane.db");
    Statement q = db.prepare("SELECT password_hash FROM links WHERE code = ?");
    q.bind(1, code);
    ASSERT_TRUE(q.step());
    EXPECT_FALSE(contains(q.text(0), password));
    EXPECT_EQ(q.text(0).rfind("$argon2", 0), 0u);
}

TEST_F(Links, VisitLimitAndExpiry)
{
    std::string path = url({{"fileIds", apiDoc}, {"linkAuth", "1,2"}, {"maxVisit", "3"}});
    httplib::Client browser("127.0.0.1", server->port());
    EXPECT_EQ(browser.Get(path.c_str())->status, 200);
    EXPECT_EQ(browser.Get((path + "/file/" + apiDoc).c_str())->status, 200);
    auto third = browser.Get(path.c_str());
    EXPECT_EQ(third->status, 200);
    EXPECT_TRUE(contains(third->body, "3 / 3"));
    auto used = browser.Get(path.c_str());
    EXPECT_EQ(used->status, 403);
    EXPECT_TRUE(contains(used->body, "访问次数已用完"));
    EXPECT_EQ(browser.Get((path + "/file/" + apiDoc).c_str())->status, 403);

    std::string later = url({{"fileIds", apiDoc}, {"linkAuth", "2"}});
    EXPECT_EQ(browser.Get(later.c_str())->status, 200);
    {
        Database db(server->dataDir() + "/folvane.db");
        Statement q = db.prepare("UPDATE links SET expires_at = 1000 WHERE code = ?");
        q.bind(1, later.substr(6));
        q.run();
    }
    auto expired = browser.Get(later.c_str());
    EXPECT_EQ(expired->status, 403);
    EXPECT_TRUE(contains(expired->body, "链接已过期"));
    EXPECT_EQ(browser.Get((later + "/file/" + apiDoc).c_str())->status, 403);
}

TEST_F(Links, UploadIntoTheLinkedFolder)
{
    std::string drop =
        zhang->call("/api/file/save-fold.jf", {{"parentId", rd}, {"name", "收件箱"}})["fileId"];
    std::string path = url({{"fileIds", drop}, {"linkAuth", "3"}});
    httplib::Client browser("127.0.0.1", server->port());
    auto page = browser.Get(path.c_str());
    ASSERT_TRUE(page);
    EXPECT_TRUE(contains(page->body, "multipart/form-data"));
    httplib::MultipartFormDataItems items{
        {"file", "外部上传的内容\n", "来自外部.txt", "text/plain"}};
    for (int i = 0; i < 2; ++i) {
        auto sent = browser.Post((path + "/upload").c_str(), items);
        ASSERT_TRUE(sent);
        EXPECT_EQ(sent->status, 200);
    }
    // Never a new version of an existing file: the second gets a free name.
    json first = zhang->find(drop, "来自外部.txt");
    ASSERT_TRUE(first.is_object());
    EXPECT_EQ(first["version"], 1);
    EXPECT_TRUE(zhang->find(drop, "来自外部(2).txt").is_object());
    EXPECT_EQ(zhang->download("/api/file/download.jf", {{"fileIds", first["fileId"]}})->body,
              "外部上传的内容\n");
    // A name that tries to leave the folder is refused.
    httplib::MultipartFormDataItems hostile{{"file", "x", "../../etc/passwd", "text/plain"}};
    EXPECT_NE(browser.Post((path + "/upload").c_str(), hostile)->status, 200);
    // So is one that would show reversed ("来自外部\u202Etxt.exe").
    httplib::MultipartFormDataItems spoof{
        {"file", "x", "来自外部\xe2\x80\xaetxt.exe", "application/octet-stream"}};
    auto spoofed = browser.Post((path + "/upload").c_str(), spoof);
    EXPECT_EQ(spoofed->status, 400);
    EXPECT_TRUE(contains(spoofed->body, "不可见字符"));
    EXPECT_EQ(zhang->list(drop)["data"].size(), 2u);
    // A download-only link takes no uploads.
    std::string readOnly = url({{"fileIds", drop}, {"linkAuth", "2"}});
    EXPECT_EQ(browser.Post((readOnly + "/upload").c_str(), items)->status, 403);
}

TEST_F(Links, WrongPasswordsMakeTheLinkWait)
{
    std::string path =
        url({{"fileIds", design}, {"linkAuth", "1"}, {"linkType", "2"}, {"pwd", "secret"}});
    httplib::Client browser("127.0.0.1", server->port());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(browser.Post(path.c_str(), httplib::Params{{"pwd", "guess"}})->status, 403);
    // Even the right password waits now; the form says for how long.
    auto refused = browser.Post(path.c_str(), httplib::Params{{"pwd", "secret"}});
    EXPECT_EQ(refused->status, 429);
    EXPECT_TRUE(contains(refused->body, "尝试次数过多，请 1 秒后再试"));
    EXPECT_TRUE(contains(refused->body, "type=\"password\""));
    EXPECT_TRUE(refused->get_header_value("Set-Cookie").empty());
    // Another link is not held up.
    std::string other =
        url({{"fileIds", design}, {"linkAuth", "1"}, {"linkType", "2"}, {"pwd", "secret"}});
    EXPECT_EQ(browser.Post(other.c_str(), httplib::Params{{"pwd", "secret"}})->status, 303);
}

TEST_F(Links, ShowsOnlyWhatTheCreatorMaySee)
{
    // zhaoliu may download from 市场部 itself but sees none of its files.
    ApiClient admin(server->port()), wang(server->port()), zhao(server->port());
    admin.login("admin", "admin123");
    wang.login("wangwu", "123456");
    zhao.login("zhaoliu", "123456");
    std::string market = wang.idOf("0", "市场部");
    std::string brochure = wang.idOf(market, "宣传册.pdf");
    ASSERT_EQ(admin.call("/api/file/auth.jf", {{"fileIds", market},
                                               {"userList", "U" + zhao.userId},
                                               {"authList", "A,V,D"},
                                               {"appRange", "4"}})["code"],
              0);
    json made = zhao.call("/api/file/link-add.jf", {{"fileIds", market},
                                                    {"linkType", "1"},
                                                    {"maxVisit", "0"},
                                                    {"pwd", ""},
                                                    {"linkAuth", "2"},
                                                    {"linkExpiry", dateIn(1)},
                                                    {"desp", ""}});
    ASSERT_EQ(made["code"], 0) << made.dump();
    std::string path = made["url"];
    httplib::Client browser("127.0.0.1", server->port());
    auto page = browser.Get(path.c_str());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_FALSE(contains(page->body, "宣传册.pdf"));
    EXPECT_EQ(browser.Get((path + "/file/" + brochure).c_str())->status, 404);
}
