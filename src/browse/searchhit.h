#pragma once

#include <QString>
#include <QTextLayout>
#include <QVariantMap>
#include <QVector>

// What the library makes of one hit of the full-text search. The server marks
// the matched words in "fileName" and "summary" with a font tag; everything
// else of those texts is data. The listing entry carries the name without any
// tag (it goes to the hidden name column, the menus and the dialogs), and the
// result column (SearchHitDelegate) draws the texts as plain text with only
// the marked ranges coloured: no rich text engine ever reads them, so a reply
// cannot bring links, pictures or layout into the table.
namespace SearchHit {

// The listing entry of a hit: a copy with "fileType" 2, "searchType" 1,
// "fileExtend" from "fileExt", "length" from the byte count "fileLength",
// "fileLength" as size text and "fileName" without tags.
QVariantMap toEntry(const QVariantMap &hit);

// `text` with every "<...>" removed.
QString stripTags(const QString &text);

// A text as the result column shows it: plain characters, with the ranges
// the server marked and the colour of each.
struct MarkedText
{
    QString text;
    QVector<QTextLayout::FormatRange> marks;
};

// Takes the marking tags (<font color="...">, </font>) out of `source` and
// keeps where they were; every other tag stays as text. With
// `decodeEntities` the source is escaped HTML (the summaries), so "&lt;"
// becomes "<"; without, raw text (the names), so "&lt;" stays.
MarkedText marked(const QString &source, bool decodeEntities);

// The summary as the row shows it: line breaks ("\n", "<br/>", "<br>") as
// blanks, then marked as above.
MarkedText summary(const QString &source);

// The height of a hit's row: 62 pixels, 40 without summary.
int rowHeight(const QVariantMap &hit);

} // namespace SearchHit
