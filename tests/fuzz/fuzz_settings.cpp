// The settings file ("setting.json" in the data folder) as the client reads
// it at start-up: the server address every request is built from and the
// sign-in dialog's remembered name and enciphered password. Anybody who can
// write the file shapes it.

#include "clientfuzz.h"
#include "core/gcore.h"
#include "core/httpcurl.h"

#include <QFile>
#include <QUrl>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startClientFuzz(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString path = GCore::settingsFilePath();
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size));
    file.close();

    GCore *core = GCore::instance();
    const QVariantMap settings = core->readSettings();
    const QString url = core->serverUrl();
    if (!url.isEmpty())
        QUrl(url + QStringLiteral("/api/user/login.jf")).isValid();
    settings.value(QStringLiteral("username")).toString();
    settings.value(QStringLiteral("remember")).toBool();
    settings.value(QStringLiteral("autoLogin")).toBool();
    const QString stored = settings.value(QStringLiteral("pwd")).toString();
    if (!stored.isEmpty())
        QString::fromUtf8(HttpCurl::authCode(stored.toLatin1(), "DECODE"));
    // What is read back is written again unchanged on the next save.
    if (!settings.isEmpty()) {
        FUZZ_CHECK(core->writeSettings(settings));
        FUZZ_CHECK(core->readSettings() == settings);
    }
    return 0;
}
