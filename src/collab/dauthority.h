#pragma once

#include "collab/collabdialog.h"

class QComboBox;
class RightsGrid;

// Grants rights on library files or folders to chosen users and groups, with
// the scope over which a folder grant reaches down (seven choices, sent as
// "appRange" 1 to 7). The server replaces each recipient's earlier permission
// on the item. Closes on success; refusals stay in the dialog.
class DAuthority : public CollabDialog
{
    Q_OBJECT
public:
    DAuthority(const QList<QVariantMap> &files, QWidget *parent);

    QComboBox *scopeBox = nullptr;
    RightsGrid *rights = nullptr;

public slots:
    void accept() override;
};
