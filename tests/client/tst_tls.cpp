// HTTPS in the client: verification against the system's CAs and a CA file,
// the trust dialog for certificates that fail, pins that every call uses, and
// the plain-HTTP warning of the sign-in dialog.
#include "app/dlogin.h"
#include "app/startup.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/httpthread.h"
#include "core/trustgate.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "testcertificates.h"
#include "testmain.h"

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QTemporaryDir>

namespace {

const QByteArray kLoginReply =
    R"({"code":0,"msg":"","data":{"token":"tok-1","userId":"u1","nickName":"张三"}})";

void writeServerSettings(const QString &host, quint16 port, const QString &caFile = QString())
{
    QVariantMap settings;
    settings.insert(QStringLiteral("host"), host);
    settings.insert(QStringLiteral("port"), QString::number(port));
    if (!caFile.isEmpty())
        settings.insert(QStringLiteral("caFile"), caFile);
    GCore::instance()->writeSettings(settings);
    GCore::instance()->applyTransportSettings();
}

QVariantMap signIn()
{
    const FormParams form{{QStringLiteral("username"), QStringLiteral("zhangsan")},
                          {QStringLiteral("password"), QStringLiteral("secret-123")}};
    return HttpThread::waitFor(
        GCore::instance()->serverUrl() + QStringLiteral("/api/user/login.jf"), form);
}

QString fingerprintOf(const QString &certFile)
{
    QFile file(certFile);
    file.open(QIODevice::ReadOnly);
    return QString::fromLatin1(
        QSslCertificate(file.readAll()).digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QString labelText(QWidget *window, const char *name)
{
    auto *label = window->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

void clickButton(QWidget *window, const char *name)
{
    auto *button = window->findChild<QPushButton *>(QLatin1String(name));
    if (!button) {
        failTest(QStringLiteral("%1 has no %2").arg(describeWindow(window), QLatin1String(name)));
        return;
    }
    button->click();
}

// What the dialog showed when it was answered.
struct Shown
{
    QString reason;
    QString fingerprint;
    QString previous;
    QString subject;
    QString validity;
    int requestsBefore = -1;
};

void answerTrust(bool trust, Shown *shown, const ScriptedHttpServer *server = nullptr)
{
    answerNextModal(QStringLiteral("证书不受信任"), [=](QWidget *dialog) {
        shown->reason = labelText(dialog, "reasonLabel");
        shown->fingerprint = labelText(dialog, "fingerprintLabel");
        shown->previous = labelText(dialog, "previousFingerprintLabel");
        shown->subject = labelText(dialog, "subjectLabel");
        shown->validity = labelText(dialog, "validityLabel");
        if (server)
            shown->requestsBefore = server->requests().size();
        clickButton(dialog, trust ? "trustButton" : "cancelButton");
    });
}

bool serverSpeaksTls()
{
    QProcess help;
    help.start(ServerProcess::binaryPath(), {QStringLiteral("--help")});
    help.waitForFinished(10000);
    return help.readAll().contains("--tls-cert");
}

} // namespace

class TestTls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(certs.makeCa(), qPrintable(certs.error()));
        startup::installTrustDialog();
    }

    void init()
    {
        TrustGate::instance()->resetRefusals();
        GCore::instance()->writeSettings(QVariantMap());
        GCore::instance()->applyTransportSettings();
    }

    // The real server over HTTPS with a CA of the test's own: signing in, a
    // listing, an upload and a download of a few MiB, byte for byte.
    void httpsAgainstServer()
    {
        if (!serverSpeaksTls())
            QSKIP("folvane-server has no --tls-cert option in this build");
        const TestCertificates::Pair pair = certs.signedForLoopback(QStringLiteral("real"));
        QVERIFY(!pair.cert.isEmpty());
        QTemporaryDir data;
        QProcess server;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(ServerProcess::binaryPath(),
                     {QStringLiteral("--data"), data.path(), QStringLiteral("--listen"),
                      QStringLiteral("127.0.0.1:0"), QStringLiteral("--seed"),
                      QStringLiteral("demo"), QStringLiteral("--tls-cert"), pair.cert,
                      QStringLiteral("--tls-key"), pair.key});
        quint16 port = 0;
        static const QRegularExpression listening(QStringLiteral("listening on [0-9.]+:(\\d+)"));
        QString output;
        while (port == 0 && server.waitForReadyRead(60000)) {
            output += QString::fromLocal8Bit(server.readAllStandardOutput());
            const auto match = listening.match(output);
            if (match.hasMatch())
                port = quint16(match.captured(1).toUInt());
        }
        QVERIFY2(port != 0, qPrintable(output));
        writeServerSettings(QStringLiteral("https://127.0.0.1"), port, certs.caFile());
        QSignalSpy asked(TrustGate::instance(), &TrustGate::trustRequested);
        const QString base = GCore::instance()->serverUrl();
        QCOMPARE(base, QStringLiteral("https://127.0.0.1:%1").arg(port));

        const QVariantMap login =
            HttpCurl::instance()
                ->postJson(base + QStringLiteral("/api/user/login.jf"),
                           {{QStringLiteral("username"), QStringLiteral("zhangsan")},
                            {QStringLiteral("password"), QStringLiteral("123456")}})
                .toMap();
        const QString token =
            login.value(QStringLiteral("data")).toMap().value(QStringLiteral("token")).toString();
        QVERIFY2(!token.isEmpty(), qPrintable(HttpCurl::toJsonText(login)));
        const QVariantMap listing = HttpThread::waitFor(
            base + QStringLiteral("/api/file/list-dir.jf"), {{QStringLiteral("token"), token}});
        QCOMPARE(listing.value(QStringLiteral("code")).toInt(), 0);
        QVERIFY(!listing.value(QStringLiteral("data")).toList().isEmpty());

        QByteArray content(3 * 1024 * 1024 + 17, Qt::Uninitialized);
        for (char &c : content)
            c = char(QRandomGenerator::global()->generate());
        const QString local = data.filePath(QStringLiteral("upload-三.bin"));
        QFile file(local);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const QVariantMap uploaded =
            HttpCurl::parseJson(HttpCurl::instance()->uploadFile(
                                    base + QStringLiteral("/api/netdisk/upload.jf"),
                                    QStringLiteral("file"), local,
                                    {{QStringLiteral("token"), token},
                                     {QStringLiteral("pid"), QStringLiteral("0")},
                                     {QStringLiteral("uploadType"), QStringLiteral("2")}},
                                    nullptr))
                .toVariant()
                .toMap();
        QCOMPARE(uploaded.value(QStringLiteral("code")).toInt(), 0);
        QString fileId = uploaded.value(QStringLiteral("fileId")).toString();
        if (fileId.isEmpty())
            fileId = uploaded.value(QStringLiteral("data"))
                         .toMap()
                         .value(QStringLiteral("fileId"))
                         .toString();
        QVERIFY2(!fileId.isEmpty(), qPrintable(HttpCurl::toJsonText(uploaded)));
        const QString temp = HttpCurl::instance()->downloadToFile(
            base + QStringLiteral("/api/netdisk/download.jf"),
            {{QStringLiteral("token"), token}, {QStringLiteral("fileIds"), fileId}},
            data.filePath(QStringLiteral("back.bin")), nullptr);
        QVERIFY(!temp.isEmpty());
        QFile back(temp);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QVERIFY(back.readAll() == content);
        QCOMPARE(asked.count(), 0);
        server.terminate();
        server.waitForFinished(10000);
    }

    // A self-signed certificate: asked once, nothing sent before the answer,
    // trusted calls go through; the pin holds after a restart without a
    // question; another certificate on the same port asks again with both
    // fingerprints; a refusal holds until the next sign-in.
    void selfSignedTrustFlow()
    {
        const TestCertificates::Pair first = certs.selfSigned(QStringLiteral("first"));
        const TestCertificates::Pair second = certs.selfSigned(QStringLiteral("second"));
        QVERIFY(!first.cert.isEmpty() && !second.cert.isEmpty());
        ScriptedHttpServer server;
        server.setTls(first.cert, first.key);
        const quint16 port = server.start([](const QByteArray &) {
            return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(kLoginReply)};
        });
        writeServerSettings(QStringLiteral("https://127.0.0.1"), port);
        QSignalSpy asked(TrustGate::instance(), &TrustGate::trustRequested);

        Shown shown;
        answerTrust(true, &shown, &server);
        QVariantMap reply = signIn();
        QCOMPARE(reply.value(QStringLiteral("code")).toInt(), 0);
        QCOMPARE(asked.count(), 1);
        QCOMPARE(shown.requestsBefore, 0);
        QVERIFY2(shown.reason.contains(QStringLiteral("自签名证书")), qPrintable(shown.reason));
        QCOMPARE(shown.fingerprint, fingerprintOf(first.cert));
        QVERIFY(shown.subject.contains(QStringLiteral("CN=first")));
        QCOMPARE(server.requests().size(), 1);
        QVERIFY(ScriptedHttpServer::bodyOf(server.requests().first()).contains("secret-123"));
        const QVariantMap pins =
            GCore::instance()->readSettings().value(QStringLiteral("pins")).toMap();
        QVERIFY(pins.contains(QStringLiteral("127.0.0.1:%1").arg(port)));

        // A restart: the transport built anew from the settings file.
        HttpCurl::instance()->setTransportSettings(TransportSettings());
        GCore::instance()->applyTransportSettings();
        QCOMPARE(signIn().value(QStringLiteral("code")).toInt(), 0);
        // Transfers take the same decision.
        QTemporaryDir dir;
        const QString temp = HttpCurl::instance()->downloadToFile(
            GCore::instance()->serverUrl() + QStringLiteral("/api/file/download.jf"),
            {{QStringLiteral("token"), QStringLiteral("t")}}, dir.filePath(QStringLiteral("a")),
            nullptr);
        QVERIFY(!temp.isEmpty());
        QCOMPARE(asked.count(), 1);

        // The server shows another certificate on the same port.
        server.setTls(second.cert, second.key);
        const int before = server.requests().size();
        Shown changed;
        answerTrust(false, &changed, &server);
        QVERIFY(signIn().isEmpty());
        QCOMPARE(asked.count(), 2);
        QCOMPARE(changed.requestsBefore, before);
        QCOMPARE(changed.previous, fingerprintOf(first.cert));
        QCOMPARE(changed.fingerprint, fingerprintOf(second.cert));
        QVERIFY(changed.reason.contains(QStringLiteral("不同")));
        // Refused: the next calls fail at once, without a dialog and unsent.
        QVERIFY(signIn().isEmpty());
        QCOMPARE(asked.count(), 2);
        QCOMPARE(server.requests().size(), before);

        // The next sign-in asks again; trusting replaces the pin.
        TrustGate::instance()->resetRefusals();
        Shown again;
        answerTrust(true, &again);
        QCOMPARE(signIn().value(QStringLiteral("code")).toInt(), 0);
        QCOMPARE(asked.count(), 3);
        QCOMPARE(again.previous, fingerprintOf(first.cert));
        QCOMPARE(server.requests().size(), before + 1);
    }

    // Signing in from the dialog, whose request runs on the interface thread:
    // the trust dialog still opens over it, and trusting signs in.
    void signInDialogAsks()
    {
        const TestCertificates::Pair pair = certs.selfSigned(QStringLiteral("dialog"));
        ScriptedHttpServer server;
        server.setTls(pair.cert, pair.key);
        const quint16 port = server.start([](const QByteArray &request) {
            return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(
                request.contains("list-dir") ? QByteArray(R"({"code":0,"msg":"","data":[]})")
                                             : kLoginReply)};
        });
        writeServerSettings(QStringLiteral("https://127.0.0.1"), port);
        DLogin login;
        login.findChild<QLineEdit *>(QStringLiteral("usernameEdit"))->setText(QStringLiteral("zs"));
        login.findChild<QLineEdit *>(QStringLiteral("passwordEdit"))
            ->setText(QStringLiteral("pw-7"));
        QSignalSpy accepted(&login, &QDialog::accepted);
        Shown shown;
        answerTrust(true, &shown, &server);
        login.findChild<QPushButton *>(QStringLiteral("loginButton"))->click();
        QVERIFY(accepted.wait(10000));
        QCOMPARE(shown.requestsBefore, 0);
        QVERIFY(ScriptedHttpServer::bodyOf(server.requests().first()).contains("pw-7"));
        QCOMPARE(GCore::instance()->token(), QStringLiteral("tok-1"));
    }

    // Twenty calls meet the same unknown certificate at once: one dialog,
    // and all of them go on after the answer.
    void manyCallsOneDialog()
    {
        const TestCertificates::Pair pair = certs.selfSigned(QStringLiteral("crowd"));
        ScriptedHttpServer server;
        server.setTls(pair.cert, pair.key);
        const quint16 port = server.start([](const QByteArray &) {
            return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(kLoginReply)};
        });
        writeServerSettings(QStringLiteral("https://127.0.0.1"), port);
        QSignalSpy asked(TrustGate::instance(), &TrustGate::trustRequested);

        constexpr int kCalls = 20;
        int answers = 0;
        int good = 0;
        for (int i = 0; i < kCalls; ++i) {
            auto *thread =
                new HttpThread(GCore::instance()->serverUrl() + QStringLiteral("/api/x.jf"),
                               {{QStringLiteral("n"), QString::number(i)}});
            connect(thread, &QThread::finished, thread, &QObject::deleteLater);
            connect(thread, &HttpThread::receiveJson, this, [&](const QVariantMap &map) {
                ++answers;
                good += map.value(QStringLiteral("code")).toString() == QLatin1String("0");
            });
            thread->start();
        }
        Shown shown;
        answerTrust(true, &shown, &server);
        QTRY_COMPARE_WITH_TIMEOUT(answers, kCalls, 20000);
        QCOMPARE(good, kCalls);
        QCOMPARE(asked.count(), 1);
        QCOMPARE(shown.requestsBefore, 0);
    }

    // A CA file makes the company's certificates verify; expired ones, another
    // host's and ones of an unknown CA are refused with their reason.
    void verificationAndReasons()
    {
        struct Case
        {
            const char *name;
            TestCertificates::Pair pair;
            bool withCa;
            QString reason; // empty: verifies without a question
        };
        const QList<Case> cases = {
            {"company", certs.signedForLoopback(QStringLiteral("company")), true, QString()},
            {"unknown CA", certs.signedForLoopback(QStringLiteral("unknown")), false,
             QStringLiteral("证书颁发机构未知")},
            {"expired", certs.expired(QStringLiteral("expired")), true,
             QStringLiteral("证书已过期")},
            {"other host", certs.otherHost(QStringLiteral("other")), true,
             QStringLiteral("证书属于另一个主机名")},
        };
        for (const Case &c : cases) {
            TrustGate::instance()->resetRefusals();
            QVERIFY2(!c.pair.cert.isEmpty(), c.name);
            ScriptedHttpServer server;
            server.setTls(c.pair.cert, c.pair.key);
            const quint16 port = server.start([](const QByteArray &) {
                return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(kLoginReply)};
            });
            writeServerSettings(QStringLiteral("https://127.0.0.1"), port,
                                c.withCa ? certs.caFile() : QString());
            QSignalSpy asked(TrustGate::instance(), &TrustGate::trustRequested);
            if (c.reason.isEmpty()) {
                QVERIFY2(signIn().value(QStringLiteral("code")).toInt() == 0 && !signIn().isEmpty(),
                         c.name);
                QCOMPARE(asked.count(), 0);
                continue;
            }
            Shown shown;
            answerTrust(false, &shown, &server);
            QVERIFY2(signIn().isEmpty(), c.name);
            QCOMPARE(asked.count(), 1);
            QVERIFY2(shown.reason.contains(c.reason),
                     qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(c.name), shown.reason)));
            QCOMPARE(server.requests().size(), 0);
        }
    }

    // The sign-in dialog warns when the password would cross a network in
    // clear; loopback and HTTPS addresses do not.
    void plainHttpWarning()
    {
        const struct
        {
            const char *host;
            bool warned;
        } cases[] = {{"192.0.2.10", true},
                     {"http://files.example.org", true},
                     {"127.0.0.1", false},
                     {"localhost", false},
                     {"https://files.example.org", false}};
        for (const auto &c : cases) {
            writeServerSettings(QString::fromLatin1(c.host), 8080);
            DLogin login;
            auto *warning = login.findChild<QLabel *>(QStringLiteral("plainHttpWarning"));
            QVERIFY(warning);
            QCOMPARE(warning->isVisibleTo(&login), c.warned);
            QCOMPARE(warning->textFormat(), Qt::PlainText);
        }
        QCOMPARE(GCore::instance()->serverUrl(), QStringLiteral("https://files.example.org:8080"));
    }

private:
    TestCertificates certs;
};

FOLVANE_TEST_MAIN(TestTls)
#include "tst_tls.moc"
