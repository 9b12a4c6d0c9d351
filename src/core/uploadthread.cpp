#include "core/uploadthread.h"

#include <QDebug>
#include <QJsonDocument>

UploadThread::UploadThread(const QString &url, const FormParams &params, const QString &fieldName,
                           const QString &filePath, TransferProgress *progress, QObject *parent)
    : QThread(parent), progress(progress), url(url), params(params), fieldName(fieldName),
      filePath(filePath)
{
}

void UploadThread::run()
{
    bool networkFault = false;
    const QByteArray reply =
        HttpCurl::instance()->uploadFile(url, fieldName, filePath, params, progress, &networkFault);
    fault.store(networkFault);
    qDebug() << __FILE__ << __LINE__ << "upload reply" << reply.left(1000);
    const QVariant value = HttpCurl::parseJson(reply).toVariant();
    HttpCurl::logJson(value, __FILE__, __LINE__);
    const QVariantMap map = value.toMap();
    if (!progress || progress->isRunning()) {
        emit uploadFinished(map);
    } else {
        emit uploadTerminated();
        emit uploadTerminated2(map);
    }
}
