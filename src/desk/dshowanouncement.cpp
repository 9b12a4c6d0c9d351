#include "desk/dshowanouncement.h"

#include "core/gcore.h"
#include "core/httpthread.h"
#include "desk/daytext.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel *caption(const QString &text, Qt::Alignment vertical, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFixedWidth(60);
    label->setAlignment(Qt::AlignLeft | vertical);
    return label;
}

// One line of the announcement; server text, so never read as markup.
QLabel *field(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFixedHeight(28);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    label->setIndent(6);
    label->setStyleSheet(QStringLiteral("background:#f2f2f2;"));
    return label;
}

QHBoxLayout *row(QVBoxLayout *body)
{
    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    body->addLayout(layout);
    return layout;
}

} // namespace

DShowAnouncement::DShowAnouncement(const QString &id, QWidget *parent)
    : FramelessDialog(parent, QColor(QStringLiteral("#00a4ff")), true), id(id)
{
    resize(600, 400);
    initTitleBar();
    titleLabel->setText(QStringLiteral("公告内容"));

    auto *body = new QWidget(contentWidget);
    addContentWidget(body);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(30, 20, 30, 20);
    layout->setSpacing(12);

    QHBoxLayout *dateRow = row(layout);
    dateRow->addWidget(caption(QStringLiteral("发布日期："), Qt::AlignVCenter, body));
    dateLabel = field(body);
    dateLabel->setObjectName(QStringLiteral("dateLabel"));
    dateRow->addWidget(dateLabel);

    QHBoxLayout *titleRow = row(layout);
    titleRow->addWidget(caption(QStringLiteral("标题："), Qt::AlignVCenter, body));
    noticeTitleLabel = field(body);
    noticeTitleLabel->setObjectName(QStringLiteral("noticeTitleLabel"));
    titleRow->addWidget(noticeTitleLabel);

    QHBoxLayout *contentRow = row(layout);
    QLabel *contentCaption = caption(QStringLiteral("内容："), Qt::AlignTop, body);
    contentCaption->setFixedHeight(28);
    contentRow->addWidget(contentCaption, 0, Qt::AlignTop);
    contentEdit = new QPlainTextEdit(body);
    contentEdit->setObjectName(QStringLiteral("contentEdit"));
    contentEdit->setReadOnly(true);
    contentEdit->setMinimumHeight(200);
    contentEdit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    contentEdit->setStyleSheet(QStringLiteral("background:#f2f2f2;border:0px;"));
    contentRow->addWidget(contentEdit);

    QHBoxLayout *buttonRow = row(layout);
    buttonRow->addStretch();
    auto *close = new QPushButton(QStringLiteral("关闭"), body);
    close->setFixedSize(70, 24);
    close->setStyleSheet(
        QStringLiteral(".QPushButton {border-radius:4px;border:0px;background:#00a4ff;color:#fff;"
                       "font-weight:bold;font-size:9pt;}.QPushButton:hover {background:#00b1ff;}"));
    buttonRow->addWidget(close);
    connect(close, &QPushButton::clicked, this, &DShowAnouncement::reject);

    GCore *core = GCore::instance();
    auto *worker =
        new HttpThread(core->serverUrl() + QStringLiteral("/api/sys/notice-read.jf"),
                       {{QStringLiteral("token"), core->token()}, {QStringLiteral("id"), id}});
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &HttpThread::receiveJson, this, &DShowAnouncement::receiveData);
    worker->start();
}

void DShowAnouncement::receiveData(QVariantMap reply)
{
    // The fields sit at the top level of the reply, beside "code".
    if (!reply.contains(QStringLiteral("code")) ||
        reply.value(QStringLiteral("code")).toString() != QLatin1String("0"))
        return;
    dateLabel->setText(dayText(reply.value(QStringLiteral("noticeTime"))));
    noticeTitleLabel->setText(reply.value(QStringLiteral("title")).toString());
    contentEdit->setPlainText(reply.value(QStringLiteral("content")).toString());
}
