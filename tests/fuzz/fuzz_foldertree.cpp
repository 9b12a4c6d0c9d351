// The folder trees: the company library builds its tree from the cached root
// list of an earlier session, then merges the changes each later reply brings
// ("data" entries replace or add, "removes" take out); the net disk builds
// from each reply whole; the pickers leave out the share folders. The input is
// the cached list, then up to three replies, separated by NUL bytes.

#include "clientfuzz.h"
#include "core/gcore.h"
#include "models/treeitem.h"
#include "models/treeviewmodel.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startClientFuzz(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> parts = fuzzParts(data, size, 4);
    GCore *core = GCore::instance();
    core->setCompanyRootCache(fuzzReply(parts.first()));
    core->setNetDiskRootCache(QVariantMap());

    TreeViewModel library(nullptr, 0);
    TreeViewModel netDisk(nullptr, 1);
    TreeViewModel picker(nullptr, 0);
    picker.setTargetsOnly(true);
    library.refresh(true);
    picker.refresh(true);
    for (int i = 1; i < parts.size(); ++i) {
        const QVariantMap reply = fuzzReply(parts.at(i));
        library.receiveData(reply);
        netDisk.receiveData(reply);
    }
    picker.refresh(true);
    walkModel(library);
    walkModel(netDisk);
    walkModel(picker);

    // Every entry is placed at most once, below the area's own top node.
    const QVariantList list = core->companyRootCache().value(QStringLiteral("data")).toList();
    TreeItem *root = TreeViewModel::linkTree(list, 0);
    int placed = 0;
    QList<TreeItem *> stack{root};
    while (!stack.isEmpty()) {
        TreeItem *item = stack.takeLast();
        for (int row = 0; row < item->childCount(); ++row) {
            FUZZ_CHECK(item->child(row)->parentItem == item);
            FUZZ_CHECK(item->child(row)->row() == row);
            stack.append(item->child(row));
            ++placed;
        }
    }
    FUZZ_CHECK(placed <= list.size() + 1);
    delete root;
    return 0;
}
