#include "browserhelpers.h"

#include "browse/documentbrowser.h"
#include "browse/droptablewidget.h"
#include "menuanswer.h"

#include <QTableWidget>

int rowOf(const DocumentBrowser &b, const QString &name)
{
    for (int row = 0; row < b.table->rowCount(); ++row) {
        if (b.table->item(row, 0) && b.table->item(row, 0)->text() == name)
            return row;
    }
    return -1;
}

QStringList menuAt(DocumentBrowser &b, int row, const QString &choose)
{
    QStringList entries;
    answerNextMenu(&entries, choose);
    rightClick(b.table->viewport(), b.table->visualRect(b.table->model()->index(row, 0)).center());
    return entries;
}

QVariantMap findEntry(const QVariantMap &reply, const QString &name)
{
    for (const QVariant &v : reply.value("data").toList()) {
        if (v.toMap().value("fileName").toString() == name)
            return v.toMap();
    }
    return {};
}
