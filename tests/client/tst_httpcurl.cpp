// The transport, byte for byte, against a scripted loopback server.
#include "core/httpcurl.h"
#include "scriptedhttpserver.h"
#include "testmain.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <thread>

namespace {

ScriptedHttpServer::Reply jsonReply(const QByteArray &json)
{
    return {ScriptedHttpServer::okReply(json)};
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(content);
    return f.fileName();
}

} // namespace

class TestHttpCurl : public QObject
{
    Q_OBJECT
private slots:
    void formBodyIsOrderedAndEscaped()
    {
        ScriptedHttpServer server;
        server.start(
            [](const QByteArray &) { return jsonReply(R"({"code":0,"msg":"","data":[]})"); });
        const FormParams params{
            {"zeta", "a&b=c d"}, {"alpha", QStringLiteral("中文")}, {"m id", "1"}, {"token", "t"}};
        const QVariantMap reply =
            HttpCurl::instance()->postJson(server.url() + "/api/x.jf", params).toMap();
        QCOMPARE(reply.value("code").toInt(), 0);
        QCOMPARE(server.requests().size(), 1);
        const QByteArray request = server.requests().first();
        QVERIFY(request.startsWith("POST /api/x.jf HTTP/1.1\r\n"));
        // Key order, values escaped, names as they stand.
        QCOMPARE(ScriptedHttpServer::bodyOf(request),
                 QByteArray("alpha=%E4%B8%AD%E6%96%87&m id=1&token=t&zeta=a%26b%3Dc%20d"));
        QCOMPARE(ScriptedHttpServer::headerOf(request, "Content-Type"),
                 QByteArray("application/x-www-form-urlencoded"));
        QVERIFY(ScriptedHttpServer::headerOf(request, "Expect").isNull());
        QCOMPARE(ScriptedHttpServer::headerOf(request, "User-Agent"),
                 QByteArray(HttpCurl::defaultUserAgent()));
        // The values come back intact through a standard form decoder.
        QUrlQuery query(QString::fromUtf8(ScriptedHttpServer::bodyOf(request)));
        QCOMPARE(query.queryItemValue("zeta", QUrl::FullyDecoded), QStringLiteral("a&b=c d"));
        QCOMPARE(query.queryItemValue("alpha", QUrl::FullyDecoded), QStringLiteral("中文"));
    }

    void emptyParamsSendNothing()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return jsonReply("{}"); });
        QVERIFY(!HttpCurl::instance()->postJson(server.url(), {}).isValid());
        QMap<QString, QString> status;
        QVERIFY(HttpCurl::instance()->request(server.url(), {}, status).isEmpty());
        QCOMPARE(status.value("status"), QStringLiteral("-1"));
        QVERIFY(HttpCurl::instance()->downloadBytes(server.url(), {}, nullptr).isEmpty());
        QVERIFY(server.requests().isEmpty());
    }

    void statusParsing_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("body");
        QTest::newRow("200 with headers")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n{\"a\":1}") << "200"
            << "{\"a\":1}";
        QTest::newRow("404") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno")
                             << "404"
                             << "no";
        QTest::newRow("no blank line") << QByteArray("HTTP/1.1 200 OK\r\nX: y") << "0"
                                       << "HTTP/1.1 200 OK\r\nX: y";
        QTest::newRow("status line without reason")
            << QByteArray("HTTP/1.1 200\r\nX: y\r\n\r\nbody") << "0"
            << "body";
        QTest::newRow("only one header line") << QByteArray("HTTP/1.1 200 OK\r\n\r\nbody") << "0"
                                              << "body";
    }

    void statusParsing()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, status);
        QFETCH(QString, body);
        QString parsed;
        QCOMPARE(HttpCurl::splitStatus(raw, parsed), body);
        QCOMPARE(parsed, status);
    }

    void requestReturnsBodyAndStatusOverTheWire()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) {
            return ScriptedHttpServer::Reply{"HTTP/1.1 201 Created\r\nContent-Length: 5\r\n"
                                             "Connection: close\r\n\r\nhello"};
        });
        QMap<QString, QString> status;
        const QString body = HttpCurl::instance()->request(
            server.url(), {{"a", "1"}}, status, "utf8", "http://ref/", "agent/1",
            {{"X-One", "1"}, {"X-Two", "2"}}, {"X-Two"}, -1);
        QCOMPARE(body, QStringLiteral("hello"));
        QCOMPARE(status.value("status"), QStringLiteral("201"));
        const QByteArray request = server.requests().first();
        QCOMPARE(ScriptedHttpServer::headerOf(request, "Referer"), QByteArray("http://ref/"));
        QCOMPARE(ScriptedHttpServer::headerOf(request, "User-Agent"), QByteArray("agent/1"));
        QCOMPARE(ScriptedHttpServer::headerOf(request, "X-Two"), QByteArray("2"));
        QVERIFY(ScriptedHttpServer::headerOf(request, "X-One").isNull());
    }

    void badRepliesGiveEmptyResults_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("not json") << ScriptedHttpServer::okReply("<html>oops</html>", "text/html");
        QTest::newRow("truncated")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"co");
        QTest::newRow("json array") << ScriptedHttpServer::okReply("[1,2,3]");
        QTest::newRow("empty") << QByteArray();
        // Qt 5's parser would lose the first value's memory.
        QTest::newRow("repeated name")
            << ScriptedHttpServer::okReply("{\"code\":0,\"data\":[1],\"data\":{\"x\":[2]}}");
    }

    void badRepliesGiveEmptyResults()
    {
        QFETCH(QByteArray, raw);
        ScriptedHttpServer server;
        server.start([raw](const QByteArray &) { return ScriptedHttpServer::Reply{raw}; });
        QVERIFY(HttpCurl::instance()->postJson(server.url(), {{"a", "1"}}).toMap().isEmpty());
    }

    void hugeReplyIsRefusedNotHeld()
    {
        // 100 MB of filler after a JSON-looking start: the transport stops
        // reading past its limit and reports failure.
        ScriptedHttpServer server;
        server.start([](const QByteArray &) {
            ScriptedHttpServer::Reply r;
            r.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 104857601\r\n\r\n{";
            r.trickleBytes = 100 * 1024 * 1024;
            r.trickleChunk = 1024 * 1024;
            r.trickleIntervalMs = 0;
            return r;
        });
        QVERIFY(HttpCurl::instance()->postJson(server.url(), {{"a", "1"}}).toMap().isEmpty());
    }

    void getBytesReturnsBodyOrNothing()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &request) {
            if (request.startsWith("GET /pic.png"))
                return ScriptedHttpServer::Reply{
                    ScriptedHttpServer::okReply("PNGDATA", "image/png")};
            return ScriptedHttpServer::Reply{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"};
        });
        QCOMPARE(HttpCurl::instance()->getBytes(server.url() + "/pic.png"), QByteArray("PNGDATA"));
        const QByteArray withHeaders =
            HttpCurl::instance()->getBytes(server.url() + "/pic.png", {}, {}, true);
        QVERIFY(withHeaders.startsWith("HTTP/1.1 200 OK"));
        QVERIFY(withHeaders.endsWith("\r\n\r\nPNGDATA"));
        // Closed port: nothing listens, the connection fails at once.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 closedPort = probe.serverPort();
        probe.close();
        QVERIFY(HttpCurl::instance()
                    ->getBytes(QStringLiteral("http://127.0.0.1:%1/x").arg(closedPort))
                    .isEmpty());
        QVERIFY(
            HttpCurl::instance()
                ->postJson(QStringLiteral("http://127.0.0.1:%1/x").arg(closedPort), {{"a", "1"}})
                .toMap()
                .isEmpty());
        // A relative URL (no server configured) fails the same way.
        QVERIFY(
            HttpCurl::instance()->postJson("/api/user/login.jf", {{"a", "1"}}).toMap().isEmpty());
    }

    void multipartUploadBytes()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("报告 1.txt"), "file-content-bytes");
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return jsonReply(R"({"code":0,"msg":"ok"})"); });
        TransferProgress progress;
        const QByteArray reply = HttpCurl::instance()->uploadFile(
            server.url() + "/api/file/upload-docfile.jf", "file", path,
            {{"token", "tk"}, {"parentId", "0"}, {"b", QStringLiteral("值")}}, &progress);
        QCOMPARE(reply, QByteArray(R"({"code":0,"msg":"ok"})"));
        const QByteArray request = server.requests().first();
        QVERIFY(ScriptedHttpServer::headerOf(request, "Expect").isNull());
        const QByteArray type = ScriptedHttpServer::headerOf(request, "Content-Type");
        QVERIFY(type.startsWith("multipart/form-data; boundary="));
        const QByteArray body = ScriptedHttpServer::bodyOf(request);
        const int b = body.indexOf("name=\"b\"");
        const int parent = body.indexOf("name=\"parentId\"");
        const int token = body.indexOf("name=\"token\"");
        const int file = body.indexOf("name=\"file\"; filename=\"" +
                                      QStringLiteral("报告 1.txt").toUtf8() + "\"");
        QVERIFY(b > 0 && parent > b && token > parent && file > token);
        QVERIFY(body.contains("\r\n\r\n" + QStringLiteral("值").toUtf8() + "\r\n"));
        QVERIFY(body.contains("\r\n\r\nfile-content-bytes\r\n"));
        QCOMPARE(progress.uploaded.load(), double(body.size()));
    }

    void uploadOfMissingFileSendsNothing()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) { return jsonReply("{}"); });
        QVERIFY(HttpCurl::instance()
                    ->uploadFile(server.url(), "file", "/nonexistent/x.txt", {{"a", "1"}}, nullptr)
                    .isEmpty());
        QVERIFY(HttpCurl::instance()
                    ->uploadFile(server.url(), "file", "", {{"a", "1"}}, nullptr)
                    .isEmpty());
        QVERIFY(server.requests().isEmpty());
    }

    void downloadCancelsWithinOneCallback()
    {
        ScriptedHttpServer server;
        server.start([](const QByteArray &) {
            ScriptedHttpServer::Reply r;
            r.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n";
            r.trickleBytes = 1000000000;
            r.trickleChunk = 1024;
            r.trickleIntervalMs = 10;
            return r;
        });
        TransferProgress progress;
        QByteArray result = "not run";
        std::thread worker([&] {
            result =
                HttpCurl::instance()->downloadBytes(server.url(), {{"fileId", "1"}}, &progress);
        });
        QTRY_VERIFY_WITH_TIMEOUT(progress.downloaded.load() > 0, 10000);
        progress.cancel();
        worker.join();
        QVERIFY(result.isEmpty());
    }

    void uploadCancelsWithinOneCallback()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, "big.bin", QByteArray(32 * 1024 * 1024, 'z'));
        ScriptedHttpServer server;
        server.setStallReading(true);
        server.start([](const QByteArray &) { return jsonReply("{}"); });
        TransferProgress progress;
        QByteArray result = "not run";
        std::thread worker([&] {
            result = HttpCurl::instance()->uploadFile(server.url(), "file", path, {{"a", "1"}},
                                                      &progress);
        });
        QTRY_VERIFY_WITH_TIMEOUT(progress.uploaded.load() > 0, 10000);
        progress.cancel();
        worker.join();
        QVERIFY(result.isEmpty());
        QVERIFY(progress.uploaded.load() < 32 * 1024 * 1024);
    }

    void downloadToFileStreamsBesideTarget()
    {
        QTemporaryDir dir;
        const QByteArray payload(3 * 1024 * 1024 + 17, 'q');
        ScriptedHttpServer server;
        server.start([&payload](const QByteArray &) {
            return ScriptedHttpServer::Reply{
                ScriptedHttpServer::okReply(payload, "application/octet-stream")};
        });
        TransferProgress progress;
        const QString target = dir.filePath("doc.pdf");
        const QString temp = HttpCurl::instance()->downloadToFile(server.url(), {{"fileId", "1"}},
                                                                  target, &progress);
        QVERIFY(!temp.isEmpty());
        QCOMPARE(QFileInfo(temp).absolutePath(), QFileInfo(target).absolutePath());
        QVERIFY(!QFile::exists(target));
        QFile f(temp);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), payload);
        QCOMPARE(progress.downloaded.load(), double(payload.size()));
    }

    void downloadToFileLeavesNothingOnFailure()
    {
        QTemporaryDir dir;
        ScriptedHttpServer server;
        server.start([](const QByteArray &) {
            ScriptedHttpServer::Reply r;
            r.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 1000000000\r\n\r\n";
            r.trickleBytes = 1000000000;
            r.trickleIntervalMs = 5;
            return r;
        });
        TransferProgress progress;
        QString result = "not run";
        std::thread worker([&] {
            result = HttpCurl::instance()->downloadToFile(server.url(), {{"fileId", "1"}},
                                                          dir.filePath("a.bin"), &progress);
        });
        QTRY_VERIFY_WITH_TIMEOUT(progress.downloaded.load() > 0, 10000);
        progress.cancel();
        worker.join();
        QVERIFY(result.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        // A folder that cannot be written gives an empty result without traffic.
        const int before = server.requests().size();
        QVERIFY(
            HttpCurl::instance()
                ->downloadToFile(server.url(), {{"fileId", "1"}}, "/nonexistent/dir/a.bin", nullptr)
                .isEmpty());
        QCOMPARE(server.requests().size(), before);
    }

    void repeatedNamesAreRefused()
    {
        QVERIFY(HttpCurl::parseJson("{\"a\":{\"a\":1},\"b\":[{\"a\":[1]},{\"a\":2}],"
                                    "\"c\":\"\\\"a\\\"\"}")
                    .isObject());
        QVERIFY(HttpCurl::parseJson("{\"code\":0,\"d\\u0061ta\":[1],\"data\":2}").isNull());
        QVERIFY(HttpCurl::parseJson("[{\"x\":1},{\"y\":{\"\xf0\x9f\x98\x80\":[],"
                                    "\"\\ud83d\\ude00\":0}}]")
                    .isNull());
        QVERIFY(HttpCurl::parseJson("{\"k\\\"\":1,\"k\":2}").isObject());
        // Qt takes an unknown escape ("\h") as the character itself.
        QVERIFY(HttpCurl::parseJson("{\"\\host\":[1],\"host\":2}").isNull());
    }

    void refusalTest()
    {
        QVERIFY(HttpCurl::isServerRefusal(R"({"code":1,"msg":"无权限"})"));
        QVERIFY(!HttpCurl::isServerRefusal(R"({"msg":"no code"})"));
        QVERIFY(!HttpCurl::isServerRefusal("PK\x03\x04 zip bytes"));
        QVERIFY(!HttpCurl::isServerRefusal("[1,2]"));
        QByteArray big = "{\"code\":1,\"pad\":\"" + QByteArray(3000, 'a') + "\"}";
        QVERIFY(!HttpCurl::isServerRefusal(big));
    }
};

FOLVANE_TEST_MAIN(TestHttpCurl)
#include "tst_httpcurl.moc"
