#pragma once

#include "collab/collabdialog.h"

class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class RightsGrid;

// Asks the server for an external link to the chosen files: anonymous or
// with a password, with a visit limit, a last day, the rights the link grants
// (preview "1", download "2", upload "3") and a description. The address
// appears in the dialog, selectable, with "复制" to put it on the clipboard;
// one link per opening. The password only ever travels as the form field.
class DExternalLink : public CollabDialog
{
    Q_OBJECT
public:
    DExternalLink(const QList<QVariantMap> &files, QWidget *parent);

    QRadioButton *anonymousButton = nullptr;
    QRadioButton *passwordButton = nullptr;
    QLineEdit *passwordEdit = nullptr;
    QLineEdit *maxVisitEdit = nullptr;
    QDateEdit *expiryEdit = nullptr;
    RightsGrid *rights = nullptr;
    QPlainTextEdit *descriptionEdit = nullptr;
    QLabel *addressCaption = nullptr;
    QPlainTextEdit *addressEdit = nullptr;
    QPushButton *copyButton = nullptr;

public slots:
    void generalLink();
    // Puts the address on the clipboard.
    void copyAddress();
};
