// The personal net disk: a private tree per user and the copy into the library.

#include "apiclient.h"
#include "serverprocess.h"

#include <gtest/gtest.h>

#include <memory>

using nlohmann::json;

class NetDisk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = std::make_unique<ServerProcess>();
        zhang = std::make_unique<ApiClient>(server->port());
        lisi = std::make_unique<ApiClient>(server->port());
        ASSERT_EQ(zhang->login("zhangsan", "123456")["code"], 0);
        ASSERT_EQ(lisi->login("lisi", "123456")["code"], 0);
    }
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<ApiClient> zhang, lisi;
};

TEST_F(NetDisk, EachUserHasAPrivateTree)
{
    json folders = zhang->call("/api/netdisk/list-dir.jf");
    ASSERT_EQ(folders["code"], 0);
    ASSERT_EQ(folders["data"].size(), 2u);
    for (const json &f : folders["data"])
        EXPECT_EQ(f["parentId"], "0");
    json top = zhang->list("", true);
    ASSERT_EQ(top["code"], 0);
    EXPECT_EQ(top["data"].size(), 3u); // 我的文档, 照片, 待办.txt
    EXPECT_EQ(top, zhang->list("0", true));
    std::string docs = zhang->find("0", "我的文档", true)["fileId"];
    json note = zhang->find(docs, "笔记.txt", true);
    ASSERT_TRUE(note.is_object());
    EXPECT_EQ(note["user"], "张三");
    EXPECT_EQ(zhang->download("/api/netdisk/download.jf", {{"fileIds", note["fileId"]}})->body,
              "张三的笔记\n");

    // lisi's ids behave like missing ids for zhangsan, on every path.
    std::string lisiDocs = lisi->find("0", "我的文档", true)["fileId"];
    std::string lisiNote = lisi->find(lisiDocs, "笔记.txt", true)["fileId"];
    EXPECT_EQ(zhang->list(lisiDocs, true)["code"], 4);
    EXPECT_EQ(zhang->call("/api/netdisk/md5.jf", {{"fileId", lisiNote}})["code"], 4);
    EXPECT_EQ(zhang->call("/api/netdisk/delete.jf", {{"fileIds", lisiNote}})["code"], 4);
    EXPECT_EQ(zhang->call("/api/file/rename.jf", {{"fileId", lisiNote}, {"name", "x"}})["code"], 4);
    EXPECT_EQ(
        zhang->call("/api/netdisk/move.jf", {{"targetId", "0"}, {"sourceIds", lisiNote}})["code"],
        4);
    EXPECT_EQ(
        zhang->call("/api/netdisk/save-fold.jf", {{"parentId", lisiDocs}, {"name", "x"}})["code"],
        4);
    auto down = zhang->download("/api/netdisk/download.jf", {{"fileIds", lisiNote}});
    EXPECT_LT(down->body.size(), 3000u);
    EXPECT_EQ(json::parse(down->body)["code"], 4);
    EXPECT_EQ(zhang->upload("/api/netdisk/upload.jf", {{"pid", lisiDocs}, {"uploadType", "2"}}, "x",
                            "x")["code"],
              4);
    EXPECT_EQ(
        zhang->upload("/api/netdisk/save-update-file.jf", {{"fileId", lisiNote}}, "x", "x")["code"],
        4);
    // Library paths do not reach net disk items either.
    EXPECT_EQ(zhang->call("/api/file/md5.jf",
                          {{"fileId", zhang->find(docs, "笔记.txt", true)["fileId"]}})["code"],
              4);
    EXPECT_EQ(lisi->find(lisiDocs, "笔记.txt", true)["fileId"], lisiNote);
}

TEST_F(NetDisk, FoldersUploadsUpdatesMovesAndDeletes)
{
    json made = zhang->call("/api/netdisk/save-fold.jf", {{"parentId", ""}, {"name", "项目"}});
    ASSERT_EQ(made["code"], 0);
    std::string project = made["fileId"];
    EXPECT_NE(zhang->call("/api/netdisk/save-fold.jf", {{"parentId", "0"}, {"name", "项目"}})["msg"]
                  .get<std::string>()
                  .find("已存在"),
              std::string::npos);
    json up = zhang->upload("/api/netdisk/upload.jf", {{"pid", project}, {"uploadType", "2"}},
                            "草稿.txt", "v1");
    ASSERT_EQ(up["code"], 0);
    std::string draft = up["data"]["fileId"];
    json updated = zhang->upload("/api/netdisk/save-update-file.jf", {{"fileId", draft}},
                                 "草稿.txt", "version two");
    ASSERT_EQ(updated["code"], 0);
    EXPECT_EQ(updated["data"]["length"], 11);
    EXPECT_EQ(zhang->download("/api/netdisk/download.jf", {{"fileIds", draft}})->body,
              "version two");
    EXPECT_EQ(
        zhang->call("/api/netdisk/md5.jf", {{"fileId", draft}})["md5"].get<std::string>().size(),
        32u);
    ASSERT_EQ(zhang->call("/api/file/rename.jf", {{"fileId", draft}, {"name", "定稿"}})["code"], 0);
    EXPECT_TRUE(zhang->find(project, "定稿.txt", true).is_object());

    std::string docs = zhang->find("0", "我的文档", true)["fileId"];
    ASSERT_EQ(
        zhang->call("/api/netdisk/move.jf", {{"targetId", docs}, {"sourceIds", project}})["code"],
        0);
    EXPECT_TRUE(zhang->find("0", "项目", true).is_null());
    EXPECT_EQ(zhang->find(docs, "项目", true)["fileId"], project);
    EXPECT_EQ(
        zhang->call("/api/netdisk/move.jf", {{"targetId", project}, {"sourceIds", docs}})["code"],
        6);

    ASSERT_EQ(zhang->call("/api/netdisk/delete.jf", {{"fileIds", docs}})["code"], 0);
    EXPECT_TRUE(zhang->find("0", "我的文档", true).is_null());
    EXPECT_EQ(zhang->call("/api/netdisk/md5.jf", {{"fileId", draft}})["code"], 4);
}

TEST_F(NetDisk, MoveToDocCopiesIntoALibraryFolderWithRights)
{
    std::string photos = zhang->find("0", "照片", true)["fileId"];
    std::string todo = zhang->find("0", "待办.txt", true)["fileId"];
    std::string rd = zhang->find("0", "研发中心")["fileId"];
    std::string rules = zhang->find("0", "公司制度")["fileId"];
    json copied = zhang->call("/api/netdisk/move-to-doc.jf",
                              {{"targetId", rd}, {"sourceIds", photos + "," + todo}});
    ASSERT_EQ(copied["code"], 0) << copied.dump();
    json folder = zhang->find(rd, "照片");
    ASSERT_TRUE(folder.is_object());
    EXPECT_TRUE(zhang->find(folder["fileId"], "风景.png").is_object());
    EXPECT_TRUE(zhang->find(rd, "待办.txt").is_object());
    // The net disk keeps its items: this is a copy.
    EXPECT_TRUE(zhang->find("0", "照片", true).is_object());
    // No C or M in 公司制度: refused.
    EXPECT_EQ(zhang->call("/api/netdisk/move-to-doc.jf",
                          {{"targetId", rules}, {"sourceIds", todo}})["code"],
              5);
    // The "-12" the client sends when no folder was picked is no folder.
    EXPECT_NE(zhang->call("/api/netdisk/move-to-doc.jf",
                          {{"targetId", "-12"}, {"sourceIds", todo}})["code"],
              0);
    // Library ids are not net disk items.
    std::string csv = zhang->find(rd, "测试报告.csv")["fileId"];
    EXPECT_EQ(
        zhang->call("/api/netdisk/move-to-doc.jf", {{"targetId", rd}, {"sourceIds", csv}})["code"],
        4);
    // The library copy path accepts own net disk items too (the client's toolbar copy).
    EXPECT_EQ(zhang->call("/api/file/copy.jf", {{"targetId", rd}, {"sourceIds", todo}})["code"], 0);
    EXPECT_TRUE(zhang->find(rd, "待办(2).txt").is_object());
}

TEST_F(NetDisk, OnlyTheVerySameNameReplacesAFile)
{
    auto upload = [&](const char *path, const std::string &pid, const char *name,
                      const char *content) {
        json reply = zhang->upload(path, {{"pid", pid}, {"uploadType", "2"}}, name, content);
        EXPECT_EQ(reply["code"], 0) << reply.dump();
        return reply["data"].value("fileName", "");
    };
    auto body = [&](const char *path, const std::string &id) {
        return zhang->download(path, {{"fileIds", id}})->body;
    };
    // The net disk keeps one version: a case-only twin must not overwrite.
    ASSERT_EQ(upload("/api/netdisk/upload.jf", "0", "Report.txt", "old"), "Report.txt");
    EXPECT_EQ(upload("/api/netdisk/upload.jf", "0", "report.txt", "new"), "report(2).txt");
    EXPECT_EQ(body("/api/netdisk/download.jf", zhang->idOf("0", "Report.txt", true)), "old");
    EXPECT_EQ(body("/api/netdisk/download.jf", zhang->idOf("0", "report(2).txt", true)), "new");
    EXPECT_EQ(upload("/api/netdisk/upload.jf", "0", "Report.txt", "newer"), "Report.txt");
    EXPECT_EQ(body("/api/netdisk/download.jf", zhang->idOf("0", "Report.txt", true)), "newer");

    // The library: a case-only twin is a file of its own, not a new version.
    std::string rd = zhang->idOf("0", "研发中心");
    ASSERT_EQ(upload("/api/file/upload-docfile.jf", rd, "Plan.md", "a"), "Plan.md");
    EXPECT_EQ(upload("/api/file/upload-docfile.jf", rd, "PLAN.md", "b"), "PLAN(2).md");
    std::string plan = zhang->idOf(rd, "Plan.md");
    EXPECT_EQ(body("/api/file/download.jf", plan), "a");
    EXPECT_EQ(zhang->call("/api/file/version-list.jf", {{"fileId", plan}})["data"].size(), 1u);
}
