#pragma once

#include <QAbstractItemModel>
#include <QVariantList>
#include <QVariantMap>

class QTreeView;
class TreeItem;

// The folder hierarchy of one area (0 the company library, 1 the net disk),
// linked from the server's flat folder list. Rebuilt whole from the cached list
// in GCore or from a list reply; the company library asks only for changes
// since its last update and merges them into the cache.
class TreeViewModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    TreeViewModel(QTreeView *view, int area, QObject *parent = nullptr);
    ~TreeViewModel() override;

    void refresh(bool fromCache);
    // Leaves out the folders that cannot receive items (the "-8" and "-9"
    // share folders), for the pickers of a target folder.
    void setTargetsOnly(bool on) { targetsOnly = on; }
    void selectById(const QString &fileId, const QModelIndex &parent = QModelIndex());

    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;

    // Links a folder list (plus the area's top node) into a new tree and returns
    // its invisible root. Entries whose parent chain does not reach a known
    // node, or loops, are left out. Public for the benchmark.
    static TreeItem *linkTree(const QVariantList &list, int area);
    static QVariantMap topNode(int area);

public slots:
    void receiveData(QVariantMap rawData);

signals:
    // The tree was built anew (its current folder restored where it still exists).
    void rebuilt();
    // A first listing of the library is under way (true) or answered (false).
    void loadingChanged(bool loading);
    // The listing failed with no tree to show (true), or the failure is over.
    void errorShown(bool shown);

private:
    void buildTree(const QVariantMap &reply);
    void rebuild(const QVariantList &list, bool keepOld);
    bool hasRows() const;
    void showErrorLabel(bool show);

    QTreeView *view = nullptr;
    TreeItem *rootItem = nullptr;
    TreeItem *oldRootItem = nullptr;
    int area = 0;
    bool targetsOnly = false;
};
