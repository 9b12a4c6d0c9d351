// A download's first bytes decide whether the server refused it: a body under
// 3000 bytes that is a JSON object with "code". Checked in memory and on the
// downloaded file, which must agree; the transfer panel then shows the
// refusal's "msg". A download that is no refusal is saved under the server's
// file name made safe, which must stay one name inside the chosen folder.

#include "clientfuzz.h"
#include "core/gcore.h"
#include "core/httpcurl.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startClientFuzz(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("download.part"));
    // The body, then (after a NUL) the name the listing gave the file.
    const QList<QByteArray> parts = fuzzParts(data, size, 2);
    const QByteArray body = parts.first();
    const bool refused = HttpCurl::isServerRefusal(body);
    if (refused) {
        FUZZ_CHECK(body.size() < 3000);
        QJsonDocument::fromJson(body).object().value(QStringLiteral("msg")).toString();
    }

    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(body) == body.size());
    file.close();
    FUZZ_CHECK(HttpCurl::isServerRefusalFile(path) == refused);

    const QString serverName = QString::fromUtf8(parts.last());
    const QString name = safeFileName(serverName);
    FUZZ_CHECK(!name.isEmpty() && name.size() <= 200);
    FUZZ_CHECK(name != QLatin1String(".") && name != QLatin1String(".."));
    FUZZ_CHECK(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')));
    FUZZ_CHECK(QFileInfo(QDir(dir.path()).filePath(name)).absolutePath() == dir.path());
    // Windows drops trailing dots and blanks, and a half surrogate pair is no
    // character: the name on disk would differ from the one checked here.
    FUZZ_CHECK(!name.endsWith(QLatin1Char('.')) && !name.endsWith(QLatin1Char(' ')));
    FUZZ_CHECK(!name.back().isHighSurrogate());
    return 0;
}
