#include "collab/dnetdiskshare.h"

#include "collab/recipientsrow.h"

#include <QDate>
#include <QDateEdit>
#include <QPlainTextEdit>
#include <QPushButton>

DNetDiskShare::DNetDiskShare(const QList<QVariantMap> &files, QWidget *parent)
    : CollabDialog(files, parent, QStringLiteral("共享"), QSize(450, 300), QMargins(9, 9, 12, 12),
                   9, 70)
{
    addFileRow(QStringLiteral("共享的文件:"), Qt::AlignLeft | Qt::AlignTop, 12);
    addRecipientsRow(QStringLiteral("接收人列表:"), Qt::AlignLeft | Qt::AlignVCenter, 12);

    rights = addRightsRow(QStringLiteral("权限类型:"),
                          {{QStringLiteral("预览文件"), QStringLiteral("V"), true},
                           {QStringLiteral("下载文件"), QStringLiteral("D")},
                           {QStringLiteral("修改文件"), QStringLiteral("E")}},
                          12);
    expiryEdit = addDateRow(QStringLiteral("共享过期日:"), QDate::currentDate().addDays(7), 12);
    memoEdit = addNoteRow(QStringLiteral("共享描述:"), 12);

    addButtonRow();
    connect(saveButton, &QPushButton::clicked, this, &DNetDiskShare::accept);
}

void DNetDiskShare::accept()
{
    if (recipients->isEmpty()) {
        showMessage(QStringLiteral("请选择接收人"));
        return;
    }
    const QStringList letters = rights->values();
    if (letters.isEmpty()) {
        showMessage(QStringLiteral("请选择至少一个权限类型"));
        return;
    }
    FormParams form = filesAndRecipients();
    form.insert(QStringLiteral("shareAuth"), letters.join(QLatin1Char(',')));
    form.insert(QStringLiteral("invalidate"),
                expiryEdit->date().toString(QStringLiteral("yyyy-MM-dd")));
    form.insert(QStringLiteral("memo"), memoEdit->toPlainText().trimmed());
    if (send(QStringLiteral("/api/netdisk/share.jf"), form, QStringLiteral("无法共享")))
        FramelessDialog::accept();
}
