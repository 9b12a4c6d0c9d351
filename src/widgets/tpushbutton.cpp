#include "widgets/tpushbutton.h"

#include <QPainter>
#include <QPolygon>

TPushButton::TPushButton(QWidget *parent) : QPushButton(parent) {}

void TPushButton::setShowMarker(bool show)
{
    m_showMarker = show;
    update();
}

void TPushButton::setShowText(bool show)
{
    m_showText = show;
    update();
}

void TPushButton::setText(const QString &text)
{
    m_text = text;
    update();
}

QString TPushButton::titleButtonStyle(const QString &normalImage, const QString &hoverImage)
{
    return QStringLiteral(".TPushButton {border-image:url(:/images/common/%1);border-width:0px;}"
                          ".TPushButton:hover {border-image:url(:/images/common/%2);"
                          "border-width:0px;}")
        .arg(normalImage, hoverImage);
}

void TPushButton::paintEvent(QPaintEvent *event)
{
    QPushButton::paintEvent(event);
    if (!m_showMarker && !m_showText)
        return;

    QPainter painter(this);
    const int h = height();
    if (m_showMarker) {
        // A 4-pixel bar with a notch pointing right at mid-height.
        QPolygon marker;
        marker << QPoint(0, 0) << QPoint(4, 0) << QPoint(4, h / 2 - 4) << QPoint(8, h / 2)
               << QPoint(4, h / 2 + 4) << QPoint(4, h) << QPoint(0, h);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(QStringLiteral("#00c6fb")));
        painter.drawPolygon(marker);
    }
    if (m_showText) {
        painter.setPen(palette().color(QPalette::ButtonText));
        painter.setFont(font());
        painter.drawText(QRect(0, h - 21, width(), 21), Qt::AlignCenter, m_text);
    }
}

void TPushButton::mouseMoveEvent(QMouseEvent *)
{
    // Dragging off a title-bar button must not turn it into a drag of the
    // button's pressed state; the press and release decide alone.
}
