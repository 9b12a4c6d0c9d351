#include "core/passwordstore.h"

#include "core/gcore.h"
#include "core/httpcurl.h"

#include <QDebug>

#include <qt5keychain/keychain.h>

namespace {

const char *const serviceName = "Folvane Desktop";

// One entry per account and server, so two servers' accounts of the same
// name do not overwrite each other.
QString entryKey(const QString &account, const QString &server)
{
    return account + QLatin1Char('@') + server;
}

QString encipher(const QString &password)
{
    return QString::fromLatin1(HttpCurl::authCode(password.toUtf8(), "ENCODE"));
}

// "Not found" is a normal answer; anything else means the keyring cannot be
// used here, which is said once per process.
bool keyringFailed(const QKeychain::Job *job)
{
    if (job->error() == QKeychain::NoError || job->error() == QKeychain::EntryNotFound)
        return false;
    static bool told = false;
    if (!told) {
        told = true;
        qDebug() << __FILE__ << __LINE__
                 << "no keyring available, the remembered password stays enciphered in the "
                    "settings file:"
                 << job->errorString();
    }
    return true;
}

QString fallbackKey(PasswordStore::Kind kind)
{
    return kind == PasswordStore::Proxy ? QStringLiteral("proxyPwd") : QStringLiteral("pwd");
}

// Rewrites the fallback field when the file still holds `expected` for the
// account, so a late answer never overwrites what a newer save stored.
void replaceStoredPassword(const QString &account, const QString &expected, const QString &value,
                           PasswordStore::Kind kind = PasswordStore::Account)
{
    GCore *core = GCore::instance();
    QVariantMap settings = core->readSettings();
    const QString owner =
        kind == PasswordStore::Proxy ? QStringLiteral("proxyUser") : QStringLiteral("username");
    if (settings.value(owner).toString() != account ||
        settings.value(fallbackKey(kind)).toString() != expected)
        return;
    settings.insert(fallbackKey(kind), value);
    core->writeSettings(settings);
}

template <typename JobType> JobType *newJob(const QString &account, const QString &server)
{
    auto *job = new JobType(QString::fromLatin1(serviceName));
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(entryKey(account, server));
    return job;
}

} // namespace

PasswordStore::PasswordStore(QObject *parent) : QObject(parent) {}

QString PasswordStore::fromSettings(const QVariantMap &settings, Kind kind)
{
    const QString stored = settings.value(fallbackKey(kind)).toString();
    if (stored.isEmpty())
        return QString();
    return QString::fromUtf8(HttpCurl::authCode(stored.toLatin1(), "DECODE"));
}

void PasswordStore::recall(const QString &account, const QString &server)
{
    auto *job = newJob<QKeychain::ReadPasswordJob>(account, server);
    connect(job, &QKeychain::Job::finished, this, [this, account](QKeychain::Job *done) {
        const bool failed = keyringFailed(done);
        const QString password =
            failed ? QString() : static_cast<QKeychain::ReadPasswordJob *>(done)->textData();
        emit recalled(account, password);
    });
    job->start();
}

void PasswordStore::migrate(const QString &account, const QString &server,
                            const QVariantMap &settings)
{
    const QString enciphered = settings.value(QStringLiteral("pwd")).toString();
    auto *job = newJob<QKeychain::WritePasswordJob>(account, server);
    job->setTextData(fromSettings(settings));
    connect(job, &QKeychain::Job::finished, job, [account, enciphered](QKeychain::Job *done) {
        if (!keyringFailed(done))
            replaceStoredPassword(account, enciphered, QString());
    });
    job->start();
}

void PasswordStore::remember(const QString &account, const QString &server, const QString &password,
                             Kind kind)
{
    auto *job = newJob<QKeychain::WritePasswordJob>(account, server);
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, job, [account, password, kind](QKeychain::Job *done) {
        if (keyringFailed(done))
            replaceStoredPassword(account, QString(), encipher(password), kind);
    });
    job->start();
}

void PasswordStore::forget(const QString &account, const QString &server)
{
    auto *job = newJob<QKeychain::DeletePasswordJob>(account, server);
    connect(job, &QKeychain::Job::finished, job, [](QKeychain::Job *done) { keyringFailed(done); });
    job->start();
}
