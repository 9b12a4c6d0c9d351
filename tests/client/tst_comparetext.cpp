// What the built-in comparison reads and marks: the text of docx, odt and
// plain text files (tracked deletions, repeated text boxes, encodings),
// the bound on what an archive member may unpack to, word marks in Latin
// text, the comparison view's scrolling, and doc files through LibreOffice.
#include "testmain.h"
#include "transfer/compare/comparethread.h"
#include "transfer/compare/compareview.h"
#include "transfer/compare/documenttext.h"
#include "transfer/compare/libreoffice.h"
#include "transfer/compare/textdiff.h"
#include "transfer/compare/zipreader.h"

#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextCodec>

#include <zip.h>

namespace {

bool writeZip(const QString &path, const QList<QPair<QString, QByteArray>> &members)
{
    int error = 0;
    zip_t *archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (const auto &m : members) {
        zip_source_t *source =
            zip_source_buffer(archive, m.second.constData(), zip_uint64_t(m.second.size()), 0);
        if (!source || zip_file_add(archive, m.first.toUtf8().constData(), source, 0) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

QStringList read(const QString &path, const QString &ext, QString *error = nullptr)
{
    QStringList out;
    QString e;
    if (!DocumentText::read(path, ext, &out, &e))
        out = QStringList{"<error>"};
    if (error)
        *error = e;
    return out;
}

const QByteArray kWordHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document "
    "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
    "xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\"><w:body>";

// A docx that word processors open: the parts list and the package relation too.
bool writeDocx(const QString &path, const QByteArray &document)
{
    const QByteArray types =
        "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
        "content-types\"><Default Extension=\"rels\" ContentType=\"application/"
        "vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
        "ContentType=\"application/xml\"/><Override PartName=\"/word/document.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml."
        "document.main+xml\"/></Types>";
    const QByteArray rels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
        "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://"
        "schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
        "Target=\"word/document.xml\"/></Relationships>";
    return writeZip(
        path,
        {{"[Content_Types].xml", types}, {"_rels/.rels", rels}, {"word/document.xml", document}});
}

} // namespace

class TestCompareText : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void wordAndOpenDocumentText()
    {
        // Deleted text under change tracking is not part of the text; a text
        // box's fallback copy is not read twice; a tab stays a tab.
        const QByteArray document =
            kWordHead +
            "<w:p><w:r><w:t>保留</w:t></w:r><w:del><w:r><w:delText>删掉</w:delText></w:r></w:del>"
            "<w:ins><w:r><w:t>新增</w:t></w:r></w:ins></w:p>"
            "<w:p><w:r><w:t xml:space=\"preserve\">   </w:t></w:r></w:p>"
            "<w:p><w:r><mc:AlternateContent><mc:Choice><w:p><w:r><w:t>框内</w:t></w:r></w:p>"
            "</mc:Choice><mc:Fallback><w:p><w:r><w:t>框内</w:t></w:r></w:p></mc:Fallback>"
            "</mc:AlternateContent><w:t>外</w:t><w:tab/><w:t>面</w:t></w:r></w:p>"
            "</w:body></w:document>";
        const QString docx = dir.filePath("a.docx");
        QVERIFY(writeZip(docx, {{"word/document.xml", document}}));
        QCOMPARE(read(docx, "docx"), QStringList({"保留新增", "框内", "外\t面"}));

        const QByteArray content =
            "<?xml version=\"1.0\"?><office:document-content "
            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
            "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body>"
            "<office:text><text:tracked-changes><text:changed-region><text:deletion>"
            "<text:p>旧文字</text:p></text:deletion></text:changed-region></text:tracked-changes>"
            "<text:h>第一章</text:h><text:p>a<text:s text:c=\"3\"/>b<text:span>c</text:span>"
            "<text:note><text:note-body><text:p>脚注</text:p></text:note-body></text:note></text:p>"
            "</office:text></office:body></office:document-content>";
        const QString odt = dir.filePath("a.odt");
        QVERIFY(writeZip(odt, {{"content.xml", content}}));
        QCOMPARE(read(odt, "odt"), QStringList({"第一章", "a   bc"}));

        // A broken archive is an error for the user, not an empty text.
        const QString broken = dir.filePath("broken.docx");
        QFile(broken).open(QIODevice::WriteOnly);
        QString error;
        QCOMPARE(read(broken, "docx", &error), QStringList({"<error>"}));
        QVERIFY(!error.isEmpty());
    }

    void archiveMembersAreBounded()
    {
        const QString path = dir.filePath("big.zip");
        QVERIFY(writeZip(path, {{"m", QByteArray(300000, 'x')}}));
        ZipReader zip(path);
        QVERIFY(zip.contains("m"));
        qint64 seen = 0;
        QVERIFY(!zip.read(
            "m", [&seen](const QByteArray &p) { seen += p.size(); }, 100000));
        QVERIFY(seen <= 100000 + 256 * 1024);
        QCOMPARE(zip.readAll("m", 400000).size(), 300000);
        QVERIFY(!zip.read("missing", [](const QByteArray &) {}));
    }

    void plainTextEncodings()
    {
        const QString utf8 = dir.filePath("a.txt");
        QFile f(utf8);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\xEF\xBB\xBF第一行\r\n\r\n  第二行  \n");
        f.close();
        QCOMPARE(read(utf8, "txt"), QStringList({"第一行", "第二行"}));

        const QString gb = dir.filePath("gb.md");
        QFile g(gb);
        QVERIFY(g.open(QIODevice::WriteOnly));
        g.write(QTextCodec::codecForName("GB18030")->fromUnicode("会议纪要\n上线计划\n"));
        g.close();
        QCOMPARE(read(gb, "md"), QStringList({"会议纪要", "上线计划"}));
    }

    void latinWordsAreMarkedWhole()
    {
        QVector<TextDiff::Mark> older, newer;
        const double common =
            TextDiff::markWords("the quick brown fox", "the quick red fox", &older, &newer);
        QCOMPARE(older, QVector<TextDiff::Mark>({{10, 5}}));
        QCOMPARE(newer, QVector<TextDiff::Mark>({{10, 3}}));
        QVERIFY(common > 0.5 && common < 1);
        // Unrelated paragraphs stay a removal and an addition.
        const QVector<TextDiff::Row> rows =
            TextDiff::compare({"甲", "完全不同的旧段落", "乙"}, {"甲", "another text", "乙"});
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.at(1).kind, TextDiff::Row::Removed);
        QCOMPARE(rows.at(2).kind, TextDiff::Row::Added);
    }

    void viewScrollsByRowsAndStopsAtTheEnd()
    {
        QStringList older, newer;
        for (int i = 0; i < 500; ++i)
            older << QStringLiteral("第%1段").arg(i);
        newer = older;
        newer[250] = "第250段（改）";
        newer[499] = "第499段（改）";
        CompareView view;
        view.resize(600, 300);
        view.show();
        view.setComparison(older, newer, TextDiff::compare(older, newer));
        QCOMPARE(view.changeCount(), 2);
        QVERIFY(view.verticalScrollBar()->maximum() < 499); // the last page stays full
        view.goToChange(0);
        QCOMPARE(view.topRow(), view.changeRow(0) - 1);
        view.goToChange(1);
        QCOMPARE(view.topRow(), view.verticalScrollBar()->maximum());
        QTest::keyClick(&view, Qt::Key_Home);
        QCOMPARE(view.topRow(), 0);
        QTest::keyClick(&view, Qt::Key_PageDown);
        QVERIFY(view.topRow() > 0);
    }

    void docFilesGoThroughLibreOffice()
    {
        if (LibreOffice::sofficePath().isEmpty())
            QSKIP("soffice is not installed: doc files cannot be converted here");
        const QByteArray one =
            kWordHead + "<w:p><w:r><w:t>旧的条款</w:t></w:r></w:p></w:body></w:document>";
        const QByteArray two =
            kWordHead + "<w:p><w:r><w:t>新的条款</w:t></w:r></w:p></w:body></w:document>";
        QVERIFY(writeDocx(dir.filePath("v1.docx"), one));
        QVERIFY(writeDocx(dir.filePath("v2.docx"), two));
        QString error;
        const QStringList docs = LibreOffice::convert(
            {dir.filePath("v1.docx"), dir.filePath("v2.docx")}, "doc", dir.path(), &error);
        QVERIFY2(docs.size() == 2, qPrintable(error));
        VersionComparer::Versions v{docs.at(0), docs.at(1), 1, 2, "条款.doc", "doc"};
        const CompareThread::Result result = CompareThread::run(v);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.older, QStringList({"旧的条款"}));
        QCOMPARE(result.newer, QStringList({"新的条款"}));
        QCOMPARE(result.rows.size(), 1);
        QCOMPARE(result.rows.first().kind, TextDiff::Row::Changed);
    }
};

FOLVANE_TEST_MAIN(TestCompareText)
#include "tst_comparetext.moc"
