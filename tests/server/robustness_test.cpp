// Hostile and broken input: missing or malformed fields, bad multipart bodies,
// unusable names and SQL metacharacters. Every answer must be an envelope and
// nothing may be stored half.

#include "apiclient.h"
#include "serverprocess.h"

#include <gtest/gtest.h>

#include <memory>

using nlohmann::json;

class Robustness : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        server = std::make_unique<ServerProcess>();
        c = std::make_unique<ApiClient>(server->port());
        ASSERT_EQ(c->login("zhangsan", "123456")["code"], 0);
        rd = c->find("0", "研发中心")["fileId"];
    }
    static void TearDownTestSuite()
    {
        c.reset();
        server.reset();
    }
    static std::unique_ptr<ServerProcess> server;
    static std::unique_ptr<ApiClient> c;
    static std::string rd;
};
std::unique_ptr<ServerProcess> Robustness::server;
std::unique_ptr<ApiClient> Robustness::c;
std::string Robustness::rd;

const char *const allPaths[] = {
    "/api/user/list-all-group.jf",
    "/api/user/user-list.jf",
    "/api/file/list-dir.jf",
    "/api/file/list-file.jf",
    "/api/file/rename.jf",
    "/api/file/delete.jf",
    "/api/file/md5.jf",
    "/api/file/download.jf",
    "/api/file/lock.jf",
    "/api/file/version-list.jf",
    "/api/file/version-download.jf",
    "/api/file/copy.jf",
    "/api/file/move.jf",
    "/api/file/save-fold.jf",
    "/api/netdisk/list-dir.jf",
    "/api/netdisk/list.jf",
    "/api/netdisk/delete.jf",
    "/api/netdisk/md5.jf",
    "/api/netdisk/download.jf",
    "/api/netdisk/save-fold.jf",
    "/api/netdisk/move.jf",
    "/api/netdisk/move-to-doc.jf",
    "/api/file/upload-docfile.jf",
    "/api/netdisk/upload.jf",
    "/api/file/save-update-file.jf",
    "/api/netdisk/save-update-file.jf",
    "/api/file/share.jf",
    "/api/netdisk/share.jf",
    "/api/file/publish.jf",
    "/api/file/auth.jf",
    "/api/file/link-add.jf",
    "/api/file/add-fav.jf",
    "/api/file/fav-cat-list.jf",
    "/api/file/search.jf",
    "/api/file/list-my-file.jf",
    "/api/file/my-fav-list.jf",
    "/api/file/my-publish-list.jf",
    "/api/file/my-share-list.jf",
    "/api/file/my-subscribe-list.jf",
    "/api/file/publish-to-me-list.jf",
    "/api/file/share-to-me-list.jf",
    "/api/netdisk/my-share-list.jf",
    "/api/netdisk/share-to-me-list.jf",
    "/api/sys/notice-list.jf",
    "/api/sys/notice-read.jf",
};

TEST_F(Robustness, MissingAndMalformedFieldsGetAnEnvelope)
{
    const ApiClient::Form forms[] = {
        {},
        {{"fileId", "../../etc/passwd"}, {"fileIds", ",,,"}, {"parentId", "%00"}},
        {{"fileId", std::string(100000, 'a')}, {"name", ""}, {"type", "9"}},
        {{"sourceIds", "0"}, {"targetId", "0"}, {"versionId", "-1"}, {"groupId", ""}},
        {{"fileIds", "-9"},
         {"userList", ",,U,G,UG"},
         {"authList", "A,,Z"},
         {"appRange", "x"},
         {"dayCountType", "3"},
         {"dayCount", "99999999999999999999"},
         {"limit", "99999999999"},
         {"type", "2"},
         {"id", "'"},
         {"catId", "%"},
         {"solrKeyword", std::string(5000, '"')}},
        {{"linkType", "2"},
         {"pwd", std::string(100000, 'p')},
         {"maxVisit", "1e9"},
         {"linkExpiry", "2026-13-45"},
         {"linkAuth", "1,2,3"},
         {"invalidate", "9999-99-99"},
         {"shareAuth", "V"},
         {"dayCountType", "4"},
         {"startTime", "x"},
         {"endTime", ""},
         {"solrKeyword", "部署"},
         {"solrStartTime", "2020-01-01"},
         {"solrEndTime", "1"}},
    };
    for (const char *path : allPaths)
        for (const auto &form : forms) {
            auto res = c->download(path, form);
            ASSERT_TRUE(res) << path;
            EXPECT_LT(res->status, 500) << path;
            json body = json::parse(res->body, nullptr, false);
            ASSERT_TRUE(body.is_object()) << path << " " << res->body.substr(0, 200);
            EXPECT_TRUE(body.contains("code")) << path;
            EXPECT_TRUE(body.contains("msg")) << path;
            if (body.value("code", 0) != 0) {
                EXPECT_FALSE(body["msg"].get<std::string>().empty()) << path;
            }
        }
    // A body that is not a form at all.
    auto res = c->http.Post("/api/file/list-file.jf",
                            "\xff\xfe{{{%%%&&&===", "application/x-www-form-urlencoded");
    ASSERT_TRUE(res);
    EXPECT_TRUE(json::parse(res->body, nullptr, false).is_object());
    // Unknown paths answer JSON too.
    auto unknown = c->http.Post("/api/file/nothing.jf", "a=b", "application/x-www-form-urlencoded");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);
    EXPECT_EQ(json::parse(unknown->body)["code"], 4);
}

TEST_F(Robustness, BadMultipartBodiesStoreNothing)
{
    size_t before = c->list(rd)["data"].size();
    const std::pair<std::string, std::string> bodies[] = {
        {"multipart/form-data; boundary=XYZ", "garbage without any boundary"},
        {"multipart/form-data",
         "--XYZ\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\nx\r\n"},
        {"multipart/form-data; boundary=XYZ",
         "--XYZ\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\n" + c->token +
             "\r\n--XYZ\r\nContent-Disposition: form-data; name=\"pid\"\r\n\r\n" + rd +
             "\r\n--XYZ\r\nContent-Disposition: form-data; name=\"file\"; "
             "filename=\"cut.txt\"\r\n\r\n"
             "the body ends before its closing boundary"},
        {"multipart/form-data; boundary=XYZ",
         "--XYZ\r\nContent-Disposition: form-data; name=\"token\"\r\n\r\n" + c->token +
             "\r\n--XYZ\r\nno headers at all\r\n--XYZ--\r\n"},
    };
    for (const auto &[type, body] : bodies) {
        auto res = c->http.Post("/api/file/upload-docfile.jf", body, type.c_str());
        ASSERT_TRUE(res) << body;
        json reply = json::parse(res->body, nullptr, false);
        ASSERT_TRUE(reply.is_object()) << res->body;
        EXPECT_NE(reply["code"], 0) << body;
    }
    // A form without a file part.
    json noFile = c->post("/api/file/upload-docfile.jf",
                          {{"token", c->token}, {"pid", rd}, {"uploadType", "2"}});
    EXPECT_EQ(noFile["code"], 3);
    EXPECT_EQ(c->list(rd)["data"].size(), before);
    EXPECT_TRUE(c->find(rd, "cut.txt").is_null());
}

TEST_F(Robustness, UnusableNamesAreRefusedEverywhere)
{
    const std::string names[] = {
        "a/b", "a\\b", "..",           ".",   "bad\x01name", "tab\tname", std::string(300, 'n'),
        "",    "   ",  "\xff\xfe.txt", "a:b", "end."};
    std::string csv = c->find(rd, "测试报告.csv")["fileId"];
    for (const std::string &name : names) {
        EXPECT_NE(c->call("/api/file/save-fold.jf", {{"parentId", rd}, {"name", name}})["code"], 0)
            << name;
        EXPECT_NE(c->call("/api/netdisk/save-fold.jf", {{"parentId", "0"}, {"name", name}})["code"],
                  0)
            << name;
        EXPECT_NE(c->call("/api/file/rename.jf", {{"fileId", csv}, {"name", name}})["code"], 0)
            << name;
        if (!name.empty()) {
            EXPECT_NE(c->upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}},
                                name, "x")["code"],
                      0)
                << name;
        }
    }
    EXPECT_TRUE(c->find(rd, "测试报告.csv").is_object());
    // 255 characters are still a name.
    std::string longest;
    for (int i = 0; i < 255; ++i)
        longest += "名";
    EXPECT_EQ(c->call("/api/netdisk/save-fold.jf", {{"parentId", "0"}, {"name", longest}})["code"],
              0);
}

TEST_F(Robustness, NamesThatCouldPassForOthersAreRefusedWithAClearMessage)
{
    // Right-to-left override, isolates, marks, zero-width characters, the
    // byte order mark and a C1 control, inside a name and at its ends.
    const std::string hidden[] = {"\xe2\x80\xae", "\xe2\x81\xa6", "\xe2\x81\xa9", "\xe2\x80\x8e",
                                  "\xe2\x80\x8f", "\xe2\x80\x8b", "\xe2\x80\x8d", "\xe2\x81\xa0",
                                  "\xef\xbb\xbf", "\xc2\x85",     "\xd8\x9c"};
    const std::string message = "名称不能包含不可见字符或文字方向控制字符";
    std::string csv = c->find(rd, "测试报告.csv")["fileId"];
    for (const std::string &h : hidden) {
        for (const std::string &name : {"报告" + h + "fdp.exe", h + "报告.txt", "报告.txt" + h}) {
            SCOPED_TRACE(name);
            for (json reply :
                 {c->call("/api/file/save-fold.jf", {{"parentId", rd}, {"name", name}}),
                  c->call("/api/netdisk/save-fold.jf", {{"parentId", "0"}, {"name", name}}),
                  c->call("/api/file/rename.jf", {{"fileId", csv}, {"name", name}}),
                  c->upload("/api/file/upload-docfile.jf", {{"pid", rd}, {"uploadType", "2"}}, name,
                            "x"),
                  c->upload("/api/netdisk/upload.jf", {{"pid", "0"}, {"uploadType", "2"}}, name,
                            "x")}) {
                EXPECT_EQ(reply["code"], 3);
                EXPECT_EQ(reply["msg"], message);
            }
        }
    }
    EXPECT_TRUE(c->find(rd, "测试报告.csv").is_object());
    // Visible characters of other scripts and marks stay usable.
    EXPECT_EQ(
        c->call("/api/netdisk/save-fold.jf", {{"parentId", "0"}, {"name", "שלום café"}})["code"],
        0);
}

TEST_F(Robustness, SqlMetacharactersAreJustText)
{
    const std::string evil[] = {"x'; DROP TABLE items; --", "' OR 1=1 --", "%' OR '%'='",
                                "名字'); DELETE FROM users; --"};
    for (const std::string &text : evil) {
        json made = c->call("/api/file/save-fold.jf", {{"parentId", rd}, {"name", text}});
        ASSERT_EQ(made["code"], 0) << text;
        EXPECT_EQ(c->find(rd, text)["fileId"], made["fileId"]);
        EXPECT_EQ(c->list(text)["code"], 4);
        EXPECT_EQ(c->call("/api/file/delete.jf", {{"fileIds", text}})["code"], 4);
        EXPECT_EQ(c->login(text, text)["code"], 1);
        c->login("zhangsan", "123456");
        json up =
            c->upload("/api/file/save-update-file.jf",
                      {{"fileId", text}, {"versionDesp", text}, {"isCreateFile", "1"}}, text, "x");
        EXPECT_EQ(up["code"], 4);
        EXPECT_EQ(c->call("/api/user/user-list.jf", {{"groupId", text}})["code"], 4);
    }
    // Everything is still there.
    EXPECT_EQ(c->login("admin", "admin123")["code"], 0);
    EXPECT_GE(c->call("/api/user/user-list.jf", {{"groupId", "9d27ffe38ca78490"}})["data"].size(),
              5u);
    c->login("zhangsan", "123456");
    EXPECT_TRUE(c->find(rd, "测试报告.csv").is_object());
}

TEST_F(Robustness, IdsThatDoNotExist)
{
    for (const char *id : {"ffffffffffffffff", "0000000000000000", "-1", "abc", "0"}) {
        EXPECT_NE(c->call("/api/file/md5.jf", {{"fileId", id}})["code"], 0) << id;
        EXPECT_NE(c->call("/api/file/rename.jf", {{"fileId", id}, {"name", "n"}})["code"], 0) << id;
        EXPECT_NE(c->call("/api/file/lock.jf", {{"fileId", id}, {"type", "1"}})["code"], 0) << id;
        EXPECT_NE(c->call("/api/file/version-list.jf", {{"fileId", id}})["code"], 0) << id;
        EXPECT_NE(c->call("/api/file/move.jf", {{"targetId", rd}, {"sourceIds", id}})["code"], 0)
            << id;
        EXPECT_NE(c->call("/api/file/copy.jf", {{"targetId", rd}, {"sourceIds", id}})["code"], 0)
            << id;
        EXPECT_NE(c->call("/api/file/save-fold.jf",
                          {{"parentId", std::string(id) + "1"}, {"name", "n"}})["code"],
                  0);
    }
    // One missing id refuses the whole delete; nothing is deleted.
    std::string csv = c->find(rd, "测试报告.csv")["fileId"];
    EXPECT_EQ(c->call("/api/file/delete.jf", {{"fileIds", csv + ",ffffffffffffffff"}})["code"], 4);
    EXPECT_TRUE(c->find(rd, "测试报告.csv").is_object());
}
