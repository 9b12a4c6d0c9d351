#pragma once

#include "core/httpcurl.h"

#include <QThread>
#include <QVariantMap>

// Runs one JSON form request off the interface thread and emits the decoded
// reply map (empty when the server was unreachable or answered no JSON object).
class HttpThread : public QThread
{
    Q_OBJECT
public:
    HttpThread(const QString &url, const FormParams &params, QObject *parent = nullptr);

    // For the short save requests of dialogs, which return their answer to
    // the caller: runs the request on a worker and waits for its reply (at
    // most the transport's time-out) in a local event loop, so the windows
    // keep painting meanwhile. The caller disables its own inputs for the wait.
    static QVariantMap waitFor(const QString &url, const FormParams &params);

signals:
    void receiveJson(QVariantMap map);

protected:
    void run() override;

private:
    QString url;
    FormParams params;
};
