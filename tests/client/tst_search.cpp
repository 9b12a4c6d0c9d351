// The library's full-text search against folvane-server with the demo data:
// the dialog and the form it sends (recorded by a scripted proxy in front of
// the real server), each criterion's hits, hits with hostile markup, opening
// a hit, and the ways back to the folder listing, late replies included.

#include "browse/companydocument.h"
#include "browse/droptablewidget.h"
#include "browse/dsearchfulltxt.h"
#include "browse/searchhitdelegate.h"
#include "browserhelpers.h"
#include "collabhelpers.h"
#include "menuanswer.h"
#include "models/treeviewmodel.h"
#include "models/userviewmodel.h"
#include "scriptedhttpserver.h"
#include "testmain.h"
#include "widgets/messagelabel.h"
#include "widgets/treeview.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QHeaderView>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSemaphore>
#include <QUrlQuery>

#include <atomic>

namespace {

using Form = QMap<QString, QString>;

QString pathOf(const QByteArray &request)
{
    return QString::fromUtf8(request.split(' ').value(1));
}

Form formOf(const QByteArray &request)
{
    Form form;
    const QUrlQuery query(QString::fromUtf8(ScriptedHttpServer::bodyOf(request)));
    for (const auto &pair : query.queryItems(QUrl::FullyDecoded))
        form.insert(pair.first, pair.second);
    return form;
}

// How many requests on `path` the server received.
int countOf(const ScriptedHttpServer &server, const QString &path)
{
    int n = 0;
    for (const QByteArray &request : server.requests())
        n += pathOf(request) == path ? 1 : 0;
    return n;
}

QByteArray json(const QVariantMap &map)
{
    return QJsonDocument::fromVariant(map).toJson(QJsonDocument::Compact);
}

QVariantMap hit(const QString &id, const QString &name, const QString &summary, qint64 bytes = 2048)
{
    return {{"fileId", id},       {"parentId", "0"},     {"fileName", name},
            {"summary", summary}, {"fileExt", "txt"},    {"fileLength", bytes},
            {"user", "李四"},     {"authList", "A,V,D"}, {"lastModifyTime", 1700000000000.0}};
}

// The names of the hit rows, sorted.
QStringList hitNames(const CompanyDocument &b)
{
    QStringList names = texts(b.table);
    names.sort();
    return names;
}

SearchHit::MarkedText titleOf(const CompanyDocument &b, int row)
{
    return SearchHitDelegate::title(b.table->model()->index(row, 6));
}

SearchHit::MarkedText summaryOf(const CompanyDocument &b, int row)
{
    return SearchHitDelegate::summary(b.table->model()->index(row, 6));
}

// The marked parts of a text with their colours: "部署 #e4393c".
QStringList marksOf(const SearchHit::MarkedText &marked)
{
    QStringList out;
    for (const QTextLayout::FormatRange &range : marked.marks)
        out << marked.text.mid(range.start, range.length) + " " +
                   range.format.foreground().color().name();
    return out;
}

bool showsListing(const CompanyDocument &b)
{
    return !b.showsResults() && b.table->horizontalHeader()->isVisible() &&
           b.table->isColumnHidden(6) && !b.table->isColumnHidden(0) &&
           b.table->selectionMode() == QAbstractItemView::ExtendedSelection;
}

// Double-clicks the painted column of a row (a double click starts with a click).
void openRow(CompanyDocument &b, int row)
{
    const QPoint at = b.table->visualRect(b.table->model()->index(row, 6)).center();
    QTest::mouseClick(b.table->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(b.table->viewport(), Qt::LeftButton, {}, at);
}

// The debug log tells when the browser drops a reply it no longer wants.
std::atomic<int> searchRepliesDropped{0};
std::atomic<int> listingRepliesDropped{0};
QtMessageHandler previousHandler = nullptr;

void watchLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains("search reply dropped"))
        ++searchRepliesDropped;
    if (message.contains("listing reply of an earlier folder dropped"))
        ++listingRepliesDropped;
    previousHandler(type, context, message);
}

} // namespace

class TestSearch : public QObject, public CollabSession
{
    Q_OBJECT

    // Passes every request on to the real server, except the searches for
    // the keywords the tests script (and the opening of one of their hits);
    // records them all.
    ScriptedHttpServer proxy;
    quint16 proxyPort = 0;
    QSemaphore slowReply;
    QSemaphore slowListing;
    std::atomic<bool> holdListing{false};
    QMap<QString, QString> ids; // names of folders and users -> ids

    ScriptedHttpServer::Reply answer(const QByteArray &request)
    {
        const QString path = pathOf(request);
        const Form form = formOf(request);
        const QString keyword = form.value("solrKeyword");
        if (path == "/api/file/search.jf" && keyword == "恶意") {
            const QVariantList hits{
                hit("h1",
                    "<a href=\"http://evil/\">链接</a><img src=\"http://evil/x.png\">"
                    "<font color=\"#e4393c\">恶意</font>文件.txt",
                    "第一行<br/>第二行\n<font color='#e4393c'>恶意</font> &lt;b&gt;粗&lt;/b&gt; "
                    "<table><tr><td>格</td></tr></table></font>"),
                hit("h2", "无摘要<b>.txt", QString(), 40960)};
            return {ScriptedHttpServer::okReply(json({{"code", 0}, {"data", hits}}))};
        }
        // The second of those hits opens slowly: 40 KiB over about a second.
        if (path == "/api/file/md5.jf" && form.value("fileId") == "h2")
            return {ScriptedHttpServer::okReply(
                R"({"code":0,"md5":"0123456789abcdef0123456789abcdef"})")};
        if (path == "/api/file/download.jf" && form.value("fileIds") == "h2") {
            ScriptedHttpServer::Reply reply;
            reply.bytes = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                          "Content-Length: 40960\r\n\r\n";
            reply.trickleBytes = 40960;
            reply.trickleChunk = 2048;
            reply.trickleIntervalMs = 60;
            return reply;
        }
        if (path == "/api/file/search.jf" && keyword == "慢") {
            slowReply.tryAcquire(1, 10000);
            return {ScriptedHttpServer::okReply(
                json({{"code", 0}, {"data", QVariantList{hit("s1", "慢文件.txt", "慢")}}}))};
        }
        if (path == "/api/file/list-file.jf" && holdListing.exchange(false))
            slowListing.tryAcquire(1, 10000);
        FormParams params;
        for (auto it = form.cbegin(); it != form.cend(); ++it)
            params.insert(it.key(), it.value());
        const QVariant reply = HttpCurl::instance()->postJson(server->url() + path, params);
        return {ScriptedHttpServer::okReply(QJsonDocument::fromVariant(reply).toJson())};
    }

    // Runs `flow` on the search dialog that "高级搜索" opens.
    void inDialog(CompanyDocument &b, std::function<void(DSearchFullTxt *)> flow)
    {
        answerDialog<DSearchFullTxt>(flow);
        for (QPushButton *button : b.findChildren<QPushButton *>()) {
            if (button->text() == "高级搜索")
                button->click();
        }
    }

private slots:
    void initTestCase()
    {
        const QString failure = startSession();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        proxyPort = proxy.start([this](const QByteArray &request) { return answer(request); });
        const auto remember = [this](const QVariantMap &reply, const QString &key) {
            for (const QVariant &v : reply.value("data").toList()) {
                const QVariantMap m = v.toMap();
                ids.insert(m.value(key).toString(),
                           m.value(m.contains("fileId") ? "fileId" : "id").toString());
            }
        };
        remember(call("/api/file/list-dir.jf", {}), "fileName");
        remember(call("/api/user/user-list.jf",
                      {{"groupId", UserViewModel::organisation()["id"].toString()}}),
                 "realname");
        for (const char *name : {"知识库", "设计文档", "公共资料", "李四", "张三"})
            QVERIFY2(ids.contains(QString::fromUtf8(name)), name);
        previousHandler = qInstallMessageHandler(watchLog);
    }

    void cleanupTestCase()
    {
        qInstallMessageHandler(previousHandler);
        slowReply.release(10);
        slowListing.release(10);
    }

    void cleanup() { pointClientAt(server->port()); }

    void dialogSendsTheCriteria()
    {
        pointClientAt(proxyPort);
        auto b = browserAt("0");
        const QDate today = QDate::currentDate();
        inDialog(*b, [&](DSearchFullTxt *d) {
            d->searchButton->click();
            QCOMPARE(d->errorLabel->text(), QStringLiteral("请输入关键词"));
            QVERIFY(d->isVisible());

            const auto shownBoxes = [d] {
                QStringList shown;
                for (const QString &ext : d->extensions)
                    if (!d->extBoxes.value(ext)->isHidden())
                        shown << ext;
                return shown;
            };
            QCOMPARE(shownBoxes(), QStringList({"doc", "txt", "xls", "ppt", "pdf"}));
            d->categoryButtons.at(4)->click(); // 视频
            QCOMPARE(shownBoxes(), QStringList({"avi", "rmvb", "mpeg", "3gp", "mkv"}));
            d->extBoxes.value("3gp")->setChecked(true);

            d->keywordEdit->setText("  部署 ");
            QTRY_VERIFY(d->folderModel->rowCount() > 0);
            d->folderModel->selectById(ids.value("知识库"), QModelIndex());
            QCOMPARE(d->folderView->currentIndex().data().toString(), QStringLiteral("知识库"));

            answerPicker({"李四"});
            d->chooseButton->click();
            QCOMPARE(d->creatorEdit->text(), QStringLiteral("李四"));
            d->fromDate->setDate(today.addYears(-1));
            d->searchButton->click();
        });
        QTRY_COMPARE(lastForm(proxy, "/api/file/search.jf"),
                     Form({{"solrKeyword", "部署"},
                           {"solrDirectoryId", ids.value("知识库")},
                           {"solrFileExtend", "3gp"},
                           {"solrCreatorId", ids.value("李四")},
                           {"solrStartTime", today.addYears(-1).toString("yyyy-MM-dd")},
                           {"solrEndTime", today.toString("yyyy-MM-dd")}}));
        QVERIFY(b->showsResults());

        // The top node, typed extensions after a category's box, an end
        // before the start; the hits of the real server show.
        inDialog(*b, [&](DSearchFullTxt *d) {
            QTRY_COMPARE(d->folderView->currentIndex().data().toString(),
                         QStringLiteral("公司文档"));
            d->keywordEdit->setText("部署");
            d->extBoxes.value("doc")->setChecked(true);
            d->categoryButtons.last()->click(); // 自定义
            QVERIFY(!d->extBoxes.value("doc")->isChecked() && d->extBoxes.value("doc")->isHidden());
            QVERIFY(!d->customExtEdit->isHidden());
            d->customExtEdit->setText(" m d , ,TXT，csv");
            d->fromDate->setDate(today);
            d->toDate->setDate(today.addDays(-1));
            d->searchButton->click();
        });
        QTRY_COMPARE(lastForm(proxy, "/api/file/search.jf"),
                     Form({{"solrKeyword", "部署"}, {"solrFileExtend", "md,TXT,csv"}}));
        QTRY_COMPARE(hitNames(*b), QStringList({"服务器部署说明.md"}));
        QCOMPARE(titleOf(*b, 0).text, QStringLiteral("服务器部署说明.md"));
        QCOMPARE(marksOf(titleOf(*b, 0)), QStringList({"部署 #e4393c"}));
    }

    void eachCriterionFiltersTheHits()
    {
        auto b = browserAt("0");
        const QString today = QDate::currentDate().toString("yyyy-MM-dd");
        const QVariantMap all{{"key", "说明"}, {"parentId", "0"}, {"ext", QStringList()}};
        const auto search = [&](const QVariantMap &more) {
            QVariantMap criteria = all;
            for (auto it = more.cbegin(); it != more.cend(); ++it)
                criteria.insert(it.key(), it.value());
            b->startSearch(criteria);
        };
        search({});
        QTRY_COMPARE(hitNames(*b),
                     QStringList({"接口说明.md", "服务器部署说明.md", "需求说明.docx"}));
        search({{"parentId", ids.value("设计文档")}});
        QTRY_COMPARE(hitNames(*b), QStringList({"接口说明.md", "需求说明.docx"}));
        search({{"ext", QStringList{"md"}}});
        QTRY_COMPARE(hitNames(*b), QStringList({"接口说明.md", "服务器部署说明.md"}));
        search({{"userId", ids.value("李四")}});
        QTRY_COMPARE(hitNames(*b), QStringList({"服务器部署说明.md", "需求说明.docx"}));
        search({{"startTime", QDate::currentDate().addDays(-20).toString("yyyy-MM-dd")},
                {"endTime", today}});
        QTRY_COMPARE(hitNames(*b), QStringList({"服务器部署说明.md"}));

        // The hit row: entry, texts, and the library's menu and opening.
        const QVariantMap entry = b->table->item(0, 0)->data(Qt::UserRole + 2).toMap();
        QCOMPARE(entry.value("fileExtend").toString(), QStringLiteral("md"));
        QCOMPARE(entry.value("fileType").toInt(), 2);
        QVERIFY(entry.contains("searchType"));
        QCOMPARE(entry.value("fileLength").toString(),
                 HttpCurl::formatSize(entry.value("length").toLongLong()));
        QCOMPARE(b->table->rowHeight(0), 62);
        QStringList menu;
        answerNextMenu(&menu);
        rightClick(b->table->viewport(),
                   b->table->visualRect(b->table->model()->index(0, 6)).center());
        QVERIFY2(menu.contains("预览") && menu.contains("下载") && menu.contains("分享"),
                 qPrintable(menu.join(',')));

        UrlRecorder opened;
        QDesktopServices::setUrlHandler("file", &opened, "open");
        auto unhook = qScopeGuard([] { QDesktopServices::unsetUrlHandler("file"); });
        openRow(*b, 0);
        QTRY_COMPARE(opened.opened.size(), 1);
        QVERIFY(opened.opened.first().toLocalFile().endsWith(".md"));
        QVERIFY(QFileInfo(opened.opened.first().toLocalFile()).size() > 0);
        QVERIFY(b->showsResults());
    }

    void hostileMarkupShowsAsText()
    {
        pointClientAt(proxyPort);
        auto b = browserAt("0");
        b->startSearch({{"key", "恶意"}, {"parentId", ""}, {"ext", QStringList()}});
        QTRY_COMPARE(b->table->rowCount(), 2);
        QCOMPARE(b->table->item(0, 0)->text(), QStringLiteral("链接恶意文件.txt"));
        // Every tag but the mark shows as written; the summary's escapes are undone.
        QCOMPARE(titleOf(*b, 0).text,
                 QStringLiteral("<a href=\"http://evil/\">链接</a><img src=\"http://evil/x.png\">"
                                "恶意文件.txt"));
        QCOMPARE(marksOf(titleOf(*b, 0)), QStringList({"恶意 #e4393c"}));
        QCOMPARE(summaryOf(*b, 0).text,
                 QStringLiteral("第一行 第二行 恶意 <b>粗</b> <table><tr><td>格</td></tr></table>"
                                "</font>"));
        QCOMPARE(marksOf(summaryOf(*b, 0)), QStringList({"恶意 #e4393c"}));
        QCOMPARE(b->table->rowHeight(0), 62);

        QCOMPARE(b->table->rowHeight(1), 40);
        QCOMPARE(titleOf(*b, 1).text, QStringLiteral("无摘要<b>.txt"));
        QVERIFY(titleOf(*b, 1).marks.isEmpty() && summaryOf(*b, 1).text.isEmpty());

        // Opening a hit shows its progress after the name, and takes it away at the end.
        UrlRecorder opened;
        QDesktopServices::setUrlHandler("file", &opened, "open");
        auto unhook = qScopeGuard([] { QDesktopServices::unsetUrlHandler("file"); });
        openRow(*b, 1);
        QTRY_VERIFY2(
            titleOf(*b, 1).text.contains(QRegularExpression("^无摘要<b>\\.txt\\(\\d+%\\)$")),
            qPrintable(titleOf(*b, 1).text));
        QTRY_COMPARE(opened.opened.size(), 1);
        QCOMPARE(titleOf(*b, 1).text, QStringLiteral("无摘要<b>.txt"));
        QCOMPARE(QFileInfo(opened.opened.first().toLocalFile()).size(), 40960);
    }

    void leavingResultsRestoresTheListing()
    {
        auto b = browserAt("0");
        // The folder is current in the tree too.
        b->treeModel->selectById(ids.value("公共资料"), QModelIndex());
        b->reFreshNav();
        QTRY_VERIFY(rowOf(*b, "会议纪要.txt") >= 0);
        const QVariantMap criteria{{"key", "部署"}, {"parentId", ""}, {"ext", QStringList()}};
        // The grey line after the breadcrumb's folders.
        const auto note = [&b] {
            const QLabel *label =
                b->crumbWidget ? b->crumbWidget->findChild<QLabel *>("crumbNote") : nullptr;
            return label ? label->text() : QString();
        };
        const auto crumbs = [&b] {
            QStringList out;
            for (const QPushButton *button : b->crumbWidget->findChildren<QPushButton *>())
                out << button->text();
            return out;
        };
        const auto searchAndWait = [&] {
            b->startSearch(criteria);
            QTRY_COMPARE(hitNames(*b), QStringList({"服务器部署说明.md"}));
            QVERIFY(!b->table->horizontalHeader()->isVisible() && b->table->isColumnHidden(0));
            QCOMPARE(note(), QStringLiteral("搜索“部署”：1 个文件"));
            QCOMPARE(crumbs(), QStringList({"公司文档", "公共资料"}));
        };

        searchAndWait();
        QTest::qWait(200);
        saveShot(b.get(), "search");
        b->reloadButton->click();
        QTRY_VERIFY(rowOf(*b, "会议纪要.txt") >= 0);
        QVERIFY(showsListing(*b));
        QCOMPARE(note(), QString());

        // No hits, and a search the server refuses: each says so.
        b->startSearch({{"key", "不存在的词"}, {"parentId", ""}, {"ext", QStringList()}});
        QTRY_COMPARE(note(), QStringLiteral("未找到与“不存在的词”相关的文件"));
        QCOMPARE(b->table->rowCount(), 0);
        pointClientAt(recorderPort);
        b->startSearch(criteria);
        QTRY_COMPARE(note(), QStringLiteral("搜索“部署”失败：表单已记录"));
        pointClientAt(server->port());
        b->reloadButton->click();
        QTRY_VERIFY(rowOf(*b, "会议纪要.txt") >= 0);
        QVERIFY(!b->table->item(rowOf(*b, "会议纪要.txt"), 0)
                     ->data(SearchHitDelegate::hitRole)
                     .isValid());

        // The folder already listed, clicked in the tree.
        searchAndWait();
        const QRect node = b->treeView->visualRect(b->treeView->currentIndex());
        QTest::mouseClick(b->treeView->viewport(), Qt::LeftButton, {}, node.center());
        QTRY_VERIFY(rowOf(*b, "会议纪要.txt") >= 0);
        QVERIFY(showsListing(*b));
        QCOMPARE(b->currentFolderId, ids.value("公共资料"));

        // Another folder through the breadcrumb.
        searchAndWait();
        for (QPushButton *button : b->crumbWidget->findChildren<QPushButton *>()) {
            if (button->text() == "公司文档")
                button->click();
        }
        QTRY_VERIFY(rowOf(*b, "公共资料") >= 0);
        QVERIFY(showsListing(*b));
    }

    void lateRepliesAreDropped()
    {
        pointClientAt(proxyPort);
        auto b = browserAt(ids.value("公共资料"));
        QTRY_VERIFY(rowOf(*b, "会议纪要.txt") >= 0);
        const QVariantMap slow{{"key", "慢"}, {"parentId", ""}, {"ext", QStringList()}};

        // A search answered after the user went back to the folder.
        const int searches = countOf(proxy, "/api/file/search.jf");
        const int droppedSearches = searchRepliesDropped;
        b->startSearch(slow);
        QTRY_COMPARE(countOf(proxy, "/api/file/search.jf"), searches + 1);
        // The interface answers while the server searches.
        b->reloadButton->click();
        slowReply.release();
        QTRY_COMPARE(int(searchRepliesDropped), droppedSearches + 1);
        QTRY_VERIFY(rowOf(*b, "会议纪要.txt") >= 0);
        QCOMPARE(rowOf(*b, "慢文件.txt"), -1);
        QVERIFY(showsListing(*b));

        // A listing answered after the search started.
        const int droppedListings = listingRepliesDropped;
        const int listed = countOf(proxy, "/api/file/list-file.jf");
        holdListing = true;
        b->reloadButton->click();
        QTRY_COMPARE(countOf(proxy, "/api/file/list-file.jf"), listed + 1);
        b->startSearch(slow);
        slowListing.release();
        QTRY_COMPARE(int(listingRepliesDropped), droppedListings + 1);
        QVERIFY(b->showsResults());
        QCOMPARE(b->table->rowCount(), 0);
        slowReply.release();
        QTRY_COMPARE(hitNames(*b), QStringList({"慢文件.txt"}));
    }
};

FOLVANE_TEST_MAIN(TestSearch)
#include "tst_search.moc"
