#include "collab/dauthority.h"

#include "collab/recipientsrow.h"
#include "collab/rightsgrid.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

DAuthority::DAuthority(const QList<QVariantMap> &files, QWidget *parent)
    : CollabDialog(files, parent, QStringLiteral("权限管理"), QSize(400, 300),
                   QMargins(9, 9, 14, 9), 5, 60)
{
    const Qt::Alignment captionAlignment = Qt::AlignRight | Qt::AlignVCenter;
    // The caption sits beside the table's first row.
    addFileRow(QStringLiteral("文件列表:"), Qt::AlignRight | Qt::AlignTop, 5)->setFixedHeight(30);
    addRecipientsRow(QStringLiteral("用户范围:"), captionAlignment, 5);

    QHBoxLayout *scopeRow = addRow(5);
    // The range the rights apply to, not a second choice of users.
    addCaption(scopeRow, QStringLiteral("适用范围:"), captionAlignment);
    scopeBox = new QComboBox(body);
    scopeBox->addItems({QStringLiteral("该文件夹及子文件夹与文件"),
                        QStringLiteral("该文件夹及子文件夹"), QStringLiteral("该文件夹及文件"),
                        QStringLiteral("只有该文件夹"), QStringLiteral("只有子文件夹及文件"),
                        QStringLiteral("只有子文件夹"), QStringLiteral("只有文件")});
    scopeRow->addWidget(scopeBox);

    QHBoxLayout *rightsRow = addRow(5);
    addCaption(rightsRow, QStringLiteral("授予权限:"), captionAlignment);
    rights = new RightsGrid(body);
    rights->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    rightsRow->addWidget(rights);

    addButtonRow();
    // 300 pixels leave the three rows of rights squeezed under the file list:
    // the dialog is as tall as its rows need.
    resize(width(), qMax(height(), sizeHint().height()));

    connect(saveButton, &QPushButton::clicked, this, &DAuthority::accept);
}

void DAuthority::accept()
{
    if (recipients->isEmpty()) {
        showMessage(QStringLiteral("请选择用户范围"));
        return;
    }
    const QStringList letters = rights->values();
    if (letters.isEmpty()) {
        showMessage(QStringLiteral("请授予至少一个权限"));
        return;
    }
    FormParams form = filesAndRecipients();
    form.insert(QStringLiteral("authList"), letters.join(QLatin1Char(',')));
    form.insert(QStringLiteral("appRange"), QString::number(scopeBox->currentIndex() + 1));
    if (send(QStringLiteral("/api/file/auth.jf"), form, QStringLiteral("无法设置权限")))
        FramelessDialog::accept();
}
