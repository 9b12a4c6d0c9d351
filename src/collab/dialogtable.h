#pragma once

#include <QList>
#include <QTableWidget>
#include <QVariantMap>

// The plain one-column list of the dialogs: the file list of the sharing,
// publishing, permission, link and net disk share dialogs, the two tables of
// the user picker and the favourite categories. No headers, no grid, no
// editing, whole rows selected one at a time, the row painter without focus
// frame, and the dialogs' style sheet with a one-pixel border.
//
// Use: `auto *table = new DialogTable(parent);` (border "#333"; the picker
// passes "#aaa"), then addFiles(records) for a file list, or setItem/insertRow
// as with any QTableWidget. Rows of files carry the record's "fileId" in
// Qt::UserRole + 1 and the whole record in Qt::UserRole + 2, as the browsers'
// tables do.
class DialogTable : public QTableWidget
{
    Q_OBJECT
public:
    explicit DialogTable(QWidget *parent = nullptr,
                         const QString &borderColor = QStringLiteral("#333"));

    // Appends one row per record: its "fileName" and the icon of its type.
    void addFiles(const QList<QVariantMap> &records);

    // Shows the rows for which `show(row)` is true and hides the others, as
    // setRowHidden row by row would, but lays the view out once instead of
    // once per changed row (a filter over thousands of rows).
    template <typename Show> void filterRows(Show show)
    {
        beginRowVisibility();
        for (int row = 0; row < rowCount(); ++row) {
            const bool visible = show(row);
            if (isRowHidden(row) == visible)
                setRowHidden(row, !visible);
        }
        endRowVisibility();
    }

private:
    void beginRowVisibility();
    void endRowVisibility();
};
