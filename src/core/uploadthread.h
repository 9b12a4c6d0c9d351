#pragma once

#include "core/httpcurl.h"

#include <QThread>
#include <QVariantMap>

// Runs one multipart upload of a local file off the interface thread.
class UploadThread : public QThread
{
    Q_OBJECT
public:
    UploadThread(const QString &url, const FormParams &params, const QString &fieldName,
                 const QString &filePath, TransferProgress *progress, QObject *parent = nullptr);

signals:
    void uploadFinished(QVariantMap map);
    void uploadTerminated();
    void uploadTerminated2(QVariantMap map);

protected:
    void run() override;

private:
    TransferProgress *progress = nullptr;
    QString url;
    FormParams params;
    QString fieldName;
    QString filePath;
};
