// The transfer panel: downloads streamed to a free local name, refusals,
// hostile names, stop / restart / drop, uploads, the history file and its
// buttons; first against the scripted server, then against folvane-server.
#include "app/mainwidget.h"
#include "browserhelpers.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "modalanswer.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "testmain.h"
#include "transfer/transferpanel.h"
#include "transferhelpers.h"

#include <QDesktopServices>
#include <QDialog>
#include <QJsonDocument>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

namespace {

QVariantMap fileItem(const QString &id, const QString &name, const QString &folder,
                     qint64 length = 5000)
{
    return QVariantMap{{"fileId", id},       {"fileName", name},    {"fileLength", "4.9 KB"},
                       {"length", length},   {"fileExtend", "txt"}, {"fileType", 2},
                       {"localPath", folder}};
}

void pointClientAt(quint16 port)
{
    QVariantMap settings = GCore::instance()->readSettings();
    settings.insert("host", "127.0.0.1");
    settings.insert("port", QString::number(port));
    GCore::instance()->writeSettings(settings);
}

quint16 portOf(const QString &url)
{
    return quint16(url.section(':', -1).toUInt());
}

ScriptedHttpServer::Reply body(const QByteArray &bytes)
{
    return ScriptedHttpServer::Reply{
        ScriptedHttpServer::okReply(bytes, "application/octet-stream")};
}

ScriptedHttpServer::Reply trickle(qint64 total = 1000000000)
{
    ScriptedHttpServer::Reply r;
    r.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(total) + "\r\n\r\n";
    r.trickleBytes = total;
    r.trickleIntervalMs = 10;
    return r;
}

QTableView *table(TransferPanel &panel, const char *name)
{
    return transferTable(panel, name);
}

QPushButton *tab(TransferPanel &panel, const char *name)
{
    return panel.findChild<QPushButton *>(name);
}

// A server that reads no upload body: every upload runs until stopped.
void stallUploads(ScriptedHttpServer &server)
{
    server.setStallReading(true);
    server.start([](const QByteArray &) {
        return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(R"({"code":0})")};
    });
    pointClientAt(portOf(server.url()));
}

// A sparse 64 MiB file: more than a stalled server's buffers take.
QString bigFile(const QTemporaryDir &dir, const QString &name)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !f.resize(64 * 1024 * 1024))
        qWarning("cannot make %s", qPrintable(path));
    return path;
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

QVariantList historyOnDisk()
{
    QFile file(GCore::dataDir() + "/history.json");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).toVariant().toList();
}

void writeHistory(const QVariantList &records)
{
    QFile file(GCore::dataDir() + "/history.json");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument::fromVariant(records).toJson());
}

QVariantMap record(const QString &name, const QString &path, qint64 time, int type = 0)
{
    return QVariantMap{{"fileName", name},    {"filePath", path}, {"folderPath", "/tmp"},
                       {"handleTime", time},  {"type", type},     {"fileExtend", "txt"},
                       {"fileLength", "1 KB"}};
}

} // namespace

// Records the URLs handed to the desktop services.
class TestTransferPanel : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QFile::remove(GCore::dataDir() + "/history.json");
        GCore::instance()->setToken("tok");
    }

    void downloadIsSavedRecordedAndLeavesTheList()
    {
        ScriptedHttpServer server;
        const QByteArray content(5000, 'x');
        server.start([content](const QByteArray &) { return body(content); });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        QTableView *downloads = table(panel, "downloadTable");

        panel.addDownload(fileItem("11", "report.txt", dir.path()), 0);
        QVERIFY(tab(panel, "download")->isChecked());
        QVERIFY(downloads->isVisibleTo(&panel));
        QCOMPARE(tab(panel, "download")->text(), QStringLiteral("正在下载(1)"));
        QVERIFY(panel.isDownloading("11"));
        QVERIFY(statusOf(downloads, 0).contains("正在下载"));

        QTRY_COMPARE(tab(panel, "history")->text(), QStringLiteral("传输完成(1)"));
        const QString saved = dir.filePath("report.txt");
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
        QCOMPARE(entries(dir.path()), QStringList({"report.txt"}));
        QVERIFY(rowCountOf(downloads) == 1); // stays for a second
        QTRY_COMPARE(rowCountOf(downloads), 0);
        QCOMPARE(tab(panel, "download")->text(), QStringLiteral("正在下载(0)"));

        const QByteArray request = server.requests().first();
        QVERIFY(request.startsWith("POST /api/file/download.jf"));
        QCOMPARE(ScriptedHttpServer::bodyOf(request), QByteArray("fileIds=11&token=tok"));

        QVariantList history = historyOnDisk();
        QCOMPARE(history.size(), 1);
        QVariantMap first = history.first().toMap();
        QCOMPARE(first.value("filePath").toString(), saved);
        QCOMPARE(first.value("folderPath").toString(), dir.path());
        QCOMPARE(first.value("fileName").toString(), QStringLiteral("report.txt"));
        QCOMPARE(first.value("type").toInt(), 0);
        QCOMPARE(first.value("fileLength").toString(), QStringLiteral("4.9 KB"));

        // The same file again, from the net disk: saved beside under a free name.
        panel.addDownload(fileItem("11", "report.txt", dir.path()), 1);
        QTRY_COMPARE(historyOnDisk().size(), 2);
        QVERIFY(server.requests().last().startsWith("POST /api/netdisk/download.jf"));
        QCOMPARE(entries(dir.path()), QStringList({"report(2).txt", "report.txt"}));
        QCOMPARE(historyOnDisk().last().toMap().value("filePath").toString(),
                 dir.filePath("report(2).txt"));
        QCOMPARE(nameOf(table(panel, "historyTable"), 0), QStringLiteral("report(2).txt"));
    }

    void refusalFailsWhileShortPlainFilesAreSaved()
    {
        ScriptedHttpServer server;
        auto plain = std::make_shared<std::atomic<bool>>(false);
        server.start([plain](const QByteArray &) {
            return plain->load() ? body(QByteArray(2999, 'p'))
                                 : body(R"({"code":0,"msg":"文件不存在"})");
        });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        QTableView *downloads = table(panel, "downloadTable");
        panel.addDownload(fileItem("5", "a.txt", dir.path()), 0);
        QTRY_VERIFY(statusOf(downloads, 0).contains("下载出错"));
        QVERIFY(statusOf(downloads, 0).contains("文件不存在"));
        QCOMPARE(progressOf(downloads, 0), 0);
        QVERIFY(hasRowButton(downloads, 0, "开始下载"));
        QCOMPARE(entries(dir.path()), QStringList());
        QCOMPARE(rowCountOf(table(panel, "historyTable")), 0);
        QVERIFY(historyOnDisk().isEmpty());

        // The failed row restarts from its own data.
        plain->store(true);
        clickRowButton(downloads, 0, "开始下载");
        QTRY_COMPARE(historyOnDisk().size(), 1);
        QCOMPARE(QFileInfo(dir.filePath("a.txt")).size(), 2999);
    }

    void hostileNamesStayInTheChosenFolder()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return body("data"); });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        const QString inner = dir.filePath("inner");
        QVERIFY(QDir().mkpath(inner));
        TransferPanel panel;
        const QStringList names{"../x",
                                "a/b",
                                "C:\\x",
                                "",
                                QString("\x01"
                                        "ctl\n.txt"),
                                "..",
                                "../../etc/passwd"};
        for (int i = 0; i < names.size(); ++i)
            panel.addDownload(fileItem(QString::number(100 + i), names.at(i), inner), 0);
        QTRY_COMPARE(historyOnDisk().size(), names.size());
        QCOMPARE(entries(dir.path()), QStringList({"inner"}));
        QCOMPARE(entries(inner).size(), names.size());
        const QVariantList history = historyOnDisk();
        for (const QVariant &r : history) {
            const QString path = r.toMap().value("filePath").toString();
            QCOMPARE(QFileInfo(path).absolutePath(), inner);
        }
    }

    void unwritableDestinationFailsWithoutRecord()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return body(QByteArray(4000, 'z')); });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        QFile plainFile(dir.filePath("not-a-folder"));
        QVERIFY(plainFile.open(QIODevice::WriteOnly));
        plainFile.close();
        TransferPanel panel;
        QTableView *downloads = table(panel, "downloadTable");
        panel.addDownload(fileItem("1", "a.txt", dir.filePath("gone")), 0);
        panel.addDownload(fileItem("2", "b.txt", dir.filePath("not-a-folder")), 0);
        panel.addDownload(fileItem("3", "c.txt", QString()), 0);
        QTRY_VERIFY(statusOf(downloads, 0).contains("下载出错"));
        QTRY_VERIFY(statusOf(downloads, 1).contains("下载出错"));
        QTRY_VERIFY(statusOf(downloads, 2).contains("下载出错"));
        QCOMPARE(rowCountOf(table(panel, "historyTable")), 0);
        QCOMPARE(entries(dir.path()), QStringList({"not-a-folder"}));
    }

    void stopRestartAndDrop()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return trickle(); });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        QTableView *downloads = table(panel, "downloadTable");
        panel.addDownload(fileItem("7", "big.bin", dir.path(), 200000), 0);
        QTRY_VERIFY_WITH_TIMEOUT(progressOf(downloads, 0) > 0, 10000);

        clickRowButton(downloads, 0, "停止下载");
        QTRY_VERIFY(statusOf(downloads, 0).contains("下载停止"));
        QVERIFY(progressOf(downloads, 0) > 0); // a stopped row shows how far it came
        QTRY_COMPARE(entries(dir.path()), QStringList());

        clickRowButton(downloads, 0, "开始下载");
        QVERIFY(statusOf(downloads, 0).contains("正在下载"));
        QVERIFY(hasRowButton(downloads, 0, "停止下载"));
        QTRY_COMPARE(server.requests().size(), 2); // from the first byte, on a new worker
        QTRY_VERIFY(progressOf(downloads, 0) > 0);

        clickRowButton(downloads, 0, "清除记录");
        QCOMPARE(rowCountOf(downloads), 0);
        QCOMPARE(tab(panel, "download")->text(), QStringLiteral("正在下载(0)"));
        QTRY_COMPARE(entries(dir.path()), QStringList());
        QVERIFY(historyOnDisk().isEmpty());
    }

    void duplicateEmptyAndUnknownSizeDownloads()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return trickle(); });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        QTableView *downloads = table(panel, "downloadTable");
        QVariantMap item = fileItem("9", "x.bin", dir.path());
        item.remove("length");
        panel.addDownload(item, 0);
        tab(panel, "upload")->click();
        QVERIFY(!downloads->isVisibleTo(&panel));
        panel.addDownload(item, 0);
        QVERIFY(downloads->isVisibleTo(&panel));
        QCOMPARE(rowCountOf(downloads), 1);
        tab(panel, "upload")->click();
        panel.addDownload(QVariantMap(), 0);
        QVERIFY(tab(panel, "upload")->isChecked());
        QVERIFY(!downloads->isVisibleTo(&panel));
        // Bytes arrive, but without a total the bar stays at 0 %.
        QTRY_COMPARE(server.requests().size(), 1);
        QTest::qWait(600);
        QCOMPARE(progressOf(downloads, 0), 0);
    }

    void droppedFinishedRowLetsANewRowLive()
    {
        ScriptedHttpServer server;
        auto count = std::make_shared<std::atomic<int>>(0);
        server.start([count](const QByteArray &) {
            return ++*count == 1 ? body(QByteArray(4000, 'a')) : trickle();
        });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        QTableView *downloads = table(panel, "downloadTable");
        panel.addDownload(fileItem("3", "a.bin", dir.path()), 0);
        QTRY_COMPARE(historyOnDisk().size(), 1);
        QCOMPARE(rowCountOf(downloads), 1);
        clickRowButton(downloads, 0, "清除记录"); // within the second
        QCOMPARE(rowCountOf(downloads), 0);
        panel.addDownload(fileItem("3", "a.bin", dir.path()), 0);
        QCOMPARE(rowCountOf(downloads), 1);
        QTest::qWait(1300); // past the first row's removal time
        QCOMPARE(rowCountOf(downloads), 1);
        QVERIFY(statusOf(downloads, 0).contains("正在下载"));
        QVERIFY(QFile::exists(dir.filePath("a.bin")));
    }

    void uploadsSendTheirFieldsAndRecordHistory()
    {
        ScriptedHttpServer server;
        auto refuse = std::make_shared<std::atomic<bool>>(false);
        server.start([refuse](const QByteArray &) {
            return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(
                refuse->load() ? R"({"code":"1","msg":"没有权限"})" : R"({"code":0,"msg":""})")};
        });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        const QString path = dir.filePath("plan.docx");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(3000, 'u'));
        f.close();
        TransferPanel panel;
        QTableView *uploads = table(panel, "uploadTable");

        panel.addUpload(path, QString(), 0, QString());
        QVERIFY(panel.isUploading(path));
        QVERIFY(!panel.isUploading(path.toUpper()));
        panel.addUpload(path, QString(), 0, QString()); // refused: one row per path
        QCOMPARE(rowCountOf(uploads), 1);
        QCOMPARE(tab(panel, "upload")->text(), QStringLiteral("正在上传(1)"));
        QTRY_COMPARE(historyOnDisk().size(), 1);
        QTRY_COMPARE(rowCountOf(uploads), 0);
        QByteArray request = server.requests().first();
        QVERIFY(request.startsWith("POST /api/file/upload-docfile.jf"));
        QCOMPARE(ScriptedHttpServer::multipartField(request, "pid"), QByteArray("0"));
        QCOMPARE(ScriptedHttpServer::multipartField(request, "uploadType"), QByteArray("2"));
        QCOMPARE(ScriptedHttpServer::multipartField(request, "fileId"), QByteArray(""));
        QCOMPARE(ScriptedHttpServer::multipartField(request, "token"), QByteArray("tok"));
        const QVariantMap rec = historyOnDisk().first().toMap();
        QCOMPARE(rec.value("type").toInt(), 1);
        QCOMPARE(rec.value("fileName").toString(), QStringLiteral("plan.docx"));
        QCOMPARE(rec.value("fileExtend").toString(), QStringLiteral("docx"));
        QCOMPARE(rec.value("folderPath").toString(), dir.path());
        QCOMPARE(textOf(table(panel, "historyTable"), 0, 2), QStringLiteral("上传完成"));

        panel.addUpload(path, "55", 1, "77");
        QTRY_COMPARE(server.requests().size(), 2);
        request = server.requests().last();
        QVERIFY(request.startsWith("POST /api/netdisk/upload.jf"));
        QCOMPARE(ScriptedHttpServer::multipartField(request, "pid"), QByteArray("55"));
        QCOMPARE(ScriptedHttpServer::multipartField(request, "uploadType"), QByteArray("1"));
        QCOMPARE(ScriptedHttpServer::multipartField(request, "fileId"), QByteArray("<absent>"));
        QTRY_COMPARE(historyOnDisk().size(), 2);

        refuse->store(true);
        QTRY_COMPARE(rowCountOf(uploads), 0);
        panel.addUpload(path, "55", 1, QString());
        QTRY_VERIFY(statusOf(uploads, 0).contains("上传出错"));
        // The server's reason is on the row, whole in its tool tip.
        QVERIFY2(statusOf(uploads, 0).contains("没有权限"), qPrintable(statusOf(uploads, 0)));
        QVERIFY(statusTipOf(uploads, 0).contains("没有权限"));
        QVERIFY(hasRowButton(uploads, 0, "开始上传"));
        QCOMPARE(historyOnDisk().size(), 2);
    }

    void uploadStopAndRestart()
    {
        ScriptedHttpServer server;
        stallUploads(server);
        QTemporaryDir dir;
        const QString path = bigFile(dir, "big.bin");
        TransferPanel panel;
        QTableView *uploads = table(panel, "uploadTable");
        panel.addUpload(path, "1", 1, QString());
        clickRowButton(uploads, 0, "停止上传");
        QTRY_VERIFY_WITH_TIMEOUT(statusOf(uploads, 0).contains("上传停止"), 10000);
        QVERIFY(hasRowButton(uploads, 0, "开始上传"));
        clickRowButton(uploads, 0, "开始上传");
        QVERIFY(statusOf(uploads, 0).contains("正在上传"));
        QVERIFY(hasRowButton(uploads, 0, "停止上传"));
        clickRowButton(uploads, 0, "清除记录");
        QCOMPARE(rowCountOf(uploads), 0);
        QVERIFY(!panel.isUploading(path));
        // Destroying the panel stops and waits for the running worker.
    }

    void uploadsWaitTheirTurnAndWaitingRowsObeyTheirButtons()
    {
        ScriptedHttpServer server;
        stallUploads(server);
        QTemporaryDir dir;
        QStringList paths;
        for (int i = 0; i < 5; ++i)
            paths << bigFile(dir, QString("big%1.bin").arg(i));
        TransferPanel panel;
        QTableView *uploads = table(panel, "uploadTable");
        for (const QString &path : paths)
            panel.addUpload(path, "1", 1, QString());
        auto statusAt = [&](int i) { return statusOf(uploads, rowWithKey(uploads, paths[i])); };
        auto hasButton = [&](int i, const QString &tip) {
            return hasRowButton(uploads, rowWithKey(uploads, paths[i]), tip);
        };
        auto click = [&](int i, const QString &tip) {
            clickRowButton(uploads, rowWithKey(uploads, paths[i]), tip);
        };
        QCOMPARE(tab(panel, "upload")->text(), QStringLiteral("正在上传(5)"));
        for (int i = 0; i < 5; ++i) {
            QVERIFY(panel.isUploading(paths[i]));
            QVERIFY2(statusAt(i).contains(i < 3 ? "正在上传" : "等待中"), qPrintable(statusAt(i)));
            QVERIFY(hasButton(i, "停止上传"));
        }
        QTRY_COMPARE(server.openConnections(), TransferPanel::maxRunning);
        QTest::qWait(300);
        QCOMPARE(server.mostOpenConnections(), TransferPanel::maxRunning);

        // A waiting row stops, and starting it again puts it back in the queue.
        click(4, "停止上传");
        QVERIFY(statusAt(4).contains("上传停止"));
        click(4, "开始上传");
        QVERIFY(statusAt(4).contains("等待中"));
        // A dropped waiting row is gone and never starts.
        clickRowButton(uploads, rowWithKey(uploads, paths[3]), "清除记录");
        QVERIFY(!panel.isUploading(paths[3]));
        QCOMPARE(rowCountOf(uploads), 4);

        // A stopped running upload gives its place to the oldest waiting one.
        click(0, "停止上传");
        QTRY_VERIFY_WITH_TIMEOUT(statusAt(0).contains("上传停止"), 10000);
        QTRY_VERIFY(statusAt(4).contains("正在上传"));
        click(0, "开始上传");
        QVERIFY(statusAt(0).contains("等待中"));
        QVERIFY(statusAt(1).contains("正在上传") && statusAt(2).contains("正在上传"));
    }

    void downloadsWaitTheirTurnToo()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return trickle(); });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        QTableView *downloads = table(panel, "downloadTable");
        for (int i = 0; i < 4; ++i)
            panel.addDownload(fileItem(QString::number(i), QString("f%1.bin").arg(i), dir.path()),
                              0);
        auto row = [&](int i) { return rowWithKey(downloads, QString::number(i)); };
        QTRY_COMPARE(server.requests().size(), 3);
        QTest::qWait(300);
        QCOMPARE(server.mostOpenConnections(), TransferPanel::maxRunning);
        QVERIFY(statusOf(downloads, row(2)).contains("正在下载"));
        QVERIFY(statusOf(downloads, row(3)).contains("等待中"));
        QVERIFY(panel.isDownloading("3"));
        clickRowButton(downloads, row(3), "停止下载");
        QVERIFY(statusOf(downloads, row(3)).contains("下载停止"));
        clickRowButton(downloads, row(3), "开始下载");
        QVERIFY(statusOf(downloads, row(3)).contains("等待中"));
        // A dropped running download frees its place once its worker has ended.
        clickRowButton(downloads, row(0), "清除记录");
        QTRY_VERIFY(statusOf(downloads, row(3)).contains("正在下载"));
        QTRY_COMPARE(server.requests().size(), 4);
    }

    void historyOrderDropAndClear()
    {
        QTemporaryDir dir;
        writeHistory({record("one", "/p/1", 1000), record("two", "/p/2", 2000, 1),
                      record("three", "/p/1", 3000)});
        TransferPanel panel;
        QTableView *t = table(panel, "historyTable");
        QCOMPARE(rowCountOf(t), 3);
        QCOMPARE(nameOf(t, 0), QStringLiteral("three"));
        QCOMPARE(nameOf(t, 2), QStringLiteral("one"));
        QCOMPARE(tab(panel, "history")->text(), QStringLiteral("传输完成(3)"));
        QCOMPARE(textOf(t, 1, 2), QStringLiteral("上传完成"));
        QCOMPARE(textOf(t, 0, 2), QStringLiteral("下载完成"));
        QCOMPARE(textOf(t, 0, 1),
                 QDateTime::fromMSecsSinceEpoch(3000).toString("yyyy-MM-dd HH:mm:ss"));

        tab(panel, "history")->click();
        QVERIFY(t->isVisibleTo(&panel));
        QVERIFY(panel.findChild<QPushButton *>("clearAll")->isVisibleTo(&panel));

        // "/p/1" twice: the record clicked goes, on the screen and on disk.
        clickRowButton(t, 2, "清除记录");
        QCOMPARE(rowCountOf(t), 2);
        QCOMPARE(nameOf(t, 0), QStringLiteral("three"));
        QCOMPARE(nameOf(t, 1), QStringLiteral("two"));
        QVariantList onDisk = historyOnDisk();
        QCOMPARE(onDisk.size(), 2);
        QCOMPARE(onDisk.at(0).toMap().value("fileName").toString(), QStringLiteral("two"));
        QCOMPARE(onDisk.at(1).toMap().value("fileName").toString(), QStringLiteral("three"));

        clickInNextModal("No");
        panel.findChild<QPushButton *>("clearAll")->click();
        QCOMPARE(rowCountOf(t), 2);
        QCOMPARE(historyOnDisk().size(), 2);

        clickInNextModal("Yes");
        panel.findChild<QPushButton *>("clearAll")->click();
        QCOMPARE(rowCountOf(t), 0);
        QCOMPARE(tab(panel, "history")->text(), QStringLiteral("传输完成(0)"));
        QFile file(GCore::dataDir() + "/history.json");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(QJsonDocument::fromJson(file.readAll()).isArray());
        QVERIFY(historyOnDisk().isEmpty());

        // Nothing to clear: no question at all.
        bool asked = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                asked = true;
                modal->close();
            }
        });
        probe.start(50);
        panel.clearItems();
        QVERIFY(!asked);
    }

    void unreadableHistoryStartsEmpty()
    {
        QFile file(GCore::dataDir() + "/history.json");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"not\": \"a list\"}");
        file.close();
        TransferPanel panel;
        QCOMPARE(rowCountOf(table(panel, "historyTable")), 0);
        QCOMPARE(tab(panel, "upload")->text(), QStringLiteral("正在上传(0)"));
        QVERIFY(tab(panel, "upload")->isChecked());
    }

    void openButtonsUseTheDesktopServicesAndSayWhenTheyCannot()
    {
        QTemporaryDir dir;
        const QString present = dir.filePath("a b.txt");
        QFile file(present);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QString gone = dir.filePath("gone.txt");
        QVariantMap missing = record("gone", gone, 6);
        missing.insert("folderPath", dir.path());
        writeHistory({record("doc", present, 5), missing});
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        TransferPanel panel;
        QTableView *t = table(panel, "historyTable");
        clickRowButton(t, 1, "打开文件");
        clickRowButton(t, 1, "打开所在文件夹");
        QCOMPARE(recorder.opened,
                 QList<QUrl>({QUrl::fromLocalFile(present), QUrl::fromLocalFile("/tmp")}));

        // A file that is no longer there: the box names it.
        QString box;
        answerNextModal("打开出错", [&box](QWidget *modal) {
            box = labelTexts(modal);
            static_cast<QDialog *>(modal)->accept();
        });
        clickRowButton(t, 0, "打开文件");
        QVERIFY2(box.contains("找不到") && box.contains(gone), qPrintable(box));
        QDesktopServices::unsetUrlHandler("file");

        // A desktop without a program for it (the offscreen platform has none).
        box.clear();
        answerNextModal("打开出错", [&box](QWidget *modal) {
            box = labelTexts(modal);
            static_cast<QDialog *>(modal)->accept();
        });
        clickRowButton(t, 1, "打开文件");
        QVERIFY2(box.contains("系统无法打开文件") && box.contains(present), qPrintable(box));
        QCOMPARE(recorder.opened.size(), 2);
    }

    void sizeTextsWithoutMarkupAndFinishedBarsFull()
    {
        // A record written before the size text was cleaned.
        QVariantMap old = record("old", "/tmp/old.txt", 5);
        old.insert("fileLength", "35&nbsp;B");
        writeHistory({old});
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return body(QByteArray(1500, 'x')); });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        QTableView *history = table(panel, "historyTable");
        QCOMPARE(sizeOf(history, 0), QStringLiteral("35B"));
        QCOMPARE(historyOnDisk().first().toMap().value("fileLength").toString(),
                 QStringLiteral("35B"));

        // The announced size is twice the real one: the bar never passes half
        // while the bytes come, and is full when the file is complete.
        QVariantMap item = fileItem("21", "b.txt", dir.path(), 3000);
        item.insert("fileLength", "1.5&nbsp;KB");
        QTableView *downloads = table(panel, "downloadTable");
        panel.addDownload(item, 0);
        QCOMPARE(sizeOf(downloads, 0), QStringLiteral("1.5KB"));
        QTRY_COMPARE(rowCountOf(history), 2);
        QCOMPARE(rowCountOf(downloads), 1);
        QCOMPARE(progressOf(downloads, 0), 100);
        QCOMPARE(sizeOf(history, 0), QStringLiteral("1.5KB"));
        QTRY_COMPARE(historyOnDisk().size(), 2);
        QCOMPARE(historyOnDisk().last().toMap().value("fileLength").toString(),
                 QStringLiteral("1.5KB"));
    }

    void showTransferReachesThePanelThroughTheMainWindow()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return body("x"); });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        MainWidget main;
        TransferPanel &panel = *static_cast<TransferPanel *>(GCore::instance()->transferPanel());
        main.showPanelByName("netdisk");
        GCore::instance()->showDownloadTransfer("open", fileItem("1", "a.txt", dir.path()), 0);
        QVERIFY(panel.isVisibleTo(&main));
        QCOMPARE(rowCountOf(table(panel, "downloadTable")), 0);
        GCore::instance()->showDownloadTransfer("download", fileItem("1", "a.txt", dir.path()), 0);
        QCOMPARE(rowCountOf(table(panel, "downloadTable")), 1);
        GCore::instance()->showUploadTransfer(dir.filePath("missing.txt"), "", 0, "");
        QCOMPARE(rowCountOf(table(panel, "uploadTable")), 1);
        QTRY_VERIFY(statusOf(table(panel, "uploadTable"), 0).contains("上传出错"));
        QTRY_COMPARE(historyOnDisk().size(), 1);
        GCore::instance()->setMainWidget(nullptr);
    }

    // ---- against folvane-server ----

    void realServerUploadAndDownloadInBothAreas()
    {
        ServerProcess server;
        QVERIFY2(server.start(), qPrintable(server.error()));
        server.configureClient();
        const QString token = server.login("admin", "admin123");
        QVERIFY(!token.isEmpty());
        GCore::instance()->setToken(token);
        HttpCurl *http = HttpCurl::instance();

        // A library folder to upload into.
        const QVariantMap dirs = http->postJson(server.url() + "/api/file/list-dir.jf",
                                                {{"token", token}, {"date", "1970-01-01 00:00:00"}})
                                     .toMap();
        QString folderId;
        for (const QVariant &v : dirs.value("data").toList()) {
            if (v.toMap().value("parentId").toString() == "0") {
                folderId = v.toMap().value("fileId").toString();
                break;
            }
        }
        QVERIFY(!folderId.isEmpty());

        QTemporaryDir dir;
        const QString local = dir.filePath("upload-测试.bin");
        QFile f(local);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray content;
        for (int i = 0; i < 300000; ++i)
            content.append(char(i * 7 % 251));
        f.write(content);
        f.close();

        TransferPanel panel;
        panel.addUpload(local, folderId, 0, QString());
        QTRY_COMPARE_WITH_TIMEOUT(historyOnDisk().size(), 1, 20000);
        QTRY_COMPARE(rowCountOf(table(panel, "uploadTable")), 0); // one row per path
        panel.addUpload(local, QString(), 1, QString());
        QTRY_COMPARE_WITH_TIMEOUT(historyOnDisk().size(), 2, 20000);

        auto findFile = [&](const QString &path, const FormParams &form) {
            const QVariantMap reply = http->postJson(server.url() + path, form).toMap();
            for (const QVariant &v : reply.value("data").toList()) {
                if (v.toMap().value("fileName").toString() == QStringLiteral("upload-测试.bin"))
                    return v.toMap();
            }
            return QVariantMap();
        };
        QVariantMap libraryFile =
            findFile("/api/file/list-file.jf", {{"token", token}, {"parentId", folderId}});
        QVariantMap diskFile = findFile(
            "/api/netdisk/list.jf", {{"token", token}, {"parentId", "0"}, {"pageSize", "1000"}});
        QVERIFY(!libraryFile.isEmpty());
        QVERIFY(!diskFile.isEmpty());

        QTemporaryDir target;
        libraryFile.insert("localPath", target.path());
        diskFile.insert("localPath", target.path());
        panel.addDownload(libraryFile, 0);
        QTRY_COMPARE_WITH_TIMEOUT(historyOnDisk().size(), 3, 20000);
        panel.addDownload(diskFile, 1);
        QTRY_COMPARE_WITH_TIMEOUT(historyOnDisk().size(), 4, 20000);
        for (const QString &name :
             {QStringLiteral("upload-测试.bin"), QStringLiteral("upload-测试(2).bin")}) {
            QFile saved(QDir(target.path()).filePath(name));
            QVERIFY2(saved.open(QIODevice::ReadOnly), qPrintable(name));
            QCOMPARE(saved.readAll(), content);
        }

        // An id the server does not know: its refusal ends as failed.
        panel.addDownload(fileItem("987654321", "none.txt", target.path()), 0);
        QTRY_VERIFY_WITH_TIMEOUT(statusOf(table(panel, "downloadTable"), 0).contains("下载出错"),
                                 20000);
        QCOMPARE(historyOnDisk().size(), 4);
        QCOMPARE(entries(target.path()).size(), 2);
    }
};

FOLVANE_TEST_MAIN(TestTransferPanel)
#include "tst_transferpanel.moc"
