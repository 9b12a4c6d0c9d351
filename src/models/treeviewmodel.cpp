#include "models/treeviewmodel.h"

#include "core/gcore.h"
#include "core/httpthread.h"
#include "core/parentlinker.h"
#include "models/treeitem.h"

#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QHash>
#include <QIcon>
#include <QLabel>
#include <QSet>
#include <QTreeView>
#include <QVector>

namespace {

const QString kFileId = QStringLiteral("fileId");
const QString kParentId = QStringLiteral("parentId");
const QString kTopParent = QStringLiteral("-1");

struct Entry
{
    QVariantMap map;
    QString id;
    QString name;
    qulonglong modified = 0;
};

// Links folder entries by "parentId" through ParentLinker. Ids are resolved
// to indexes once, so linking works on plain indexes.
class TreeLinker
{
public:
    // `top` is linked as one more entry after `list`, so the list itself is
    // never copied.
    TreeLinker(const QVariantList &list, const QVariantMap &top)
    {
        const int n = list.size() + 1;
        entries.resize(n);
        QHash<QString, int> byId;
        byId.reserve(n);
        QVector<QString> parentIds(n);
        bool duplicates = false;
        for (int i = 0; i < n; ++i) {
            Entry &e = entries[i];
            e.map = i < n - 1 ? list.at(i).toMap() : top;
            readKeys(e, parentIds[i]);
            auto known = byId.find(e.id);
            if (known == byId.end()) {
                byId.insert(e.id, i);
            } else {
                known.value() = i;
                duplicates = true;
            }
        }
        standing.resize(n);
        parents.resize(n);
        for (int i = 0; i < n; ++i) {
            standing[i] = duplicates ? byId.value(entries.at(i).id) : i;
            parents[i] = parentIds.at(i) == kTopParent
                             ? ParentLinker::top
                             : byId.value(parentIds.at(i), ParentLinker::unknown);
            if (parents.at(i) == ParentLinker::unknown)
                unknownParents.insert(i, parentIds.at(i));
        }
        node.fill(nullptr, n);
    }

    // One walk over the entry's few keys reads the four the tree needs, which
    // is cheaper than four lookups in a large build.
    static void readKeys(Entry &e, QString &parentId)
    {
        static const QString kFileName = QStringLiteral("fileName");
        static const QString kModified = QStringLiteral("lastModifyTime");
        for (auto it = e.map.constBegin(); it != e.map.constEnd(); ++it) {
            const QString &key = it.key();
            if (key == kFileId)
                e.id = it.value().toString();
            else if (key == kParentId)
                parentId = it.value().toString();
            else if (key == kFileName)
                e.name = it.value().toString();
            else if (key == kModified)
                e.modified = it.value().toULongLong();
        }
    }

    TreeItem *link()
    {
        root = new TreeItem(QVariantMap());
        ParentLinker(standing, parents)
            .link(
                [this](int entry, int slot, int parentSlot) {
                    TreeItem *parent = parentSlot == ParentLinker::top ? root : node.at(parentSlot);
                    const Entry &e = entries.at(entry);
                    auto *item = new TreeItem(e.map, e.id, e.name, e.modified, parent);
                    parent->appendUnsorted(item);
                    node[slot] = item;
                },
                [this](int entry, ParentLinker::Drop why) {
                    if (why == ParentLinker::Drop::UnknownParent)
                        qDebug() << __FILE__ << __LINE__ << "unknown parent folder"
                                 << unknownParents.value(entry);
                    qDebug() << __FILE__ << __LINE__
                             << "folder left out, parent not placed:" << entries.at(entry).id;
                });
        sortAll();
        return root;
    }

private:
    void sortAll()
    {
        QVector<TreeItem *> stack{root};
        while (!stack.isEmpty()) {
            TreeItem *item = stack.takeLast();
            if (item->childCount() > 1)
                item->sortChildren();
            for (TreeItem *child : qAsConst(item->children)) {
                if (child->childCount() > 0)
                    stack.append(child);
            }
        }
    }

    QVector<Entry> entries;
    QVector<int> standing;
    QVector<int> parents;
    QHash<int, QString> unknownParents;
    QVector<TreeItem *> node;
    TreeItem *root = nullptr;
};

// Every node below `root` that has children.
QVector<TreeItem *> branches(TreeItem *root)
{
    QVector<TreeItem *> found;
    QVector<TreeItem *> stack(root->children.cbegin(), root->children.cend());
    while (!stack.isEmpty()) {
        TreeItem *node = stack.takeLast();
        if (node->childCount() == 0)
            continue;
        found.append(node);
        stack.append(QVector<TreeItem *>(node->children.cbegin(), node->children.cend()));
    }
    return found;
}

} // namespace

TreeViewModel::TreeViewModel(QTreeView *view, int area, QObject *parent)
    : QAbstractItemModel(parent), view(view), area(area)
{
}

TreeViewModel::~TreeViewModel()
{
    delete rootItem;
    delete oldRootItem;
}

QVariantMap TreeViewModel::topNode(int area)
{
    return QVariantMap{{QStringLiteral("fileName"),
                        area == 0 ? QStringLiteral("公司文档") : QStringLiteral("我的网盘")},
                       {kFileId, QStringLiteral("0")},
                       {kParentId, kTopParent}};
}

TreeItem *TreeViewModel::linkTree(const QVariantList &list, int area)
{
    return TreeLinker(list, topNode(area)).link();
}

bool TreeViewModel::hasRows() const
{
    return rootItem && rootItem->childCount() > 0;
}

void TreeViewModel::rebuild(const QVariantList &list, bool keepOld)
{
    TreeItem *fresh = nullptr;
    if (targetsOnly) {
        QVariantList targets;
        targets.reserve(list.size());
        for (const QVariant &entry : list) {
            const QString id = entry.toMap().value(kFileId).toString();
            if (id != QLatin1String("-8") && id != QLatin1String("-9"))
                targets.append(entry);
        }
        fresh = linkTree(targets, area);
    } else {
        fresh = linkTree(list, area);
    }

    // A new tree is a model reset, which collapses every branch: the ones
    // the user had open are opened again by id.
    // Below a closed branch too: the view remembers those for when the
    // branch is opened again.
    QSet<QString> expanded;
    if (view && rootItem) {
        for (TreeItem *node : branches(rootItem)) {
            if (view->isExpanded(createIndex(node->row(), 0, node)))
                expanded.insert(node->value(kFileId).toString());
        }
    }

    beginResetModel();
    if (keepOld) {
        // A build from the cache keeps the tree it replaces until the next one.
        delete oldRootItem;
        oldRootItem = rootItem;
    } else {
        delete rootItem;
    }
    rootItem = fresh;
    endResetModel();

    if (!view)
        return;
    // The area's own top folder is current at first, not whichever top-level
    // row sorts first (the share folders "-9" and "-8" come before "0").
    QModelIndex current;
    for (int i = 0; i < rowCount(); ++i) {
        const QModelIndex top = index(i, 0);
        if (!current.isValid() || top.data(Qt::UserRole + 1).toString() == QLatin1String("0"))
            current = top;
        view->expand(top);
    }
    if (current.isValid())
        view->setCurrentIndex(current);
    if (expanded.isEmpty())
        return;
    for (TreeItem *node : branches(rootItem)) {
        if (expanded.contains(node->value(kFileId).toString()))
            view->expand(createIndex(node->row(), 0, node));
    }
}

void TreeViewModel::buildTree(const QVariantMap &reply)
{
    rebuild(reply.value(QStringLiteral("data")).toList(), true);
    emit rebuilt();
}

void TreeViewModel::refresh(bool fromCache)
{
    GCore *core = GCore::instance();
    if (fromCache) {
        buildTree(area == 0 ? core->companyRootCache() : core->netDiskRootCache());
        return;
    }
    FormParams params{{QStringLiteral("token"), core->token()}};
    QString url;
    showErrorLabel(false);
    if (area == 1) {
        url = core->serverUrl() + QStringLiteral("/api/netdisk/list-dir.jf");
    } else {
        url = core->serverUrl() + QStringLiteral("/api/file/list-dir.jf");
        if (!hasRows())
            emit loadingChanged(true);
        const uint since = core->companyRootCache().value(QStringLiteral("updateTime")).toUInt();
        params.insert(QStringLiteral("date"), QDateTime::fromSecsSinceEpoch(qint64(since))
                                                  .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
    auto *thread = new HttpThread(url, params);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &HttpThread::receiveJson, this, &TreeViewModel::receiveData);
    thread->start(QThread::InheritPriority);
}

void TreeViewModel::showErrorLabel(bool show)
{
    emit errorShown(show);
}

void TreeViewModel::receiveData(QVariantMap rawData)
{
    GCore *core = GCore::instance();
    if (area == 0)
        emit loadingChanged(false);

    const bool ok = rawData.contains(QStringLiteral("code")) &&
                    rawData.value(QStringLiteral("code")).toString() == QLatin1String("0");
    if (!ok) {
        if (!hasRows())
            showErrorLabel(true);
        return;
    }

    const QString currentId =
        view ? view->currentIndex().data(Qt::UserRole + 1).toString() : QString();
    showErrorLabel(false);

    if (area == 1 && hasRows() && rawData == core->netDiskRootCache())
        return;
    if (area == 0 && hasRows() && rawData.value(QStringLiteral("removes")).toList().isEmpty() &&
        rawData.value(QStringLiteral("data")).toList().isEmpty())
        return;

    QVariantList list;
    if (area == 0) {
        core->mergeCompanyRootList(rawData, true);
        list = core->companyRootCache().value(QStringLiteral("data")).toList();
    } else {
        core->setNetDiskRootCache(rawData);
        list = rawData.value(QStringLiteral("data")).toList();
    }
    rebuild(list, false);
    selectById(currentId, QModelIndex());
    emit rebuilt();
}

void TreeViewModel::selectById(const QString &fileId, const QModelIndex &parent)
{
    if (!rootItem || !view)
        return;
    TreeItem *start =
        parent.isValid() ? static_cast<TreeItem *>(parent.internalPointer()) : rootItem;
    // Depth first, in row order; the last match wins.
    QVector<TreeItem *> stack;
    for (int i = start->childCount() - 1; i >= 0; --i)
        stack.append(start->children.at(i));
    while (!stack.isEmpty()) {
        TreeItem *node = stack.takeLast();
        if (node->value(kFileId).toString() == fileId)
            view->setCurrentIndex(createIndex(node->row(), 0, node));
        for (int i = node->childCount() - 1; i >= 0; --i)
            stack.append(node->children.at(i));
    }
}

QVariant TreeViewModel::data(const QModelIndex &index, int role) const
{
    if (!rootItem || !index.isValid() || index.column() != 0)
        return QVariant();
    const auto *node = static_cast<TreeItem *>(index.internalPointer());
    switch (role) {
    case Qt::DisplayRole:
        return node->value(QStringLiteral("fileName"));
    case Qt::DecorationRole: {
        const QString id = node->value(kFileId).toString();
        if (id == QLatin1String("-8"))
            return QIcon(QStringLiteral(":/images/main/share2other.png"));
        if (id == QLatin1String("-9"))
            return QIcon(QStringLiteral(":/images/main/share_from_other.png"));
        if (area == 1 && id == QLatin1String("0"))
            return QIcon(QStringLiteral(":/images/main/netdisk_icon.png"));
        return QIcon(QStringLiteral(":/images/fileicon_middle/fold.png"));
    }
    case Qt::FontRole: {
        QFont font = QApplication::font();
        font.setPointSize(10);
        return font;
    }
    case Qt::UserRole + 1:
        return node->value(kFileId);
    default:
        return QVariant();
    }
}

Qt::ItemFlags TreeViewModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return QAbstractItemModel::flags(index);
}

QModelIndex TreeViewModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!rootItem || !hasIndex(row, column, parent))
        return QModelIndex();
    const TreeItem *parentNode =
        parent.isValid() ? static_cast<TreeItem *>(parent.internalPointer()) : rootItem;
    TreeItem *node = parentNode->child(row);
    return node ? createIndex(row, column, node) : QModelIndex();
}

QModelIndex TreeViewModel::parent(const QModelIndex &index) const
{
    if (!rootItem || !index.isValid())
        return QModelIndex();
    const auto *node = static_cast<TreeItem *>(index.internalPointer());
    TreeItem *parentNode = node->parentItem;
    if (!parentNode || parentNode == rootItem)
        return QModelIndex();
    return createIndex(parentNode->row(), 0, parentNode);
}

int TreeViewModel::rowCount(const QModelIndex &parent) const
{
    if (!rootItem || parent.column() > 0)
        return 0;
    const TreeItem *node =
        parent.isValid() ? static_cast<TreeItem *>(parent.internalPointer()) : rootItem;
    return node->childCount();
}

int TreeViewModel::columnCount(const QModelIndex &) const
{
    return 1;
}
