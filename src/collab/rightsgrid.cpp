#include "collab/rightsgrid.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QVariant>

QList<RightsGrid::Right> RightsGrid::libraryRights()
{
    return {{QStringLiteral("可见"), QStringLiteral("A"), true},
            {QStringLiteral("创建文件"), QStringLiteral("C")},
            {QStringLiteral("创建文件夹"), QStringLiteral("M")},
            {QStringLiteral("预览文件"), QStringLiteral("V")},
            {QStringLiteral("打印文件"), QStringLiteral("P")},
            {QStringLiteral("下载文件"), QStringLiteral("D")},
            {QStringLiteral("修改文件"), QStringLiteral("E")},
            {QStringLiteral("删除文件"), QStringLiteral("R")},
            {QStringLiteral("完全控制"), QStringLiteral("L")}};
}

RightsGrid::RightsGrid(QWidget *parent) : RightsGrid(libraryRights(), 3, "id", parent) {}

RightsGrid::RightsGrid(const QList<Right> &rights, int columns, const char *property,
                       QWidget *parent)
    : QWidget(parent), property(property)
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < rights.size(); ++i) {
        auto *check = new QCheckBox(rights.at(i).text, this);
        check->setProperty(property, rights.at(i).value);
        check->setChecked(rights.at(i).checked);
        grid->addWidget(check, i / columns, i % columns);
        boxes.append(check);
    }

    QCheckBox *visible = box(QStringLiteral("A"));
    QCheckBox *full = box(QStringLiteral("L"));
    if (!visible || !full)
        return;
    connect(visible, &QCheckBox::clicked, this, [this](bool checked) {
        if (!checked) {
            for (QCheckBox *check : qAsConst(boxes))
                check->setChecked(false);
        }
    });
    connect(full, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked) {
            for (QCheckBox *check : qAsConst(boxes))
                check->setChecked(true);
        }
    });
}

QStringList RightsGrid::values() const
{
    QStringList out;
    for (const QCheckBox *check : boxes) {
        if (check->isChecked())
            out << check->property(property.constData()).toString();
    }
    return out;
}

QCheckBox *RightsGrid::box(const QString &value) const
{
    for (QCheckBox *check : boxes) {
        if (check->property(property.constData()).toString() == value)
            return check;
    }
    return nullptr;
}
