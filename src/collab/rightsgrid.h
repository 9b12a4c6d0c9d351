#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

class QCheckBox;

// A grid of right check boxes, each carrying its value as a dynamic property.
// By default the nine library rights of publishing and permissions, three by
// three, property "id":
//     "可见" A      "创建文件" C   "创建文件夹" M
//     "预览文件" V  "打印文件" P   "下载文件" D
//     "修改文件" E  "删除文件" R   "完全控制" L
// with "可见" checked and the coupling: a click that unchecks "可见" unchecks
// everything, a click that checks "完全控制" checks everything (unchecking
// another right leaves "完全控制" as it is).
//
// Use: `auto *rights = new RightsGrid(parent);` and send
// `rights->values().join(",")` (checked values in grid order). Other sets,
// such as the three rights of a net disk share or of a link, pass their own
// list, column count and property name; the coupling applies to any set that
// holds both "A" and "L".
class RightsGrid : public QWidget
{
    Q_OBJECT
public:
    struct Right
    {
        QString text;
        QString value;
        bool checked = false;
    };

    static QList<Right> libraryRights();

    explicit RightsGrid(QWidget *parent);
    RightsGrid(const QList<Right> &rights, int columns, const char *property, QWidget *parent);

    // The values of the checked boxes, in grid order.
    QStringList values() const;
    // The box of a value, or null.
    QCheckBox *box(const QString &value) const;

    QList<QCheckBox *> boxes;

private:
    QByteArray property;
};
