#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Compares two versions of a text paragraph by paragraph: paragraphs only in
// the older version are removed, only in the newer one added, and a removed
// and an added paragraph that still share most of their text are paired as
// one changed paragraph, with the words that differ marked on both sides.
// Chinese text has no spaces, so each Han character counts as a word.
class TextDiff
{
public:
    // A marked stretch of a paragraph's text.
    struct Mark
    {
        int start = 0;
        int length = 0;
        bool operator==(const Mark &o) const { return start == o.start && length == o.length; }
    };
    // One line of the side-by-side view: an older paragraph, a newer one or both.
    struct Row
    {
        enum Kind { Same, Changed, Removed, Added };
        Kind kind = Same;
        int older = -1; // index into the older paragraphs, or -1
        int newer = -1; // index into the newer paragraphs, or -1
        QVector<Mark> olderMarks;
        QVector<Mark> newerMarks;
    };

    static QVector<Row> compare(const QStringList &older, const QStringList &newer);

    // The words of `older` that `newer` lacks and the other way round; returns
    // the share of text the two have in common (0 to 1).
    static double markWords(const QString &older, const QString &newer, QVector<Mark> *olderMarks,
                            QVector<Mark> *newerMarks);

    // Splits text into the words compared: runs of letters and digits, each
    // Han, kana or Hangul character alone, runs of white space, and every
    // other character alone. Returns start positions and lengths.
    static QVector<Mark> words(const QString &text);
};
