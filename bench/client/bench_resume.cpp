// A large file (1 GiB unless FOLVANE_BENCH_MB says otherwise) on
// folvane-server downloaded into a partial file, stopped at about half the
// way the transfer panel stops a row (the progress is cancelled while the
// transport runs on a thread of its own), then started again with the bytes
// the partial file holds until complete; against one uninterrupted download
// of the same file. Both go through a relay that counts the bytes on the
// wire: the goal is at most 1.05 times the file in total. The result is
// compared with the source by MD5. Alternately, FOLVANE_BENCH_RUNS times (3
// unless set); FOLVANE_BENCH_TLS=1 (or --tls) makes it HTTPS.
#include "benchfigures.h"
#include "benchserver.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "core/transportsettings.h"
#include "countingrelay.h"
#include "peakrss.h"
#include "serverprocess.h"
#include "temphome.h"
#include "testcertificates.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {


struct Leg
{
    double seconds = 0;
    double peakGrowthMiB = 0;
    PartDownload part;
};

// One call of downloadPart on a thread of its own, as the transfer panel's
// worker runs it; `stopAt` > 0 cancels the progress once that many bytes
// have arrived, polled as often as a panel would never poll.
Leg runPart(const QString &url, const FormParams &params, PartDownload part, qint64 stopAt)
{
    Leg leg;
    TransferProgress progress;
    // The dirty pages of earlier work are written out first, outside the
    // timing: no leg pays for the one before it (between the halves the
    // user's pause would give the same).
    ::sync();
    peakrss::resetPeak();
    const qint64 before = peakrss::statusKb("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    std::atomic<bool> done{false};
    std::thread worker([&] {
        HttpCurl::instance()->downloadPart(url, params, part, &progress);
        done.store(true);
    });
    while (!done.load()) {
        if (stopAt > 0 && progress.downloaded.load() >= double(stopAt))
            progress.cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    worker.join();
    leg.seconds = clock.nsecsElapsed() / 1e9;
    leg.peakGrowthMiB = (peakrss::statusKb("VmHWM:") - before) / 1024.0;
    leg.part = part;
    return leg;
}

const char *outcomeName(PartDownload::Outcome outcome)
{
    switch (outcome) {
    case PartDownload::Outcome::Complete:
        return "complete";
    case PartDownload::Outcome::Cancelled:
        return "cancelled";
    case PartDownload::Outcome::NetworkFault:
        return "network fault";
    case PartDownload::Outcome::Failed:
        break;
    }
    return "failed";
}

// A byte figure needs more than two decimals to show 1.05 from 1.00.
void printFine(const char *what, const Figures &f)
{
    std::printf("%-34s %8.4f %8.4f %8.4f\n", what, f.min(), f.median(), f.max());
}

} // namespace

int main(int argc, char *argv[])
{
    TempHome home;
    QCoreApplication app(argc, argv);
    const LargeFileOptions options(1024, 3);
    const qint64 megabytes = options.megabytes;
    const int runs = options.runs;
    const bool tls = options.tls;
    const qint64 size = options.bytes();
    std::printf("load average at start: %s\n", loadAverage().constData());

    HttpCurl *http = HttpCurl::instance();
    TestCertificates certs;
    ServerProcess server;
    if (!prepareTransport(server, certs, tls))
        return 2;
    const QString token = startSignedIn(server);
    if (token.isEmpty())
        return 2;

    // The file goes to the server directly; only the downloads pass the relay.
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("large.bin"));
    {
        QFile file(source);
        file.open(QIODevice::WriteOnly);
        QByteArray block(4 << 20, '\0');
        quint32 x = 2463534242u;
        for (qint64 written = 0; written < size; written += block.size()) {
            // Bytes that differ from block to block, so a misplaced range shows.
            for (int i = 0; i < block.size(); i += 4) {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                memcpy(block.data() + i, &x, 4);
            }
            file.write(block.constData(), qMin<qint64>(block.size(), size - written));
        }
    }
    const QString sourceMd5 = HttpCurl::md5HexOfFile(source);
    const QByteArray reply = http->uploadFile(
        server.url() + QStringLiteral("/api/netdisk/upload.jf"), QStringLiteral("file"), source,
        {{QStringLiteral("token"), token},
         {QStringLiteral("pid"), QStringLiteral("0")},
         {QStringLiteral("uploadType"), QStringLiteral("2")}},
        nullptr);
    const QString fileId =
        HttpCurl::parseJson(reply).toVariant().toMap().value(QStringLiteral("fileId")).toString();
    if (fileId.isEmpty()) {
        std::fprintf(stderr, "upload failed: %s\n", reply.left(300).constData());
        return 2;
    }

    // The server writes an uploaded file past the page cache: one untimed
    // download first, so that the first timed one does not read the disk
    // alone.
    {
        PartDownload warm;
        warm.path = work.filePath(QStringLiteral("warm.bin"));
        http->downloadPart(server.url() + QStringLiteral("/api/netdisk/download.jf"),
                           {{QStringLiteral("token"), token}, {QStringLiteral("fileIds"), fileId}},
                           warm, nullptr);
        QFile::remove(warm.path);
    }

    CountingRelay relay(server.port());
    if (relay.port() == 0) {
        std::fprintf(stderr, "the relay cannot listen\n");
        return 2;
    }
    const QString url = QStringLiteral("%1://127.0.0.1:%2/api/netdisk/download.jf")
                            .arg(tls ? QStringLiteral("https") : QStringLiteral("http"))
                            .arg(relay.port());
    const FormParams params{{QStringLiteral("token"), token}, {QStringLiteral("fileIds"), fileId}};
    std::printf("server %s, relay port %u, file %lld MiB, md5 %s\n", qPrintable(server.url()),
                relay.port(), megabytes, qPrintable(sourceMd5));

    const double gib = 1024.0 * 1024 * 1024;
    Figures wireTotal, wireRatio, heldAtStop, firstSeconds, secondSeconds, bothSeconds,
        wholeSeconds, timeRatio, wholeWire, rssResumed, rssWhole;
    bool ok = true;
    for (int run = 0; run < runs; ++run) {
        const bool resumedFirst = run % 2 == 0;
        const QString partPath = work.filePath(QStringLiteral("resumed.bin.part"));
        const QString wholePath = work.filePath(QStringLiteral("whole.bin.part"));

        Leg first, second, whole;
        long long firstWire = 0, secondWire = 0, wholeWireBytes = 0;
        const auto resumed = [&] {
            QFile::remove(partPath);
            relay.resetCounts();
            PartDownload part;
            part.path = partPath;
            first = runPart(url, params, part, size / 2);
            firstWire = relay.toClient();

            // Started again as the panel does: the bytes the partial file
            // holds and the size the first answer gave.
            part.held = QFileInfo(partPath).size();
            part.total = first.part.serverTotal;
            relay.resetCounts();
            second = runPart(url, params, part, 0);
            secondWire = relay.toClient();
        };
        const auto uninterrupted = [&] {
            QFile::remove(wholePath);
            relay.resetCounts();
            PartDownload part;
            part.path = wholePath;
            whole = runPart(url, params, part, 0);
            wholeWireBytes = relay.toClient();
        };
        if (resumedFirst) {
            resumed();
            uninterrupted();
        } else {
            uninterrupted();
            resumed();
        }

        const QString resumedMd5 = HttpCurl::md5HexOfFile(partPath);
        const QString wholeMd5 = HttpCurl::md5HexOfFile(wholePath);
        const bool exact = resumedMd5 == sourceMd5 && wholeMd5 == sourceMd5;
        const bool shape = first.part.outcome == PartDownload::Outcome::Cancelled &&
                           second.part.outcome == PartDownload::Outcome::Complete &&
                           second.part.resumed &&
                           whole.part.outcome == PartDownload::Outcome::Complete;
        ok = ok && exact && shape;
        QFile::remove(partPath);
        QFile::remove(wholePath);

        const long long total = firstWire + secondWire;
        wireTotal.runs.push_back(total / gib);
        wireRatio.runs.push_back(double(total) / double(size));
        heldAtStop.runs.push_back(double(first.part.held) / double(size));
        firstSeconds.runs.push_back(first.seconds);
        secondSeconds.runs.push_back(second.seconds);
        bothSeconds.runs.push_back(first.seconds + second.seconds);
        wholeSeconds.runs.push_back(whole.seconds);
        timeRatio.runs.push_back((first.seconds + second.seconds) / whole.seconds);
        wholeWire.runs.push_back(wholeWireBytes / gib);
        rssResumed.runs.push_back(qMax(first.peakGrowthMiB, second.peakGrowthMiB));
        rssWhole.runs.push_back(whole.peakGrowthMiB);
        std::printf("run %d (%s first): stopped %s at %lld bytes (%.3f), then %s%s; wire %lld + "
                    "%lld = %lld bytes; %.2f s + %.2f s against %.2f s (%lld bytes); md5 %s\n",
                    run + 1, resumedFirst ? "stopped" : "uninterrupted",
                    outcomeName(first.part.outcome), first.part.held,
                    double(first.part.held) / double(size), outcomeName(second.part.outcome),
                    second.part.resumed ? " (resumed)" : " (from the first byte)", firstWire,
                    secondWire, total, first.seconds, second.seconds, whole.seconds, wholeWireBytes,
                    exact ? "equal" : "DIFFERS");
    }

    std::printf("\n%s, file %lld MiB, %d runs, through a counting relay\n", tls ? "HTTPS" : "HTTP",
                megabytes, runs);
    std::printf("%-34s %8s %8s %8s\n", "", "min", "median", "max");
    printFine("stopped at (of the file)", heldAtStop);
    printFine("fetched in total GiB (<= 1.05)", wireTotal);
    printFine("fetched / file size", wireRatio);
    print("first part s", firstSeconds);
    print("second part s", secondSeconds);
    print("both parts s", bothSeconds);
    print("uninterrupted s", wholeSeconds);
    print("both parts / uninterrupted", timeRatio);
    printFine("uninterrupted fetched GiB", wholeWire);
    print("peak RSS growth stopped/resumed MiB", rssResumed);
    print("peak RSS growth uninterrupted MiB", rssWhole);
    std::printf("load average at end: %s\n", loadAverage().constData());
    std::printf("%s\n", ok ? "every run: stopped, resumed, complete and byte-exact"
                           : "SOME RUN FAILED (see above)");
    return ok ? 0 : 1;
}
