// The worker threads: one result per run, cancellation signals, self-deletion.
#include "core/downloadthread.h"
#include "core/filewriter.h"
#include "core/httpthread.h"
#include "core/uploadthread.h"
#include "scriptedhttpserver.h"
#include "testmain.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <utility>

namespace {

ScriptedHttpServer::Reply trickleForever()
{
    ScriptedHttpServer::Reply r;
    r.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n";
    r.trickleBytes = 1000000000;
    r.trickleIntervalMs = 10;
    return r;
}

template <typename Worker> QPointer<Worker> startSelfDeleting(Worker *worker)
{
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    return QPointer<Worker>(worker);
}

// A worker emits from its own thread, possibly before the test waits:
// QSignalSpy::wait would then wait for one signal more, so the count is
// watched instead.
bool received(const QSignalSpy &spy)
{
    return QTest::qWaitFor([&spy] { return !spy.isEmpty(); }, 10000);
}

} // namespace

class TestWorkers : public QObject
{
    Q_OBJECT
private slots:
    void httpThreadDeliversMapAndDeletesItself()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) {
            return ScriptedHttpServer::Reply{
                ScriptedHttpServer::okReply(R"({"code":0,"msg":"","data":{"x":"1"}})")};
        });
        auto worker = startSelfDeleting(new HttpThread(server.url() + "/a.jf", {{"token", "t"}}));
        QSignalSpy spy(worker.data(), &HttpThread::receiveJson);
        worker->start();
        QVERIFY(received(spy));
        const QVariantMap map = spy.first().first().toMap();
        QCOMPARE(map.value("data").toMap().value("x").toString(), QStringLiteral("1"));
        QTRY_VERIFY(worker.isNull());
    }

    void httpThreadWithEmptyParamsSendsNothing()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return ScriptedHttpServer::Reply{}; });
        auto worker = startSelfDeleting(new HttpThread(server.url(), {}));
        QSignalSpy spy(worker.data(), &HttpThread::receiveJson);
        worker->start();
        QVERIFY(received(spy));
        QVERIFY(spy.first().first().toMap().isEmpty());
        QVERIFY(server.requests().isEmpty());
    }

    void cancelledDownloadTerminatesOnce()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return trickleForever(); });
        TransferProgress progress;
        auto worker =
            startSelfDeleting(new DownloadThread(server.url(), {{"fileId", "1"}}, &progress));
        QSignalSpy finished(worker.data(), &DownloadThread::downloadFinished);
        QSignalSpy terminated(worker.data(), &DownloadThread::downloadTerminated);
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(progress.downloaded.load() > 0, 10000);
        progress.cancel();
        QVERIFY(received(terminated));
        QTRY_VERIFY(worker.isNull());
        QCOMPARE(terminated.count(), 1);
        QCOMPARE(finished.count(), 0);
    }

    void failedDownloadIsAnEmptyFinish()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) {
            return ScriptedHttpServer::Reply{"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort"};
        });
        TransferProgress progress;
        auto worker =
            startSelfDeleting(new DownloadThread(server.url(), {{"fileId", "1"}}, &progress));
        QSignalSpy finished(worker.data(), &DownloadThread::downloadFinished);
        QSignalSpy terminated(worker.data(), &DownloadThread::downloadTerminated);
        worker->start();
        QVERIFY(received(finished));
        QVERIFY(finished.first().first().toByteArray().isEmpty());
        QCOMPARE(terminated.count(), 0);
    }

    void getModeCarriesTheCallersToken()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &request) {
            if (request.startsWith("GET /ok"))
                return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply("IMG", "image/png")};
            return ScriptedHttpServer::Reply{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
        });
        int tagA = 0, tagB = 0;
        auto a = startSelfDeleting(new DownloadThread(server.url() + "/ok", &tagA));
        auto b = startSelfDeleting(new DownloadThread(server.url() + "/missing", &tagB));
        QSignalSpy spyA(a.data(), &DownloadThread::downloadFinished2);
        QSignalSpy spyB(b.data(), &DownloadThread::downloadFinished2);
        a->start();
        b->start();
        QVERIFY(received(spyA));
        QTRY_COMPARE(spyB.count(), 1);
        QCOMPARE(spyA.first().at(0).toByteArray(), QByteArray("IMG"));
        QCOMPARE(spyA.first().at(1).value<void *>(), static_cast<void *>(&tagA));
        QVERIFY(spyB.first().at(0).toByteArray().isEmpty());
        QCOMPARE(spyB.first().at(1).value<void *>(), static_cast<void *>(&tagB));
    }

    void fileModeHandsBackTheTemporaryFile()
    {
        QTemporaryDir dir;
        ScriptedHttpServer server;
        server.start([](const QByteArray &) {
            return ScriptedHttpServer::Reply{
                ScriptedHttpServer::okReply("0123456789", "application/octet-stream")};
        });
        TransferProgress progress;
        auto worker = startSelfDeleting(
            new DownloadThread(server.url(), {{"fileId", "1"}}, dir.filePath("n.txt"), &progress));
        QSignalSpy spy(worker.data(), &DownloadThread::fileFinished);
        worker->start();
        QVERIFY(received(spy));
        QFile f(spy.first().first().toString());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("0123456789"));
    }

    void cancelledFileModeLeavesNoFile()
    {
        QTemporaryDir dir;
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return trickleForever(); });
        TransferProgress progress;
        auto worker = startSelfDeleting(
            new DownloadThread(server.url(), {{"fileId", "1"}}, dir.filePath("n.txt"), &progress));
        QSignalSpy finished(worker.data(), &DownloadThread::fileFinished);
        QSignalSpy terminated(worker.data(), &DownloadThread::downloadTerminated);
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(progress.downloaded.load() > 0, 10000);
        progress.cancel();
        QVERIFY(received(terminated));
        QCOMPARE(finished.count(), 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void uploadFinishesWithReplyMap()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath("a.txt"));
        f.open(QIODevice::WriteOnly);
        f.write("abc");
        f.close();
        ScriptedHttpServer server;
        server.start([](const QByteArray &) {
            return ScriptedHttpServer::Reply{
                ScriptedHttpServer::okReply(R"({"code":0,"msg":"上传成功"})")};
        });
        TransferProgress progress;
        auto worker = startSelfDeleting(
            new UploadThread(server.url(), {{"token", "t"}}, "file", f.fileName(), &progress));
        QSignalSpy spy(worker.data(), &UploadThread::uploadFinished);
        worker->start();
        QVERIFY(received(spy));
        QCOMPARE(spy.first().first().toMap().value("msg").toString(), QStringLiteral("上传成功"));
        QTRY_VERIFY(worker.isNull());
    }

    void cancelledUploadTerminatesTwice()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath("big.bin"));
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray(32 * 1024 * 1024, 'u'));
        f.close();
        ScriptedHttpServer server;
        server.setStallReading(true);
        server.start([](const QByteArray &) { return ScriptedHttpServer::Reply{}; });
        TransferProgress progress;
        auto worker = startSelfDeleting(
            new UploadThread(server.url(), {{"token", "t"}}, "file", f.fileName(), &progress));
        QList<QString> order;
        QVariantMap secondMap{{"untouched", true}};
        connect(worker.data(), &UploadThread::uploadTerminated, this,
                [&] { order << "terminated"; });
        connect(worker.data(), &UploadThread::uploadTerminated2, this, [&](QVariantMap map) {
            order << "terminated2";
            secondMap = map;
        });
        connect(worker.data(), &UploadThread::uploadFinished, this, [&] { order << "finished"; });
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(progress.uploaded.load() > 0, 10000);
        progress.cancel();
        QTRY_COMPARE_WITH_TIMEOUT(order, (QList<QString>{"terminated", "terminated2"}), 10000);
        QVERIFY(secondMap.isEmpty());
        QTRY_VERIFY(worker.isNull());
    }

    // Files written behind the interface: a file asked for again before its
    // turn is written once, with the newest contents; others keep their
    // order; flush returns with all of it on disk.
    void fileWriterKeepsTheNewestContents()
    {
        QTemporaryDir dir;
        std::atomic<int> made{0};
        std::atomic<bool> release{false};
        // The first write holds the writer, so the next ones queue up.
        FileWriter::write(dir.filePath("slow"), [&] {
            while (!release.load())
                QThread::msleep(1);
            return QByteArray("slow");
        });
        for (int i = 1; i <= 5; ++i) {
            FileWriter::write(dir.filePath("queue"), [&made, i] {
                ++made;
                return QByteArray::number(i);
            });
        }
        FileWriter::write(dir.filePath("other"), [] { return QByteArray("other"); });
        release.store(true);
        FileWriter::flush();
        QCOMPARE(made.load(), 1);
        for (const auto &[name, contents] :
             {std::pair<QString, QByteArray>{"slow", "slow"}, {"queue", "5"}, {"other", "other"}}) {
            QFile f(dir.filePath(name));
            QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(name));
            QCOMPARE(f.readAll(), contents);
        }
    }
};

FOLVANE_TEST_MAIN(TestWorkers)
#include "tst_workers.moc"
