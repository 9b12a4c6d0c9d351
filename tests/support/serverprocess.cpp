#include "serverprocess.h"

#include "core/gcore.h"
#include "core/httpcurl.h"

#include <QCoreApplication>
#include <QFile>

ServerProcess::ServerProcess(const QString &seed)
    : m_seed(seed), m_data(QDir::tempPath() + QStringLiteral("/folvane-server-XXXXXX"))
{
}

ServerProcess::~ServerProcess()
{
    stop();
}

QString ServerProcess::binaryPath()
{
    const QString fromEnv = qEnvironmentVariable("FOLVANE_SERVER_BIN");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/folvane-server");
}

void ServerProcess::useTls(const QString &certificate, const QString &key)
{
    m_tlsCertificate = certificate;
    m_tlsKey = key;
}

bool ServerProcess::start()
{
    std::vector<std::string> extra;
    if (!m_tlsCertificate.isEmpty())
        extra = {"--tls-cert", QFile::encodeName(m_tlsCertificate).toStdString(), "--tls-key",
                 QFile::encodeName(m_tlsKey).toStdString()};
    if (!m_launcher.start(binaryPath().toStdString(), m_data.path().toStdString(),
                          m_seed.toStdString(), 60000, extra)) {
        m_error = QString::fromStdString(m_launcher.error());
        return false;
    }
    return true;
}

void ServerProcess::stop()
{
    m_launcher.stop();
}

QString ServerProcess::url() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_tlsCertificate.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"))
        .arg(port());
}

void ServerProcess::configureClient() const
{
    QVariantMap settings = GCore::instance()->readSettings();
    settings.insert(QStringLiteral("host"), m_tlsCertificate.isEmpty()
                                                ? QStringLiteral("127.0.0.1")
                                                : QStringLiteral("https://127.0.0.1"));
    settings.insert(QStringLiteral("port"), QString::number(port()));
    GCore::instance()->writeSettings(settings);
}

QString ServerProcess::login(const QString &user, const QString &password) const
{
    const FormParams params{{QStringLiteral("username"), user},
                            {QStringLiteral("password"), password}};
    const QVariantMap reply = HttpCurl::instance()
                                  ->postJson(url() + QStringLiteral("/api/user/login.jf"), params)
                                  .toMap();
    return reply.value(QStringLiteral("data")).toMap().value(QStringLiteral("token")).toString();
}
