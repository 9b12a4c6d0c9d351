#include "widgets/tradiuswidget.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

TRadiusWidget::TRadiusWidget(const QBrush &brush, int radius, QWidget *parent)
    : QWidget(parent), m_brush(brush), m_radius(radius)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

void TRadiusWidget::setOwner(QWidget *owner, int offsetX, int offsetY)
{
    m_owner = owner;
    m_offsetX = offsetX;
    m_offsetY = offsetY;
}

void TRadiusWidget::setRadius(int radius)
{
    m_radius = radius;
    update();
}

void TRadiusWidget::setBrush(const QBrush &brush)
{
    m_brush = brush;
    update();
}

void TRadiusWidget::paintEvent(QPaintEvent *)
{
    const qreal r = m_radius;
    const qreal w = width();
    const qreal h = height();
    QPainterPath path;
    path.moveTo(r, 0);
    path.arcTo(QRectF(0, 0, 2 * r, 2 * r), 90, 90);
    path.lineTo(0, h);
    path.lineTo(w, h);
    path.lineTo(w, r);
    path.arcTo(QRectF(w - 2 * r, 0, 2 * r, 2 * r), 0, 90);
    path.lineTo(r, 0);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(path, m_brush);
}

void TRadiusWidget::mousePressEvent(QMouseEvent *event)
{
    // The press point in window coordinates stays under the mouse while dragging.
    m_pressX = event->pos().x() + m_offsetX;
    m_pressY = event->pos().y() + m_offsetY;
}

void TRadiusWidget::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_owner || m_owner->isMaximized())
        return;
    m_owner->move(event->globalPos() - QPoint(m_pressX, m_pressY));
}

void TRadiusWidget::mouseDoubleClickEvent(QMouseEvent *)
{
    emit doubleClicked();
}
