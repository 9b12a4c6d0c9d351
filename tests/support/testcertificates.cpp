#include "testcertificates.h"

#include <QFile>
#include <QProcess>

namespace {

const QStringList kEcKey = {
    QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
    QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

} // namespace

TestCertificates::TestCertificates()
    : m_dir(QDir::tempPath() + QStringLiteral("/folvane-certs-XXXXXX"))
{
}

QString TestCertificates::path(const QString &file) const
{
    return m_dir.filePath(file);
}

bool TestCertificates::run(const QStringList &arguments)
{
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed: %2")
                      .arg(arguments.join(QLatin1Char(' ')),
                           QString::fromLocal8Bit(openssl.readAll()) + openssl.errorString());
        return false;
    }
    return true;
}

bool TestCertificates::makeCa()
{
    return run(
        QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + kEcKey +
        QStringList{QStringLiteral("-keyout"), path(QStringLiteral("ca.key")),
                    QStringLiteral("-out"), caFile(), QStringLiteral("-days"), QStringLiteral("30"),
                    QStringLiteral("-subj"), QStringLiteral("/O=Folvane Test/CN=Folvane Test CA"),
                    QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                    QStringLiteral("-addext"),
                    QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")});
}

QString TestCertificates::caFile() const
{
    return path(QStringLiteral("ca.pem"));
}

TestCertificates::Pair TestCertificates::signedByCa(const QString &name, const QString &altNames,
                                                    int days)
{
    const Pair pair{path(name + QStringLiteral(".pem")), path(name + QStringLiteral(".key"))};
    const QString csr = path(name + QStringLiteral(".csr"));
    const QString ext = path(name + QStringLiteral(".ext"));
    QFile extFile(ext);
    if (!extFile.open(QIODevice::WriteOnly))
        return Pair();
    extFile.write(
        QStringLiteral("subjectAltName=%1\nbasicConstraints=CA:FALSE\n").arg(altNames).toLatin1());
    extFile.close();
    if (!run(QStringList{QStringLiteral("req"), QStringLiteral("-new")} + kEcKey +
             QStringList{QStringLiteral("-keyout"), pair.key, QStringLiteral("-out"), csr,
                         QStringLiteral("-subj"), QStringLiteral("/O=Folvane Test/CN=") + name}))
        return Pair();
    // A negative number of days makes a certificate that has expired.
    if (!run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), csr,
              QStringLiteral("-CA"), caFile(), QStringLiteral("-CAkey"),
              path(QStringLiteral("ca.key")), QStringLiteral("-CAcreateserial"),
              QStringLiteral("-out"), pair.cert, QStringLiteral("-days"), QString::number(days),
              QStringLiteral("-extfile"), ext}))
        return Pair();
    return pair;
}

TestCertificates::Pair TestCertificates::signedForLoopback(const QString &name)
{
    return signedByCa(name, QStringLiteral("IP:127.0.0.1,DNS:localhost"), 30);
}

TestCertificates::Pair TestCertificates::expired(const QString &name)
{
    return signedByCa(name, QStringLiteral("IP:127.0.0.1,DNS:localhost"), -1);
}

TestCertificates::Pair TestCertificates::otherHost(const QString &name)
{
    return signedByCa(name, QStringLiteral("DNS:files.example.org"), 30);
}

TestCertificates::Pair TestCertificates::selfSigned(const QString &name)
{
    const Pair pair{path(name + QStringLiteral(".pem")), path(name + QStringLiteral(".key"))};
    if (!run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + kEcKey +
             QStringList{QStringLiteral("-keyout"), pair.key, QStringLiteral("-out"), pair.cert,
                         QStringLiteral("-days"), QStringLiteral("30"), QStringLiteral("-subj"),
                         QStringLiteral("/O=Folvane Test/CN=") + name, QStringLiteral("-addext"),
                         QStringLiteral("subjectAltName=IP:127.0.0.1")}))
        return Pair();
    return pair;
}
