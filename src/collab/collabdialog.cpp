#include "collab/collabdialog.h"

#include "collab/dialogtable.h"
#include "collab/recipientsrow.h"
#include "core/gcore.h"
#include "core/httpthread.h"
#include "widgets/dialogstyle.h"
#include "widgets/messagelabel.h"
#include "widgets/tpushbutton.h"

#include <QApplication>
#include <QDate>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CollabDialog::CollabDialog(const QList<QVariantMap> &files, QWidget *parent, const QString &title,
                           const QSize &size, const QMargins &margins, int spacing,
                           int captionWidth)
    : FramelessDialog(parent, QColor(QLatin1String(DialogStyle::titleColor)), true), files(files),
      captionWidth(captionWidth)
{
    resize(size);
    initTitleBar();
    titleLabel->setText(title);

    body = new QWidget(contentWidget);
    addContentWidget(body);
    bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(margins);
    bodyLayout->setSpacing(spacing);
}

QString CollabDialog::fileIds() const
{
    QStringList ids;
    for (const QVariantMap &file : files)
        ids << file.value(QStringLiteral("fileId")).toString();
    return ids.join(QLatin1Char(','));
}

FormParams CollabDialog::filesAndRecipients() const
{
    return {{QStringLiteral("fileIds"), fileIds()},
            {QStringLiteral("userList"),
             recipients ? recipients->ids().join(QLatin1Char(',')) : QString()}};
}

void CollabDialog::selectUser()
{
    if (recipients)
        recipients->choose(this);
}

QHBoxLayout *CollabDialog::addRow(int spacing)
{
    auto *row = new QHBoxLayout;
    row->setSpacing(spacing);
    bodyLayout->addLayout(row);
    return row;
}

QLabel *CollabDialog::addCaption(QHBoxLayout *row, const QString &text, Qt::Alignment alignment)
{
    QLabel *caption = DialogStyle::makeCaption(text, captionWidth, alignment, body);
    // A caption at the top of a tall row stays there even when it has a fixed height.
    row->addWidget(caption, 0, (alignment & Qt::AlignTop) ? Qt::AlignTop : Qt::Alignment());
    return caption;
}

QLabel *CollabDialog::addFileRow(const QString &caption, Qt::Alignment alignment, int spacing)
{
    QHBoxLayout *row = addRow(spacing);
    QLabel *label = addCaption(row, caption, alignment);
    fileTable = new DialogTable(body);
    fileTable->setFixedHeight(120);
    fileTable->addFiles(files);
    row->addWidget(fileTable);
    return label;
}

RecipientsRow *CollabDialog::addRecipientsRow(const QString &caption, Qt::Alignment alignment,
                                              int spacing)
{
    QHBoxLayout *row = addRow(spacing);
    addCaption(row, caption, alignment);
    recipients = new RecipientsRow(body, spacing);
    row->addWidget(recipients);
    connect(recipients->chooseButton, &QPushButton::clicked, this, &CollabDialog::selectUser);
    return recipients;
}

QDateEdit *CollabDialog::addDateRow(const QString &caption, const QDate &date, int spacing)
{
    QHBoxLayout *row = addRow(spacing);
    addCaption(row, caption, Qt::AlignLeft | Qt::AlignVCenter);
    QDateEdit *edit = makeDateEdit(date, body);
    row->addWidget(edit);
    row->addStretch();
    return edit;
}

RightsGrid *CollabDialog::addRightsRow(const QString &caption,
                                       const QList<RightsGrid::Right> &rights, int spacing)
{
    QHBoxLayout *row = addRow(spacing);
    addCaption(row, caption, Qt::AlignLeft | Qt::AlignVCenter);
    auto *grid = new RightsGrid(rights, rights.size(), "value", body);
    row->addWidget(grid);
    row->addStretch();
    return grid;
}

QPlainTextEdit *CollabDialog::addNoteRow(const QString &caption, int spacing)
{
    QHBoxLayout *row = addRow(spacing);
    addCaption(row, caption, Qt::AlignLeft | Qt::AlignTop);
    auto *edit = new QPlainTextEdit(body);
    edit->setPlaceholderText(QStringLiteral("选填"));
    edit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    row->addWidget(edit);
    return edit;
}

QDateEdit *CollabDialog::makeDateEdit(const QDate &date, QWidget *parent)
{
    auto *edit = new QDateEdit(date, parent);
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return edit;
}

void CollabDialog::addButtonRow(const QString &saveText, int spacing)
{
    QHBoxLayout *row = addRow(spacing);
    errorLabel = MessageLabel::forButtonRow(body);
    row->addWidget(errorLabel);
    saveButton = DialogStyle::makeButton(saveText, body);
    closeDialogButton = DialogStyle::makeButton(QStringLiteral("关闭"), body);
    for (QPushButton *button : {saveButton, closeDialogButton}) {
        // Grey while a request is out.
        button->setStyleSheet(DialogStyle::buttonStyle() +
                              QLatin1String(DialogStyle::disabledLook));
        button->setFixedSize(64, 24);
        row->addWidget(button);
    }
    connect(closeDialogButton, &QPushButton::clicked, this, &CollabDialog::reject);
}

void CollabDialog::showMessage(const QString &text)
{
    errorLabel->showMessage(text);
}

void CollabDialog::reject()
{
    if (!busy)
        FramelessDialog::reject();
}

bool CollabDialog::send(const QString &path, FormParams form, const QString &fallback,
                        QVariantMap *reply)
{
    if (busy)
        return false;
    const QVariantMap answer = post(path, form);
    if (reply)
        *reply = answer;
    if (isSuccess(answer))
        return true;
    showMessage(refusalText(answer, fallback));
    return false;
}

QVariantMap CollabDialog::post(const QString &path, FormParams form)
{
    if (busy)
        return QVariantMap();
    GCore *core = GCore::instance();
    form.insert(QStringLiteral("token"), core->token());
    busy = true;
    body->setEnabled(false);
    closeButton->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QVariantMap answer = HttpThread::waitFor(core->serverUrl() + path, form);
    QApplication::restoreOverrideCursor();
    closeButton->setEnabled(true);
    body->setEnabled(true);
    busy = false;
    return answer;
}

bool CollabDialog::isSuccess(const QVariantMap &reply)
{
    return reply.contains(QStringLiteral("code")) &&
           reply.value(QStringLiteral("code")).toString() == QLatin1String("0");
}

QString CollabDialog::refusalText(const QVariantMap &reply, const QString &fallback)
{
    const QString msg = reply.value(QStringLiteral("msg")).toString();
    return msg.isEmpty() ? fallback : msg;
}
