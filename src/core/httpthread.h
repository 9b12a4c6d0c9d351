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

signals:
    void receiveJson(QVariantMap map);

protected:
    void run() override;

private:
    QString url;
    FormParams params;
};
