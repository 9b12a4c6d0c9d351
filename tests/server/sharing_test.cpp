// Shares, net disk shares, publications and permissions: the rights they give
// show in the listings and checks at once, reach group members, end at expiry
// and leave nothing behind when a request is refused.

#include "apiclient.h"
#include "serverprocess.h"
#include "store/database.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>

using nlohmann::json;

namespace {

std::string localTime(time_t t, const char *format = "%Y-%m-%d %H:%M:%S")
{
    char text[32];
    std::strftime(text, sizeof text, format, std::localtime(&t));
    return text;
}

std::string dateIn(int days)
{
    return localTime(std::time(nullptr) + days * 24 * 3600, "%Y-%m-%d");
}

int64_t nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string groupId(ApiClient &c, const std::string &name)
{
    json groups = c.call("/api/user/list-all-group.jf")["data"];
    for (const json &g : groups)
        if (g["name"] == name)
            return g["id"];
    return std::string();
}

bool listed(const json &reply, const std::string &id)
{
    for (const json &e : reply["data"])
        if (e["fileId"] == id)
            return true;
    return false;
}

bool removed(const json &reply, const std::string &id)
{
    for (const json &e : reply["removes"])
        if (e["fileId"] == id)
            return true;
    return false;
}

} // namespace

// A fresh demo server per test: every test hands out rights.
class Sharing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = std::make_unique<ServerProcess>();
        for (auto *c : {&zhang, &lisi, &wang, &zhao, &admin})
            c->reset(new ApiClient(server->port()));
        ASSERT_EQ(zhang->login("zhangsan", "123456")["code"], 0);
        ASSERT_EQ(lisi->login("lisi", "123456")["code"], 0);
        ASSERT_EQ(wang->login("wangwu", "123456")["code"], 0);
        ASSERT_EQ(zhao->login("zhaoliu", "123456")["code"], 0);
        ASSERT_EQ(admin->login("admin", "admin123")["code"], 0);
        market = wang->idOf("0", "市场部");
        brochure = wang->idOf(market, "宣传册.pdf");
        customers = wang->idOf(market, "客户名单.xlsx");
        ASSERT_FALSE(brochure.empty());
        ASSERT_FALSE(customers.empty());
    }

    // Moves the given grants (and their shares) into the past, as if the
    // time had passed: created ten minutes ago, ending a moment ago.
    void age(const char *source, bool expire)
    {
        Database db(server->dataDir() + "/folvane.db");
        std::string before = std::to_string(nowMs() - 600000);
        db.exec(("UPDATE grants SET created_at = " + before + " WHERE source = '" + source + "'")
                    .c_str());
        db.exec(("UPDATE shares SET created_at = " + before + ", starts_at = " + before +
                 " WHERE kind = '" + source + "'")
                    .c_str());
        if (expire) {
            std::string end = std::to_string(nowMs() - 1);
            db.exec(("UPDATE grants SET expires_at = " + end + " WHERE source = '" + source + "'")
                        .c_str());
            db.exec(("UPDATE shares SET expires_at = " + end + " WHERE kind = '" + source + "'")
                        .c_str());
        }
    }

    // A file in 市场部 that only wangwu (and the administrator) can see.
    std::string quote()
    {
        json made =
            wang->upload("/api/file/upload-docfile.jf", {{"pid", market}, {"uploadType", "2"}},
                         "报价单.txt", "报价：100元\n");
        return made["fileId"];
    }

    json md5(ApiClient &c, const std::string &id)
    {
        return c.call("/api/file/md5.jf", {{"fileId", id}});
    }

    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<ApiClient> zhang, lisi, wang, zhao, admin;
    std::string market, brochure, customers;
};

TEST_F(Sharing, ShareGivesRightsAndFillsBothSides)
{
    std::string brochure = quote();
    ASSERT_EQ(md5(*zhao, brochure)["code"], 5);
    const std::string memo = "请看'); DROP TABLE shares;-- <b>新版</b> & \"宣传\"";
    json reply = wang->call("/api/file/share.jf", {{"fileIds", brochure},
                                                   {"userList", "U" + zhao->userId},
                                                   {"authList", "A,V,D"},
                                                   {"memo", "  " + memo + "  "}});
    ASSERT_EQ(reply["code"], 0) << reply.dump();

    // zhaoliu: preview and download, nothing more.
    EXPECT_EQ(md5(*zhao, brochure)["code"], 0);
    EXPECT_EQ(zhao->call("/api/file/delete.jf", {{"fileIds", brochure}})["code"], 5);
    json shared = zhao->list("-9");
    ASSERT_TRUE(listed(shared, brochure));
    for (const json &e : shared["data"]) {
        if (e["fileId"] == brochure) {
            EXPECT_EQ(e["authList"], "A,V,D");
        }
    }
    json toMe = zhao->call("/api/file/share-to-me-list.jf")["data"];
    bool found = false;
    for (const json &rec : toMe) {
        if (rec["files"][0]["fileId"] != brochure)
            continue;
        found = true;
        EXPECT_EQ(rec["userName"], "王五");
        EXPECT_EQ(rec["userId"], wang->userId);
        EXPECT_EQ(rec["memo"], memo); // stored and returned as plain text
        EXPECT_EQ(rec["recs"][0]["name"], "赵六");
        EXPECT_TRUE(rec["time"].is_number_integer());
    }
    EXPECT_TRUE(found);

    // wangwu sees it among what he shared; others gain nothing.
    EXPECT_TRUE(listed(wang->list("-8"), brochure));
    json mine = wang->call("/api/file/my-share-list.jf")["data"];
    ASSERT_FALSE(mine.empty());
    EXPECT_EQ(mine[0]["files"][0]["fileName"], "报价单.txt");
    EXPECT_EQ(mine[0]["recs"][0]["name"], "赵六");
    EXPECT_EQ(md5(*lisi, brochure)["code"], 5);
    EXPECT_FALSE(listed(lisi->list("-9"), brochure));

    // Nobody hands on a right he lacks: zhaoliu may not pass on deletion.
    json onward = zhao->call("/api/file/share.jf", {{"fileIds", brochure},
                                                    {"userList", "U" + lisi->userId},
                                                    {"authList", "A,V,D,R"},
                                                    {"memo", ""}});
    EXPECT_EQ(onward["code"], 5);
}

TEST_F(Sharing, GroupGrantReachesSubgroupMembersOnly)
{
    std::string customers = quote();
    std::string rd = groupId(*zhang, "研发中心");
    ASSERT_FALSE(rd.empty());
    ASSERT_EQ(md5(*zhang, customers)["code"], 5);
    ASSERT_EQ(wang->call("/api/file/share.jf", {{"fileIds", customers},
                                                {"userList", "G" + rd},
                                                {"authList", "A,V,D"},
                                                {"memo", ""}})["code"],
              0);
    // zhangsan is in 前端组, a subgroup of 研发中心.
    EXPECT_EQ(md5(*zhang, customers)["code"], 0);
    auto body = zhang->download("/api/file/download.jf", {{"fileIds", customers}});
    ASSERT_TRUE(body);
    EXPECT_EQ(body->status, 200);
    EXPECT_EQ(body->body, "报价：100元\n");
    EXPECT_TRUE(listed(zhang->list("-9"), customers));
    EXPECT_EQ(md5(*zhao, customers)["code"], 5);
}

TEST_F(Sharing, ARefusedRequestStoresNothing)
{
    std::string brochure = quote();
    json before = wang->call("/api/file/my-share-list.jf")["data"];
    // One unknown recipient among good ones.
    json bad =
        wang->call("/api/file/share.jf", {{"fileIds", brochure},
                                          {"userList", "U" + zhao->userId + ",U0123456789abcdef"},
                                          {"authList", "A,V,D"},
                                          {"memo", ""}});
    EXPECT_NE(bad["code"], 0);
    EXPECT_NE(bad["msg"].get<std::string>().find("不存在"), std::string::npos);
    // One unknown item among good ones.
    bad = wang->call("/api/file/share.jf", {{"fileIds", brochure + ",0123456789abcdef"},
                                            {"userList", "U" + zhao->userId},
                                            {"authList", "A,V,D"},
                                            {"memo", ""}});
    EXPECT_NE(bad["code"], 0);
    // Recipients in a form of no kind, and none at all.
    for (const char *list : {"X123", "U'; DROP TABLE users;--", ""})
        EXPECT_NE(
            wang->call("/api/file/share.jf",
                       {{"fileIds", brochure}, {"userList", list}, {"authList", "A,V,D"}})["code"],
            0);
    EXPECT_EQ(md5(*zhao, brochure)["code"], 5);
    EXPECT_EQ(wang->call("/api/file/my-share-list.jf")["data"], before);
    EXPECT_TRUE(zhao->list("-9")["data"].is_array());
    EXPECT_FALSE(listed(zhao->list("-9"), brochure));

    // Publishing and permissions need full control of every item.
    std::string rules = zhang->idOf("0", "公司制度");
    std::string handbook = zhang->idOf(rules, "员工手册.docx");
    EXPECT_EQ(zhang->call("/api/file/publish.jf", {{"fileIds", handbook},
                                                   {"userList", "U" + lisi->userId},
                                                   {"authList", "A,V"},
                                                   {"dayCountType", "1"}})["code"],
              5);
    EXPECT_EQ(zhang->call("/api/file/auth.jf", {{"fileIds", handbook},
                                                {"userList", "U" + lisi->userId},
                                                {"authList", "A,E"},
                                                {"appRange", "1"}})["code"],
              5);
}

TEST_F(Sharing, PublicationLastsItsPeriodAndListsChanges)
{
    time_t start = std::time(nullptr) - 1;
    json full = zhao->call("/api/file/list-dir.jf");
    ASSERT_FALSE(listed(full, market));

    // Period checks come first.
    auto publish = [&](json::object_t extra) {
        ApiClient::Form form{
            {"fileIds", market}, {"userList", "U" + zhao->userId}, {"authList", "A,V"}};
        for (const auto &[k, v] : extra)
            form[k] = v.get<std::string>();
        return wang->call("/api/file/publish.jf", form);
    };
    EXPECT_EQ(publish({{"dayCountType", "3"}, {"dayCount", "0"}})["msg"], "自定义天数要大于0");
    EXPECT_NE(
        publish({{"dayCountType", "4"}, {"startTime", dateIn(1)}, {"endTime", dateIn(1)}})["code"],
        0);
    EXPECT_NE(publish({{"dayCountType", "9"}})["code"], 0);
    EXPECT_NE(publish({{"dayCountType", "1"}, {"authList", ""}})["code"], 0);
    ASSERT_EQ(publish({{"dayCountType", "3"}, {"dayCount", " 2 "}})["code"], 0);

    // The folder and its files are visible at once, and the incremental
    // folder list reports the folder although it did not change itself.
    EXPECT_TRUE(listed(zhao->call("/api/file/list-dir.jf"), market));
    json since = zhao->call("/api/file/list-dir.jf", {{"date", localTime(start)}});
    EXPECT_TRUE(listed(since, market));
    json files = zhao->list(market);
    ASSERT_EQ(files["code"], 0);
    ASSERT_EQ(files["data"].size(), 2u);
    EXPECT_EQ(files["data"][0]["authList"], "A,V");
    EXPECT_EQ(md5(*zhao, customers)["code"], 0);
    json toMe = zhao->call("/api/file/publish-to-me-list.jf")["data"];
    bool found = false;
    for (const json &rec : toMe)
        found = found || (rec["files"][0]["fileId"] == market && rec["creatorName"] == "王五" &&
                          rec["creatorId"] == wang->userId);
    EXPECT_TRUE(found);
    json mine = wang->call("/api/file/my-publish-list.jf")["data"];
    ASSERT_EQ(mine.size(), 2u); // with the demo publication
    EXPECT_EQ(mine[0]["recs"][0]["name"], "赵六");

    // The period ends: the rights go, the lists drop it, and the folder list
    // since a moment before the end names the folder as removed.
    age("publish", false);
    time_t beforeEnd = std::time(nullptr);
    age("publish", true);
    json after = zhao->call("/api/file/list-dir.jf", {{"date", localTime(beforeEnd)}});
    EXPECT_TRUE(removed(after, market)) << after.dump();
    EXPECT_FALSE(listed(after, market));
    EXPECT_FALSE(listed(zhao->call("/api/file/list-dir.jf"), market));
    EXPECT_EQ(md5(*zhao, customers)["code"], 5);
    EXPECT_EQ(zhao->list(market)["code"], 5);
    EXPECT_TRUE(zhao->call("/api/file/publish-to-me-list.jf")["data"].empty());
    EXPECT_TRUE(wang->call("/api/file/my-publish-list.jf")["data"].empty());
}

TEST_F(Sharing, PermissionsFollowTheirScopeAndReplaceEachOther)
{
    auto grant = [&](const std::string &letters, const std::string &range) {
        return admin->call("/api/file/auth.jf", {{"fileIds", market},
                                                 {"userList", "U" + zhao->userId},
                                                 {"authList", letters},
                                                 {"appRange", range}});
    };
    EXPECT_NE(grant("A,V", "8")["code"], 0);
    EXPECT_NE(grant("A,Q", "1")["code"], 0);
    EXPECT_NE(grant("", "1")["code"], 0);

    // "只有该文件夹": the folder shows, its files do not.
    ASSERT_EQ(grant("A,V", "4")["code"], 0);
    json top = zhao->find("0", "市场部");
    ASSERT_TRUE(top.is_object());
    EXPECT_EQ(top["authList"], "A,V");
    EXPECT_TRUE(zhao->list(market)["data"].empty());
    EXPECT_EQ(md5(*zhao, customers)["code"], 5);

    // A new permission replaces the old one: files now, with download.
    ASSERT_EQ(grant("A,V,D", "3")["code"], 0);
    EXPECT_EQ(zhao->find("0", "市场部")["authList"], "A,V,D");
    json files = zhao->list(market)["data"];
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["authList"], "A,V,D");
    EXPECT_EQ(md5(*zhao, customers)["code"], 0);

    // "只有文件" no longer covers the folder itself: it leaves the tree.
    age("auth", false);
    time_t before = std::time(nullptr);
    ASSERT_EQ(grant("A,V,D", "7")["code"], 0);
    EXPECT_TRUE(zhao->find("0", "市场部").is_null());
    EXPECT_EQ(md5(*zhao, customers)["code"], 0);
    json since = zhao->call("/api/file/list-dir.jf", {{"date", localTime(before)}});
    EXPECT_TRUE(removed(since, market)) << since.dump();

    // A group grant reaches the members of its subgroups.
    std::string rd = groupId(*admin, "研发中心");
    ASSERT_EQ(admin->call("/api/file/auth.jf", {{"fileIds", market},
                                                {"userList", "G" + rd},
                                                {"authList", "A,V,D,C"},
                                                {"appRange", "1"}})["code"],
              0);
    EXPECT_EQ(lisi->find("0", "市场部")["authList"], "A,C,V,D");
    EXPECT_EQ(lisi->upload("/api/file/upload-docfile.jf", {{"pid", market}, {"uploadType", "2"}},
                           "周报.txt", "本周")["code"],
              0);
    EXPECT_TRUE(zhao->find("0", "市场部").is_null());
}

TEST_F(Sharing, NetDiskShareReachesRecipientUntilItsDay)
{
    std::string photos = zhang->idOf("0", "照片", true);
    std::string picture = zhang->idOf(photos, "风景.png", true);
    ASSERT_FALSE(picture.empty());
    auto share = [&](const std::string &day) {
        return zhang->call("/api/netdisk/share.jf", {{"fileIds", picture},
                                                     {"userList", "U" + lisi->userId},
                                                     {"shareAuth", "V,D"},
                                                     {"invalidate", day},
                                                     {"memo", "风景"}});
    };
    EXPECT_NE(share(dateIn(-1))["code"], 0);
    EXPECT_NE(zhang->call("/api/netdisk/share.jf", {{"fileIds", picture},
                                                    {"userList", "U" + lisi->userId},
                                                    {"shareAuth", "R"},
                                                    {"invalidate", dateIn(7)}})["code"],
              0);
    // Another user's net disk item cannot be shared.
    std::string lisiTodo = lisi->idOf("0", "待办.txt", true);
    EXPECT_EQ(zhang->call("/api/netdisk/share.jf", {{"fileIds", lisiTodo},
                                                    {"userList", "U" + wang->userId},
                                                    {"shareAuth", "V"},
                                                    {"invalidate", dateIn(7)}})["code"],
              4);
    ASSERT_EQ(share(dateIn(0))["code"], 0); // today is the last day

    EXPECT_TRUE(listed(lisi->list("-9"), picture));
    auto body = lisi->download("/api/file/download.jf", {{"fileIds", picture}});
    ASSERT_TRUE(body);
    EXPECT_EQ(body->body,
              zhang->download("/api/netdisk/download.jf", {{"fileIds", picture}})->body);
    EXPECT_EQ(md5(*lisi, picture)["code"], 0);
    // Not the folder around it, and not for anybody else.
    EXPECT_EQ(lisi->list(photos)["code"], 4);
    EXPECT_EQ(
        wang->download("/api/file/download.jf", {{"fileIds", picture}})->body.find("\"code\":4") !=
            std::string::npos,
        true);
    json toMe = lisi->call("/api/netdisk/share-to-me-list.jf")["data"];
    bool found = false;
    for (const json &rec : toMe)
        found = found || (rec["files"][0]["fileId"] == picture && rec["creatorName"] == "张三" &&
                          rec["userId"] == zhang->userId);
    EXPECT_TRUE(found);
    json mine = zhang->call("/api/netdisk/my-share-list.jf")["data"];
    ASSERT_FALSE(mine.empty());
    EXPECT_EQ(mine[0]["recs"][0]["name"], "李四");

    // The demo share of lisi's 待办.txt lets zhangsan modify it.
    ASSERT_EQ(zhang->upload("/api/file/save-update-file.jf",
                            {{"fileId", lisiTodo}, {"isCreateFile", "1"}, {"versionDesp", ""}},
                            "待办.txt", "2. 一起改\n")["code"],
              0);
    EXPECT_EQ(lisi->download("/api/netdisk/download.jf", {{"fileIds", lisiTodo}})->body,
              "2. 一起改\n");
    EXPECT_EQ(lisi->find("0", "待办.txt", true)["version"], 1); // the net disk keeps one version

    age("netshare", true);
    EXPECT_EQ(md5(*lisi, picture)["code"], 4);
    EXPECT_FALSE(listed(lisi->list("-9"), picture));
    EXPECT_TRUE(zhang->call("/api/netdisk/my-share-list.jf")["data"].empty());
}
