#pragma once

#include "store/database.h"
#include "store/records.h"

#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

// The repository: every query of the server, typed. It knows nothing of rights
// or HTTP. Reads may run on any thread at once; callers hold
// database().mutex() around a unit of work that writes and wrap multi-row
// writes in a Transaction.
class Store
{
public:
    explicit Store(const std::string &dbPath);

    Database &database() { return db; }

    // Accounts
    void insertUser(const User &user);
    std::optional<User> userById(const std::string &id);
    std::optional<User> userByAccount(const std::string &account);
    std::vector<User> allUsers();
    std::string avatar(const std::string &userId);
    void setAvatar(const std::string &userId, const std::string &png);
    bool hasUsers();

    void insertGroup(const Group &group);
    std::vector<Group> allGroups();
    std::optional<Group> groupById(const std::string &id);
    void addMember(const std::string &userId, const std::string &groupId);
    std::vector<std::string> groupsOf(const std::string &userId);
    std::vector<User> membersOf(const std::string &groupId);

    // Tokens of a data folder from before they had a file of their own.
    std::vector<Token> tokens();
    void clearTokens();

    // Items
    void insertItem(const Item &item);
    std::optional<Item> item(const std::string &id);
    std::vector<Item> children(const std::string &space, const std::string &parentId);
    // The same one row at a time, folders first, by name; nothing is kept.
    void eachChild(const std::string &space, const std::string &parentId,
                   const std::function<void(const Item &)> &take);
    std::vector<Item> folders(const std::string &space, int64_t changedSince);
    std::vector<Item> subtree(const std::string &id); // the item first, then all below
    std::optional<std::string> idByName(const std::string &space, const std::string &parentId,
                                        const std::string &name);
    void renameItem(const std::string &id, const std::string &name, const std::string &ext,
                    int64_t now);
    void moveItem(const std::string &id, const std::string &parentId, const std::string &name,
                  int64_t now);
    void touchItem(const std::string &id, int version, int64_t now);
    void deleteItem(const std::string &id);
    // Deletes the items and everything below them, with their versions,
    // grants and search documents, leaving tombstones for the folders.
    // Returns the MD5s of the versions that went. Run it in a transaction.
    std::vector<std::string> deleteTrees(const std::vector<std::string> &rootIds, int64_t now);
    // The ancestors of an item, nearest first, ending before the top "0".
    std::vector<Item> ancestors(const std::string &id);

    // Versions
    void insertVersion(const Version &version);
    std::vector<Version> versionsOf(const std::string &itemId);
    std::optional<Version> version(const std::string &id);
    std::optional<Version> versionOf(const std::string &itemId, int number);
    void replaceVersionContent(const std::string &id, const std::string &md5, int64_t size,
                               const std::string &memo, int64_t now, const std::string &userId);
    int64_t blobReferences(const std::string &md5);
    // Every MD5 that a version refers to.
    std::unordered_set<std::string> blobsInUse();

    // Locks
    std::optional<Lock> lockOf(const std::string &itemId);
    // The locks of the items directly in one folder.
    std::vector<Lock> locksIn(const std::string &space, const std::string &parentId);
    void setLock(const std::string &itemId, const std::string &userId, int64_t now);
    void clearLock(const std::string &itemId);

    // Rights
    void insertGrant(const Grant &grant);
    std::vector<Grant> grantsOn(const std::string &itemId, int64_t now);
    // The grants in force at `at` (started, not expired, not replaced) that
    // name the user or one of the groups.
    std::vector<Grant> grantsFor(const std::string &userId,
                                 const std::vector<std::string> &groupIds, int64_t at);
    void deleteGrantsOn(const std::string &itemId);
    // Ends the grants of one principal on one item that came from `source`.
    void revokeGrants(const std::string &itemId, const std::string &kind,
                      const std::string &principalId, const std::string &source, int64_t now);
    bool groupExists(const std::string &id);

    // Shares and publications
    void insertShare(const Share &share);
    void addShareItem(const std::string &shareId, const std::string &itemId, int position);
    void addShareRecipient(const std::string &shareId, const std::string &kind,
                           const std::string &principalId, int position);
    // Shares of a kind sent by a user that have not expired at `now`, newest first.
    std::vector<Share> sharesFrom(const std::string &userId, const std::string &kind, int64_t now);
    // Shares of a kind that reach the user (directly or through a group) and
    // are in force at `now`, newest first.
    std::vector<Share> sharesTo(const std::string &userId, const std::string &kind, int64_t now);
    std::vector<Item> shareItems(const std::string &shareId);
    std::vector<Recipient> shareRecipients(const std::string &shareId);

    // Favourites, subscriptions and use counts
    void insertCategory(const FavCategory &category);
    std::vector<FavCategory> categoriesOf(const std::string &userId);
    std::optional<FavCategory> category(const std::string &id);
    // False when the user has already filed the item.
    bool insertFavourite(const std::string &userId, const std::string &itemId,
                         const std::string &categoryId, int64_t now);
    std::vector<Favourite> favouritesOf(const std::string &userId);
    void insertSubscription(const std::string &userId, const std::string &folderId, int64_t now);
    std::vector<std::string> subscribedFolders(const std::string &userId);
    void countUse(const std::string &userId, const std::string &itemId, int64_t now);
    std::vector<Item> mostUsed(const std::string &userId, int limit);
    // Files of a space, newest change first.
    std::vector<Item> latestFiles(const std::string &space, int limit, int offset);
    std::vector<Item> allFiles(const std::string &space);

    // Announcements
    void insertNotice(const Notice &notice);
    std::vector<Notice> notices(int limit);
    std::optional<Notice> notice(const std::string &id);

    // External links
    void insertLink(const Link &link);
    void addLinkItem(const std::string &linkId, const std::string &itemId, int position);
    std::optional<Link> linkByCode(const std::string &code);
    std::vector<Item> linkItems(const std::string &linkId);
    // Counts one visit unless the limit is reached; false when it was.
    bool countVisit(const std::string &linkId);

    // Full-text index
    void indexDoc(const SearchDoc &doc);
    void renameDoc(const std::string &itemId, const std::string &name);
    // Indexes `itemId` under `name` with the text of `sourceId`; false when
    // the source has no document.
    bool copyDoc(const std::string &sourceId, const std::string &itemId, const std::string &name);
    void dropDoc(const std::string &itemId);
    // Documents whose name or text contain the phrase (three characters or more).
    std::vector<SearchDoc> matchDocs(const std::string &phrase, int limit);
    // The same by a plain substring scan, for shorter words.
    std::vector<SearchDoc> scanDocs(const std::string &word, int limit);
    std::string state(const std::string &key);
    void setState(const std::string &key, const std::string &value);

    // Removed folders, for incremental folder lists
    void addTombstone(const std::string &itemId, const std::string &space, int64_t now);
    std::vector<Tombstone> tombstonesSince(const std::string &space, int64_t since);

private:
    Database db;
};
