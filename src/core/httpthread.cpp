#include "core/httpthread.h"

#include <QEventLoop>

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

QVariantMap HttpThread::waitFor(const QString &url, const FormParams &params)
{
    QEventLoop loop;
    QVariantMap reply;
    auto *thread = new HttpThread(url, params);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &HttpThread::receiveJson, &loop, [&](QVariantMap map) {
        reply = map;
        loop.quit();
    });
    thread->start(QThread::InheritPriority);
    loop.exec();
    return reply;
}
