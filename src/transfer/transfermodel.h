#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QVariantMap>
#include <QVector>

#include <vector>

// One transfer as its table shows it and the panel runs it.
struct TransferRow
{
    enum class State { Running, Stopped, Failed, Waiting, Retrying };

    // A download's file id or an upload's local path.
    QString key;
    // A download: the listed item (with "localPath"); an upload: {"file",
    // "parentId", "type", "fileId"}.
    QVariantMap item;
    int type = 0;
    QString name;
    QString sizeText;
    QString icon;
    State state = State::Waiting;
    int percent = 0;
    // A failure's reason, shown after the status word.
    QString reason;
    // The retry under way (1 to 3) while `state` is Retrying.
    int attempt = 0;
    // Tells this row from a later one under the same key.
    quint64 serial = 0;
};

// The rows of the running uploads or downloads, newest on top, in three
// columns (name, progress and status, buttons) for TransferDelegate. Rows are
// kept oldest first so that adding one costs nothing beside the view's own
// work; while a batch is open, added rows wait and reach the view in one
// insertion. Progress changes are collected and told in one dataChanged per
// range of neighbouring rows when flushed.
class TransferModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TransferModel(bool download, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Every row, those of an open batch included.
    int size() const { return int(rows.size()); }
    bool contains(const QString &key) const { return positions.contains(key); }
    // The row of `key`, or nullptr; valid until rows are added or removed.
    const TransferRow *row(const QString &key) const;
    // Keys oldest first.
    QStringList keys() const;

    void add(const TransferRow &row);
    void remove(const QStringList &keys);
    void setState(const QString &key, TransferRow::State state, const QString &reason = QString(),
                  int attempt = 0);
    // Recorded now, told to the view at the next flushProgress().
    void setPercent(const QString &key, int percent);
    void flushProgress();

    // While open, added rows are held back and inserted together at the end.
    void setBatch(bool open);

    QString statusText(const TransferRow &row) const;

signals:
    // A row was added or removed or changed its state (progress aside).
    void listChanged();

private:
    int viewRow(int position) const { return shown - 1 - position; }
    void reindex(int from);
    void rowChanged(int position);

    const bool download;
    std::vector<TransferRow> rows;
    QHash<QString, int> positions;
    // The rows the view knows of: the first `shown` of `rows`.
    int shown = 0;
    bool batch = false;
    QVector<int> changedRows;
};
