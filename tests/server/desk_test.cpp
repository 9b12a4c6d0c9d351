// The personal desktop's lists, favourites, announcements, the full-text
// search and the demo seed's second run.

#include "apiclient.h"
#include "serverprocess.h"

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

std::vector<std::string> names(const json &hits)
{
    std::vector<std::string> out;
    for (const json &h : hits)
        out.push_back(h.value("fileName", ""));
    return out;
}

// The names of search hits without their marking tags.
std::vector<std::string> plainNames(const json &hits)
{
    std::vector<std::string> out;
    for (std::string name : names(hits)) {
        std::string plain;
        bool inTag = false;
        for (char c : name) {
            if (c == '<')
                inTag = true;
            else if (c == '>')
                inTag = false;
            else if (!inTag)
                plain += c;
        }
        out.push_back(plain);
    }
    return out;
}

bool has(const std::vector<std::string> &list, const std::string &name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

} // namespace

// One demo server for the suite; tests that change data use their own names.
class Desk : public ::testing::Test
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
    }
    json search(ApiClient &c, const std::string &word, ApiClient::Form extra = {})
    {
        extra["solrKeyword"] = word;
        json reply = c.call("/api/file/search.jf", extra);
        EXPECT_EQ(reply["code"], 0) << reply.dump();
        return reply["data"];
    }

    static ServerProcess *server;
    std::unique_ptr<ApiClient> zhang;
};

ServerProcess *Desk::server = nullptr;

TEST_F(Desk, EveryDashboardListHasTheKeysTheClientReads)
{
    struct PerFile
    {
        const char *path;
        const char *name;
        const char *id;
    };
    for (const PerFile &list :
         {PerFile{"/api/file/share-to-me-list.jf", "userName", "userId"},
          PerFile{"/api/file/publish-to-me-list.jf", "creatorName", "creatorId"},
          PerFile{"/api/netdisk/share-to-me-list.jf", "creatorName", "userId"},
          PerFile{"/api/file/my-share-list.jf", "creatorName", "id"},
          PerFile{"/api/file/my-publish-list.jf", "creatorName", "id"},
          PerFile{"/api/netdisk/my-share-list.jf", "creatorName", "id"}}) {
        SCOPED_TRACE(list.path);
        json reply = zhang->call(list.path);
        ASSERT_EQ(reply["code"], 0);
        ASSERT_FALSE(reply["data"].empty());
        for (const json &rec : reply["data"]) {
            EXPECT_TRUE(rec[list.name].is_string());
            EXPECT_FALSE(rec[list.id].get<std::string>().empty());
            EXPECT_TRUE(rec["time"].is_number_integer());
            ASSERT_FALSE(rec["recs"].empty());
            EXPECT_FALSE(rec["recs"][0]["name"].get<std::string>().empty());
            ASSERT_FALSE(rec["files"].empty());
            for (const json &f : rec["files"]) {
                for (const char *key : {"fileId", "parentId", "fileName", "fileExtend"})
                    EXPECT_TRUE(f[key].is_string()) << key;
                EXPECT_EQ(f["fileType"], 2);
            }
        }
    }
    for (const char *path : {"/api/file/my-fav-list.jf", "/api/file/my-subscribe-list.jf"}) {
        SCOPED_TRACE(path);
        json reply = zhang->call(path);
        ASSERT_EQ(reply["code"], 0);
        ASSERT_FALSE(reply["data"].empty());
        for (const json &rec : reply["data"]) {
            for (const char *key : {"fileId", "parentId", "fileName", "creatorId", "creatorName"})
                EXPECT_TRUE(rec[key].is_string()) << key;
            EXPECT_TRUE(rec["createTime"].is_number_integer());
        }
    }
    // The demo's share to 王五 names him as the recipient.
    json mine = zhang->call("/api/file/my-publish-list.jf")["data"];
    EXPECT_EQ(mine[0]["recs"][0]["name"], "王五");
    EXPECT_EQ(mine[0]["recs"][1]["name"], "行政部");
}

TEST_F(Desk, FrequentAndLatestFiles)
{
    json frequent = zhang->call("/api/file/list-my-file.jf", {{"type", "1"}, {"limit", "3"}});
    ASSERT_EQ(frequent["code"], 0);
    ASSERT_EQ(frequent["data"].size(), 3u);
    EXPECT_EQ(frequent["data"][0]["fileName"], "接口说明.md"); // opened most in the demo
    for (const json &f : frequent["data"])
        for (const char *key : {"fileName", "fileId", "parentId", "user"})
            EXPECT_TRUE(f[key].is_string()) << key;

    // Opening a file counts.
    std::string rd = zhang->idOf("0", "研发中心");
    std::string report = zhang->idOf(rd, "测试报告.csv");
    for (int i = 0; i < 9; ++i)
        zhang->download("/api/file/download.jf", {{"fileIds", report}});
    frequent = zhang->call("/api/file/list-my-file.jf", {{"type", "1"}, {"limit", "20"}});
    EXPECT_EQ(frequent["data"][0]["fileId"], report);

    // The latest files are newest first, only visible ones, at most `limit`.
    ApiClient zhao(server->port());
    zhao.login("zhaoliu", "123456");
    json latest = zhao.call("/api/file/list-my-file.jf", {{"type", "2"}, {"limit", "200"}})["data"];
    ASSERT_GT(latest.size(), 5u);
    int64_t previous = INT64_MAX;
    for (const json &f : latest) {
        EXPECT_NE(f["fileName"], "宣传册.pdf");
        EXPECT_NE(f["fileName"], "客户名单.xlsx");
        EXPECT_NE(f["fileName"], "架构图.png");
        EXPECT_LE(f["lastModifyTime"].get<int64_t>(), previous);
        previous = f["lastModifyTime"];
        EXPECT_TRUE(f["createTime"].is_number_integer());
    }
    EXPECT_EQ(
        zhao.call("/api/file/list-my-file.jf", {{"type", "2"}, {"limit", "2"}})["data"].size(), 2u);
    EXPECT_NE(zhao.call("/api/file/list-my-file.jf", {{"type", "3"}})["code"], 0);
    EXPECT_NE(zhao.call("/api/file/list-my-file.jf", {{"type", "2"}, {"limit", "1 OR 1"}})["code"],
              0);
}

TEST_F(Desk, FavouritesGoIntoOwnCategoriesOnce)
{
    json cats = zhang->call("/api/file/fav-cat-list.jf");
    ASSERT_EQ(cats["code"], 0);
    ASSERT_EQ(cats["data"].size(), 3u);
    EXPECT_EQ(cats["data"][0]["name"], "常用文档");
    std::string cat = cats["data"][1]["catid"];

    std::string rd = zhang->idOf("0", "研发中心");
    std::string source = zhang->idOf(rd, "源码");
    std::string main = zhang->idOf(source, "main.cpp");
    ASSERT_EQ(zhang->call("/api/file/add-fav.jf", {{"fileId", main}, {"catId", cat}})["code"], 0);
    json again = zhang->call("/api/file/add-fav.jf", {{"fileId", main}, {"catId", cat}});
    EXPECT_EQ(again["code"], 6);
    EXPECT_FALSE(again["msg"].get<std::string>().empty());
    json favs = zhang->call("/api/file/my-fav-list.jf")["data"];
    ASSERT_FALSE(favs.empty());
    EXPECT_EQ(favs[0]["fileId"], main); // newest first
    EXPECT_EQ(favs[0]["creatorName"], "李四");
    EXPECT_EQ(favs[0]["parentId"], source);

    // Another user's category, a hidden file and an unknown id are refused.
    ApiClient wang(server->port());
    wang.login("wangwu", "123456");
    std::string wangCat = wang.call("/api/file/fav-cat-list.jf")["data"][0]["catid"];
    std::string handbook = zhang->idOf(zhang->idOf("0", "公司制度"), "员工手册.docx");
    EXPECT_NE(
        zhang->call("/api/file/add-fav.jf", {{"fileId", handbook}, {"catId", wangCat}})["code"], 0);
    EXPECT_NE(zhang->call("/api/file/add-fav.jf", {{"fileId", handbook}, {"catId", ""}})["code"],
              0);
    std::string market = wang.idOf("0", "市场部");
    ApiClient zhao(server->port());
    zhao.login("zhaoliu", "123456");
    std::string zhaoCat = zhao.call("/api/file/fav-cat-list.jf")["data"][0]["catid"];
    EXPECT_EQ(zhao.call("/api/file/add-fav.jf", {{"fileId", market}, {"catId", zhaoCat}})["code"],
              4);
}

TEST_F(Desk, AnnouncementsNewestFirstAndReadAtTheTopLevel)
{
    json list = zhang->call("/api/sys/notice-list.jf");
    ASSERT_EQ(list["code"], 0);
    ASSERT_EQ(list["data"].size(), 4u);
    EXPECT_EQ(list["data"][0]["title"], "系统升级通知");
    for (size_t i = 1; i < list["data"].size(); ++i)
        EXPECT_GE(list["data"][i - 1]["noticeTime"].get<int64_t>(),
                  list["data"][i]["noticeTime"].get<int64_t>());
    std::string id = list["data"][1]["id"];
    json one = zhang->call("/api/sys/notice-read.jf", {{"id", id}});
    ASSERT_EQ(one["code"], 0);
    EXPECT_EQ(one["title"], "新版员工手册发布");
    EXPECT_NE(one["content"].get<std::string>().find("员工手册"), std::string::npos);
    EXPECT_EQ(one["noticeTime"], list["data"][1]["noticeTime"]);
    EXPECT_EQ(zhang->call("/api/sys/notice-read.jf", {{"id", "0123456789abcdef"}})["code"], 4);
}

TEST_F(Desk, SearchFindsShortAndLongChineseWords)
{
    // Two characters: below the trigram size, found by the scan.
    json two = search(*zhang, "部署");
    ASSERT_TRUE(has(plainNames(two), "服务器部署说明.md"));
    for (const json &h : two) {
        if (plainNames(json::array({h}))[0] != "服务器部署说明.md")
            continue;
        EXPECT_NE(h["fileName"].get<std::string>().find(">部署<"), std::string::npos);
        EXPECT_NE(h["summary"].get<std::string>().find(">部署<"), std::string::npos);
        EXPECT_EQ(h["fileExt"], "md");
        EXPECT_TRUE(h["fileLength"].is_number_integer());
        EXPECT_GT(h["fileLength"].get<int64_t>(), 50);
        EXPECT_EQ(h["user"], "李四");
        EXPECT_TRUE(h["lastModifyTime"].is_number_integer());
        EXPECT_FALSE(h["fileId"].get<std::string>().empty());
    }
    // Four characters, in the text only.
    json four = search(*zhang, "项目经理");
    EXPECT_EQ(plainNames(four), std::vector<std::string>{"项目管理规范.txt"});
    // One character, and a word in two documents.
    EXPECT_TRUE(has(plainNames(search(*zhang, "年")), "年会通知.txt"));
    std::vector<std::string> system = plainNames(search(*zhang, "文档管理系统"));
    EXPECT_TRUE(has(system, "项目管理规范.txt"));
    EXPECT_TRUE(has(system, "常见问题.txt"));
    // Latin letters in any case.
    EXPECT_TRUE(has(plainNames(search(*zhang, "sqlite")), "服务器部署说明.md"));
    EXPECT_NE(zhang->call("/api/file/search.jf", {{"solrKeyword", "  "}})["code"], 0);
}

TEST_F(Desk, SearchFiltersAndRights)
{
    ApiClient zhao(server->port());
    zhao.login("zhaoliu", "123456");
    std::string shared = zhang->idOf("0", "公共资料");
    std::string knowledge = zhang->idOf(shared, "知识库");
    std::string rd = zhang->idOf("0", "研发中心");
    // Folder and everything below it.
    EXPECT_TRUE(has(plainNames(search(*zhang, "说明", {{"solrDirectoryId", shared}})),
                    "服务器部署说明.md"));
    EXPECT_FALSE(
        has(plainNames(search(*zhang, "说明", {{"solrDirectoryId", knowledge}})), "接口说明.md"));
    EXPECT_TRUE(has(plainNames(search(*zhang, "说明", {{"solrDirectoryId", rd}})), "接口说明.md"));
    EXPECT_TRUE(has(plainNames(search(*zhang, "说明", {{"solrDirectoryId", "0"}})), "接口说明.md"));
    // Extensions.
    for (const std::string &name :
         plainNames(search(*zhang, "说明", {{"solrFileExtend", "txt,MD"}})))
        EXPECT_TRUE(name.size() > 3 && (name.substr(name.size() - 3) == ".md" ||
                                        name.substr(name.size() - 4) == ".txt"))
            << name;
    EXPECT_TRUE(search(*zhang, "说明", {{"solrFileExtend", "pdf"}}).empty());
    // Creator.
    ApiClient lisi(server->port());
    lisi.login("lisi", "123456");
    json byLisi = search(*zhang, "说明", {{"solrCreatorId", lisi.userId}});
    ASSERT_FALSE(byLisi.empty());
    for (const json &h : byLisi)
        EXPECT_EQ(h["user"], "李四");
    // Modification dates: both days included.
    EXPECT_FALSE(
        search(*zhang, "部署", {{"solrStartTime", dateIn(-30)}, {"solrEndTime", dateIn(0)}})
            .empty());
    EXPECT_TRUE(
        search(*zhang, "部署", {{"solrStartTime", dateIn(-400)}, {"solrEndTime", dateIn(-300)}})
            .empty());
    EXPECT_NE(zhang->call("/api/file/search.jf", {{"solrKeyword", "部署"},
                                                  {"solrStartTime", "x"},
                                                  {"solrEndTime", dateIn(0)}})["code"],
              0);
    // Never an item the user may not see.
    EXPECT_TRUE(search(zhao, "客户名单").empty());
    EXPECT_TRUE(search(*zhang, "薪资").empty());
    EXPECT_FALSE(search(zhao, "薪资").empty());
    EXPECT_TRUE(search(zhao, "架构").empty());
    // Query syntax in the keyword is just text.
    for (const char *word : {"\"", "部署 OR 1=1", "*", "NEAR(a b)", "'; DROP TABLE search_docs;--"})
        EXPECT_TRUE(search(*zhang, word).is_array());
    EXPECT_FALSE(search(*zhang, "部署").empty());
}

TEST_F(Desk, SearchIndexFollowsTheFiles)
{
    std::string shared = zhang->idOf("0", "公共资料");
    std::string folder = zhang->call("/api/file/save-fold.jf",
                                     {{"parentId", shared}, {"name", "检索测试"}})["fileId"];
    std::string other = zhang->call("/api/file/save-fold.jf",
                                    {{"parentId", shared}, {"name", "检索测试二"}})["fileId"];
    json made = zhang->upload("/api/file/upload-docfile.jf", {{"pid", folder}, {"uploadType", "2"}},
                              "周计划.txt", "本周重点：<b>蓝鲸项目</b> & ' OR 1=1 --\n");
    ASSERT_EQ(made["code"], 0);
    std::string id = made["fileId"];

    json hits = search(*zhang, "蓝鲸项目");
    ASSERT_EQ(hits.size(), 1u);
    std::string summary = hits[0]["summary"];
    // The text's markup arrives escaped; only the marking tag is markup.
    EXPECT_NE(summary.find("&lt;b&gt;"), std::string::npos) << summary;
    EXPECT_EQ(summary.find("<b>"), std::string::npos);
    EXPECT_EQ(search(*zhang, "' OR 1=1").size(), 1u);

    // New version: the old words go, the new ones come.
    ASSERT_EQ(zhang->upload("/api/file/upload-docfile.jf", {{"pid", folder}, {"uploadType", "2"}},
                            "周计划.txt", "本周重点：白鹭项目\n")["code"],
              0);
    EXPECT_TRUE(search(*zhang, "蓝鲸").empty());
    EXPECT_EQ(search(*zhang, "白鹭").size(), 1u);
    // Rename.
    ASSERT_EQ(zhang->call("/api/file/rename.jf", {{"fileId", id}, {"name", "月计划"}})["code"], 0);
    EXPECT_TRUE(has(plainNames(search(*zhang, "月计划")), "月计划.txt"));
    EXPECT_TRUE(search(*zhang, "周计划").empty());
    // Move: the folder filter follows.
    ASSERT_EQ(zhang->call("/api/file/move.jf", {{"targetId", other}, {"sourceIds", id}})["code"],
              0);
    EXPECT_TRUE(search(*zhang, "白鹭", {{"solrDirectoryId", folder}}).empty());
    EXPECT_EQ(search(*zhang, "白鹭", {{"solrDirectoryId", other}}).size(), 1u);
    // Copy, then delete the original.
    ASSERT_EQ(zhang->call("/api/file/copy.jf", {{"targetId", folder}, {"sourceIds", id}})["code"],
              0);
    EXPECT_EQ(search(*zhang, "白鹭").size(), 2u);
    ASSERT_EQ(zhang->call("/api/file/delete.jf", {{"fileIds", other}})["code"], 0);
    EXPECT_EQ(search(*zhang, "白鹭").size(), 1u);
}

TEST(DemoSeed, SecondRunChangesNothing)
{
    TempDir dir;
    json first;
    {
        ServerProcess server(true, dir.path());
        ApiClient c(server.port());
        c.login("zhangsan", "123456");
        first = {c.call("/api/sys/notice-list.jf")["data"],
                 c.call("/api/file/fav-cat-list.jf")["data"],
                 c.call("/api/file/share-to-me-list.jf")["data"],
                 c.call("/api/file/list-dir.jf")["data"],
                 c.call("/api/file/search.jf", {{"solrKeyword", "说明"}})["data"]};
    }
    ServerProcess again(true, dir.path());
    ApiClient c(again.port());
    c.login("zhangsan", "123456");
    json second = {
        c.call("/api/sys/notice-list.jf")["data"], c.call("/api/file/fav-cat-list.jf")["data"],
        c.call("/api/file/share-to-me-list.jf")["data"], c.call("/api/file/list-dir.jf")["data"],
        c.call("/api/file/search.jf", {{"solrKeyword", "说明"}})["data"]};
    EXPECT_EQ(first, second);
}

TEST_F(Desk, SearchShowsTextOnlyToThoseWhoMayReadIt)
{
    ApiClient admin(server->port());
    ASSERT_EQ(admin.login("admin", "admin123")["code"], 0);
    ApiClient zhao(server->port());
    ASSERT_EQ(zhao.login("zhaoliu", "123456")["code"], 0);
    std::string folder = admin.call("/api/file/save-fold.jf", {{"parentId", "0"}, {"name", "薪资"}})
                             .value("fileId", "");
    ASSERT_FALSE(folder.empty());
    for (const char *name : {"工资表.txt", "暗号甲乙丙.txt"})
        ASSERT_EQ(admin.upload("/api/file/upload-docfile.jf",
                               {{"pid", folder}, {"uploadType", "2"}}, name,
                               "总经理月薪：暗号甲乙丙 九万元")["code"],
                  0);
    auto grant = [&](const char *letters) {
        ASSERT_EQ(admin.call("/api/file/auth.jf", {{"fileIds", folder},
                                                   {"userList", "U" + zhao.userId},
                                                   {"authList", letters},
                                                   {"appRange", "1"}})["code"],
                  0);
    };
    // Visible only: the file whose name matches, without any of its text;
    // the file whose text alone matches is not found at all.
    grant("A");
    json seen = search(zhao, "暗号甲乙丙");
    EXPECT_EQ(plainNames(seen), std::vector<std::string>{"暗号甲乙丙.txt"});
    for (const json &h : seen)
        EXPECT_EQ(h["summary"], "");
    EXPECT_TRUE(search(zhao, "月薪").empty());
    // Preview or download: both files, with their excerpts.
    for (const char *letters : {"A,V", "A,D"}) {
        grant(letters);
        json read = search(zhao, "暗号甲乙丙");
        EXPECT_EQ(read.size(), 2u) << letters;
        for (const json &h : read)
            EXPECT_NE(h["summary"].get<std::string>().find("九万元"), std::string::npos);
    }
}
