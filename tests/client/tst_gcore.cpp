// The process-wide context and the transport's pure helpers.
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "testmain.h"

#include <QTemporaryDir>

namespace {

void touch(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QVariantMap entry(const QString &id, const QString &name)
{
    return {{"fileId", id}, {"fileName", name}};
}

QStringList idsOf(const QVariantList &list)
{
    QStringList ids;
    for (const QVariant &v : list)
        ids << v.toMap().value("fileId").toString() + ":" + v.toMap().value("fileName").toString();
    return ids;
}

} // namespace

class TestGCore : public QObject
{
    Q_OBJECT
private slots:
    void formatSize_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "0B";
        QTest::newRow("negative") << qint64(-5) << "-5B";
        QTest::newRow("1023") << qint64(1023) << "1023B";
        QTest::newRow("1024") << qint64(1024) << "1KB";
        QTest::newRow("1536") << qint64(1536) << "1.5KB";
        QTest::newRow("rounded down") << qint64(1029) << "1KB";  // 100.49 hundredths
        QTest::newRow("rounded up") << qint64(1034) << "1.01KB"; // 100.98 hundredths
        QTest::newRow("just past half")
            << qint64(1048576 + 5243) << "1.01MB"; // 100.50001 hundredths
        QTest::newRow("1048575") << qint64(1048575) << "1024KB";
        QTest::newRow("2MB") << qint64(2 * 1048576) << "2MB";
        QTest::newRow("1GB") << qint64(1073741824) << "1GB";
        QTest::newRow("3.14GB") << qint64(3.14 * 1073741824.0) << "3.14GB";
        QTest::newRow("5TB as GB") << qint64(5LL << 40) << "5120GB";
    }
    void formatSize()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(HttpCurl::formatSize(bytes), text);
    }

    void authCodeRoundTripAndTamper()
    {
        const QByteArray secret = "p@ss word&=中";
        const QByteArray a = HttpCurl::authCode(secret, "ENCODE");
        QVERIFY(!a.contains('='));
        QCOMPARE(HttpCurl::authCode(a, "DECODE"), secret);
        QCOMPARE(HttpCurl::authCode(HttpCurl::authCode("", "ENCODE"), "DECODE"), QByteArray());
        // Another key cannot read it back.
        QVERIFY(HttpCurl::authCode(a, "DECODE", "otherkey").isEmpty());
        // Altering a covered character breaks the check.
        // Only the check digits and the data are covered: the 10-digit stamp in
        // front is not (it starts at character 4), and the last character may
        // carry only padding bits.
        for (int i : {4 + 14, 4 + 24, a.size() - 2}) {
            QByteArray tampered = a;
            tampered[i] = tampered[i] == 'A' ? 'B' : 'A';
            QVERIFY2(HttpCurl::authCode(tampered, "DECODE").isEmpty(),
                     qPrintable(QString::number(i)));
        }
        QVERIFY(HttpCurl::authCode("garbage", "DECODE").isEmpty());
        QVERIFY(HttpCurl::authCode("", "DECODE").isEmpty());
        // Expiry in the future still decodes.
        QCOMPARE(HttpCurl::authCode(HttpCurl::authCode(secret, "ENCODE", "k", 3600), "DECODE", "k"),
                 secret);
    }

    void md5()
    {
        QCOMPARE(HttpCurl::md5Hex("abc"), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
        QTemporaryDir dir;
        touch(dir.filePath("f"), "abc");
        QCOMPARE(HttpCurl::md5HexOfFile(dir.filePath("f")),
                 QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
        QVERIFY(HttpCurl::md5HexOfFile(dir.filePath("missing")).isEmpty());
    }

    void scanFolder()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("up");
        touch(root + "/b.txt");
        touch(root + "/A.txt");
        touch(root + "/.hidden");
        touch(root + "/sub/c.txt");
        QDir().mkpath(root + "/.hiddendir");
        touch(root + "/.hiddendir/d.txt");
        QDir().mkpath(root + "/empty");

        QStringList dirs;
        QList<QStringList> files;
        QCOMPARE(HttpCurl::scanFolder(dir.filePath("missing"), 100, dirs, files), -1);
        QVERIFY(dirs.isEmpty() && files.isEmpty());

        QCOMPARE(HttpCurl::scanFolder(root, 100, dirs, files), 0);
        QCOMPARE(dirs, (QStringList{root, root + "/empty", root + "/sub"}));
        QCOMPARE(files, (QList<QStringList>{{root + "/A.txt", root},
                                            {root + "/b.txt", root},
                                            {root + "/sub/c.txt", root + "/sub"}}));
        dirs.clear();
        files.clear();
        QCOMPARE(HttpCurl::scanFolder(root, 0, dirs, files), -2);
        dirs.clear();
        files.clear();
        QCOMPARE(HttpCurl::scanFolder(root, 6, dirs, files), 0);
        dirs.clear();
        files.clear();
        QCOMPARE(HttpCurl::scanFolder(root, 5, dirs, files), -2);
    }

    void scanFolderDoesNotFollowLinkLoops()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("loop");
        touch(root + "/a.txt");
        QVERIFY(QFile::link(root, root + "/again"));
        QStringList dirs;
        QList<QStringList> files;
        QCOMPARE(HttpCurl::scanFolder(root, 1000, dirs, files), 0);
        QCOMPARE(dirs, QStringList{root});
        QCOMPARE(files.size(), 1);
    }

    void uniqueFilePath()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath("a.tar.gz");
        QCOMPARE(GCore::uniqueFilePath(a), a);
        touch(a);
        touch(dir.filePath("a.tar(2).gz"));
        QCOMPARE(GCore::uniqueFilePath(a), dir.filePath("a.tar(3).gz"));
        const QString plain = dir.filePath("README");
        touch(plain);
        QCOMPARE(GCore::uniqueFilePath(plain), dir.filePath("README(2)"));
        const QString dotted = dir.filePath("v1.0/notes");
        touch(dotted);
        QCOMPARE(GCore::uniqueFilePath(dotted), dir.filePath("v1.0/notes(2)"));
        const QString hidden = dir.filePath(".profile");
        touch(hidden);
        QCOMPARE(GCore::uniqueFilePath(hidden), dir.filePath(".profile(2)"));
    }

    void fileIconPath_data()
    {
        QTest::addColumn<QVariantMap>("item");
        QTest::addColumn<QString>("icon");
        const QString base = ":/images/fileicon_middle/";
        QTest::newRow("folder wins over fileExt")
            << QVariantMap{{"fileType", 1}, {"fileExt", "doc"}} << base + "fold.png";
        QTest::newRow("fileExtend trimmed")
            << QVariantMap{{"fileType", 2}, {"fileExtend", " pdf "}} << base + "pdf.png";
        QTest::newRow("fileExt") << QVariantMap{{"fileExt", "zip"}} << base + "zip.png";
        QTest::newRow("unknown extension")
            << QVariantMap{{"fileExtend", "qqq"}} << base + "file.png";
        QTest::newRow("suffix from name") << QVariantMap{{"fileName", "a.xls"}} << base + "xls.png";
        QTest::newRow("upper-case suffix, no such icon")
            << QVariantMap{{"fileName", "a.DOCX"}} << base + "file.png";
        QTest::newRow("no dot") << QVariantMap{{"fileName", "Makefile"}} << base + "fold.png";
        QTest::newRow("suffix with space")
            << QVariantMap{{"fileName", "a.b c"}} << base + "fold.png";
        QTest::newRow("long suffix")
            << QVariantMap{{"fileName", "a.abcdefghi"}} << base + "fold.png";
        QTest::newRow("path tricks stay in the set")
            << QVariantMap{{"fileExtend", "../../qss"}} << base + "file.png";
    }
    void fileIconPath()
    {
        QFETCH(QVariantMap, item);
        QFETCH(QString, icon);
        QCOMPARE(GCore::fileIconPath(item), icon);
    }

    void localFileIconPath()
    {
        QCOMPARE(GCore::localFileIconPath("/x/y/report.pdf"),
                 QStringLiteral(":/images/fileicon_middle/pdf.png"));
        QCOMPARE(GCore::localFileIconPath("/x/y/noext"),
                 QStringLiteral(":/images/fileicon_middle/file.png"));
        QCOMPARE(GCore::localFileIconPath("/x/y/a.zzzz"),
                 QStringLiteral(":/images/fileicon_middle/file.png"));
    }

    void settingsKeepUnknownKeysAndStayPrivate()
    {
        GCore *core = GCore::instance();
        QVERIFY(GCore::dataDir().startsWith(qEnvironmentVariable("HOME")));
        QVERIFY(GCore::dataDir().endsWith("/folvane/data"));
        QVERIFY(GCore::cacheDir().endsWith("/folvane/data/cache"));
        QVERIFY(QFileInfo(GCore::cacheDir()).isDir());
        QVERIFY(core->writeSettings({{"host", "example.test"}, {"custom", "kept"}}));
        QCOMPARE(core->serverUrl(), QString()); // no port yet
        QVariantMap s = core->readSettings();
        s.insert("port", "8080");
        QVERIFY(core->writeSettings(s));
        QCOMPARE(core->serverUrl(), QStringLiteral("http://example.test:8080"));
        QCOMPARE(core->readSettings().value("custom").toString(), QStringLiteral("kept"));
        QCOMPARE(QFile::permissions(GCore::settingsFilePath()) &
                     (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                      QFileDevice::WriteOther),
                 QFileDevice::Permissions());
        QCOMPARE(QFile::permissions(GCore::dataDir()) &
                     (QFileDevice::ReadOther | QFileDevice::ExeOther),
                 QFileDevice::Permissions());
    }

    void badSettingsFilesReadAsEmpty_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe garbage \x01", 14);
        QTest::newRow("array") << QByteArray("[{\"host\":\"h\"}]");
        QTest::newRow("truncated") << QByteArray("{\"host\":\"h\",");
        QTest::newRow("empty") << QByteArray();
    }
    void badSettingsFilesReadAsEmpty()
    {
        QFETCH(QByteArray, content);
        touch(GCore::settingsFilePath(), content);
        QVERIFY(GCore::instance()->readSettings().isEmpty());
        QCOMPARE(GCore::instance()->serverUrl(), QString());
        QFile::remove(GCore::settingsFilePath());
        QVERIFY(GCore::instance()->readSettings().isEmpty());
    }

    void localMacAndIpWithoutServer()
    {
        GCore::instance()->writeSettings({{"host", "127.0.0.1"}});
        QCOMPARE(GCore::instance()->localMacAndIp(), (QPair<QString, QString>()));
    }

    void mergeReplacesInPlaceRemovesAndAppends()
    {
        GCore *core = GCore::instance();
        core->mergeCompanyRootList(
            {{"code", 0},
             {"data", QVariantList{entry("a", "A"), entry("b", "B"), entry("c", "C")}}},
            false);
        QCOMPARE(idsOf(core->companyRootCache().value("data").toList()),
                 (QStringList{"a:A", "b:B", "c:C"}));
        const quint64 first = core->companyRootCache().value("updateTime").toULongLong();
        QVERIFY(first > 1600000000);

        core->mergeCompanyRootList(
            {{"data", QVariantList{entry("z", "Z"), entry("b", "B2"), entry("c", "C2"),
                                   entry("d", "D"), entry("z", "Z2")}},
             {"removes", QVariantList{QVariantMap{{"fileId", "a"}}, QVariantMap{{"fileId", "c"}}}}},
            true);
        // b replaced in place; c removed and re-added at the end; new keys in key order;
        // the later duplicate of z wins.
        QCOMPARE(idsOf(core->companyRootCache().value("data").toList()),
                 (QStringList{"b:B2", "c:C2", "d:D", "z:Z2"}));
        QVERIFY(core->companyRootCache().value("updateTime").toULongLong() >= first);
        QCOMPARE(core->companyRootCache().value("code").toInt(), 0);
    }

    void safeFileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("safe");
        QTest::newRow("plain") << "报告.docx"
                               << "报告.docx";
        QTest::newRow("parent") << "../x"
                                << ".._x";
        QTest::newRow("dotdot") << ".."
                                << "file";
        QTest::newRow("dot") << "."
                             << "file";
        QTest::newRow("slash") << "a/b"
                               << "a_b";
        QTest::newRow("backslash drive") << "C:\\x"
                                         << "C__x";
        QTest::newRow("empty") << ""
                               << "file";
        QTest::newRow("control") << QString("a\x01\nb.txt") << "ab.txt";
        QTest::newRow("trailing dots") << "name. . "
                                       << "name";
        QTest::newRow("device") << "NUL.txt"
                                << "_NUL.txt";
    }
    void safeFileNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, safe);
        QCOMPARE(safeFileName(name), safe);
    }

    void safeFileNameKeepsLongNamesBounded()
    {
        const QString longName = QString(300, QChar('a')) + ".pdf";
        const QString safe = safeFileName(longName);
        QCOMPARE(safe.size(), 200);
        QVERIFY(safe.endsWith(".pdf"));
        // The cut ends neither in a blank nor between the halves of a character.
        QCOMPARE(safeFileName(QString(195, QChar('a')) + "     b" + QString(60, QChar('c'))),
                 QString(195, QChar('a')));
        const QString emoji = QString::fromUtf8("\xf0\x9f\x98\x80");
        const QString cut = safeFileName(QString(199, QChar('a')) + emoji + "tail");
        QCOMPARE(cut, QString(199, QChar('a')));
    }
};

FOLVANE_TEST_MAIN(TestGCore)
#include "tst_gcore.moc"
