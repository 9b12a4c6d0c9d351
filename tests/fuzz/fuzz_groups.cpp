// The user picker's group tree, linked from the flat group list of
// "/api/user/list-all-group.jf" ("id", "name", "parentId"). Two replies in
// turn (separated by a NUL byte): the second rebuilds the tree over the first.

#include "clientfuzz.h"
#include "collab/userviewmodel.h"

#include <QTreeView>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startClientFuzz(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The view only keeps the current index and the expanded rows; it is
    // never shown.
    static QTreeView view;
    const QList<QByteArray> parts = fuzzParts(data, size, 2);
    auto *model = new UserViewModel(&view);
    view.setModel(model);
    for (const QByteArray &part : parts) {
        model->receiveData(fuzzReply(part));
        walkModel(*model);
    }
    view.setModel(nullptr);
    delete model;
    return 0;
}
