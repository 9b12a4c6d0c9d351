#include "serverprocess.h"

#include "core/gcore.h"
#include "core/httpcurl.h"

#include <QCoreApplication>

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

bool ServerProcess::start()
{
    if (!m_launcher.start(binaryPath().toStdString(), m_data.path().toStdString(),
                          m_seed.toStdString())) {
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
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void ServerProcess::configureClient() const
{
    QVariantMap settings = GCore::instance()->readSettings();
    settings.insert(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
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
