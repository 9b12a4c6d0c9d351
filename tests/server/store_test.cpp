// Unit tests of the store: migrations, transactions, the blob store.

#include "serverprocess.h"
#include "store/blobstore.h"
#include "store/sessionstore.h"
#include "store/store.h"
#include "store/storeerror.h"
#include "store/transaction.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

Item folderItem(const std::string &id, const std::string &name)
{
    Item it;
    it.id = id;
    it.space = "lib";
    it.parentId = "0";
    it.kind = 1;
    it.name = name;
    it.creatorId = "u1";
    return it;
}

void addUser(Store &store)
{
    User u;
    u.id = "u1";
    u.account = "someone";
    u.nickname = "某人";
    u.passwordHash = "x";
    store.insertUser(u);
}

} // namespace

TEST(Store, MigratesOnceAndReopens)
{
    TempDir dir;
    {
        Store store(dir.path() + "/folvane.db");
        EXPECT_EQ(store.database().schemaVersion(), 2);
        addUser(store);
    }
    Store again(dir.path() + "/folvane.db");
    EXPECT_EQ(again.database().schemaVersion(), 2);
    EXPECT_TRUE(again.userByAccount("SOMEONE")); // account names ignore case
}

TEST(Store, RefusesADatabaseOfANewerSchema)
{
    TempDir dir;
    {
        Store store(dir.path() + "/folvane.db");
        store.database().exec("PRAGMA user_version=99");
    }
    EXPECT_THROW(Store(dir.path() + "/folvane.db"), StoreError);
}

TEST(Store, TokensOfAnOlderDataFolderMoveToTheirOwnFile)
{
    TempDir dir;
    Store store(dir.path() + "/folvane.db");
    addUser(store);
    // What a server that kept tokens with the documents left behind.
    store.database().exec("INSERT INTO tokens(token_hash, user_id, created_at, last_used_at) "
                          "VALUES('h1', 'u1', 1, 2)");
    {
        SessionStore sessions(dir.path() + "/sessions.db", store);
        EXPECT_EQ(sessions.token("h1"), std::make_pair(std::string("u1"), int64_t(2)));
        EXPECT_TRUE(store.tokens().empty());
        sessions.insertToken(Token{"h2", "u1", 3, 3, "", ""});
    }
    SessionStore again(dir.path() + "/sessions.db", store);
    EXPECT_TRUE(again.token("h1"));
    EXPECT_TRUE(again.token("h2"));
    // A long write to the documents does not hold the tokens' writer.
    Transaction bulk(store.database());
    store.insertItem(folderItem("a000000000000001", "one"));
    bool written = false;
    std::thread signIn([&] {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!again.mutex().try_lock())
            if (std::chrono::steady_clock::now() > end)
                return;
        std::lock_guard<std::recursive_mutex> guard(again.mutex(), std::adopt_lock);
        again.insertToken(Token{"h3", "u1", 4, 4, "", ""});
        written = true;
    });
    signIn.join();
    EXPECT_TRUE(written);
    EXPECT_TRUE(again.token("h3"));
}

TEST(Store, TransactionRollsBackUnlessCommitted)
{
    TempDir dir;
    Store store(dir.path() + "/folvane.db");
    addUser(store);
    try {
        Transaction tx(store.database());
        store.insertItem(folderItem("a000000000000001", "one"));
        store.insertItem(folderItem("a000000000000002", "ONE")); // same name, other case
        tx.commit();
    } catch (const ConstraintError &) {
    }
    EXPECT_FALSE(store.item("a000000000000001"));
    {
        Transaction tx(store.database());
        store.insertItem(folderItem("a000000000000001", "one"));
        tx.commit();
    }
    EXPECT_TRUE(store.item("a000000000000001"));
}

TEST(Store, SubtreeAndAncestorsFollowTheTree)
{
    TempDir dir;
    Store store(dir.path() + "/folvane.db");
    addUser(store);
    Item a = folderItem("a000000000000001", "a");
    Item b = folderItem("b000000000000001", "b");
    b.parentId = a.id;
    Item c = folderItem("c000000000000001", "c");
    c.parentId = b.id;
    store.insertItem(a);
    store.insertItem(b);
    store.insertItem(c);
    auto below = store.subtree(a.id);
    ASSERT_EQ(below.size(), 3u);
    EXPECT_EQ(below[0].id, a.id);
    EXPECT_EQ(below[2].id, c.id);
    auto up = store.ancestors(c.id);
    ASSERT_EQ(up.size(), 2u);
    EXPECT_EQ(up[0].id, b.id);
    EXPECT_EQ(up[1].id, a.id);
}

TEST(BlobStoreTest, WriterIsContentAddressedAndCleansUpWhenDropped)
{
    TempDir dir;
    BlobStore blobs(dir.path() + "/blobs");
    {
        auto dropped = blobs.newWriter();
        ASSERT_TRUE(dropped->write("abc", 3));
        EXPECT_TRUE(std::filesystem::exists(dropped->tempPath()));
    }
    EXPECT_TRUE(std::filesystem::is_empty(blobs.tmpDir()));
    std::string md5 = blobs.put("abc");
    EXPECT_EQ(md5, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(blobs.exists(md5));
    EXPECT_EQ(blobs.path(md5), dir.path() + "/blobs/90/01/" + md5);
    EXPECT_EQ(blobs.put("abc"), md5); // the same content once
    EXPECT_TRUE(std::filesystem::is_empty(blobs.tmpDir()));
    blobs.remove(md5);
    EXPECT_FALSE(blobs.exists(md5));
}
