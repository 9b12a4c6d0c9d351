#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// One folder of a folder tree: the folder entry as the server sent it and the
// child folders, kept in the tree's child order (special ids first, then by
// name, equal names newest first). Owns its children.
class TreeItem
{
public:
    explicit TreeItem(const QVariantMap &data, TreeItem *parent = nullptr);
    // The same, for a builder that has read the keys of the child order already.
    TreeItem(const QVariantMap &data, const QString &id, const QString &name, qulonglong modified,
             TreeItem *parent);
    ~TreeItem();
    TreeItem(const TreeItem &) = delete;
    TreeItem &operator=(const TreeItem &) = delete;

    // Inserts the child at its place in the child order, after any equal ones,
    // so the result is that of appending and re-sorting stably.
    void appendChild(TreeItem *child);
    // Appends without ordering; a bulk build calls sortChildren() once at the end.
    void appendUnsorted(TreeItem *child);
    // Orders the children stably, keeping equal ones in the order they came.
    void sortChildren();

    TreeItem *child(int row) const;
    int childCount() const { return children.size(); }
    int row() const;
    QVariant value(const QString &key) const { return itemData.value(key); }

    // True when a sorts before b in the child order.
    static bool lessThan(const TreeItem *a, const TreeItem *b);

    QList<TreeItem *> children;
    QVariantMap itemData;
    TreeItem *parentItem = nullptr;

private:
    void renumberFrom(int first);

    // The parts of the entry the child order reads, taken once.
    QString id;
    QString name;
    qulonglong modified = 0;
    bool shortId = false;
    int numericId = 0;
    // Position in the parent's children, kept current so row() is O(1).
    mutable int rowHint = -1;
};
