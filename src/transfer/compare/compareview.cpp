#include "transfer/compare/compareview.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextLayout>
#include <QWheelEvent>

namespace {

constexpr int kPad = 6;
constexpr int kBar = 3;

const QColor kRemovedBack(0xfd, 0xe8, 0xe8);
const QColor kAddedBack(0xe6, 0xf6, 0xe6);
const QColor kChangedBack(0xff, 0xf8, 0xe1);
const QColor kEmptyBack(0xf3, 0xf3, 0xf3);
const QColor kRemovedMark(0xf4, 0xa6, 0xa6);
const QColor kAddedMark(0x9f, 0xdf, 0x9f);
const QColor kGrid(0xe4, 0xe4, 0xe4);
const QColor kGutterText(0x99, 0x99, 0x99);
const QColor kCurrent(0x06, 0x96, 0xf5);

} // namespace

CompareView::CompareView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
}

void CompareView::setComparison(const QStringList &older, const QStringList &newer,
                                const QVector<TextDiff::Row> &rows)
{
    m_older = older;
    m_newer = newer;
    m_rows = rows;
    m_heights = QVector<int>(rows.size(), -1);
    m_changes.clear();
    m_changeOf = QVector<int>(rows.size(), -1);
    for (int r = 0; r < rows.size(); ++r) {
        if (rows.at(r).kind == TextDiff::Row::Same)
            continue;
        if (r == 0 || rows.at(r - 1).kind == TextDiff::Row::Same)
            m_changes.append(r);
        m_changeOf[r] = m_changes.size() - 1;
    }
    const int digits = QString::number(qMax(older.size(), newer.size())).size();
    m_gutter =
        fontMetrics().horizontalAdvance(QString(qMax(digits, 2), QLatin1Char('9'))) + kPad * 2;
    m_topRow = 0;
    m_topOffset = 0;
    m_current = -1;
    updateScrollRange();
    viewport()->update();
}

int CompareView::columnWidth() const
{
    return (viewport()->width() - 1) / 2;
}

int CompareView::textWidth() const
{
    return qMax(40, columnWidth() - m_gutter - kPad * 2);
}

int CompareView::layoutSide(QTextLayout &layout, int row, bool olderSide) const
{
    const TextDiff::Row &r = m_rows.at(row);
    const int index = olderSide ? r.older : r.newer;
    if (index < 0)
        return 0;
    layout.setText(olderSide ? m_older.at(index) : m_newer.at(index));
    layout.setFont(font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QVector<QTextLayout::FormatRange> formats;
    for (const TextDiff::Mark &m : olderSide ? r.olderMarks : r.newerMarks) {
        QTextLayout::FormatRange range;
        range.start = m.start;
        range.length = m.length;
        range.format.setBackground(olderSide ? kRemovedMark : kAddedMark);
        range.format.setFontStrikeOut(olderSide);
        formats.append(range);
    }
    layout.setFormats(formats);
    const QFontMetrics metrics(font());
    int height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(textWidth());
        line.setPosition(QPointF(0, height));
        height += metrics.lineSpacing();
    }
    layout.endLayout();
    return height;
}

int CompareView::rowHeight(int row)
{
    int &h = m_heights[row];
    if (h < 0) {
        QTextLayout older, newer;
        h = qMax(layoutSide(older, row, true), layoutSide(newer, row, false)) + kPad * 2 + 1;
    }
    return h;
}

void CompareView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    const int colW = columnWidth();
    const int height = viewport()->height();
    p.fillRect(viewport()->rect(), palette().base());
    int y = -m_topOffset;
    for (int row = m_topRow; row < m_rows.size() && y < height; ++row) {
        const int h = rowHeight(row);
        const TextDiff::Row &r = m_rows.at(row);
        for (const bool olderSide : {true, false}) {
            const int x = olderSide ? 0 : colW + 1;
            const QRect cell(x, y, colW, h);
            const int index = olderSide ? r.older : r.newer;
            QColor back;
            if (index < 0)
                back = kEmptyBack;
            else if (r.kind == TextDiff::Row::Changed)
                back = kChangedBack;
            else if (r.kind == TextDiff::Row::Removed)
                back = kRemovedBack;
            else if (r.kind == TextDiff::Row::Added)
                back = kAddedBack;
            if (back.isValid())
                p.fillRect(cell, back);
            if (index >= 0) {
                p.setPen(kGutterText);
                p.drawText(QRect(x, y + kPad, m_gutter - kPad, h - kPad),
                           Qt::AlignRight | Qt::AlignTop, QString::number(index + 1));
                QTextLayout layout;
                layoutSide(layout, row, olderSide);
                p.setPen(palette().color(QPalette::Text));
                layout.draw(&p, QPointF(x + m_gutter + kPad, y + kPad));
            }
            if (m_current >= 0 && m_changeOf.at(row) == m_current)
                p.fillRect(QRect(x, y, kBar, h), kCurrent);
            p.setPen(kGrid);
            p.drawLine(x, y + h - 1, x + colW - 1, y + h - 1);
        }
        y += h;
    }
    p.setPen(kGrid);
    p.drawLine(colW, 0, colW, height);
}

void CompareView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    // Heights depend on the width; laid out again as rows come into view.
    m_heights.fill(-1);
    updateScrollRange();
}

void CompareView::updateScrollRange()
{
    // The last top row that still fills the view.
    int lastTop = m_rows.size() - 1;
    int filled = 0;
    const int height = viewport()->height();
    while (lastTop > 0 && filled + rowHeight(lastTop) <= height)
        filled += rowHeight(lastTop--);
    if (lastTop < 0)
        lastTop = 0;
    QScrollBar *bar = verticalScrollBar();
    const QSignalBlocker blocker(bar);
    bar->setRange(0, lastTop);
    bar->setPageStep(
        qMax(1, m_rows.isEmpty() ? 1 : height / qMax(1, fontMetrics().lineSpacing() * 2)));
    bar->setSingleStep(1);
    clampTop();
}

void CompareView::clampTop()
{
    QScrollBar *bar = verticalScrollBar();
    if (m_topRow >= bar->maximum()) {
        m_topRow = bar->maximum();
        // Past the last full page only as far as the rows below still fill the view.
        int below = 0;
        for (int r = m_topRow; r < m_rows.size(); ++r)
            below += rowHeight(r);
        m_topOffset = qBound(0, m_topOffset, qMax(0, below - viewport()->height()));
    }
    if (m_topRow <= 0 && m_topOffset < 0) {
        m_topRow = 0;
        m_topOffset = 0;
    }
    const QSignalBlocker blocker(bar);
    bar->setValue(m_topRow);
}

void CompareView::scrollByPixels(int dy)
{
    if (m_rows.isEmpty())
        return;
    m_topOffset += dy;
    while (m_topOffset < 0 && m_topRow > 0)
        m_topOffset += rowHeight(--m_topRow);
    while (m_topRow < m_rows.size() - 1 && m_topOffset >= rowHeight(m_topRow))
        m_topOffset -= rowHeight(m_topRow++);
    clampTop();
    viewport()->update();
}

void CompareView::scrollContentsBy(int, int)
{
    // The scroll bar was moved: its value is the top row.
    m_topRow = verticalScrollBar()->value();
    m_topOffset = 0;
    viewport()->update();
}

void CompareView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y();
    scrollByPixels(-steps * 3 * fontMetrics().lineSpacing() / 120);
    event->accept();
}

void CompareView::keyPressEvent(QKeyEvent *event)
{
    const int line = fontMetrics().lineSpacing();
    switch (event->key()) {
    case Qt::Key_Down:
        scrollByPixels(line * 3);
        break;
    case Qt::Key_Up:
        scrollByPixels(-line * 3);
        break;
    case Qt::Key_PageDown:
        scrollByPixels(viewport()->height() - line);
        break;
    case Qt::Key_PageUp:
        scrollByPixels(-(viewport()->height() - line));
        break;
    case Qt::Key_Home:
        m_topRow = 0;
        m_topOffset = 0;
        clampTop();
        viewport()->update();
        break;
    case Qt::Key_End:
        m_topRow = m_rows.size();
        m_topOffset = 0;
        clampTop();
        viewport()->update();
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void CompareView::goToChange(int change)
{
    if (change < 0 || change >= m_changes.size())
        return;
    m_current = change;
    // One common row above the change for context.
    m_topRow = qMax(0, m_changes.at(change) - 1);
    m_topOffset = 0;
    clampTop();
    viewport()->update();
    emit currentChangeChanged(change);
}

int CompareView::nextChange() const
{
    return m_current + 1 < m_changes.size() ? m_current + 1 : -1;
}

int CompareView::previousChange() const
{
    return m_current > 0 ? m_current - 1 : -1;
}
