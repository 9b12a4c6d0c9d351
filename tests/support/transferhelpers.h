#pragma once

#include <QString>
#include <QStringList>

class QTableView;
class TransferPanel;

// Reading and driving the transfer panel's tables as a user would: texts come
// from what the rows show (their models), buttons are clicked with the mouse
// where the delegate draws them.
QTableView *transferTable(TransferPanel &panel, const char *name);
int rowCountOf(QTableView *table);
// The status line of a running list's row ("正在下载", "上传出错：reason").
QString statusOf(QTableView *table, int row);
QString statusTipOf(QTableView *table, int row);
int progressOf(QTableView *table, int row);
QString nameOf(QTableView *table, int row);
QString sizeOf(QTableView *table, int row);
// A history row's text in `column` (1 the time, 2 the direction).
QString textOf(QTableView *table, int row, int column);
// The row whose key (download file id, upload path, history path) is `key`.
int rowWithKey(QTableView *table, const QString &key);
// Whether the row shows a button with this tool tip.
bool hasRowButton(QTableView *table, int row, const QString &tip);
// Clicks the row's button with this tool tip where it is drawn (scrolling the
// row into sight first); fails the test when the row shows no such button.
void clickRowButton(QTableView *table, int row, const QString &tip);
// The status lines of every row, top to bottom.
QStringList statusesOf(QTableView *table);
