// Fills the company library's table from a listing of 10,000 entries (icons
// and texts, as the user sees them) and times it against decoding the same
// JSON reply, in one run. Goal: the fill takes at most twice the decode time.

#include "browse/companydocument.h"
#include "browse/droptablewidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

QByteArray listingReply(int count)
{
    const char *extensions[] = {"docx", "xlsx", "pdf", "txt", "png", "zip", "pptx", "md"};
    QJsonArray data;
    for (int i = 0; i < count; ++i) {
        const bool folder = i % 10 == 0;
        const QString ext = folder ? QString() : QString::fromLatin1(extensions[i % 8]);
        data.append(QJsonObject{
            {"fileId", QString::number(100000 + i)},
            {"parentId", "0"},
            {"fileName", folder ? QStringLiteral("文件夹%1").arg(i)
                                : QStringLiteral("文档%1.%2").arg(i).arg(ext)},
            {"fileType", folder ? 1 : 2},
            {"fileExtend", ext},
            {"lastModifyTime", 1700000000000.0 + i * 1000.0},
            {"user", QStringLiteral("张三")},
            {"fileLength", folder ? QString() : QStringLiteral("%1.5&nbsp;KB").arg(i % 900)},
            {"length", folder ? 0 : (i % 900) * 1024 + 512},
            {"version_desc", QStringLiteral("初始版本")},
            {"authList", "A,C,M,V,P,D,E,R"}});
    }
    return QJsonDocument(QJsonObject{{"code", 0}, {"msg", ""}, {"data", data}})
        .toJson(QJsonDocument::Compact);
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    CompanyDocument browser;
    browser.resize(1200, 800);
    browser.show();
    QApplication::processEvents();

    const QByteArray reply = listingReply(10000);
    const int rounds = 5;
    qint64 bestDecode = -1, bestFill = -1;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        const QVariantMap map = QJsonDocument::fromJson(reply).toVariant().toMap();
        const qint64 decode = clock.nsecsElapsed();

        const QVariantList entries = map.value("data").toList();
        clock.restart();
        browser.fillTable(entries);
        const qint64 fill = clock.nsecsElapsed();
        if (browser.table->rowCount() != 10000) {
            std::fprintf(stderr, "table has %d rows\n", browser.table->rowCount());
            return 1;
        }
        bestDecode = bestDecode < 0 ? decode : std::min(bestDecode, decode);
        bestFill = bestFill < 0 ? fill : std::min(bestFill, fill);
    }
    const double ratio = double(bestFill) / double(bestDecode);
    std::printf("decode 10000 entries: %.1f ms\n", bestDecode / 1e6);
    std::printf("fill table:           %.1f ms\n", bestFill / 1e6);
    std::printf("fill / decode:        %.2f (goal <= 2)\n", ratio);
    return 0;
}
