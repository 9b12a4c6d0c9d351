// The main window: its panels and buttons, the transfer panel switch, the
// user's picture (cached, downloaded, refused when tiny, broken or huge) and
// the window's place on the screen.
#include "app/mainwidget.h"
#include "browse/companydocument.h"
#include "browse/droptablewidget.h"
#include "browse/netdisk.h"
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "desk/userdesktop.h"
#include "scriptedhttpserver.h"
#include "serverprocess.h"
#include "transfer/transferpanel.h"
#include "widgets/tpushbutton.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

#include "testmain.h"

namespace {

// The transfer panel as the widget it is; GCore knows it as a transfer queue.
TransferPanel *transferWidget()
{
    return static_cast<TransferPanel *>(GCore::instance()->transferPanel());
}

QByteArray pngBytes(int width, int height, const QColor &color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A valid PNG whose header claims a picture of `side` x `side` pixels.
QByteArray hugePngHeader(quint32 side)
{
    QByteArray bytes = pngBytes(16, 16, Qt::green);
    QByteArray ihdr = bytes.mid(12, 17); // "IHDR" + 13 bytes of data
    for (int i = 0; i < 4; ++i) {
        ihdr[4 + i] = char((side >> (24 - 8 * i)) & 0xff);
        ihdr[8 + i] = char((side >> (24 - 8 * i)) & 0xff);
    }
    const quint32 crc = crc32(ihdr);
    bytes.replace(12, 17, ihdr);
    for (int i = 0; i < 4; ++i)
        bytes[29 + i] = char((crc >> (24 - 8 * i)) & 0xff);
    return bytes;
}

QColor cachedColor(const QString &path)
{
    return QImage(path).pixelColor(20, 20);
}

TPushButton *button(MainWidget &w, const char *name)
{
    return w.findChild<TPushButton *>(QString::fromLatin1(name));
}

void setUser(const QString &username, const QString &thumb)
{
    GCore::instance()->setUserInfo(
        {{"username", username}, {"nickname", QStringLiteral("张三")}, {"thumb", thumb}});
}

// The picture requests among everything the server received (the browsers
// list their folders as well).
QList<QByteArray> thumbRequests(const ScriptedHttpServer &server)
{
    QList<QByteArray> found;
    for (const QByteArray &request : server.requests()) {
        if (request.contains("/api/user/user-thumb.jf"))
            found.append(request);
    }
    return found;
}

void configure(quint16 port)
{
    GCore::instance()->writeSettings({{"host", "127.0.0.1"}, {"port", QString::number(port)}});
}

} // namespace

class TestMainWidget : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void buildsPanelsInOrderAndRegistersThem();
    void panelButtonsSwitchPanels();
    void transferPanelUnchecksEveryButton();
    void showsNicknameAndCentres();
    void downloadsAndCachesThePicture();
    void cachedPictureShownFirstAndKeptOnBadDownloads_data();
    void cachedPictureShownFirstAndKeptOnBadDownloads();
    void pictureFromTheRealServer();
    void libraryColumnsFitAndNicknameKeepsTheWidth();
    void closingEndsTheProgram();
};

void TestMainWidget::init()
{
    QFile::remove(GCore::settingsFilePath());
    GCore::instance()->setUserInfo({});
    QDir(GCore::dataDir()).removeRecursively();
}

void TestMainWidget::buildsPanelsInOrderAndRegistersThem()
{
    setUser("zhangsan", QString());
    MainWidget window;
    GCore *core = GCore::instance();
    QCOMPARE(core->mainWidget(), static_cast<MainFrame *>(&window));
    QVERIFY(core->userDesktop());
    QVERIFY(core->companyDocument());
    QVERIFY(core->transferPanel());
    QVERIFY(core->netDisk());
    QCOMPARE(window.size(), QSize(800, 600));

    QWidget *container = window.findChild<QWidget *>("mainWidgetContainter");
    QVERIFY(container);
    QLayout *layout = container->layout();
    QCOMPARE(layout->count(), 4);
    QCOMPARE(layout->itemAt(0)->widget(), static_cast<QWidget *>(core->userDesktop()));
    QCOMPARE(layout->itemAt(1)->widget(), static_cast<QWidget *>(core->companyDocument()));
    QCOMPARE(layout->itemAt(2)->widget(), static_cast<QWidget *>(transferWidget()));
    QCOMPARE(layout->itemAt(3)->widget(), static_cast<QWidget *>(core->netDisk()));
    QCOMPARE(layout->contentsMargins(), QMargins());

    // The title bar carries the logo and the panel buttons with their captions.
    QVERIFY(window.findChild<QLabel *>("logoLabel"));
    QCOMPARE(button(window, "userdesktop")->drawnText(), QStringLiteral("个人桌面"));
    QCOMPARE(button(window, "netdisk")->drawnText(), QStringLiteral("个人网盘"));
    QCOMPARE(button(window, "companydocument")->drawnText(), QStringLiteral("公司文档"));
    QVERIFY(button(window, "companydocument")->styleSheet().contains("document_h.png"));
    QVERIFY(button(window, "maximizeButton"));
    QVERIFY(button(window, "minimizeButton"));
}

void TestMainWidget::panelButtonsSwitchPanels()
{
    setUser("zhangsan", QString());
    MainWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    GCore *core = GCore::instance();
    TPushButton *desktop = button(window, "userdesktop");
    TPushButton *netdisk = button(window, "netdisk");
    TPushButton *document = button(window, "companydocument");

    auto visible = [core]() {
        return QList<bool>{core->userDesktop()->isVisible(), core->companyDocument()->isVisible(),
                           transferWidget()->isVisible(), core->netDisk()->isVisible()};
    };
    auto checked = [=]() {
        return QList<bool>{desktop->isChecked(), netdisk->isChecked(), document->isChecked()};
    };
    QCOMPARE(visible(), (QList<bool>{true, false, false, false}));
    QCOMPARE(checked(), (QList<bool>{true, false, false}));

    QTest::mouseClick(document, Qt::LeftButton);
    QCOMPARE(visible(), (QList<bool>{false, true, false, false}));
    QCOMPARE(checked(), (QList<bool>{false, false, true}));

    QTest::mouseClick(netdisk, Qt::LeftButton);
    QCOMPARE(visible(), (QList<bool>{false, false, false, true}));
    QCOMPARE(checked(), (QList<bool>{false, true, false}));

    // Clicking the checked button again keeps it checked.
    QTest::mouseClick(netdisk, Qt::LeftButton);
    QCOMPARE(checked(), (QList<bool>{false, true, false}));

    QTest::mouseClick(desktop, Qt::LeftButton);
    QCOMPARE(visible(), (QList<bool>{true, false, false, false}));
    QCOMPARE(checked(), (QList<bool>{true, false, false}));

    window.showPanelByName("companydocument");
    QCOMPARE(visible(), (QList<bool>{false, true, false, false}));
    window.showPanelByName("nothing");
    QCOMPARE(visible(), (QList<bool>{false, false, false, false}));
    QCOMPARE(checked(), (QList<bool>{false, false, false}));
}

void TestMainWidget::transferPanelUnchecksEveryButton()
{
    setUser("zhangsan", QString());
    MainWidget window;
    window.show();
    GCore *core = GCore::instance();
    window.showPanelByName("netdisk");
    // What a browser does when the user starts a download.
    core->showDownloadTransfer("download", {{"fileId", "7"}, {"fileName", "a.txt"}}, 0);
    QVERIFY(transferWidget()->isVisible());
    QVERIFY(!core->netDisk()->isVisible());
    QVERIFY(!core->userDesktop()->isVisible());
    QVERIFY(!core->companyDocument()->isVisible());
    for (const char *name : {"userdesktop", "netdisk", "companydocument"})
        QVERIFY(!button(window, name)->isChecked());

    window.showPanelByName("userdesktop");
    core->showUploadTransfer("/tmp/x.txt", "0", 1, QString());
    QVERIFY(transferWidget()->isVisible());
    QVERIFY(!button(window, "userdesktop")->isChecked());
}

void TestMainWidget::showsNicknameAndCentres()
{
    setUser("zhangsan", QString());
    MainWidget window;
    window.show();
    QCOMPARE(window.findChild<QLabel *>("nicknameLabel")->text(), QStringLiteral("张三"));
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint centre(available.x() + (available.width() - window.width()) / 2,
                        available.y() + (available.height() - window.height()) / 2);
    QTRY_COMPARE(window.pos(), centre);
    QVERIFY(button(window, "avatarButton")->styleSheet().contains("default_thumb.png"));
}

void TestMainWidget::downloadsAndCachesThePicture()
{
    ScriptedHttpServer server;
    const QByteArray picture = pngBytes(120, 80, Qt::red);
    configure(server.start([picture](const QByteArray &) {
        ScriptedHttpServer::Reply reply;
        reply.bytes = ScriptedHttpServer::okReply(picture, "image/png");
        return reply;
    }));
    setUser("zhangsan", "/api/user/user-thumb.jf?userId=2");

    MainWidget window;
    const QString cache = window.avatarCachePath();
    QCOMPARE(cache, GCore::dataDir() + "/zhangsan.png");
    TPushButton *avatar = button(window, "avatarButton");
    QTRY_VERIFY(avatar->styleSheet().contains(cache));
    QCOMPARE(thumbRequests(server).size(), 1);
    // The picture is asked for at the size the button shows.
    QVERIFY(
        thumbRequests(server).first().startsWith("GET /api/user/user-thumb.jf?userId=2&size=46 "));
    const QImage cached(cache);
    QCOMPARE(cached.size(), QSize(46, 46));
    QCOMPARE(cachedColor(cache), QColor(Qt::red));
}

void TestMainWidget::cachedPictureShownFirstAndKeptOnBadDownloads_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("9 pixels wide") << pngBytes(9, 40, Qt::blue);
    QTest::newRow("not a picture") << QByteArray("{\"code\":1,\"msg\":\"无此用户\"}");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("huge header") << hugePngHeader(100000);
    QTest::newRow("truncated") << pngBytes(64, 64, Qt::blue).left(60);
}

void TestMainWidget::cachedPictureShownFirstAndKeptOnBadDownloads()
{
    QFETCH(QByteArray, reply);
    if (QByteArray(QTest::currentDataTag()) == "huge header") {
        // The header really claims the size; only the client's limit stops it.
        QBuffer buffer(&reply);
        buffer.open(QIODevice::ReadOnly);
        QCOMPARE(QImageReader(&buffer).size(), QSize(100000, 100000));
    }
    setUser("lisi", "/api/user/user-thumb.jf?userId=3");
    {
        // An earlier start left a picture in the cache.
        MainWidget first;
        first.receiveThumb(pngBytes(50, 50, Qt::red));
        QTRY_VERIFY(QFileInfo::exists(first.avatarCachePath()));
    }

    ScriptedHttpServer server;
    configure(server.start([reply](const QByteArray &) {
        ScriptedHttpServer::Reply r;
        r.bytes = ScriptedHttpServer::okReply(reply, "image/png");
        return r;
    }));
    MainWidget window;
    const QString cache = window.avatarCachePath();
    TPushButton *avatar = button(window, "avatarButton");
    // Shown before the download has had a chance to finish.
    QVERIFY(avatar->styleSheet().contains(cache));
    QTRY_COMPARE(thumbRequests(server).size(), 1);
    QTest::qWait(200);
    QCOMPARE(cachedColor(cache), QColor(Qt::red));
    QCOMPARE(QImage(cache).size(), QSize(46, 46));

    // The same through the slot directly, once the download is certainly over.
    window.receiveThumb(reply);
    QTest::qWait(50);
    QCOMPARE(cachedColor(cache), QColor(Qt::red));
    QVERIFY(avatar->styleSheet().contains(cache));

    // One pixel wider is accepted.
    window.receiveThumb(pngBytes(10, 40, Qt::blue));
    QCOMPARE(cachedColor(cache), QColor(Qt::blue));
}

void TestMainWidget::pictureFromTheRealServer()
{
    ServerProcess server;
    QVERIFY2(server.start(), qPrintable(server.error()));
    server.configureClient();
    const QString token = server.login("zhangsan", "123456");
    QVERIFY(!token.isEmpty());
    const QVariantMap reply = HttpCurl::instance()
                                  ->postJson(server.url() + "/api/user/login.jf",
                                             {{"username", "zhangsan"}, {"password", "123456"}})
                                  .toMap();
    const QVariantMap user = reply.value("data").toMap();
    QVERIFY(!user.value("thumb").toString().isEmpty());
    GCore::instance()->setUserInfo(user);

    MainWidget window;
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(window.avatarCachePath()), 10000);
    const QImage picture(window.avatarCachePath());
    QCOMPARE(picture.size(), QSize(46, 46));
    // The generated initial is drawn smooth: its edges blend the two colours
    // in many steps (pixel art has just the two).
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            colours.insert(picture.pixel(x, y));
    QVERIFY2(colours.size() > 10, qPrintable(QString::number(colours.size())));
    QTRY_VERIFY(button(window, "avatarButton")->styleSheet().contains(window.avatarCachePath()));
}

void TestMainWidget::libraryColumnsFitAndNicknameKeepsTheWidth()
{
    setUser("zhangsan", QString());
    int width = 0;
    {
        MainWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        width = window.width();
        button(window, "companydocument")->click();
        CompanyDocument *library = GCore::instance()->companyDocument();
        library->fillTable({QVariantMap{{"fileId", "1"},
                                        {"fileName", "年度工作总结与下一年度计划.docx"},
                                        {"fileType", 2},
                                        {"fileExtend", "docx"},
                                        {"fileLength", "12&nbsp;KB"}}});
        QTableWidget *table = library->table;
        QHeaderView *header = table->horizontalHeader();
        // Every column fits; the name column takes the room the others leave.
        QTRY_VERIFY(!table->horizontalScrollBar()->isVisible());
        QVERIFY(header->sectionViewportPosition(5) + header->sectionSize(5) <=
                table->viewport()->width());
        QCOMPARE(header->sectionViewportPosition(5) + header->sectionSize(5), header->length());
        QVERIFY(header->sectionSize(0) > 100);
    }

    // A long nickname is cut short; the whole name is in its tool tip.
    const QString longName(40, QChar(0x5f20));
    GCore::instance()->setUserInfo({{"username", "zhangsan"}, {"nickname", longName}});
    MainWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.width(), width);
    auto *nickname = window.findChild<QLabel *>("nicknameLabel");
    QVERIFY(nickname->text().size() < longName.size());
    QVERIFY(nickname->toolTip().contains(longName));
}

void TestMainWidget::closingEndsTheProgram()
{
    setUser("zhangsan", QString());
    MainWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The program's event loop ends when the window's close button is clicked;
    // the guard ends it with 1 if that never happens.
    QTimer::singleShot(50, &window, [&window]() {
        QTest::mouseClick(button(window, "closeButton"), Qt::LeftButton);
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, qApp, []() { QCoreApplication::exit(1); });
    guard.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window.isVisible());
}

FOLVANE_TEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
