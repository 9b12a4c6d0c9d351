#include "widgets/nofocusdelegate.h"

#include <QPainter>

NoFocusDelegate::NoFocusDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

void NoFocusDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const
{
    QStyleOptionViewItem copy(option);
    copy.state &= ~QStyle::State_HasFocus;
    paintBand(painter, option);
    copy.rect.setLeft(copy.rect.left() + 6);
    QStyledItemDelegate::paint(painter, copy, index);
}

void NoFocusDelegate::paintBand(QPainter *painter, const QStyleOptionViewItem &option)
{
    painter->fillRect(option.rect, (option.state & QStyle::State_Selected)
                                       ? QColor(QStringLiteral("#b2eefe"))
                                       : QColor(QStringLiteral("#fff")));
}
