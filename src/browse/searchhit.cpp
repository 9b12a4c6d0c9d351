#include "browse/searchhit.h"

#include "core/gcore.h"
#include "core/httpcurl.h"

#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QPixmap>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

// Replaces the character references a server's HTML escaping produces by
// their characters; anything else stays as it is.
QString decodeEntities(const QString &text)
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

QString escapedText(const QString &text, bool entities)
{
    return (entities ? decodeEntities(text) : text).toHtmlEscaped();
}

// A pixmap per icon file, already at the 18 x 18 the rows show.
QPixmap smallIcon(const QString &path)
{
    static QHash<QString, QPixmap> icons;
    auto it = icons.find(path);
    if (it == icons.end())
        it = icons.insert(
            path, QPixmap(path).scaled(18, 18, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    return it.value();
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

QString markedHtml(const QString &text, bool decodeEntities)
{
    static const QRegularExpression markOpen(
        QStringLiteral("^<font\\s+color\\s*=\\s*([\"']?)(#[0-9a-f]{3}|#[0-9a-f]{6}|[a-z]{1,20})"
                       "\\1\\s*>$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression markClose(QStringLiteral("^</font\\s*>$"),
                                              QRegularExpression::CaseInsensitiveOption);
    QString out;
    out.reserve(text.size() + text.size() / 4);
    int open = 0; // marking tags not yet closed
    int at = 0;
    while (at < text.size()) {
        const int close = text.indexOf(QLatin1Char('>'), at);
        // A tag runs from the last "<" before its ">"; earlier "<" are text.
        const int start = close < 0 ? -1 : text.lastIndexOf(QLatin1Char('<'), close);
        if (start < at) {
            const int end = close < 0 ? text.size() : close + 1;
            out += escapedText(text.mid(at, end - at), decodeEntities);
            at = end;
            continue;
        }
        out += escapedText(text.mid(at, start - at), decodeEntities);
        const QString tag = text.mid(start, close - start + 1);
        const QRegularExpressionMatch mark = markOpen.match(tag);
        if (mark.hasMatch()) {
            out += QStringLiteral("<font color=\"%1\">").arg(mark.captured(2));
            ++open;
        } else if (open > 0 && markClose.match(tag).hasMatch()) {
            out += QLatin1String("</font>");
            --open;
        } else {
            out += tag.toHtmlEscaped();
        }
        at = close + 1;
    }
    while (open-- > 0)
        out += QLatin1String("</font>");
    return out;
}

QString summaryHtml(const QString &summary)
{
    QString text = summary;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1String("<br/>"), QLatin1String(" "))
        .replace(QLatin1String("<br>"), QLatin1String(" "));
    return markedHtml(text, true);
}

int rowHeight(const QVariantMap &hit)
{
    return hit.value(QStringLiteral("summary")).toString().trimmed().isEmpty() ? 40 : 62;
}

QWidget *makeRowWidget(const QVariantMap &hit, const QVariantMap &entry, QWidget *parent)
{
    auto *cell = new QWidget(parent);
    cell->setAttribute(Qt::WA_TransparentForMouseEvents);
    cell->setProperty("map", entry);
    auto *layout = new QVBoxLayout(cell);
    layout->setContentsMargins(12, 0, 0, 4);
    layout->setSpacing(0);

    auto *head = new QHBoxLayout;
    head->setContentsMargins(0, 0, 0, 0);
    head->setSpacing(4);
    auto *icon = new QLabel(cell);
    icon->setFixedSize(18, 18);
    icon->setPixmap(smallIcon(GCore::fileIconPath(entry)));
    head->addWidget(icon);
    auto *title = new QLabel(cell);
    title->setTextFormat(Qt::RichText);
    title->setTextInteractionFlags(Qt::NoTextInteraction);
    title->setFixedHeight(20);
    title->setStyleSheet(
        QStringLiteral(".QLabel {font-size:10pt;color:#2494f2;font-weight:bold;}"));
    title->setText(markedHtml(hit.value(QStringLiteral("fileName")).toString(), false));
    head->addWidget(title, 1);
    layout->addLayout(head);
    cell->setProperty("title", QVariant::fromValue<QObject *>(title));

    const QString summary = hit.value(QStringLiteral("summary")).toString();
    if (!summary.trimmed().isEmpty()) {
        auto *text = new QLabel(cell);
        text->setTextFormat(Qt::RichText);
        text->setTextInteractionFlags(Qt::NoTextInteraction);
        text->setWordWrap(true);
        text->setIndent(22);
        text->setStyleSheet(QStringLiteral(".QLabel {color:#888;font-size:10pt;}"));
        text->setText(summaryHtml(summary));
        layout->addWidget(text);
    }
    layout->addStretch();
    return cell;
}

} // namespace SearchHit
