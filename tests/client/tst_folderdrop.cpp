// Folder upload by drag and drop against folvane-server: the dropped tree is
// recreated folder by folder and its files go through the transfer queue into
// their folders; a taken name and a dialog closed while the folders are made
// queue nothing.

#include "browse/companydocument.h"
#include "browse/documentbrowser.h"
#include "browse/droptablewidget.h"
#include "browse/netdisk.h"
#include "browserhelpers.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "modalanswer.h"
#include "models/treeviewmodel.h"
#include "serverprocess.h"
#include "testmain.h"
#include "transfer/ddropfolder.h"
#include "transfer/transferpanel.h"
#include "transferhelpers.h"

#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTemporaryDir>

#include <memory>

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qWarning("cannot write %s", qPrintable(path));
    f.write(content);
}

void clickButton(QWidget *window, const QString &text)
{
    for (QPushButton *b : window->findChildren<QPushButton *>()) {
        if (b->text() == text) {
            b->click();
            return;
        }
    }
    failTest(QStringLiteral("no button %1 in %2").arg(text, describeWindow(window)));
}

// The statuses of the upload rows, as the user reads them.
QStringList uploadStatuses(TransferPanel &panel)
{
    return statusesOf(transferTable(panel, "uploadTable"));
}

int countContaining(const QStringList &texts, const QString &word)
{
    return int(std::count_if(texts.begin(), texts.end(),
                             [&](const QString &t) { return t.contains(word); }));
}

} // namespace

class TestFolderDrop : public QObject
{
    Q_OBJECT

    std::unique_ptr<ServerProcess> server;
    QString token;
    std::unique_ptr<TransferPanel> panel;

    QVariantMap listing(int area, const QString &folderId)
    {
        return HttpCurl::instance()
            ->postJson(server->url() +
                           (area == 1 ? "/api/netdisk/list.jf" : "/api/file/list-file.jf"),
                       {{"token", token}, {"parentId", folderId}, {"pageSize", "1000"}})
            .toMap();
    }

    // Names and byte counts of a folder's entries ("name/" for folders).
    QMap<QString, qint64> contents(int area, const QString &folderId)
    {
        QMap<QString, qint64> out;
        for (const QVariant &v : listing(area, folderId).value("data").toList()) {
            const QVariantMap e = v.toMap();
            if (e.value("fileType").toInt() == 1)
                out.insert(e.value("fileName").toString() + "/", 0);
            else
                out.insert(e.value("fileName").toString(), e.value("length").toLongLong());
        }
        return out;
    }

    QString idIn(int area, const QString &folderId, const QString &name)
    {
        return findEntry(listing(area, folderId), name).value("fileId").toString();
    }

    QString makeLibraryFolder(const QString &parentId, const QString &name)
    {
        return HttpCurl::instance()
            ->postJson(server->url() + "/api/file/save-fold.jf",
                       {{"token", token}, {"parentId", parentId}, {"name", name}})
            .toMap()
            .value("fileId")
            .toString();
    }

    // A browser listing `folderId`, after its own start-up listings.
    template <typename Browser> std::unique_ptr<Browser> browserIn(const QString &folderId)
    {
        auto b = std::make_unique<Browser>();
        b->resize(900, 500);
        b->show();
        if (!QTest::qWaitFor([&] { return b->treeModel->rowCount() > 0; }))
            qWarning("the browser did not build its tree");
        // Past the start-up listings, which would list the top folder again.
        QTest::qWait(100);
        b->requestFileList(folderId, true);
        return b;
    }

private slots:
    void initTestCase()
    {
        server = std::make_unique<ServerProcess>();
        QVERIFY2(server->start(), qPrintable(server->error()));
        server->configureClient();
        token = server->login("admin", "admin123");
        QVERIFY(!token.isEmpty());
        GCore::instance()->setToken(token);
        GCore::instance()->setUserInfo({{"username", "admin"}, {"maxUploadNum", 1}});
        panel = std::make_unique<TransferPanel>();
    }

    void cleanupTestCase()
    {
        panel.reset();
        server.reset();
    }

    void droppedTreeArrivesWholeThroughTheQueue()
    {
        QTemporaryDir local;
        const QString x = local.filePath("x");
        const QMap<QString, QByteArray> files{
            {"x/a.txt", "a"},           {"x/b.txt", "bb"},          {"x/y/c.txt", "ccc"},
            {"x/y/d.txt", "dddd"},      {"x/y/e.txt", "eeeee"},     {"x/y/z/f.txt", "ffffff"},
            {"x/y/z/g.txt", "ggggggg"}, {"x/y/z/h.txt", "hhhhhhhh"}};
        for (auto it = files.begin(); it != files.end(); ++it)
            writeFile(local.filePath(it.key()), it.value());
        // Hidden entries and a link back up the tree stay at home.
        writeFile(local.filePath("x/.hidden/secret.txt"), "s");
        writeFile(local.filePath("x/.dot.txt"), "d");
        QVERIFY(QFile::link(x, local.filePath("x/y/loop")));

        const QString target = makeLibraryFolder("0", "拖入测试");
        QVERIFY(!target.isEmpty());
        auto b = browserIn<CompanyDocument>(target);
        answerNextModal("DDropFolder", [](QWidget *dialog) {
            QCOMPARE(dialog->windowTitle(), QStringLiteral("上传确认"));
            QVERIFY(labelTexts(dialog).contains("是否将文件夹上传到当前路径？"));
            clickButton(dialog, "Yes");
        });
        b->dropFiles({x});

        // Every file is queued at once; three run, the others wait their turn.
        QStringList statuses = uploadStatuses(*panel);
        QCOMPARE(statuses.size(), files.size());
        QCOMPARE(countContaining(statuses, "正在上传"), TransferPanel::maxRunning);
        QCOMPARE(countContaining(statuses, "等待中"), files.size() - TransferPanel::maxRunning);
        for (const QString &path : files.keys())
            QVERIFY(panel->isUploading(local.filePath(path)));
        // Running: the rows that have left the queue less those recorded as
        // done (a done row keeps its status for a second).
        QTableView *history = transferTable(*panel, "historyTable");
        const int doneBefore = rowCountOf(history);
        int mostRunning = 0;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&] {
            const int started = files.size() - countContaining(uploadStatuses(*panel), "等待中");
            mostRunning = qMax(mostRunning, started - (rowCountOf(history) - doneBefore));
        });
        watch.start(1);
        QTRY_VERIFY_WITH_TIMEOUT(uploadStatuses(*panel).isEmpty(), 20000);
        QCOMPARE(rowCountOf(history) - doneBefore, files.size());
        QCOMPARE(mostRunning, TransferPanel::maxRunning);

        // The listing was reloaded once the folders were made.
        QTRY_VERIFY(rowOf(*b, "x") >= 0);
        QCOMPARE(contents(0, target).keys(), QStringList({"x/"}));
        const QString xId = idIn(0, target, "x");
        QCOMPARE(contents(0, xId), (QMap<QString, qint64>{{"a.txt", 1}, {"b.txt", 2}, {"y/", 0}}));
        const QString yId = idIn(0, xId, "y");
        QCOMPARE(contents(0, yId),
                 (QMap<QString, qint64>{{"c.txt", 3}, {"d.txt", 4}, {"e.txt", 5}, {"z/", 0}}));
        QCOMPARE(contents(0, idIn(0, yId, "z")),
                 (QMap<QString, qint64>{{"f.txt", 6}, {"g.txt", 7}, {"h.txt", 8}}));

        // The same tree into the net disk's top folder.
        auto disk = browserIn<NetDisk>("0");
        answerNextModal("DDropFolder", [](QWidget *dialog) { clickButton(dialog, "Yes"); });
        disk->dropFiles({x});
        QTRY_VERIFY_WITH_TIMEOUT(uploadStatuses(*panel).isEmpty(), 20000);
        const QString diskX = idIn(1, "0", "x");
        QVERIFY(!diskX.isEmpty());
        QCOMPARE(contents(1, diskX),
                 (QMap<QString, qint64>{{"a.txt", 1}, {"b.txt", 2}, {"y/", 0}}));
        QCOMPARE(contents(1, idIn(1, diskX, "y")).size(), 4);
    }

    void threeHundredFilesArriveWholeWithoutAWidgetPerRow()
    {
        GCore::instance()->setUserInfo({{"username", "admin"}, {"maxUploadNum", 400}});
        const auto restore = qScopeGuard([] {
            GCore::instance()->setUserInfo({{"username", "admin"}, {"maxUploadNum", 1}});
        });
        QTemporaryDir local;
        const QString root = local.filePath("many");
        QMap<QString, QByteArray> files; // by name, in 10 folders of 30
        for (int i = 0; i < 300; ++i) {
            QByteArray content(1000 + i * 37, Qt::Uninitialized);
            for (int k = 0; k < content.size(); ++k)
                content[k] = char((k * 7 + i * 13) & 0xff);
            const QString name = QStringLiteral("f%1.bin").arg(i, 3, 10, QChar('0'));
            files.insert(QStringLiteral("d%1/").arg(i % 10) + name, content);
            writeFile(root + QStringLiteral("/d%1/").arg(i % 10) + name, content);
        }
        const QString target = makeLibraryFolder("0", "三百个文件");
        auto b = browserIn<CompanyDocument>(target);
        QTableView *uploads = transferTable(*panel, "uploadTable");
        uploads->resize(800, 600);
        QTableView *history = transferTable(*panel, "historyTable");
        const int doneBefore = rowCountOf(history);
        const int widgetsBefore = panel->findChildren<QWidget *>().size();
        int mostRunning = 0;
        int mostWidgets = 0;
        QTimer watch;
        // Running: the rows that have left the queue less those recorded as done.
        connect(&watch, &QTimer::timeout, [&] {
            const QStringList statuses = uploadStatuses(*panel);
            if (statuses.isEmpty())
                return;
            const int started = 300 - countContaining(statuses, "等待中");
            mostRunning = qMax(mostRunning, started - (rowCountOf(history) - doneBefore));
            mostWidgets = qMax(mostWidgets, int(panel->findChildren<QWidget *>().size()));
        });
        watch.start(5);
        answerNextModal("DDropFolder", [](QWidget *dialog) { clickButton(dialog, "Yes"); });
        b->dropFiles({root});
        QCOMPARE(rowCountOf(uploads), 300);
        QTRY_VERIFY_WITH_TIMEOUT(uploadStatuses(*panel).isEmpty(), 120000);
        watch.stop();
        QCOMPARE(mostRunning, TransferPanel::maxRunning);
        QCOMPARE(mostWidgets, widgetsBefore);

        // Every file on the server, byte for byte (the listing's MD5).
        const QString manyId = idIn(0, target, "many");
        int checked = 0;
        for (int d = 0; d < 10; ++d) {
            const QString folderId = idIn(0, manyId, QStringLiteral("d%1").arg(d));
            for (const QVariant &v : listing(0, folderId).value("data").toList()) {
                const QVariantMap e = v.toMap();
                const QByteArray content =
                    files.value(QStringLiteral("d%1/").arg(d) + e.value("fileName").toString());
                QCOMPARE(e.value("md5").toString(), HttpCurl::md5Hex(content));
                ++checked;
            }
        }
        QCOMPARE(checked, 300);
    }

    void takenNameIsRefusedAndNothingQueued()
    {
        QTemporaryDir local;
        writeFile(local.filePath("x/a.txt"), "a");
        const QString target = makeLibraryFolder("0", "已有同名");
        QVERIFY(!makeLibraryFolder(target, "x").isEmpty());
        auto b = browserIn<CompanyDocument>(target);
        QString box;
        answerNextModal("DDropFolder", [&box](QWidget *dialog) {
            answerNextModal("操作出错", [&box](QWidget *modal) {
                box = labelTexts(modal);
                clickButton(modal, "OK");
            });
            clickButton(dialog, "Yes");
        });
        b->dropFiles({local.filePath("x")});
        QVERIFY2(box.contains("您拖入的文件夹已存在"), qPrintable(box));
        QVERIFY(uploadStatuses(*panel).isEmpty());
        QVERIFY(!panel->isUploading(local.filePath("x/a.txt")));
    }

    void closingWhileFoldersAreMadeIsSafeAndQueuesNothing()
    {
        QTemporaryDir local;
        const QString w = local.filePath("w");
        for (int i = 0; i < 100; ++i)
            writeFile(QStringLiteral("%1/d%2/f.txt").arg(w).arg(i, 3, 10, QChar('0')), "f");
        const QString target = makeLibraryFolder("0", "中途关闭");
        auto b = browserIn<CompanyDocument>(target);
        bool openAfterNo = false;
        answerNextModal("DDropFolder", [&](QWidget *dialog) {
            clickButton(dialog, "Yes");
            // "No" once the first folders exist on the server.
            QVERIFY(QTest::qWaitFor([&] { return !idIn(0, target, "w").isEmpty(); }, 10000));
            clickButton(dialog, "No");
            openAfterNo = dialog->isVisible();
        });
        b->dropFiles({w});
        QVERIFY(uploadStatuses(*panel).isEmpty());
        const int made = contents(0, idIn(0, target, "w")).size();
        QVERIFY2(made < 100, qPrintable(QString::number(made)));
        // The worker ended with the dialog: no folder comes later.
        QTest::qWait(300);
        QCOMPARE(contents(0, idIn(0, target, "w")).size(), made);
        qDebug() << "folders made before the dialog closed:" << made
                 << "open right after No:" << openAfterNo;

        // A dialog destroyed while its worker runs waits for it and is never called back.
        QVariantMap result;
        auto *dialog = new DDropFolder({w}, makeLibraryFolder("0", "销毁"), 0, &result);
        dialog->accept();
        QTest::qWait(5);
        delete dialog;
        QTest::qWait(100);
        QVERIFY(result.isEmpty());
    }
};

FOLVANE_TEST_MAIN(TestFolderDrop)
#include "tst_folderdrop.moc"
