// The transfer history ("history.json" in the data folder) as the transfer
// panel loads it at start-up: the records, the size texts of older versions
// cleaned, and what each history row shows. A history saved again must load
// as as many records.

#include "clientfuzz.h"
#include "core/gcore.h"
#include "transfer/transferpanel.h"

#include <QDateTime>
#include <QJsonDocument>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startClientFuzz(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bool cleaned = false;
    const QVariantList records = TransferPanel::readHistory(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)), &cleaned);
    for (const QVariant &entry : records) {
        const QVariantMap record = entry.toMap();
        GCore::fileIconPath(record);
        record.value(QStringLiteral("fileName")).toString();
        record.value(QStringLiteral("fileLength")).toString();
        QDateTime::fromMSecsSinceEpoch(record.value(QStringLiteral("handleTime")).toLongLong())
            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        record.value(QStringLiteral("type")).toInt();
    }

    bool again = true;
    const QVariantList saved = TransferPanel::readHistory(
        QJsonDocument::fromVariant(records).toJson(QJsonDocument::Indented), &again);
    FUZZ_CHECK(saved.size() == records.size());
    return 0;
}
