#pragma once

#include <QTreeView>

// The folder tree's view: paints its own selection band across the whole row
// and its own branch pictures (open/closed, selected/unselected).
class TreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit TreeView(QWidget *parent = nullptr, bool bordered = false);

protected:
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                 const QModelIndex &index) const override;
    void drawBranches(QPainter *painter, const QRect &rect,
                      const QModelIndex &index) const override;

private:
    bool isRowSelected(const QModelIndex &index) const;

    bool bordered = false;
};
