// The transfer panel with 200 running downloads: a 10 ms probe timer on the
// interface thread measures how late it fires; prints the percentiles of the
// delay (goal: 99th percentile under 50 ms).
#include "core/gcore.h"
#include "scriptedhttpserver.h"
#include "temphome.h"
#include "transfer/transferpanel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[])
{
    TempHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    constexpr int kTransfers = 200;
    constexpr int kProbeMs = 10;
    constexpr int kMeasureMs = 8000;

    ScriptedHttpServer server;
    const quint16 port = server.start([](const QByteArray &) {
        ScriptedHttpServer::Reply r;
        const qint64 total = 1LL << 30;
        r.bytes = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(total) + "\r\n\r\n";
        r.trickleBytes = total;
        r.trickleChunk = 16384;
        r.trickleIntervalMs = 20;
        return r;
    });
    pointClientAt(port);
    GCore::instance()->setToken("bench");

    QTemporaryDir dir;
    TransferPanel panel;
    panel.resize(1000, 700);
    panel.show();
    for (int i = 0; i < kTransfers; ++i) {
        panel.addDownload(QVariantMap{{"fileId", QString::number(1000 + i)},
                                      {"fileName", QStringLiteral("file%1.bin").arg(i)},
                                      {"fileLength", "1 GB"},
                                      {"length", double(1LL << 30)},
                                      {"fileExtend", "bin"},
                                      {"localPath", dir.path()}},
                          i % 2);
    }

    QVector<double> delays;
    QElapsedTimer clock;
    clock.start();
    qint64 last = -1;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0)
            delays.append(std::max(0.0, (now - last) / 1e6 - kProbeMs));
        last = now;
    });
    // Let every worker connect before measuring.
    QTimer::singleShot(1000, [&] {
        probe.start(kProbeMs);
        QTimer::singleShot(kMeasureMs, &app, &QCoreApplication::quit);
    });
    app.exec();
    probe.stop();

    std::sort(delays.begin(), delays.end());
    auto pct = [&](double p) {
        return delays.isEmpty()
                   ? 0.0
                   : delays.at(std::min(int(delays.size() * p), int(delays.size()) - 1));
    };
    const int running = panel.findChild<QTableView *>("downloadTable")->model()->rowCount();
    std::printf("transfers running: %d, probe ticks: %d over %d ms\n", running, int(delays.size()),
                kMeasureMs);
    std::printf("probe delay p50 %.2f ms, p99 %.2f ms, max %.2f ms (goal p99 < 50 ms)\n", pct(0.5),
                pct(0.99), delays.isEmpty() ? 0.0 : delays.last());
    return 0;
}
