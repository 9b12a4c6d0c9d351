#include "collab/dnetdiskshare.h"

#include "collab/recipientsrow.h"
#include "collab/rightsgrid.h"

#include <QDate>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>

namespace {

const Qt::Alignment kCaptionAlignment = Qt::AlignLeft | Qt::AlignVCenter;

} // namespace

DNetDiskShare::DNetDiskShare(const QList<QVariantMap> &files, QWidget *parent)
    : CollabDialog(files, parent, QStringLiteral("共享"), QSize(450, 300), QMargins(9, 9, 12, 12),
                   9, 70)
{
    addFileRow(QStringLiteral("共享的文件:"), Qt::AlignLeft | Qt::AlignTop, 12);
    addRecipientsRow(QStringLiteral("接收人列表:"), kCaptionAlignment, 12);

    QHBoxLayout *rightsRow = addRow(12);
    addCaption(rightsRow, QStringLiteral("权限类型:"), kCaptionAlignment);
    rights = new RightsGrid({{QStringLiteral("预览文件"), QStringLiteral("V"), true},
                             {QStringLiteral("下载文件"), QStringLiteral("D")},
                             {QStringLiteral("修改文件"), QStringLiteral("E")}},
                            3, "value", body);
    rightsRow->addWidget(rights);
    rightsRow->addStretch();

    QHBoxLayout *expiryRow = addRow(12);
    addCaption(expiryRow, QStringLiteral("共享过期日:"), kCaptionAlignment);
    expiryEdit = new QDateEdit(QDate::currentDate().addDays(7), body);
    expiryEdit->setCalendarPopup(true);
    expiryEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    expiryRow->addWidget(expiryEdit);
    expiryRow->addStretch();

    QHBoxLayout *memoRow = addRow(12);
    addCaption(memoRow, QStringLiteral("共享描述:"), Qt::AlignLeft | Qt::AlignTop);
    memoEdit = new QPlainTextEdit(body);
    memoEdit->setPlaceholderText(QStringLiteral("选填"));
    memoEdit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    memoRow->addWidget(memoEdit);

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
