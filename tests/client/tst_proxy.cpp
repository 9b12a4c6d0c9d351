// Proxies: Debian's tinyproxy (HTTP, and HTTPS through CONNECT) and
// microsocks (SOCKS5) started by the test on free ports with their own
// configuration; "不使用代理" ignores the environment, "系统代理" follows it;
// the manual proxy's password set in the network panel.
#include "app/dlogin.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/httpthread.h"
#include "scriptedhttpserver.h"
#include "testcertificates.h"
#include "testmain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace {

const QByteArray kLoginReply = R"({"code":0,"msg":"","data":{"token":"tok-1","userId":"u1"}})";
const QByteArray kListReply = R"({"code":0,"msg":"","data":[]})";

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

ScriptedHttpServer::Reply answer(const QByteArray &request)
{
    return {ScriptedHttpServer::okReply(request.contains("list-dir") ? kListReply : kLoginReply)};
}

// A proxy program on a free loopback port for the life of the object.
class ProxyProcess
{
public:
    ~ProxyProcess()
    {
        process.terminate();
        process.waitForFinished(5000);
    }

    // tinyproxy with a configuration of its own; with `user` it asks for it.
    bool startTinyproxy(const QString &user = QString(), const QString &password = QString())
    {
        port = freePort();
        QFile config(dir.filePath(QStringLiteral("tinyproxy.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        QByteArray text = "Port " + QByteArray::number(port) +
                          "\nListen 127.0.0.1\nTimeout 60\nMaxClients 50\nAllow 127.0.0.1\n"
                          "LogLevel Connect\nLogFile \"" +
                          logPath().toUtf8() + "\"\n";
        if (!user.isEmpty())
            text += "BasicAuth " + user.toUtf8() + " " + password.toUtf8() + "\n";
        config.write(text);
        config.close();
        return start(QStringLiteral("tinyproxy"),
                     {QStringLiteral("-d"), QStringLiteral("-c"), config.fileName()});
    }

    bool startMicrosocks()
    {
        port = freePort();
        return start(QStringLiteral("microsocks"),
                     {QStringLiteral("-i"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                      QString::number(port)});
    }

    // What the proxy logged: tinyproxy's file, microsocks's output.
    QString log()
    {
        QFile file(logPath());
        if (file.open(QIODevice::ReadOnly))
            output += QString::fromLocal8Bit(file.readAll());
        output += QString::fromLocal8Bit(process.readAll());
        return output;
    }

    quint16 port = 0;
    QString error;

private:
    QString logPath() const { return dir.filePath(QStringLiteral("proxy.log")); }

    bool start(const QString &program, const QStringList &arguments)
    {
        if (QStandardPaths::findExecutable(program).isEmpty()) {
            error = program + QStringLiteral(" is not installed (scripts/setup-deps.sh)");
            return false;
        }
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        // Ready once it accepts a connection.
        for (int i = 0; i < 100; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (socket.waitForConnected(100))
                return true;
            QTest::qWait(50);
        }
        error = program + QStringLiteral(" did not start: ") +
                QString::fromLocal8Bit(process.readAll());
        return false;
    }

    QTemporaryDir dir;
    QProcess process;
    QString output;
};

void configure(const QString &host, quint16 port, const QString &proxy, quint16 proxyPort = 0,
               const QString &caFile = QString())
{
    QVariantMap settings;
    settings.insert(QStringLiteral("host"), host);
    settings.insert(QStringLiteral("port"), QString::number(port));
    settings.insert(QStringLiteral("proxy"), proxy);
    settings.insert(QStringLiteral("proxyHost"), QStringLiteral("127.0.0.1"));
    settings.insert(QStringLiteral("proxyPort"), QString::number(proxyPort));
    settings.insert(QStringLiteral("caFile"), caFile);
    GCore::instance()->writeSettings(settings);
    GCore::instance()->applyTransportSettings();
}

int signInCode()
{
    const QVariantMap reply =
        HttpThread::waitFor(GCore::instance()->serverUrl() + QStringLiteral("/api/user/login.jf"),
                            {{QStringLiteral("username"), QStringLiteral("u")}});
    return reply.isEmpty() ? -1 : reply.value(QStringLiteral("code")).toInt();
}

// Sets the proxy variables of the environment for the life of the object.
class ProxyEnvironment
{
public:
    explicit ProxyEnvironment(const QByteArray &proxy)
    {
        for (const char *name : names)
            qputenv(name, proxy);
        qunsetenv("no_proxy");
        qunsetenv("NO_PROXY");
    }
    ~ProxyEnvironment()
    {
        for (const char *name : names)
            qunsetenv(name);
    }

private:
    const char *const names[5] = {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY",
                                  "all_proxy"};
};

} // namespace

class TestProxy : public QObject
{
    Q_OBJECT

private slots:
    // tinyproxy carries a plain-HTTP server's requests and tunnels an HTTPS
    // server's through CONNECT, with the certificate still verified.
    void httpProxy()
    {
        ProxyProcess proxy;
        if (!proxy.startTinyproxy())
            QSKIP(qPrintable(proxy.error));
        ScriptedHttpServer plain;
        const quint16 plainPort = plain.start(answer);
        configure(QStringLiteral("127.0.0.1"), plainPort, QStringLiteral("http"), proxy.port);
        QCOMPARE(signInCode(), 0);
        QCOMPARE(plain.requests().size(), 1);
        QVERIFY2(
            ScriptedHttpServer::headerOf(plain.requests().first(), "Via").contains("tinyproxy"),
            plain.requests().first().constData());

        TestCertificates certs;
        QVERIFY2(certs.makeCa(), qPrintable(certs.error()));
        const TestCertificates::Pair pair = certs.signedForLoopback();
        ScriptedHttpServer tls;
        tls.setTls(pair.cert, pair.key);
        const quint16 tlsPort = tls.start(answer);
        configure(QStringLiteral("https://127.0.0.1"), tlsPort, QStringLiteral("http"), proxy.port,
                  certs.caFile());
        QCOMPARE(signInCode(), 0);
        QCOMPARE(tls.requests().size(), 1);
        QTRY_VERIFY2(proxy.log().contains(QStringLiteral("CONNECT 127.0.0.1:%1").arg(tlsPort)),
                     qPrintable(proxy.log()));
    }

    void socksProxy()
    {
        ProxyProcess proxy;
        if (!proxy.startMicrosocks())
            QSKIP(qPrintable(proxy.error));
        ScriptedHttpServer server;
        const quint16 port = server.start(answer);
        configure(QStringLiteral("127.0.0.1"), port, QStringLiteral("socks5"), proxy.port);
        // The name is resolved at the proxy.
        QCOMPARE(HttpCurl::instance()->transportSettings().proxyUrl,
                 QStringLiteral("socks5h://127.0.0.1:%1").arg(proxy.port));
        QCOMPARE(signInCode(), 0);
        QCOMPARE(server.requests().size(), 1);
        QTRY_VERIFY2(proxy.log().contains(QStringLiteral("connected to 127.0.0.1:%1").arg(port)),
                     qPrintable(proxy.log()));
    }

    // With the proxy variables set: "不使用代理" sends nothing to the proxy,
    // "系统代理" goes through it.
    void environmentProxy()
    {
        ScriptedHttpServer fakeProxy;
        const quint16 proxyPort = fakeProxy.start(answer);
        ProxyEnvironment environment("http://127.0.0.1:" + QByteArray::number(proxyPort));
        ScriptedHttpServer server;
        const quint16 port = server.start(answer);

        configure(QStringLiteral("127.0.0.1"), port, QStringLiteral("none"));
        QCOMPARE(signInCode(), 0);
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(fakeProxy.acceptedConnections(), 0);

        configure(QStringLiteral("127.0.0.1"), port, QStringLiteral("system"));
        QCOMPARE(signInCode(), 0);
        QCOMPARE(fakeProxy.requests().size(), 1);
        QVERIFY2(
            fakeProxy.requests().first().startsWith(
                QStringLiteral("POST http://127.0.0.1:%1/api/user/login.jf").arg(port).toUtf8()),
            fakeProxy.requests().first().constData());
        QCOMPARE(server.requests().size(), 1);
    }

    // The network panel: a manual proxy that asks for a password; the
    // password never stands in the settings file as typed, and signing in
    // goes through the proxy.
    void panelManualProxy()
    {
        ProxyProcess proxy;
        if (!proxy.startTinyproxy(QStringLiteral("carol"), QStringLiteral("proxy-pass-9")))
            QSKIP(qPrintable(proxy.error));
        ScriptedHttpServer server;
        const quint16 port = server.start(answer);
        GCore::instance()->writeSettings(QVariantMap());

        DLogin login;
        login.showSettingPanel();
        login.findChild<QLineEdit *>(QStringLiteral("hostEdit"))
            ->setText(QStringLiteral("http://127.0.0.1"));
        login.findChild<QLineEdit *>(QStringLiteral("portEdit"))->setText(QString::number(port));
        login.findChild<QComboBox *>(QStringLiteral("proxyBox"))->setCurrentIndex(2);
        login.findChild<QLineEdit *>(QStringLiteral("proxyHostEdit"))
            ->setText(QStringLiteral("127.0.0.1"));
        login.findChild<QLineEdit *>(QStringLiteral("proxyPortEdit"))
            ->setText(QString::number(proxy.port));
        login.findChild<QLineEdit *>(QStringLiteral("proxyUserEdit"))
            ->setText(QStringLiteral("carol"));
        login.findChild<QLineEdit *>(QStringLiteral("proxyPasswordEdit"))
            ->setText(QStringLiteral("proxy-pass-9"));
        login.findChild<QPushButton *>(QStringLiteral("saveSettingsButton"))->click();

        // No keyring in the tests: the password stays enciphered in the file.
        QTRY_VERIFY(!GCore::instance()
                         ->readSettings()
                         .value(QStringLiteral("proxyPwd"))
                         .toString()
                         .isEmpty());
        QFile file(GCore::settingsFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray stored = file.readAll();
        QVERIFY(!stored.contains("proxy-pass-9"));
        QVERIFY(stored.contains("\"proxy\": \"http\""));

        login.findChild<QLineEdit *>(QStringLiteral("usernameEdit"))->setText(QStringLiteral("u"));
        login.findChild<QLineEdit *>(QStringLiteral("passwordEdit"))->setText(QStringLiteral("p"));
        QSignalSpy accepted(&login, &QDialog::accepted);
        login.findChild<QPushButton *>(QStringLiteral("loginButton"))->click();
        QVERIFY(accepted.wait(10000));
        QVERIFY(server.requests().size() >= 1);
        QVERIFY(
            ScriptedHttpServer::headerOf(server.requests().first(), "Via").contains("tinyproxy"));

        // A new dialog reads the password back from where it was kept.
        DLogin again;
        again.showSettingPanel();
        QCOMPARE(again.findChild<QLineEdit *>(QStringLiteral("proxyPasswordEdit"))->text(),
                 QStringLiteral("proxy-pass-9"));
    }
};

FOLVANE_TEST_MAIN(TestProxy)
#include "tst_proxy.moc"
