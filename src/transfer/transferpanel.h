#pragma once

#include "core/httpcurl.h"
#include "core/transferqueue.h"
#include "transfer/transfermodel.h"

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QPointer>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>
#include <QWidget>

#include <memory>

class DownloadThread;
class HistoryModel;
class PartialDownloads;
class QPushButton;
class QTableView;
class QThread;
class QTimer;
class TransferDelegate;
class UploadThread;
struct TransferProgress;

// The panel of whole-file transfers: running uploads, running downloads and
// the history of finished ones (kept in "history.json"). Each transfer runs on
// a worker of its own, at most `maxRunning` per direction at once; the others
// wait in their rows ("等待中") and start in the order they were queued. A row
// can be stopped, restarted or dropped, waiting or running.
// The three tables are views over models drawn by one delegate: a row is data,
// not widgets, so thousands of rows cost little, and progress reaches the
// models a few times a second in one change per range of rows.
// Downloads stream to a temporary file beside the destination and take their
// final, free name only when complete.
class TransferPanel : public QWidget, public TransferQueue
{
    Q_OBJECT
public:
    // Transfers running at once in each direction: a dropped folder of
    // hundreds of files must not open hundreds of connections.
    static constexpr int maxRunning = 3;
    // A transfer cut by the network is tried again this many times, after
    // one, two and four times `retryDelayMs()`.
    static constexpr int maxRetries = 3;
    static int retryDelayMs();
    // 2000 ms; tests shorten it.
    static void setRetryDelayMs(int ms);

    explicit TransferPanel(QWidget *parent = nullptr);
    ~TransferPanel() override;

    void addDownload(const QVariantMap &item, int type) override;
    void addUpload(const QString &filePath, const QString &parentId, int type,
                   const QString &fileId) override;
    bool isUploading(const QString &filePath) const override;
    bool isDownloading(const QString &fileId) const;
    // Around adding many rows in one go (the files of a dropped folder): the
    // rows reach the tables in one insertion when the hold ends.
    void holdLayout(bool hold) override;

    // The records of a history file's text: the objects of its array, with
    // size texts of older versions cleaned (`cleaned` then set).
    static QVariantList readHistory(const QByteArray &json, bool *cleaned);

public slots:
    void showPanel();
    void downloadFinished(PartDownload part, bool intact);
    void uploadFinished(QVariantMap map);
    void uploadTerminated();
    void showProgress();
    void clearItems();

private:
    // One started transfer: its worker and the progress record it writes. The
    // panel owns the record until the worker has reported its end.
    struct Run
    {
        QPointer<QThread> thread;
        TransferProgress *progress = nullptr;
        bool upload = false;
    };

    void showPage(const QString &name);
    // A new row of each list: name, size and icon from the listed file or
    // the local one (an upload's item names it in "file").
    TransferRow downloadRow(const QVariantMap &item, int type, TransferRow::State state);
    TransferRow uploadRow(const QVariantMap &item, int type, TransferRow::State state);
    void startDownload(const QVariantMap &item, int type);
    void startUpload(const QString &filePath, const QString &parentId, int type,
                     const QString &fileId);
    // Starts the row's transfer when a place is free, else lets it wait.
    void queueDownload(const QString &fileId);
    void queueUpload(const QString &filePath);
    // Starts the row's transfer now, from the item data its row keeps.
    void runDownloadRow(const QString &fileId);
    void runUploadRow(const QString &filePath);
    // Starts waiting transfers, oldest first, while places are free.
    void startWaiting();
    // Workers of one direction that have not reported their end yet, those
    // told to stop included: each still holds its connection.
    int runningCount(bool upload) const;
    void startOrStop(bool download, const QString &key);
    // After a network fault: tries the row again a little later, or fails it
    // when its retries are spent.
    void retryLater(bool download, const QString &key);
    QString partialKey(const QVariantMap &item, int type) const;
    void rowButtonClicked(QTableView *table, const QModelIndex &index, const QString &id);
    void removeDownloadRow(const QString &fileId);
    void removeUploadRow(const QString &filePath);
    void removeHistoryRow(int row);
    // Finished rows leave a second after their end, those of one moment together.
    void removeLater(const QString &key, bool download);
    void removeFinished();
    void loadHistory();
    void saveHistory();
    void updateTabTitles();
    // The rows of both lists survive the client in a file of the data folder
    // for this server and account, written a moment after every change, and
    // come back as stopped rows when the panel is made again.
    void saveQueue();
    void restoreQueue();
    // Starts every stopped row of the page shown, oldest first.
    void startAll();
    void appendHistory(const QVariantMap &record);
    QString downloadTarget(const QVariantMap &item) const;
    // Moves a complete download into place and returns its path; empty when
    // the server refused (its "msg" in `refusal`) or the file cannot be saved.
    QString finishDownloadFile(const QString &tempPath, const QVariantMap &item, QString *refusal);
    // The row's tries since the user last started it, keyed "d" or "u" and the key.
    QHash<QString, int> attempts;
    std::unique_ptr<PartialDownloads> partials;
    QString queuePath;
    QTimer *queueSave = nullptr;

    QPushButton *uploadTab = nullptr;
    QPushButton *downloadTab = nullptr;
    QPushButton *historyTab = nullptr;
    QWidget *clearBar = nullptr;
    QWidget *startBar = nullptr;
    QTableView *downloadTable = nullptr;
    TransferModel *downloads = nullptr;
    QMap<QString, TransferProgress *> downloadProgress;
    QMap<QString, DownloadThread *> downloadThreads;
    QMutex mutex;
    QTableView *historyTable = nullptr;
    HistoryModel *history = nullptr;
    QTableView *uploadTable = nullptr;
    TransferModel *uploads = nullptr;
    TransferDelegate *delegate = nullptr;
    // Writes the history a moment after the last finished transfer.
    QTimer *historySave = nullptr;
    QMap<QString, TransferProgress *> uploadProgress;
    QMap<QString, UploadThread *> uploadThreads;

    QHash<QObject *, Run> runs;
    // Keys of the rows waiting for a place, in the order they were queued.
    QStringList downloadQueue;
    QStringList uploadQueue;
    // Finished rows due to leave: key, direction and the time they are due.
    struct Leaving
    {
        QString key;
        bool download = false;
        qint64 due = 0;
        quint64 serial = 0;
    };
    QList<Leaving> leaving;
    QTimer *leaveTimer = nullptr;
    quint64 nextSerial = 1;
};
