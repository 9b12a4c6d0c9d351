// Uploads and downloads a large file (2 GiB unless FOLVANE_BENCH_MB says
// otherwise) between the client's transport and folvane-server on loopback,
// and the same with the curl program, in one run. Prints the throughput, the
// ratio client / curl (goal >= 0.9) and the client's peak RSS growth during
// each transfer (goal < 64 MiB).
#include "benchserver.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "peakrss.h"
#include "serverprocess.h"
#include "temphome.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using peakrss::resetPeak;
using peakrss::statusKb;

struct Measure
{
    double seconds = 0;
    double peakGrowthMiB = 0;
};

template <typename Work> Measure measure(Work work)
{
    resetPeak();
    const qint64 before = statusKb("VmRSS:");
    QElapsedTimer t;
    t.start();
    work();
    Measure m;
    m.seconds = t.nsecsElapsed() / 1e9;
    m.peakGrowthMiB = (statusKb("VmHWM:") - before) / 1024.0;
    return m;
}

double curlSeconds(const QStringList &args)
{
    QProcess curl;
    QElapsedTimer t;
    t.start();
    curl.start(QStringLiteral("curl"), args);
    curl.waitForFinished(-1);
    if (curl.exitCode() != 0)
        std::fprintf(stderr, "curl failed: %s\n", curl.readAllStandardError().constData());
    return t.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    TempHome home;
    QCoreApplication app(argc, argv);
    const qint64 megabytes = qEnvironmentVariableIsSet("FOLVANE_BENCH_MB")
                                 ? qEnvironmentVariable("FOLVANE_BENCH_MB").toLongLong()
                                 : 2048;
    const qint64 size = megabytes * 1024 * 1024;

    ServerProcess server;
    const QString token = startSignedIn(server);
    if (token.isEmpty())
        return 2;

    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("large.bin"));
    {
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        QByteArray block(4 << 20, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char((i * 131) ^ (i >> 9));
        for (qint64 written = 0; written < size; written += block.size())
            file.write(block.constData(), qMin<qint64>(block.size(), size - written));
    }

    HttpCurl *http = HttpCurl::instance();
    const QString uploadUrl = server.url() + QStringLiteral("/api/netdisk/upload.jf");
    const FormParams form{{QStringLiteral("token"), token},
                          {QStringLiteral("pid"), QStringLiteral("0")},
                          {QStringLiteral("uploadType"), QStringLiteral("2")}};
    TransferProgress progress;
    QByteArray reply;
    const Measure up = measure([&] {
        reply = http->uploadFile(uploadUrl, QStringLiteral("file"), source, form, &progress);
    });
    std::printf("client upload reply: %s\n", reply.left(200).constData());
    const double curlUp =
        curlSeconds({QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                     QStringLiteral("-F"), QStringLiteral("token=") + token, QStringLiteral("-F"),
                     QStringLiteral("pid=0"), QStringLiteral("-F"), QStringLiteral("uploadType=2"),
                     QStringLiteral("-F"), QStringLiteral("file=@") + source, uploadUrl});

    const QVariantMap listing =
        http->postJson(server.url() + QStringLiteral("/api/netdisk/list.jf"),
                       {{QStringLiteral("token"), token},
                        {QStringLiteral("parentId"), QStringLiteral("0")},
                        {QStringLiteral("pageSize"), QStringLiteral("1000")}})
            .toMap();
    QString fileId;
    for (const QVariant &v : listing.value(QStringLiteral("data")).toList()) {
        if (v.toMap().value(QStringLiteral("fileName")).toString() == QLatin1String("large.bin"))
            fileId = v.toMap().value(QStringLiteral("fileId")).toString();
    }
    if (fileId.isEmpty()) {
        std::fprintf(stderr, "uploaded file not listed\n");
        return 2;
    }

    const QString downloadUrl = server.url() + QStringLiteral("/api/netdisk/download.jf");
    TransferProgress downProgress;
    QString temp;
    const Measure down = measure([&] {
        temp = http->downloadToFile(
            downloadUrl, {{QStringLiteral("token"), token}, {QStringLiteral("fileIds"), fileId}},
            work.filePath(QStringLiteral("client.bin")), &downProgress);
    });
    const qint64 got = QFileInfo(temp).size();
    QFile::remove(temp);
    const QString curlOut = work.filePath(QStringLiteral("curl.bin"));
    const double curlDown =
        curlSeconds({QStringLiteral("-s"), QStringLiteral("-o"), curlOut, QStringLiteral("-d"),
                     QStringLiteral("token=%1&fileIds=%2").arg(token, fileId), downloadUrl});
    QFile::remove(curlOut);

    const double mib = size / 1048576.0;
    std::printf("file: %lld MiB, downloaded %lld bytes\n", megabytes, got);
    std::printf("upload:   client %7.1f MiB/s, curl %7.1f MiB/s, ratio %.3f (goal >= 0.9), peak "
                "RSS growth %.1f MiB\n",
                mib / up.seconds, mib / curlUp, curlUp / up.seconds, up.peakGrowthMiB);
    std::printf("download: client %7.1f MiB/s, curl %7.1f MiB/s, ratio %.3f (goal >= 0.9), peak "
                "RSS growth %.1f MiB\n",
                mib / down.seconds, mib / curlDown, curlDown / down.seconds, down.peakGrowthMiB);
    return got == size ? 0 : 1;
}
