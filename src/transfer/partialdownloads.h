#pragma once

#include <QHash>
#include <QString>
#include <QVariantMap>

// The partial files of downloads not yet complete, recorded in a small file of
// the data folder, so that a download stopped, failed or cut by the end of the
// program continues from the bytes it holds. A record names the server's file
// (server, area, id, and the size, MD5 and version the listing gave), the
// partial file beside the target, and the whole size the server announced.
class PartialDownloads
{
public:
    struct Record
    {
        QString partPath;
        QString target;
        qint64 length = -1;
        QString md5;
        QString version;
        // The whole size an answer announced; -1 until one did.
        qint64 total = -1;
    };

    explicit PartialDownloads(const QString &filePath);

    static QString keyOf(const QString &server, int type, const QString &fileId);
    // The record of `key` when it still describes `item` saved to `target`
    // and its partial file exists; otherwise any stale record and its file
    // are removed and an empty record returned.
    Record usable(const QString &key, const QVariantMap &item, const QString &target);
    static Record recordFor(const QVariantMap &item, const QString &target);
    void put(const QString &key, const Record &record);
    // Forgets the record; its partial file goes too unless `keepFile`.
    void remove(const QString &key, bool keepFile = false);
    bool contains(const QString &key) const { return records.contains(key); }

private:
    void save() const;

    QString filePath;
    QHash<QString, Record> records;
};
