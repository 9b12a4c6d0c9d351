#pragma once

#include "widgets/framelessdialog.h"

#include <QStringList>

class QPushButton;
class TreeView;
class TreeViewModel;

// The library folder picker for copying (mode 1) or moving (mode 2) items:
// sends one request with every selected id and closes only when the server
// agrees; picking the folder the items are in already counts as done. The net
// disk's CopytoDocument is the same picker over other trees and paths.
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
    // Ignored while the request is out.
    void reject() override;

protected:
    // A picker over the folder tree of `area` (0 the library, 1 the net disk)
    // whose "确定" sends the server path `path`.
    DFolderTree(const QStringList &sourceIds, int mode, const QString &currentFolderId,
                QWidget *parent, int area, const QString &path);

private:
    QStringList sourceIds;
    int mode = 1;
    QString currentFolderId;
    QString path;
    QPushButton *okButton = nullptr;
};
