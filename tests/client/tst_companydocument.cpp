// The company library browser against folvane-server with the demo data:
// listing and navigation, the context menus and the permission test, opening
// through the cache, downloads, uploads, rename, delete, copy and move.

#include "app/startup.h"
#include "browse/companydocument.h"
#include "browse/droptablewidget.h"
#include "browse/topbanner.h"
#include "browserhelpers.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "menuanswer.h"
#include "modalanswer.h"
#include "models/treeviewmodel.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "testmain.h"
#include "transfer/transferpanel.h"
#include "widgets/treeview.h"

#include <QDesktopServices>
#include <QDirIterator>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QToolButton>

#include <memory>

namespace {

// Records the files the browser hands to the desktop instead of opening them.
QStringList names(const DocumentBrowser &b)
{
    QStringList out;
    for (int row = 0; row < b.table->rowCount(); ++row)
        out << b.table->item(row, 0)->text();
    return out;
}

QStringList crumbs(const DocumentBrowser &b)
{
    QStringList out;
    if (!b.crumbWidget)
        return out;
    const QList<QPushButton *> buttons = b.crumbWidget->findChildren<QPushButton *>();
    for (const QPushButton *button : buttons)
        out << button->text();
    return out;
}

QPushButton *crumbButton(const DocumentBrowser &b, const QString &text)
{
    const QList<QPushButton *> buttons = b.crumbWidget->findChildren<QPushButton *>();
    for (QPushButton *button : buttons) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

QModelIndex treeIndex(const DocumentBrowser &b, const QString &name)
{
    const QModelIndexList found = b.treeModel->match(
        b.treeModel->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly | Qt::MatchRecursive);
    return found.value(0);
}

QVariantMap entry(const QString &id, int type, const QString &name, const QString &ext,
                  const QString &auth)
{
    return {{"fileId", id},     {"fileType", type},    {"fileName", name},    {"fileExtend", ext},
            {"authList", auth}, {"lastModifyTime", 0}, {"fileLength", "1 B"}, {"length", 1},
            {"user", "u"},      {"version_desc", ""}};
}

QVariantMap listing(const ServerProcess &server, const QString &token, const QString &parentId,
                    const QString &path = "/api/file/list-file.jf")
{
    return HttpCurl::instance()
        ->postJson(server.url() + path, {{"token", token}, {"parentId", parentId}})
        .toMap();
}

// Every regular file below `dir`.
QStringList filesBelow(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    return out;
}

void answerBoxWith(QString *text, const QString &button = "OK")
{
    answerNextModal([text, button](QWidget *modal) {
        QStringList lines;
        for (const QLabel *label : modal->findChildren<QLabel *>()) {
            if (!label->text().isEmpty())
                lines << label->text();
        }
        *text = modal->windowTitle() + "|" + lines.join('\n');
        const QList<QAbstractButton *> buttons = modal->findChildren<QAbstractButton *>();
        for (QAbstractButton *b : buttons) {
            if (b->text().remove('&') == button) {
                b->click();
                return;
            }
        }
        modal->close();
    });
}

} // namespace

class TestCompanyDocument : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServerProcess> server;
    QString token;
    std::unique_ptr<TransferPanel> panel;

    std::unique_ptr<CompanyDocument> makeBrowser()
    {
        auto b = std::make_unique<CompanyDocument>();
        b->resize(1000, 600);
        b->show();
        // The start-up asks twice (the empty id first, then "0").
        const bool listed = QTest::qWaitFor([&] {
            return b->currentFolderId == QLatin1String("0") &&
                   rowOf(*b, QStringLiteral("研发中心")) >= 0 && b->treeModel->rowCount() > 0;
        });
        if (!listed)
            qWarning("the library did not list its top folder");
        return b;
    }

    QString idOf(const QString &parentId, const QString &name)
    {
        return findEntry(listing(*server, token, parentId), name).value("fileId").toString();
    }

private slots:
    void initTestCase()
    {
        server = std::make_unique<ServerProcess>();
        QVERIFY2(server->start(), qPrintable(server->error()));
        server->configureClient();
        token = server->login("zhangsan", "123456");
        QVERIFY(!token.isEmpty());
        GCore::instance()->setToken(token);
        GCore::instance()->setUserInfo({{"username", "zhangsan"}, {"maxUploadNum", 1}});
        panel = std::make_unique<TransferPanel>();
    }

    void cleanupTestCase()
    {
        panel.reset();
        server.reset();
    }

    void rowsShowTheListing()
    {
        auto b = makeBrowser();
        QCOMPARE(crumbs(*b), QStringList({"公司文档"}));
        QCOMPARE(b->currentFolderId, QStringLiteral("0"));
        QVERIFY(b->table->isColumnHidden(6));
        b->requestFileList(idOf("0", "公司制度"), false);
        QTRY_VERIFY(rowOf(*b, "考勤制度.pdf") >= 0);
        const int pdf = rowOf(*b, "考勤制度.pdf");
        QCOMPARE(b->table->item(pdf, 3)->text(), QStringLiteral("PDF文件"));
        QCOMPARE(b->table->item(pdf, 5)->text(), QStringLiteral("637B"));
        QCOMPARE(b->table->item(pdf, 2)->toolTip(), QStringLiteral("初始版本"));
        const QVariantMap e = b->table->item(pdf, 0)->data(Qt::UserRole + 2).toMap();
        QCOMPARE(b->table->item(pdf, 0)->data(Qt::UserRole + 1).toString(),
                 e.value("fileId").toString());
        QCOMPARE(b->table->item(pdf, 1)->text(),
                 QDateTime::fromMSecsSinceEpoch(e.value("lastModifyTime").toLongLong())
                     .toString("yyyy-MM-dd HH:mm:ss"));
        QCOMPARE(b->table->item(rowOf(*b, "人事"), 3)->text(), QStringLiteral("文件夹"));
    }

    void navigationKeepsTableTreeAndBreadcrumbInStep()
    {
        auto b = makeBrowser();
        const QString rd = idOf("0", "研发中心");
        const QString design = idOf(rd, "设计文档");

        // Tree click.
        const QModelIndex rdNode = treeIndex(*b, "研发中心");
        QVERIFY(rdNode.isValid());
        b->treeView->scrollTo(rdNode);
        QTest::mouseClick(b->treeView->viewport(), Qt::LeftButton, Qt::NoModifier,
                          b->treeView->visualRect(rdNode).center());
        QTRY_VERIFY(rowOf(*b, "测试报告.csv") >= 0);
        QCOMPARE(b->currentFolderId, rd);
        QCOMPARE(crumbs(*b), QStringList({"公司文档", "研发中心"}));

        // Clicking the node that is listed sends nothing (the table stays
        // filled); the reload button always asks again (the table empties).
        QTest::mouseClick(b->treeView->viewport(), Qt::LeftButton, Qt::NoModifier,
                          b->treeView->visualRect(rdNode).center());
        QCOMPARE(b->table->rowCount(), 3);
        b->reloadButton->click();
        QCOMPARE(b->table->rowCount(), 0);
        QTRY_COMPARE(b->table->rowCount(), 3);

        // The filter is cleared by navigation.
        b->filterEdit->setText("测试");
        QVERIFY(!b->table->isRowHidden(rowOf(*b, "测试报告.csv")));
        QVERIFY(b->table->isRowHidden(rowOf(*b, "源码")));

        // Double click on a folder row.
        b->tableDoubleClicked(b->table->model()->index(rowOf(*b, "设计文档"), 0));
        QVERIFY(b->filterEdit->text().isEmpty());
        QTRY_VERIFY(rowOf(*b, "数据库") >= 0);
        QCOMPARE(b->currentFolderId, design);
        QCOMPARE(b->treeView->currentIndex().data(Qt::UserRole + 1).toString(), design);
        QCOMPARE(crumbs(*b), QStringList({"公司文档", "研发中心", "设计文档"}));
        for (int row = 0; row < b->table->rowCount(); ++row)
            QVERIFY(!b->table->isRowHidden(row));

        // Breadcrumb.
        crumbButton(*b, "研发中心")->click();
        QTRY_VERIFY(rowOf(*b, "源码") >= 0);
        QCOMPARE(b->currentFolderId, rd);
        QCOMPARE(crumbs(*b), QStringList({"公司文档", "研发中心"}));

        // "打开" in a folder's menu.
        menuAt(*b, rowOf(*b, "源码"), "打开");
        QTRY_VERIFY(rowOf(*b, "main.cpp") >= 0);
        QCOMPARE(b->treeView->currentIndex().data().toString(), QStringLiteral("源码"));
        QCOMPARE(crumbs(*b), QStringList({"公司文档", "研发中心", "源码"}));

        crumbButton(*b, "公司文档")->click();
        QTRY_VERIFY(rowOf(*b, "行政部") >= 0);
        QCOMPARE(crumbs(*b), QStringList({"公司文档"}));
    }

    void treeBreadcrumbAndTableNameTheSameFolder()
    {
        auto b = makeBrowser();
        auto treeId = [&b] {
            return b->treeView->currentIndex().data(Qt::UserRole + 1).toString();
        };
        // At start: the top folder, not the share folder that sorts first.
        QCOMPARE(treeId(), QStringLiteral("0"));
        QCOMPARE(crumbs(*b), QStringList({"公司文档"}));

        // A share folder is named by itself in the breadcrumb.
        const QModelIndex shared = treeIndex(*b, "分享给我的");
        QTest::mouseClick(b->treeView->viewport(), Qt::LeftButton, Qt::NoModifier,
                          b->treeView->visualRect(shared).center());
        QCOMPARE(b->currentFolderId, QStringLiteral("-9"));
        QCOMPARE(crumbs(*b), QStringList({"分享给我的"}));
        QTRY_VERIFY(b->table->rowCount() > 0);

        // A folder the tree does not hold (inside a colleague's shared
        // folder): one step further in the breadcrumb, its share folder
        // stays current in the tree, and the breadcrumb leads back.
        b->fillTable({entry("f00dfeedf00dfeed", 1, "共享资料", "", "A")});
        b->tableDoubleClicked(b->table->model()->index(0, 0));
        QCOMPARE(b->currentFolderId, QStringLiteral("f00dfeedf00dfeed"));
        QCOMPARE(crumbs(*b), QStringList({"分享给我的", "共享资料"}));
        QCOMPARE(treeId(), QStringLiteral("-9"));
        crumbButton(*b, "分享给我的")->click();
        QCOMPARE(b->currentFolderId, QStringLiteral("-9"));
        QCOMPARE(crumbs(*b), QStringList({"分享给我的"}));

        // The home icon lists the top folder.
        auto *home = b->crumbWidget->findChild<QToolButton *>("homeButton");
        QVERIFY(home);
        home->click();
        QCOMPARE(b->currentFolderId, QStringLiteral("0"));
        QCOMPARE(treeId(), QStringLiteral("0"));
        QCOMPARE(crumbs(*b), QStringList({"公司文档"}));
        QTRY_VERIFY(rowOf(*b, "研发中心") >= 0);
    }

    void lateReplyOfAnEarlierFolderIsDropped()
    {
        auto b = makeBrowser();
        const QString rules = idOf("0", "公司制度");
        const QString office = idOf("0", "行政部");
        b->requestFileList(rules, false);
        b->requestFileList(office, false);
        QTRY_VERIFY(rowOf(*b, "办公用品清单.xlsx") >= 0);
        QTest::qWait(300);
        QStringList expected;
        for (const QVariant &entry : listing(*server, token, office).value("data").toList())
            expected << entry.toMap().value("fileName").toString();
        QCOMPARE(names(*b), expected);
        QCOMPARE(b->currentFolderId, office);
    }

    void showFolderSelectsTheRow()
    {
        auto b = makeBrowser();
        const QString rules = idOf("0", "公司制度");
        const QString pdf = idOf(rules, "考勤制度.pdf");
        b->showFolder(rules, pdf);
        QTRY_VERIFY(rowOf(*b, "考勤制度.pdf") >= 0);
        QCOMPARE(b->selectedIds(), QStringList({pdf}));
        QCOMPARE(crumbs(*b), QStringList({"公司文档", "公司制度"}));

        // Opened before the browser's own start-up listing: that one gives way.
        CompanyDocument early;
        early.showFolder(rules, pdf);
        QTRY_VERIFY(rowOf(early, "考勤制度.pdf") >= 0);
        QTest::qWait(200);
        QCOMPARE(early.currentFolderId, rules);
        QCOMPARE(early.selectedIds(), QStringList({pdf}));
    }

    void failedListingShowsTheRetryLink()
    {
        auto b = makeBrowser();
        GCore::instance()->setToken("expired");
        b->reloadList();
        QTRY_VERIFY(b->tableErrorLabel->isVisible());
        QCOMPARE(b->table->rowCount(), 0);
        GCore::instance()->setToken(token);
        auto *retry = b->tableErrorLabel->findChild<QLabel *>();
        QVERIFY(retry);
        QCOMPARE(retry->text(), QStringLiteral("请重试"));
        QTest::mouseClick(retry, Qt::LeftButton);
        QTRY_VERIFY(rowOf(*b, "研发中心") >= 0);
        QVERIFY(!b->tableErrorLabel->isVisible());
    }

    void refusedFolderShowsTheServersReason()
    {
        auto b = makeBrowser();
        const QString rules = idOf("0", "公司制度");
        const QModelIndex rulesNode = treeIndex(*b, "公司制度");
        b->treeView->scrollTo(rulesNode);
        QTest::mouseClick(b->treeView->viewport(), Qt::LeftButton, Qt::NoModifier,
                          b->treeView->visualRect(rulesNode).center());
        QTRY_VERIFY(rowOf(*b, "人事") >= 0);

        // 市场部 is the department's own: the server refuses 张三 and says why.
        const QString admin = server->login("admin", "admin123");
        const QString market =
            findEntry(listing(*server, admin, "0"), "市场部").value("fileId").toString();
        QVERIFY(!market.isEmpty());
        const QString reason = listing(*server, token, market).value("msg").toString();
        QVERIFY(!reason.isEmpty());
        b->requestFileList(market, false);
        QTRY_VERIFY(b->tableErrorLabel->isVisible());
        QCOMPARE(b->tableErrorLabel->text(), reason + "，");
        saveShot(b.get(), "library-refused");
        auto *retry = b->tableErrorLabel->findChild<QLabel *>();
        QVERIFY(b->tableErrorLabel->width() >=
                retry->x() + retry->fontMetrics().horizontalAdvance(retry->text()));
        // The breadcrumb and the tree stay at the folder shown before, and
        // "请重试" lists that one.
        QCOMPARE(b->currentFolderId, rules);
        QCOMPARE(crumbs(*b), QStringList({"公司文档", "公司制度"}));
        QCOMPARE(b->treeView->currentIndex().data(Qt::UserRole + 1).toString(), rules);
        QTest::mouseClick(retry, Qt::LeftButton);
        QTRY_VERIFY(rowOf(*b, "人事") >= 0);
        QVERIFY(!b->tableErrorLabel->isVisible());
    }

    void menusFollowTheRights()
    {
        auto b = makeBrowser();
        const QStringList basicAll{"基本操作>重命名", "基本操作>复制", "基本操作>移动",
                                   "基本操作>删除", "基本操作>收藏"};
        b->fillTable({entry("1", 2, "a.docx", "docx", "L"), entry("2", 1, "dir", "", "L"),
                      entry("3", 2, "v.pdf", "pdf", "A,V"), entry("4", 2, "d.pdf", "pdf", "D"),
                      entry("5", 2, "e.DOCX", " DOCX ", "E"), entry("6", 2, "e.pdf", "pdf", "E")});

        b->table->selectRow(0);
        QCOMPARE(menuAt(*b, 0),
                 QStringList({"预览", "版本列表", "下载", "上传更新", "编辑"}) + basicAll +
                     QStringList({"管理操作>添加权限", "管理操作>发布", "分享", "外部链接"}));
        b->table->selectRow(1);
        QCOMPARE(menuAt(*b, 1),
                 QStringList({"打开"}) + basicAll +
                     QStringList({"管理操作>添加权限", "管理操作>发布", "分享", "外部链接"}));
        b->table->selectRow(2);
        QCOMPARE(menuAt(*b, 2), QStringList({"预览", "基本操作>收藏", "分享", "外部链接"}));
        b->table->selectRow(3);
        QCOMPARE(menuAt(*b, 3), QStringList({"版本列表", "下载", "基本操作>复制", "基本操作>收藏",
                                             "分享", "外部链接"}));
        b->table->selectRow(4);
        QCOMPARE(menuAt(*b, 4), QStringList({"上传更新", "编辑", "基本操作>重命名", "基本操作>复制",
                                             "基本操作>收藏", "分享", "外部链接"}));
        b->table->selectRow(5);
        QVERIFY(!menuAt(*b, 5).contains("编辑"));

        // A file with "D" and one without: the multi-selection "下载" is gone.
        b->table->clearSelection();
        b->table->selectionModel()->select(b->table->model()->index(3, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        b->table->selectionModel()->select(b->table->model()->index(2, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QStringList mixed = menuAt(*b, 3);
        QVERIFY(mixed.contains("版本列表"));
        QVERIFY(!mixed.contains("下载"));
        QVERIFY(!mixed.contains("基本操作>复制"));
        QCOMPARE(b->selectedIds(), QStringList({"3", "4"}));

        // A left press opens no menu.
        QTest::mouseClick(b->table->viewport(), Qt::LeftButton, Qt::NoModifier,
                          b->table->visualRect(b->table->model()->index(0, 0)).center());
        QVERIFY(!QApplication::activePopupWidget());
    }

    void toolbarDownloadTakesOnlyPermittedFiles()
    {
        auto b = makeBrowser();
        const QString rules = idOf("0", "公司制度");
        QVariantMap permitted = findEntry(listing(*server, token, rules), "员工手册.docx");
        QVariantMap folder = findEntry(listing(*server, token, rules), "人事");
        QVariantMap viewOnly =
            findEntry(listing(*server, token, idOf("0", "行政部")), "办公用品清单.xlsx");
        b->fillTable({permitted, viewOnly, folder});
        b->table->selectAll();
        QTemporaryDir target;
        // The file left out is named before the folder question.
        QString box;
        answerBoxWith(&box);
        answerFileDialog({target.path()});
        b->downloadFile();
        QCOMPARE(box,
                 QStringLiteral("下载提示|以下1个文件没有下载权限，不会下载：\n办公用品清单.xlsx"));
        QVERIFY(panel->isDownloading(permitted.value("fileId").toString()));
        QVERIFY(!panel->isDownloading(viewOnly.value("fileId").toString()));
        QVERIFY(!panel->isDownloading(folder.value("fileId").toString()));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(target.filePath("员工手册.docx")), 10000);

        // Nothing permitted: the reason, and no folder question at all.
        b->table->clearSelection();
        b->table->selectRow(1);
        box.clear();
        answerBoxWith(&box);
        b->downloadFile();
        QCOMPARE(box,
                 QStringLiteral("下载出错|以下1个文件没有下载权限，不会下载：\n办公用品清单.xlsx"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void openingUsesTheCache()
    {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        auto b = makeBrowser();
        const QString common = idOf("0", "公共资料");
        b->requestFileList(common, false);
        QTRY_VERIFY(rowOf(*b, "会议纪要.txt") >= 0);
        const int row = rowOf(*b, "会议纪要.txt");
        const QVariantMap e = b->table->item(row, 0)->data(Qt::UserRole + 2).toMap();
        b->tableDoubleClicked(b->table->model()->index(row, 0));
        QTRY_COMPARE(recorder.opened.size(), 1);
        const QString path = recorder.opened.first().toLocalFile();
        QVERIFY(path.startsWith(GCore::cacheDir() + "/"));
        // Under the server's file name, in a folder named after its content.
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("会议纪要.txt"));
        QFile cached(path);
        QVERIFY(cached.open(QIODevice::ReadOnly));
        QCOMPARE(cached.size(), e.value("length").toLongLong());
        QCOMPARE(HttpCurl::md5Hex(cached.readAll()), QFileInfo(path).dir().dirName());
        QVERIFY(QFileInfo::exists(path + ".log"));
        QCOMPARE(b->table->item(row, 1)->text(),
                 QDateTime::fromMSecsSinceEpoch(e.value("lastModifyTime").toLongLong())
                     .toString("yyyy-MM-dd HH:mm:ss"));

        // Unchanged: opened again without a download (which would log anew).
        auto logged = [&path] {
            QFile log(path + ".log");
            return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        };
        const QByteArray firstLog = logged();
        QTest::qWait(5);
        b->openFile(e, b->table->item(row, 1));
        QTRY_COMPARE(recorder.opened.size(), 2);
        QCOMPARE(logged(), firstLog);

        // Changed by the user after the download: fetched again.
        QVERIFY(cached.setFileTime(QDateTime::currentDateTime().addSecs(60),
                                   QFileDevice::FileModificationTime));
        cached.close();
        b->openFile(e, b->table->item(row, 1));
        QTRY_COMPARE(recorder.opened.size(), 3);
        QVERIFY(logged() != firstLog);
        QVERIFY(b->openThreads.isEmpty());
        QDesktopServices::unsetUrlHandler("file");
    }

    void lockedFilesShowTheirHolder()
    {
        auto b = makeBrowser();
        b->requestFileList(idOf(idOf("0", "研发中心"), "设计文档"), false);
        QTRY_VERIFY(rowOf(*b, "需求说明.docx") >= 0);
        const QTableWidgetItem *locked = b->table->item(rowOf(*b, "需求说明.docx"), 0);
        QVERIFY2(locked->toolTip().contains("李四") && locked->toolTip().contains("锁定"),
                 qPrintable(locked->toolTip()));
        QCOMPARE(b->table->item(rowOf(*b, "接口说明.md"), 0)->toolTip(), QString());
        auto image = [](const QIcon &icon) {
            return icon.pixmap(32).toImage().convertToFormat(QImage::Format_ARGB32);
        };
        QVariantMap bare = locked->data(Qt::UserRole + 2).toMap();
        const QImage plain = image(QIcon(GCore::fileIconPath(bare)));
        QVERIFY(image(locked->icon()) != plain);

        // A server that does not report locks: no mark.
        for (const char *key : {"lockUser", "lockUserId", "lockEndTime"})
            bare.remove(key);
        b->fillTable({bare});
        QVERIFY(b->table->item(0, 0)->toolTip().isEmpty());
        QCOMPARE(image(b->table->item(0, 0)->icon()), plain);
    }

    void withoutViewRightNothingOpens()
    {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        auto b = makeBrowser();
        b->fillTable({entry("1", 2, "d.pdf", "pdf", "D")});
        b->tableDoubleClicked(b->table->model()->index(0, 0));
        QTest::qWait(100);
        QVERIFY(recorder.opened.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
        QDesktopServices::unsetUrlHandler("file");
    }

    void renameKeepsTheExtension()
    {
        auto b = makeBrowser();
        b->requestFileList(idOf("0", "公共资料"), false);
        QTRY_VERIFY(rowOf(*b, "logo.svg") >= 0);
        QString prefilled;
        answerNextModal([&prefilled](QWidget *modal) {
            auto *input = qobject_cast<QInputDialog *>(modal);
            QVERIFY(input);
            prefilled = input->textValue();
            input->setTextValue("标志");
            input->accept();
        });
        menuAt(*b, rowOf(*b, "logo.svg"), "基本操作>重命名");
        QCOMPARE(prefilled, QStringLiteral("logo"));
        QTRY_VERIFY(rowOf(*b, "标志.svg") >= 0);
        QCOMPARE(rowOf(*b, "logo.svg"), -1);

        // Without the right: the server's refusal in a box.
        b->requestFileList(idOf("0", "行政部"), false);
        QTRY_VERIFY(rowOf(*b, "办公用品清单.xlsx") >= 0);
        // The row claims a right the server does not grant.
        QVariantMap sheet =
            findEntry(listing(*server, token, idOf("0", "行政部")), "办公用品清单.xlsx");
        sheet.insert("authList", "E");
        b->fillTable({sheet});
        QString box;
        answerNextModal([&box](QWidget *modal) {
            auto *input = qobject_cast<QInputDialog *>(modal);
            input->setTextValue("新名字");
            input->accept();
            answerBoxWith(&box);
        });
        menuAt(*b, 0, "基本操作>重命名");
        QTRY_VERIFY(!box.isEmpty());
        QVERIFY2(box.startsWith("操作出错|"), qPrintable(box));
        QVERIFY2(box.contains("权限"), qPrintable(box));
        QVERIFY(!idOf(idOf("0", "行政部"), "办公用品清单.xlsx").isEmpty());
    }

    void keysAndToolbarAskWhatTheMenuAsks()
    {
        auto b = makeBrowser();
        b->table->setFocus();
        const QString common = idOf("0", "公共资料");
        b->requestFileList(common, false);
        QTRY_VERIFY(rowOf(*b, "产品介绍.pptx") >= 0);

        // F2 renames the selected row through the menu's dialog.
        b->table->selectRow(rowOf(*b, "产品介绍.pptx"));
        QString prefilled;
        answerNextModal([&prefilled](QWidget *modal) {
            auto *input = qobject_cast<QInputDialog *>(modal);
            QVERIFY(input);
            prefilled = input->textValue();
            input->setTextValue("产品演示");
            input->accept();
        });
        QTest::keyClick(b->table, Qt::Key_F2);
        QCOMPARE(prefilled, QStringLiteral("产品介绍"));
        QTRY_VERIFY(rowOf(*b, "产品演示.pptx") >= 0);

        // Enter opens the selected folder.
        b->table->selectRow(rowOf(*b, "知识库"));
        QTest::keyClick(b->table, Qt::Key_Return);
        QCOMPARE(b->currentFolderId, idOf(common, "知识库"));
        QTRY_VERIFY(b->table->rowCount() > 0);

        // Delete asks first, as the menu's "删除" does; "No" keeps the folder.
        const QString rd = idOf("0", "研发中心");
        b->requestFileList(rd, false);
        QTRY_VERIFY(rowOf(*b, "源码") >= 0);
        b->table->selectRow(rowOf(*b, "源码"));
        QString box;
        answerBoxWith(&box, "No");
        QTest::keyClick(b->table, Qt::Key_Delete);
        QVERIFY2(box.startsWith("删除确认|"), qPrintable(box));
        QVERIFY(!idOf(rd, "源码").isEmpty());

        // Without the rights the menu asks for, F2 and the toolbar's "发布" and
        // "删除" say what is missing before any form or question.
        const QString rules = idOf("0", "公司制度");
        b->requestFileList(rules, false);
        QTRY_VERIFY(rowOf(*b, "员工手册.docx") >= 0);
        b->table->selectRow(rowOf(*b, "员工手册.docx"));
        answerBoxWith(&box);
        QTest::keyClick(b->table, Qt::Key_F2);
        QCOMPARE(box, QStringLiteral("操作出错|没有重命名权限：\n员工手册.docx"));
        answerBoxWith(&box);
        b->topBanner->buttons().at(4)->click();
        QCOMPARE(box,
                 QStringLiteral("操作出错|以下项目没有“完全控制”权限，不能发布：\n员工手册.docx"));
        answerBoxWith(&box);
        b->topBanner->buttons().at(7)->click();
        QCOMPARE(box, QStringLiteral("操作出错|没有删除权限：\n员工手册.docx"));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void deleteAsksFirst()
    {
        auto b = makeBrowser();
        const QString rd = idOf("0", "研发中心");
        b->requestFileList(rd, false);
        QTRY_VERIFY(rowOf(*b, "测试报告.csv") >= 0);
        b->table->selectRow(rowOf(*b, "测试报告.csv"));
        QString box;
        answerBoxWith(&box, "No");
        b->deleteItems();
        QVERIFY(box.startsWith("删除确认|"));
        QVERIFY(!b->isChanging());
        QVERIFY(box.contains("是否确认删除所选项？"));
        QVERIFY(!idOf(rd, "测试报告.csv").isEmpty());
        answerBoxWith(&box, "Yes");
        b->deleteItems();
        QTRY_VERIFY(b->table->rowCount() == 2);
        QVERIFY(idOf(rd, "测试报告.csv").isEmpty());
        QCOMPARE(rowOf(*b, "测试报告.csv"), -1);

        // Without the right: refused before any question, in a box wide
        // enough for a window manager to show its title.
        const QPalette palette = qApp->palette();
        startup::applyStyleSheet(*qApp);
        auto unstyle = qScopeGuard([palette] {
            qApp->setStyleSheet(QString());
            qApp->setPalette(palette);
        });
        const QString office = idOf("0", "行政部");
        b->requestFileList(office, false);
        QTRY_VERIFY(rowOf(*b, "办公用品清单.xlsx") >= 0);
        b->table->selectRow(rowOf(*b, "办公用品清单.xlsx"));
        int width = 0, titleWidth = 0;
        box.clear();
        answerNextModal([&](QWidget *modal) {
            box = modal->windowTitle() + "|" + qobject_cast<QMessageBox *>(modal)->text();
            width = modal->width();
            titleWidth = modal->fontMetrics().horizontalAdvance(modal->windowTitle());
            static_cast<QDialog *>(modal)->accept();
        });
        b->deleteItems();
        QCOMPARE(box, QStringLiteral("操作出错|没有删除权限：\n办公用品清单.xlsx"));
        QVERIFY2(width >= titleWidth + 240, qPrintable(QString::number(width)));
        QVERIFY(!idOf(office, "办公用品清单.xlsx").isEmpty());
    }

    void copyAndMoveThroughThePicker()
    {
        auto b = makeBrowser();
        const QString common = idOf("0", "公共资料");
        const QString rd = idOf("0", "研发中心");
        b->requestFileList(common, false);
        QTRY_VERIFY(rowOf(*b, "通讯录.xlsx") >= 0);
        b->table->selectRow(rowOf(*b, "通讯录.xlsx"));

        // Only folders that can receive items, the items' own folder chosen.
        QStringList topRows;
        QString preselected;
        answerNextModal("DFolderTree", [&](QWidget *modal) {
            auto *model = modal->findChild<TreeViewModel *>();
            QTRY_VERIFY(model->rowCount() > 0);
            for (int i = 0; i < model->rowCount(); ++i)
                topRows << model->index(i, 0).data().toString();
            preselected =
                modal->findChild<QTreeView *>()->currentIndex().data(Qt::UserRole + 1).toString();
            static_cast<QDialog *>(modal)->reject();
        });
        b->copyItems();
        QCOMPARE(topRows, QStringList({"公司文档"}));
        QCOMPARE(preselected, common);

        auto pick = [](const QString &folderId, const QString &button) {
            answerNextModal([folderId, button](QWidget *modal) {
                auto *model = modal->findChild<TreeViewModel *>();
                QVERIFY(model);
                QTRY_VERIFY(model->rowCount() > 0);
                model->selectById(folderId);
                for (QPushButton *b : modal->findChildren<QPushButton *>()) {
                    if (b->text() == button) {
                        b->click();
                        return;
                    }
                }
            });
        };
        pick(rd, "确定");
        b->copyItems();
        QVERIFY(!idOf(rd, "通讯录.xlsx").isEmpty());
        QVERIFY(!idOf(common, "通讯录.xlsx").isEmpty());

        // "Already there": nothing is sent (the server would refuse this move:
        // the user has no "R" here), the listing stays.
        pick(common, "确定");
        b->moveItems();
        QVERIFY(!idOf(common, "通讯录.xlsx").isEmpty());
        QTRY_VERIFY(rowOf(*b, "通讯录.xlsx") >= 0);

        const QString design = idOf(rd, "设计文档");
        b->requestFileList(design, false);
        QTRY_VERIFY(rowOf(*b, "需求说明.docx") >= 0);
        b->table->selectRow(rowOf(*b, "需求说明.docx"));
        pick(rd, "确定");
        b->moveItems();
        QTRY_COMPARE(rowOf(*b, "需求说明.docx"), -1);
        QVERIFY(idOf(design, "需求说明.docx").isEmpty());
        QVERIFY(!idOf(rd, "需求说明.docx").isEmpty());

        // A refused move: the message box, and the picker stays open.
        b->requestFileList(idOf("0", "行政部"), false);
        QTRY_VERIFY(rowOf(*b, "办公用品清单.xlsx") >= 0);
        b->table->selectRow(0);
        QString box;
        answerNextModal([rd, &box](QWidget *modal) {
            auto *model = modal->findChild<TreeViewModel *>();
            QTRY_VERIFY(model->rowCount() > 0);
            model->selectById(rd);
            answerBoxWith(&box);
            for (QPushButton *button : modal->findChildren<QPushButton *>()) {
                if (button->text() == "确定")
                    button->click();
            }
            QTRY_VERIFY(!box.isEmpty());
            QVERIFY(modal->isVisible());
            static_cast<QDialog *>(modal)->reject();
        });
        b->moveItems();
        QVERIFY2(box.startsWith("操作出错|没有移动权限"), qPrintable(box));
    }

    void newFolderInTheLibrary()
    {
        auto b = makeBrowser();
        // Branches the user opened stay open when the tree is rebuilt.
        b->treeView->expand(treeIndex(*b, "公司制度"));
        b->tableDoubleClicked(b->table->model()->index(rowOf(*b, "研发中心"), 0));
        QTRY_VERIFY(rowOf(*b, "源码") >= 0);
        b->treeView->expand(treeIndex(*b, "研发中心"));
        QString path, firstError;
        answerNextModal([&](QWidget *modal) {
            const QList<QLineEdit *> edits = modal->findChildren<QLineEdit *>();
            path = edits.at(0)->text();
            QLineEdit *name = edits.at(1);
            QPushButton *save = nullptr;
            for (QPushButton *button : modal->findChildren<QPushButton *>())
                if (button->text() == "保存")
                    save = button;
            name->setText("源码");
            save->click();
            QTRY_VERIFY(save->isEnabled());
            firstError = labelTexts(modal);
            name->setText("  计划  ");
            save->click();
        });
        b->addFolder();
        QCOMPARE(path, QStringLiteral("公司文档/研发中心"));
        QVERIFY2(firstError.contains("已存在"), qPrintable(firstError));
        QTRY_VERIFY(rowOf(*b, "计划") >= 0);
        QTRY_VERIFY(treeIndex(*b, "计划").isValid());
        QVERIFY(b->treeView->isExpanded(treeIndex(*b, "公司制度")));
        QVERIFY(b->treeView->isExpanded(treeIndex(*b, "研发中心")));
    }

    void uploadsByDialogAndDrop()
    {
        auto b = makeBrowser();
        // The user may not create anything here: the server refuses the
        // uploads and their rows stay in the transfer list.
        const QString office = idOf("0", "行政部");
        b->requestFileList(office, false);
        QTRY_VERIFY(rowOf(*b, "办公用品清单.xlsx") >= 0);
        QTemporaryDir dir;
        const QString a = dir.filePath("甲.txt"), c = dir.filePath("乙.txt"),
                      d = dir.filePath("丙.txt");
        for (const QString &p : {a, c, d}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("x");
        }

        answerFileDialog({a});
        b->uploadFile();
        QVERIFY(panel->isUploading(a));
        QString box;
        answerFileDialog({a}, [&box] { answerBoxWith(&box); });
        b->uploadFile();
        QCOMPARE(box, QStringLiteral("上传出错|您上传的文件都已在上传列表里，无法重复上传"));

        answerFileDialog({a, c}, [&box] { answerBoxWith(&box); });
        b->uploadFile();
        QCOMPARE(box, QStringLiteral("上传重复|以下文件已在上传列表里，将不会重复上传：\n甲.txt"));
        QVERIFY(panel->isUploading(c));

        auto dropBox = [&](const QStringList &files, const QString &button = "OK") {
            QString text;
            answerBoxWith(&text, button);
            b->dropFiles(files);
            return text;
        };
        QCOMPARE(dropBox({a, c}), QStringLiteral("操作出错|软件不支持拖动多个文件上传"));
        QCOMPARE(dropBox({dir.filePath("无.txt")}),
                 QStringLiteral("操作出错|您拖动的文件无法识别"));
        QCOMPARE(dropBox({a}), QStringLiteral("操作出错|您拖动的文件已经在上传列表里"));
        QCOMPARE(dropBox({d}, "No"), QStringLiteral("上传确认|是否将文件上传到当前路径？"));
        QVERIFY(!panel->isUploading(d));
        dropBox({d}, "Yes");
        QVERIFY(panel->isUploading(d));

        // A folder over the limit ("maxUploadNum" 1 means 300).
        QTemporaryDir big;
        for (int i = 0; i < 300; ++i) {
            QFile small(big.filePath(QString::number(i)));
            QVERIFY(small.open(QIODevice::WriteOnly));
        }
        QCOMPARE(dropBox({big.path()}),
                 QStringLiteral("操作出错|文件夹包含文件超出数量限制：300个"));
    }

    void openDownloadsAgainstAScriptedServer()
    {
        struct State
        {
            QByteArray md5 = "0123456789abcdef0123456789abcdef";
            QByteArray download = "content";
            bool slow = false;
            bool announceLength = true;
        };
        auto state = std::make_shared<State>();
        ScriptedHttpServer scripted;
        const quint16 port = scripted.start([state](const QByteArray &request) {
            ScriptedHttpServer::Reply r;
            if (request.startsWith("POST /api/file/md5.jf")) {
                r.bytes =
                    ScriptedHttpServer::okReply("{\"code\":0,\"md5\":\"" + state->md5 + "\"}");
            } else if (request.startsWith("POST /api/file/download.jf") && state->slow) {
                const qint64 total = 1000000000;
                // Without a length the transport learns no total either.
                r.bytes = state->announceLength
                              ? "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(total) +
                                    "\r\n\r\n"
                              : QByteArray("HTTP/1.1 200 OK\r\n"
                                           "Connection: close\r\n\r\n");
                r.trickleBytes = total;
                r.trickleIntervalMs = 10;
            } else if (request.startsWith("POST /api/file/download.jf")) {
                r.bytes = ScriptedHttpServer::okReply(state->download, "application/octet-stream");
            } else {
                r.bytes = ScriptedHttpServer::okReply("{\"code\":0,\"data\":[]}");
            }
            return r;
        });
        GCore::instance()->writeSettings({{"host", "127.0.0.1"}, {"port", QString::number(port)}});
        auto restore = qScopeGuard([this] { server->configureClient(); });
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        auto unhandle = qScopeGuard([] { QDesktopServices::unsetUrlHandler("file"); });

        CompanyDocument b;
        // Let the listings of the start-up go by: a listing cancels opens.
        QTRY_VERIFY(std::count_if(scripted.requests().cbegin(), scripted.requests().cend(),
                                  [](const QByteArray &r) {
                                      return r.startsWith("POST /api/file/list-file.jf");
                                  }) >= 2);
        QTest::qWait(200);
        QTableWidgetItem dateItem("date");
        const QVariantMap e = entry("7", 2, "a.txt", "txt", "L");
        const QString path = DocumentBrowser::cachePath(state->md5, e);

        // Navigating away cancels the download and leaves nothing behind.
        state->slow = true;
        QVariantMap big = e;
        big.insert("length", 1000000000);
        b.openFile(big, &dateItem);
        QTRY_VERIFY(dateItem.text().startsWith("正在打开("));
        QVERIFY(dateItem.text().endsWith("%)..."));
        b.requestFileList("elsewhere", false);
        // Its reply would clear the items of the opens started below, at
        // whatever moment it arrives; the listing itself is not under test.
        b.forgetPendingListing();
        QTRY_VERIFY(b.openThreads.isEmpty());
        QVERIFY(filesBelow(QFileInfo(path).absolutePath()).isEmpty());
        QVERIFY(recorder.opened.isEmpty());

        // A size of 0 shows no percentage while no total is known.
        state->announceLength = false;
        QVariantMap empty = e;
        empty.insert("length", 0);
        b.openFile(empty, &dateItem);
        QTRY_VERIFY(b.openProgress.value("7") && b.openProgress.value("7")->downloaded > 0);
        QTest::qWait(600); // one more tick of the 500 ms progress display
        QCOMPARE(dateItem.text(), QStringLiteral("正在打开..."));
        b.reloadList();
        b.forgetPendingListing();
        QTRY_VERIFY(b.openThreads.isEmpty());
        state->slow = false;

        // A refusal in place of the file.
        state->download = "{\"code\":1,\"msg\":\"没有下载权限\"}";
        b.openFile(e, &dateItem);
        QTRY_COMPARE(dateItem.text(), QStringLiteral("打开出错"));
        QVERIFY(!QFileInfo::exists(path));

        // The old copy cannot be replaced.
        state->download = "new content";
        QVERIFY(QDir().mkpath(path));
        QString box;
        answerBoxWith(&box);
        b.openFile(e, &dateItem);
        QTRY_COMPARE(box, QStringLiteral("操作出错|文件已被其它程序占用，请先关闭这些程序"));
        QCOMPARE(dateItem.text(), QStringLiteral("打开出错"));
        QVERIFY(QDir().rmdir(path));

        // Success: the file, its log, and the desktop opens it.
        b.openFile(e, &dateItem);
        QTRY_COMPARE(recorder.opened.size(), 1);
        QCOMPARE(recorder.opened.first(), QUrl::fromLocalFile(path));
        QFile cached(path);
        QVERIFY(cached.open(QIODevice::ReadOnly));
        QCOMPARE(cached.readAll(), QByteArray("new content"));
        QCOMPARE(dateItem.text(),
                 QDateTime::fromMSecsSinceEpoch(0).toString("yyyy-MM-dd HH:mm:ss"));

        // Hostile replies never make a path outside the cache: a bad MD5 is
        // refused, a bad name or extension is made one safe name in its folder.
        const QStringList before = filesBelow(QDir::homePath());
        for (const QByteArray &bad : {QByteArray("../../../../../../tmp/folvane-evil"),
                                      QByteArray("0123456789abcdef0123456789abcde"),
                                      QByteArray("0123456789abcdef0123456789abcdef/../../x")}) {
            state->md5 = bad;
            box.clear();
            answerBoxWith(&box);
            b.openFile(e, &dateItem);
            QTRY_COMPARE(box, QStringLiteral("打开出错|服务器返回数据错误"));
        }
        QTest::qWait(100);
        QCOMPARE(filesBelow(QDir::homePath()), before);
        QVERIFY(!QFileInfo::exists("/tmp/folvane-evil.txt"));
        state->md5 = "fedcba9876543210fedcba9876543210";
        const QString md5Folder = GCore::cacheDir() + "/fe/" + state->md5;
        const QList<QPair<QString, QString>> hostile{
            {"../../../evil.txt", "txt"}, {"a.txt", "../../../evil"}, {"/etc/passwd", ""}};
        for (int i = 0; i < hostile.size(); ++i) {
            QVariantMap hostileEntry = e;
            hostileEntry.insert("fileId", QString::number(100 + i));
            hostileEntry.insert("fileName", hostile.at(i).first);
            hostileEntry.insert("fileExtend", hostile.at(i).second);
            b.openFile(hostileEntry, &dateItem);
            QTRY_COMPARE(recorder.opened.size(), 2 + i);
            const QString opened = recorder.opened.last().toLocalFile();
            QCOMPARE(QFileInfo(opened).absolutePath(), md5Folder);
        }
        QVERIFY(!QFileInfo::exists("/tmp/evil.txt"));

        // No answer at all.
        GCore::instance()->writeSettings({{"host", "127.0.0.1"}, {"port", "1"}});
        box.clear();
        answerBoxWith(&box);
        b.openFile(e, &dateItem);
        QTRY_COMPARE(box, QStringLiteral("打开出错|无法连接服务器"));
    }
};

FOLVANE_TEST_MAIN(TestCompanyDocument)
#include "tst_companydocument.moc"
