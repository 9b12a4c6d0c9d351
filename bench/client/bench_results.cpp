// The library's search result mode filled with 1,000 hits (marked names,
// summaries, icons, as the user sees them: the reply applied, then laid out
// and painted) against decoding the same JSON reply, the measurements
// alternating. Each figure is min / median / max over the runs; the ratio
// compares medians. Goal: fill <= 2 x decode.
// Only the rows in view are painted; the cost of paging through the whole
// list, each page painted, is printed beside it.

#include "browse/companydocument.h"
#include "browse/droptablewidget.h"

#include "benchfigures.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

constexpr int kHits = 1000;
constexpr int kRuns = 11;

QByteArray searchReply()
{
    const char *extensions[] = {"docx", "xlsx", "pdf", "txt", "md", "pptx", "zip", "png"};
    const QString mark = QStringLiteral("<font color=\"#e4393c\">部署</font>");
    QJsonArray data;
    for (int i = 0; i < kHits; ++i) {
        const QString ext = QString::fromLatin1(extensions[i % 8]);
        // Every tenth hit matched by its name only.
        const QString summary =
            i % 10 == 0 ? QString()
                        : QStringLiteral("...第%1章 服务器%2前先做数据库备份。服务器使用 SQLite "
                                         "数据库，全文检索由 FTS5 提供。升级步骤：停止服务、"
                                         "备份数据目录、替换程序、启动服务。&lt;注意&gt; 重新%3"
                                         "后检查日志...")
                              .arg(i)
                              .arg(mark, mark);
        data.append(
            QJsonObject{{"fileId", QStringLiteral("%1").arg(100000 + i)},
                        {"parentId", "42"},
                        {"fileName", QStringLiteral("服务器%1说明%2.%3").arg(mark).arg(i).arg(ext)},
                        {"summary", summary},
                        {"fileExt", ext},
                        {"fileLength", 1024 * (i % 700) + 17},
                        {"lastModifyTime", 1700000000000.0 + i * 60000.0},
                        {"createTime", 1690000000000.0},
                        {"user", QStringLiteral("李四")},
                        {"creatorId", "7"},
                        {"version", 1 + i % 3},
                        {"version_desc", QStringLiteral("初始版本")},
                        {"md5", "0123456789abcdef0123456789abcdef"},
                        {"authList", "A,C,M,V,P,D,E,R"}});
    }
    return QJsonDocument(QJsonObject{{"code", 0}, {"msg", ""}, {"data", data}})
        .toJson(QJsonDocument::Compact);
}

// Lets the event loop settle: deferred deletions, the worker of the search
// request (which has no server here and fails at once, changing nothing).
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QThread::msleep(10);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    // The per-hit debug lines would measure the terminal.
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    QApplication app(argc, argv);
    CompanyDocument browser;
    browser.resize(1200, 800);
    browser.show();
    // The panel's own start-up (its first listing, 50 ms after construction)
    // must be over, or it would end the result mode of the first run.
    for (int i = 0; i < 5; ++i)
        settle();

    const QByteArray reply = searchReply();
    const QVariantMap criteria{{"key", QStringLiteral("部署")}, {"ext", QStringList()}};
    Figures decode, fill, applied, paging;
    int rows = 0;
    for (int run = 0; run < kRuns; ++run) {
        QVariantMap map;
        decode.runs.push_back(
            msOf([&] { map = QJsonDocument::fromJson(reply).toVariant().toMap(); }));

        browser.startSearch(criteria);
        settle();
        double apply = 0;
        fill.runs.push_back(msOf([&] {
            apply = msOf([&] { browser.receiveFullTxtData(map); });
            QApplication::processEvents();
        }));
        applied.runs.push_back(apply);
        rows = browser.table->rowCount();
        if (rows != kHits || !browser.showsResults()) {
            std::fprintf(stderr, "run %d: %d rows\n", run, rows);
            return 1;
        }

        // Paging through every hit, each page laid out and painted.
        QScrollBar *bar = browser.table->verticalScrollBar();
        paging.runs.push_back(msOf([&] {
            while (bar->value() < bar->maximum()) {
                bar->setValue(bar->value() + bar->pageStep());
                QApplication::processEvents();
            }
        }));
    }

    std::printf("%d hits, %d bytes of JSON, %d runs\n", kHits, int(reply.size()), kRuns);
    std::printf("milliseconds                          min   median      max\n");
    print("decode the reply", decode);
    print("fill the result mode", fill);
    print("  of it applying the reply", applied);
    print("page through all hits", paging);
    std::printf("fill / decode: %.2f (goal <= 2.0)\n", fill.median() / decode.median());
    return 0;
}
