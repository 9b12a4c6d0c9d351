#pragma once

#include "core/httpcurl.h"

#include <QByteArray>
#include <QThread>

// Runs one download off the interface thread. POST mode returns the body in
// memory, GET mode fetches small things such as pictures, and file mode streams
// the body to a temporary file beside a target path.
class DownloadThread : public QThread
{
    Q_OBJECT
public:
    // POST mode: the body in memory, with progress and cancellation.
    DownloadThread(const QString &url, const FormParams &params, TransferProgress *progress,
                   QObject *parent = nullptr);
    // GET mode: `pt` lets one receiver tell several downloads apart.
    DownloadThread(const QString &url, void *pt, QObject *parent = nullptr);
    // File mode: streams to a temporary file beside `targetPath`; emits
    // fileFinished(tempPath) (empty on failure) or downloadTerminated().
    DownloadThread(const QString &url, const FormParams &params, const QString &targetPath,
                   TransferProgress *progress, QObject *parent = nullptr);
    // Part mode: continues or writes the partial file of `part` and emits
    // partFinished with its outcome; the file stays whatever became of it.
    // A complete file is checked against the size the answer announced and
    // against `md5` when given: `intact` tells whether it passed (a server's
    // refusal in place of the file passes; the receiver tells it apart).
    DownloadThread(const QString &url, const FormParams &params, const PartDownload &part,
                   const QString &md5, TransferProgress *progress, QObject *parent = nullptr);

signals:
    void downloadFinished(QByteArray data);
    void downloadFinished2(QByteArray data, void *pt);
    void downloadTerminated();
    void fileFinished(QString tempPath);
    void partFinished(PartDownload part, bool intact);

protected:
    void run() override;

private:
    TransferProgress *progress = nullptr;
    QString url;
    FormParams params;
    bool postMode = true;
    void *pt = nullptr;
    QString targetPath;
    PartDownload part;
    QString md5;
    bool partMode = false;
};

Q_DECLARE_METATYPE(PartDownload)
