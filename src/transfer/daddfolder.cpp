#include "transfer/daddfolder.h"

#include "core/gcore.h"
#include "widgets/dialogstyle.h"
#include "widgets/messagelabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

DAddFolder::DAddFolder(const QString &parentId, const QStringList &pathNames, QWidget *parent,
                       int type)
    : FramelessDialog(parent, QColor(QLatin1String(DialogStyle::titleColor)), true),
      parentId(parentId), pathNames(pathNames), type(type)
{
    resize(300, 150);
    initTitleBar();
    titleLabel->setText(QStringLiteral("新建文件夹"));

    // The frame's content area has its own layout; the dialog's rows go in one body.
    auto *body = new QWidget(contentWidget);
    addContentWidget(body);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(9, 9, 14, 9);
    layout->setSpacing(5);

    auto *pathRow = new QHBoxLayout;
    pathRow->setSpacing(5);
    pathRow->addWidget(DialogStyle::makeCaption(QStringLiteral("上级目录:"), 70,
                                                Qt::AlignLeft | Qt::AlignVCenter, body));
    auto *pathEdit = new QLineEdit(pathNames.join(QLatin1Char('/')), body);
    pathEdit->setReadOnly(true);
    pathEdit->setFixedHeight(22);
    pathEdit->setStyleSheet(QStringLiteral(".QLineEdit {background:#ddd;border:0px;}"));
    pathRow->addWidget(pathEdit);
    layout->addLayout(pathRow);

    auto *nameRow = new QHBoxLayout;
    nameRow->setSpacing(5);
    nameRow->addWidget(DialogStyle::makeCaption(QStringLiteral("文件夹名称:"), 70,
                                                Qt::AlignLeft | Qt::AlignVCenter, body));
    nameEdit = new QLineEdit(body);
    nameRow->addWidget(nameEdit);
    layout->addLayout(nameRow);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(5);
    errorLabel = new MessageLabel(body);
    errorLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    errorLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    buttonRow->addWidget(errorLabel);
    // Keeps the buttons on the right while the message is hidden.
    buttonRow->addStretch();
    QPushButton *save = DialogStyle::makeButton(QStringLiteral("保存"), body);
    QPushButton *close = DialogStyle::makeButton(QStringLiteral("关闭"), body);
    for (QPushButton *button : {save, close}) {
        button->setFixedSize(64, 24);
        buttonRow->addWidget(button);
    }
    layout->addLayout(buttonRow);
    saveButton = save;
    connect(save, &QPushButton::clicked, this, &DAddFolder::accept);
    connect(close, &QPushButton::clicked, this, &DAddFolder::reject);
    nameEdit->setFocus();
}

void DAddFolder::accept()
{
    if (isWaiting())
        return;
    const QString name = nameEdit->text().trimmed();
    if (name.isEmpty()) {
        nameEdit->setFocus();
        return;
    }
    GCore *core = GCore::instance();
    const QString url = core->serverUrl() + (type == 1 ? QStringLiteral("/api/netdisk/save-fold.jf")
                                                       : QStringLiteral("/api/file/save-fold.jf"));
    postAndAccept(url,
                  {{QStringLiteral("token"), core->token()},
                   {QStringLiteral("parentId"), parentId},
                   {QStringLiteral("name"), name}},
                  {nameEdit, saveButton}, [this](const QString &msg) {
                      errorLabel->showMessage(msg.isEmpty() ? QStringLiteral("无法创建文件夹")
                                                            : msg);
                  });
}

void DAddFolder::reject()
{
    if (!isWaiting())
        FramelessDialog::reject();
}
