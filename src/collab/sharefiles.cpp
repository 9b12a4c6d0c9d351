#include "collab/sharefiles.h"

#include "collab/recipientsrow.h"

#include <QPlainTextEdit>
#include <QPushButton>

ShareFiles::ShareFiles(const QList<QVariantMap> &files, QWidget *parent)
    : CollabDialog(files, parent, QStringLiteral("文件分享"), QSize(450, 300),
                   QMargins(9, 9, 12, 12), 9, 70)
{
    addFileRow(QStringLiteral("分享的文件:"), Qt::AlignLeft | Qt::AlignTop, 12);
    addRecipientsRow(QStringLiteral("接收人列表:"), Qt::AlignLeft | Qt::AlignVCenter, 12);
    memoEdit = addNoteRow(QStringLiteral("分享描述:"), 12);
    addButtonRow();

    connect(saveButton, &QPushButton::clicked, this, &ShareFiles::accept);
}

void ShareFiles::accept()
{
    if (recipients->isEmpty()) {
        showMessage(QStringLiteral("请选择接收人"));
        return;
    }
    FormParams form = filesAndRecipients();
    form.insert(QStringLiteral("authList"), QStringLiteral("A,V,D"));
    form.insert(QStringLiteral("memo"), memoEdit->toPlainText().trimmed());
    if (send(QStringLiteral("/api/file/share.jf"), form, QStringLiteral("无法分享")))
        FramelessDialog::accept();
}
