#pragma once

// The benchmarks that talk HTTP run against a real folvane-server with the
// demo data, signed in as the administrator.

#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/transportsettings.h"
#include "serverprocess.h"
#include "testcertificates.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

// Starts `server`, points the client at it and signs in as "admin"; the
// token is also the client's. Returns an empty token, having said why, when
// either step fails.
inline QString startSignedIn(ServerProcess &server)
{
    if (!server.start()) {
        std::fprintf(stderr, "cannot start folvane-server: %s\n", qPrintable(server.error()));
        return QString();
    }
    server.configureClient();
    const QString token = server.login(QStringLiteral("admin"), QStringLiteral("admin123"));
    if (token.isEmpty()) {
        std::fprintf(stderr, "cannot sign in\n");
        return QString();
    }
    GCore::instance()->setToken(token);
    return token;
}

// The size, rounds and transport of the large-file benchmarks, from the
// environment: FOLVANE_BENCH_MB, FOLVANE_BENCH_RUNS and FOLVANE_BENCH_TLS=1
// (or --tls on the command line).
struct LargeFileOptions
{
    qint64 megabytes = 0;
    int runs = 0;
    bool tls = false;

    LargeFileOptions(qint64 defaultMegabytes, int defaultRuns)
    {
        megabytes = qEnvironmentVariableIsSet("FOLVANE_BENCH_MB")
                        ? qEnvironmentVariable("FOLVANE_BENCH_MB").toLongLong()
                        : defaultMegabytes;
        runs = qEnvironmentVariableIsSet("FOLVANE_BENCH_RUNS")
                   ? qMax(1, qEnvironmentVariableIntValue("FOLVANE_BENCH_RUNS"))
                   : defaultRuns;
        tls = qEnvironmentVariableIntValue("FOLVANE_BENCH_TLS") != 0 ||
              QCoreApplication::arguments().contains(QStringLiteral("--tls"));
    }
    qint64 bytes() const { return megabytes * 1024 * 1024; }
};

// Over HTTPS: a CA made for the run, the server's certificate signed by it,
// and the client trusting that CA file alone (the machine's trust store is
// never touched). Either way no proxy. False, having said why, when the
// certificates cannot be made.
inline bool prepareTransport(ServerProcess &server, TestCertificates &certs, bool tls)
{
    QVariantMap settings;
    if (tls) {
        const TestCertificates::Pair pair =
            certs.makeCa() ? certs.signedForLoopback() : TestCertificates::Pair();
        if (pair.cert.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(certs.error()));
            return false;
        }
        server.useTls(pair.cert, pair.key);
        settings.insert(QStringLiteral("caFile"), certs.caFile());
    }
    TransportSettings transport = TransportSettings::fromSettings(settings);
    transport.direct = true;
    HttpCurl::instance()->setTransportSettings(transport);
    return true;
}

// The machine's load, printed beside the figures.
inline QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("?");
}
