#include "browse/topbanner.h"

#include "core/gcore.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyleOption>

namespace {

struct ActionButton
{
    const char *text;
    const char *image;
    int width;
};

const ActionButton kLibraryButtons[] = {{"新建文件夹", "new_fold.png", 117},
                                        {"上传", "upload.png", 78},
                                        {"下载", "download.png", 78},
                                        {"分享", "share.png", 78},
                                        {"发布", "publish.png", 78},
                                        {"复制", "copy.png", 78},
                                        {"移动", "move.png", 78},
                                        {"删除", "delete.png", 78}};

const ActionButton kNetDiskButtons[] = {
    {"新建文件夹", "new_fold.png", 117}, {"上传", "upload.png", 78},
    {"下载", "download.png", 78},        {"共享", "share.png", 78},
    {"复制到文档", "copy.png", 117},     {"移动", "move.png", 78},
    {"删除", "delete.png", 78}};

void setPictureIcon(QPushButton *button, const QString &resource)
{
    const QPixmap pixmap(resource);
    button->setIcon(QIcon(pixmap));
    button->setIconSize(pixmap.size());
}

} // namespace

TopBanner::TopBanner(QWidget *parent, int area) : QWidget(parent), area(area)
{
    setFixedHeight(40);
    setStyleSheet(QStringLiteral(".TopBanner {border:1px solid #ccc;border-left:0px;"
                                 "border-right:0px;background:#ecf2f7;}"));
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(12);
    layout->setContentsMargins(15, 0, 8, 0);

    const QString buttonStyle = QStringLiteral(
        ".QPushButton {border-radius:4px;border:0px;background:#ecf2f7;color:#449cde;"
        "font-size:10pt;text-align:left;padding-left:11px;}"
        ".QPushButton:hover {background:#d5eaff;}"
        ".QPushButton:disabled {background:#efeff7;}");
    auto addButtons = [&](const ActionButton *first, const ActionButton *last) {
        for (const ActionButton *b = first; b != last; ++b) {
            auto *button = new QPushButton(QString::fromUtf8(b->text), this);
            button->setFixedHeight(26);
            if (b->width > 0)
                button->setFixedWidth(b->width);
            setPictureIcon(button, QStringLiteral(":/images/main/") + QLatin1String(b->image));
            button->setStyleSheet(buttonStyle);
            m_buttons.append(button);
            layout->addWidget(button);
        }
    };
    if (area == 0)
        addButtons(std::begin(kLibraryButtons), std::end(kLibraryButtons));
    else
        addButtons(std::begin(kNetDiskButtons), std::end(kNetDiskButtons));

    auto *spacer = new QWidget(this);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(spacer);

    transferButton = new QPushButton(QStringLiteral("传输列表"), this);
    transferButton->setFixedSize(100, 30);
    setPictureIcon(transferButton, QStringLiteral(":/images/main/transfer_list.png"));
    transferButton->setStyleSheet(QStringLiteral(
        ".QPushButton {border-radius:4px;border:0px;background:#0696f5;color:#fff;font-size:9pt;"
        "text-align:left;padding-left:11px;}.QPushButton:hover {background:#07b2fc;}"));
    layout->addWidget(transferButton);
    connect(transferButton, &QPushButton::clicked, this, &TopBanner::showTransferPanel);
}

void TopBanner::showTransferPanel()
{
    GCore::instance()->showDownloadTransfer(QString(), QVariantMap(), area);
}

void TopBanner::paintEvent(QPaintEvent *event)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QWidget::paintEvent(event);
}
