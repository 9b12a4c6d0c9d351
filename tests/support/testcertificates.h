#pragma once

#include <QString>
#include <QTemporaryDir>

// Certificates made for one test with openssl in a temporary folder: a CA of
// the test's own and server certificates of several kinds. Nothing is added
// to the machine's trust store; a test hands the CA file to the client.
class TestCertificates
{
public:
    struct Pair
    {
        QString cert;
        QString key;
    };

    TestCertificates();

    // Makes the CA; false (with `error()`) when openssl is missing or fails.
    bool makeCa();
    QString caFile() const;

    // A certificate for 127.0.0.1 and localhost signed by the CA.
    Pair signedForLoopback(const QString &name = QStringLiteral("server"));
    // A self-signed certificate for 127.0.0.1.
    Pair selfSigned(const QString &name);
    // Signed by the CA, but expired.
    Pair expired(const QString &name);
    // Signed by the CA for another host's name.
    Pair otherHost(const QString &name);

    QString error() const { return m_error; }

private:
    Pair signedByCa(const QString &name, const QString &altNames, int days);
    bool run(const QStringList &arguments);
    QString path(const QString &file) const;

    QTemporaryDir m_dir;
    QString m_error;
};
