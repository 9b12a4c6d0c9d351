#pragma once

#include <QString>
#include <QVariantMap>

// What GCore and the browsers ask of the transfer panel without knowing it:
// the panel registers itself with GCore and takes new transfers through this.
class TransferQueue
{
public:
    // Queues the download of a listed file (`type`: 0 the library, 1 the net disk).
    virtual void addDownload(const QVariantMap &item, int type) = 0;
    // Queues the upload of a local file into a server folder; a non-empty
    // `fileId` uploads a new version of that file.
    virtual void addUpload(const QString &filePath, const QString &parentId, int type,
                           const QString &fileId) = 0;
    virtual bool isUploading(const QString &filePath) const = 0;
    // While held, rows added are laid out once when the hold ends.
    virtual void holdLayout(bool hold) = 0;

protected:
    ~TransferQueue() = default;
};
