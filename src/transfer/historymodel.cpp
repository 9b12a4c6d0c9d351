#include "transfer/historymodel.h"

#include "core/gcore.h"
#include "transfer/transferroles.h"

#include <QDateTime>
#include <QIcon>

HistoryModel::HistoryModel(QObject *parent) : QAbstractTableModel(parent) {}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : list.size();
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariantMap HistoryModel::recordAt(int viewRow) const
{
    if (viewRow < 0 || viewRow >= list.size())
        return QVariantMap();
    return list.at(list.size() - 1 - viewRow).toMap();
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= list.size())
        return QVariant();
    const QVariantMap record = recordAt(index.row());
    if (role == TransferRoles::Key)
        return record.value(QStringLiteral("filePath"));
    const bool download = record.value(QStringLiteral("type")).toInt() == 0;
    switch (index.column()) {
    case 0:
        if (role == Qt::DisplayRole)
            return record.value(QStringLiteral("fileName")).toString();
        if (role == TransferRoles::SizeText)
            return record.value(QStringLiteral("fileLength")).toString();
        if (role == TransferRoles::IconPath)
            return GCore::fileIconPath(record);
        break;
    case 1:
        if (role == Qt::DisplayRole)
            return QDateTime::fromMSecsSinceEpoch(
                       record.value(QStringLiteral("handleTime")).toLongLong())
                .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        break;
    case 2:
        if (role == Qt::DisplayRole)
            return download ? QStringLiteral("下载完成") : QStringLiteral("上传完成");
        if (role == Qt::DecorationRole)
            return QIcon(download ? QStringLiteral(":/images/main/down_file.png")
                                  : QStringLiteral(":/images/main/upload_file.png"));
        break;
    case 3:
        if (role == TransferRoles::Buttons)
            return QVariantList{QStringList{QStringLiteral("openFile"),
                                            QStringLiteral(":/images/main/open_file.png"),
                                            QStringLiteral("打开文件")},
                                QStringList{QStringLiteral("openFolder"),
                                            QStringLiteral(":/images/main/open_fold.png"),
                                            QStringLiteral("打开所在文件夹")},
                                QStringList{QStringLiteral("drop"),
                                            QStringLiteral(":/images/main/cancel_file.png"),
                                            QStringLiteral("清除记录")}};
        break;
    default:
        break;
    }
    return QVariant();
}

bool HistoryModel::setRecords(QVariantList records)
{
    const bool cut = records.size() > maxRecords;
    if (cut)
        records.erase(records.begin(), records.end() - maxRecords);
    beginResetModel();
    list = std::move(records);
    endResetModel();
    return cut;
}

void HistoryModel::append(const QVariantMap &record)
{
    if (list.size() >= maxRecords) {
        // The oldest record is the bottom row.
        beginRemoveRows(QModelIndex(), list.size() - 1, list.size() - 1);
        list.removeFirst();
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), 0, 0);
    list.append(record);
    endInsertRows();
}

void HistoryModel::removeAt(int viewRow)
{
    if (viewRow < 0 || viewRow >= list.size())
        return;
    beginRemoveRows(QModelIndex(), viewRow, viewRow);
    list.removeAt(list.size() - 1 - viewRow);
    endRemoveRows();
}

void HistoryModel::clear()
{
    beginResetModel();
    list.clear();
    endResetModel();
}
