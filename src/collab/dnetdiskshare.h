#pragma once

#include "collab/collabdialog.h"

class QDateEdit;
class QPlainTextEdit;
class RightsGrid;

// Shares net disk files with chosen users and groups: preview ("V", checked
// at first), download ("D") and modify ("E") until the end of a chosen day,
// with an optional description. Closes on success; a refusal stays in the
// dialog with every input kept.
class DNetDiskShare : public CollabDialog
{
    Q_OBJECT
public:
    DNetDiskShare(const QList<QVariantMap> &files, QWidget *parent);

    RightsGrid *rights = nullptr;
    QDateEdit *expiryEdit = nullptr;
    QPlainTextEdit *memoEdit = nullptr;

public slots:
    void accept() override;
};
