#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// The server's address as the settings hold it: "host" as the user typed it
// ("https://host", "http://host" or a bare host, which means plain HTTP as it
// always has) and "port".
struct ServerAddress
{
    QString scheme; // "http" or "https"
    QString host;   // without scheme, path or brackets
    QString port;

    static ServerAddress fromSettings(const QVariantMap &settings);
    bool isValid() const { return !host.isEmpty() && !port.isEmpty(); }
    bool isHttps() const { return scheme == QLatin1String("https"); }
    // "scheme://host:port", the base of every request; empty when invalid.
    QString baseUrl() const;
    // "host:port", the key of a certificate decision.
    QString hostPort() const;
    // True for "localhost" and the loopback addresses.
    bool isLoopback() const;
};

// The proxy the user chose in the network settings.
struct ProxyChoice
{
    enum Kind { System, NoProxy, Http, Socks5 };
    Kind kind = System;
    QString host;
    QString port;
    QString user;
    QString password; // from the keyring, never from the settings file

    static ProxyChoice fromSettings(const QVariantMap &settings);
    // Writes kind, host, port and user into `settings` (not the password).
    void toSettings(QVariantMap &settings) const;
    // The keyring entry of the proxy password: the proxy's account and address.
    QString keyringServer() const;
};

// A decision the user made about a certificate that failed verification.
struct CertificatePin
{
    QString publicKey;   // "sha256//" + Base64 of the public key's SHA-256
    QString fingerprint; // SHA-256 of the whole certificate, for the dialog
};

// What every transport call takes from one place: the CA file, the pinned
// certificates and the resolved proxy. GCore fills it from
// the settings (at each sign-in, and when the user trusts a certificate)
// and hands it to the transport, which copies it under a lock for each call.
struct TransportSettings
{
    // The extra CA file (empty when none or unreadable). Where libcurl has a
    // system CA folder the file is handed over as it is and the folder keeps
    // the system's CAs; elsewhere `caBundle` holds the system bundle followed
    // by the file's certificates.
    QString caFile;
    QByteArray caBundle;
    QHash<QString, CertificatePin> pins; // by "host:port"
    // The proxy libcurl is given. `direct` means none, with the environment
    // ignored; otherwise `proxyUrl` ("http://h:p" or "socks5h://h:p"), and
    // neither: libcurl's own defaults (before the first sign-in).
    bool direct = false;
    QString proxyUrl;
    QString proxyUser;
    QString proxyPassword;

    // Reads "caFile" and "pins" of the settings (the proxy is resolved
    // separately, since the system proxy depends on the server's address).
    static TransportSettings fromSettings(const QVariantMap &settings);
    // Resolves the choice into `direct` / `proxyUrl` for requests to `base`;
    // the system proxy is asked of Qt now.
    void resolveProxy(const ProxyChoice &choice, const QString &base);
    // Adds or replaces the pin of "host:port" in `settings`.
    static void storePin(QVariantMap &settings, const QString &hostPort, const CertificatePin &pin);
};

// A certificate that failed verification, as the trust dialog shows it.
struct CertificateInfo
{
    QString server;      // "host:port"
    QStringList reasons; // why it failed, as the user reads it
    QString subject;
    QString issuer;
    QDateTime notBefore;
    QDateTime notAfter;
    QString fingerprint;         // SHA-256, colon-separated hex
    QString publicKeyPin;        // "sha256//..."
    QString previousFingerprint; // the pinned certificate's, when it changed

    // Identifies one question: the same server showing the same certificate.
    QString key() const { return server + QLatin1Char('|') + fingerprint; }

    // Reads the server's certificate (PEM, the first one of the chain) and
    // works out why it failed: `host` is the name the client asked for,
    // `error` the TLS library's message. Empty fingerprint when unreadable.
    static CertificateInfo fromPem(const QByteArray &pem, const QString &host,
                                   const QString &hostPort, const QString &error);
};
Q_DECLARE_METATYPE(CertificateInfo)
