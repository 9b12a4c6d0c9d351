#include "serverprocess.h"

#include "utils/gcore.h"
#include "utils/httpcurl.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>

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
    QStringList args{QStringLiteral("--data"), m_data.path(), QStringLiteral("--listen"),
                     QStringLiteral("127.0.0.1:0")};
    if (!m_seed.isEmpty())
        args << QStringLiteral("--seed") << m_seed;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    m_process.start(binaryPath(), args);
    if (!m_process.waitForStarted(10000)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(binaryPath(), m_process.errorString());
        return false;
    }
    static const QRegularExpression listening(QStringLiteral("listening on [0-9.]+:(\\d+)"));
    QByteArray output;
    QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        if (m_process.state() != QProcess::Running) {
            m_error = QStringLiteral("server exited: ") +
                      QString::fromLocal8Bit(m_process.readAllStandardError());
            return false;
        }
        m_process.waitForReadyRead(200);
        output += m_process.readAllStandardOutput();
        const QRegularExpressionMatch match = listening.match(QString::fromLocal8Bit(output));
        if (match.hasMatch()) {
            m_port = quint16(match.captured(1).toUInt());
            return true;
        }
    }
    m_error = QStringLiteral("server did not report its port: ") + QString::fromLocal8Bit(output);
    return false;
}

void ServerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(10000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString ServerProcess::url() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

void ServerProcess::configureClient() const
{
    QVariantMap settings = GCore::instance()->readSettings();
    settings.insert(QStringLiteral("host"), QStringLiteral("127.0.0.1"));
    settings.insert(QStringLiteral("port"), QString::number(m_port));
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
