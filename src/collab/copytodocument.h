#pragma once

#include "transfer/dfoldertree.h"

// The net disk's folder picker: copies net disk items into a folder of the
// company library (mode 1, the library's tree) or moves them to another net
// disk folder (mode 2, the net disk's tree). Like the library's picker it
// closes only when the server agrees, and picking the folder the items are in
// counts as done.
class CopytoDocument : public DFolderTree
{
    Q_OBJECT
public:
    CopytoDocument(const QStringList &sourceIds, int mode, const QString &currentFolderId,
                   QWidget *parent);
};
