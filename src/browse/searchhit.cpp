#include "browse/searchhit.h"

#include "core/httpcurl.h"

#include <QColor>
#include <QPair>
#include <QRegularExpression>

namespace {

// Replaces the character references a server's HTML escaping produces by
// their characters; anything else stays as it is.
QString decodedEntities(const QString &text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString out;
    out.reserve(text.size());
    int at = 0;
    while (at < text.size()) {
        const int amp = text.indexOf(QLatin1Char('&'), at);
        const int semi = amp < 0 ? -1 : text.indexOf(QLatin1Char(';'), amp);
        if (amp < 0 || semi < 0) {
            out += text.midRef(at);
            break;
        }
        out += text.midRef(at, amp - at);
        const QStringRef name = text.midRef(amp + 1, semi - amp - 1);
        uint code = 0;
        if (name == QLatin1String("lt"))
            code = '<';
        else if (name == QLatin1String("gt"))
            code = '>';
        else if (name == QLatin1String("amp"))
            code = '&';
        else if (name == QLatin1String("quot"))
            code = '"';
        else if (name == QLatin1String("apos"))
            code = '\'';
        else if (name == QLatin1String("nbsp"))
            code = 0xA0;
        else if (name.startsWith(QLatin1Char('#')) && name.size() > 1 && name.size() <= 8) {
            bool ok = false;
            const bool hex = name.at(1) == QLatin1Char('x') || name.at(1) == QLatin1Char('X');
            code = name.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            // Only characters a text may hold: no controls, surrogates or beyond Unicode.
            if (!ok || code < 0x20 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
                code = 0;
        }
        if (code == 0) {
            out += QLatin1Char('&');
            at = amp + 1;
            continue;
        }
        const char32_t character = code;
        out += QString::fromUcs4(&character, 1);
        at = semi + 1;
    }
    return out;
}

} // namespace

namespace SearchHit {

QVariantMap toEntry(const QVariantMap &hit)
{
    QVariantMap entry = hit;
    entry.insert(QStringLiteral("fileType"), 2);
    entry.insert(QStringLiteral("searchType"), 1);
    entry.insert(QStringLiteral("fileExtend"), hit.value(QStringLiteral("fileExt")));
    const QVariant bytes = hit.value(QStringLiteral("fileLength"));
    entry.insert(QStringLiteral("length"), bytes);
    entry.insert(QStringLiteral("fileLength"), HttpCurl::formatSize(bytes.toLongLong()));
    entry.insert(QStringLiteral("fileName"),
                 stripTags(hit.value(QStringLiteral("fileName")).toString()));
    return entry;
}

QString stripTags(const QString &text)
{
    if (!text.contains(QLatin1Char('<')))
        return text;
    QString out;
    out.reserve(text.size());
    int at = 0;
    for (;;) {
        const int open = text.indexOf(QLatin1Char('<'), at);
        const int close = open < 0 ? -1 : text.indexOf(QLatin1Char('>'), open);
        if (close < 0) {
            out += text.midRef(at);
            return out;
        }
        out += text.midRef(at, open - at);
        at = close + 1;
    }
}

MarkedText marked(const QString &source, bool decodeEntities)
{
    static const QRegularExpression markOpen(
        QStringLiteral("^<font\\s+color\\s*=\\s*([\"']?)(#[0-9a-f]{3}|#[0-9a-f]{6}|[a-z]{1,20})"
                       "\\1\\s*>$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression markClose(QStringLiteral("^</font\\s*>$"),
                                              QRegularExpression::CaseInsensitiveOption);
    MarkedText out;
    out.text.reserve(source.size());
    // Marks not yet closed: where each began and its colour.
    QVector<QPair<int, QColor>> open;
    const auto addText = [&](const QString &part) {
        out.text += decodeEntities ? decodedEntities(part) : part;
    };
    // Nested marks: the inner one comes later in the list and is drawn over the outer.
    const auto closeMark = [&] {
        const QPair<int, QColor> begun = open.takeLast();
        QTextLayout::FormatRange range;
        range.start = begun.first;
        range.length = out.text.size() - begun.first;
        range.format.setForeground(begun.second);
        if (range.length > 0)
            out.marks.append(range);
    };
    int at = 0;
    while (at < source.size()) {
        const int close = source.indexOf(QLatin1Char('>'), at);
        // A tag runs from the last "<" before its ">"; earlier "<" are text.
        const int start = close < 0 ? -1 : source.lastIndexOf(QLatin1Char('<'), close);
        if (start < at) {
            const int end = close < 0 ? source.size() : close + 1;
            addText(source.mid(at, end - at));
            at = end;
            continue;
        }
        addText(source.mid(at, start - at));
        const QString tag = source.mid(start, close - start + 1);
        const QRegularExpressionMatch mark = markOpen.match(tag);
        if (mark.hasMatch()) {
            const QColor color(mark.captured(2));
            open.append({out.text.size(), color.isValid() ? color : QColor(0xe4, 0x39, 0x3c)});
        } else if (!open.isEmpty() && markClose.match(tag).hasMatch()) {
            closeMark();
        } else {
            addText(tag);
        }
        at = close + 1;
    }
    while (!open.isEmpty())
        closeMark();
    return out;
}

MarkedText summary(const QString &source)
{
    QString text = source;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1String("<br/>"), QLatin1String(" "))
        .replace(QLatin1String("<br>"), QLatin1String(" "));
    return marked(text, true);
}

int rowHeight(const QVariantMap &hit)
{
    return hit.value(QStringLiteral("summary")).toString().trimmed().isEmpty() ? 40 : 62;
}

} // namespace SearchHit
