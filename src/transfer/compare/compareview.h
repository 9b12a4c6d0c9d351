#pragma once

#include "transfer/compare/textdiff.h"

#include <QAbstractScrollArea>
#include <QStringList>
#include <QVector>

class QTextLayout;

// The two versions side by side, older on the left: one line per pair of
// paragraphs, removed paragraphs red on the left, added ones green on the
// right, changed ones yellow on both sides with the differing words marked.
// Only the rows on screen are laid out, so a long document shows at once;
// the scroll bar counts rows. A "change" is a run of rows that differ;
// goToChange() brings one to the top and outlines it.
class CompareView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit CompareView(QWidget *parent = nullptr);

    void setComparison(const QStringList &older, const QStringList &newer,
                       const QVector<TextDiff::Row> &rows);

    const QVector<TextDiff::Row> &rows() const { return m_rows; }
    const QStringList &olderParagraphs() const { return m_older; }
    const QStringList &newerParagraphs() const { return m_newer; }
    int changeCount() const { return m_changes.size(); }
    // The first row of a change.
    int changeRow(int change) const { return m_changes.value(change); }
    int currentChange() const { return m_current; }
    int topRow() const { return m_topRow; }

    void goToChange(int change);
    // The change after (or before) the current one (the first before any
    // jump); -1 when there is none.
    int nextChange() const;
    int previousChange() const;

signals:
    void currentChangeChanged(int change);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int columnWidth() const;
    int textWidth() const;
    int rowHeight(int row);
    // Lays out one side of a row at `textWidth`; returns its height.
    int layoutSide(QTextLayout &layout, int row, bool olderSide) const;
    void scrollByPixels(int dy);
    void clampTop();
    void updateScrollRange();

    QStringList m_older;
    QStringList m_newer;
    QVector<TextDiff::Row> m_rows;
    QVector<int> m_changes;  // first row of each change
    QVector<int> m_changeOf; // change of each row, -1 for common rows
    QVector<int> m_heights;  // -1 until laid out at the current width
    int m_topRow = 0;
    int m_topOffset = 0; // pixels of the top row above the view
    int m_current = -1;
    int m_gutter = 0;
};
