#include "core/httpthread.h"

HttpThread::HttpThread(const QString &url, const FormParams &params, QObject *parent)
    : QThread(parent), url(url), params(params)
{
}

void HttpThread::run()
{
    const QVariantMap map =
        HttpCurl::instance()->postJson(url, params, -1, QStringLiteral("utf8")).toMap();
    emit receiveJson(map);
}
