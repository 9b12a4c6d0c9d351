// Hits of the full-text search: the listing entry made of each hit, and the
// name and summary as the result column draws them, plain text with the
// ranges the server marked. Every mark must lie inside its text.

#include "browse/searchhit.h"
#include "clientfuzz.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startClientFuzz(argc, argv);
    return 0;
}

namespace {

void checkMarks(const SearchHit::MarkedText &marked)
{
    for (const QTextLayout::FormatRange &range : marked.marks) {
        FUZZ_CHECK(range.start >= 0 && range.length > 0);
        FUZZ_CHECK(range.start + range.length <= marked.text.size());
        FUZZ_CHECK(range.format.foreground().color().isValid());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A whole reply, as the search dialog receives it.
    const QByteArray body =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const QVariantList hits = fuzzReply(body).value(QStringLiteral("data")).toList();
    for (const QVariant &value : hits) {
        const QVariantMap hit = value.toMap();
        const QVariantMap entry = SearchHit::toEntry(hit);
        // No tag is left in the name: no "<" with a ">" after it.
        const QString name = entry.value(QStringLiteral("fileName")).toString();
        const int open = name.indexOf(QLatin1Char('<'));
        FUZZ_CHECK(open < 0 || name.indexOf(QLatin1Char('>'), open) < 0);
        checkMarks(SearchHit::marked(hit.value(QStringLiteral("fileName")).toString(), false));
        checkMarks(SearchHit::summary(hit.value(QStringLiteral("summary")).toString()));
        SearchHit::rowHeight(hit);
    }
    // The bytes as one text too: the markup parser sees far more shapes this way.
    const QString text = QString::fromUtf8(body);
    checkMarks(SearchHit::marked(text, false));
    checkMarks(SearchHit::marked(text, true));
    checkMarks(SearchHit::summary(text));
    SearchHit::stripTags(text);
    return 0;
}
