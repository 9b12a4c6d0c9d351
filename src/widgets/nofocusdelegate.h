#pragma once

#include <QStyledItemDelegate>

// Paints table rows without the focus frame: a light blue band for selected
// rows, white otherwise, and the cell content 6 pixels in from the left.
class NoFocusDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit NoFocusDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // The row's band under a cell: light blue when selected, white otherwise.
    static void paintBand(QPainter *painter, const QStyleOptionViewItem &option);
};
