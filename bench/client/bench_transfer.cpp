// Uploads and downloads a large file (2 GiB unless FOLVANE_BENCH_MB says
// otherwise) between the client's transport and folvane-server on loopback,
// and the same with the curl program, alternately, several times
// (FOLVANE_BENCH_RUNS, 5 unless set). Prints the throughput, the ratio
// client / curl (goal >= 0.9) and the client's peak RSS growth during each
// transfer (goal < 64 MiB), each as min / median / max of the runs. Who goes
// first changes from run to run; the dirty pages of the work before are
// written out before each timed transfer.
//
// With FOLVANE_BENCH_TLS=1 (or --tls) the server speaks HTTPS with a
// certificate for 127.0.0.1 signed by a CA made for this run; the client gets
// the CA file through its transport settings and curl through --cacert.
#include "benchfigures.h"
#include "benchserver.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/transportsettings.h"
#include "peakrss.h"
#include "serverprocess.h"
#include "temphome.h"
#include "testcertificates.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

namespace {

using peakrss::resetPeak;
using peakrss::statusKb;

struct Measure
{
    double seconds = 0;
    double peakGrowthMiB = 0;
};

// Writes the dirty pages of earlier work out first (the file just made, the
// server's copy of an upload, the last download), so that no transfer pays
// for the one before it; outside the timed work.
void settle()
{
    ::sync();
}

template <typename Work> Measure measure(Work work)
{
    settle();
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

// Seconds the curl program took, or a negative number when it failed.
double curlSeconds(const QStringList &args)
{
    settle();
    QProcess curl;
    QElapsedTimer t;
    t.start();
    curl.start(QStringLiteral("curl"), args);
    curl.waitForFinished(-1);
    const double seconds = t.nsecsElapsed() / 1e9;
    if (curl.exitStatus() != QProcess::NormalExit || curl.exitCode() != 0) {
        std::fprintf(stderr, "curl failed (%d): %s\n", curl.exitCode(),
                     curl.readAllStandardError().constData());
        return -1;
    }
    return seconds;
}


QString listedFileId(HttpCurl *http, const QString &base, const QString &token, const QString &name)
{
    const QVariantMap listing =
        http->postJson(base + QStringLiteral("/api/netdisk/list.jf"),
                       {{QStringLiteral("token"), token},
                        {QStringLiteral("parentId"), QStringLiteral("0")},
                        {QStringLiteral("pageSize"), QStringLiteral("1000")}})
            .toMap();
    for (const QVariant &v : listing.value(QStringLiteral("data")).toList()) {
        if (v.toMap().value(QStringLiteral("fileName")).toString() == name)
            return v.toMap().value(QStringLiteral("fileId")).toString();
    }
    return QString();
}

// Runs the client's and curl's side of one measurement, the client first or not.
template <typename Client, typename Curl> void inTurn(bool clientFirst, Client client, Curl curl)
{
    if (clientFirst) {
        client();
        curl();
    } else {
        curl();
        client();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    TempHome home;
    QCoreApplication app(argc, argv);
    const LargeFileOptions options(2048, 5);
    const qint64 megabytes = options.megabytes;
    const int runs = options.runs;
    const bool tls = options.tls;
    const qint64 size = options.bytes();
    std::printf("load average at start: %s\n", loadAverage().constData());

    HttpCurl *http = HttpCurl::instance();
    // No proxy for either side; over HTTPS the test CA and nothing added to
    // the machine's trust store.
    QStringList curlCommon{QStringLiteral("-s"), QStringLiteral("--noproxy"), QStringLiteral("*")};
    TestCertificates certs;
    ServerProcess server;
    if (!prepareTransport(server, certs, tls))
        return 2;
    if (tls)
        curlCommon << QStringLiteral("--cacert") << certs.caFile();
    const QString token = startSignedIn(server);
    if (token.isEmpty())
        return 2;
    const QString base = server.url();
    std::printf("server: %s\n", qPrintable(base));

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

    const QString uploadUrl = base + QStringLiteral("/api/netdisk/upload.jf");
    const QString downloadUrl = base + QStringLiteral("/api/netdisk/download.jf");
    const FormParams form{{QStringLiteral("token"), token},
                          {QStringLiteral("pid"), QStringLiteral("0")},
                          {QStringLiteral("uploadType"), QStringLiteral("2")}};
    const double mib = size / 1048576.0;
    Figures clientUp, curlUp, ratioUp, rssUp, clientDown, curlDown, ratioDown, rssDown;
    bool ok = true;

    for (int run = 0; run < runs; ++run) {
        // Who goes first changes from run to run.
        const bool clientFirst = run % 2 == 0;

        // Upload: each replaces the file of the same name on the server.
        Measure up;
        double curlUpSeconds = 0;
        QByteArray reply;
        const auto clientUpload = [&] {
            TransferProgress progress;
            up = measure([&] {
                reply =
                    http->uploadFile(uploadUrl, QStringLiteral("file"), source, form, &progress);
            });
        };
        const auto curlUpload = [&] {
            curlUpSeconds = curlSeconds(
                curlCommon + QStringList{QStringLiteral("-o"), QStringLiteral("/dev/null"),
                                         QStringLiteral("-F"), QStringLiteral("token=") + token,
                                         QStringLiteral("-F"), QStringLiteral("pid=0"),
                                         QStringLiteral("-F"), QStringLiteral("uploadType=2"),
                                         QStringLiteral("-F"), QStringLiteral("file=@") + source,
                                         uploadUrl});
        };
        inTurn(clientFirst, clientUpload, curlUpload);
        if (!reply.contains("\"code\":0") || curlUpSeconds < 0) {
            std::fprintf(stderr, "upload failed: %s\n", reply.left(200).constData());
            return 2;
        }

        const QString fileId = listedFileId(http, base, token, QStringLiteral("large.bin"));
        if (fileId.isEmpty()) {
            std::fprintf(stderr, "uploaded file not listed\n");
            return 2;
        }

        // The server writes an uploaded file past the page cache, so the first
        // download after an upload of new bytes reads the disk (and the first
        // file of that size written here takes new blocks): an untimed
        // download first, so that neither side pays for it.
        const QString warm = work.filePath(QStringLiteral("warm.bin"));
        curlSeconds(curlCommon +
                    QStringList{QStringLiteral("-o"), warm, QStringLiteral("-d"),
                                QStringLiteral("token=%1&fileIds=%2").arg(token, fileId),
                                downloadUrl});
        QFile::remove(warm);

        // Download: both into files of the work folder, removed afterwards.
        Measure down;
        double curlDownSeconds = 0;
        qint64 got = 0, curlGot = 0;
        const auto clientDownload = [&] {
            TransferProgress progress;
            QString temp;
            down = measure([&] {
                temp = http->downloadToFile(
                    downloadUrl,
                    {{QStringLiteral("token"), token}, {QStringLiteral("fileIds"), fileId}},
                    work.filePath(QStringLiteral("client.bin")), &progress);
            });
            got = temp.isEmpty() ? -1 : QFileInfo(temp).size();
            QFile::remove(temp);
        };
        const auto curlDownload = [&] {
            const QString out = work.filePath(QStringLiteral("curl.bin"));
            curlDownSeconds = curlSeconds(
                curlCommon + QStringList{QStringLiteral("-o"), out, QStringLiteral("-d"),
                                         QStringLiteral("token=%1&fileIds=%2").arg(token, fileId),
                                         downloadUrl});
            curlGot = QFileInfo(out).size();
            QFile::remove(out);
        };
        inTurn(clientFirst, clientDownload, curlDownload);
        if (got != size || curlGot != size || curlDownSeconds < 0) {
            std::fprintf(stderr, "download incomplete: client %lld, curl %lld of %lld bytes\n", got,
                         curlGot, size);
            ok = false;
        }

        clientUp.runs.push_back(mib / up.seconds);
        curlUp.runs.push_back(mib / curlUpSeconds);
        ratioUp.runs.push_back(curlUpSeconds / up.seconds);
        rssUp.runs.push_back(up.peakGrowthMiB);
        clientDown.runs.push_back(mib / down.seconds);
        curlDown.runs.push_back(mib / curlDownSeconds);
        ratioDown.runs.push_back(curlDownSeconds / down.seconds);
        rssDown.runs.push_back(down.peakGrowthMiB);
        std::printf("run %d (%s first): upload client %.1f curl %.1f MiB/s, download client "
                    "%.1f curl %.1f MiB/s, RSS growth up %.1f down %.1f MiB\n",
                    run + 1, clientFirst ? "client" : "curl", clientUp.runs.back(),
                    curlUp.runs.back(), clientDown.runs.back(), curlDown.runs.back(),
                    up.peakGrowthMiB, down.peakGrowthMiB);
    }

    std::printf("\n%s, file %lld MiB, %d runs\n", tls ? "HTTPS" : "HTTP", megabytes, runs);
    std::printf("%-34s %8s %8s %8s\n", "", "min", "median", "max");
    print("upload client MiB/s", clientUp);
    print("upload curl MiB/s", curlUp);
    print("upload ratio (goal >= 0.9)", ratioUp);
    print("upload peak RSS growth MiB (< 64)", rssUp);
    print("download client MiB/s", clientDown);
    print("download curl MiB/s", curlDown);
    print("download ratio (goal >= 0.9)", ratioDown);
    print("download peak RSS growth MiB", rssDown);
    std::printf("load average at end: %s\n", loadAverage().constData());
    return ok ? 0 : 1;
}
