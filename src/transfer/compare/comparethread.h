#pragma once

#include "transfer/compare/textdiff.h"
#include "transfer/compare/versioncomparer.h"

#include <QThread>

#include <atomic>

// Reads the text of two versions (after LibreOffice's conversion where the
// format needs it) and compares them, off the interface thread. The result
// is read once the thread has finished.
class CompareThread : public QThread
{
    Q_OBJECT
public:
    struct Result
    {
        bool ok = false;
        QString error;
        QStringList older;
        QStringList newer;
        QVector<TextDiff::Row> rows;
    };

    explicit CompareThread(const VersionComparer::Versions &versions, QObject *parent = nullptr);

    // Valid after finished().
    const Result &result() const { return m_result; }
    // Asks a running comparison to stop at its next step.
    void stop() { m_stop = true; }

    // The whole work, on the calling thread (the benchmark times it alone).
    static Result run(const VersionComparer::Versions &versions,
                      const std::atomic<bool> *stop = nullptr);

protected:
    void run() override;

private:
    VersionComparer::Versions m_versions;
    Result m_result;
    std::atomic<bool> m_stop{false};
};
