#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Writes whole files on a thread of its own, so that the interface thread
// never waits for a serialisation or for the disk. Each file is written
// through a temporary file and a rename (a crash leaves the old or the new
// contents, never half of one). Files are written in the order they were
// asked for; a file asked for again before its turn is written once, with the
// contents of the newest request.
class FileWriter
{
public:
    // Makes the contents; runs on the writer's thread, so it must only read
    // what it captured (implicitly shared Qt values captured by copy are fine).
    using Contents = std::function<QByteArray()>;

    static void write(const QString &path, Contents contents);
    // Returns once every write asked for so far is on disk.
    static void flush();
};
