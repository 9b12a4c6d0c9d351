#include "models/treeitem.h"

#include <algorithm>

TreeItem::TreeItem(const QVariantMap &data, TreeItem *parent)
    : TreeItem(data, data.value(QStringLiteral("fileId")).toString(),
               data.value(QStringLiteral("fileName")).toString(),
               data.value(QStringLiteral("lastModifyTime")).toULongLong(), parent)
{
}

TreeItem::TreeItem(const QVariantMap &data, const QString &id, const QString &name,
                   qulonglong modified, TreeItem *parent)
    : itemData(data), parentItem(parent), id(id), name(name), modified(modified)
{
    shortId = id.size() < 3;
    numericId = id.toInt();
}

TreeItem::~TreeItem()
{
    // Iterative, so a very deep chain of folders cannot exhaust the stack.
    QList<TreeItem *> pending;
    pending.swap(children);
    while (!pending.isEmpty()) {
        TreeItem *node = pending.takeLast();
        pending.append(node->children);
        node->children.clear();
        delete node;
    }
}

bool TreeItem::lessThan(const TreeItem *a, const TreeItem *b)
{
    // Ids shorter than three characters ("0", "-8", "-9" and the first real
    // folders) compare as numbers, so "-9" comes before "-8". Read from one side
    // only, that rule would not be an order against a long id compared by name;
    // short ids therefore go before all long ones, which is what the numeric
    // rule gives for the server's non-negative ids.
    if (a->shortId != b->shortId)
        return a->shortId;
    if (a->shortId)
        return a->numericId < b->numericId;
    if (a->name < b->name)
        return true;
    if (b->name < a->name)
        return false;
    return a->modified > b->modified;
}

void TreeItem::appendChild(TreeItem *child)
{
    child->parentItem = this;
    const auto pos = std::upper_bound(children.begin(), children.end(), child, lessThan);
    const int at = int(pos - children.begin());
    children.insert(at, child);
    renumberFrom(at);
}

void TreeItem::appendUnsorted(TreeItem *child)
{
    child->parentItem = this;
    child->rowHint = children.size();
    children.append(child);
}

void TreeItem::sortChildren()
{
    std::stable_sort(children.begin(), children.end(), lessThan);
    renumberFrom(0);
}

void TreeItem::renumberFrom(int first)
{
    for (int i = first; i < children.size(); ++i)
        children.at(i)->rowHint = i;
}

TreeItem *TreeItem::child(int row) const
{
    if (row < 0 || row >= children.size())
        return nullptr;
    return children.at(row);
}

int TreeItem::row() const
{
    if (!parentItem)
        return 0;
    const QList<TreeItem *> &siblings = parentItem->children;
    if (rowHint >= 0 && rowHint < siblings.size() && siblings.at(rowHint) == this)
        return rowHint;
    rowHint = siblings.indexOf(const_cast<TreeItem *>(this));
    return rowHint;
}
