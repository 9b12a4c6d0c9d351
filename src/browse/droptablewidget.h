#pragma once

#include <QStringList>
#include <QTableWidget>

// The browsers' file table: accepts files dragged in from the desktop and
// reports their paths; rows are never moved or inserted by a drop.
class DropTableWidget : public QTableWidget
{
    Q_OBJECT
public:
    explicit DropTableWidget(QWidget *parent = nullptr);

signals:
    void dragFiles(QStringList files);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};
