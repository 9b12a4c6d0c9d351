#pragma once

#include <QList>
#include <QPointer>
#include <QThread>

// The workers one widget started and that still write into its progress
// records. A worker deletes itself when done; before the records go, the
// widget waits for the ones left.
class WorkerSet
{
public:
    // Starts `worker` with inherited priority and remembers it.
    void start(QThread *worker);
    // Waits for every worker that still exists (cancel them first).
    void waitAll();

private:
    QList<QPointer<QThread>> workers;
};
