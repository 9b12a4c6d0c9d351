#include "transfer/addfolderthread.h"

#include "core/gcore.h"
#include "core/httpcurl.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

AddFolderThread::AddFolderThread(const QString &folderPath, const QString &parentId, int type,
                                 QObject *parent)
    : QThread(parent), folderPath(folderPath), parentId(parentId), type(type)
{
    GCore *core = GCore::instance();
    url = core->serverUrl() + (type == 1 ? QStringLiteral("/api/netdisk/save-fold.jf")
                                         : QStringLiteral("/api/file/save-fold.jf"));
    token = core->token();
}

void AddFolderThread::run()
{
    createTree(folderPath, parentId);
    emit receiveRes(folderIds, status);
}

void AddFolderThread::createTree(const QString &path, const QString &parentId)
{
    if (!QDir(path).exists()) {
        status = -1;
        return;
    }
    // A dropped path may end with a separator; the folder's own name is wanted.
    const QString id = createFolder(QFileInfo(QDir::cleanPath(path)).fileName(), parentId);
    if (id.isEmpty())
        return;
    folderIds.insert(path, id);
    // The same walk as the scan of the dropped folder, so the keys are the
    // folder paths the scanned files name.
    const QFileInfoList entries = HttpCurl::folderUploadEntries(path);
    for (const QFileInfo &info : entries) {
        if (info.isDir())
            createTree(info.filePath(), id);
    }
}

QString AddFolderThread::createFolder(const QString &name, const QString &parentId)
{
    if (status == 0 && stopped.load())
        status = -1;
    if (status != 0)
        return QString();
    const QVariantMap reply = HttpCurl::instance()
                                  ->postJson(url,
                                             {{QStringLiteral("token"), token},
                                              {QStringLiteral("parentId"), parentId},
                                              {QStringLiteral("name"), name}},
                                             -1, QStringLiteral("utf8"))
                                  .toMap();
    if (reply.value(QStringLiteral("code")).toString() == QLatin1String("0")) {
        const QString id = reply.value(QStringLiteral("fileId")).toString();
        if (!id.isEmpty())
            return id;
    }
    // The server words a taken name with these characters.
    status =
        reply.value(QStringLiteral("msg")).toString().contains(QStringLiteral("已存在")) ? -2 : -1;
    qDebug() << __FILE__ << __LINE__ << "cannot create folder" << name << "status" << status;
    return QString();
}
