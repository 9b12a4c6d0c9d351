// The transfer panel with long lists: 10,000 uploads queued in one go (as a
// dropped folder queues them) against reading the same 10,000 files' sizes and
// names, which queuing cannot do without; and a panel made over a history of
// 10,000 records against decoding the same history file. Runs alternate with
// their baselines; each prints min / median / max in ms of
// FOLVANE_BENCH_RUNS runs (5), and the resident memory the queued rows add.
// Goals: queuing under 0.5 s and 20 MiB, the history under 200 ms.
#include "benchfigures.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "peakrss.h"
#include "scriptedhttpserver.h"
#include "temphome.h"
#include "transfer/transferpanel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

constexpr int kRows = 10000;

void removeQueues()
{
    for (const QString &name : QDir(GCore::dataDir()).entryList({QStringLiteral("queue-*.json")}))
        QFile::remove(GCore::dataDir() + QLatin1Char('/') + name);
}

} // namespace

int main(int argc, char *argv[])
{
    TempHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const int asked = qEnvironmentVariableIntValue("FOLVANE_BENCH_RUNS");
    const int runs = asked > 0 ? asked : 5;

    // A server that never reads an upload: the first three run, the rest wait.
    ScriptedHttpServer server;
    server.setStallReading(true);
    const quint16 port = server.start([](const QByteArray &) {
        return ScriptedHttpServer::Reply{ScriptedHttpServer::okReply(R"({"code":0})")};
    });
    pointClientAt(port);
    GCore::instance()->setToken("bench");

    QTemporaryDir dir;
    QStringList paths;
    for (int i = 0; i < kRows; ++i) {
        paths << dir.filePath(QStringLiteral("文件%1.txt").arg(i));
        QFile f(paths.last());
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(QByteArray::number(i));
    }

    Figures queue, stat, history, decode;
    std::vector<double> grownMiB;
    for (int run = 0; run < runs; ++run) {
        removeQueues();
        auto panel = std::make_unique<TransferPanel>();
        panel->resize(1000, 700);
        panel->show();
        QCoreApplication::processEvents();
        peakrss::resetPeak();
        const qint64 before = peakrss::statusKb("VmRSS:");
        queue.runs.push_back(msOf([&] {
            panel->holdLayout(true);
            for (const QString &path : qAsConst(paths))
                panel->addUpload(path, QStringLiteral("1"), 1, QString());
            panel->holdLayout(false);
            QCoreApplication::processEvents(); // the view lays out and paints
        }));
        grownMiB.push_back((peakrss::statusKb("VmHWM:") - before) / 1024.0);
        panel.reset();
        removeQueues();

        qint64 sum = 0;
        stat.runs.push_back(msOf([&] {
            for (const QString &path : qAsConst(paths)) {
                const QFileInfo info(path);
                sum += info.size() + info.fileName().size();
            }
        }));
        if (sum == 0)
            return 1;
    }

    // A history of 10,000 records.
    QVariantList records;
    for (int i = 0; i < kRows; ++i)
        records << QVariantMap{{"fileName", QStringLiteral("文件%1.txt").arg(i)},
                               {"filePath", QStringLiteral("/home/u/文件%1.txt").arg(i)},
                               {"folderPath", "/home/u"},
                               {"handleTime", 1700000000000.0 + i},
                               {"type", i % 2},
                               {"fileExtend", "txt"},
                               {"fileLength", "1.5KB"}};
    const QByteArray text = QJsonDocument::fromVariant(records).toJson();
    {
        QFile f(GCore::dataDir() + QStringLiteral("/history.json"));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(text);
    }
    for (int run = 0; run < runs; ++run) {
        int rows = 0;
        history.runs.push_back(msOf([&] {
            TransferPanel panel;
            rows = panel.findChild<QAbstractItemView *>(QStringLiteral("historyTable"))
                       ->model()
                       ->rowCount();
        }));
        if (rows != kRows)
            std::fprintf(stderr, "history rows: %d\n", rows);
        int count = 0;
        decode.runs.push_back(msOf([&] {
            QFile f(GCore::dataDir() + QStringLiteral("/history.json"));
            if (f.open(QIODevice::ReadOnly))
                count = HttpCurl::parseJson(f.readAll()).toVariant().toList().size();
        }));
        if (count != kRows)
            return 1;
    }

    std::printf("%d runs each, alternating; ms                 min   median      max\n", runs);
    print("queue 10,000 uploads (panel)", queue);
    print("stat the 10,000 files (baseline)", stat);
    print("panel over 10,000 history records", history);
    print("decode the history file (baseline)", decode);
    Figures mem;
    mem.runs = grownMiB;
    std::printf("%-34s %8.2f %8.2f %8.2f MiB\n", "memory the queued rows add", mem.min(),
                mem.median(), mem.max());
    std::printf("ratios (median): queue/stat %.2f, history/decode %.2f\n",
                queue.median() / stat.median(), history.median() / decode.median());
    return 0;
}
