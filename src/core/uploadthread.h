#pragma once

#include "core/httpcurl.h"

#include <QThread>
#include <QVariantMap>

#include <atomic>

// Runs one multipart upload of a local file off the interface thread.
class UploadThread : public QThread
{
    Q_OBJECT
public:
    UploadThread(const QString &url, const FormParams &params, const QString &fieldName,
                 const QString &filePath, TransferProgress *progress, QObject *parent = nullptr);

    // After uploadFinished: whether an empty answer came from a failed
    // connection (worth trying again) rather than from the server.
    bool networkFault() const { return fault.load(); }

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
    std::atomic<bool> fault{false};
};
