#include "transfer/compare/zipreader.h"

#include <QFile>

#include <zip.h>

ZipReader::ZipReader(const QString &path)
{
    int error = 0;
    archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
}

ZipReader::~ZipReader()
{
    if (archive)
        zip_discard(archive);
}

bool ZipReader::contains(const QString &name) const
{
    return archive && zip_name_locate(archive, name.toUtf8().constData(), 0) >= 0;
}

bool ZipReader::read(const QString &name, const std::function<void(const QByteArray &)> &sink,
                     qint64 limit) const
{
    if (!archive)
        return false;
    struct FileCloser
    {
        void operator()(zip_file_t *f) const { zip_fclose(f); }
    };
    std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen(archive, name.toUtf8().constData(), 0));
    if (!file)
        return false;
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), buffer.data(), zip_uint64_t(buffer.size()));
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        total += n;
        if (total > limit)
            return false;
        sink(QByteArray(buffer.constData(), int(n)));
    }
}

QByteArray ZipReader::readAll(const QString &name, qint64 limit) const
{
    QByteArray out;
    if (!read(
            name, [&out](const QByteArray &piece) { out.append(piece); }, limit))
        return QByteArray();
    return out;
}
