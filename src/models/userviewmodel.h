#pragma once

#include <QAbstractItemModel>
#include <QFont>
#include <QVariantMap>
#include <QVector>

#include <vector>

class QTreeView;

// The organisation's group tree of the user picker, linked from the server's
// flat group list ("id", "name", "parentId"; "-1" marks a top-level group)
// plus the organisation node "组织架构" that the model always adds. Children
// keep the order of the list; groups whose parent chain names an unknown
// group or loops are left out. Role Qt::UserRole + 1 is the group's id.
// After each rebuild the first top-level group becomes the view's current
// index and is announced with refreshFinished().
class UserViewModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    // `view` (a QTreeView) shows the model and owns it.
    explicit UserViewModel(QObject *view);

    // The organisation node that every tree has.
    static QVariantMap organisation();

    QModelIndex index(int row, int column,
                      const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    void refreshFinished(QModelIndex index);

public slots:
    // A reply of "/api/user/list-all-group.jf": rebuilds the tree, unless the
    // reply is a refusal or the same as the one applied last.
    void receiveData(QVariantMap map);

private:
    struct Node
    {
        QVariantMap record;
        QString id;
        QString name;
        Node *parent = nullptr;
        int row = 0;
        QVector<Node *> children;
    };

    Node *nodeOf(const QModelIndex &index) const;

    QTreeView *view = nullptr;
    // The invisible top node first, then one node per record of the reply
    // (the records left out of the tree stay unlinked). One block for the
    // whole tree: a rebuild of thousands of groups costs one allocation.
    std::vector<Node> nodes;
    QVariantMap lastReply;
    QFont font;
};
