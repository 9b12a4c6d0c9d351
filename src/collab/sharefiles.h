#pragma once

#include "collab/collabdialog.h"

class QPlainTextEdit;

// Shares library files with chosen users and groups: lists the files, takes
// the recipients from the picker and an optional description, and grants
// them preview, download and visibility ("A,V,D") in one request. Closes on
// success; a refusal stays in the dialog with every input kept.
class ShareFiles : public CollabDialog
{
    Q_OBJECT
public:
    ShareFiles(const QList<QVariantMap> &files, QWidget *parent);

    QPlainTextEdit *memoEdit = nullptr;

public slots:
    void accept() override;
};
