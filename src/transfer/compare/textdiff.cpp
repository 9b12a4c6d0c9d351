#include "transfer/compare/textdiff.h"

#include <QHash>

#include <dtl/dtl.hpp>

#include <vector>

namespace {

// A removed and an added paragraph are one changed paragraph when at least
// this share of their text is common.
constexpr double kPairing = 0.5;
// How many added paragraphs ahead a removed one looks for its new form; the
// most similar of them is taken.
constexpr int kLookahead = 4;

struct Edit
{
    int type; // dtl::SES_DELETE, SES_COMMON or SES_ADD
    int older;
    int newer;
};

// The shortest edit script between two sequences of numbers (0-based indices).
std::vector<Edit> editScript(const std::vector<int> &a, const std::vector<int> &b)
{
    std::vector<Edit> script;
    if (a.empty() || b.empty()) {
        for (int i = 0; i < int(a.size()); ++i)
            script.push_back({dtl::SES_DELETE, i, -1});
        for (int j = 0; j < int(b.size()); ++j)
            script.push_back({dtl::SES_ADD, -1, j});
        return script;
    }
    dtl::Diff<int, std::vector<int>> diff(a, b);
    diff.onHuge();
    diff.compose();
    const auto sequence = diff.getSes().getSequence();
    script.reserve(sequence.size());
    for (const auto &element : sequence)
        script.push_back({int(element.second.type), int(element.second.beforeIdx) - 1,
                          int(element.second.afterIdx) - 1});
    return script;
}

// Numbers equal strings alike, so the diff compares integers.
class Numbering
{
public:
    int idOf(const QString &text)
    {
        auto it = ids.constFind(text);
        if (it != ids.constEnd())
            return it.value();
        const int id = ids.size();
        ids.insert(text, id);
        return id;
    }

private:
    QHash<QString, int> ids;
};

bool standsAlone(QChar c)
{
    switch (c.script()) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
        return true;
    default:
        return false;
    }
}

void addMark(QVector<TextDiff::Mark> *marks, int start, int length)
{
    if (!marks->isEmpty() && marks->last().start + marks->last().length == start)
        marks->last().length += length;
    else
        marks->append({start, length});
}

} // namespace

QVector<TextDiff::Mark> TextDiff::words(const QString &text)
{
    QVector<Mark> out;
    const int n = text.size();
    int i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        int j = i + 1;
        if (c.isSpace()) {
            while (j < n && text.at(j).isSpace())
                ++j;
        } else if (c.isLetterOrNumber() && !standsAlone(c)) {
            while (j < n && text.at(j).isLetterOrNumber() && !standsAlone(text.at(j)))
                ++j;
        } else if (c.isHighSurrogate() && j < n) {
            ++j;
        }
        out.append({i, j - i});
        i = j;
    }
    return out;
}

double TextDiff::markWords(const QString &older, const QString &newer, QVector<Mark> *olderMarks,
                           QVector<Mark> *newerMarks)
{
    const QVector<Mark> a = words(older);
    const QVector<Mark> b = words(newer);
    Numbering numbering;
    std::vector<int> ia, ib;
    ia.reserve(size_t(a.size()));
    ib.reserve(size_t(b.size()));
    for (const Mark &w : a)
        ia.push_back(numbering.idOf(older.mid(w.start, w.length)));
    for (const Mark &w : b)
        ib.push_back(numbering.idOf(newer.mid(w.start, w.length)));
    int common = 0;
    for (const Edit &e : editScript(ia, ib)) {
        if (e.type == dtl::SES_COMMON)
            common += a.at(e.older).length;
        else if (e.type == dtl::SES_DELETE)
            addMark(olderMarks, a.at(e.older).start, a.at(e.older).length);
        else
            addMark(newerMarks, b.at(e.newer).start, b.at(e.newer).length);
    }
    const int total = older.size() + newer.size();
    return total == 0 ? 1.0 : 2.0 * common / total;
}

QVector<TextDiff::Row> TextDiff::compare(const QStringList &older, const QStringList &newer)
{
    Numbering numbering;
    std::vector<int> a, b;
    a.reserve(size_t(older.size()));
    b.reserve(size_t(newer.size()));
    for (const QString &p : older)
        a.push_back(numbering.idOf(p));
    for (const QString &p : newer)
        b.push_back(numbering.idOf(p));

    QVector<Row> rows;
    rows.reserve(qMax(older.size(), newer.size()));
    QVector<int> removed, added;
    // Pairs the removed and added paragraphs of one stretch between common ones.
    auto flush = [&] {
        int next = 0;
        for (const int r : qAsConst(removed)) {
            int match = -1;
            Row changed;
            changed.kind = Row::Changed;
            // The most similar of the next few added paragraphs, if similar enough.
            double best = kPairing;
            for (int k = next; k < added.size() && k < next + kLookahead; ++k) {
                QVector<Mark> om, nm;
                const double similarity = markWords(older.at(r), newer.at(added.at(k)), &om, &nm);
                if (similarity >= best) {
                    best = similarity;
                    match = k;
                    changed.olderMarks = om;
                    changed.newerMarks = nm;
                }
            }
            if (match < 0) {
                Row row;
                row.kind = Row::Removed;
                row.older = r;
                rows.append(row);
                continue;
            }
            for (; next < match; ++next) {
                Row row;
                row.kind = Row::Added;
                row.newer = added.at(next);
                rows.append(row);
            }
            changed.older = r;
            changed.newer = added.at(match);
            rows.append(changed);
            next = match + 1;
        }
        for (; next < added.size(); ++next) {
            Row row;
            row.kind = Row::Added;
            row.newer = added.at(next);
            rows.append(row);
        }
        removed.clear();
        added.clear();
    };
    for (const Edit &e : editScript(a, b)) {
        if (e.type == dtl::SES_DELETE) {
            removed.append(e.older);
        } else if (e.type == dtl::SES_ADD) {
            added.append(e.newer);
        } else {
            flush();
            Row row;
            row.older = e.older;
            row.newer = e.newer;
            rows.append(row);
        }
    }
    flush();
    return rows;
}
