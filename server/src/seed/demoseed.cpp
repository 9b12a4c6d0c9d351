#include "seed/demoseed.h"

#include "seed/democontent.h"
#include "seed/demoversions.h"
#include "service/accountservice.h"
#include "service/helpers.h"
#include "store/blobstore.h"
#include "store/store.h"
#include "store/transaction.h"

#include <map>
#include <mutex>
#include <ostream>

namespace {
const int64_t day = 24LL * 3600 * 1000;
}

DemoSeed::DemoSeed(Store &store, BlobStore &blobs)
    : store(store), blobs(blobs), now(helpers::nowMs())
{
}

std::string DemoSeed::group(const std::string &name, const std::string &parentId, int sort)
{
    Group g{parentId.empty() ? std::string(AccountService::organisationId) : helpers::newId(), name,
            parentId, sort};
    store.insertGroup(g);
    return g.id;
}

std::string DemoSeed::user(const std::string &account, const std::string &nickname,
                           const std::string &password, bool admin, const std::string &groupId)
{
    User u;
    u.id = helpers::newId();
    u.account = account;
    u.nickname = nickname;
    u.passwordHash = AccountService::hashPassword(password);
    u.isAdmin = admin;
    u.createdAt = now;
    store.insertUser(u);
    store.addMember(u.id, groupId);
    return u.id;
}

std::string DemoSeed::folder(const std::string &space, const std::string &parentId,
                             const std::string &name, const std::string &creator, int daysAgo)
{
    Item it;
    it.id = helpers::newId();
    it.space = space;
    it.parentId = parentId;
    it.kind = 1;
    it.name = name;
    it.creatorId = creator;
    it.createdAt = it.modifiedAt = now - daysAgo * day;
    store.insertItem(it);
    return it.id;
}

std::string DemoSeed::file(const std::string &space, const std::string &parentId,
                           const std::string &name, const std::string &creator, int daysAgo,
                           const std::vector<Revision> &revisions)
{
    Item it;
    it.id = helpers::newId();
    it.space = space;
    it.parentId = parentId;
    it.kind = 2;
    it.name = name;
    it.ext = helpers::extensionOf(name);
    it.creatorId = creator;
    it.createdAt = now - daysAgo * day;
    it.modifiedAt = it.createdAt + static_cast<int64_t>(revisions.size() - 1) * day / 2;
    it.currentVersion = static_cast<int>(revisions.size());
    store.insertItem(it);
    for (size_t i = 0; i < revisions.size(); ++i) {
        Version v;
        v.id = helpers::newId();
        v.itemId = it.id;
        v.number = static_cast<int>(i + 1);
        v.md5 = blobs.put(revisions[i].content);
        v.size = static_cast<int64_t>(revisions[i].content.size());
        v.memo = revisions[i].memo;
        v.creatorId = creator;
        v.createdAt = it.createdAt + static_cast<int64_t>(i) * day / 2;
        store.insertVersion(v);
    }
    return it.id;
}

void DemoSeed::grant(const std::string &itemId, const std::string &kind,
                     const std::string &principal, const std::string &letters, int range)
{
    Grant g;
    g.id = helpers::newId();
    g.itemId = itemId;
    g.principalKind = kind;
    g.principalId = principal;
    g.letters = letters;
    g.appRange = range;
    // In force since before the oldest item, as if set when the tree was made.
    g.createdAt = now - 90 * day;
    store.insertGrant(g);
}

void DemoSeed::notice(const std::string &title, const std::string &content, int daysAgo)
{
    store.insertNotice(Notice{helpers::newId(), title, content, now - daysAgo * day});
}

std::string DemoSeed::category(const std::string &userId, const std::string &name, int sort)
{
    FavCategory c{helpers::newId(), userId, name, sort};
    store.insertCategory(c);
    return c.id;
}

void DemoSeed::favourite(const std::string &userId, const std::string &itemId,
                         const std::string &categoryId, int daysAgo)
{
    store.insertFavourite(userId, itemId, categoryId, now - daysAgo * day);
}

void DemoSeed::share(const std::string &kind, const std::string &sender,
                     const std::vector<std::string> &items,
                     const std::vector<std::pair<std::string, std::string>> &recipients,
                     const std::string &letters, const std::string &memo, int daysAgo, int daysLeft)
{
    Share sh;
    sh.id = helpers::newId();
    sh.kind = kind;
    sh.senderId = sender;
    sh.letters = letters;
    sh.memo = memo;
    sh.createdAt = sh.startsAt = now - daysAgo * day;
    sh.expiresAt = daysLeft > 0 ? now + daysLeft * day : 0;
    store.insertShare(sh);
    int position = 0;
    for (const std::string &item : items)
        store.addShareItem(sh.id, item, position++);
    position = 0;
    for (const auto &[kindOf, id] : recipients) {
        store.addShareRecipient(sh.id, kindOf, id, position++);
        for (const std::string &item : items) {
            Grant g;
            g.id = helpers::newId();
            g.itemId = item;
            g.principalKind = kindOf;
            g.principalId = id;
            g.letters = letters;
            g.appRange = 1;
            g.source = kind;
            g.expiresAt = sh.expiresAt;
            g.createdBy = sender;
            g.createdAt = sh.startsAt;
            g.shareId = sh.id;
            store.insertGrant(g);
        }
    }
}

bool DemoSeed::run(std::ostream &out)
{
    std::lock_guard<std::recursive_mutex> guard(store.database().mutex());
    if (store.hasUsers()) {
        out << "demo data: the data folder already has data, nothing seeded" << std::endl;
        return false;
    }
    Transaction tx(store.database());
    namespace dc = democontent;

    const std::string org = group("组织架构", std::string(), 0);
    const std::string rd = group("研发中心", org, 1);
    const std::string front = group("前端组", rd, 1);
    const std::string back = group("后端组", rd, 2);
    const std::string market = group("市场部", org, 2);
    const std::string office = group("行政部", org, 3);

    const std::string admin = user("admin", "系统管理员", "admin123", true, org);
    const std::string zhangsan = user("zhangsan", "张三", "123456", false, front);
    const std::string lisi = user("lisi", "李四", "123456", false, back);
    const std::string wangwu = user("wangwu", "王五", "123456", false, market);
    const std::string zhaoliu = user("zhaoliu", "赵六", "123456", false, office);

    const std::string lib = "lib";

    // 公司制度: everybody reads, nobody but the administrator writes.
    std::string rules = folder(lib, "0", "公司制度", admin, 60);
    grant(rules, "G", org, "AVD", 1);
    namespace dv = demoversions;
    std::string handbook = file(lib, rules, "员工手册.docx", admin, 55,
                                {{dc::docx(dv::handbook(1)), "初始版本"},
                                 {dc::docx(dv::handbook(2)), "修订考勤章节"},
                                 {dc::docx(dv::handbook(3)), "2024年修订"}});
    file(lib, rules, "考勤制度.pdf", admin, 50,
         {{dc::pdf({"Attendance policy", "Working hours: 9:00 - 18:00"}), "初始版本"}});
    std::string expenses =
        file(lib, rules, "报销流程.xlsx", admin, 45,
             {{dc::xlsx({{"步骤", "说明"}, {"1", "填写报销单"}}), "初始版本"},
              {dc::xlsx({{"步骤", "说明"}, {"1", "填写报销单"}, {"2", "部门经理审批"}}),
               "增加审批步骤"}});
    std::string hr = folder(lib, rules, "人事", admin, 40);
    std::string year = folder(lib, hr, "2024", admin, 30);
    file(lib, year, "招聘计划.docx", admin, 28, {{dc::docx({"2024年招聘计划"}), "初始版本"}});
    file(lib, year, "入职指引.txt", admin, 27,
         {{"入职第一天：领取工牌、电脑，参加新员工培训。\n", "初始版本"}});

    // 研发中心: the department works here; the others only see the folder.
    std::string rdFolder = folder(lib, "0", "研发中心", admin, 59);
    grant(rdFolder, "G", rd, "ACMVPDER", 1);
    grant(rdFolder, "G", org, "A", 4);
    std::string design = folder(lib, rdFolder, "设计文档", zhangsan, 35);
    std::string apiDoc = file(lib, design, "接口说明.md", zhangsan, 33,
                              {{"# 接口说明\n\n所有接口返回 code、msg、data。\n", "初始版本"}});
    file(lib, design, "架构图.png", lisi, 32, {{dc::png(160, 120, 0x2e86de), "初始版本"}});
    std::string requirements = file(lib, design, "需求说明.docx", lisi, 31,
                                    {{dc::docx({"需求说明 v1"}), "初始版本"},
                                     {dc::docx({"需求说明 v2", "增加导出功能"}), "增加导出功能"}});
    store.setLock(requirements, lisi, now - 3600 * 1000);
    std::string database = folder(lib, design, "数据库", lisi, 30);
    file(lib, database, "schema.sql", lisi, 29,
         {{"CREATE TABLE demo(id INTEGER PRIMARY KEY, name TEXT);\n", "初始版本"}});
    std::string source = folder(lib, rdFolder, "源码", lisi, 34);
    file(lib, source, "main.cpp", lisi, 20,
         {{"#include <cstdio>\n\nint main()\n{\n    std::puts(\"hello\");\n}\n", "初始版本"}});
    file(
        lib, source, "构建脚本.zip", lisi, 19,
        {{dc::zip({{"build.sh", "#!/bin/sh\nmake\n"}, {"README.txt", "构建说明\n"}}), "初始版本"}});
    std::string testReport = file(lib, rdFolder, "测试报告.csv", zhangsan, 10,
                                  {{"用例,结果\n登录,通过\n上传,通过\n", "初始版本"}});

    // 市场部: hidden from everybody outside the department.
    std::string marketFolder = folder(lib, "0", "市场部", admin, 58);
    grant(marketFolder, "G", market, "L", 1);
    std::string brochure =
        file(lib, marketFolder, "宣传册.pdf", wangwu, 15,
             {{dc::pdf({"Product brochure", "Folvane document server"}), "初始版本"}});
    std::string customers =
        file(lib, marketFolder, "客户名单.xlsx", wangwu, 14,
             {{dc::xlsx({{"客户", "联系人"}, {"甲公司", "陈先生"}}), "初始版本"}});

    // 公共资料: everybody reads and writes, nobody but the creator deletes.
    std::string shared = folder(lib, "0", "公共资料", admin, 57);
    grant(shared, "G", org, "ACMVPDE", 1);
    std::string minutes = file(lib, shared, "会议纪要.txt", zhaoliu, 5,
                               {{dv::meetingNotes(1), "初始版本"},
                                {dv::meetingNotes(2), "补充会议决定"},
                                {dv::meetingNotes(3), "例会时间调整"}});
    file(lib, shared, "产品介绍.pptx", wangwu, 6,
         {{dc::pptx(dv::productSlides(1)), "初始版本"},
          {dc::pptx(dv::productSlides(2)), "增加客户案例"}});
    file(lib, shared, "通讯录.xlsx", zhaoliu, 6,
         {{dc::xlsx({{"姓名", "部门"}, {"张三", "前端组"}, {"李四", "后端组"}}), "初始版本"}});
    file(lib, shared, "logo.svg", admin, 7,
         {{"<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\">"
           "<circle cx=\"32\" cy=\"32\" r=\"28\" fill=\"#0696f5\"/></svg>\n",
           "初始版本"}});

    // 行政部: its own files are visible to all, its subfolder only to the department.
    std::string officeFolder = folder(lib, "0", "行政部", admin, 56);
    grant(officeFolder, "G", office, "ACMVPDER", 1);
    grant(officeFolder, "G", org, "AV", 3);
    file(lib, officeFolder, "办公用品清单.xlsx", zhaoliu, 9,
         {{dc::xlsx({{"物品", "数量"}, {"打印纸", "20"}}), "初始版本"}});
    std::string internal = folder(lib, officeFolder, "内部", zhaoliu, 8);
    file(lib, internal, "薪资表.xlsx", zhaoliu, 8,
         {{dc::xlsx({{"姓名", "薪资"}, {"示例", "0"}}), "初始版本"}});

    // A net disk per user.
    std::map<std::string, std::string> notes, todos;
    for (const auto &[id, name] :
         std::vector<std::pair<std::string, std::string>>{{admin, "系统管理员"},
                                                          {zhangsan, "张三"},
                                                          {lisi, "李四"},
                                                          {wangwu, "王五"},
                                                          {zhaoliu, "赵六"}}) {
        std::string docs = folder(id, "0", "我的文档", id, 20);
        notes[id] = file(id, docs, "笔记.txt", id, 18, {{name + "的笔记\n", ""}});
        std::string photos = folder(id, "0", "照片", id, 16);
        file(id, photos, "风景.png", id, 16, {{dc::png(120, 80, 0x27ae60), ""}});
        todos[id] = file(id, "0", "待办.txt", id, 2, {{"1. 整理文档\n", ""}});
    }

    // 知识库: Chinese text documents for the full-text search.
    std::string knowledge = folder(lib, shared, "知识库", admin, 12);
    file(lib, knowledge, "服务器部署说明.md", lisi, 11,
         {{"# 服务器部署说明\n\n部署前先做数据库备份。服务器使用 SQLite 数据库，"
           "全文检索由 FTS5 提供。\n升级步骤：停止服务、备份数据目录、替换程序、启动服务。\n",
           "初始版本"}});
    file(lib, knowledge, "项目管理规范.txt", admin, 9,
         {{"项目管理规范\n\n每个项目设项目经理一名，每周五提交周报。需求变更须经评审，"
           "评审记录归档到文档管理系统。\n",
           "初始版本"}});
    file(lib, knowledge, "常见问题.txt", zhaoliu, 4,
         {{"常见问题\n\n问：忘记密码怎么办？\n答：请联系行政部重置密码。\n"
           "问：文档管理系统支持哪些格式？\n答：支持 Word、Excel、PDF 和图片等常见格式。\n",
           "初始版本"}});
    file(lib, officeFolder, "年会通知.txt", zhaoliu, 3,
         {{"年会通知\n\n公司年会定于本月最后一个周五举行，请各部门提前准备节目。\n", "初始版本"}});

    // Announcements, newest first in the list.
    notice("系统升级通知", "本周六 22:00 至 24:00 文档服务器升级，期间暂停服务，请提前保存工作。",
           1);
    notice("新版员工手册发布", "《员工手册》2024年修订版已发布在“公司制度”文件夹，请全体员工阅读。",
           3);
    notice("年会通知", "公司年会定于本月最后一个周五举行，请各部门提前准备节目。", 6);
    notice("欢迎使用 Folvane 文档管理系统", "在这里可以管理、分享和检索公司的全部文档。", 30);

    // Favourite categories and favourites, subscriptions and use counts.
    for (const std::string &id : {admin, zhangsan, lisi, wangwu, zhaoliu}) {
        std::vector<std::string> cats;
        int sort = 0;
        for (const char *name : {"常用文档", "项目资料", "学习资料"})
            cats.push_back(category(id, name, sort++));
        if (id == zhangsan) {
            favourite(id, handbook, cats[0], 8);
            favourite(id, apiDoc, cats[1], 5);
            favourite(id, minutes, cats[0], 2);
        } else {
            favourite(id, handbook, cats[0], 6);
            favourite(id, minutes, cats[1], 1);
        }
        store.insertSubscription(id, shared, now - 20 * day);
        store.insertSubscription(id, rules, now - 20 * day);
        for (int i = 0; i < 5; ++i)
            store.countUse(id, handbook, now - i * day);
        for (int i = 0; i < 3; ++i)
            store.countUse(id, minutes, now - i * day);
        store.countUse(id, expenses, now - 2 * day);
    }
    for (int i = 0; i < 7; ++i)
        store.countUse(zhangsan, apiDoc, now - i * day);

    // Shares and publications in both directions between the demo users.
    share("share", lisi, {requirements}, {{"U", zhangsan}, {"U", wangwu}}, "AVD",
          "需求有更新，请查阅", 4, 0);
    share("share", zhangsan, {apiDoc}, {{"G", market}}, "AVD", "接口说明供参考", 3, 0);
    share("share", wangwu, {brochure}, {{"U", zhangsan}, {"G", rd}}, "AVD", "新版宣传册", 2, 0);
    share("publish", wangwu, {customers}, {{"U", zhangsan}, {"U", lisi}}, "AVD", "", 5, 30);
    share("publish", zhangsan, {apiDoc}, {{"U", wangwu}, {"G", office}}, "AVP", "", 1, 7);
    share("publish", admin, {expenses, testReport}, {{"G", office}}, "AVD", "", 2, 30);
    share("netshare", zhangsan, {notes[zhangsan]}, {{"U", lisi}}, "AVD", "我的笔记", 2, 14);
    share("netshare", lisi, {todos[lisi]}, {{"U", zhangsan}, {"U", wangwu}}, "AVDE", "一起整理", 1,
          7);
    share("netshare", wangwu, {notes[wangwu]}, {{"G", org}}, "AV", "", 1, 7);
    tx.commit();

    out << "demo data: seeded. Accounts (account / password / nickname):\n"
        << "  admin     admin123  系统管理员 (administrator)\n"
        << "  zhangsan  123456    张三 (研发中心/前端组)\n"
        << "  lisi      123456    李四 (研发中心/后端组)\n"
        << "  wangwu    123456    王五 (市场部)\n"
        << "  zhaoliu   123456    赵六 (行政部)" << std::endl;
    return true;
}
