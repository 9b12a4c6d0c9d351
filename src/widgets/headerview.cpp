#include "widgets/headerview.h"

#include <QPainter>

HeaderView::HeaderView(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
{
    setStyleSheet(QStringLiteral(".HeaderView {border:0px;background:#fff;}"));
}

void HeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->fillRect(rect, QColor(QStringLiteral("#fff")));
    painter->save();
    painter->setPen(QPen(QColor(QStringLiteral("#ccc")), 1));
    painter->drawLine(rect.right(), rect.top(), rect.right(), rect.bottom() + 1);
    painter->restore();

    QFont font = painter->font();
    font.setPointSize(10);
    font.setFamily(QStringLiteral("宋体"));
    painter->setFont(font);
    painter->setPen(QColor(QStringLiteral("#666")));
    const QString title =
        model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString() : QString();
    painter->drawText(rect.adjusted(8, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, title);
}

void HeaderView::enterEvent(QEvent *event)
{
    emit enterHeaderView();
    QHeaderView::enterEvent(event);
}
