#pragma once

#include "core/httpcurl.h"

#include <QThread>
#include <QVariantMap>

#include <functional>

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

    // For the short requests of the windows that go on with the answer: runs
    // the request on a worker and calls `done` with the reply map on the
    // thread of `context` once it arrives, without any local event loop. A
    // `context` destroyed meanwhile never hears of the late reply. The caller
    // disables the inputs that would send the same request again.
    // `timeoutSeconds` -1 is the transport's default limit.
    static void post(const QString &url, const FormParams &params, QObject *context,
                     std::function<void(const QVariantMap &reply)> done, int timeoutSeconds = -1);

    // The whole-request limit in seconds (-1, the default: the transport's).
    void setTimeout(int seconds) { timeoutSeconds = seconds; }

signals:
    void receiveJson(QVariantMap map);

protected:
    void run() override;

private:
    QString url;
    FormParams params;
    int timeoutSeconds = -1;
};
