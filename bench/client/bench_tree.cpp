// Builds the company folder tree from 100,000 folders in random order and
// compares the time with decoding the same JSON reply into a QVariantMap, in
// the same run. Also times the model reset as the client does it (the tree
// built from the cached list, the model reset under a tree view, the tree
// before the last one freed), merging 1,000 changes into the cached list and
// the rebuild that follows. Prints the figures and the ratios to the decode.
#include "core/gcore.h"
#include "core/httpcurl.h"
#include "models/treeitem.h"
#include "models/treeviewmodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTreeView>

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

// Milliseconds of `work`; `prepare` runs before it, outside the timing.
double timed(const std::function<void()> &work,
             const std::function<void()> &prepare = std::function<void()>())
{
    if (prepare)
        prepare();
    QElapsedTimer t;
    t.start();
    work();
    return t.nsecsElapsed() / 1e6;
}

struct Figures
{
    QVector<double> values;
    double median() const
    {
        QVector<double> v = values;
        std::sort(v.begin(), v.end());
        return v.at(v.size() / 2);
    }
    QString text() const
    {
        QVector<double> v = values;
        std::sort(v.begin(), v.end());
        return QString::asprintf("%8.1f / %8.1f / %8.1f ms", v.first(), v.at(v.size() / 2),
                                 v.last());
    }
};

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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

    // Decode, build and the client's reset alternate, run after run; the
    // reply of the run before is freed outside the timing.
    QVariantMap reply = QJsonDocument::fromJson(json).toVariant().toMap();
    const QVariantList list = reply.value("data").toList();
    GCore *core = GCore::instance();
    core->setCompanyRootCache(reply);
    QTreeView view;
    TreeViewModel model(&view, 0);
    view.setModel(&model);
    model.refresh(true);
    QVariantMap decoded;
    int nodes = 0;
    Figures decode, clientDecode, build, reset;
    for (int i = 0; i < kRuns; ++i) {
        decode.values.append(
            timed([&] { decoded = QJsonDocument::fromJson(json).toVariant().toMap(); },
                  [&] { decoded.clear(); }));
        // The client reads every reply through its reader, which first looks
        // for a member named twice.
        clientDecode.values.append(
            timed([&] { decoded = HttpCurl::parseJson(json).toVariant().toMap(); },
                  [&] { decoded.clear(); }));
        build.values.append(timed([&] {
            TreeItem *root = TreeViewModel::linkTree(list, 0);
            nodes = countNodes(root);
            delete root;
        }));
        // As the client does it: the tree from the cached list, the model
        // reset under its view, the tree before the last one freed.
        reset.values.append(timed([&] { model.refresh(true); }));
    }

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
    Figures merge, rebuild;
    for (int i = 0; i < kRuns; ++i) {
        merge.values.append(timed([&] { core->mergeCompanyRootList(delta, true); },
                                  [&] { core->setCompanyRootCache(reply); }));
        rebuild.values.append(timed([&] {
            delete TreeViewModel::linkTree(core->companyRootCache().value("data").toList(), 0);
        }));
    }

    std::printf("folders: %d (placed %d), JSON %d bytes; min / median / max of %d runs\n",
                int(list.size()), nodes, int(json.size()), kRuns);
    std::printf("decode JSON into QVariantMap: %s\n", qPrintable(decode.text()));
    std::printf("  as the client reads it:     %s\n", qPrintable(clientDecode.text()));
    std::printf("build the tree:               %s\n", qPrintable(build.text()));
    std::printf("model reset as the client:    %s\n", qPrintable(reset.text()));
    std::printf("ratio build / decode:         %8.3f (goal <= 1.0)\n",
                build.median() / decode.median());
    std::printf("ratio reset / decode:         %8.3f\n", reset.median() / decode.median());
    std::printf("wide folder in child order:   %s\n", ordered ? "yes" : "NO");
    std::printf("merge 1,000 changes:          %s\n", qPrintable(merge.text()));
    std::printf("rebuild after the merge:      %s\n", qPrintable(rebuild.text()));
    return ordered ? 0 : 1;
}
