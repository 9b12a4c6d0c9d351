#include "collab/dialogtable.h"

#include "core/gcore.h"
#include "widgets/nofocusdelegate.h"

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

// Hiding a row resizes its header section to 0. With updates enabled the
// header then works out where that section is on screen, which walks all
// sections after a change, and announces the resize, which the view answers
// with a repaint of the row: a filter over n rows would cost n squared. So the
// header paints nothing and says nothing meanwhile, and the view is laid out
// and repainted once at the end.
void DialogTable::beginRowVisibility()
{
    verticalHeader()->setUpdatesEnabled(false);
    verticalHeader()->blockSignals(true);
}

void DialogTable::endRowVisibility()
{
    verticalHeader()->blockSignals(false);
    verticalHeader()->setUpdatesEnabled(true);
    updateGeometries();
    viewport()->update();
}
