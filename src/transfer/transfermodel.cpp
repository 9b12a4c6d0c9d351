#include "transfer/transfermodel.h"

#include "core/gcore.h"
#include "transfer/transferroles.h"

#include <QColor>

#include <algorithm>

namespace {

constexpr int kColumns = 3;
// Progress changes of up to this many rows are signalled cell by cell.
constexpr int kSingleCellUpdates = 64;

const QString kStopImage = QStringLiteral(":/images/main/stop_down_file.png");
const QString kStartImage = QStringLiteral(":/images/main/start_down_file.png");
const QString kOpenFolderImage = QStringLiteral(":/images/main/open_fold.png");
const QString kDropImage = QStringLiteral(":/images/main/cancel_file.png");

bool moving(TransferRow::State state)
{
    return state == TransferRow::State::Running || state == TransferRow::State::Waiting ||
           state == TransferRow::State::Retrying;
}

} // namespace

TransferModel::TransferModel(bool download, QObject *parent)
    : QAbstractTableModel(parent), download(download)
{
}

int TransferModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : shown;
}

int TransferModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QString TransferModel::statusText(const TransferRow &row) const
{
    QString word;
    switch (row.state) {
    case TransferRow::State::Running:
        word = download ? QStringLiteral("正在下载") : QStringLiteral("正在上传");
        break;
    case TransferRow::State::Stopped:
        word = download ? QStringLiteral("下载停止") : QStringLiteral("上传停止");
        break;
    case TransferRow::State::Failed:
        word = download ? QStringLiteral("下载出错") : QStringLiteral("上传出错");
        break;
    case TransferRow::State::Waiting:
        word = QStringLiteral("等待中");
        break;
    case TransferRow::State::Retrying:
        word = QStringLiteral("重试中 (%1/3)").arg(row.attempt);
        break;
    }
    return word;
}

QVariant TransferModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= shown)
        return QVariant();
    const TransferRow &r = rows[size_t(shown - 1 - index.row())];
    if (role == TransferRoles::Key)
        return r.key;
    switch (index.column()) {
    case 0:
        if (role == Qt::DisplayRole)
            return r.name;
        if (role == TransferRoles::SizeText)
            return r.sizeText;
        if (role == TransferRoles::IconPath)
            return r.icon;
        break;
    case 1:
        if (role == Qt::DisplayRole) {
            const QString word = statusText(r);
            return r.reason.isEmpty() ? word : word + QStringLiteral("：") + r.reason;
        }
        if (role == TransferRoles::StatusWord)
            return statusText(r);
        if (role == TransferRoles::Progress)
            return r.percent;
        if (role == Qt::ToolTipRole && !r.reason.isEmpty())
            return plainToolTip(r.reason);
        if (role == Qt::ForegroundRole)
            return r.state == TransferRow::State::Failed ? QColor(Qt::red)
                                                         : QColor(0x66, 0x66, 0x66);
        break;
    case 2:
        if (role == TransferRoles::Buttons) {
            const bool stop = moving(r.state);
            const QString verb = download ? QStringLiteral("下载") : QStringLiteral("上传");
            return QVariantList{
                QStringList{QStringLiteral("startStop"), stop ? kStopImage : kStartImage,
                            (stop ? QStringLiteral("停止") : QStringLiteral("开始")) + verb},
                QStringList{QStringLiteral("openFolder"), kOpenFolderImage,
                            QStringLiteral("打开所在文件夹")},
                QStringList{QStringLiteral("drop"), kDropImage, QStringLiteral("清除记录")}};
        }
        break;
    default:
        break;
    }
    return QVariant();
}

const TransferRow *TransferModel::row(const QString &key) const
{
    const auto it = positions.constFind(key);
    return it == positions.constEnd() ? nullptr : &rows[size_t(*it)];
}

QStringList TransferModel::keys() const
{
    QStringList out;
    out.reserve(int(rows.size()));
    for (const TransferRow &r : rows)
        out << r.key;
    return out;
}

void TransferModel::add(const TransferRow &row)
{
    if (positions.contains(row.key))
        return;
    positions.insert(row.key, int(rows.size()));
    if (batch) {
        rows.push_back(row);
        emit listChanged();
        return;
    }
    beginInsertRows(QModelIndex(), 0, 0);
    rows.push_back(row);
    shown = int(rows.size());
    endInsertRows();
    emit listChanged();
}

void TransferModel::setBatch(bool open)
{
    batch = open;
    if (open || shown == int(rows.size()))
        return;
    beginInsertRows(QModelIndex(), 0, int(rows.size()) - shown - 1);
    shown = int(rows.size());
    endInsertRows();
}

void TransferModel::remove(const QStringList &keys)
{
    QVector<int> doomed;
    for (const QString &key : keys) {
        const auto it = positions.constFind(key);
        if (it != positions.constEnd())
            doomed << *it;
    }
    if (doomed.isEmpty())
        return;
    std::sort(doomed.begin(), doomed.end());
    doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
    // From the highest position down: each run of neighbours goes in one step,
    // and the positions still to remove do not move.
    int end = doomed.size();
    while (end > 0) {
        int start = end - 1;
        while (start > 0 && doomed.at(start - 1) == doomed.at(start) - 1)
            --start;
        const int first = doomed.at(start);
        const int last = doomed.at(end - 1);
        for (int p = first; p <= last; ++p)
            positions.remove(rows[size_t(p)].key);
        if (first >= shown) {
            rows.erase(rows.begin() + first, rows.begin() + last + 1);
        } else {
            const int visibleLast = qMin(last, shown - 1);
            beginRemoveRows(QModelIndex(), viewRow(visibleLast), viewRow(first));
            rows.erase(rows.begin() + first, rows.begin() + last + 1);
            shown -= visibleLast - first + 1;
            endRemoveRows();
        }
        end = start;
    }
    changedRows.clear();
    reindex(doomed.first());
    emit listChanged();
}

void TransferModel::reindex(int from)
{
    for (int p = from; p < int(rows.size()); ++p)
        positions[rows[size_t(p)].key] = p;
}

void TransferModel::rowChanged(int position)
{
    if (position >= shown)
        return;
    // One signal per cell: a view repaints its whole viewport for a range
    // (Qt 5), but only the cell's rectangle, when it is shown, for one index.
    const int r = viewRow(position);
    for (int column = 0; column < kColumns; ++column)
        emit dataChanged(index(r, column), index(r, column));
}

void TransferModel::setState(const QString &key, TransferRow::State state, const QString &reason,
                             int attempt)
{
    const auto it = positions.constFind(key);
    if (it == positions.constEnd())
        return;
    TransferRow &r = rows[size_t(*it)];
    r.state = state;
    r.reason = state == TransferRow::State::Failed ? reason : QString();
    r.attempt = attempt;
    rowChanged(*it);
    emit listChanged();
}

void TransferModel::setPercent(const QString &key, int percent)
{
    const auto it = positions.constFind(key);
    if (it == positions.constEnd())
        return;
    TransferRow &r = rows[size_t(*it)];
    if (r.percent == percent)
        return;
    r.percent = percent;
    if (*it < shown)
        changedRows << viewRow(*it);
}

void TransferModel::flushProgress()
{
    if (changedRows.isEmpty())
        return;
    std::sort(changedRows.begin(), changedRows.end());
    changedRows.erase(std::unique(changedRows.begin(), changedRows.end()), changedRows.end());
    // Each bar alone, so that only the bars shown are repainted; past a
    // screenful the ranges cost less than the signals.
    if (changedRows.size() <= kSingleCellUpdates) {
        for (int row : qAsConst(changedRows))
            emit dataChanged(index(row, 1), index(row, 1), {TransferRoles::Progress});
        changedRows.clear();
        return;
    }
    int start = 0;
    for (int i = 1; i <= changedRows.size(); ++i) {
        if (i == changedRows.size() || changedRows.at(i) != changedRows.at(i - 1) + 1) {
            emit dataChanged(index(changedRows.at(start), 1), index(changedRows.at(i - 1), 1),
                             {TransferRoles::Progress});
            start = i;
        }
    }
    changedRows.clear();
}
