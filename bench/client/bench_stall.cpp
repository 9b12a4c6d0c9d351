// The interface thread during the short requests of the windows: the longest
// gap between the ticks of a 10 ms timer while a rename, a delete, a new
// folder, a copy, the check before opening a file, an edit (lock, download,
// release) and a sign-in run, against folvane-server behind a relay that holds
// every answer 5 s (the slow server) and against the same server reached
// directly (the baseline, alternating with it).
//
//   bench_stall [--runs N] [--delay MS]

#include "app/dlogin.h"
#include "benchfigures.h"
#include "benchserver.h"
#include "browse/companydocument.h"
#include "browse/droptablewidget.h"
#include "browserhelpers.h"
#include "core/httpcurl.h"
#include "delayingrelay.h"
#include "modalanswer.h"
#include "models/treeviewmodel.h"
#include "stallmeter.h"
#include "temphome.h"
#include "transfer/daddfolder.h"
#include "transfer/deditfile.h"
#include "transfer/dfoldertree.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <map>
#include <string>

namespace {

struct Bench
{
    ServerProcess server;
    std::unique_ptr<DelayingRelay> relay;
    QString token;
    QString common; // "公共资料"
    QString target; // "研发中心", where the copies go
    UrlRecorder recorder;

    void pointAt(quint16 port)
    {
        QVariantMap settings = GCore::instance()->readSettings();
        settings.insert("host", "127.0.0.1");
        settings.insert("port", QString::number(port));
        GCore::instance()->writeSettings(settings);
    }

    QVariantMap call(const QString &path, const FormParams &form)
    {
        FormParams full = form;
        full.insert("token", token);
        return HttpCurl::instance()->postJson(server.url() + path, full).toMap();
    }

    QString idIn(const QString &parentId, const QString &name)
    {
        return findEntry(call("/api/file/list-file.jf", {{"parentId", parentId}}), name)
            .value("fileId")
            .toString();
    }

    QString makeFolder(const QString &parentId, const QString &name)
    {
        call("/api/file/save-fold.jf", {{"parentId", parentId}, {"name", name}});
        return idIn(parentId, name);
    }
};

bool waitUntil(const std::function<bool()> &done, int ms = 60000)
{
    return QTest::qWaitFor(done, ms);
}

// How long each operation took, to show that the slow runs did wait.
std::map<std::string, Figures> wallFigures;
std::string currentOperation;

// Runs `start`, waits for `done`, and returns the longest gap of the interface
// thread meanwhile (or -1 when it never ended).
double longestGap(const std::function<void()> &start, const std::function<bool()> &done)
{
    StallMeter meter;
    QElapsedTimer clock;
    clock.start();
    start();
    if (!waitUntil(done))
        return -1;
    wallFigures[currentOperation].runs.push_back(double(clock.elapsed()));
    return double(meter.longestGapMs());
}

// One run of every operation against the port the client points at now.
std::map<std::string, double> runOnce(Bench &bench, int run, bool slow)
{
    std::map<std::string, double> gaps;
    const QString tag = QStringLiteral("%1-%2").arg(slow ? "slow" : "fast").arg(run);
    const QString folder = "测" + tag;
    bench.makeFolder(bench.common, folder);

    // The listing itself is not measured: it runs on a worker already.
    CompanyDocument b;
    b.resize(1000, 600);
    b.show();
    waitUntil([&] { return rowOf(b, "公共资料") >= 0; });
    b.requestFileList(bench.common, false);
    waitUntil([&] { return rowOf(b, folder) >= 0; });
    // The folders of earlier runs push it down: the right click needs it in view.
    b.table->scrollToItem(b.table->item(rowOf(b, folder), 0));

    answerNextModal([tag](QWidget *modal) {
        auto *input = qobject_cast<QInputDialog *>(modal);
        input->setTextValue("改" + tag);
        input->accept();
    });
    currentOperation = std::string(slow ? "slow: " : "fast: ") + "rename";
    gaps["rename"] = longestGap([&] { menuAt(b, rowOf(b, folder), "基本操作>重命名"); },
                                [&] { return !b.isChanging(); });
    waitUntil([&] { return rowOf(b, "改" + tag) >= 0; });

    b.table->selectRow(rowOf(b, "改" + tag));
    clickInNextModal("Yes");
    currentOperation = std::string(slow ? "slow: " : "fast: ") + "delete";
    gaps["delete"] = longestGap([&] { b.deleteItems(); }, [&] { return !b.isChanging(); });
    waitUntil([&] { return b.table->rowCount() > 0; });

    // A file already in the cache: only the check before opening it.
    const QVariantMap notes =
        b.table->item(rowOf(b, "会议纪要.txt"), 0)->data(Qt::UserRole + 2).toMap();
    const int opened = bench.recorder.opened.size();
    // The check has a 3-second limit: a server slower than that gets the
    // "无法连接服务器" box, as before, which is answered here.
    bool refused = false;
    if (slow)
        answerNextModal(
            [&refused](QWidget *box) {
                refused = true;
                box->close();
            },
            10000);
    currentOperation = std::string(slow ? "slow: " : "fast: ") + "open (md5)";
    gaps["open (md5)"] =
        longestGap([&] { b.openFile(notes, nullptr); },
                   [&] { return refused || bench.recorder.opened.size() > opened; });

    DAddFolder add(bench.common, {"公司文档", "公共资料"}, nullptr, 0);
    add.show();
    add.nameEdit->setText("新" + tag);
    currentOperation = std::string(slow ? "slow: " : "fast: ") + "new folder";
    gaps["new folder"] =
        longestGap([&] { add.accept(); }, [&] { return add.result() == QDialog::Accepted; });

    // A folder of its own each run, so no copy meets a name taken by another.
    const QString source = bench.makeFolder(bench.common, "复制" + tag);
    DFolderTree copy({source}, 1, bench.common, nullptr);
    copy.show();
    waitUntil([&] { return copy.model->rowCount() > 0; });
    copy.model->selectById(bench.target);
    currentOperation = std::string(slow ? "slow: " : "fast: ") + "copy";
    gaps["copy"] =
        longestGap([&] { copy.accept(); }, [&] { return copy.result() == QDialog::Accepted; });
    if (bench.idIn(bench.target, "复制" + tag).isEmpty())
        std::fprintf(stderr, "the copy of run %s did not arrive\n", qPrintable(tag));

    DEditFile edit(notes, nullptr);
    edit.show();
    const int before = bench.recorder.opened.size();
    bool discarded = false;
    currentOperation = std::string(slow ? "slow: " : "fast: ") + "edit lock, fetch, release";
    gaps["edit lock, fetch, release"] =
        longestGap([&] { edit.actionButton->click(); },
                   [&] {
                       if (!discarded && bench.recorder.opened.size() > before &&
                           edit.isVisible() && edit.actionButton->isEnabled()) {
                           // With the working copy fetched, closing asks first.
                           discarded = true;
                           clickInNextModal("Yes");
                           edit.reject();
                       }
                       return !edit.isVisible();
                   });

    GCore::instance()->setToken(QString());
    DLogin login;
    login.show();
    login.findChild<QLineEdit *>("usernameEdit")->setText("admin");
    login.findChild<QLineEdit *>("passwordEdit")->setText("admin123");
    auto *button = login.findChild<QPushButton *>("loginButton");
    currentOperation = std::string(slow ? "slow: " : "fast: ") + "sign-in";
    gaps["sign-in"] = longestGap([&] { button->click(); },
                                 [&] {
                                     return login.result() == QDialog::Accepted ||
                                            (button->isEnabled() && button->text() == "登 录");
                                 });
    GCore::instance()->setToken(bench.token);
    return gaps;
}

} // namespace

int main(int argc, char *argv[])
{
    TempHome home;
    QApplication app(argc, argv);
    int runs = 3;
    int delayMs = 5000;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == "--runs")
            runs = qMax(1, args.at(i + 1).toInt());
        else if (args.at(i) == "--delay")
            delayMs = qMax(0, args.at(i + 1).toInt());
    }

    Bench bench;
    bench.token = startSignedIn(bench.server);
    if (bench.token.isEmpty())
        return 1;
    bench.relay = std::make_unique<DelayingRelay>(bench.server.port(), delayMs);
    bench.common = bench.idIn("0", "公共资料");
    bench.target = bench.idIn("0", "研发中心");
    QDesktopServices::setUrlHandler("file", &bench.recorder, "open");
    // Puts the file of the open measurement into the cache.
    {
        CompanyDocument b;
        b.requestFileList(bench.common, false);
        waitUntil([&] { return rowOf(b, "会议纪要.txt") >= 0; });
        b.openFile(b.table->item(rowOf(b, "会议纪要.txt"), 0)->data(Qt::UserRole + 2).toMap(),
                   nullptr);
        waitUntil([&] { return !bench.recorder.opened.isEmpty(); });
    }

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("load before: %s\n", loadAverage().constData());
    std::map<std::string, Figures> slowFigures, fastFigures;
    for (int run = 0; run < runs; ++run) {
        for (const bool slow : {true, false}) {
            bench.pointAt(slow ? bench.relay->port() : bench.server.port());
            const auto gaps = runOnce(bench, run, slow);
            for (const auto &gap : gaps)
                (slow ? slowFigures : fastFigures)[gap.first].runs.push_back(gap.second);
        }
    }
    std::printf("load after: %s\n", loadAverage().constData());

    std::printf("\nlongest gap of the interface thread (ms, 10 ms timer), %d runs\n", runs);
    std::printf("answers held %d ms at the relay, against the server reached directly\n", delayMs);
    std::printf("%-34s %8s %8s %8s\n", "", "min", "median", "max");
    for (const auto &entry : slowFigures) {
        print(("slow: " + entry.first).c_str(), entry.second);
        print(("fast: " + entry.first).c_str(), fastFigures[entry.first]);
    }
    std::printf("\nwall time of each operation (ms)\n");
    for (const auto &entry : wallFigures)
        print(entry.first.c_str(), entry.second);
    QDesktopServices::unsetUrlHandler("file");
    return 0;
}
