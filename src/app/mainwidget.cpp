#include "app/mainwidget.h"

#include "browse/companydocument.h"
#include "browse/netdisk.h"
#include "core/avatarimage.h"
#include "core/downloadthread.h"
#include "core/gcore.h"
#include "desk/userdesktop.h"
#include "transfer/transferpanel.h"
#include "widgets/tpushbutton.h"
#include "widgets/tradiuswidget.h"

#include <QApplication>
#include <QBuffer>
#include <QDebug>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QSaveFile>
#include <QScreen>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace {

const int avatarSize = 46;
const int nicknameWidth = 80; // six characters

} // namespace

MainWidget::MainWidget(const QColor &titleColor, QWidget *parent)
    : FramelessWidget(parent, titleColor, false)
{
    GCore::instance()->setMainWidget(this);
    buildTitleBar();

    const QString cached = avatarCachePath();
    setAvatar(QFileInfo::exists(cached) ? cached
                                        : QStringLiteral(":/images/main/default_thumb.png"));

    auto *container = new QWidget(contentWidget);
    container->setObjectName(QStringLiteral("mainWidgetContainter"));
    container->setStyleSheet(QStringLiteral("QWidget#mainWidgetContainter {background:#fff;}"));
    container->setAttribute(Qt::WA_StyledBackground);
    addContentWidget(container);
    auto *panels = new QVBoxLayout(container);
    panels->setContentsMargins(0, 0, 0, 0);
    panels->setSpacing(0);
    // The desktop comes first: the library browser connects to its signals.
    userDesktopPanel = new UserDesktop(container);
    companyDocumentPanel = new CompanyDocument(container);
    transferPanelWidget = new TransferPanel(container);
    netDiskPanel = new NetDisk(container);
    panels->addWidget(userDesktopPanel);
    panels->addWidget(companyDocumentPanel);
    panels->addWidget(transferPanelWidget);
    panels->addWidget(netDiskPanel);
    companyDocumentPanel->hide();
    transferPanelWidget->hide();
    netDiskPanel->hide();

    GCore *core = GCore::instance();
    const QString thumb = core->userInfo().value(QStringLiteral("thumb")).toString();
    const QString base = core->serverUrl();
    if (!thumb.isEmpty() && !base.isEmpty()) {
        // A server that draws the picture draws it at the size asked for, so
        // it is sharp: the size shown, in the screen's pixels.
        QUrl url(base + thumb);
        QUrlQuery query(url);
        query.addQueryItem(QStringLiteral("size"), QString::number(avatarPixels()));
        url.setQuery(query);
        auto *worker = new DownloadThread(url.toString(QUrl::FullyEncoded), nullptr);
        connect(worker, &QThread::finished, worker, &QObject::deleteLater);
        connect(worker, &DownloadThread::downloadFinished, this, &MainWidget::receiveThumb);
        worker->start();
    }

    QTimer::singleShot(0, this, [this]() {
        const QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect available = screen->availableGeometry();
        move(available.x() + (available.width() - width()) / 2,
             available.y() + (available.height() - height()) / 2);
    });
}

void MainWidget::buildTitleBar()
{
    titleBar->setFixedHeight(100);
    // The main window has no title text; its title bar carries the logo instead.
    titleLabel->hide();
    auto *layout = new QHBoxLayout(titleBar);
    layout->setContentsMargins(60, 0, 0, 0);
    layout->setSpacing(44);

    auto *logo = new QLabel(titleBar);
    logo->setObjectName(QStringLiteral("logoLabel"));
    logo->setFixedSize(231, 71);
    logo->setPixmap(QPixmap(QStringLiteral(":/images/main/logo2.png")));
    logo->setStyleSheet(QStringLiteral("margin-right:20px;"));
    layout->addWidget(logo, 1);

    desktopButton = addPanelButton(QStringLiteral("个人桌面"), QStringLiteral("userdesktop"),
                                   QStringLiteral("userdesktop"));
    netDiskButton = addPanelButton(QStringLiteral("个人网盘"), QStringLiteral("netdisk"),
                                   QStringLiteral("netdisk"));
    documentButton = addPanelButton(QStringLiteral("公司文档"), QStringLiteral("companydocument"),
                                    QStringLiteral("document"));
    for (TPushButton *button : {desktopButton, netDiskButton, documentButton})
        layout->addWidget(button);
    desktopButton->setChecked(true);

    auto *user = new QHBoxLayout;
    user->setContentsMargins(0, 0, 0, 0);
    user->setSpacing(16);
    user->addStretch();
    auto *frame = new QWidget(titleBar);
    frame->setFixedSize(72, 67);
    frame->setStyleSheet(
        QStringLiteral(".QWidget {border-image:url(:/images/main/thumb_container.png)}"));
    auto *frameLayout = new QHBoxLayout(frame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    avatarButton = new TPushButton(frame);
    avatarButton->setObjectName(QStringLiteral("avatarButton"));
    avatarButton->setFixedSize(avatarSize, avatarSize);
    frameLayout->addWidget(avatarButton, 0, Qt::AlignCenter);
    user->addWidget(frame);
    // The nickname has a width of its own: a long one is cut short (whole in
    // its tool tip) rather than widening the window.
    const QString name = GCore::instance()->userInfo().value(QStringLiteral("nickname")).toString();
    auto *nickname = new QLabel(titleBar);
    nickname->setObjectName(QStringLiteral("nicknameLabel"));
    nickname->setStyleSheet(QStringLiteral(".QLabel {color:#fff;font-size:10pt;}"));
    nickname->setTextFormat(Qt::PlainText);
    nickname->setFixedWidth(nicknameWidth);
    QFont nicknameFont = nickname->font();
    nicknameFont.setPointSize(10);
    nickname->setText(QFontMetrics(nicknameFont).elidedText(name, Qt::ElideRight, nicknameWidth));
    nickname->setToolTip(plainToolTip(name));
    user->addWidget(nickname);
    layout->addLayout(user);

    auto *windowColumn = new QWidget(titleBar);
    windowColumn->setFixedWidth(85);
    auto *column = new QVBoxLayout(windowColumn);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addStretch();
    auto windowButton = [windowColumn, row](const char *name) {
        auto *button = new TPushButton(windowColumn);
        button->setObjectName(QString::fromLatin1(name));
        button->setFixedSize(28, 28);
        row->addWidget(button);
        return button;
    };
    minimizeButton = windowButton("minimizeButton");
    minimizeButton->setStyleSheet(
        TPushButton::titleButtonStyle(QStringLiteral("minimize_transparent_h.png"),
                                      QStringLiteral("minimize_halftransparent_h.png")));
    maximizeButton = windowButton("maximizeButton");
    updateMaximizeButtonStyle();
    closeButton = windowButton("closeButton");
    closeButton->setStyleSheet(TPushButton::titleButtonStyle(
        QStringLiteral("del_transparent_h.png"), QStringLiteral("del_red_h.png")));
    column->addLayout(row);
    column->addStretch();
    layout->addWidget(windowColumn);

    connect(closeButton, &QPushButton::clicked, this, &MainWidget::closeApp);
    connect(minimizeButton, &QPushButton::clicked, this, &MainWidget::minimizeApp);
    connect(maximizeButton, &QPushButton::clicked, this, &MainWidget::reSizeApp);
}

TPushButton *MainWidget::addPanelButton(const QString &text, const QString &name,
                                        const QString &image)
{
    auto *button = new TPushButton(titleBar);
    button->setObjectName(name);
    button->setCheckable(true);
    button->setFixedSize(72, 86);
    button->setShowText(true);
    button->setText(text);
    button->setStyleSheet(
        QStringLiteral("QPushButton {;border-width:0px;border-image:url(:/images/main/%1.png);"
                       "margin-top:0px;color:#fff;font-size:9pt;}"
                       "QPushButton:hover {border-image:url(:/images/main/%1_h.png);}"
                       "QPushButton:checked {border-image:url(:/images/main/%1_h.png);}")
            .arg(image));
    connect(button, &QPushButton::clicked, this, &MainWidget::showPanel);
    return button;
}

void MainWidget::setAvatar(const QString &imagePath)
{
    avatarButton->setStyleSheet(
        QStringLiteral("QPushButton {border-radius:23px;border-width:0px;border-image:url(\"%1\")}")
            .arg(imagePath));
}

int MainWidget::avatarPixels()
{
    // Twice the size on a high-density screen, where the picture is drawn
    // into twice as many pixels.
    return qApp->devicePixelRatio() > 1.0 ? 2 * avatarSize : avatarSize;
}

QString MainWidget::avatarCachePath() const
{
    const QString username =
        GCore::instance()->userInfo().value(QStringLiteral("username")).toString();
    return QStringLiteral("%1/%2.png")
        .arg(GCore::dataDir(), safeFileName(username, QStringLiteral("user")));
}

void MainWidget::showPanel()
{
    if (sender())
        showPanelByName(sender()->objectName());
}

void MainWidget::showPanelByName(const QString &name)
{
    userDesktopPanel->hide();
    companyDocumentPanel->hide();
    transferPanelWidget->hide();
    netDiskPanel->hide();
    desktopButton->setChecked(false);
    netDiskButton->setChecked(false);
    documentButton->setChecked(false);

    if (name == QLatin1String("userdesktop")) {
        userDesktopPanel->show();
        desktopButton->setChecked(true);
        userDesktopPanel->placeErrorLabels();
    } else if (name == QLatin1String("companydocument")) {
        companyDocumentPanel->show();
        companyDocumentPanel->placeOverlays();
        documentButton->setChecked(true);
        companyDocumentPanel->reloadList();
    } else if (name == QLatin1String("netdisk")) {
        netDiskPanel->show();
        netDiskPanel->placeOverlays();
        netDiskButton->setChecked(true);
        netDiskPanel->reloadList();
    }
}

void MainWidget::showTransferPanel()
{
    userDesktopPanel->hide();
    companyDocumentPanel->hide();
    netDiskPanel->hide();
    transferPanelWidget->show();
    desktopButton->setChecked(false);
    netDiskButton->setChecked(false);
    documentButton->setChecked(false);
}

void MainWidget::receiveThumb(QByteArray data)
{
    const QString path = avatarCachePath();
    qDebug() << __FILE__ << __LINE__ << "user picture:" << data.size() << "bytes," << path;

    QImage image = readAvatar(data);
    if (image.isNull())
        return;
    image = image.scaled(avatarPixels(), avatarPixels(), Qt::IgnoreAspectRatio,
                         Qt::SmoothTransformation);

    // Written beside the cache file and renamed, so a failed write keeps the old picture.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
        return;
    QTimer::singleShot(10, this, [this, path]() { setAvatar(path); });
}
