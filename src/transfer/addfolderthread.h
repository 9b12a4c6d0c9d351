#pragma once

#include <QThread>
#include <QVariantMap>

#include <atomic>

// Recreates a dropped local folder and all its subfolders on the server, a
// folder before its subfolders, one save-folder request each, and reports
// once which server folder was made for which local folder. Files are not
// touched: the browser queues them once the folders exist.
class AddFolderThread : public QThread
{
    Q_OBJECT
public:
    // `type` 1 creates in the net disk, anything else in the library. The
    // server address and the token are taken now; the thread never reads
    // the global context.
    AddFolderThread(const QString &folderPath, const QString &parentId, int type,
                    QObject *parent = nullptr);

    // No further folder is created after the request in progress; the
    // thread then reports a failure.
    void stop() { stopped.store(true); }

signals:
    // `map`: local folder path to the id of its new server folder; `status`
    // 0 when all were made, -2 when a folder exists already, -1 otherwise.
    void receiveRes(QVariantMap map, int status);

protected:
    void run() override;

private:
    void createTree(const QString &path, const QString &parentId);
    // The id of the new folder, or an empty string on failure.
    QString createFolder(const QString &name, const QString &parentId);

    QString folderPath;
    QString parentId;
    int type = 0;
    QVariantMap folderIds;
    int status = 0;

    QString url;
    QString token;
    std::atomic<bool> stopped{false};
};
