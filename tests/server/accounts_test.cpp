// Sign-in, tokens, the group tree, the user lists and avatars.

#include "apiclient.h"
#include "serverprocess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

using nlohmann::json;

class Accounts : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { server = std::make_unique<ServerProcess>(); }
    static void TearDownTestSuite() { server.reset(); }
    static std::unique_ptr<ServerProcess> server;
};
std::unique_ptr<ServerProcess> Accounts::server;

TEST_F(Accounts, LoginAnswersTheUserAndAToken)
{
    ApiClient c(server->port());
    json reply = c.login("zhangsan", "123456");
    ASSERT_EQ(reply["code"], 0);
    const json &data = reply["data"];
    EXPECT_EQ(data["username"], "zhangsan");
    EXPECT_EQ(data["nickname"], "张三");
    EXPECT_EQ(data["token"].get<std::string>().size(), 64u);
    EXPECT_TRUE(data["maxUploadNum"].is_number());
    EXPECT_EQ(data["thumb"], "/api/user/user-thumb.jf?userId=" + data["userId"].get<std::string>());
    EXPECT_EQ(data["userId"].get<std::string>().size(), 16u);

    // Two sign-ins give two different working tokens.
    ApiClient other(server->port());
    other.login("zhangsan", "123456");
    EXPECT_NE(other.token, c.token);
    EXPECT_EQ(c.call("/api/file/list-dir.jf")["code"], 0);
    EXPECT_EQ(other.call("/api/file/list-dir.jf")["code"], 0);
}

TEST_F(Accounts, WrongPasswordOrAccountIsRefusedWithTheSameMessage)
{
    ApiClient c(server->port());
    for (auto [account, password] : {std::pair<const char *, const char *>{"zhangsan", "654321"},
                                     {"nobody", "123456"},
                                     {"", ""},
                                     {"zhangsan", ""}}) {
        json reply = c.login(account, password);
        EXPECT_EQ(reply["code"], 1) << account;
        EXPECT_EQ(reply["msg"], "用户名或密码错误") << account;
        EXPECT_FALSE(reply.contains("data") && reply["data"].contains("token"));
    }
    // Account names are found whatever their case and surrounding blanks.
    EXPECT_EQ(c.login("  ZhangSan ", "123456")["code"], 0);
}

TEST_F(Accounts, WrongPasswordsMakeTheAccountWait)
{
    ApiClient c(server->port());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(c.login("wangwu", "guess")["msg"], "用户名或密码错误");
    // The right password is refused at once too, with a message the client
    // shows as it is; the account name's case changes nothing.
    json refused = c.login("WangWu", "123456");
    EXPECT_EQ(refused["code"], 7);
    EXPECT_EQ(refused["msg"], "尝试次数过多，请 1 秒后再试");
    // Other accounts from the same address go on.
    EXPECT_EQ(c.login("lisi", "123456")["code"], 0);
}

TEST_F(Accounts, AnUnknownAccountTakesAsLongAsAWrongPassword)
{
    // Each attempt runs the same password hash, known account or not; the
    // shortest of a few tries is the hash's own time.
    auto shortest = [&](const char *const names[3]) {
        double best = 1e9;
        for (int i = 0; i < 3; ++i) {
            ApiClient c(server->port());
            auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(c.login(names[i], "not-the-password")["code"], 1);
            best = std::min(best, std::chrono::duration<double, std::milli>(
                                      std::chrono::steady_clock::now() - start)
                                      .count());
        }
        return best;
    };
    const char *const unknown[3] = {"nobody1", "nobody2", "nobody3"};
    const char *const known[3] = {"zhaoliu", "lisi", "admin"};
    shortest(unknown); // the first unknown name also makes the stand-in hash
    double none = shortest(unknown), some = shortest(known);
    EXPECT_GT(none, some / 3) << none << " ms against " << some << " ms";
}

TEST_F(Accounts, UnknownTokenIsRefusedOnEveryPath)
{
    ApiClient c(server->port());
    c.token = "0123456789abcdef";
    for (const char *path : {"/api/file/list-dir.jf",
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
                             "/api/user/list-all-group.jf",
                             "/api/user/user-list.jf"}) {
        json reply = c.call(path, {{"parentId", "0"}});
        EXPECT_EQ(reply["code"], 2) << path;
        EXPECT_EQ(reply["msg"], "登录已失效，请重新登录") << path;
    }
    for (const char *path : {"/api/file/upload-docfile.jf", "/api/netdisk/upload.jf",
                             "/api/file/save-update-file.jf", "/api/netdisk/save-update-file.jf"}) {
        json reply = c.upload(path, {{"pid", "0"}, {"uploadType", "2"}}, "a.txt", "abc");
        EXPECT_EQ(reply["code"], 2) << path;
        EXPECT_EQ(reply["msg"], "登录已失效，请重新登录") << path;
    }
    c.token.clear();
    EXPECT_EQ(c.call("/api/file/list-dir.jf")["code"], 2);
}

TEST_F(Accounts, GroupTreeHasTheOrganisationOnTopAndNestedDepartments)
{
    ApiClient c(server->port());
    c.login("lisi", "123456");
    json reply = c.call("/api/user/list-all-group.jf");
    ASSERT_EQ(reply["code"], 0);
    std::map<std::string, json> byName;
    for (const json &g : reply["data"])
        byName[g["name"]] = g;
    ASSERT_TRUE(byName.count("组织架构"));
    EXPECT_EQ(byName["组织架构"]["id"], "9d27ffe38ca78490");
    EXPECT_EQ(byName["组织架构"]["parentId"], "-1");
    EXPECT_EQ(byName["研发中心"]["parentId"], "9d27ffe38ca78490");
    EXPECT_EQ(byName["前端组"]["parentId"], byName["研发中心"]["id"]);

    json members = c.call("/api/user/user-list.jf", {{"groupId", byName["前端组"]["id"]}});
    ASSERT_EQ(members["code"], 0);
    ASSERT_EQ(members["data"].size(), 1u);
    EXPECT_EQ(members["data"][0]["realname"], "张三");
    EXPECT_EQ(members["data"][0]["id"].get<std::string>().size(), 16u);

    json everybody = c.call("/api/user/user-list.jf", {{"groupId", "9d27ffe38ca78490"}});
    EXPECT_GE(everybody["data"].size(), 5u);
    EXPECT_NE(c.call("/api/user/user-list.jf", {{"groupId", "ffffffffffffffff"}})["code"], 0);
}

TEST_F(Accounts, ThumbIsAPngWithoutTokenAndUnknownUsersGetJson)
{
    ApiClient c(server->port());
    std::string id = c.login("admin", "admin123")["data"]["userId"];
    auto res = c.http.Get(("/api/user/user-thumb.jf?userId=" + id).c_str());
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "image/png");
    ASSERT_GT(res->body.size(), 100u);
    EXPECT_EQ(res->body.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    // Width and height are 64 in the IHDR chunk.
    EXPECT_EQ(static_cast<unsigned char>(res->body[19]), 64);
    // Drawn at the size asked for, within limits.
    for (auto [asked, side] : {std::pair<std::string, int>{"46", 46},
                               {"92", 92},
                               {"5000", 256},
                               {"abc", 64},
                               {"-3", 64}}) {
        auto sized =
            c.http.Get(("/api/user/user-thumb.jf?userId=" + id + "&size=" + asked).c_str());
        ASSERT_TRUE(sized);
        EXPECT_EQ(static_cast<unsigned char>(sized->body[18]) * 256 +
                      static_cast<unsigned char>(sized->body[19]),
                  side)
            << asked;
    }

    auto missing = c.http.Get("/api/user/user-thumb.jf?userId=1234");
    ASSERT_TRUE(missing);
    json body = json::parse(missing->body, nullptr, false);
    ASSERT_TRUE(body.is_object());
    EXPECT_NE(body["code"], 0);
}

TEST(AccountsSeed, SecondSeedOnTheSameFolderKeepsTheData)
{
    TempDir dir;
    std::string createdId;
    {
        ServerProcess first(true, dir.path());
        ApiClient c(first.port());
        c.login("zhangsan", "123456");
        createdId =
            c.call("/api/netdisk/save-fold.jf", {{"parentId", "0"}, {"name", "保留"}})["fileId"];
        ASSERT_EQ(createdId.size(), 16u);
        EXPECT_EQ(first.stop(), 0); // SIGTERM ends it cleanly
    }
    ServerProcess second(true, dir.path());
    ApiClient c(second.port());
    ASSERT_EQ(c.login("zhangsan", "123456")["code"], 0);
    EXPECT_EQ(c.find("0", "保留", true)["fileId"], createdId);
}
