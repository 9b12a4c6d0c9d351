// Builds the company folder tree from 100,000 folders in random order and
// compares the time with decoding the same JSON reply into a QVariantMap, in
// the same run. Also times merging 1,000 changes into the cached list and the
// rebuild that follows. Prints the figures and the ratio build / decode.
#include "browse/treeitem.h"
#include "browse/treeviewmodel.h"
#include "core/gcore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kFolders = 100000;
constexpr int kWide = 20000;
constexpr int kMaxDepth = 8;
constexpr int kRuns = 5;

// Folders with ids from 100 upward, a depth of at most 8, one folder with
// 20,000 children, names sharing long prefixes, and some equal names.
QJsonArray makeFolders(QRandomGenerator &rng)
{
    struct Node
    {
        int id;
        int parent;
        int depth;
    };
    QVector<Node> nodes;
    nodes.reserve(kFolders);
    const int wideId = 100;
    nodes.append({wideId, 0, 1});
    for (int i = 1; i < kWide + 1; ++i)
        nodes.append({100 + i, wideId, 2});
    while (nodes.size() < kFolders) {
        const Node &parent = nodes.at(int(rng.bounded(nodes.size())));
        const bool top = rng.bounded(50) == 0 || parent.depth >= kMaxDepth;
        nodes.append({100 + nodes.size(), top ? 0 : parent.id, top ? 1 : parent.depth + 1});
    }
    std::shuffle(nodes.begin(), nodes.end(), rng);
    static const char *const prefixes[] = {"项目资料/二〇二四年度/第", "Project archive 2024 part ",
                                           "部门文档-技术中心-", "Quarterly report "};
    QJsonArray list;
    for (const Node &n : qAsConst(nodes)) {
        QJsonObject o;
        o.insert("fileId", QString::number(n.id));
        o.insert("parentId", QString::number(n.parent));
        o.insert("fileName", QString::fromUtf8(prefixes[rng.bounded(4)]) +
                                 QString::number(rng.bounded(kFolders / 2)));
        o.insert("lastModifyTime", qint64(1600000000000LL + rng.bounded(1000000000)));
        o.insert("fileType", 1);
        o.insert("user", QStringLiteral("张三"));
        list.append(o);
    }
    return list;
}

double bestOf(const std::function<void()> &work)
{
    double best = 1e300;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

int countNodes(const TreeItem *node)
{
    int n = 0;
    QVector<const TreeItem *> stack{node};
    while (!stack.isEmpty()) {
        const TreeItem *item = stack.takeLast();
        n += item->childCount();
        for (const TreeItem *c : item->children)
            stack.append(c);
    }
    return n;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The merged list names removed parents on purpose; their debug lines
    // would only time the terminal.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QRandomGenerator rng(2024);

    QJsonObject replyObject;
    replyObject.insert("code", 0);
    replyObject.insert("msg", "");
    replyObject.insert("data", makeFolders(rng));
    replyObject.insert("removes", QJsonArray());
    const QByteArray json = QJsonDocument(replyObject).toJson(QJsonDocument::Compact);

    QVariantMap reply;
    const double decodeMs =
        bestOf([&] { reply = QJsonDocument::fromJson(json).toVariant().toMap(); });
    const QVariantList list = reply.value("data").toList();

    int nodes = 0;
    const double buildMs = bestOf([&] {
        TreeItem *root = TreeViewModel::linkTree(list, 0);
        nodes = countNodes(root);
        delete root;
    });

    // Check the wide folder's order: equal to a stable sort of its children.
    TreeItem *root = TreeViewModel::linkTree(list, 0);
    const TreeItem *top = root->child(0);
    const TreeItem *wide = nullptr;
    for (const TreeItem *c : top->children) {
        if (c->value("fileId").toString() == QLatin1String("100"))
            wide = c;
    }
    bool ordered = wide && wide->childCount() >= kWide;
    for (int i = 1; ordered && i < wide->childCount(); ++i)
        ordered = !TreeItem::lessThan(wide->child(i), wide->child(i - 1));
    delete root;

    // 1,000 changes: renames, moves, new folders and removals.
    GCore *core = GCore::instance();
    QVariantList changes;
    QVariantList removes;
    for (int i = 0; i < 1000; ++i) {
        QVariantMap entry = list.at(int(rng.bounded(list.size()))).toMap();
        if (i % 4 == 0) {
            removes.append(QVariantMap{{"fileId", entry.value("fileId")}});
            continue;
        }
        if (i % 4 == 1)
            entry.insert("fileId", QString::number(500000 + i));
        entry.insert("fileName", entry.value("fileName").toString() + QStringLiteral(" 新"));
        changes.append(entry);
    }
    const QVariantMap delta{{"code", 0}, {"data", changes}, {"removes", removes}};
    double mergeMs = 1e300;
    double rebuildMs = 1e300;
    for (int i = 0; i < kRuns; ++i) {
        core->setCompanyRootCache(reply);
        QElapsedTimer t;
        t.start();
        core->mergeCompanyRootList(delta, true);
        mergeMs = std::min(mergeMs, t.nsecsElapsed() / 1e6);
        t.restart();
        delete TreeViewModel::linkTree(core->companyRootCache().value("data").toList(), 0);
        rebuildMs = std::min(rebuildMs, t.nsecsElapsed() / 1e6);
    }

    std::printf("folders: %d (placed %d), JSON %d bytes, best of %d runs\n", int(list.size()),
                nodes, int(json.size()), kRuns);
    std::printf("decode JSON into QVariantMap: %8.1f ms\n", decodeMs);
    std::printf("build the tree:               %8.1f ms\n", buildMs);
    std::printf("ratio build / decode:         %8.3f (goal <= 1.0)\n", buildMs / decodeMs);
    std::printf("wide folder in child order:   %s\n", ordered ? "yes" : "NO");
    std::printf("merge 1,000 changes:          %8.1f ms\n", mergeMs);
    std::printf("rebuild after the merge:      %8.1f ms\n", rebuildMs);
    return ordered ? 0 : 1;
}
