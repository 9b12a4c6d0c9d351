#pragma once

#include <QByteArray>
#include <QFile>

// Reading the benchmark process's own memory from /proc (Linux): the current
// and peak resident set, and a reset of the peak so that a reading covers only
// the work that follows.
namespace peakrss {

// A "VmRSS:"-style line of /proc/self/status in KiB, or -1.
inline qint64 statusKb(const char *key)
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// Resets the peak RSS so the next reading covers only what follows.
inline void resetPeak()
{
    QFile file(QStringLiteral("/proc/self/clear_refs"));
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

} // namespace peakrss
