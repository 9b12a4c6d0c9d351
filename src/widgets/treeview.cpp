#include "widgets/treeview.h"

#include <QPainter>
#include <QPixmap>

namespace {
const QColor kSelectionBand(QStringLiteral("#d5eaff"));
}

TreeView::TreeView(QWidget *parent, bool bordered) : QTreeView(parent), bordered(bordered)
{
    setSelectionBehavior(QAbstractItemView::SelectRows);
    const QString frame = bordered ? QStringLiteral("border:1px solid #aaa;padding:3px;")
                                   : QStringLiteral("border:0px;border-right:1px solid #ccc;");
    // Hover and selection stay transparent: the band is painted in drawRow.
    setStyleSheet(QStringLiteral(".TreeView {%1}"
                                 ".TreeView::item {color:#333;padding:4px 0 4px 0;}"
                                 ".TreeView::item:hover {background:transparent;border:0px;"
                                 "padding:4px 0 4px 0;}"
                                 ".TreeView::item:selected {background:transparent;border:0px;"
                                 "color:#333;padding:4px 0 4px 0;}")
                      .arg(frame));
}

bool TreeView::isRowSelected(const QModelIndex &index) const
{
    const QModelIndexList selected = selectedIndexes();
    for (const QModelIndex &s : selected) {
        if (s.parent() == index.parent() && s.row() == index.row())
            return true;
    }
    return false;
}

void TreeView::drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                       const QModelIndex &index) const
{
    if (isRowSelected(index))
        painter->fillRect(option.rect, kSelectionBand);
    QTreeView::drawRow(painter, option, index);
}

void TreeView::drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const
{
    const bool selected = isRowSelected(index);
    if (selected)
        painter->fillRect(rect, kSelectionBand);
    if (!model() || !model()->hasChildren(index))
        return;
    const QRect box(rect.right() - indentation() + 3, rect.top(), indentation(), rect.height());
    const bool expanded = isExpanded(index);
    QString picture;
    if (selected)
        picture = expanded ? QStringLiteral(":/images/main/treeview_open.png")
                           : QStringLiteral(":/images/main/treeview_close2.png");
    else
        picture = expanded ? QStringLiteral(":/images/main/treeview_open2.png")
                           : QStringLiteral(":/images/main/treeview_close.png");
    const QPixmap pixmap(picture);
    if (!pixmap.isNull())
        painter->drawPixmap(box, pixmap);
}
