#include "transfer/compare/builtincomparer.h"

#include "transfer/compare/comparethread.h"
#include "transfer/compare/comparewindow.h"

BuiltinComparer::BuiltinComparer(QObject *parent) : VersionComparer(parent) {}

BuiltinComparer::~BuiltinComparer()
{
    if (m_thread) {
        m_thread->disconnect(this);
        m_thread->stop();
        m_thread->wait();
    }
}

void BuiltinComparer::compare(const Versions &versions, QWidget *window)
{
    m_versions = versions;
    m_owner = window;
    m_thread = new CompareThread(versions, this);
    connect(m_thread, &QThread::finished, this, &BuiltinComparer::compared);
    m_thread->start(QThread::InheritPriority);
}

void BuiltinComparer::compared()
{
    CompareThread *thread = m_thread;
    if (!thread)
        return;
    const CompareThread::Result result = thread->result();
    thread->deleteLater();
    m_thread = nullptr;
    if (!result.ok) {
        emit finished(false, result.error);
        return;
    }
    auto *window = new CompareWindow(m_versions.fileName, m_versions.olderVersion,
                                     m_versions.newerVersion, m_owner);
    window->setComparison(result.older, result.newer, result.rows);
    window->show();
    window->raise();
    window->activateWindow();
    emit finished(true, QString());
}
