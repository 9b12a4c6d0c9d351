#include "core/workerset.h"

void WorkerSet::start(QThread *worker)
{
    for (int i = workers.size() - 1; i >= 0; --i) {
        if (!workers.at(i))
            workers.removeAt(i);
    }
    workers.append(worker);
    worker->start(QThread::InheritPriority);
}

bool WorkerSet::isBusy() const
{
    for (const QPointer<QThread> &worker : workers) {
        if (worker && !worker->isFinished())
            return true;
    }
    return false;
}

void WorkerSet::waitAll()
{
    for (const QPointer<QThread> &worker : qAsConst(workers)) {
        if (worker)
            worker->wait();
    }
    workers.clear();
}
