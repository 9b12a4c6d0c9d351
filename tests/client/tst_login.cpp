// The sign-in dialog: validation, the network panel, the request against the
// real server and against scripted replies no real server would send, the
// remembered account and password, and the automatic sign-in.
#include "app/dlogin.h"
#include "app/startup.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "widgets/messagelabel.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include "testmain.h"

namespace {

const QByteArray rootListing =
    R"({"code":0,"msg":"","data":[{"fileId":"1","parentId":"0","fileName":"行政"},)"
    R"({"fileId":"2","parentId":"0","fileName":"技术"}]})";

QByteArray loginOk(const QByteArray &token = "\" tok-123 \"")
{
    return R"({"code":0,"msg":"","data":{"token":)" + token +
           R"(,"username":"zhangsan","nickname":"张三","thumb":"/api/user/user-thumb.jf?userId=2"}})";
}

// A scripted server answering the sign-in and the root listing with fixed bodies.
struct ScriptedServer
{
    ScriptedHttpServer http;

    void start(const QByteArray &loginBody, const QByteArray &listBody = rootListing)
    {
        http.start([loginBody, listBody](const QByteArray &request) {
            ScriptedHttpServer::Reply reply;
            if (request.startsWith("POST /api/user/login.jf"))
                reply.bytes = ScriptedHttpServer::okReply(loginBody);
            else if (request.startsWith("POST /api/file/list-dir.jf"))
                reply.bytes = ScriptedHttpServer::okReply(listBody);
            else
                reply.bytes = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
            return reply;
        });
        configure(http.url());
    }

    static void configure(const QString &url)
    {
        const QUrl u(url);
        QVariantMap settings = GCore::instance()->readSettings();
        settings.insert("host", u.host());
        settings.insert("port", QString::number(u.port()));
        GCore::instance()->writeSettings(settings);
    }

    int count(const QByteArray &path) const
    {
        int n = 0;
        for (const QByteArray &r : http.requests())
            n += r.startsWith("POST " + path) ? 1 : 0;
        return n;
    }

    QUrlQuery form(const QByteArray &path) const
    {
        for (const QByteArray &r : http.requests())
            if (r.startsWith("POST " + path))
                return QUrlQuery(QString::fromUtf8(ScriptedHttpServer::bodyOf(r)));
        return QUrlQuery();
    }
};

// The widgets of one dialog, found by their object names.
struct Form
{
    explicit Form(DLogin *d)
        : dialog(d), username(d->findChild<QLineEdit *>("usernameEdit")),
          password(d->findChild<QLineEdit *>("passwordEdit")),
          host(d->findChild<QLineEdit *>("hostEdit")), port(d->findChild<QLineEdit *>("portEdit")),
          button(d->findChild<QPushButton *>("loginButton")),
          save(d->findChild<QPushButton *>("saveSettingsButton")),
          cancelSettings(d->findChild<QPushButton *>("cancelSettingsButton")),
          settingsButton(d->findChild<QPushButton *>("settingsButton")),
          remember(d->findChild<QCheckBox *>("rememberBox")),
          autoLogin(d->findChild<QCheckBox *>("autoLoginBox")),
          error(d->findChild<QLabel *>("errorLabel")),
          footer(d->findChild<QLabel *>("footerLabel")),
          settingsMessage(d->findChild<QLabel *>("settingsMessage"))
    {
    }

    void fill(const QString &user, const QString &pwd)
    {
        username->setText(user);
        password->setText(pwd);
    }

    bool inputsEnabled() const
    {
        return username->isEnabled() && password->isEnabled() && remember->isEnabled() &&
               autoLogin->isEnabled() && settingsButton->isEnabled();
    }

    DLogin *dialog;
    QLineEdit *username, *password, *host, *port;
    QPushButton *button, *save, *cancelSettings, *settingsButton;
    QCheckBox *remember, *autoLogin;
    QLabel *error, *footer, *settingsMessage;
};

QString encodePassword(const QString &password)
{
    return QString::fromLatin1(HttpCurl::authCode(password.toUtf8(), "ENCODE"));
}

// A loopback port with nothing listening on it.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class TestLogin : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void successStoresEverythingAndAccepts();
    void realServerSignsIn();
    void realServerRejectsWrongPassword();
    void refusalsShowTheServerMessage_data();
    void refusalsShowTheServerMessage();
    void prefetchFailureKeepsDialogOpen();
    void unreachableServerFailsFast();
    void silentServerHitsTheThreeSecondLimit();
    void emptyInputsAreRejectedForThreeSeconds();
    void noServerOpensNetworkPanelAndSavingSignsIn();
    void networkPanelValidatesAndCancels();
    void rememberedPasswordIsEncipheredAndRestored();
    void uncheckedRememberStoresOnlyTheAccount();
    void automaticSignInStartsAfterTwoSeconds();
    void automaticSignInCanBeCancelled();
    void automaticSignInNeedsAPassword();
    void returnKeySignsInOnlyOnTheLoginPanel();
    void keepsItsSizesUnderTheApplicationStyleSheet();
};

void TestLogin::init()
{
    QFile::remove(GCore::settingsFilePath());
    GCore *core = GCore::instance();
    core->setToken(QString());
    core->setUserInfo({});
    core->setCompanyRootCache({});
}

void TestLogin::successStoresEverythingAndAccepts()
{
    ScriptedServer server;
    server.start(loginOk());
    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    form.fill(" zhangsan ", " 123456 ");
    form.remember->setChecked(true);
    form.autoLogin->setChecked(true);
    QTest::mouseClick(form.button, Qt::LeftButton);

    // Busy while the request runs.
    QCOMPARE(form.button->text(), QStringLiteral("登录中..."));
    QVERIFY(!form.button->isEnabled());
    QVERIFY(!form.username->isEnabled());
    QVERIFY(!form.settingsButton->isEnabled());

    QTRY_COMPARE(accepted.count(), 1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    const QUrlQuery sent = server.form("/api/user/login.jf");
    QCOMPARE(sent.queryItemValue("username"), QStringLiteral("zhangsan"));
    QCOMPARE(sent.queryItemValue("password"), QStringLiteral("123456"));
    QVERIFY(sent.hasQueryItem("mac"));
    QCOMPARE(sent.queryItemValue("ip"), QStringLiteral("127.0.0.1"));
    QCOMPARE(server.form("/api/file/list-dir.jf").queryItemValue("token"),
             QStringLiteral("tok-123"));

    GCore *core = GCore::instance();
    QCOMPARE(core->token(), QStringLiteral("tok-123"));
    QCOMPARE(core->userInfo().value("nickname").toString(), QStringLiteral("张三"));
    const QVariantMap cache = core->companyRootCache();
    QCOMPARE(cache.value("data").toList().size(), 2);
    QVERIFY(cache.value("updateTime").toULongLong() > 0);

    // No keyring in this test: the password goes back into the file,
    // enciphered, once the keyring has said no.
    QTRY_VERIFY(!core->readSettings().value("pwd").toString().isEmpty());
    const QVariantMap settings = core->readSettings();
    QCOMPARE(settings.value("username").toString(), QStringLiteral("zhangsan"));
    QCOMPARE(settings.value("remember").toBool(), true);
    QCOMPARE(settings.value("autoLogin").toBool(), true);
    const QString stored = settings.value("pwd").toString();
    QVERIFY(!stored.contains("123456"));
    QCOMPARE(QString::fromUtf8(HttpCurl::authCode(stored.toLatin1(), "DECODE")),
             QStringLiteral("123456"));
    QFile file(GCore::settingsFilePath());
    QCOMPARE(file.permissions() &
                 (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains("123456"));
}

void TestLogin::realServerSignsIn()
{
    ServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    server.configureClient();
    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    form.fill("zhangsan", "123456");
    QTest::mouseClick(form.button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(accepted.count(), 1, 10000);

    GCore *core = GCore::instance();
    QVERIFY(!core->token().isEmpty());
    QCOMPARE(core->userInfo().value("username").toString(), QStringLiteral("zhangsan"));
    QVERIFY(!core->userInfo().value("nickname").toString().isEmpty());
    QVERIFY(!core->companyRootCache().value("data").toList().isEmpty());
    // The token works for the next call.
    const QVariantMap reply =
        HttpCurl::instance()
            ->postJson(server.url() + "/api/file/list-dir.jf", {{"token", core->token()}})
            .toMap();
    QCOMPARE(reply.value("code").toString(), QStringLiteral("0"));
}

void TestLogin::realServerRejectsWrongPassword()
{
    ServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    server.configureClient();
    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    form.fill("zhangsan", "wrong-password");
    QTest::mouseClick(form.button, Qt::LeftButton);
    QTRY_VERIFY(form.error->isVisible());
    QVERIFY(form.error->text().startsWith(QStringLiteral("登录错误：")));
    QVERIFY(form.error->text().size() > QStringLiteral("登录错误：").size());
    QVERIFY(form.error->text() != QStringLiteral("登录错误：服务器异常"));
    QVERIFY(!form.footer->isVisible());
    QVERIFY(GCore::instance()->token().isEmpty());
    QVERIFY(!GCore::instance()->readSettings().contains("username"));
    // The form comes back after half a second.
    QTRY_VERIFY(form.button->isEnabled());
    QCOMPARE(form.button->text(), QStringLiteral("登 录"));
    QVERIFY(form.inputsEnabled());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestLogin::refusalsShowTheServerMessage_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("message");
    QTest::newRow("message trimmed")
        << QByteArray(R"({"code":1,"msg":"  密码错误  "})") << QStringLiteral("登录错误：密码错误");
    QTest::newRow("empty message")
        << QByteArray(R"({"code":1,"msg":""})") << QStringLiteral("登录错误：服务器异常");
    QTest::newRow("no message") << QByteArray(R"({"code":3})")
                                << QStringLiteral("登录错误：服务器异常");
    QTest::newRow("no code") << QByteArray(R"({"msg":"ok","data":{"token":"t"}})")
                             << QStringLiteral("登录错误：服务器异常");
    QTest::newRow("data is a list")
        << QByteArray(R"({"code":0,"data":["token"]})") << QStringLiteral("登录错误：服务器异常");
    QTest::newRow("data is a string")
        << QByteArray(R"({"code":0,"data":"t"})") << QStringLiteral("登录错误：服务器异常");
    QTest::newRow("token is a number")
        << loginOk("12345") << QStringLiteral("登录错误：服务器异常");
    QTest::newRow("token is an object")
        << loginOk(R"({"a":1})") << QStringLiteral("登录错误：服务器异常");
    QTest::newRow("token is blank")
        << loginOk(R"("   ")") << QStringLiteral("登录错误：服务器异常");
    QTest::newRow("not JSON") << QByteArray("<html>busy</html>")
                              << QStringLiteral("登录错误：无法连接服务器");
}

void TestLogin::refusalsShowTheServerMessage()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, message);
    ScriptedServer server;
    server.start(body);
    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    form.fill("zhangsan", "123456");
    form.remember->setChecked(true);
    QTest::mouseClick(form.button, Qt::LeftButton);
    QTRY_COMPARE(form.error->text(), message);
    QVERIFY(form.error->isVisible());
    QVERIFY(!form.footer->isVisible());
    QCOMPARE(server.count("/api/file/list-dir.jf"), 0);
    QVERIFY(GCore::instance()->token().isEmpty());
    QVERIFY(!GCore::instance()->readSettings().contains("username"));
    QTRY_VERIFY(form.button->isEnabled());
    QVERIFY(form.inputsEnabled());
    if (QByteArray(QTest::currentDataTag()) != "message trimmed")
        return;
    // Withdrawn three seconds after it appeared.
    QTRY_VERIFY_WITH_TIMEOUT(!form.error->isVisible(), 4000);
    QCOMPARE(form.error->text(), QString());
    QVERIFY(form.footer->isVisible());
}

void TestLogin::prefetchFailureKeepsDialogOpen()
{
    ScriptedServer server;
    server.start(loginOk(), R"({"code":"5","msg":"no"})");
    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    form.fill("zhangsan", "123456");
    QTest::mouseClick(form.button, Qt::LeftButton);
    QTRY_COMPARE(form.error->text(), QStringLiteral("登录错误：服务器异常"));
    QTRY_VERIFY(form.button->isEnabled());
    QCOMPARE(accepted.count(), 0);
    QCOMPARE(server.count("/api/file/list-dir.jf"), 1);
    QVERIFY(GCore::instance()->companyRootCache().isEmpty());
}

void TestLogin::unreachableServerFailsFast()
{
    ScriptedServer::configure(QStringLiteral("http://127.0.0.1:%1").arg(closedPort()));
    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    form.fill("zhangsan", "123456");
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(form.button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(form.error->text(), QStringLiteral("登录错误：无法连接服务器"), 5000);
    QVERIFY(clock.elapsed() < 5000);
    QTRY_VERIFY(form.inputsEnabled());
}

void TestLogin::silentServerHitsTheThreeSecondLimit()
{
    // Accepts the connection but never reads or answers.
    ScriptedServer server;
    server.http.setStallReading(true);
    server.start(loginOk());
    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    form.fill("zhangsan", "123456");
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(form.button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(form.error->text(), QStringLiteral("登录错误：无法连接服务器"), 8000);
    QVERIFY2(clock.elapsed() < 6000, qPrintable(QString::number(clock.elapsed())));
}

void TestLogin::emptyInputsAreRejectedForThreeSeconds()
{
    ScriptedServer server;
    server.start(loginOk());
    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    QVERIFY(form.footer->isVisible());
    QVERIFY(!form.error->isVisible());

    form.fill("   ", "123456");
    QTest::mouseClick(form.button, Qt::LeftButton);
    QCOMPARE(form.error->text(), QStringLiteral("登录错误：请填写账号"));
    QVERIFY(form.error->isVisible());
    QVERIFY(!form.footer->isVisible());
    QVERIFY(form.button->isEnabled());

    form.fill("zhangsan", "  ");
    QTest::mouseClick(form.button, Qt::LeftButton);
    QCOMPARE(form.error->text(), QStringLiteral("登录错误：请填写密码"));

    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(!form.error->isVisible(), 4000);
    QVERIFY(clock.elapsed() > 2500);
    QVERIFY(form.footer->isVisible());
    QCOMPARE(server.count("/api/user/login.jf"), 0);
}

void TestLogin::noServerOpensNetworkPanelAndSavingSignsIn()
{
    ScriptedServer server;
    server.start(loginOk());
    QFile::remove(GCore::settingsFilePath());

    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    form.fill("zhangsan", "123456");
    QTest::mouseClick(form.button, Qt::LeftButton);
    QVERIFY(form.host->isVisible());
    QVERIFY(!form.button->isVisible());
    QVERIFY(!form.settingsButton->isVisible());
    QCOMPARE(form.settingsMessage->text(), QStringLiteral("请填写服务器参数"));
    QVERIFY(form.settingsMessage->isVisible());

    const QUrl url(server.http.url());
    form.host->setText(" " + url.host() + " ");
    form.port->setText(QString::number(url.port()));
    QTest::mouseClick(form.save, Qt::LeftButton);
    QVERIFY(form.button->isVisible());
    QVERIFY(form.settingsButton->isVisible());
    QCOMPARE(GCore::instance()->readSettings().value("host").toString(), url.host());
    QCOMPARE(GCore::instance()->readSettings().value("port").toString(),
             QString::number(url.port()));
    QTRY_COMPARE(accepted.count(), 1);
    QCOMPARE(server.count("/api/user/login.jf"), 1);
}

void TestLogin::networkPanelValidatesAndCancels()
{
    ScriptedServer::configure("http://10.0.0.7:8080");
    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    QTest::mouseClick(form.settingsButton, Qt::LeftButton);
    QVERIFY(form.host->isVisible());
    QCOMPARE(form.host->text(), QStringLiteral("10.0.0.7"));
    QCOMPARE(form.port->text(), QStringLiteral("8080"));
    QVERIFY(!form.settingsMessage->isVisible());

    form.host->setText("  ");
    QTest::mouseClick(form.save, Qt::LeftButton);
    QCOMPARE(form.settingsMessage->text(), QStringLiteral("请填写服务器地址"));
    QVERIFY(form.host->isVisible());
    form.host->setText("example.test");
    form.port->clear();
    QTest::mouseClick(form.save, Qt::LeftButton);
    QCOMPARE(form.settingsMessage->text(), QStringLiteral("请填写服务器端口"));
    QTRY_VERIFY_WITH_TIMEOUT(!form.settingsMessage->isVisible(), 4000);

    // The port field takes digits only.
    QTest::keyClicks(form.port, "12a3");
    QCOMPARE(form.port->text(), QStringLiteral("123"));

    QTest::mouseClick(form.cancelSettings, Qt::LeftButton);
    QVERIFY(form.button->isVisible());
    QVERIFY(!form.host->isVisible());
    QCOMPARE(GCore::instance()->serverUrl(), QStringLiteral("http://10.0.0.7:8080"));

    QTest::mouseClick(form.settingsButton, Qt::LeftButton);
    form.host->setText("example.test");
    form.port->setText("9000");
    QTest::mouseClick(form.save, Qt::LeftButton);
    QVERIFY(form.button->isVisible());
    QCOMPARE(GCore::instance()->serverUrl(), QStringLiteral("http://example.test:9000"));
    QCOMPARE(GCore::instance()->readSettings().value("port").type(), QVariant::String);
}

void TestLogin::rememberedPasswordIsEncipheredAndRestored()
{
    QVariantMap settings{{"username", "lisi"},
                         {"pwd", encodePassword("秘密pass")},
                         {"remember", true},
                         {"autoLogin", false}};
    GCore::instance()->writeSettings(settings);
    DLogin dialog;
    Form form(&dialog);
    QCOMPARE(form.username->text(), QStringLiteral("lisi"));
    QCOMPARE(form.password->text(), QStringLiteral("秘密pass"));
    QCOMPARE(form.password->echoMode(), QLineEdit::Password);
    QVERIFY(form.remember->isChecked());
    QVERIFY(!form.autoLogin->isChecked());
    QVERIFY(!dialog.isAutoLoginPending());
    // No keyring here: the enciphered value stays where it is.
    QTest::qWait(300);
    QCOMPARE(GCore::instance()->readSettings().value("pwd").toString(),
             settings.value("pwd").toString());

    // Not remembered: the stored value is not put into the form.
    settings.insert("remember", false);
    GCore::instance()->writeSettings(settings);
    DLogin second;
    Form other(&second);
    QCOMPARE(other.username->text(), QStringLiteral("lisi"));
    QCOMPARE(other.password->text(), QString());
    QVERIFY(!other.remember->isChecked());
}

void TestLogin::uncheckedRememberStoresOnlyTheAccount()
{
    ScriptedServer server;
    server.start(loginOk());
    QVariantMap old = GCore::instance()->readSettings();
    old.insert("pwd", encodePassword("old"));
    old.insert("extra", "kept");
    GCore::instance()->writeSettings(old);

    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    form.fill("wangwu", "123456");
    form.remember->setChecked(false);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QTest::mouseClick(form.button, Qt::LeftButton);
    QTRY_COMPARE(accepted.count(), 1);
    const QVariantMap settings = GCore::instance()->readSettings();
    QCOMPARE(settings.value("username").toString(), QStringLiteral("wangwu"));
    QCOMPARE(settings.value("pwd").toString(), QString());
    QVERIFY(settings.contains("pwd"));
    QCOMPARE(settings.value("remember").toBool(), false);
    QCOMPARE(settings.value("extra").toString(), QStringLiteral("kept"));
}

void TestLogin::automaticSignInStartsAfterTwoSeconds()
{
    ScriptedServer server;
    server.start(loginOk());
    QVariantMap settings = GCore::instance()->readSettings();
    settings.insert("username", "zhangsan");
    settings.insert("pwd", encodePassword("123456"));
    settings.insert("remember", true);
    settings.insert("autoLogin", true);
    GCore::instance()->writeSettings(settings);

    QElapsedTimer clock;
    clock.start();
    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QVERIFY(dialog.isAutoLoginPending());
    QVERIFY(form.autoLogin->isChecked());
    QCOMPARE(form.button->text(), QStringLiteral("取消"));
    QVERIFY(form.button->isEnabled());
    QVERIFY(!form.username->isEnabled());
    QVERIFY(!form.password->isEnabled());
    QCOMPARE(form.error->text(), QStringLiteral("自动登录中..."));
    QVERIFY(!form.footer->isVisible());

    QTRY_COMPARE_WITH_TIMEOUT(accepted.count(), 1, 6000);
    QVERIFY2(clock.elapsed() >= 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(server.form("/api/user/login.jf").queryItemValue("password"),
             QStringLiteral("123456"));
    QCOMPARE(GCore::instance()->token(), QStringLiteral("tok-123"));
}

void TestLogin::automaticSignInCanBeCancelled()
{
    ScriptedServer server;
    server.start(loginOk());
    QVariantMap settings = GCore::instance()->readSettings();
    settings.insert("username", "zhangsan");
    settings.insert("pwd", encodePassword("123456"));
    settings.insert("remember", true);
    settings.insert("autoLogin", true);
    GCore::instance()->writeSettings(settings);

    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    QTest::qWait(300);
    QTest::mouseClick(form.button, Qt::LeftButton);
    QVERIFY(!dialog.isAutoLoginPending());
    QCOMPARE(form.button->text(), QStringLiteral("登 录"));
    QVERIFY(form.inputsEnabled());
    QVERIFY(!form.error->isVisible());
    QVERIFY(form.footer->isVisible());

    // Past the two seconds nothing was sent.
    QTest::qWait(2200);
    QCOMPARE(server.http.requests().size(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));

    // A manual sign-in still works afterwards.
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QTest::mouseClick(form.button, Qt::LeftButton);
    QTRY_COMPARE(accepted.count(), 1);
}

void TestLogin::automaticSignInNeedsAPassword()
{
    ScriptedServer server;
    server.start(loginOk());
    QVariantMap settings = GCore::instance()->readSettings();
    settings.insert("username", "zhangsan");
    settings.insert("pwd", "");
    settings.insert("remember", true);
    settings.insert("autoLogin", true);
    GCore::instance()->writeSettings(settings);

    DLogin dialog;
    dialog.show();
    Form form(&dialog);
    QVERIFY(!dialog.isAutoLoginPending());
    QVERIFY(!form.autoLogin->isChecked());
    QCOMPARE(form.button->text(), QStringLiteral("登 录"));
    QVERIFY(form.inputsEnabled());
    QTest::qWait(2300);
    QCOMPARE(server.count("/api/user/login.jf"), 0);
}

void TestLogin::returnKeySignsInOnlyOnTheLoginPanel()
{
    ScriptedServer server;
    server.start(loginOk());
    DLogin dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    Form form(&dialog);
    form.fill("zhangsan", "123456");

    // On the network panel Return does nothing (and does not close the dialog).
    QTest::mouseClick(form.settingsButton, Qt::LeftButton);
    QTest::keyClick(form.host, Qt::Key_Return);
    QTest::qWait(200);
    QVERIFY(dialog.isVisible());
    QCOMPARE(server.count("/api/user/login.jf"), 0);
    QTest::mouseClick(form.cancelSettings, Qt::LeftButton);

    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QTest::keyClick(form.password, Qt::Key_Enter);
    QCOMPARE(form.button->text(), QStringLiteral("登录中..."));
    QTRY_COMPARE(accepted.count(), 1);
    QCOMPARE(server.count("/api/user/login.jf"), 1);
}

void TestLogin::keepsItsSizesUnderTheApplicationStyleSheet()
{
    const QPalette palette = qApp->palette();
    startup::applyStyleSheet(*qApp);
    {
        DLogin dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        Form form(&dialog);
        // Placeholders in the style's grey, typed text dark.
        form.username->clear();
        const int placeholderInk = darkestGrey(form.username);
        saveShot(&dialog, "login");
        form.username->setText("zhangsan");
        QVERIFY2(placeholderInk > darkestGrey(form.username) + 60,
                 qPrintable(QString::number(placeholderInk)));
        QCOMPARE(dialog.size(), QSize(676, 456));
        QCOMPARE(form.username->size(), QSize(250, 36));
        QCOMPARE(form.password->size(), QSize(250, 36));
        QCOMPARE(form.button->size(), QSize(250, 36));
        // A disabled edit is restyled; it keeps its size.
        form.username->setEnabled(false);
        QCOMPARE(form.username->size(), QSize(250, 36));
        QTest::mouseClick(form.settingsButton, Qt::LeftButton);
        QCOMPARE(form.host->size(), QSize(270, 36));
        QCOMPARE(form.port->size(), QSize(270, 36));
    }
    qApp->setStyleSheet(QString());
    qApp->setPalette(palette);
}

FOLVANE_TEST_MAIN(TestLogin)
#include "tst_login.moc"
