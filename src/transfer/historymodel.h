#pragma once

#include <QAbstractTableModel>
#include <QVariantList>

// The finished transfers, newest on top, in four columns (name, time,
// direction, buttons) for TransferDelegate. The records stay oldest first, as
// the history file stores them; only the newest `maxRecords` are kept.
class HistoryModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int maxRecords = 10000;

    explicit HistoryModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    const QVariantList &records() const { return list; }
    // Replaces every record; returns whether old ones were dropped.
    bool setRecords(QVariantList records);
    void append(const QVariantMap &record);
    QVariantMap recordAt(int viewRow) const;
    void removeAt(int viewRow);
    void clear();

private:
    QVariantList list;
};
