// External links, favourites, net disk sharing and the net disk's folder
// picker against folvane-server with the demo data: what each dialog sends
// (recorded by a scripted server), its refusals, and what the server then
// holds; the link's page fetched over HTTP as a visitor would.

#include "browse/companydocument.h"
#include "browse/droptablewidget.h"
#include "browse/netdisk.h"
#include "browse/topbanner.h"
#include "browserhelpers.h"
#include "collab/collectfile.h"
#include "collab/copytodocument.h"
#include "collab/dexternallink.h"
#include "collab/dialogtable.h"
#include "collab/dnetdiskshare.h"
#include "collab/recipientsrow.h"
#include "collab/rightsgrid.h"
#include "collabhelpers.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "desk/userdesktop.h"
#include "menuanswer.h"
#include "modalanswer.h"
#include "models/treeviewmodel.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "testmain.h"
#include "widgets/messagelabel.h"
#include "widgets/tpushbutton.h"
#include "widgets/treeview.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTcpServer>

#include <algorithm>
#include <memory>

namespace {

using Form = QMap<QString, QString>;

// What a browser gets from the server's link pages.
struct Page
{
    int status = 0;
    QByteArray body;
    QByteArray cookie;
};

Page fetch(const QString &url, const QByteArray &cookie = {}, const QByteArray &postBody = {})
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie);
    QNetworkReply *reply;
    if (postBody.isNull()) {
        reply = manager.get(request);
    } else {
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        reply = manager.post(request, postBody);
    }
    QSignalSpy done(reply, &QNetworkReply::finished);
    if (!reply->isFinished() && !done.wait(10000))
        qWarning("no answer from %s", qPrintable(url));
    Page page{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
              reply->rawHeader("Set-Cookie").split(';').first()};
    delete reply;
    return page;
}

// Collects every line written to Qt's message log meanwhile, from any thread.
class LogCapture
{
public:
    LogCapture() { previous = qInstallMessageHandler(&LogCapture::handle); }
    ~LogCapture() { qInstallMessageHandler(previous); }
    static QStringList lines()
    {
        QMutexLocker lock(&mutex);
        return written;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &, const QString &text)
    {
        QMutexLocker lock(&mutex);
        written << text;
    }
    QtMessageHandler previous;
    static QMutex mutex;
    static QStringList written;
};
QMutex LogCapture::mutex;
QStringList LogCapture::written;

// A loopback port on which nothing listens.
quint16 deadPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QPushButton *buttonOf(QWidget *w, const QString &text)
{
    for (QPushButton *b : w->findChildren<QPushButton *>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

QString titleOf(QWidget *dialog)
{
    auto *label = dialog->findChild<QLabel *>("titleLabel");
    return label ? label->text() : QString();
}

// Answers the next message box with OK and hands back its title and text.
void answerBox(QString *seen)
{
    answerNextModal([seen](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        *seen = box->windowTitle() + "|" + box->text();
        box->accept();
    });
}

// Whether a list of the personal desktop (a left-bar entry), as the user
// signed in with `as` sees it, comes to show the row "first line|file name".
bool deskShows(int entry, const QString &as, const QString &row)
{
    const QString before = GCore::instance()->token();
    GCore::instance()->setToken(as);
    UserDesktop desk;
    desk.resize(1000, 600);
    desk.show();
    QTest::mouseClick(desk.leftBarButtons.at(entry), Qt::LeftButton);
    const bool shown = QTest::qWaitFor([&] {
        for (int r = 0; r < desk.leftTable->rowCount(); ++r) {
            const QWidget *cell = desk.leftTable->cellWidget(r, 0);
            if (cell && cell->findChild<QLabel *>("firstLine")->text() + "|" +
                                cell->findChild<QLabel *>("fileName")->text() ==
                            row)
                return true;
        }
        return false;
    });
    GCore::instance()->setToken(before);
    return shown;
}

} // namespace

class TestLinks : public QObject, public CollabSession
{
    Q_OBJECT

    QString wangwuId;

    QString libraryId(const QString &parentId, const QString &name)
    {
        return entryOf(parentId, name).value("fileId").toString();
    }

    QString diskId(const QString &parentId, const QString &name)
    {
        return findEntry(
                   call("/api/netdisk/list.jf", {{"parentId", parentId}, {"pageSize", "1000"}}),
                   name)
            .value("fileId")
            .toString();
    }

    std::unique_ptr<CompanyDocument> libraryAt(const QString &folderId, const QString &row)
    {
        auto b = browserAt(folderId);
        if (!QTest::qWaitFor([&] { return rowOf(*b, row) >= 0; }))
            qWarning("no row %s", qPrintable(row));
        b->table->selectRow(rowOf(*b, row));
        return b;
    }

    std::unique_ptr<NetDisk> disk()
    {
        auto d = std::make_unique<NetDisk>();
        d->resize(1000, 600);
        d->show();
        if (!QTest::qWaitFor([&] { return rowOf(*d, "照片") >= 0 && d->treeModel->rowCount(); }))
            qWarning("the net disk did not list its top folder");
        QTest::qWait(100); // both start-up listings are in
        return d;
    }

private slots:
    void initTestCase()
    {
        const QString failed = startSession();
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        for (const QVariant &u : call("/api/user/user-list.jf", {{"groupId", "9d27ffe38ca78490"}})
                                     .value("data")
                                     .toList())
            if (u.toMap().value("username") == "wangwu")
                wangwuId = u.toMap().value("id").toString();
        QVERIFY(!wangwuId.isEmpty());
    }

    void cleanup() { pointClientAt(server->port()); }

    void passwordLinkFromTheLibrary()
    {
        const QString design = libraryId(libraryId("0", "研发中心"), "设计文档");
        const QString fileId = libraryId(design, "接口说明.md");
        auto b = libraryAt(design, "接口说明.md");

        QString address;
        answerDialog<DExternalLink>([&](DExternalLink *d) {
            QCOMPARE(texts(d->fileTable), QStringList({"接口说明.md"}));
            QVERIFY(!d->addressEdit->isVisible() && !d->copyButton->isVisible());
            d->saveButton->click();
            QCOMPARE(d->errorLabel->text(), QStringLiteral("请设定链接授权"));
            d->passwordButton->click();
            QVERIFY(d->passwordEdit->isEnabled());
            d->passwordEdit->setText("   ");
            d->saveButton->click();
            QCOMPARE(d->errorLabel->text(), QStringLiteral("请填写授权密码"));
            QCOMPARE(d->focusWidget(), d->passwordEdit);
            // Back to anonymous: the typed password is gone and not sent.
            d->passwordEdit->setText("abc");
            d->anonymousButton->click();
            QVERIFY(d->passwordEdit->text().isEmpty() && !d->passwordEdit->isEnabled());

            pointClientAt(recorderPort);
            d->rights->box("2")->click();
            d->saveButton->click();
            QCOMPARE(d->errorLabel->text(), QStringLiteral("表单已记录"));
            QCOMPARE(lastForm(recorder, "/api/file/link-add.jf"),
                     Form({{"fileIds", fileId},
                           {"linkType", "1"},
                           {"maxVisit", "0"},
                           {"pwd", ""},
                           {"linkAuth", "2"},
                           {"linkExpiry", QDate::currentDate().addDays(7).toString("yyyy-MM-dd")},
                           {"desp", ""}}));
            d->rights->box("3")->click();
            d->rights->box("1")->click();
            d->saveButton->click();
            QCOMPARE(lastForm(recorder, "/api/file/link-add.jf").value("linkAuth"),
                     QStringLiteral("1,2,3"));

            pointClientAt(deadPort());
            d->saveButton->click();
            QCOMPARE(d->errorLabel->text(), QStringLiteral("无法生成外部链接"));

            // The server's own refusal: uploads go into folders only.
            pointClientAt(server->port());
            d->saveButton->click();
            QCOMPARE(d->errorLabel->text(), QStringLiteral("上传文件只能授权给文件夹"));
            QVERIFY(d->saveButton->isEnabled());

            d->rights->box("1")->click();
            d->rights->box("3")->click();
            d->passwordButton->click();
            d->passwordEdit->setText("  s3cret链接 ");
            d->maxVisitEdit->setText("2");
            d->descriptionEdit->setPlainText("给客户");
            {
                LogCapture log;
                d->saveButton->click();
                const QStringList lines = LogCapture::lines();
                QVERIFY(!lines.isEmpty()); // the transport did log its request
                for (const QString &line : lines)
                    QVERIFY2(!line.contains("s3cret"), qPrintable(line));
            }
            address = d->addressEdit->toPlainText();
            QVERIFY2(address.startsWith(server->url() + "/link/"), qPrintable(address));
            QVERIFY(d->addressEdit->isVisible() && d->addressEdit->isReadOnly());
            QVERIFY(d->addressCaption->isVisible());
            QVERIFY(!d->saveButton->isEnabled()); // one link per opening
            d->copyButton->click();
            QCOMPARE(QApplication::clipboard()->text(), address);
            QCOMPARE(d->addressEdit->textCursor().selectedText(), address);
        });
        QVERIFY(menuAt(*b, rowOf(*b, "接口说明.md"), "外部链接").contains("外部链接"));
        QVERIFY(!address.isEmpty());

        // A visitor: the password first, then the files, downloads only.
        Page page = fetch(address);
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("name=\"pwd\""));
        QVERIFY(!page.body.contains("接口说明.md"));
        QCOMPARE(fetch(address, {}, "pwd=wrong").status, 403);
        page = fetch(address, {}, "pwd=" + QUrl::toPercentEncoding("s3cret链接"));
        QCOMPARE(page.status, 303);
        QVERIFY(!page.cookie.isEmpty());
        const QByteArray cookie = page.cookie;
        QCOMPARE(fetch(address + "/file/" + fileId).status, 403); // no cookie
        page = fetch(address, cookie);
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("接口说明.md"));
        QCOMPARE(fetch(address + "/file/" + fileId + "?view=1", cookie).status, 403);
        page = fetch(address + "/file/" + fileId, cookie);
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.startsWith("# 接口说明"));
        // Two visits were allowed.
        page = fetch(address, cookie);
        QCOMPARE(page.status, 403);
        QVERIFY(page.body.contains("链接的访问次数已用完"));
    }

    void generatedLinkKeepsTheDescriptionReadable()
    {
        const QString design = libraryId(libraryId("0", "研发中心"), "设计文档");
        const QVariantMap file{{"fileId", libraryId(design, "接口说明.md")},
                               {"fileName", "接口说明.md"}};
        DExternalLink d({file}, nullptr);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.rights->box("1")->click();
        d.descriptionEdit->setPlainText("给客户\n第二行\n第三行");
        const int heightBefore = d.height();
        d.saveButton->click();
        QVERIFY(d.addressEdit->isVisible());
        // The three lines of the description and the address are in sight
        // together, without a scroll bar: the dialog grew for the address.
        QTRY_VERIFY(!d.descriptionEdit->verticalScrollBar()->isVisible());
        QTRY_VERIFY(!d.addressEdit->verticalScrollBar()->isVisible());
        QVERIFY(d.height() > heightBefore);
        QVERIFY(d.descriptionEdit->mapTo(&d, QPoint(0, d.descriptionEdit->height())).y() <=
                d.addressEdit->mapTo(&d, QPoint()).y());
        saveShot(&d, "externallink");
    }

    void anonymousLinkFromTheNetDisk()
    {
        auto d = disk();
        QVERIFY(rowOf(*d, "待办.txt") >= 0);
        d->table->selectRow(rowOf(*d, "待办.txt"));
        const QString fileId = diskId("0", "待办.txt");
        QString address;
        answerDialog<DExternalLink>([&](DExternalLink *link) {
            QCOMPARE(texts(link->fileTable), QStringList({"待办.txt"}));
            link->rights->box("1")->click();
            link->saveButton->click();
            address = link->addressEdit->toPlainText();
        });
        menuAt(*d, rowOf(*d, "待办.txt"), "外部链接");
        QVERIFY2(address.startsWith(server->url() + "/link/"), qPrintable(address));

        Page page = fetch(address);
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("待办.txt"));
        QVERIFY(!page.body.contains("name=\"pwd\""));
        // Preview only: even the download address shows the file in place.
        page = fetch(address + "/file/" + fileId);
        QCOMPARE(page.status, 200);
        QCOMPARE(page.body, QByteArray("1. 整理文档\n"));
    }

    void favouriteLandsInMyFavourites()
    {
        auto b = libraryAt(libraryId("0", "公共资料"), "通讯录.xlsx");
        bool flowRan = false;
        answerDialog<CollectFile>([&](CollectFile *d) {
            QCOMPARE(titleOf(d), QStringLiteral("收藏文件：通讯录.xlsx"));
            QTRY_COMPARE(texts(d->categoryTable),
                         QStringList({"常用文档", "项目资料", "学习资料"}));
            // Focus in the table makes a row current, but nothing is chosen yet.
            d->categoryTable->setFocus();
            QString box;
            answerBox(&box);
            d->saveButton->click();
            QCOMPARE(box, QStringLiteral("操作出错|请选择分类"));
            QVERIFY(d->isVisible());
            clickRow(d->categoryTable, "学习资料");
            d->saveButton->click();
            QCOMPARE(d->result(), int(QDialog::Accepted));
            QVERIFY(!d->isVisible());
            flowRan = true;
        });
        menuAt(*b, rowOf(*b, "通讯录.xlsx"), "基本操作>收藏");
        QVERIFY(flowRan);

        // 我的收藏: the creator beside the creator's picture.
        QVERIFY(deskShows(3, token, "赵六|通讯录.xlsx"));

        // Filed already: the server's refusal, and the dialog stays.
        CollectFile again(b->selectedIds().value(0), "通讯录.xlsx", nullptr);
        again.show();
        QTRY_COMPARE(again.categoryTable->rowCount(), 3);
        clickRow(again.categoryTable, "常用文档");
        QString box;
        answerBox(&box);
        again.saveButton->click();
        QCOMPARE(box, QStringLiteral("操作出错|该文件已收藏"));
        QVERIFY(again.isVisible());
    }

    void netDiskShareReachesTheRecipient()
    {
        auto d = disk();
        QVERIFY(rowOf(*d, "待办.txt") >= 0);
        d->table->selectRow(rowOf(*d, "待办.txt"));
        const QString fileId = diskId("0", "待办.txt");
        bool flowRan = false;
        answerDialog<DNetDiskShare>([&](DNetDiskShare *s) {
            QCOMPARE(texts(s->fileTable), QStringList({"待办.txt"}));
            s->saveButton->click();
            QCOMPARE(s->errorLabel->text(), QStringLiteral("请选择接收人"));
            answerPicker({"王五"});
            s->recipients->chooseButton->click();
            s->rights->box("V")->click();
            s->saveButton->click();
            QCOMPARE(s->errorLabel->text(), QStringLiteral("请选择至少一个权限类型"));

            pointClientAt(recorderPort);
            s->rights->box("V")->click();
            s->saveButton->click();
            const Form base{{"fileIds", fileId},
                            {"userList", "U" + wangwuId},
                            {"invalidate", QDate::currentDate().addDays(7).toString("yyyy-MM-dd")},
                            {"memo", ""}};
            Form expected = base;
            expected.insert("shareAuth", "V");
            QCOMPARE(lastForm(recorder, "/api/netdisk/share.jf"), expected);
            s->rights->box("E")->click();
            s->rights->box("D")->click();
            s->saveButton->click();
            QCOMPARE(lastForm(recorder, "/api/netdisk/share.jf").value("shareAuth"),
                     QStringLiteral("V,D,E"));

            pointClientAt(server->port());
            s->rights->box("E")->click();
            s->memoEdit->setPlainText(" 一起看看 ");
            s->saveButton->click();
            QCOMPARE(s->result(), int(QDialog::Accepted));
            flowRan = true;
        });
        d->topBanner->buttons().at(3)->click();
        QVERIFY(flowRan);

        // 王五's 共享给我的, and the rights he got.
        const QString wangwu = server->login("wangwu", "123456");
        QVERIFY(deskShows(2, wangwu, "张三 - 共享给我|待办.txt"));
        const QVariantList shares =
            call("/api/netdisk/share-to-me-list.jf", {}, wangwu).value("data").toList();
        QVERIFY(std::any_of(shares.cbegin(), shares.cend(), [](const QVariant &s) {
            const QVariantMap share = s.toMap();
            return share.value("memo") == "一起看看" && share.value("authList") == "A,V,D";
        }));

        bool fromMenu = false;
        answerDialog<DNetDiskShare>([&](DNetDiskShare *) { fromMenu = true; });
        menuAt(*d, rowOf(*d, "待办.txt"), "共享");
        QVERIFY(fromMenu);
    }

    void moveInsideTheNetDiskAndCopyIntoTheLibrary()
    {
        // The library's folder list as the sign-in leaves it in the cache.
        GCore::instance()->mergeCompanyRootList(call("/api/file/list-dir.jf", {}), false);
        auto d = disk();
        const QString docs = diskId("0", "我的文档");
        int flows = 0;
        const auto select = [&](const QString &name) {
            QTRY_VERIFY(rowOf(*d, name) >= 0); // after a reload too
            d->table->selectRow(rowOf(*d, name));
        };

        // Already there: closes without a request.
        select("待办.txt");
        answerDialog<CopytoDocument>([&](CopytoDocument *c) {
            QCOMPARE(titleOf(c), QStringLiteral("选择要移动的文件夹"));
            QTRY_COMPARE(c->view->currentIndex().data().toString(), QStringLiteral("我的网盘"));
            const int recorded = recorder.requests().size();
            pointClientAt(recorderPort);
            buttonOf(c, "确定")->click();
            pointClientAt(server->port());
            QCOMPARE(recorder.requests().size(), recorded);
            QCOMPARE(c->result(), int(QDialog::Accepted));
            ++flows;
        });
        menuAt(*d, rowOf(*d, "待办.txt"), "移动");
        QCOMPARE(flows, 1);

        select("待办.txt");
        answerDialog<CopytoDocument>([&](CopytoDocument *c) {
            QTRY_VERIFY(c->model->rowCount() > 0);
            c->model->selectById(docs);
            QCOMPARE(c->view->currentIndex().data().toString(), QStringLiteral("我的文档"));
            buttonOf(c, "确定")->click();
            QTRY_COMPARE(c->result(), int(QDialog::Accepted));
            ++flows;
        });
        d->topBanner->buttons().at(5)->click();
        QCOMPARE(flows, 2);
        QVERIFY(!diskId(docs, "待办.txt").isEmpty());
        QVERIFY(diskId("0", "待办.txt").isEmpty());
        QTRY_VERIFY(rowOf(*d, "照片") >= 0 && rowOf(*d, "待办.txt") < 0); // reloaded

        // Copy into the library, from the toolbar and the menu alike.
        const QString shared = libraryId("0", "公共资料");
        select("照片");
        answerDialog<CopytoDocument>([&](CopytoDocument *c) {
            QCOMPARE(titleOf(c), QStringLiteral("选择要复制的文件夹"));
            QTRY_VERIFY(c->model->rowCount() > 0);
            c->model->selectById(libraryId("0", "公司制度"));
            QString box;
            answerBox(&box);
            buttonOf(c, "确定")->click();
            QTRY_VERIFY(!box.isEmpty());
            QVERIFY2(box.startsWith("操作出错|") && box != "操作出错|无法复制", qPrintable(box));
            QVERIFY(c->isVisible());
            c->model->selectById(shared);
            QCOMPARE(c->view->currentIndex().data().toString(), QStringLiteral("公共资料"));
            buttonOf(c, "确定")->click();
            QTRY_COMPARE(c->result(), int(QDialog::Accepted));
            ++flows;
        });
        d->topBanner->buttons().at(4)->click();
        QCOMPARE(flows, 3);
        const QString photos = libraryId(shared, "照片");
        QVERIFY(!photos.isEmpty());
        QVERIFY(!libraryId(photos, "风景.png").isEmpty());
        QVERIFY(!diskId("0", "照片").isEmpty()); // a copy: the net disk keeps its folder

        answerDialog<CopytoDocument>([&](CopytoDocument *c) {
            QCOMPARE(titleOf(c), QStringLiteral("选择要复制的文件夹"));
            ++flows;
        });
        menuAt(*d, rowOf(*d, "照片"), "复制到文档");
        QCOMPARE(flows, 4);
    }
};

FOLVANE_TEST_MAIN(TestLinks)
#include "tst_links.moc"
