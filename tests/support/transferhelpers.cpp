#include "transferhelpers.h"

#include "transfer/transferdelegate.h"
#include "transfer/transferpanel.h"
#include "transfer/transferroles.h"

#include <QTableView>
#include <QTest>

namespace {

QModelIndex cell(QTableView *table, int row, int column)
{
    return table->model()->index(row, column);
}

int buttonColumn(QTableView *table)
{
    return table->model()->columnCount() - 1;
}

// The id of the row's button with tool tip `tip`, or an empty text.
QString buttonWithTip(QTableView *table, int row, const QString &tip)
{
    const QVariantList buttons =
        cell(table, row, buttonColumn(table)).data(TransferRoles::Buttons).toList();
    for (const QVariant &b : buttons) {
        if (b.toStringList().value(2) == tip)
            return b.toStringList().value(0);
    }
    return QString();
}

} // namespace

QTableView *transferTable(TransferPanel &panel, const char *name)
{
    return panel.findChild<QTableView *>(QString::fromLatin1(name));
}

int rowCountOf(QTableView *table)
{
    return table->model()->rowCount();
}

QString statusOf(QTableView *table, int row)
{
    return cell(table, row, 1).data(Qt::DisplayRole).toString();
}

QString statusTipOf(QTableView *table, int row)
{
    return cell(table, row, 1).data(Qt::ToolTipRole).toString();
}

int progressOf(QTableView *table, int row)
{
    return cell(table, row, 1).data(TransferRoles::Progress).toInt();
}

QString nameOf(QTableView *table, int row)
{
    return cell(table, row, 0).data(Qt::DisplayRole).toString();
}

QString sizeOf(QTableView *table, int row)
{
    return cell(table, row, 0).data(TransferRoles::SizeText).toString();
}

QString textOf(QTableView *table, int row, int column)
{
    return cell(table, row, column).data(Qt::DisplayRole).toString();
}

int rowWithKey(QTableView *table, const QString &key)
{
    for (int row = 0; row < rowCountOf(table); ++row) {
        if (cell(table, row, 0).data(TransferRoles::Key).toString() == key)
            return row;
    }
    return -1;
}

bool hasRowButton(QTableView *table, int row, const QString &tip)
{
    return row >= 0 && row < rowCountOf(table) && !buttonWithTip(table, row, tip).isEmpty();
}

void clickRowButton(QTableView *table, int row, const QString &tip)
{
    const QString id =
        row >= 0 && row < rowCountOf(table) ? buttonWithTip(table, row, tip) : QString();
    if (id.isEmpty()) {
        QTest::qFail(qPrintable(QStringLiteral("row %1 of %2 shows no button \"%3\"")
                                    .arg(row)
                                    .arg(table->objectName(), tip)),
                     __FILE__, __LINE__);
        return;
    }
    const QModelIndex index = cell(table, row, buttonColumn(table));
    // A hidden table has no geometry: give it one, as the user would by
    // opening its page.
    if (table->viewport()->size().isEmpty() || !table->isVisible())
        table->resize(qMax(table->width(), 800), qMax(table->height(), 400));
    table->scrollTo(index);
    auto *delegate = qobject_cast<TransferDelegate *>(table->itemDelegate());
    const QRect rect = delegate->buttonRect(table->visualRect(index), index, id);
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

QStringList statusesOf(QTableView *table)
{
    QStringList out;
    for (int row = 0; row < rowCountOf(table); ++row)
        out << statusOf(table, row);
    return out;
}
