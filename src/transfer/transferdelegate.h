#pragma once

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>

// Draws every cell of the transfer tables from their models' data: the icon,
// name and size of column 0, the progress bar (the style's own CE_ProgressBar)
// over the status of a running list, and the row's image buttons. It
// hit-tests the buttons for clicks, tool tips and the pointing hand, so a row
// costs no widget at all however many there are.
class TransferDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit TransferDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // Where the button `id` of the cell `index` is drawn in the view's
    // viewport; empty when the cell has no such button.
    QRect buttonRect(const QRect &cell, const QModelIndex &index, const QString &id) const;

signals:
    void buttonClicked(const QModelIndex &index, const QString &id);

private:
    // The index of the button under `pos` in the cell's button list, or -1.
    int buttonAt(const QRect &cell, const QModelIndex &index, const QPoint &pos) const;
    QList<QRect> buttonRects(const QRect &cell, const QModelIndex &index) const;
    const QPixmap &pixmap(const QString &path, int side = 0) const;

    mutable QHash<QString, QPixmap> pixmaps;
    // The button pressed, so that only a release over the same one clicks.
    QPersistentModelIndex pressedIndex;
    int pressedButton = -1;
};
