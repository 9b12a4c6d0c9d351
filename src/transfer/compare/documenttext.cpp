#include "transfer/compare/documenttext.h"

#include "transfer/compare/zipreader.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QTextCodec>
#include <QVector>
#include <QXmlStreamReader>

#include <functional>

namespace {

constexpr qint64 kMaxPlainTextBytes = 256LL * 1024 * 1024;

const QString kWordNs =
    QStringLiteral("http://schemas.openxmlformats.org/wordprocessingml/2006/main");
const QString kDrawingNs = QStringLiteral("http://schemas.openxmlformats.org/drawingml/2006/main");
const QString kOdfTextNs = QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QString kRelNs =
    QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");

// Collects paragraphs from an XML part handed over in pieces. The format's
// rules say which elements are paragraphs, which carry text, which stand for
// a space and which subtrees to skip; paragraphs may nest (a text box inside
// a paragraph), and text goes to the innermost one.
class ParagraphCollector
{
public:
    struct Rules
    {
        QString ns;
        QStringList paragraphs;    // elements that make a paragraph
        QStringList textElements;  // elements whose characters are text (empty: all characters)
        QStringList spaceElements; // elements that stand for a space
        QStringList tabElements;   // elements that stand for a tab
        QStringList skipped;       // subtrees whose text is not part of the document
    };

    ParagraphCollector(const Rules &rules, QStringList *out) : rules(rules), out(out) {}

    void feed(const QByteArray &piece)
    {
        xml.addData(piece);
        drain();
    }
    bool finish()
    {
        drain();
        return !failed && xml.atEnd() && xml.error() == QXmlStreamReader::NoError;
    }

private:
    void drain()
    {
        while (!failed && !xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::Invalid) {
                if (xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
                    failed = true;
                return;
            }
            handle(token);
        }
    }

    void handle(QXmlStreamReader::TokenType token)
    {
        const bool ours = xml.namespaceUri() == rules.ns;
        const QStringRef name = xml.name();
        if (token == QXmlStreamReader::StartElement) {
            // A markup-compatibility fallback repeats its choice's text.
            if (skipDepth > 0 || (ours && rules.skipped.contains(name)) ||
                name == QLatin1String("Fallback")) {
                ++skipDepth;
                return;
            }
            if (!ours)
                return;
            if (rules.paragraphs.contains(name)) {
                open.append(QString());
            } else if (!open.isEmpty()) {
                if (rules.textElements.contains(name))
                    ++textDepth;
                else if (rules.spaceElements.contains(name))
                    open.last() += QLatin1Char(' ');
                else if (rules.tabElements.contains(name))
                    open.last() += QLatin1Char('\t');
                else if (name == QLatin1String("s")) // ODF: a run of spaces
                    open.last() += QString(
                        qBound(1, xml.attributes().value(rules.ns, QStringLiteral("c")).toInt(),
                               1000),
                        QLatin1Char(' '));
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (skipDepth > 0) {
                --skipDepth;
                return;
            }
            if (!ours)
                return;
            if (rules.paragraphs.contains(name) && !open.isEmpty()) {
                const QString text = open.takeLast().trimmed();
                if (!text.isEmpty())
                    out->append(text);
            } else if (rules.textElements.contains(name) && textDepth > 0) {
                --textDepth;
            }
        } else if (token == QXmlStreamReader::Characters && skipDepth == 0 && !open.isEmpty()) {
            if (rules.textElements.isEmpty() || textDepth > 0)
                open.last() += xml.text();
        }
    }

    Rules rules;
    QStringList *out;
    QXmlStreamReader xml;
    QStringList open;
    int textDepth = 0;
    int skipDepth = 0;
    bool failed = false;
};

bool collect(const ZipReader &zip, const QString &member, const ParagraphCollector::Rules &rules,
             QStringList *paragraphs)
{
    ParagraphCollector collector(rules, paragraphs);
    if (!zip.read(member, [&collector](const QByteArray &piece) { collector.feed(piece); }))
        return false;
    return collector.finish();
}

bool readDocx(const ZipReader &zip, QStringList *paragraphs)
{
    ParagraphCollector::Rules rules;
    rules.ns = kWordNs;
    rules.paragraphs = QStringList{QStringLiteral("p")};
    rules.textElements = QStringList{QStringLiteral("t")};
    rules.spaceElements = QStringList{QStringLiteral("br"), QStringLiteral("cr")};
    rules.tabElements = QStringList{QStringLiteral("tab")};
    // Deleted text under change tracking is "delText", never "t"; the
    // previous state of a changed paragraph's properties is skipped whole.
    rules.skipped = QStringList{QStringLiteral("pPrChange"), QStringLiteral("rPrChange")};
    return collect(zip, QStringLiteral("word/document.xml"), rules, paragraphs);
}

// Slide parts in the order of the presentation's slide list.
QStringList slideParts(const ZipReader &zip)
{
    QHash<QString, QString> targets;
    QXmlStreamReader rels(zip.readAll(QStringLiteral("ppt/_rels/presentation.xml.rels")));
    while (!rels.atEnd()) {
        rels.readNext();
        if (rels.isStartElement() && rels.name() == QLatin1String("Relationship"))
            targets.insert(rels.attributes().value(QStringLiteral("Id")).toString(),
                           rels.attributes().value(QStringLiteral("Target")).toString());
    }
    QStringList parts;
    QXmlStreamReader list(zip.readAll(QStringLiteral("ppt/presentation.xml")));
    while (!list.atEnd()) {
        list.readNext();
        if (list.isStartElement() && list.name() == QLatin1String("sldId")) {
            const QString target =
                targets.value(list.attributes().value(kRelNs, QStringLiteral("id")).toString());
            if (target.isEmpty())
                continue;
            const QString part = target.startsWith(QLatin1Char('/'))
                                     ? target.mid(1)
                                     : QDir::cleanPath(QStringLiteral("ppt/") + target);
            parts << part;
        }
    }
    if (!parts.isEmpty())
        return parts;
    // Without a usable list: slideN.xml by number.
    QMap<int, QString> numbered;
    for (int n = 1; n <= 10000; ++n) {
        const QString part = QStringLiteral("ppt/slides/slide%1.xml").arg(n);
        if (!zip.contains(part))
            break;
        numbered.insert(n, part);
    }
    return numbered.values();
}

bool readPptx(const ZipReader &zip, QStringList *paragraphs)
{
    ParagraphCollector::Rules rules;
    rules.ns = kDrawingNs;
    rules.paragraphs = QStringList{QStringLiteral("p")};
    rules.textElements = QStringList{QStringLiteral("t")};
    rules.spaceElements = QStringList{QStringLiteral("br")};
    const QStringList parts = slideParts(zip);
    if (parts.isEmpty())
        return false;
    for (const QString &part : parts) {
        if (!collect(zip, part, rules, paragraphs))
            return false;
    }
    return true;
}

bool readOdt(const ZipReader &zip, QStringList *paragraphs)
{
    ParagraphCollector::Rules rules;
    rules.ns = kOdfTextNs;
    rules.paragraphs = QStringList{QStringLiteral("p"), QStringLiteral("h")};
    rules.spaceElements = QStringList{QStringLiteral("line-break")};
    rules.tabElements = QStringList{QStringLiteral("tab")};
    // The record of tracked changes holds deleted text; notes are not body text.
    rules.skipped = QStringList{QStringLiteral("tracked-changes"), QStringLiteral("note"),
                                QStringLiteral("annotation")};
    return collect(zip, QStringLiteral("content.xml"), rules, paragraphs);
}

bool readPlainText(const QString &path, QStringList *paragraphs, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法读取文件");
        return false;
    }
    if (file.size() > kMaxPlainTextBytes) {
        *error = QStringLiteral("文件太大，无法对比");
        return false;
    }
    const QByteArray bytes = file.readAll();
    // UTF-8 (or a byte order mark) first; Chinese text files without one
    // that are not UTF-8 are read as GB18030.
    QTextCodec *codec = QTextCodec::codecForUtfText(bytes, QTextCodec::codecForName("UTF-8"));
    QTextCodec::ConverterState state;
    QString text = codec->toUnicode(bytes.constData(), bytes.size(), &state);
    if (state.invalidChars > 0 && codec->name() == "UTF-8") {
        if (QTextCodec *gb = QTextCodec::codecForName("GB18030"))
            text = gb->toUnicode(bytes);
    }
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    const QVector<QStringRef> lines = text.splitRef(QLatin1Char('\n'));
    for (const QStringRef &line : lines) {
        const QString trimmed = line.trimmed().toString();
        if (!trimmed.isEmpty())
            paragraphs->append(trimmed);
    }
    return true;
}

} // namespace

bool DocumentText::readsDirectly(const QString &extension)
{
    static const QStringList direct{"docx", "pptx", "odt", "txt", "md"};
    return direct.contains(extension.toLower());
}

QString DocumentText::conversionTarget(const QString &extension)
{
    const QString ext = extension.toLower();
    if (ext == QLatin1String("doc") || ext == QLatin1String("rtf"))
        return QStringLiteral("docx");
    if (ext == QLatin1String("ppt"))
        return QStringLiteral("pptx");
    return QString();
}

bool DocumentText::read(const QString &path, const QString &extension, QStringList *paragraphs,
                        QString *error)
{
    const QString ext = extension.toLower();
    if (ext == QLatin1String("txt") || ext == QLatin1String("md"))
        return readPlainText(path, paragraphs, error);
    if (!readsDirectly(ext)) {
        *error = QStringLiteral("不支持对比此格式的文件");
        return false;
    }
    const ZipReader zip(path);
    bool ok = zip.isOpen();
    if (ok && ext == QLatin1String("docx"))
        ok = readDocx(zip, paragraphs);
    else if (ok && ext == QLatin1String("pptx"))
        ok = readPptx(zip, paragraphs);
    else if (ok)
        ok = readOdt(zip, paragraphs);
    if (!ok)
        *error = QStringLiteral("文件已损坏或格式不正确，无法读取文字");
    return ok;
}
