// Reused connections: the desktop's first load (three lists and the pictures
// of 50 senders) over a few kept-alive connections, counted at the server;
// a connection that moves nothing fails its call after the stall time.
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "desk/userdesktop.h"
#include "desktopreplies.h"
#include "scriptedhttpserver.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QLabel>
#include <QTableWidget>

namespace {

void useServer(quint16 port)
{
    GCore::instance()->writeSettings(
        {{"host", QStringLiteral("127.0.0.1")}, {"port", QString::number(port)}});
    GCore::instance()->applyTransportSettings();
}

} // namespace

class TestConnections : public QObject
{
    Q_OBJECT

private slots:
    void firstLoadReusesConnections()
    {
        constexpr int kUsers = 50;
        const QByteArray listReply = sharedWithMeReply(kUsers, 1, kUsers);
        const QByteArray emptyReply = envelope(QJsonArray());
        const QByteArray png = avatarPng();

        ScriptedHttpServer server;
        const quint16 port = server.start([&](const QByteArray &request) {
            const QByteArray line = request.left(request.indexOf("\r\n"));
            if (line.contains("/api/user/user-thumb.jf"))
                return ScriptedHttpServer::keepAliveReply(png, "image/png");
            return ScriptedHttpServer::keepAliveReply(
                line.contains("/api/file/share-to-me-list.jf") ? listReply : emptyReply);
        });
        useServer(port);
        GCore::instance()->setToken(QStringLiteral("t"));
        GCore::instance()->setUserInfo({{"userId", "me"}, {"nickName", "我"}});

        UserDesktop desk;
        desk.resize(1000, 700);
        desk.show();
        const auto picturesShown = [&desk] {
            const QList<QLabel *> avatars = desk.findChildren<QLabel *>(QStringLiteral("avatar"));
            return avatars.size() == kUsers &&
                   std::all_of(avatars.begin(), avatars.end(), [](const QLabel *label) {
                       return label->pixmap(Qt::ReturnByValue).toImage().pixelColor(16, 16) ==
                              QColor(Qt::darkCyan);
                   });
        };
        QTRY_VERIFY_WITH_TIMEOUT(picturesShown(), 20000);
        int thumbs = 0;
        for (const QByteArray &request : server.requests())
            thumbs += request.startsWith("GET /api/user/user-thumb.jf") ? 1 : 0;
        QCOMPARE(thumbs, kUsers);
        QVERIFY2(server.requests().size() >= kUsers + 3, "the lists were not all asked for");
        QVERIFY2(server.acceptedConnections() <= 4,
                 qPrintable(QStringLiteral("%1 connections for %2 requests")
                                .arg(server.acceptedConnections())
                                .arg(server.requests().size())));
    }

    // A server that sends part of an answer and then nothing: the call fails
    // after the stall time instead of waiting for its whole time-out.
    void stalledConnectionFails()
    {
        ScriptedHttpServer server;
        const quint16 port = server.start([](const QByteArray &) {
            ScriptedHttpServer::Reply reply;
            reply.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"code\":";
            reply.close = false;
            return reply;
        });
        useServer(port);
        HttpCurl::setStallSeconds(1);
        QElapsedTimer clock;
        clock.start();
        const QVariant reply = HttpCurl::instance()->postJson(
            GCore::instance()->serverUrl() + QStringLiteral("/api/x.jf"), {{"a", "b"}});
        QVERIFY(reply.toMap().isEmpty());
        // The request's own time-out is 30 s.
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(server.requests().size(), 1);
        HttpCurl::setStallSeconds(60);
    }
};

FOLVANE_TEST_MAIN(TestConnections)
#include "tst_connections.moc"
