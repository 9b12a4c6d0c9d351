#include "widgets/linklabel.h"

#include <QPainter>

LinkLabel::LinkLabel(QWidget *parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(QStringLiteral(".LinkLabel {color:#333;}"));
}

void LinkLabel::setMode(int mode, const QString &color, bool bold)
{
    m_mode = mode;
    if (mode == 1) {
        const QString rule = bold ? QStringLiteral(".LinkLabel {color:%1;font-weight:bold;}")
                                  : QStringLiteral(".LinkLabel {color:%1;}");
        setStyleSheet(rule.arg(color));
    }
    update();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    emit clicked();
}

void LinkLabel::enterEvent(QEvent *event)
{
    QLabel::enterEvent(event);
    m_hovered = true;
    update();
}

void LinkLabel::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    m_hovered = false;
    update();
}

void LinkLabel::paintEvent(QPaintEvent *event)
{
    if (m_mode != 0) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(QStringLiteral("#00c6fb")));
    painter.drawEllipse(QRectF(10, (height() - 12) / 2.0, 12, 12));

    QFont f = font();
    f.setUnderline(m_hovered);
    painter.setFont(f);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRect(27, 0, qMax(0, width() - 27), height()),
                     Qt::AlignLeft | Qt::AlignVCenter, text());
}
