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

void WorkerSet::waitAll()
{
    for (const QPointer<QThread> &worker : qAsConst(workers)) {
        if (worker)
            worker->wait();
    }
    workers.clear();
}
