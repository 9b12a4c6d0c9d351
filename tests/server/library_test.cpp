// The company library: listings and rights letters, folders, rename, delete,
// copy, move, versions, locks and the incremental folder list.

#include "apiclient.h"
#include "serverprocess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

using nlohmann::json;

namespace {

std::string idOf(ApiClient &c, const std::string &parent, const std::string &name)
{
    json e = c.find(parent, name);
    return e.is_object() ? e["fileId"].get<std::string>() : std::string();
}

std::string localTime(time_t t)
{
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
    return text;
}

} // namespace

// A fresh demo server per test: these tests change the library.
class Library : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = std::make_unique<ServerProcess>();
        zhang = std::make_unique<ApiClient>(server->port());
        ASSERT_EQ(zhang->login("zhangsan", "123456")["code"], 0);
        rd = idOf(*zhang, "0", "研发中心");
        rules = idOf(*zhang, "0", "公司制度");
        ASSERT_FALSE(rd.empty());
        ASSERT_FALSE(rules.empty());
    }
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<ApiClient> zhang;
    std::string rd, rules;
};

TEST_F(Library, ListingEntriesCarryTheKeysTheClientReads)
{
    json e = zhang->find(rules, "员工手册.docx");
    ASSERT_TRUE(e.is_object());
    EXPECT_EQ(e["fileType"], 2);
    EXPECT_EQ(e["fileExtend"], "docx");
    EXPECT_EQ(e["parentId"], rules);
    EXPECT_EQ(e["user"], "系统管理员");
    EXPECT_EQ(e["version"], 3);
    EXPECT_EQ(e["version_desc"], "2024年修订");
    EXPECT_TRUE(e["lastModifyTime"].is_number_integer());
    EXPECT_GT(e["lastModifyTime"].get<int64_t>(), 1600000000000LL);
    EXPECT_GT(e["length"].get<int64_t>(), 0);
    std::string size = e["fileLength"];
    EXPECT_NE(size.find("&nbsp;"), std::string::npos) << size;
    EXPECT_EQ(e["authList"], "A,V,D");

    json folder = zhang->find("0", "研发中心");
    EXPECT_EQ(folder["fileType"], 1);
    EXPECT_EQ(folder["authList"], "A,C,M,V,P,D,E,R");
}

TEST_F(Library, RightsHideAndRestrictItems)
{
    // 市场部 is the market department's only.
    EXPECT_TRUE(zhang->find("0", "市场部").is_null());
    ApiClient wang(server->port());
    wang.login("wangwu", "123456");
    json market = wang.find("0", "市场部");
    ASSERT_TRUE(market.is_object());
    EXPECT_EQ(market["authList"], "A,C,M,V,P,D,E,R,L");
    std::string marketId = market["fileId"];
    EXPECT_EQ(zhang->list(marketId)["code"], 5);
    // Range 3 on 行政部: its own files are visible, its subfolder is not.
    std::string office = idOf(*zhang, "0", "行政部");
    EXPECT_TRUE(zhang->find(office, "办公用品清单.xlsx").is_object());
    EXPECT_TRUE(zhang->find(office, "内部").is_null());
    // Range 4 on 研发中心 for everybody: wangwu sees the folder, not its content.
    json rdForWang = wang.find("0", "研发中心");
    ASSERT_TRUE(rdForWang.is_object());
    EXPECT_EQ(rdForWang["authList"], "A");
    EXPECT_EQ(wang.list(rd)["data"].size(), 0u);
    // Read-only folder: no upload, no new folder, no delete, no rename.
    EXPECT_EQ(zhang->upload("/api/file/upload-docfile.jf", {{"pid", rules}, {"uploadType", "2"}},
                            "x.txt", "x")["code"],
              5);
    EXPECT_EQ(zhang->call("/api/file/save-fold.jf", {{"parentId", rules}, {"name", "新"}})["code"],
              5);
    std::string handbook = idOf(*zhang, rules, "员工手册.docx");
    EXPECT_EQ(zhang->call("/api/file/delete.jf", {{"fileIds", handbook}})["code"], 5);
    EXPECT_EQ(zhang->call("/api/file/rename.jf", {{"fileId", handbook}, {"name", "y"}})["code"], 5);
    EXPECT_EQ(zhang->call("/api/file/lock.jf", {{"fileId", handbook}, {"type", "1"}})["code"], 5);
    // The administrator holds every right.
    ApiClient admin(server->port());
    admin.login("admin", "admin123");
    EXPECT_EQ(admin.find("0", "市场部")["authList"], "A,C,M,V,P,D,E,R,L");
}

TEST_F(Library, NewFolderRenameAndDuplicateNames)
{
    json made = zhang->call("/api/file/save-fold.jf", {{"parentId", rd}, {"name", "  周报  "}});
    ASSERT_EQ(made["code"], 0);
    std::string id = made["fileId"];
    EXPECT_EQ(idOf(*zhang, rd, "周报"), id);
    // The creator holds full control of what he made.
    EXPECT_EQ(zhang->find(rd, "周报")["authList"], "A,C,M,V,P,D,E,R,L");

    json again = zhang->call("/api/file/save-fold.jf", {{"parentId", rd}, {"name", "周报"}});
    EXPECT_NE(again["code"], 0);
    EXPECT_NE(again["msg"].get<std::string>().find("已存在"), std::string::npos);

    ASSERT_EQ(zhang->call("/api/file/rename.jf", {{"fileId", id}, {"name", "月报"}})["code"], 0);
    EXPECT_EQ(idOf(*zhang, rd, "月报"), id);
    // A file keeps its extension when renamed without it.
    std::string csv = idOf(*zhang, rd, "测试报告.csv");
    ASSERT_EQ(zhang->call("/api/file/rename.jf", {{"fileId", csv}, {"name", "报告"}})["code"], 0);
    EXPECT_EQ(idOf(*zhang, rd, "报告.csv"), csv);
    // Renaming onto a taken name is refused.
    EXPECT_EQ(zhang->call("/api/file/rename.jf", {{"fileId", id}, {"name", "设计文档"}})["code"],
              6);
    EXPECT_EQ(idOf(*zhang, rd, "月报"), id);
}

TEST_F(Library, DeleteRemovesTheSubtreeAndFolderListReportsIt)
{
    time_t before = std::time(nullptr) - 1;
    std::string design = idOf(*zhang, rd, "设计文档");
    std::string database = idOf(*zhang, design, "数据库");
    // lisi's lock on 需求说明.docx keeps others from deleting the folder.
    json refused = zhang->call("/api/file/delete.jf", {{"fileIds", design}});
    EXPECT_EQ(refused["code"], 6);
    EXPECT_NE(refused["msg"].get<std::string>().find("李四"), std::string::npos);

    ApiClient lisi(server->port());
    lisi.login("lisi", "123456");
    ASSERT_EQ(lisi.call("/api/file/delete.jf", {{"fileIds", database}})["code"], 0);
    EXPECT_TRUE(zhang->find(design, "数据库").is_null());
    json changes = zhang->call("/api/file/list-dir.jf", {{"date", localTime(before)}});
    ASSERT_EQ(changes["code"], 0);
    ASSERT_EQ(changes["removes"].size(), 1u);
    EXPECT_EQ(changes["removes"][0]["fileId"], database);
    // Deleting an id twice: the second time it no longer exists.
    EXPECT_EQ(lisi.call("/api/file/delete.jf", {{"fileIds", database}})["code"], 4);
}

TEST_F(Library, FolderListWithADateAnswersOnlyChanges)
{
    json all = zhang->call("/api/file/list-dir.jf");
    ASSERT_EQ(all["code"], 0);
    EXPECT_TRUE(all["removes"].empty());
    bool sharedByMe = false, sharedWithMe = false;
    for (const json &f : all["data"]) {
        if (f["fileId"] == "-8")
            sharedByMe = f["parentId"] == "-1";
        if (f["fileId"] == "-9")
            sharedWithMe = f["parentId"] == "-1";
        EXPECT_NE(f["fileName"], "市场部");
    }
    EXPECT_TRUE(sharedByMe);
    EXPECT_TRUE(sharedWithMe);
    // "1970-01-01 08:00:00" is what a client without a cache sends: everything.
    EXPECT_EQ(
        zhang->call("/api/file/list-dir.jf", {{"date", "1970-01-01 08:00:00"}})["data"].size(),
        all["data"].size());
    EXPECT_EQ(zhang->call("/api/file/list-dir.jf", {{"date", "garbage"}})["data"].size(),
              all["data"].size());

    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    time_t since = std::time(nullptr);
    json unchanged = zhang->call("/api/file/list-dir.jf", {{"date", localTime(since + 2)}});
    EXPECT_TRUE(unchanged["data"].empty());
    EXPECT_TRUE(unchanged["removes"].empty());
    std::string id =
        zhang->call("/api/file/save-fold.jf", {{"parentId", rd}, {"name", "新目录"}})["fileId"];
    json changed = zhang->call("/api/file/list-dir.jf", {{"date", localTime(since)}});
    ASSERT_EQ(changed["data"].size(), 1u);
    EXPECT_EQ(changed["data"][0]["fileId"], id);
    EXPECT_EQ(changed["data"][0]["parentId"], rd);
}

TEST_F(Library, CopyIsDeepAndGetsAFreeName)
{
    std::string source = idOf(*zhang, rd, "源码");
    ASSERT_EQ(zhang->call("/api/file/copy.jf", {{"targetId", rd}, {"sourceIds", source}})["code"],
              0);
    std::string copy = idOf(*zhang, rd, "源码(2)");
    ASSERT_FALSE(copy.empty());
    EXPECT_NE(copy, source);
    json main = zhang->find(copy, "main.cpp");
    ASSERT_TRUE(main.is_object());
    EXPECT_EQ(main["md5"], zhang->find(source, "main.cpp")["md5"]);
    EXPECT_EQ(main["user"], "张三");
    // Copying a folder into itself would never end.
    json loop = zhang->call("/api/file/copy.jf", {{"targetId", copy}, {"sourceIds", copy}});
    EXPECT_EQ(loop["code"], 6);
    // Into a read-only folder: refused, nothing created.
    EXPECT_EQ(
        zhang->call("/api/file/copy.jf", {{"targetId", rules}, {"sourceIds", source}})["code"], 5);
    EXPECT_TRUE(zhang->find(rules, "源码").is_null());
}

TEST_F(Library, MoveRefusesItsOwnSubtreeAndKeepsNamesFree)
{
    ApiClient lisi(server->port());
    lisi.login("lisi", "123456");
    std::string source = idOf(lisi, rd, "源码");
    std::string design = idOf(lisi, rd, "设计文档");
    std::string database = idOf(lisi, design, "数据库");
    json inside = lisi.call("/api/file/move.jf", {{"targetId", database}, {"sourceIds", design}});
    EXPECT_EQ(inside["code"], 6);
    EXPECT_EQ(inside["msg"], "不能移动到自身或子文件夹");
    EXPECT_EQ(lisi.call("/api/file/move.jf", {{"targetId", design}, {"sourceIds", design}})["code"],
              6);

    ASSERT_EQ(
        lisi.call("/api/file/save-fold.jf", {{"parentId", database}, {"name", "源码"}})["code"], 0);
    ASSERT_EQ(
        lisi.call("/api/file/move.jf", {{"targetId", database}, {"sourceIds", source}})["code"], 0);
    EXPECT_TRUE(lisi.find(rd, "源码").is_null());
    EXPECT_EQ(idOf(lisi, database, "源码(2)"), source);
    EXPECT_TRUE(lisi.find(source, "main.cpp").is_object());
}

TEST_F(Library, VersionsAndLocks)
{
    ApiClient lisi(server->port());
    const std::string lisiId = lisi.login("lisi", "123456")["data"]["userId"];
    std::string design = idOf(*zhang, rd, "设计文档");
    std::string requirementsDoc = idOf(*zhang, design, "需求说明.docx");

    json versions = zhang->call("/api/file/version-list.jf", {{"fileId", requirementsDoc}});
    ASSERT_EQ(versions["code"], 0);
    ASSERT_EQ(versions["data"].size(), 2u);
    EXPECT_EQ(versions["data"][0]["version"], 2);
    EXPECT_EQ(versions["data"][0]["memo"], "增加导出功能");
    EXPECT_TRUE(versions["data"][0]["length"].is_number_integer());
    auto old = zhang->download("/api/file/version-download.jf",
                               {{"versionId", versions["data"][1]["id"]}});
    ASSERT_TRUE(old);
    EXPECT_EQ(old->body.size(), versions["data"][1]["length"].get<size_t>());

    // Locked by lisi: the listing names the holder and the lock's end (24
    // hours after it was taken); zhangsan can neither lock, unlock nor add a
    // version.
    json locked = zhang->find(design, "需求说明.docx");
    EXPECT_EQ(locked["lockUser"], "李四");
    EXPECT_EQ(locked["lockUserId"], lisiId);
    const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    const int64_t end = locked["lockEndTime"].get<int64_t>();
    EXPECT_GT(end, now + 22 * 3600 * 1000LL);
    EXPECT_LE(end, now + 24 * 3600 * 1000LL);
    EXPECT_FALSE(zhang->find(design, "接口说明.md").contains("lockUser"));
    json lock = zhang->call("/api/file/lock.jf", {{"fileId", requirementsDoc}, {"type", "1"}});
    EXPECT_EQ(lock["code"], 6);
    EXPECT_NE(lock["msg"].get<std::string>().find("李四"), std::string::npos);
    EXPECT_EQ(
        zhang->call("/api/file/lock.jf", {{"fileId", requirementsDoc}, {"type", "0"}})["code"], 5);
    json update =
        zhang->upload("/api/file/save-update-file.jf",
                      {{"fileId", requirementsDoc}, {"versionDesp", "x"}, {"isCreateFile", "1"}},
                      "需求说明.docx", "new content");
    EXPECT_EQ(update["code"], 6);
    // The holder adds versions and unlocks; then zhangsan may lock.
    json mine =
        lisi.upload("/api/file/save-update-file.jf",
                    {{"fileId", requirementsDoc}, {"versionDesp", "第三版"}, {"isCreateFile", "1"}},
                    "需求说明.docx", "third");
    ASSERT_EQ(mine["code"], 0);
    EXPECT_EQ(mine["data"]["version"], 3);
    EXPECT_EQ(mine["data"]["version_desc"], "第三版");
    // isCreateFile 0 overwrites the current version.
    json over =
        lisi.upload("/api/file/save-update-file.jf",
                    {{"fileId", requirementsDoc}, {"versionDesp", ""}, {"isCreateFile", "0"}},
                    "需求说明.docx", "third, fixed");
    ASSERT_EQ(over["code"], 0);
    EXPECT_EQ(over["data"]["version"], 3);
    EXPECT_EQ(over["data"]["version_desc"], "第三版");
    EXPECT_EQ(over["data"]["length"], 12);
    EXPECT_EQ(
        zhang->call("/api/file/version-list.jf", {{"fileId", requirementsDoc}})["data"].size(), 3u);
    ASSERT_EQ(lisi.call("/api/file/lock.jf", {{"fileId", requirementsDoc}, {"type", "0"}})["code"],
              0);
    EXPECT_EQ(
        zhang->call("/api/file/lock.jf", {{"fileId", requirementsDoc}, {"type", "1"}})["code"], 0);
    EXPECT_EQ(lisi.call("/api/file/lock.jf", {{"fileId", requirementsDoc}, {"type", "1"}})["code"],
              6);
    // The administrator may unlock anybody's file; the listing then shows no lock.
    ApiClient admin(server->port());
    admin.login("admin", "admin123");
    EXPECT_EQ(admin.call("/api/file/lock.jf", {{"fileId", requirementsDoc}, {"type", "0"}})["code"],
              0);
    EXPECT_FALSE(zhang->find(design, "需求说明.docx").contains("lockEndTime"));
    EXPECT_EQ(lisi.call("/api/file/lock.jf", {{"fileId", requirementsDoc}, {"type", "1"}})["code"],
              0);
}

TEST_F(Library, ShareFoldersListAndNonFoldersAreRefused)
{
    EXPECT_EQ(zhang->list("-8")["code"], 0);
    EXPECT_FALSE(zhang->list("-9")["data"].empty());
    std::string csv = idOf(*zhang, rd, "测试报告.csv");
    EXPECT_NE(zhang->list(csv)["code"], 0);
    EXPECT_EQ(zhang->list("")["code"], 0); // the top, as for "0"
}
