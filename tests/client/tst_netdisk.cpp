// The net disk browser against folvane-server with the demo data, and the two
// folder dialogs' edge cases against a scripted server.

#include "browse/companydocument.h"
#include "browse/droptablewidget.h"
#include "browse/netdisk.h"
#include "browserhelpers.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "menuanswer.h"
#include "modalanswer.h"
#include "models/treeviewmodel.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "testmain.h"
#include "transfer/daddfolder.h"
#include "transfer/dfoldertree.h"
#include "widgets/messagelabel.h"
#include "widgets/treeview.h"

#include <QDesktopServices>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>

#include <memory>

namespace {

QPushButton *buttonOf(QWidget *w, const QString &text)
{
    for (QPushButton *b : w->findChildren<QPushButton *>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

} // namespace

class TestNetDisk : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServerProcess> server;
    QString token;

    QVariantMap diskListing(const QString &parentId)
    {
        return HttpCurl::instance()
            ->postJson(server->url() + "/api/netdisk/list.jf",
                       {{"token", token}, {"parentId", parentId}, {"pageSize", "1000"}})
            .toMap();
    }
    QVariantMap libraryListing(const QString &parentId)
    {
        return HttpCurl::instance()
            ->postJson(server->url() + "/api/file/list-file.jf",
                       {{"token", token}, {"parentId", parentId}})
            .toMap();
    }

    std::unique_ptr<NetDisk> makeDisk()
    {
        auto d = std::make_unique<NetDisk>();
        d->resize(1000, 600);
        d->show();
        if (!QTest::qWaitFor([&] {
                return rowOf(*d, QStringLiteral("照片")) >= 0 && d->treeModel->rowCount() > 0;
            }))
            qWarning("the net disk did not list its top folder");
        // Both start-up listings (empty ids) have gone out by now.
        QTest::qWait(100);
        return d;
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
    }

    void cleanupTestCase() { server.reset(); }

    void listingAndTheEmptyFolderId()
    {
        auto d = makeDisk();
        QCOMPARE(d->table->columnCount(), 5);
        QCOMPARE(d->currentFolderId, QStringLiteral("0"));
        const int todo = rowOf(*d, "待办.txt");
        QVERIFY(todo >= 0);
        QCOMPARE(d->table->item(todo, 2)->text(), QStringLiteral("TXT文件"));
        QCOMPARE(d->table->item(todo, 4)->text(), QStringLiteral("16B"));
        QCOMPARE(d->table->item(rowOf(*d, "照片"), 2)->text(), QStringLiteral("文件夹"));

        // The top node "我的网盘" is the folder shown already: no new request
        // (the table is not emptied).
        const QModelIndex top = d->treeModel->index(0, 0);
        QCOMPARE(top.data().toString(), QStringLiteral("我的网盘"));
        QTest::mouseClick(d->treeView->viewport(), Qt::LeftButton, Qt::NoModifier,
                          d->treeView->visualRect(top).center());
        QCOMPARE(d->table->rowCount(), 3);
        QCOMPARE(d->crumbWidget->findChildren<QPushButton *>().first()->text(),
                 QStringLiteral("我的网盘"));

        d->tableDoubleClicked(d->table->model()->index(rowOf(*d, "我的文档"), 0));
        QTRY_VERIFY(d->currentFolderId != "0");
        QCOMPARE(d->treeView->currentIndex().data().toString(), QStringLiteral("我的文档"));
    }

    void menusFollowTheItemTypeOnly()
    {
        auto d = makeDisk();
        d->table->selectRow(rowOf(*d, "照片"));
        QCOMPARE(menuAt(*d, rowOf(*d, "照片")),
                 QStringList({"打开", "重命名", "复制到文档", "移动", "删除", "共享", "外部链接"}));
        d->table->selectRow(rowOf(*d, "待办.txt"));
        QCOMPARE(menuAt(*d, rowOf(*d, "待办.txt")),
                 QStringList({"预览", "下载", "上传更新", "重命名", "复制到文档", "移动", "删除",
                              "共享", "外部链接"}));
        menuAt(*d, rowOf(*d, "照片"), "打开");
        QTRY_COMPARE(d->treeView->currentIndex().data().toString(), QStringLiteral("照片"));
        QCOMPARE(d->crumbWidget->findChildren<QPushButton *>().size(), 2);
    }

    void copyFromTheTopFolderReallyCopies()
    {
        // The net disk's top folder "0" is not the library's top folder "0":
        // picking the library's top must copy, not count as "already there".
        // The administrator may create in the library's top folder.
        token = server->login("admin", "admin123");
        GCore::instance()->setToken(token);
        auto d = makeDisk();
        d->table->selectRow(rowOf(*d, "待办.txt"));
        answerNextModal([](QWidget *modal) {
            auto *model = modal->findChild<TreeViewModel *>();
            QTRY_VERIFY(model->rowCount() > 0);
            model->selectById("0");
            buttonOf(modal, "确定")->click();
        });
        d->copyItems();
        QVERIFY(!findEntry(libraryListing("0"), "待办.txt").isEmpty());
    }

    void sameContentSharesOneCachedCopy()
    {
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        auto d = makeDisk();
        d->tableDoubleClicked(d->table->model()->index(rowOf(*d, "待办.txt"), 0));
        QTRY_COMPARE(recorder.opened.size(), 1);
        QVERIFY(d->openThreads.isEmpty());

        CompanyDocument library;
        QVariantMap copy = findEntry(libraryListing("0"), "待办.txt");
        QVERIFY(!copy.isEmpty());
        const QString log = recorder.opened.first().toLocalFile() + ".log";
        QFile logFile(log);
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        const QByteArray downloaded = logFile.readAll();
        logFile.close();
        library.openFile(copy, nullptr);
        QTRY_COMPARE(recorder.opened.size(), 2);
        // Fresh in the cache: no download wrote the log again.
        QVERIFY(library.openThreads.isEmpty());
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        QCOMPARE(logFile.readAll(), downloaded);
        QCOMPARE(recorder.opened.at(0), recorder.opened.at(1));
        QDesktopServices::unsetUrlHandler("file");
    }

    void newFolderRenameAndDelete()
    {
        auto d = makeDisk();
        QString path;
        answerNextModal([&path](QWidget *modal) {
            const QList<QLineEdit *> edits = modal->findChildren<QLineEdit *>();
            path = edits.at(0)->text();
            edits.at(1)->setText("合同");
            buttonOf(modal, "保存")->click();
        });
        d->addFolder();
        QCOMPARE(path, QStringLiteral("我的网盘"));
        QTRY_VERIFY(rowOf(*d, "合同") >= 0);

        answerNextModal([](QWidget *modal) {
            auto *input = qobject_cast<QInputDialog *>(modal);
            QCOMPARE(input->textValue(), QStringLiteral("合同"));
            input->setTextValue("合同2025");
            input->accept();
        });
        menuAt(*d, rowOf(*d, "合同"), "重命名");
        QTRY_VERIFY(rowOf(*d, "合同2025") >= 0);

        // The keys do what the menu does: F2 renames, Enter opens, Delete asks.
        d->table->setFocus();
        d->table->selectRow(rowOf(*d, "合同2025"));
        answerNextModal([](QWidget *modal) {
            auto *input = qobject_cast<QInputDialog *>(modal);
            QVERIFY(input);
            QCOMPARE(input->textValue(), QStringLiteral("合同2025"));
            input->setTextValue("合同2026");
            input->accept();
        });
        QTest::keyClick(d->table, Qt::Key_F2);
        QTRY_VERIFY(rowOf(*d, "合同2026") >= 0);
        const QString folderId = findEntry(diskListing("0"), "合同2026").value("fileId").toString();
        d->table->selectRow(rowOf(*d, "合同2026"));
        QTest::keyClick(d->table, Qt::Key_Return);
        QCOMPARE(d->currentFolderId, folderId);
        d->requestFileList("0", false);
        QTRY_VERIFY(rowOf(*d, "合同2026") >= 0);

        d->table->selectRow(rowOf(*d, "合同2026"));
        clickInNextModal("Yes");
        QTest::keyClick(d->table, Qt::Key_Delete);
        QTRY_COMPARE(rowOf(*d, "合同2026"), -1);
        QVERIFY(findEntry(diskListing("0"), "合同2026").isEmpty());
    }

    // ---- the dialogs on their own ----

    void addFolderChecksTheName()
    {
        ScriptedHttpServer scripted;
        QByteArray reply = "{\"code\":1}";
        const quint16 port = scripted.start([&reply](const QByteArray &) {
            return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(reply)};
        });
        GCore::instance()->writeSettings({{"host", "127.0.0.1"}, {"port", QString::number(port)}});
        auto restore = qScopeGuard([this] { server->configureClient(); });

        DAddFolder dialog("42", {"我的网盘", "a"}, nullptr, 1);
        dialog.show();
        // The rows are laid out inside the frame.
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.nameEdit->width() > 100);
        QVERIFY(dialog.nameEdit->mapTo(&dialog, QPoint(0, 0)).y() > 28);
        dialog.nameEdit->setText("   ");
        dialog.accept();
        QVERIFY(scripted.requests().isEmpty());
        QVERIFY(dialog.nameEdit->hasFocus() || QApplication::focusWidget() == nullptr);

        dialog.nameEdit->setText("  新建  ");
        dialog.accept();
        // The same request cannot go twice while the first is out.
        QVERIFY(!dialog.nameEdit->isEnabled());
        dialog.accept();
        dialog.reject();
        QTRY_COMPARE(dialog.errorLabel->text(), QStringLiteral("无法创建文件夹"));
        QVERIFY(dialog.nameEdit->isEnabled());
        QCOMPARE(scripted.requests().size(), 1);
        QVERIFY(scripted.requests().first().startsWith("POST /api/netdisk/save-fold.jf"));
        QCOMPARE(ScriptedHttpServer::bodyOf(scripted.requests().first()),
                 HttpCurl::formBody({{"token", token}, {"parentId", "42"}, {"name", "新建"}}));
        QVERIFY(dialog.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(dialog.errorLabel->text().isEmpty(), 4000);

        reply = "{\"code\":\"0\"}";
        dialog.accept();
        QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void folderPickerSendsAllIdsAndFallsBack()
    {
        ScriptedHttpServer scripted;
        const quint16 port = scripted.start([](const QByteArray &) {
            return ScriptedHttpServer::Reply{
                ScriptedHttpServer::okReply("{\"code\":5,\"msg\":\"\"}")};
        });
        GCore::instance()->writeSettings({{"host", "127.0.0.1"}, {"port", QString::number(port)}});
        auto restore = qScopeGuard([this] { server->configureClient(); });

        for (int mode : {1, 2}) {
            DFolderTree dialog({"a", "b", "c"}, mode, "cur", nullptr);
            dialog.show();
            QVERIFY(dialog.view->height() > 300);
            QString box;
            answerNextModal([&box](QWidget *modal) {
                box = modal->windowTitle() + "|" + qobject_cast<QMessageBox *>(modal)->text();
                qobject_cast<QMessageBox *>(modal)->accept();
            });
            dialog.accept(); // no folder chosen: an empty target
            QTRY_COMPARE(box, mode == 2 ? QStringLiteral("操作出错|无法移动")
                                    : QStringLiteral("操作出错|无法复制"));
            QVERIFY(dialog.isVisible());
            const QByteArray request = scripted.requests().last();
            QVERIFY(request.startsWith(mode == 2 ? "POST /api/file/move.jf"
                                                 : "POST /api/file/copy.jf"));
            QCOMPARE(
                ScriptedHttpServer::bodyOf(request),
                HttpCurl::formBody({{"token", token}, {"targetId", ""}, {"sourceIds", "a,b,c"}}));
        }
        const int sent = scripted.requests().size();
        DFolderTree nowhere({"a"}, 1, "", nullptr);
        nowhere.accept();
        QCOMPARE(nowhere.result(), int(QDialog::Accepted));
        QCOMPARE(scripted.requests().size(), sent);
    }
};

FOLVANE_TEST_MAIN(TestNetDisk)
#include "tst_netdisk.moc"
