#pragma once

#include "collab/rightsgrid.h"
#include "core/httpcurl.h"
#include "widgets/framelessdialog.h"

#include <QList>
#include <QMargins>
#include <QVariantMap>

class DialogTable;
class MessageLabel;
class QDate;
class QDateEdit;
class QHBoxLayout;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;
class RecipientsRow;

// The frame of the dialogs that act on files chosen in a browser and save
// with one form request: sharing, publishing, permissions (and the link and
// net disk share dialogs). It builds the fixed-size dialog with its title,
// the body with its rows, the file list, the red message line that clears
// itself after 3 seconds, the blue "保存"/"关闭" buttons, and sends the form.
//
// Use, in a subclass constructor, rows from top to bottom:
//     addFileRow("分享的文件:", Qt::AlignLeft | Qt::AlignTop, 12);
//     addRecipientsRow("接收人列表:", Qt::AlignLeft | Qt::AlignVCenter, 12);
//     expiry = addDateRow(...); rights = addRightsRow(...); memo = addNoteRow(...);
//     QHBoxLayout *row = addRow(5); addCaption(row, "...", ...); row->addWidget(...);
//     addButtonRow();   // then connect saveButton to the dialog's own slot
// and in the save slot: showMessage() for input errors, and
//     FormParams form = filesAndRecipients();   // "fileIds" and "userList"
//     form.insert(...);
//     if (send("/api/file/share.jf", form, "无法分享")) FramelessDialog::accept();
// "选择" runs the picker through selectUser().
// send() adds the token, waits for the reply with the window painting and
// its inputs disabled (the dialog cannot be closed meanwhile), and on a
// refusal or no answer shows the server's "msg" or the fallback text.
class CollabDialog : public FramelessDialog
{
    Q_OBJECT
public:
    // The "fileId" of every record, in the given order, joined with ",".
    QString fileIds() const;
    // "fileIds" and "userList" (the chosen identifiers joined with ",").
    FormParams filesAndRecipients() const;
    bool isBusy() const { return busy; }

    QList<QVariantMap> files;
    DialogTable *fileTable = nullptr;
    MessageLabel *errorLabel = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *closeDialogButton = nullptr;
    // Made by addRecipientsRow().
    RecipientsRow *recipients = nullptr;

public slots:
    // Runs the picker in mode 0 for the recipients row.
    void selectUser();
    // Ignored while a request is out: its answer decides what happens next.
    void reject() override;

protected:
    // `size` is fixed; `margins` and `spacing` are the body's; captions are
    // `captionWidth` pixels wide.
    CollabDialog(const QList<QVariantMap> &files, QWidget *parent, const QString &title,
                 const QSize &size, const QMargins &margins, int spacing, int captionWidth);

    // A new row at the bottom of the body.
    QHBoxLayout *addRow(int spacing);
    // A grey caption at the end of `row`.
    QLabel *addCaption(QHBoxLayout *row, const QString &text, Qt::Alignment alignment);
    // Caption and the list of the files (`fileTable`, 120 pixels high);
    // returns the caption.
    QLabel *addFileRow(const QString &caption, Qt::Alignment alignment, int spacing);
    // Caption and the recipients field with "选择" (picker mode 0), which
    // becomes `recipients`.
    RecipientsRow *addRecipientsRow(const QString &caption, Qt::Alignment alignment, int spacing);
    // Caption and a date editor with a calendar pop-up, set to `date`.
    QDateEdit *addDateRow(const QString &caption, const QDate &date, int spacing);
    // Caption and a row of right check boxes carrying their values in the
    // property "value".
    RightsGrid *addRightsRow(const QString &caption, const QList<RightsGrid::Right> &rights,
                             int spacing);
    // Caption and an optional text ("选填") that takes the room left.
    QPlainTextEdit *addNoteRow(const QString &caption, int spacing);
    // A date editor as the dialogs show dates: "yyyy-MM-dd", calendar pop-up.
    static QDateEdit *makeDateEdit(const QDate &date, QWidget *parent);
    // The message line, then `saveText` and "关闭" (64 x 24), `spacing` apart;
    // "关闭" rejects.
    void addButtonRow(const QString &saveText = QStringLiteral("保存"), int spacing = 12);

    void showMessage(const QString &text);
    // Sends `form` plus the token to the server path; true when the reply's
    // "code" is "0". `reply` (may be null) receives the reply.
    bool send(const QString &path, FormParams form, const QString &fallback,
              QVariantMap *reply = nullptr);
    // The request of send() without its message: the reply map, empty when the
    // server did not answer (or a request is out already).
    QVariantMap post(const QString &path, FormParams form);
    // "code" is "0".
    static bool isSuccess(const QVariantMap &reply);
    // The server's "msg", or `fallback` when it sent none.
    static QString refusalText(const QVariantMap &reply, const QString &fallback);

    QWidget *body = nullptr;
    QVBoxLayout *bodyLayout = nullptr;

private:
    int captionWidth = 70;
    bool busy = false;
};
