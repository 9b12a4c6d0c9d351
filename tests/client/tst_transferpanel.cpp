// The transfer panel: downloads streamed to a free local name, refusals,
// hostile names, stop / restart / drop, uploads, the history file and its
// buttons; first against the scripted server, then against folvane-server.
#include "app/mainwidget.h"
#include "browserhelpers.h"
#include "core/filewriter.h"
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
#include <QScopeGuard>
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
    FileWriter::flush();
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

// A file's bytes, different at every offset.
QByteArray pattern(int size, int seed = 0)
{
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        out[i] = char((i * 131 + seed + (i >> 8)) & 0xff);
    return out;
}

// The first `cut` bytes of `content` under a length that promises all of it,
// then the connection closes.
ScriptedHttpServer::Reply cutReply(const QByteArray &content, int cut)
{
    return ScriptedHttpServer::Reply{
        "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(content.size()) + "\r\n\r\n" +
        content.left(cut)};
}

// The asked start of a "Range: bytes=N-" request, or -1.
qint64 rangeStart(const QByteArray &request)
{
    const QByteArray range = ScriptedHttpServer::headerOf(request, "Range");
    if (!range.startsWith("bytes=") || !range.endsWith("-"))
        return -1;
    return range.mid(6, range.size() - 7).toLongLong();
}

ScriptedHttpServer::Reply rangeReply(const QByteArray &content, qint64 from, qint64 total)
{
    return ScriptedHttpServer::Reply{
        "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + QByteArray::number(from) + "-" +
        QByteArray::number(content.size() - 1) + "/" + QByteArray::number(total) +
        "\r\nContent-Length: " + QByteArray::number(content.size() - from) + "\r\n\r\n" +
        content.mid(int(from))};
}

int requestsWithRange(const ScriptedHttpServer &server)
{
    int n = 0;
    for (const QByteArray &r : server.requests())
        n += ScriptedHttpServer::headerOf(r, "Range").isNull() ? 0 : 1;
    return n;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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
        QFile::remove(GCore::dataDir() + "/partial-downloads.json");
        for (const QString &name : QDir(GCore::dataDir()).entryList({"queue-*.json"}))
            QFile::remove(GCore::dataDir() + "/" + name);
        GCore::instance()->setToken("tok");
        TransferPanel::setRetryDelayMs(50);
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
        // The bytes held stay beside the target for the next start.
        QCOMPARE(entries(dir.path()).size(), 1);
        QVERIFY(entries(dir.path()).first().endsWith(".part"));

        clickRowButton(downloads, 0, "开始下载");
        QVERIFY(statusOf(downloads, 0).contains("正在下载"));
        QVERIFY(hasRowButton(downloads, 0, "停止下载"));
        // On a new worker it asks for the rest; this server sends all again.
        QTRY_COMPARE(server.requests().size(), 2);
        QVERIFY(server.requests().last().contains("\r\nRange: bytes="));
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
        QTRY_COMPARE(rowCountOf(table(panel, "historyTable")), 1);
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

    // ---- resuming, retries and stalls ----

    void cutDownloadResumesWithOneRange()
    {
        const QByteArray content = pattern(200000);
        ScriptedHttpServer server;
        server.start([content](const QByteArray &request) {
            const qint64 from = rangeStart(request);
            return from < 0 ? cutReply(content, 70000) : rangeReply(content, from, content.size());
        });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        QTableView *downloads = table(panel, "downloadTable");
        QVariantMap item = fileItem("40", "cut.bin", dir.path(), content.size());
        item.insert("md5", HttpCurl::md5Hex(content));
        QStringList seen;
        connect(downloads->model(), &QAbstractItemModel::dataChanged,
                [&] { seen << statusOf(downloads, 0); });
        panel.addDownload(item, 0);
        QTRY_COMPARE(historyOnDisk().size(), 1);
        QCOMPARE(fileBytes(dir.filePath("cut.bin")), content);
        QCOMPARE(entries(dir.path()), QStringList({"cut.bin"}));
        QCOMPARE(server.requests().size(), 2);
        QCOMPARE(requestsWithRange(server), 1);
        QCOMPARE(rangeStart(server.requests().last()), 70000);
        QVERIFY2(seen.contains("重试中 (1/3)"), qPrintable(seen.join(',')));
    }

    void serverWithoutRangesOrWithAnotherTotalSendsAllAgain()
    {
        const QByteArray content = pattern(200000);
        const QByteArray changed = pattern(150000, 7);
        auto mode = std::make_shared<std::atomic<int>>(0); // 0 ignores ranges, 1 a new total
        ScriptedHttpServer server;
        server.start([content, changed, mode](const QByteArray &request) {
            const qint64 from = rangeStart(request);
            if (*mode == 0)
                return from < 0 ? cutReply(content, 50000) : body(content);
            // The file changed on the server between the two requests.
            if (from < 0)
                return body(changed);
            return rangeReply(changed, from, changed.size());
        });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        // The first try is cut; the retry's range is ignored: a whole second download.
        panel.addDownload(fileItem("41", "a.bin", dir.path(), content.size()), 0);
        QTRY_COMPARE(historyOnDisk().size(), 1);
        QCOMPARE(fileBytes(dir.filePath("a.bin")), content);
        QCOMPARE(server.requests().size(), 2);
        QCOMPARE(rangeStart(server.requests().last()), 50000);

        // A stopped download whose file changed meanwhile: the range's total
        // differs, so it asks again for the whole file.
        *mode = 1;
        PartDownload part;
        QFile held(dir.filePath("b.bin.held.part"));
        QVERIFY(held.open(QIODevice::WriteOnly));
        held.write(content.left(60000));
        held.close();
        part.path = held.fileName();
        part.held = 60000;
        part.total = content.size();
        HttpCurl::instance()->downloadPart(server.url(), {{"fileIds", "42"}}, part, nullptr);
        QCOMPARE(int(part.outcome), int(PartDownload::Outcome::Complete));
        QVERIFY(!part.resumed);
        QCOMPARE(fileBytes(held.fileName()), changed);
        QCOMPARE(server.requests().size(), 4);
        QCOMPARE(rangeStart(server.requests().at(2)), 60000);
        QCOMPARE(rangeStart(server.requests().at(3)), -1);
    }

    void wrongMd5IsDiscardedAndReported()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return body(pattern(5000)); });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        QTableView *downloads = table(panel, "downloadTable");
        QVariantMap item = fileItem("43", "m.bin", dir.path());
        item.insert("md5", HttpCurl::md5Hex("something else"));
        panel.addDownload(item, 0);
        QTRY_COMPARE(statusOf(downloads, 0), QStringLiteral("下载出错：文件校验失败"));
        QCOMPARE(entries(dir.path()), QStringList());
        QVERIFY(historyOnDisk().isEmpty());
    }

    void networkFaultsRetryRefusalsDoNot()
    {
        // The first two connections are cut before any answer.
        auto count = std::make_shared<std::atomic<int>>(0);
        ScriptedHttpServer server;
        server.start([count](const QByteArray &request) {
            if (++*count <= 2)
                return ScriptedHttpServer::Reply{};
            return request.startsWith("POST /api/netdisk/upload.jf")
                       ? ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(R"({"code":0})")}
                       : body("third time");
        });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        panel.addDownload(fileItem("44", "r.txt", dir.path(), 10), 0);
        QTRY_COMPARE(historyOnDisk().size(), 1);
        QCOMPARE(fileBytes(dir.filePath("r.txt")), QByteArray("third time"));
        QCOMPARE(server.requests().size(), 3);

        // An upload cut twice is sent whole a third time.
        *count = 0;
        const QString path = dir.filePath("up.txt");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("upload body");
        f.close();
        panel.addUpload(path, "1", 1, QString());
        QTRY_COMPARE(historyOnDisk().size(), 2);
        QCOMPARE(server.requests().size(), 6);
        for (int i = 3; i < 6; ++i)
            QVERIFY(server.requests().at(i).contains("upload body"));

        // Three cuts and the retries are spent.
        ScriptedHttpServer dead;
        dead.start([](const QByteArray &) { return ScriptedHttpServer::Reply{}; });
        pointClientAt(portOf(dead.url()));
        QTableView *downloads = table(panel, "downloadTable");
        panel.addDownload(fileItem("45", "never.txt", dir.path(), 10), 0);
        QTRY_COMPARE(statusOf(downloads, 0), QStringLiteral("下载出错"));
        QCOMPARE(dead.requests().size(), 1 + TransferPanel::maxRetries);
    }

    void stalledConnectionFailsAsANetworkFault()
    {
        HttpCurl::setStallSeconds(1);
        const auto restore = qScopeGuard([] { HttpCurl::setStallSeconds(60); });
        TransferPanel::setRetryDelayMs(60000);
        ScriptedHttpServer server;
        server.start([](const QByteArray &) {
            ScriptedHttpServer::Reply r = trickle(100000);
            r.trickleIntervalMs = 3600 * 1000; // headers, then silence
            return r;
        });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        TransferPanel panel;
        QTableView *downloads = table(panel, "downloadTable");
        panel.addDownload(fileItem("46", "s.bin", dir.path(), 100000), 0);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(downloads, 0), QStringLiteral("重试中 (1/3)"), 8000);
        // Stopped while it waits: no retry comes.
        clickRowButton(downloads, 0, "停止下载");
        QCOMPARE(statusOf(downloads, 0), QStringLiteral("下载停止"));
        QCOMPARE(server.requests().size(), 1);
    }

    void queueOutlivesThePanel()
    {
        const QByteArray content = pattern(200000, 3);
        auto restarted = std::make_shared<std::atomic<bool>>(false);
        ScriptedHttpServer server;
        // Before the restart every answer stops halfway: the download after
        // half the file, an upload's answer before its body.
        server.start([content, restarted](const QByteArray &request) {
            const bool upload = request.startsWith("POST /api/netdisk/upload.jf");
            const qint64 from = rangeStart(request);
            if (*restarted && upload)
                return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(R"({"code":0})")};
            if (*restarted && from >= 0)
                return rangeReply(content, from, content.size());
            ScriptedHttpServer::Reply r =
                cutReply(upload ? QByteArray(100, ' ') : content, upload ? 0 : 100000);
            r.trickleBytes = 1;
            r.trickleIntervalMs = 3600 * 1000;
            return r;
        });
        pointClientAt(portOf(server.url()));
        QTemporaryDir dir;
        QStringList paths;
        for (int i = 0; i < 20; ++i) {
            paths << dir.filePath(QString("q%1.txt").arg(i, 2, 10, QChar('0')));
            QFile f(paths.last());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray::number(i));
        }
        QTemporaryDir target;
        {
            TransferPanel panel;
            for (const QString &path : paths)
                panel.addUpload(path, "1", 1, QString());
            panel.addDownload(fileItem("50", "half.bin", target.path(), content.size()), 1);
            QTRY_VERIFY_WITH_TIMEOUT(progressOf(table(panel, "downloadTable"), 0) >= 50, 10000);
        }
        // Meanwhile one file changes and one goes.
        QFile changed(paths.at(5));
        QVERIFY(changed.open(QIODevice::Append));
        changed.write("more");
        changed.close();
        QVERIFY(QFile::remove(paths.at(6)));
        *restarted = true;

        TransferPanel panel;
        QTableView *uploads = table(panel, "uploadTable");
        QTableView *downloads = table(panel, "downloadTable");
        QCOMPARE(rowCountOf(uploads), 20);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(rowWithKey(uploads, paths.at(i)), 19 - i); // newest on top, as before
        QCOMPARE(statusOf(uploads, 0), QStringLiteral("上传停止"));
        QCOMPARE(statusOf(uploads, 19 - 5), QStringLiteral("上传出错：文件已被修改"));
        QCOMPARE(statusOf(uploads, 19 - 6), QStringLiteral("上传出错：文件已不存在"));
        QCOMPARE(statusOf(downloads, 0), QStringLiteral("下载停止"));
        QCOMPARE(progressOf(downloads, 0), 50);

        panel.findChild<QPushButton *>("startAll")->click();
        tab(panel, "download")->click();
        panel.findChild<QPushButton *>("startAll")->click();
        QTRY_COMPARE_WITH_TIMEOUT(historyOnDisk().size(), 19, 20000);
        QCOMPARE(fileBytes(target.filePath("half.bin")), content);
        // The download went on from the bytes it held.
        QList<qint64> ranges;
        for (const QByteArray &r : server.requests())
            if (r.startsWith("POST /api/netdisk/download.jf"))
                ranges << rangeStart(r);
        QCOMPARE(ranges, QList<qint64>({-1, 100000}));
        QTRY_COMPARE(rowCountOf(uploads), 2);
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
