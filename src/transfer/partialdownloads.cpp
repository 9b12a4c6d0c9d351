#include "transfer/partialdownloads.h"

#include "core/httpcurl.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

qint64 lengthOf(const QVariantMap &item)
{
    bool ok = false;
    const qint64 n = item.value(QStringLiteral("length")).toLongLong(&ok);
    return ok ? n : -1;
}

} // namespace

PartialDownloads::PartialDownloads(const QString &filePath) : filePath(filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject all = HttpCurl::parseJson(file.readAll()).object();
    for (auto it = all.begin(); it != all.end(); ++it) {
        const QVariantMap m = it.value().toObject().toVariantMap();
        Record r;
        r.partPath = m.value(QStringLiteral("partPath")).toString();
        r.target = m.value(QStringLiteral("target")).toString();
        r.length = m.value(QStringLiteral("length"), -1).toLongLong();
        r.md5 = m.value(QStringLiteral("md5")).toString();
        r.version = m.value(QStringLiteral("version")).toString();
        r.total = m.value(QStringLiteral("total"), -1).toLongLong();
        // Only partial files: a record never points the client at another file.
        if (r.partPath.endsWith(QLatin1String(".part")))
            records.insert(it.key(), r);
    }
}

QString PartialDownloads::keyOf(const QString &server, int type, const QString &fileId)
{
    return server + QLatin1Char('|') + QString::number(type) + QLatin1Char('|') + fileId;
}

PartialDownloads::Record PartialDownloads::recordFor(const QVariantMap &item, const QString &target)
{
    Record r;
    r.target = target;
    r.length = lengthOf(item);
    r.md5 = item.value(QStringLiteral("md5")).toString();
    r.version = item.value(QStringLiteral("version")).toString();
    return r;
}

PartialDownloads::Record PartialDownloads::usable(const QString &key, const QVariantMap &item,
                                                  const QString &target)
{
    const auto it = records.constFind(key);
    if (it == records.constEnd())
        return Record();
    const Record wanted = recordFor(item, target);
    const Record &held = *it;
    // Another folder, or the server's file changed since: its bytes are of no use.
    if (held.target == wanted.target && held.length == wanted.length && held.md5 == wanted.md5 &&
        held.version == wanted.version && QFileInfo(held.partPath).isFile())
        return held;
    remove(key);
    return Record();
}

void PartialDownloads::put(const QString &key, const Record &record)
{
    records.insert(key, record);
    save();
}

void PartialDownloads::remove(const QString &key, bool keepFile)
{
    const auto it = records.find(key);
    if (it == records.end())
        return;
    if (!keepFile)
        QFile::remove(it->partPath);
    records.erase(it);
    save();
}

void PartialDownloads::save() const
{
    QJsonObject all;
    for (auto it = records.constBegin(); it != records.constEnd(); ++it) {
        all.insert(it.key(), QJsonObject{{QStringLiteral("partPath"), it->partPath},
                                         {QStringLiteral("target"), it->target},
                                         {QStringLiteral("length"), double(it->length)},
                                         {QStringLiteral("md5"), it->md5},
                                         {QStringLiteral("version"), it->version},
                                         {QStringLiteral("total"), double(it->total)}});
    }
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QJsonDocument(all).toJson(QJsonDocument::Compact));
    file.commit();
}
