// The personal desktop's lists: the eight left-bar lists (records with a
// "files" list, or files themselves), the frequent and latest files and the
// announcements of the ticker. The same reply is read as each of them. A
// picture request names its user in one query value, whatever the id holds.

#include "clientfuzz.h"
#include "core/gcore.h"
#include "desk/daytext.h"
#include "desk/userdesktop.h"

#include <QUrl>
#include <QUrlQuery>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startClientFuzz(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QVariantMap reply =
        fuzzReply(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    for (int entry = 0; entry < UserDesktop::leftListCount; ++entry) {
        for (const UserDesktop::LeftRow &row : UserDesktop::leftRows(entry, reply)) {
            GCore::fileIconPath(row.file);
            row.file.value(QStringLiteral("fileName")).toString();
            if (row.avatarUser.isEmpty())
                continue;
            const QUrl url(QStringLiteral("http://127.0.0.1:1/api/user/user-thumb.jf?userId=%1")
                               .arg(QString::fromLatin1(QUrl::toPercentEncoding(row.avatarUser))));
            FUZZ_CHECK(url.isValid());
            FUZZ_CHECK(url.path() == QLatin1String("/api/user/user-thumb.jf"));
            const QUrlQuery query(url);
            FUZZ_CHECK(query.queryItems().size() == 1);
        }
    }
    const QVariantList list = reply.value(QStringLiteral("data")).toList();
    for (const QVariant &value : list) {
        const QVariantMap item = value.toMap();
        GCore::fileIconPath(item);
        dayText(item.value(QStringLiteral("createTime")));
        const QString title = item.value(QStringLiteral("title")).toString();
        const QString ticker =
            QStringLiteral("%1 (%2)").arg(title, dayText(item.value(QStringLiteral("noticeTime"))));
        FUZZ_CHECK(ticker.startsWith(title));
    }
    return 0;
}
