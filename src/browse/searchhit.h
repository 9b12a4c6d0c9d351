#pragma once

#include <QString>
#include <QVariantMap>

class QWidget;

// What the library makes of one hit of the full-text search. The server marks
// the matched words in "fileName" and "summary" with a font tag; everything
// else of those texts is data. The listing entry carries the name without any
// tag (it goes to the hidden name column, the menus and the dialogs), and the
// row widget shows the texts as rich text in which only the marking tag keeps
// its meaning and every other character is escaped, so a reply cannot bring
// links, pictures or layout into the table.
namespace SearchHit {

// The listing entry of a hit: a copy with "fileType" 2, "searchType" 1,
// "fileExtend" from "fileExt", "length" from the byte count "fileLength",
// "fileLength" as size text and "fileName" without tags.
QVariantMap toEntry(const QVariantMap &hit);

// `text` with every "<...>" removed.
QString stripTags(const QString &text);

// Rich text showing `text` literally except for its marking tags
// (<font color="...">, </font>), which mark as they did. With
// `decodeEntities` the text is taken as escaped HTML (the summaries), so
// "&lt;" shows as "<"; without, as raw text (the names), so it shows "&lt;".
QString markedHtml(const QString &text, bool decodeEntities);

// The summary as the row shows it: line breaks ("\n", "<br/>", "<br>") as
// blanks, then marked as above.
QString summaryHtml(const QString &summary);

// The widget of a hit row's last column: icon and marked name (the label is
// the widget's property "title", where an open shows its progress), the
// summary below. Its property "map" holds `entry`. Mouse events pass through
// to the table, so clicks, double clicks and the menu act on the row.
QWidget *makeRowWidget(const QVariantMap &hit, const QVariantMap &entry, QWidget *parent);

// The height of a hit's row: 62 pixels, 40 without summary.
int rowHeight(const QVariantMap &hit);

} // namespace SearchHit
