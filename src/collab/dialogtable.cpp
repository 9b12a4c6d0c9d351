#include "collab/dialogtable.h"

#include "browse/nofocusdelegate.h"
#include "core/gcore.h"

#include <QHeaderView>

DialogTable::DialogTable(QWidget *parent, const QString &borderColor) : QTableWidget(parent)
{
    setColumnCount(1);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setShowGrid(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new NoFocusDelegate(this));
    setStyleSheet(
        QStringLiteral(".QTableWidget {border:1px solid %1;}"
                       "QTableWidget::item {padding:4px 0 4px 0;color:#333;}"
                       "QTableWidget::item:selected {background-color:transparent;color:#333;}")
            .arg(borderColor));
}

void DialogTable::addFiles(const QList<QVariantMap> &records)
{
    int row = rowCount();
    setRowCount(row + records.size());
    for (const QVariantMap &record : records) {
        auto *item = new QTableWidgetItem(QIcon(GCore::fileIconPath(record)),
                                          record.value(QStringLiteral("fileName")).toString());
        item->setData(Qt::UserRole + 1, record.value(QStringLiteral("fileId")));
        item->setData(Qt::UserRole + 2, record);
        setItem(row++, 0, item);
    }
}
