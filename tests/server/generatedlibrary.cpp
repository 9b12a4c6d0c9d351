#include "generatedlibrary.h"

#include "seed/demoseed.h"
#include "service/helpers.h"
#include "store/blobstore.h"
#include "store/store.h"
#include "store/transaction.h"

#include <cstdio>
#include <sstream>

namespace {

std::string numbered(const char *prefix, int n, const char *suffix)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s%06d%s", prefix, n, suffix);
    return text;
}

} // namespace

GeneratedLibrary GeneratedLibrary::create(const std::string &dataDir, const Options &options)
{
    Store store(dataDir + "/folvane.db");
    BlobStore blobs(dataDir + "/blobs");
    std::ostringstream quiet;
    DemoSeed(store, blobs).run(quiet);
    const std::string admin = store.userByAccount("admin")->id;
    const std::string zhangsan = store.userByAccount("zhangsan")->id;
    const std::string lisi = store.userByAccount("lisi")->id;
    const std::string content = "generated\n";
    const std::string md5 = options.distinctContents ? std::string() : blobs.put(content);
    const int64_t now = helpers::nowMs();

    GeneratedLibrary made;
    int items = 0;
    Transaction tx(store.database());
    auto add = [&](const std::string &parent, const std::string &name, int kind) {
        Item it;
        it.id = helpers::newId();
        it.space = "lib";
        it.parentId = parent;
        it.kind = kind;
        it.name = name;
        it.ext = kind == 2 ? helpers::extensionOf(name) : std::string();
        it.creatorId = admin;
        it.createdAt = it.modifiedAt = now - items;
        it.currentVersion = kind == 2 ? 1 : 0;
        store.insertItem(it);
        if (kind == 2) {
            Version v;
            v.id = helpers::newId();
            v.itemId = it.id;
            v.number = 1;
            v.md5 = md5;
            v.size = static_cast<int64_t>(content.size());
            if (options.distinctContents) {
                const std::string own = content + std::to_string(items) + "\n";
                v.md5 = blobs.put(own);
                v.size = static_cast<int64_t>(own.size());
            }
            v.creatorId = admin;
            v.createdAt = it.createdAt;
            store.insertVersion(v);
        }
        ++items;
        return it.id;
    };
    auto grant = [&](const std::string &itemId, const std::string &user, const char *letters,
                     int range) {
        Grant g;
        g.id = helpers::newId();
        g.itemId = itemId;
        g.principalKind = "U";
        g.principalId = user;
        g.letters = letters;
        g.appRange = range;
        g.createdBy = admin;
        g.createdAt = now - 60000;
        store.insertGrant(g);
    };

    made.topId = add("0", "生成的库", 1);
    grant(made.topId, zhangsan, "A", 4);
    made.wideId = add(made.topId, "大文件夹", 1);
    grant(made.wideId, zhangsan, "A", 4);
    for (int i = 0; i < options.wideEntries; ++i) {
        bool folder = i % 2 == 0;
        std::string id =
            add(made.wideId, folder ? numbered("目录", i, "") : numbered("文件", i, ".txt"),
                folder ? 1 : 2);
        if (i % options.visibleEvery == 0) {
            grant(id, zhangsan, "AV", 1);
            ++made.visibleToZhangsan;
        }
    }
    made.hundredId = add(made.topId, "百项", 1);
    grant(made.hundredId, zhangsan, "AVD", 1);
    for (int i = 0; i < 100; ++i)
        add(made.hundredId, numbered("文件", i, ".txt"), 2);
    std::string rest = add(made.topId, "其余", 1);
    for (int f = 0; items < options.totalItems; ++f) {
        std::string folder = add(rest, numbered("目录", f, ""), 1);
        for (int i = 0; i < 100 && items < options.totalItems; ++i) {
            grant(add(folder, numbered("文件", i, ".txt"), 2), lisi, "AV", 1);
            ++made.grants;
        }
    }
    tx.commit();
    return made;
}
