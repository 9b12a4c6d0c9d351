#include "core/downloadthread.h"

#include <QFile>
#include <QFileInfo>

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

DownloadThread::DownloadThread(const QString &url, const FormParams &params,
                               const PartDownload &part, const QString &md5,
                               TransferProgress *progress, QObject *parent)
    : QThread(parent), progress(progress), url(url), params(params), postMode(true), part(part),
      md5(md5.toLower()), partMode(true)
{
    qRegisterMetaType<PartDownload>();
}

void DownloadThread::run()
{
    HttpCurl *http = HttpCurl::instance();
    if (partMode) {
        http->downloadPart(url, params, part, progress);
        bool intact = true;
        if (part.outcome == PartDownload::Outcome::Complete &&
            !HttpCurl::isServerRefusalFile(part.path)) {
            const qint64 size = QFileInfo(part.path).size();
            intact = (part.serverTotal < 0 || size == part.serverTotal) &&
                     (md5.size() != 32 || HttpCurl::md5HexOfFile(part.path) == md5);
        }
        emit partFinished(part, intact);
        return;
    }
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
