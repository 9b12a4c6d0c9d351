#include "core/httpthread.h"

#include <QEventLoop>

HttpThread::HttpThread(const QString &url, const FormParams &params, QObject *parent)
    : QThread(parent), url(url), params(params)
{
}

void HttpThread::run()
{
    const QVariantMap map =
        HttpCurl::instance()->postJson(url, params, timeoutSeconds, QStringLiteral("utf8")).toMap();
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

void HttpThread::post(const QString &url, const FormParams &params, QObject *context,
                      std::function<void(const QVariantMap &reply)> done, int timeoutSeconds)
{
    // The worker has no parent: it must outlive a context closed while the
    // request is out, and deletes itself when it ends.
    auto *thread = new HttpThread(url, params);
    thread->setTimeout(timeoutSeconds);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    // Queued into the context's thread; the connection ends with the context.
    connect(thread, &HttpThread::receiveJson, context,
            [done = std::move(done)](const QVariantMap &map) { done(map); });
    thread->start(QThread::InheritPriority);
}
