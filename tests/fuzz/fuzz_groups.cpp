// The user picker's group tree, linked from the flat group list of
// "/api/user/list-all-group.jf" ("id", "name", "parentId"). Two replies in
// turn (separated by a NUL byte): the second rebuilds the tree over the first.

#include "clientfuzz.h"
#include "models/userviewmodel.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    startClientFuzz(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Without a view: the view's part (current index, expanded rows) is Qt's
    // own and would cost most of the time.
    QObject owner;
    auto *model = new UserViewModel(&owner);
    for (const QByteArray &part : fuzzParts(data, size, 2)) {
        model->receiveData(fuzzReply(part));
        walkModel(*model);
    }
    return 0;
}
