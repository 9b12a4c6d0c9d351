#pragma once

#include "store/database.h"
#include "store/records.h"

#include <optional>
#include <string>
#include <vector>

// The repository: every query of the server, typed. It knows nothing of rights
// or HTTP. Callers hold database().mutex() around a unit of work and wrap
// multi-row writes in a Transaction.
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

    void insertToken(const std::string &hash, const std::string &userId, int64_t now,
                     const std::string &mac, const std::string &ip);
    // The user and the last use of a token, if it exists.
    std::optional<std::pair<std::string, int64_t>> token(const std::string &hash);
    void touchToken(const std::string &hash, int64_t now);
    void deleteToken(const std::string &hash);
    void deleteTokensIdleSince(int64_t before);

    // Items
    void insertItem(const Item &item);
    std::optional<Item> item(const std::string &id);
    std::vector<Item> children(const std::string &space, const std::string &parentId);
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

    // Locks
    std::optional<Lock> lockOf(const std::string &itemId);
    void setLock(const std::string &itemId, const std::string &userId, int64_t now);
    void clearLock(const std::string &itemId);

    // Rights
    void insertGrant(const Grant &grant);
    std::vector<Grant> grantsOn(const std::string &itemId, int64_t now);
    std::vector<Grant> allGrants(int64_t now);
    void deleteGrantsOn(const std::string &itemId);

    // Removed folders, for incremental folder lists
    void addTombstone(const std::string &itemId, const std::string &space, int64_t now);
    std::vector<Tombstone> tombstonesSince(const std::string &space, int64_t since);

private:
    Database db;
};
