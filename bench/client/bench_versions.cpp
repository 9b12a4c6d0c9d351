// The version dialogs under load, in one run:
//
// 1. The built-in comparison of two versions of a generated 300-page docx
//    (6,000 paragraphs, 5 % of them changed: reworded, removed or added):
//    extraction, diff and the filled comparison window, against extracting
//    the two texts alone (goal: at most 3x).
// 2. A 1 GiB new version through "上传更新" and a 1 GiB edit round trip
//    through "编辑文件" (lock, download, change, upload) against
//    folvane-server on loopback: the client's peak RSS growth during each
//    (goal: under 64 MiB). FOLVANE_BENCH_MB changes the size.
//
// Runs alternate; each figure is min / median / max of the runs.
#include "benchserver.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "modalanswer.h"
#include "peakrss.h"
#include "serverprocess.h"
#include "temphome.h"
#include "transfer/compare/comparethread.h"
#include "transfer/compare/compareview.h"
#include "transfer/compare/comparewindow.h"
#include "transfer/compare/documenttext.h"
#include "transfer/compare/zipreader.h"
#include "transfer/deditfile.h"
#include "transfer/updatefile.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kParagraphs = 6000;
constexpr int kRuns = 7;
constexpr int kTransferRuns = 3;

using peakrss::resetPeak;
using peakrss::statusKb;

struct Spread
{
    double min, median, max;
};

Spread spread(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v.front(), v[v.size() / 2], v.back()};
}

// A paragraph of Chinese office prose, about 70 characters, different for each n.
QString paragraph(int n, QRandomGenerator &random)
{
    static const QStringList phrases{"公司各部门应当按照年度计划", "认真落实安全生产责任制",
                                     "员工在工作中须遵守操作规程", "相关费用由财务部统一核算",
                                     "经部门负责人审批后执行",     "如有疑问请及时与人事部联系",
                                     "本条款自发布之日起施行",     "对违反规定的行为予以通报",
                                     "各项记录应当妥善保存备查",   "每季度组织一次专项检查"};
    QString text = QStringLiteral("第%1条 ").arg(n + 1);
    for (int i = 0; i < 5; ++i)
        text += phrases.at(int(random.bounded(phrases.size()))) +
                (i == 4 ? QStringLiteral("。") : QStringLiteral("，"));
    return text;
}

bool writeDocx(const QString &path, const QStringList &paragraphs)
{
    QByteArray body;
    for (const QString &p : paragraphs)
        body += "<w:p><w:pPr><w:pStyle w:val=\"Normal\"/><w:spacing w:after=\"120\"/></w:pPr>"
                "<w:r><w:rPr><w:rFonts w:eastAsia=\"SimSun\"/><w:sz w:val=\"24\"/></w:rPr>"
                "<w:t xml:space=\"preserve\">" +
                p.toHtmlEscaped().toUtf8() + "</w:t></w:r></w:p>";
    const QByteArray document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<w:document "
        "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" +
        body + "</w:body></w:document>";
    const QByteArray types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/"
        "package/2006/content-types\"><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "</Types>";
    int error = 0;
    zip_t *archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    const QByteArray *parts[] = {&types, &document};
    const char *names[] = {"[Content_Types].xml", "word/document.xml"};
    for (int i = 0; i < 2; ++i) {
        zip_source_t *source =
            zip_source_buffer(archive, parts[i]->constData(), zip_uint64_t(parts[i]->size()), 0);
        if (!source || zip_file_add(archive, names[i], source, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

// Polls the event loop until `done` or `ms` pass.
bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    return true;
}

class OpenRecorder : public QObject
{
    Q_OBJECT
public:
    QString last;
public slots:
    void open(const QUrl &url) { last = url.toLocalFile(); }
};

double peakGrowthMiB(const std::function<void()> &work)
{
    resetPeak();
    const qint64 before = statusKb("VmRSS:");
    work();
    return (statusKb("VmHWM:") - before) / 1024.0;
}

void clickOkOfNextBox()
{
    clickInNextModal(QStringLiteral("OK"), 600000);
}

} // namespace

int main(int argc, char *argv[])
{
    TempHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir work;

    // ---- 1. built-in comparison ----
    QRandomGenerator random(20240601);
    QStringList older;
    for (int i = 0; i < kParagraphs; ++i)
        older << paragraph(i, random);
    QStringList newer = older;
    int reworded = 0, removed = 0, added = 0;
    // 5 % changed, spread over the document: reworded, removed, added in turn.
    for (int i = kParagraphs - 10, k = 0; i > 0; i -= 20, ++k) {
        switch (k % 3) {
        case 0:
            newer[i] = newer[i].left(12) + QStringLiteral("（已修订）") + newer[i].mid(20);
            ++reworded;
            break;
        case 1:
            newer.removeAt(i);
            ++removed;
            break;
        default:
            newer.insert(i, QStringLiteral("新增条款：") + paragraph(i + 100000, random));
            ++added;
        }
    }
    const QString olderPath = work.filePath(QStringLiteral("old.docx"));
    const QString newerPath = work.filePath(QStringLiteral("new.docx"));
    if (!writeDocx(olderPath, older) || !writeDocx(newerPath, newer)) {
        std::fprintf(stderr, "cannot write the documents\n");
        return 2;
    }
    std::printf("documents: %d and %d paragraphs (%d reworded, %d removed, %d added), %lld and "
                "%lld bytes, document.xml %d and %d bytes unpacked\n",
                older.size(), newer.size(), reworded, removed, added, QFileInfo(olderPath).size(),
                QFileInfo(newerPath).size(),
                ZipReader(olderPath).readAll(QStringLiteral("word/document.xml")).size(),
                ZipReader(newerPath).readAll(QStringLiteral("word/document.xml")).size());

    VersionComparer::Versions versions;
    versions.olderPath = olderPath;
    versions.newerPath = newerPath;
    versions.olderVersion = 1;
    versions.newerVersion = 2;
    versions.fileName = QStringLiteral("制度汇编.docx");
    versions.extension = QStringLiteral("docx");
    // The extraction alone, and the whole comparison up to the painted window.
    auto extractBoth = [&] {
        QElapsedTimer t;
        t.start();
        QStringList a, b;
        QString error;
        DocumentText::read(olderPath, QStringLiteral("docx"), &a, &error);
        DocumentText::read(newerPath, QStringLiteral("docx"), &b, &error);
        const double ms = t.nsecsElapsed() / 1e6;
        return a.size() == older.size() && b.size() == newer.size() ? ms : -1.0;
    };
    int rows = 0;
    auto compareAndShow = [&] {
        QElapsedTimer t;
        t.start();
        const CompareThread::Result result = CompareThread::run(versions);
        CompareWindow window(versions.fileName, 1, 2, nullptr);
        window.setComparison(result.older, result.newer, result.rows);
        window.show();
        window.view->viewport()->repaint();
        QCoreApplication::processEvents();
        rows = result.rows.size();
        return t.nsecsElapsed() / 1e6;
    };
    // One round of each to warm the caches, not counted.
    extractBoth();
    compareAndShow();
    std::vector<double> extractMs, fullMs, ratios;
    for (int run = 0; run < kRuns; ++run) {
        // Alternating which goes first.
        double extract = 0, full = 0;
        if (run % 2 == 0) {
            extract = extractBoth();
            full = compareAndShow();
        } else {
            full = compareAndShow();
            extract = extractBoth();
        }
        if (extract < 0) {
            std::fprintf(stderr, "extraction lost paragraphs\n");
            return 1;
        }
        extractMs.push_back(extract);
        fullMs.push_back(full);
        ratios.push_back(full / extract);
    }
    const Spread e = spread(extractMs), f = spread(fullMs), r = spread(ratios);
    std::printf("built-in comparison (%d rows), %d alternating runs, min / median / max:\n", rows,
                kRuns);
    std::printf("  extracting both texts:            %7.1f / %7.1f / %7.1f ms\n", e.min, e.median,
                e.max);
    std::printf("  extraction, diff, filled window:  %7.1f / %7.1f / %7.1f ms\n", f.min, f.median,
                f.max);
    std::printf("  ratio:                            %7.2f / %7.2f / %7.2f (goal <= 3)\n", r.min,
                r.median, r.max);

    // ---- 2. 1 GiB new version and edit round trip ----
    const qint64 megabytes = qEnvironmentVariableIsSet("FOLVANE_BENCH_MB")
                                 ? qEnvironmentVariable("FOLVANE_BENCH_MB").toLongLong()
                                 : 1024;
    ServerProcess server;
    const QString token = startSignedIn(server);
    if (token.isEmpty())
        return 2;
    HttpCurl *http = HttpCurl::instance();
    auto list = [&](const QString &parent) {
        return http
            ->postJson(server.url() + QStringLiteral("/api/file/list-file.jf"),
                       {{QStringLiteral("token"), token}, {QStringLiteral("parentId"), parent}})
            .toMap()
            .value(QStringLiteral("data"))
            .toList();
    };
    auto find = [&](const QString &parent, const QString &name) {
        for (const QVariant &v : list(parent)) {
            if (v.toMap().value(QStringLiteral("fileName")).toString() == name)
                return v.toMap();
        }
        return QVariantMap();
    };
    const QString shared = find(QStringLiteral("0"), QStringLiteral("公共资料"))
                               .value(QStringLiteral("fileId"))
                               .toString();

    const QString big = work.filePath(QStringLiteral("big.txt"));
    {
        QFile file(big);
        file.open(QIODevice::WriteOnly);
        QByteArray block(4 << 20, 'a');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char('a' + (i * 7 + (i >> 12)) % 26);
        const qint64 size = megabytes << 20;
        for (qint64 written = 0; written < size; written += block.size())
            file.write(block.constData(), qMin<qint64>(block.size(), size - written));
    }
    OpenRecorder opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");

    std::vector<double> uploadGrowth, editGrowth, uploadSeconds, editSeconds;
    for (int run = 0; run < kTransferRuns; ++run) {
        QVariantMap item = find(shared, QStringLiteral("会议纪要.txt"));
        QElapsedTimer t;
        bool ok = false;
        const double up = peakGrowthMiB([&] {
            ok = false;
            t.start();
            UpdateFile dialog(item, nullptr, 0);
            dialog.show();
            dialog.filePath = big; // as chosen with "添加文件"
            clickOkOfNextBox();
            dialog.saveButton->click();
            ok = waitFor([&] { return dialog.result() == QDialog::Accepted; }, 600000);
        });
        uploadSeconds.push_back(t.nsecsElapsed() / 1e9);
        if (!ok) {
            std::fprintf(stderr, "the new version did not complete\n");
            return 1;
        }
        uploadGrowth.push_back(up);

        item = find(shared, QStringLiteral("会议纪要.txt"));
        const double edit = peakGrowthMiB([&] {
            ok = false;
            t.start();
            DEditFile dialog(item, nullptr);
            dialog.show();
            opened.last.clear();
            dialog.actionButton->click();
            if (!waitFor([&] { return !opened.last.isEmpty(); }, 600000))
                return;
            {
                QFile copy(opened.last);
                copy.open(QIODevice::ReadWrite);
                copy.write("E");
            }
            clickOkOfNextBox();
            dialog.actionButton->click();
            ok = waitFor([&] { return dialog.result() == QDialog::Accepted; }, 600000);
        });
        editSeconds.push_back(t.nsecsElapsed() / 1e9);
        if (!ok) {
            std::fprintf(stderr, "the edit round trip did not complete\n");
            return 1;
        }
        editGrowth.push_back(edit);
        QFile::remove(opened.last);
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    const Spread ug = spread(uploadGrowth), eg = spread(editGrowth);
    const Spread us = spread(uploadSeconds), es = spread(editSeconds);
    std::printf("%lld MiB, %d alternating runs, min / median / max:\n", megabytes, kTransferRuns);
    std::printf("  new version (上传更新):  %6.1f / %6.1f / %6.1f s, peak RSS growth %5.1f / %5.1f "
                "/ %5.1f MiB (goal < 64)\n",
                us.min, us.median, us.max, ug.min, ug.median, ug.max);
    std::printf("  edit round trip (编辑):  %6.1f / %6.1f / %6.1f s, peak RSS growth %5.1f / %5.1f "
                "/ %5.1f MiB (goal < 64)\n",
                es.min, es.median, es.max, eg.min, eg.median, eg.max);
    return 0;
}

#include "bench_versions.moc"
