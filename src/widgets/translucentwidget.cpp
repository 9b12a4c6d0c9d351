#include "widgets/translucentwidget.h"

#include <QMouseEvent>

#include <algorithm>

TranslucentWidget::TranslucentWidget(int position, QWidget *owner, bool fixedSize, int thickness,
                                     QWidget *parent)
    : QWidget(parent), m_position(position), m_owner(owner), m_fixedSize(fixedSize)
{
    setAttribute(Qt::WA_TranslucentBackground);
    switch (position) {
    case 0:
    case 2:
        setFixedHeight(thickness);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        break;
    case 1:
    case 3:
        setFixedWidth(thickness);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        break;
    default:
        setFixedSize(thickness, thickness);
        break;
    }
    if (fixedSize)
        return;
    static const Qt::CursorShape cursors[8] = {
        Qt::SizeVerCursor,   Qt::SizeHorCursor,   Qt::SizeVerCursor,   Qt::SizeHorCursor,
        Qt::SizeFDiagCursor, Qt::SizeBDiagCursor, Qt::SizeBDiagCursor, Qt::SizeFDiagCursor};
    if (position >= 0 && position < 8)
        setCursor(cursors[position]);
}

void TranslucentWidget::mousePressEvent(QMouseEvent *event)
{
    if (m_fixedSize || !m_owner)
        return;
    m_pressGlobal = event->globalPos();
    m_pressGeometry = m_owner->geometry();
}

void TranslucentWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (m_fixedSize || !m_owner || m_pressGeometry.isNull())
        return;
    const QPoint delta = event->globalPos() - m_pressGlobal;
    const QRect g = m_pressGeometry;
    int left = g.left();
    int top = g.top();
    int right = g.right();
    int bottom = g.bottom();

    // An edge stops where the window would reach its smallest allowed size
    // (at least one pixel, and never under the layout's minimum, which the
    // window system would enforce by moving the opposite edge instead).
    const int minW = std::max(m_minWidth + 1, m_owner->minimumWidth());
    const int minH = std::max(m_minHeight + 1, m_owner->minimumHeight());
    const int maxW = std::max(minW, m_owner->maximumWidth());
    const int maxH = std::max(minH, m_owner->maximumHeight());

    if (movesTop())
        top = std::clamp(g.top() + delta.y(), bottom - maxH + 1, bottom - minH + 1);
    if (movesBottom())
        bottom = std::clamp(g.bottom() + delta.y(), top + minH - 1, top + maxH - 1);
    if (movesLeft())
        left = std::clamp(g.left() + delta.x(), right - maxW + 1, right - minW + 1);
    if (movesRight())
        right = std::clamp(g.right() + delta.x(), left + minW - 1, left + maxW - 1);

    m_owner->setGeometry(QRect(QPoint(left, top), QPoint(right, bottom)));
}
