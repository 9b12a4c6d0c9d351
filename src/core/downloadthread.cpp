#include "core/downloadthread.h"

#include <QFile>

DownloadThread::DownloadThread(const QString &url, const FormParams &params,
                               TransferProgress *progress, QObject *parent)
    : QThread(parent), progress(progress), url(url), params(params), postMode(true)
{
}

DownloadThread::DownloadThread(const QString &url, void *pt, QObject *parent)
    : QThread(parent), url(url), postMode(false), pt(pt)
{
}

DownloadThread::DownloadThread(const QString &url, const FormParams &params,
                               const QString &targetPath, TransferProgress *progress,
                               QObject *parent)
    : QThread(parent), progress(progress), url(url), params(params), postMode(true),
      targetPath(targetPath)
{
}

void DownloadThread::run()
{
    HttpCurl *http = HttpCurl::instance();
    if (!postMode) {
        const QByteArray bytes = http->getBytes(url, QString(), QString(), false);
        if (pt)
            emit downloadFinished2(bytes, pt);
        else
            emit downloadFinished(bytes);
        return;
    }
    const bool cancellable = progress != nullptr;
    if (!targetPath.isEmpty()) {
        const QString tempPath = http->downloadToFile(url, params, targetPath, progress);
        if (cancellable && !progress->isRunning()) {
            if (!tempPath.isEmpty())
                QFile::remove(tempPath);
            emit downloadTerminated();
        } else {
            emit fileFinished(tempPath);
        }
        return;
    }
    const QByteArray bytes = http->downloadBytes(url, params, progress);
    if (!cancellable || progress->isRunning())
        emit downloadFinished(bytes);
    else
        emit downloadTerminated();
}
