#include "core/trustgate.h"

#include "core/httpcurl.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaMethod>
#include <QThread>

TrustGate::TrustGate()
{
    qRegisterMetaType<CertificateInfo>();
}

TrustGate *TrustGate::instance()
{
    // Made on the interface thread at start-up (the transport's first use),
    // so its queued calls run there.
    static TrustGate *const theInstance = [] {
        auto *gate = new TrustGate;
        if (QCoreApplication::instance())
            gate->moveToThread(QCoreApplication::instance()->thread());
        return gate;
    }();
    return theInstance;
}

bool TrustGate::ask(const CertificateInfo &info)
{
    const QString key = info.key();
    QMutexLocker lock(&mutex);
    if (ending || refused.contains(key) ||
        !isSignalConnected(QMetaMethod::fromSignal(&TrustGate::trustRequested)))
        return false;
    // Another call's question about this certificate may have been answered
    // while this call was reading it: its pin is in place already.
    const CertificatePin pin = HttpCurl::instance()->transportSettings().pins.value(info.server);
    if (!info.publicKeyPin.isEmpty() && pin.publicKey == info.publicKeyPin)
        return true;

    Question &question = questions[key];
    if (question.waiting == 0 && !question.decided) {
        queue.append(info);
        if (!showing) {
            showing = true;
            QMetaObject::invokeMethod(this, &TrustGate::showNext, Qt::QueuedConnection);
        }
    }
    ++question.waiting;

    const bool interfaceThread = QThread::currentThread() == thread();
    while (!questions[key].decided && !ending) {
        if (interfaceThread) {
            // The dialog needs this thread: wait in an event loop instead.
            lock.unlock();
            QEventLoop loop;
            connect(this, &TrustGate::answered, &loop, &QEventLoop::quit);
            loop.exec();
            lock.relock();
        } else {
            decided.wait(&mutex);
        }
    }
    Question &done = questions[key];
    const bool trusted = done.decided && done.trusted && !ending;
    if (--done.waiting == 0)
        questions.remove(key);
    return trusted;
}

void TrustGate::answer(const CertificateInfo &info, bool trusted)
{
    {
        QMutexLocker lock(&mutex);
        const QString key = info.key();
        if (questions.contains(key)) {
            questions[key].decided = true;
            questions[key].trusted = trusted;
        }
        if (!trusted)
            refused.insert(key);
        decided.wakeAll();
    }
    emit answered();
    QMetaObject::invokeMethod(this, &TrustGate::showNext, Qt::QueuedConnection);
}

void TrustGate::showNext()
{
    CertificateInfo next;
    {
        QMutexLocker lock(&mutex);
        if (queue.isEmpty() || ending) {
            showing = false;
            return;
        }
        next = queue.takeFirst();
    }
    emit trustRequested(next);
}

void TrustGate::resetRefusals()
{
    QMutexLocker lock(&mutex);
    refused.clear();
}

void TrustGate::shutDown()
{
    {
        QMutexLocker lock(&mutex);
        ending = true;
        queue.clear();
        decided.wakeAll();
    }
    emit answered();
}
