// Checks the compiled-in resources and the translation catalogues: every
// picture the client refers to exists with the size its widget is laid out
// for, the file-type icon set is complete, the loading animation animates,
// the style sheet parses, and both catalogues load and translate the texts
// of Qt's standard dialogs.

#include "gifencoder.h"

#include <QBuffer>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QImageReader>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMovie>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>
#include <QtTest>

namespace {

struct Picture
{
    const char *path;
    int width;
    int height;
};

// Every picture the client's widgets use, at the size they are laid out for.
const Picture kPictures[] = {
    // title-bar buttons, 28 x 28 border images
    {":/images/common/del_transparent_h.png", 28, 28},
    {":/images/common/del_red_h.png", 28, 28},
    {":/images/common/minimize_transparent_h.png", 28, 28},
    {":/images/common/minimize_halftransparent_h.png", 28, 28},
    {":/images/common/maximize_transparent_h.png", 28, 28},
    {":/images/common/maximize_halftransparent_h.png", 28, 28},
    {":/images/common/normal_transparent_h.png", 28, 28},
    {":/images/common/normal_halftransparent_h.png", 28, 28},
    {":/images/common/triangle_transparent.png", 28, 28},
    {":/images/common/triangle_halftransparent.png", 28, 28},
    // check box indicators of the style sheet
    {":/images/common/checkbox_unchecked.png", 14, 14},
    {":/images/common/checkbox_checked.png", 14, 14},
    {":/images/common/checkbox_unchecked_disabled.png", 14, 14},
    {":/images/common/checkbox_checked_disabled.png", 14, 14},
    // window icon, login title area (676 x 456 dialog less its 8-pixel shadow band)
    {":/images/main/256.png", 256, 256},
    {":/images/main/login_bg2.png", 660, 190},
    // main window title bar
    {":/images/main/logo2.png", 211, 71},
    {":/images/main/userdesktop.png", 72, 86},
    {":/images/main/userdesktop_h.png", 72, 86},
    {":/images/main/netdisk.png", 72, 86},
    {":/images/main/netdisk_h.png", 72, 86},
    {":/images/main/document.png", 72, 86},
    {":/images/main/document_h.png", 72, 86},
    {":/images/main/thumb_container.png", 72, 67},
    {":/images/main/default_thumb.png", 46, 46},
    // personal desktop captions
    {":/images/main/anouncement.png", 25, 23},
    {":/images/main/todolist.png", 24, 24},
    {":/images/main/oftenfile.png", 24, 24},
    // browser top bar, breadcrumb and toolbar
    {":/images/main/home.png", 16, 16},
    {":/images/main/lock_mark.png", 16, 16},
    {":/images/main/left_arrow.png", 8, 12},
    {":/images/main/reload.png", 22, 22},
    {":/images/main/search.png", 20, 20},
    {":/images/main/search2.png", 16, 16},
    {":/images/main/transfer_list.png", 16, 16},
    {":/images/main/new_fold.png", 16, 16},
    {":/images/main/upload.png", 16, 16},
    {":/images/main/download.png", 16, 16},
    {":/images/main/share.png", 16, 16},
    {":/images/main/publish.png", 16, 16},
    {":/images/main/copy.png", 16, 16},
    {":/images/main/move.png", 16, 16},
    {":/images/main/delete.png", 16, 16},
    // folder tree and user picker
    {":/images/main/treeview_open.png", 16, 16},
    {":/images/main/treeview_open2.png", 16, 16},
    {":/images/main/treeview_close.png", 16, 16},
    {":/images/main/treeview_close2.png", 16, 16},
    {":/images/main/netdisk_icon.png", 16, 16},
    {":/images/main/share2other.png", 16, 16},
    {":/images/main/share_from_other.png", 16, 16},
    {":/images/main/group.png", 16, 16},
    {":/images/main/person.png", 16, 16},
    // transfer panel and new-version dialog
    {":/images/main/start_down_file.png", 24, 24},
    {":/images/main/stop_down_file.png", 24, 24},
    {":/images/main/open_fold.png", 24, 24},
    {":/images/main/cancel_file.png", 24, 24},
    {":/images/main/open_file.png", 24, 24},
    {":/images/main/down_file.png", 16, 16},
    {":/images/main/upload_file.png", 16, 16},
    {":/images/main/uploadify-cancel.png", 16, 16},
    // tree loading animation in its 31 x 31 label
    {":/images/main/loading.gif", 31, 31},
};

// Pictures that stand for two states of one control must look different.
const char *const kStatePairs[][2] = {
    {"common/del_transparent_h", "common/del_red_h"},
    {"common/minimize_transparent_h", "common/minimize_halftransparent_h"},
    {"common/maximize_transparent_h", "common/maximize_halftransparent_h"},
    {"common/normal_transparent_h", "common/normal_halftransparent_h"},
    {"common/maximize_transparent_h", "common/normal_transparent_h"},
    {"common/triangle_transparent", "common/triangle_halftransparent"},
    {"common/checkbox_unchecked", "common/checkbox_checked"},
    {"main/userdesktop", "main/userdesktop_h"},
    {"main/netdisk", "main/netdisk_h"},
    {"main/document", "main/document_h"},
    {"main/treeview_open", "main/treeview_close2"},
    {"main/treeview_open2", "main/treeview_close"},
    {"main/start_down_file", "main/stop_down_file"},
    {"main/down_file", "main/upload_file"},
};

// The extensions the full-text search offers as check boxes.
const QStringList kCatalogue = {"doc",  "txt", "xls", "ppt",  "pdf",  "bmp", "png", "gif", "jpg",
                                "jpeg", "psd", "cdr", "dxf",  "max",  "3dx", "wma", "mp3", "mid",
                                "wav",  "rm",  "avi", "rmvb", "mpeg", "2gp", "mkv", "zip", "rar"};

int opaquePixels(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 128)
                ++count;
    return count;
}

QString runtimeDir()
{
    return QCoreApplication::applicationDirPath();
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void pictures_data();
    void pictures();
    void picturesAreExactlyTheKnownSet();
    void statePairsDiffer();

    void loadingAnimation();
    void gifEncoderRoundTrip_data();
    void gifEncoderRoundTrip();

    void fileIconSet();
    void fileIconsDifferByFamily();

    void styleSheet();

    void translationsLoad();
    void standardDialogsTranslated();
    void widgetsCatalogueCoversStandardButtons();
};

void TestResources::initTestCase()
{
    Q_INIT_RESOURCE(folvane);
}

void TestResources::pictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const Picture &p : kPictures)
        QTest::newRow(p.path) << QString::fromLatin1(p.path) << QSize(p.width, p.height);
}

void TestResources::pictures()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QImageReader reader(path);
    QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    // A picture that renders to nothing means a broken source.
    QVERIFY2(opaquePixels(image) >= 6, qPrintable(path));
}

void TestResources::picturesAreExactlyTheKnownSet()
{
    QSet<QString> expected;
    for (const Picture &p : kPictures)
        expected.insert(QString::fromLatin1(p.path));

    QSet<QString> present;
    for (const QString &folder :
         {QStringLiteral(":/images/main"), QStringLiteral(":/images/common")}) {
        QDirIterator it(folder, QDir::Files);
        while (it.hasNext())
            present.insert(it.next());
    }
    QCOMPARE(present.subtract(expected), QSet<QString>());
}

void TestResources::statePairsDiffer()
{
    for (const auto &pair : kStatePairs) {
        const QImage a(QStringLiteral(":/images/%1.png").arg(pair[0]));
        const QImage b(QStringLiteral(":/images/%1.png").arg(pair[1]));
        QVERIFY(!a.isNull() && !b.isNull());
        QVERIFY2(a.convertToFormat(QImage::Format_ARGB32) !=
                     b.convertToFormat(QImage::Format_ARGB32),
                 pair[0]);
    }
}

void TestResources::loadingAnimation()
{
    QMovie movie(":/images/main/loading.gif");
    QVERIFY(movie.isValid());
    QVERIFY(movie.frameCount() > 1);
    QCOMPARE(movie.loopCount(), -1); // loops forever

    QSet<QByteArray> distinct;
    for (int i = 0; i < movie.frameCount(); ++i) {
        QVERIFY(movie.jumpToFrame(i));
        const QImage frame = movie.currentImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(frame.size(), QSize(31, 31));
        QVERIFY(movie.nextFrameDelay() > 0);
        // Transparent around and inside the ring, drawn on the ring.
        QCOMPARE(qAlpha(frame.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(frame.pixel(15, 15)), 0);
        QVERIFY(opaquePixels(frame) > 50);
        distinct.insert(QByteArray(reinterpret_cast<const char *>(frame.constBits()),
                                   int(frame.sizeInBytes())));
    }
    QCOMPARE(distinct.size(), movie.frameCount());
}

void TestResources::gifEncoderRoundTrip_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("colours");
    QTest::addColumn<bool>("noise");
    // Noise fills the 4096-entry code table many times over (clear codes);
    // flat areas grow long strings; small palettes use the 2-bit minimum.
    QTest::newRow("noise 256 colours") << 300 << 200 << 256 << true;
    QTest::newRow("noise 2 colours") << 257 << 31 << 2 << true;
    QTest::newRow("noise 5 colours") << 64 << 64 << 5 << true;
    QTest::newRow("flat 16 colours") << 400 << 300 << 16 << false;
    QTest::newRow("one pixel") << 1 << 1 << 2 << false;
}

void TestResources::gifEncoderRoundTrip()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, colours);
    QFETCH(bool, noise);

    QVector<QRgb> palette;
    for (int i = 0; i < colours; ++i)
        palette.append(qRgb(i * 7 % 256, 255 - i, i * 13 % 256));
    QRandomGenerator random(4242);
    QByteArray indices;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            indices.append(char(noise ? random.bounded(colours) : (x / 37 + y / 23) % colours));

    GifEncoder encoder(width, height, palette, -1);
    encoder.addFrame(indices, 10);
    QByteArray reversed = indices;
    std::reverse(reversed.begin(), reversed.end());
    encoder.addFrame(reversed, 10);
    QByteArray gif = encoder.finish();

    QBuffer buffer(&gif);
    QImageReader reader(&buffer, "gif");
    QCOMPARE(reader.imageCount(), 2);
    for (const QByteArray *expected : {&indices, &reversed}) {
        const QImage frame = reader.read().convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(!frame.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(frame.size(), QSize(width, height));
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const QRgb want = palette.at(quint8(expected->at(y * width + x)));
                if (frame.pixel(x, y) != (want | 0xff000000u))
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2 differs").arg(x).arg(y)));
            }
    }
}

void TestResources::fileIconSet()
{
    const QDir dir(":/images/fileicon_middle");
    const QStringList names = dir.entryList(QDir::Files);
    QCOMPARE(names.size(), 61);
    QVERIFY(names.contains("file.png"));
    QVERIFY(names.contains("fold.png"));
    for (const QString &ext : kCatalogue)
        QVERIFY2(names.contains(ext + ".png"), qPrintable(ext));
    for (const char *ext : {"docx", "xlsx", "pptx"})
        QVERIFY2(names.contains(QLatin1String(ext) + ".png"), ext);

    // The client builds ":/images/fileicon_middle/%1.png" from an extension
    // that matches this pattern, with its case unchanged.
    const QRegularExpression reachable("^[a-z0-9_-]{1,8}\\.png$");
    for (const QString &name : names) {
        QVERIFY2(reachable.match(name).hasMatch(), qPrintable(name));
        const QImage icon(dir.filePath(name));
        QCOMPARE(icon.size(), QSize(32, 32));
        QVERIFY2(opaquePixels(icon) > 150, qPrintable(name));
    }
}

void TestResources::fileIconsDifferByFamily()
{
    // The band colour tells the family even where the text is too small to
    // read; sample the band's left end, away from the text.
    auto band = [](const QString &ext) {
        return QImage(QStringLiteral(":/images/fileicon_middle/%1.png").arg(ext)).pixel(3, 21);
    };
    QCOMPARE(band("doc"), band("docx"));
    QCOMPARE(band("mp3"), band("wav"));
    QSet<QRgb> families;
    for (const char *ext : {"doc", "xls", "ppt", "pdf", "txt", "png", "psd", "mp3", "avi", "zip"})
        families.insert(band(ext));
    QCOMPARE(families.size(), 10);
    QVERIFY(QImage(":/images/fileicon_middle/doc.png") !=
            QImage(":/images/fileicon_middle/docx.png"));
}

namespace {
QStringList styleWarnings;
void collectStyleWarnings(QtMsgType, const QMessageLogContext &, const QString &message)
{
    styleWarnings.append(message);
}
} // namespace

void TestResources::styleSheet()
{
    QFile file(":/qss.css");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.contains("\"WenQuanYi Micro Hei\""));
    // Read in the local 8-bit encoding by the client, so it must be ASCII.
    for (char c : bytes)
        QVERIFY(quint8(c) < 0x80);

    const QString sheet = QString::fromLocal8Bit(bytes);
    const QRegularExpression url("url\\((:[^)]+)\\)");
    auto it = url.globalMatch(sheet);
    int urls = 0;
    while (it.hasNext()) {
        const QString path = it.next().captured(1);
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
        ++urls;
    }
    QVERIFY(urls > 0);

    // Qt reports a sheet it cannot parse only as a warning when it is used.
    styleWarnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(collectStyleWarnings);
    qApp->setStyleSheet(sheet);
    QLineEdit edit;
    edit.show();
    edit.ensurePolished();
    qInstallMessageHandler(previous);
    const QString family = edit.font().family();
    qApp->setStyleSheet(QString());
    QVERIFY2(!styleWarnings.join('\n').contains("parse"), qPrintable(styleWarnings.join('\n')));
    QCOMPARE(family, QStringLiteral("WenQuanYi Micro Hei"));
}

void TestResources::translationsLoad()
{
    for (const char *name : {"widgets.qm", "qt_zh_CN.qm"}) {
        QTranslator translator;
        QVERIFY2(translator.load(QString::fromLatin1(name), runtimeDir()), name);
        QVERIFY2(!translator.isEmpty(), name);
        QCOMPARE(translator.language(), QStringLiteral("zh_CN"));
    }
}

void TestResources::standardDialogsTranslated()
{
    // Installed the way the client's start-up does it: our catalogue first,
    // then Qt's, which is therefore searched first.
    QTranslator widgets;
    QTranslator qt;
    QVERIFY(widgets.load("widgets.qm", runtimeDir()));
    QVERIFY(qt.load("qt_zh_CN.qm", runtimeDir()));
    QVERIFY(QCoreApplication::installTranslator(&widgets));
    QVERIFY(QCoreApplication::installTranslator(&qt));

    {
        QMessageBox box(QMessageBox::Question, "t", "x", QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("是(&Y)"));
        QCOMPARE(box.button(QMessageBox::No)->text(), QStringLiteral("否(&N)"));
        QMessageBox ok(QMessageBox::Warning, "t", "x", QMessageBox::Ok);
        QCOMPARE(ok.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    }
    {
        QInputDialog input;
        input.setInputMode(QInputDialog::TextInput);
        input.show();
        const auto box = input.findChild<QDialogButtonBox *>();
        QVERIFY(box);
        QCOMPARE(box->button(QDialogButtonBox::Ok)->text(), QStringLiteral("确定"));
        QCOMPARE(box->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
    }
    {
        QFileDialog dialog(nullptr, "t", QDir::tempPath());
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.show();
        const auto box = dialog.findChild<QDialogButtonBox *>();
        QVERIFY(box);
        QVERIFY(box->button(QDialogButtonBox::Open));
        QCOMPARE(box->button(QDialogButtonBox::Open)->text(), QStringLiteral("打开(&O)"));
        QCOMPARE(box->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        QStringList labels;
        for (const QLabel *label : dialog.findChildren<QLabel *>())
            labels.append(label->text());
        QVERIFY2(labels.contains(QStringLiteral("查找范围：")), qPrintable(labels.join('|')));
    }

    QCoreApplication::removeTranslator(&qt);
    QCoreApplication::removeTranslator(&widgets);
}

void TestResources::widgetsCatalogueCoversStandardButtons()
{
    // widgets.qm alone must carry the standard texts, for a Qt whose own
    // catalogue lacks some of them.
    QTranslator widgets;
    QVERIFY(widgets.load("widgets.qm", runtimeDir()));
    const struct
    {
        const char *context;
        const char *source;
        const char *expected;
    } cases[] = {
        {"QPlatformTheme", "OK", "确定"},
        {"QPlatformTheme", "Cancel", "取消"},
        {"QPlatformTheme", "&Yes", "是(&Y)"},
        {"QPlatformTheme", "&No", "否(&N)"},
        {"QPlatformTheme", "Save", "保存"},
        {"QPlatformTheme", "Close", "关闭"},
        {"QDialogButtonBox", "OK", "确定"},
        {"QFileDialog", "&Open", "打开(&O)"},
        {"QFileDialog", "&Choose", "选择(&C)"},
        {"QFileDialog", "Look in:", "查找范围："},
        {"QFileDialog", "%1 already exists.\nDo you want to replace it?",
         "%1 已存在。\n要替换它吗？"},
        {"QFileSystemModel", "Size", "大小"},
        {"QInputDialog", "Enter a value:", "请输入："},
        {"QLineEdit", "&Paste", "粘贴(&P)"},
    };
    for (const auto &c : cases)
        QCOMPARE(widgets.translate(c.context, c.source), QString::fromUtf8(c.expected));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
