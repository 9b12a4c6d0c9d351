#include "core/transportsettings.h"

#include <curl/curl.h>

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QHostAddress>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QSslCertificate>
#include <QSslKey>
#include <QUrl>

namespace {

constexpr qint64 kMaxCaFileBytes = 16 * 1024 * 1024;

QString settingText(const QVariantMap &settings, const char *key)
{
    return settings.value(QLatin1String(key)).toString().trimmed();
}

QByteArray readSmallFile(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > kMaxCaFileBytes)
        return QByteArray();
    return file.readAll();
}

// The SubjectPublicKeyInfo of a certificate, as libcurl hashes it for a pin.
QByteArray publicKeyInfo(const QSslCertificate &cert)
{
    return cert.publicKey().toDer();
}

// Whether a name of the certificate (a DNS name, possibly "*.example.com")
// covers `host`. A wildcard stands for exactly one leftmost label.
bool nameMatches(const QString &pattern, const QString &host)
{
    const QString p = pattern.toLower();
    const QString h = host.toLower();
    if (!p.startsWith(QLatin1String("*.")))
        return p == h;
    const int dot = h.indexOf(QLatin1Char('.'));
    return dot > 0 && h.mid(dot) == p.mid(1);
}

bool certificateCoversHost(const QSslCertificate &cert, const QString &host)
{
    const QHostAddress address(host);
    const auto names = cert.subjectAlternativeNames();
    if (!address.isNull()) {
        for (const QString &ip : names.values(QSsl::IpAddressEntry)) {
            if (QHostAddress(ip) == address)
                return true;
        }
        return false;
    }
    const QStringList dns = names.values(QSsl::DnsEntry);
    if (!dns.isEmpty()) {
        for (const QString &name : dns) {
            if (nameMatches(name, host))
                return true;
        }
        return false;
    }
    // Only a certificate without alternative names is read by its common name.
    for (const QString &cn : cert.subjectInfo(QSslCertificate::CommonName)) {
        if (nameMatches(cn, host))
            return true;
    }
    return false;
}

QString describeName(const QSslCertificate &cert, bool issuer)
{
    const auto part = [&](QSslCertificate::SubjectInfo what) {
        return (issuer ? cert.issuerInfo(what) : cert.subjectInfo(what)).join(QLatin1Char(' '));
    };
    QStringList parts;
    const QPair<QSslCertificate::SubjectInfo, const char *> fields[] = {
        {QSslCertificate::CommonName, "CN"},
        {QSslCertificate::Organization, "O"},
        {QSslCertificate::OrganizationalUnitName, "OU"},
        {QSslCertificate::CountryName, "C"}};
    for (const auto &field : fields) {
        const QString value = part(field.first);
        if (!value.isEmpty())
            parts << QStringLiteral("%1=%2").arg(QLatin1String(field.second), value);
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

ServerAddress ServerAddress::fromSettings(const QVariantMap &settings)
{
    ServerAddress address;
    QString host = settingText(settings, "host");
    address.scheme = QStringLiteral("http");
    if (host.startsWith(QLatin1String("https://"), Qt::CaseInsensitive)) {
        address.scheme = QStringLiteral("https");
        host = host.mid(8);
    } else if (host.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
        host = host.mid(7);
    }
    // A path or a trailing slash typed after the name is not part of the host.
    const int slash = host.indexOf(QLatin1Char('/'));
    if (slash >= 0)
        host.truncate(slash);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    address.host = host;
    address.port =
        settings.contains(QStringLiteral("port")) ? settingText(settings, "port") : QString();
    return address;
}

QString ServerAddress::baseUrl() const
{
    if (!isValid())
        return QString();
    return QStringLiteral("%1://%2").arg(scheme, hostPort());
}

QString ServerAddress::hostPort() const
{
    const bool ipv6 = host.contains(QLatin1Char(':'));
    return ipv6 ? QStringLiteral("[%1]:%2").arg(host, port)
                : QStringLiteral("%1:%2").arg(host, port);
}

bool ServerAddress::isLoopback() const
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

ProxyChoice ProxyChoice::fromSettings(const QVariantMap &settings)
{
    ProxyChoice choice;
    const QString kind = settingText(settings, "proxy");
    if (kind == QLatin1String("none"))
        choice.kind = NoProxy;
    else if (kind == QLatin1String("http"))
        choice.kind = Http;
    else if (kind == QLatin1String("socks5"))
        choice.kind = Socks5;
    choice.host = settingText(settings, "proxyHost");
    choice.port = settingText(settings, "proxyPort");
    choice.user = settingText(settings, "proxyUser");
    return choice;
}

void ProxyChoice::toSettings(QVariantMap &settings) const
{
    static const char *const names[] = {"system", "none", "http", "socks5"};
    settings.insert(QStringLiteral("proxy"), QLatin1String(names[kind]));
    settings.insert(QStringLiteral("proxyHost"), host);
    settings.insert(QStringLiteral("proxyPort"), port);
    settings.insert(QStringLiteral("proxyUser"), user);
}

QString ProxyChoice::keyringServer() const
{
    return QStringLiteral("%1://%2:%3")
        .arg(kind == Socks5 ? QStringLiteral("socks5") : QStringLiteral("proxy"), host, port);
}

TransportSettings TransportSettings::fromSettings(const QVariantMap &settings)
{
    TransportSettings transport;
    transport.caFile = settingText(settings, "caFile");
    if (!transport.caFile.isEmpty()) {
        const curl_version_info_data *info = curl_version_info(CURLVERSION_NOW);
        if (readSmallFile(transport.caFile).isEmpty()) {
            qDebug() << "the CA file cannot be read:" << transport.caFile;
            transport.caFile.clear();
        } else if (!info || !info->capath) {
            // Without a system CA folder next to it, a CA file given to
            // libcurl would replace the system's bundle: give it one bundle,
            // the system's followed by the company's CA, so both verify.
            QByteArray bundle = info && info->cainfo
                                    ? readSmallFile(QFile::decodeName(info->cainfo))
                                    : QByteArray();
            if (!bundle.isEmpty() && !bundle.endsWith('\n'))
                bundle += '\n';
            transport.caBundle = bundle + readSmallFile(transport.caFile);
        }
    }
    const QVariantMap pins = settings.value(QStringLiteral("pins")).toMap();
    for (auto it = pins.constBegin(); it != pins.constEnd(); ++it) {
        const QVariantMap entry = it.value().toMap();
        CertificatePin pin;
        pin.publicKey = entry.value(QStringLiteral("publicKey")).toString();
        pin.fingerprint = entry.value(QStringLiteral("fingerprint")).toString();
        if (pin.publicKey.startsWith(QLatin1String("sha256//")))
            transport.pins.insert(it.key(), pin);
    }
    return transport;
}

void TransportSettings::resolveProxy(const ProxyChoice &choice, const QString &base)
{
    direct = false;
    proxyUrl.clear();
    proxyUser = choice.user;
    proxyPassword = choice.password;
    switch (choice.kind) {
    case ProxyChoice::NoProxy:
        direct = true;
        return;
    case ProxyChoice::Http:
        proxyUrl = QStringLiteral("http://%1:%2").arg(choice.host, choice.port);
        return;
    case ProxyChoice::Socks5:
        // The proxy resolves the server's name: the company's DNS may be the
        // only one that knows it.
        proxyUrl = QStringLiteral("socks5h://%1:%2").arg(choice.host, choice.port);
        return;
    case ProxyChoice::System:
        break;
    }
    proxyUser.clear();
    proxyPassword.clear();
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(base)));
    direct = true;
    for (const QNetworkProxy &proxy : proxies) {
        if (proxy.type() == QNetworkProxy::HttpProxy ||
            proxy.type() == QNetworkProxy::Socks5Proxy) {
            const bool socks = proxy.type() == QNetworkProxy::Socks5Proxy;
            proxyUrl = QStringLiteral("%1://%2:%3")
                           .arg(socks ? QStringLiteral("socks5h") : QStringLiteral("http"),
                                proxy.hostName(), QString::number(proxy.port()));
            proxyUser = proxy.user();
            proxyPassword = proxy.password();
            direct = false;
            return;
        }
        if (proxy.type() == QNetworkProxy::NoProxy)
            return;
    }
}

void TransportSettings::storePin(QVariantMap &settings, const QString &hostPort,
                                 const CertificatePin &pin)
{
    QVariantMap pins = settings.value(QStringLiteral("pins")).toMap();
    pins.insert(hostPort, QVariantMap{{QStringLiteral("publicKey"), pin.publicKey},
                                      {QStringLiteral("fingerprint"), pin.fingerprint}});
    settings.insert(QStringLiteral("pins"), pins);
}

CertificateInfo CertificateInfo::fromPem(const QByteArray &pem, const QString &host,
                                         const QString &hostPort, const QString &error)
{
    CertificateInfo info;
    info.server = hostPort;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(pem, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull())
        return info;
    const QSslCertificate &cert = chain.first();
    info.subject = describeName(cert, false);
    info.issuer = describeName(cert, true);
    info.notBefore = cert.effectiveDate();
    info.notAfter = cert.expiryDate();
    info.fingerprint =
        QString::fromLatin1(cert.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    const QByteArray key = publicKeyInfo(cert);
    if (!key.isEmpty()) {
        info.publicKeyPin =
            QStringLiteral("sha256//") +
            QString::fromLatin1(
                QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64());
    }

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const bool selfSigned = cert.isSelfSigned();
    // libcurl's message when a pinned server shows another key.
    const bool changed = error.contains(QLatin1String("pinned"), Qt::CaseInsensitive);
    if (changed)
        info.reasons << QStringLiteral("证书与此前信任的证书不同");
    if (selfSigned)
        info.reasons << QStringLiteral("自签名证书");
    if (info.notAfter.isValid() && now > info.notAfter)
        info.reasons << QStringLiteral("证书已过期");
    if (info.notBefore.isValid() && now < info.notBefore)
        info.reasons << QStringLiteral("证书尚未生效");
    if (!certificateCoversHost(cert, host))
        info.reasons << QStringLiteral("证书属于另一个主机名");
    const bool issuerProblem = error.contains(QLatin1String("issuer"), Qt::CaseInsensitive) ||
                               error.contains(QLatin1String("in certificate chain"));
    if (!selfSigned && (issuerProblem || (info.reasons.isEmpty() && !changed)))
        info.reasons << QStringLiteral("证书颁发机构未知");
    return info;
}
