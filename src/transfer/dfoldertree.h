#pragma once

#include "shell/framelessdialog.h"

#include <QStringList>

class TreeView;
class TreeViewModel;

// The library folder picker for copying (mode 1) or moving (mode 2) items:
// sends one request with every selected id and closes only when the server
// agrees; picking the folder the items are in already counts as done.
class DFolderTree : public FramelessDialog
{
    Q_OBJECT
public:
    DFolderTree(const QStringList &sourceIds, int mode, const QString &currentFolderId,
                QWidget *parent);

    TreeViewModel *model = nullptr;
    TreeView *view = nullptr;

public slots:
    void accept() override;

private:
    QStringList sourceIds;
    int mode = 1;
    QString currentFolderId;
};
