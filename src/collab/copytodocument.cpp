#include "collab/copytodocument.h"

CopytoDocument::CopytoDocument(const QStringList &sourceIds, int mode,
                               const QString &currentFolderId, QWidget *parent)
    : DFolderTree(sourceIds, mode, currentFolderId, parent, mode == 2 ? 1 : 0,
                  mode == 2 ? QStringLiteral("/api/netdisk/move.jf")
                            : QStringLiteral("/api/netdisk/move-to-doc.jf"))
{
}
