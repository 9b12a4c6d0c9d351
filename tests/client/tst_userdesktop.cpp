// The personal desktop and the announcement viewer: 张三's eight lists, his
// frequent and latest files and the ticker against folvane-server with the demo
// data, opening a file's folder in the library, the retry after a failed load,
// and server text that must stay text (with one avatar request per user).

#include "app/mainwidget.h"
#include "browse/companydocument.h"
#include "browse/droptablewidget.h"
#include "browserhelpers.h"
#include "collabhelpers.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "desk/dshowanouncement.h"
#include "desk/userdesktop.h"
#include "desktopreplies.h"
#include "menuanswer.h"
#include "modalanswer.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "testmain.h"
#include "transfer/deditfile.h"
#include "widgets/linklabel.h"
#include "widgets/loaderrorlabel.h"
#include "widgets/tpushbutton.h"
#include "widgets/treeview.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableWidget>

#include <memory>

namespace {

const qint64 day = 24LL * 3600 * 1000;

// What a left-table row shows: "first line|file name|date".
QString leftRow(const UserDesktop &desk, int row)
{
    const QWidget *cell = desk.leftTable->cellWidget(row, 0);
    if (!cell)
        return QString();
    return QStringList{cell->findChild<QLabel *>("firstLine")->text(),
                       cell->findChild<QLabel *>("fileName")->text(),
                       desk.leftTable->item(row, 1)->text()}
        .join('|');
}

QStringList leftRows(const UserDesktop &desk)
{
    QStringList rows;
    for (int row = 0; row < desk.leftTable->rowCount(); ++row)
        rows << leftRow(desk, row);
    return rows;
}

QStringList rightRows(const UserDesktop &desk)
{
    QStringList rows;
    for (int row = 0; row < desk.rightTable->rowCount(); ++row)
        rows << QStringList{desk.rightTable->item(row, 0)->text(),
                            desk.rightTable->item(row, 1)->text(),
                            desk.rightTable->item(row, 2)->text()}
                    .join('|');
    return rows;
}

QImage avatarOf(const UserDesktop &desk, int row)
{
    return desk.leftTable->cellWidget(row, 0)
        ->findChild<QLabel *>("avatar")
        ->pixmap(Qt::ReturnByValue)
        .toImage();
}

int rowOf(const QTableWidget *table, const QString &text, int column)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        const QWidget *cell = table->cellWidget(row, column);
        const QString shown =
            cell ? cell->findChild<QLabel *>("fileName")->text() : table->item(row, column)->text();
        if (shown == text)
            return row;
    }
    return -1;
}

QPoint rowCentre(const QTableWidget *table, int row)
{
    return table->visualItemRect(table->item(row, table->columnCount() - 1)).center();
}

// A double click as the window system delivers it, so it reaches the row's
// own widgets first.
void doubleClickRow(QTableWidget *table, int row)
{
    QWidget *top = table->window();
    const QPoint at = table->viewport()->mapTo(top, rowCentre(table, row));
    QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
}

QString selectedName(const CompanyDocument &library)
{
    const QList<QTableWidgetItem *> selected = library.table->selectedItems();
    return selected.isEmpty() ? QString() : library.table->item(selected.first()->row(), 0)->text();
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

class TestUserDesktop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void zhangsansListsFilesAndTicker();
    void viewAndDoubleClickOpenTheFolderInTheLibrary();
    void failedListsOfferRetry();
    void listsReloadWhenShownAgainAfterAChange();
    void serverTextStaysTextAndAvatarsAreSharedPerUser();

private:
    // The date the server's demo data gives to something made `days` ago.
    QString daysAgo(int days) const
    {
        return QDateTime::fromMSecsSinceEpoch(seededAt - days * day).toString("yyyy-MM-dd");
    }

    std::unique_ptr<ServerProcess> server;
    qint64 seededAt = 0;
    QString token;
    QVariantMap user;
};

void TestUserDesktop::initTestCase()
{
    server = std::make_unique<ServerProcess>();
    seededAt = QDateTime::currentMSecsSinceEpoch();
    QVERIFY2(server->start(), qPrintable(server->error()));
    const QVariantMap reply = HttpCurl::instance()
                                  ->postJson(server->url() + "/api/user/login.jf",
                                             {{"username", "zhangsan"}, {"password", "123456"}})
                                  .toMap();
    user = reply.value("data").toMap();
    token = user.value("token").toString();
    QVERIFY(!token.isEmpty());
}

void TestUserDesktop::init()
{
    server->configureClient();
    GCore::instance()->setToken(token);
    GCore::instance()->setUserInfo(user);
}

void TestUserDesktop::zhangsansListsFilesAndTicker()
{
    UserDesktop desk;
    desk.resize(1000, 700);
    desk.show();
    QCOMPARE(GCore::instance()->userDesktop(), &desk);

    // The ticker: the first tick after loading shows the second announcement,
    // then the others in turn, back to the first.
    QCOMPARE(desk.noticeTimer->interval(), 3000);
    QCOMPARE(desk.noticeReloadTimer->interval(), 300000);
    QTRY_VERIFY(desk.noticeLabel->isVisible());
    QCOMPARE(desk.noticeLabel->text(), "新版员工手册发布 (" + daysAgo(3) + ")");
    desk.showAnouncement();
    QCOMPARE(desk.noticeLabel->text(), "年会通知 (" + daysAgo(6) + ")");
    desk.showAnouncement();
    desk.showAnouncement();
    QCOMPARE(desk.noticeLabel->text(), "系统升级通知 (" + daysAgo(1) + ")");
    desk.noticeTimer->stop();

    // Each list as its entry is pressed; the pressed entry carries the marker.
    const QList<QStringList> expected{
        {"王五 - 分享给我|宣传册.pdf|" + daysAgo(2), "李四 - 分享给我|需求说明.docx|" + daysAgo(4)},
        {"王五 - 发布给我|客户名单.xlsx|" + daysAgo(5)},
        {"李四 - 共享给我|待办.txt|" + daysAgo(1), "王五 - 共享给我|笔记.txt|" + daysAgo(1)},
        // 我的收藏: each creator beside his own picture.
        {"赵六|会议纪要.txt|" + daysAgo(2), "张三|接口说明.md|" + daysAgo(5),
         "系统管理员|员工手册.docx|" + daysAgo(8)},
        {"我分享给- 市场部|接口说明.md|" + daysAgo(3)},
        {"我发布给- 王五,行政部|接口说明.md|" + daysAgo(1)},
        {"我共享给- 李四|笔记.txt|" + daysAgo(2)},
    };
    QImage fallback; // the picture of rows without an avatar request
    for (int entry = 0; entry < UserDesktop::leftListCount; ++entry) {
        if (entry > 0)
            QTest::mouseClick(desk.leftBarButtons.at(entry), Qt::LeftButton);
        QCOMPARE(desk.leftEntry(), entry);
        QVERIFY(desk.leftBarButtons.at(entry)->isChecked());
        if (entry < expected.size()) {
            QStringList want = expected.at(entry);
            QTRY_COMPARE(leftRows(desk).size(), want.size());
            QStringList got = leftRows(desk);
            if (entry == 2) { // two shares of the same moment
                got.sort();
                want.sort();
            }
            QCOMPARE(got, want);
            if (entry == 5)
                fallback = avatarOf(desk, 0);
        } else {
            // 我订阅的: the 12 files below 公共资料 and 公司制度, latest change
            // first, each with the date of that change.
            QTRY_COMPARE(desk.leftTable->rowCount(), 12);
            // The minutes' last version and the FAQ were both changed 4 days ago.
            QStringList latest{leftRow(desk, 0), leftRow(desk, 1)};
            latest.sort();
            QCOMPARE(latest, QStringList({"赵六|会议纪要.txt|" + daysAgo(4),
                                          "赵六|常见问题.txt|" + daysAgo(4)}));
            for (int row = 1; row < 12; ++row)
                QVERIFY(desk.leftTable->item(row - 1, 1)->text() >=
                        desk.leftTable->item(row, 1)->text());
        }
    }

    // Avatars: each creator's picture arrives, the same for all of his rows.
    const int faq = rowOf(desk.leftTable, "常见问题.txt", 0);
    const int minutes = rowOf(desk.leftTable, "会议纪要.txt", 0);
    const int handbook = rowOf(desk.leftTable, "员工手册.docx", 0);
    QTRY_VERIFY(avatarOf(desk, faq) != fallback);
    QTRY_VERIFY(avatarOf(desk, handbook) != fallback);
    QCOMPARE(avatarOf(desk, minutes), avatarOf(desk, faq));
    QVERIFY(avatarOf(desk, handbook) != avatarOf(desk, faq));

    // Frequent files, then the latest.
    QCOMPARE(rightRows(desk),
             QStringList(
                 {"接口说明.md|张三|" + daysAgo(33), "员工手册.docx|系统管理员|" + daysAgo(55),
                  "会议纪要.txt|赵六|" + daysAgo(5), "报销流程.xlsx|系统管理员|" + daysAgo(45)}));
    QTest::mouseClick(desk.latestButton, Qt::LeftButton);
    QVERIFY(desk.latestButton->isChecked());
    QVERIFY(!desk.oftenButton->isChecked());
    QTRY_COMPARE(desk.rightTable->rowCount(), 20);
    // In the order of their last change, each with the date of that change.
    const QVariantList latestFiles = HttpCurl::instance()
                                         ->postJson(server->url() + "/api/file/list-my-file.jf",
                                                    {{"token", token}, {"type", "2"}})
                                         .toMap()
                                         .value("data")
                                         .toList();
    QCOMPARE(latestFiles.size(), 20);
    for (int row = 0; row < 20; ++row) {
        const QVariantMap file = latestFiles.at(row).toMap();
        QCOMPARE(rightRows(desk).at(row),
                 file.value("fileName").toString() + "|" + file.value("user").toString() + "|" +
                     QDateTime::fromMSecsSinceEpoch(file.value("lastModifyTime").toLongLong())
                         .toString("yyyy-MM-dd"));
        if (row > 0)
            QVERIFY(desk.rightTable->item(row - 1, 2)->text() >=
                    desk.rightTable->item(row, 2)->text());
    }

    // A click opens the viewer with that announcement.
    QString shown;
    answerNextModal([&shown](QWidget *modal) {
        auto *viewer = qobject_cast<DShowAnouncement *>(modal);
        auto closing = qScopeGuard([modal] { modal->close(); });
        if (!viewer)
            return;
        (void)QTest::qWaitFor([viewer] { return !viewer->contentEdit->toPlainText().isEmpty(); });
        shown = QStringList{labelTexts(viewer).section('\n', 0, 0), viewer->dateLabel->text(),
                            viewer->noticeTitleLabel->text(), viewer->contentEdit->toPlainText()}
                    .join('|');
        closing.dismiss();
        for (QPushButton *button : viewer->findChildren<QPushButton *>()) {
            if (button->text() == "关闭")
                button->click();
        }
    });
    QTest::mouseClick(desk.noticeLabel, Qt::LeftButton);
    QTRY_VERIFY(!shown.isEmpty());
    QCOMPARE(shown, "公告内容|" + daysAgo(1) +
                        "|系统升级通知|本周六 22:00 至 24:00 文档服务器升级，期间暂停服务，"
                        "请提前保存工作。");
    QTRY_VERIFY(!QApplication::activeModalWidget());
}

void TestUserDesktop::viewAndDoubleClickOpenTheFolderInTheLibrary()
{
    MainWidget window;
    window.resize(1200, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    UserDesktop *desk = GCore::instance()->userDesktop();
    CompanyDocument *library = GCore::instance()->companyDocument();

    // "查看" from the context menu of a shared file.
    QTRY_VERIFY(rowOf(desk->leftTable, "需求说明.docx", 0) >= 0);
    const int shared = rowOf(desk->leftTable, "需求说明.docx", 0);
    QStringList entries;
    answerNextMenu(&entries, "查看");
    rightClick(desk->leftTable->viewport(), rowCentre(desk->leftTable, shared));
    QTRY_VERIFY(library->isVisible());
    QCOMPARE(entries, QStringList{"查看"});
    QVERIFY(!desk->isVisible());
    QTRY_COMPARE(selectedName(*library), QString("需求说明.docx"));
    QVERIFY(rowOf(library->table, "架构图.png", 0) >= 0);

    // A shared file in a folder 张三 may not list (王五's brochure in 市场部):
    // "分享给我的" lists it, in the tree and the breadcrumb too.
    window.showPanelByName("userdesktop");
    const int brochure = rowOf(desk->leftTable, "宣传册.pdf", 0);
    QVERIFY(brochure >= 0);
    answerNextMenu(&entries, "查看");
    rightClick(desk->leftTable->viewport(), rowCentre(desk->leftTable, brochure));
    QTRY_VERIFY(library->isVisible());
    QTRY_COMPARE(selectedName(*library), QString("宣传册.pdf"));
    QCOMPARE(library->currentFolderId, QString("-9"));
    QCOMPARE(library->treeView->currentIndex().data().toString(), QString("分享给我的"));
    QVERIFY(!library->tableErrorLabel->isVisible());

    // A double click on a frequent file.
    window.showPanelByName("userdesktop");
    const int minutes = rowOf(desk->rightTable, "会议纪要.txt", 0);
    QVERIFY(minutes >= 0);
    doubleClickRow(desk->rightTable, minutes);
    QTRY_VERIFY(library->isVisible());
    QTRY_COMPARE(selectedName(*library), QString("会议纪要.txt"));
    QVERIFY(rowOf(library->table, "通讯录.xlsx", 0) >= 0);

    // A net disk file shared with me opens where the library lists such files.
    window.showPanelByName("userdesktop");
    QTest::mouseClick(desk->leftBarButtons.at(2), Qt::LeftButton);
    QTRY_VERIFY(rowOf(desk->leftTable, "待办.txt", 0) >= 0);
    const int todo = rowOf(desk->leftTable, "待办.txt", 0);
    doubleClickRow(desk->leftTable, todo);
    QTRY_VERIFY(library->isVisible());
    QTRY_COMPARE(selectedName(*library), QString("待办.txt"));
    QCOMPARE(library->currentFolderId, QString("-9"));
}

void TestUserDesktop::listsReloadWhenShownAgainAfterAChange()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler("file", &recorder, "open");
    auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler("file"); });
    MainWidget window;
    window.resize(1200, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    UserDesktop *desk = GCore::instance()->userDesktop();
    CompanyDocument *library = GCore::instance()->companyDocument();
    QTest::mouseClick(desk->latestButton, Qt::LeftButton);
    QTRY_COMPARE(desk->rightTable->rowCount(), 20);
    QVERIFY(rowOf(desk->rightTable, "会议纪要.txt", 0) > 0);
    const int marker = Qt::UserRole + 20;
    desk->rightTable->item(0, 0)->setData(marker, true);

    // Back again soon, with nothing changed: the lists stay as they were.
    window.showPanelByName("companydocument");
    window.showPanelByName("userdesktop");
    QTest::qWait(300);
    QCOMPARE(desk->rightTable->rowCount(), 20);
    QVERIFY(desk->rightTable->item(0, 0)->data(marker).toBool());

    // 张三 edits the minutes in the library; back on the desktop they are
    // the latest file, changed today.
    window.showPanelByName("companydocument");
    auto post = [this](const QString &path, const FormParams &form) {
        FormParams withToken = form;
        withToken.insert("token", token);
        return HttpCurl::instance()->postJson(server->url() + path, withToken).toMap();
    };
    QString folder;
    for (const QVariant &e :
         post("/api/file/list-file.jf", {{"parentId", "0"}}).value("data").toList())
        if (e.toMap().value("fileName") == "公共资料")
            folder = e.toMap().value("fileId").toString();
    QVariantMap notes;
    for (const QVariant &e :
         post("/api/file/list-file.jf", {{"parentId", folder}}).value("data").toList())
        if (e.toMap().value("fileName") == "会议纪要.txt")
            notes = e.toMap();
    QVERIFY(!notes.isEmpty());
    bool edited = false;
    answerDialog<DEditFile>([&](DEditFile *d) {
        d->actionButton->click();
        QTRY_COMPARE(recorder.opened.size(), 1);
        QFile copy(recorder.opened.first().toLocalFile());
        QVERIFY(copy.open(QIODevice::Append));
        copy.write("\n补充一行\n");
        copy.close();
        clickInNextModal("OK");
        d->actionButton->click();
        QTRY_VERIFY(!d->isVisible());
        edited = d->result() == QDialog::Accepted;
    });
    library->editFile(notes);
    QVERIFY(edited);
    window.showPanelByName("userdesktop");
    QTRY_VERIFY(desk->rightTable->rowCount() > 0 &&
                desk->rightTable->item(0, 0)->text() == "会议纪要.txt");
    QCOMPARE(desk->rightTable->item(0, 2)->text(), QDate::currentDate().toString("yyyy-MM-dd"));
    QVERIFY(!desk->rightTable->item(0, 0)->data(marker).isValid());
    QTest::mouseClick(desk->leftBarButtons.at(3), Qt::LeftButton);
    QTRY_VERIFY(desk->leftTable->rowCount() > 0);
    saveShot(desk, "desktop");
}

void TestUserDesktop::failedListsOfferRetry()
{
    // An expired sign-in: every list is refused.
    GCore::instance()->setToken("0123456789abcdef");
    UserDesktop desk;
    desk.resize(1000, 700);
    desk.show();
    QTRY_VERIFY(desk.leftErrorLabel->isVisible());
    QTRY_VERIFY(desk.rightErrorLabel->isVisible());
    QCOMPARE(desk.leftTable->rowCount(), 0);
    QCOMPARE(desk.leftErrorLabel->text() + desk.leftErrorLabel->retryLink()->text(),
             QString("数据加载出错，请重试"));
    const QRect place = desk.leftErrorLabel->geometry();
    QVERIFY(qAbs(place.center().x() - desk.leftTable->width() / 2) <= 1);
    QVERIFY(qAbs(place.center().y() - desk.leftTable->height() / 2) <= 1);
    QVERIFY(desk.noticeLabel->isHidden());

    // Signed in again, "请重试" loads each list.
    GCore::instance()->setToken(token);
    QTest::mouseClick(desk.leftErrorLabel->retryLink(), Qt::LeftButton);
    QTRY_COMPARE(desk.leftTable->rowCount(), 2);
    QVERIFY(desk.leftErrorLabel->isHidden());
    QVERIFY(desk.rightErrorLabel->isVisible());
    QTest::mouseClick(desk.rightErrorLabel->retryLink(), Qt::LeftButton);
    QTRY_COMPARE(desk.rightTable->rowCount(), 4);
    QVERIFY(desk.rightErrorLabel->isHidden());
}

void TestUserDesktop::serverTextStaysTextAndAvatarsAreSharedPerUser()
{
    // Markup in every server text; six files from two senders.
    const QString hostile = "<b>王五</b><img src=\"x.png\">";
    QJsonArray shares;
    for (int i = 0; i < 3; ++i) {
        const QString sender = i == 1 ? "lisi" : "wangwu";
        QJsonArray files;
        for (int f = 0; f < 2; ++f)
            files.append(
                QJsonObject{{"fileId", QString("f%1%2").arg(i).arg(f)},
                            {"parentId", "p"},
                            {"fileName", QString("<a href=\"x\">文件%1%2</a>.txt").arg(i).arg(f)},
                            {"fileType", 2},
                            {"fileExtend", "txt"}});
        shares.append(QJsonObject{{"id", QString("s%1").arg(i)},
                                  {"userId", sender},
                                  {"userName", hostile},
                                  {"time", 0},
                                  {"files", files}});
    }
    const QByteArray png = avatarPng();
    const QJsonObject notice{
        {"id", "n1"}, {"title", hostile}, {"noticeTime", 0}, {"content", hostile}};

    ScriptedHttpServer scripted;
    const quint16 port = scripted.start([&](const QByteArray &request) {
        const QByteArray line = request.left(request.indexOf("\r\n"));
        if (line.contains("/api/user/user-thumb.jf"))
            return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(png, "image/png")};
        QJsonValue data = QJsonArray();
        if (line.contains("/api/file/share-to-me-list.jf"))
            data = shares;
        else if (line.contains("/api/sys/notice-list.jf"))
            data = QJsonArray{notice};
        QJsonObject reply{{"code", 0}, {"msg", ""}, {"data", data}};
        if (line.contains("/api/sys/notice-read.jf"))
            reply = QJsonObject{
                {"code", 0}, {"title", hostile}, {"noticeTime", 0}, {"content", hostile}};
        return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(json(reply))};
    });
    GCore::instance()->writeSettings({{"host", "127.0.0.1"}, {"port", QString::number(port)}});

    UserDesktop desk;
    desk.resize(1000, 700);
    desk.show();
    QTRY_COMPARE(desk.leftTable->rowCount(), 6);
    const QWidget *cell = desk.leftTable->cellWidget(0, 0);
    for (const char *name : {"firstLine", "fileName"})
        QCOMPARE(cell->findChild<QLabel *>(name)->textFormat(), Qt::PlainText);
    QCOMPARE(leftRow(desk, 0).section('|', 0, 1),
             hostile + " - 分享给我|<a href=\"x\">文件00</a>.txt");
    QTRY_COMPARE(avatarOf(desk, 5).pixelColor(16, 16), QColor(Qt::darkCyan));
    QTRY_COMPARE(avatarOf(desk, 2).pixelColor(16, 16), QColor(Qt::darkCyan));
    int thumbRequests = 0;
    for (const QByteArray &request : scripted.requests())
        thumbRequests += request.contains("/api/user/user-thumb.jf") ? 1 : 0;
    QCOMPARE(thumbRequests, 2);

    QTRY_COMPARE(desk.notices.size(), 1);
    desk.showAnouncement();
    QCOMPARE(desk.noticeLabel->textFormat(), Qt::PlainText);
    QVERIFY(desk.noticeLabel->text().startsWith(hostile));

    DShowAnouncement viewer("n1", &desk);
    QTRY_COMPARE(viewer.noticeTitleLabel->text(), hostile);
    QCOMPARE(viewer.noticeTitleLabel->textFormat(), Qt::PlainText);
    QCOMPARE(viewer.dateLabel->textFormat(), Qt::PlainText);
    QCOMPARE(viewer.contentEdit->toPlainText(), hostile);
}

FOLVANE_TEST_MAIN(TestUserDesktop)
#include "tst_userdesktop.moc"
