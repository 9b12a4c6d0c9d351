#include "collab/userviewmodel.h"

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

UserViewModel::~UserViewModel()
{
    deleteTree(top);
}

QVariantMap UserViewModel::organisation()
{
    return {{kName, QStringLiteral("组织架构")},
            {kId, QStringLiteral("9d27ffe38ca78490")},
            {kParentId, kTopParent}};
}

// Without recursion: a deep tree must not exhaust the stack.
void UserViewModel::deleteTree(Node *top)
{
    QVector<Node *> stack;
    if (top)
        stack.append(top);
    while (!stack.isEmpty()) {
        Node *node = stack.takeLast();
        stack += node->children;
        delete node;
    }
}

void UserViewModel::receiveData(QVariantMap map)
{
    if (!map.contains(QStringLiteral("code")) ||
        map.value(QStringLiteral("code")).toString() != QLatin1String("0"))
        return;
    if (top && map == lastReply)
        return;
    lastReply = map;

    const QVariantList list = map.value(QStringLiteral("data")).toList();
    const int n = list.size() + 1;
    QVector<Node *> nodes(n, nullptr);
    QVector<QString> parentIds(n);
    // Each record's keys are read in one walk, into the node it may become.
    for (int i = 0; i < n; ++i) {
        auto *node = new Node;
        node->record = i < n - 1 ? list.at(i).toMap() : organisation();
        for (auto it = node->record.constBegin(); it != node->record.constEnd(); ++it) {
            if (it.key() == kId)
                node->id = it.value().toString();
            else if (it.key() == kName)
                node->name = it.value().toString();
            else if (it.key() == kParentId)
                parentIds[i] = it.value().toString();
        }
        nodes[i] = node;
    }
    // A repeated id stands for its last record, as in any map from id to record.
    QHash<QString, int> byId;
    byId.reserve(n);
    for (int i = 0; i < n; ++i)
        byId.insert(nodes.at(i)->id, i);
    QVector<int> standing(n), parents(n);
    for (int i = 0; i < n; ++i) {
        standing[i] = byId.value(nodes.at(i)->id);
        parents[i] = parentIds.at(i) == kTopParent
                         ? ParentLinker::top
                         : byId.value(parentIds.at(i), ParentLinker::unknown);
    }

    auto *fresh = new Node;
    QVector<Node *> placed(n, nullptr);
    ParentLinker(standing, parents)
        .link(
            [&](int record, int slot, int parentSlot) {
                Node *parent = parentSlot == ParentLinker::top ? fresh : placed.at(parentSlot);
                Node *node = nodes.at(record);
                nodes[record] = nullptr;
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
                             << nodes.at(record)->id;
            });
    qDeleteAll(nodes); // the records that were not placed

    beginResetModel();
    deleteTree(top);
    top = fresh;
    endResetModel();

    for (int i = 0; i < top->children.size(); ++i) {
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
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : top;
}

QModelIndex UserViewModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!top || column != 0 || row < 0 || parent.column() > 0)
        return QModelIndex();
    const Node *node = nodeOf(parent);
    if (row >= node->children.size())
        return QModelIndex();
    return createIndex(row, column, node->children.at(row));
}

QModelIndex UserViewModel::parent(const QModelIndex &index) const
{
    if (!top || !index.isValid())
        return QModelIndex();
    const Node *parentNode = nodeOf(index)->parent;
    if (!parentNode || parentNode == top)
        return QModelIndex();
    return createIndex(parentNode->row, 0, const_cast<Node *>(parentNode));
}

int UserViewModel::rowCount(const QModelIndex &parent) const
{
    if (!top || parent.column() > 0)
        return 0;
    return nodeOf(parent)->children.size();
}

int UserViewModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant UserViewModel::data(const QModelIndex &index, int role) const
{
    if (!top || !index.isValid())
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
