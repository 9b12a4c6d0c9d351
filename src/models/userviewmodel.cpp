#include "models/userviewmodel.h"

#include "core/parentlinker.h"

#include <QApplication>
#include <QDebug>
#include <QHash>
#include <QTreeView>

namespace {

const QString kId = QStringLiteral("id");
const QString kName = QStringLiteral("name");
const QString kParentId = QStringLiteral("parentId");
const QString kTopParent = QStringLiteral("-1");

} // namespace

UserViewModel::UserViewModel(QObject *view)
    : QAbstractItemModel(view), view(qobject_cast<QTreeView *>(view)), font(QApplication::font())
{
    font.setPointSize(10);
}

QVariantMap UserViewModel::organisation()
{
    return {{kName, QStringLiteral("组织架构")},
            {kId, QStringLiteral("9d27ffe38ca78490")},
            {kParentId, kTopParent}};
}

void UserViewModel::receiveData(QVariantMap map)
{
    if (!map.contains(QStringLiteral("code")) ||
        map.value(QStringLiteral("code")).toString() != QLatin1String("0"))
        return;
    if (!nodes.empty() && map == lastReply)
        return;
    lastReply = map;

    const QVariantList list = map.value(QStringLiteral("data")).toList();
    const int n = list.size() + 1;
    // fresh[0] is the top node, fresh[i + 1] the node of record i.
    std::vector<Node> fresh(size_t(n) + 1);
    QVector<QString> parentIds(n);
    // Each record's keys are read in one walk, into the node it may become.
    for (int i = 0; i < n; ++i) {
        Node &node = fresh[size_t(i) + 1];
        node.record = i < n - 1 ? list.at(i).toMap() : organisation();
        for (auto it = node.record.constBegin(); it != node.record.constEnd(); ++it) {
            if (it.key() == kId)
                node.id = it.value().toString();
            else if (it.key() == kName)
                node.name = it.value().toString();
            else if (it.key() == kParentId)
                parentIds[i] = it.value().toString();
        }
    }
    // A repeated id stands for its last record, as in any map from id to record.
    QHash<QString, int> byId;
    byId.reserve(n);
    for (int i = 0; i < n; ++i)
        byId.insert(fresh[size_t(i) + 1].id, i);
    QVector<int> standing(n), parents(n);
    for (int i = 0; i < n; ++i) {
        standing[i] = byId.value(fresh[size_t(i) + 1].id);
        parents[i] = parentIds.at(i) == kTopParent
                         ? ParentLinker::top
                         : byId.value(parentIds.at(i), ParentLinker::unknown);
    }

    QVector<Node *> placed(n, nullptr);
    ParentLinker(standing, parents)
        .link(
            [&](int record, int slot, int parentSlot) {
                Node *parent = parentSlot == ParentLinker::top ? &fresh[0] : placed.at(parentSlot);
                Node *node = &fresh[size_t(record) + 1];
                node->parent = parent;
                node->row = parent->children.size();
                parent->children.append(node);
                placed[slot] = node;
            },
            [&](int record, ParentLinker::Drop why) {
                if (why == ParentLinker::Drop::UnknownParent)
                    qDebug() << __FILE__ << __LINE__ << "unknown parent group"
                             << parentIds.at(record);
                else
                    qDebug() << __FILE__ << __LINE__
                             << "group left out, its parent chain breaks or loops:"
                             << fresh[size_t(record) + 1].id;
            });

    beginResetModel();
    nodes.swap(fresh);
    endResetModel();

    for (int i = 0; i < nodes.front().children.size(); ++i) {
        const QModelIndex topLevel = index(i, 0);
        if (i == 0) {
            if (view)
                view->setCurrentIndex(topLevel);
            emit refreshFinished(topLevel);
        }
        if (view)
            view->expand(topLevel);
    }
}

UserViewModel::Node *UserViewModel::nodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Node *>(index.internalPointer())
                           : const_cast<Node *>(&nodes.front());
}

QModelIndex UserViewModel::index(int row, int column, const QModelIndex &parent) const
{
    if (nodes.empty() || column != 0 || row < 0 || parent.column() > 0)
        return QModelIndex();
    const Node *node = nodeOf(parent);
    if (row >= node->children.size())
        return QModelIndex();
    return createIndex(row, column, node->children.at(row));
}

QModelIndex UserViewModel::parent(const QModelIndex &index) const
{
    if (nodes.empty() || !index.isValid())
        return QModelIndex();
    const Node *parentNode = nodeOf(index)->parent;
    if (!parentNode || parentNode == &nodes.front())
        return QModelIndex();
    return createIndex(parentNode->row, 0, const_cast<Node *>(parentNode));
}

int UserViewModel::rowCount(const QModelIndex &parent) const
{
    if (nodes.empty() || parent.column() > 0)
        return 0;
    return nodeOf(parent)->children.size();
}

int UserViewModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant UserViewModel::data(const QModelIndex &index, int role) const
{
    if (nodes.empty() || !index.isValid())
        return QVariant();
    const Node *node = nodeOf(index);
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? QVariant(node->name) : QVariant();
    case Qt::UserRole + 1:
        return node->id;
    case Qt::FontRole:
        return font;
    default:
        return QVariant();
    }
}

Qt::ItemFlags UserViewModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return QAbstractItemModel::flags(index);
}
