#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

struct zip;

// Reads members of a ZIP archive (the container of docx, pptx and odt files)
// through libzip, a piece at a time, with a bound on what one member may
// unpack to, so a hostile archive cannot fill memory or the disk.
class ZipReader
{
public:
    explicit ZipReader(const QString &path);
    ~ZipReader();
    ZipReader(const ZipReader &) = delete;
    ZipReader &operator=(const ZipReader &) = delete;

    bool isOpen() const { return archive != nullptr; }
    bool contains(const QString &name) const;

    // Hands the member's bytes to `sink` in pieces; false when the member is
    // missing, broken or larger than `limit` once unpacked.
    bool read(const QString &name, const std::function<void(const QByteArray &)> &sink,
              qint64 limit = kDefaultLimit) const;
    // The whole member (for the small ones: relationships, lists of parts).
    QByteArray readAll(const QString &name, qint64 limit = 16 * 1024 * 1024) const;

    static constexpr qint64 kDefaultLimit = 512LL * 1024 * 1024;

private:
    zip *archive = nullptr;
};
