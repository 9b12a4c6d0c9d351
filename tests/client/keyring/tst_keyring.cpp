// The remembered password in a real Secret Service (gnome-keyring in a D-Bus
// session of this test's own, started by tests/support/keyring-session.sh):
// an earlier version's enciphered "pwd" moves into the keyring, the password
// comes back from it into the sign-in form, and signing in without
// "记住密码" removes it.
#include "app/dlogin.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "serverprocess.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <qt5keychain/keychain.h>

#include "testmain.h"

namespace {

// What the keyring holds for the account: the password, or the error.
struct Entry
{
    QKeychain::Error error = QKeychain::OtherError;
    QString password;
};

Entry keyringEntry(const QString &account, const QString &server)
{
    QKeychain::ReadPasswordJob job(QStringLiteral("Folvane Desktop"));
    job.setAutoDelete(false);
    job.setKey(account + "@" + server);
    QSignalSpy done(&job, &QKeychain::Job::finished);
    job.start();
    if (!done.wait(5000))
        return Entry();
    return Entry{job.error(), job.textData()};
}

QString fileBytes()
{
    QFile file(GCore::settingsFilePath());
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

} // namespace

class TestKeyring : public QObject
{
    Q_OBJECT
private slots:
    void passwordLivesInTheKeyring();
};

void TestKeyring::passwordLivesInTheKeyring()
{
    ServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    server.configureClient();
    GCore *core = GCore::instance();
    const QString url = core->serverUrl();
    QVERIFY2(keyringEntry("zhangsan", url).error == QKeychain::EntryNotFound,
             "no Secret Service: run this test through tests/support/keyring-session.sh");

    // A file written by an earlier version: the password is read from it,
    // moved into the keyring and blanked.
    QVariantMap settings = core->readSettings();
    settings.insert("username", "zhangsan");
    settings.insert("pwd", QString::fromLatin1(HttpCurl::authCode("123456", "ENCODE")));
    settings.insert("remember", true);
    settings.insert("autoLogin", false);
    core->writeSettings(settings);
    {
        DLogin dialog;
        QCOMPARE(dialog.findChild<QLineEdit *>("passwordEdit")->text(), QStringLiteral("123456"));
        QTRY_COMPARE(core->readSettings().value("pwd").toString(), QString());
        QCOMPARE(keyringEntry("zhangsan", url).password, QStringLiteral("123456"));
    }

    // The next start finds the password in the keyring, and signs in by
    // itself when asked to.
    settings = core->readSettings();
    settings.insert("autoLogin", true);
    core->writeSettings(settings);
    {
        DLogin dialog;
        dialog.show();
        auto *password = dialog.findChild<QLineEdit *>("passwordEdit");
        QTRY_COMPARE(password->text(), QStringLiteral("123456"));
        QVERIFY(dialog.findChild<QCheckBox *>("rememberBox")->isChecked());
        QVERIFY(dialog.isAutoLoginPending());
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        QTRY_COMPARE_WITH_TIMEOUT(accepted.count(), 1, 10000);
        QCOMPARE(core->readSettings().value("pwd").toString(), QString());
        QVERIFY(!fileBytes().contains("123456"));
        QCOMPARE(keyringEntry("zhangsan", url).password, QStringLiteral("123456"));
    }

    // Signing in without "记住密码" removes the entry.
    {
        DLogin dialog;
        dialog.show();
        auto *button = dialog.findChild<QPushButton *>("loginButton");
        QTRY_VERIFY(dialog.isAutoLoginPending());
        QTest::mouseClick(button, Qt::LeftButton); // cancels the automatic sign-in
        QVERIFY(!dialog.isAutoLoginPending());
        dialog.findChild<QCheckBox *>("rememberBox")->setChecked(false);
        dialog.findChild<QCheckBox *>("autoLoginBox")->setChecked(false);
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(accepted.count(), 1, 10000);
        QTRY_COMPARE(keyringEntry("zhangsan", url).error, QKeychain::EntryNotFound);
        QCOMPARE(core->readSettings().value("pwd").toString(), QString());
        QCOMPARE(core->readSettings().value("remember").toBool(), false);
    }
}

FOLVANE_TEST_MAIN(TestKeyring)
#include "tst_keyring.moc"
