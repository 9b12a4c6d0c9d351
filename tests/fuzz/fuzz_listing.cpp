// A folder listing filling the browsers' tables: the company library's and
// the net disk's (their columns differ), built once like in a session and
// filled again for every input. Each listed file also gets its place in the
// open-file cache, which must stay one file in the folder of its MD5.

#include "browse/companydocument.h"
#include "browse/droptablewidget.h"
#include "browse/netdisk.h"
#include "clientfuzz.h"
#include "core/gcore.h"

#include <QDir>
#include <QFileInfo>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startClientFuzz(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Never shown: the event loop never runs, so their start-up requests
    // (timers) never go out.
    static CompanyDocument *library = new CompanyDocument;
    static NetDisk *netDisk = new NetDisk;
    static const QString cache = QDir(GCore::cacheDir()).absolutePath();

    const QVariantMap reply =
        fuzzReply(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    const QVariantList entries = reply.value(QStringLiteral("data")).toList();
    const QString select = reply.value(QStringLiteral("select")).toString();
    for (DocumentBrowser *browser :
         {static_cast<DocumentBrowser *>(library), static_cast<DocumentBrowser *>(netDisk)}) {
        browser->fillTable(entries, select);
        FUZZ_CHECK(browser->table->rowCount() == entries.size());
        browser->selectedEntries();
    }

    for (const QVariant &value : entries) {
        const QVariantMap entry = value.toMap();
        const QString md5 = entry.value(QStringLiteral("md5")).toString();
        const QString path = DocumentBrowser::cachePath(md5, entry);
        if (path.isEmpty())
            continue;
        const QFileInfo info(path);
        FUZZ_CHECK(info.absolutePath() ==
                   QStringLiteral("%1/%2/%3").arg(cache, md5.toLower().left(2), md5.toLower()));
        FUZZ_CHECK(!info.fileName().isEmpty() && info.fileName() != QLatin1String("..") &&
                   info.fileName() != QLatin1String("."));
    }
    return 0;
}
