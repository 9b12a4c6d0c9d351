#pragma once

// Plain rows of the store. Times are milliseconds since 1970.

#include <cstdint>
#include <string>

struct User {
    std::string id;
    std::string account;
    std::string nickname;
    std::string passwordHash;
    bool isAdmin = false;
    int maxUploadNum = 300;
    int64_t createdAt = 0;
};

struct Group {
    std::string id;
    std::string name;
    std::string parentId; // empty for the organisation's top group
    int sort = 0;
};

// A folder or file of the library (space "lib") or of one user's net disk
// (space = the owner's user id). The top of a space has the id "0" and no row.
struct Item {
    std::string id;
    std::string space;
    std::string parentId;
    int kind = 1; // 1 folder, 2 file
    std::string name;
    std::string ext;
    std::string creatorId;
    int64_t createdAt = 0;
    int64_t modifiedAt = 0;
    int currentVersion = 0;

    // Joined in listings: the current version and the creator's nickname.
    int64_t size = 0;
    std::string md5;
    std::string memo;
    std::string creatorName;

    bool isFolder() const { return kind == 1; }
};

struct Version {
    std::string id;
    std::string itemId;
    int number = 0;
    std::string md5;
    int64_t size = 0;
    std::string memo;
    std::string creatorId;
    int64_t createdAt = 0;
    std::string creatorName;
};

struct Lock {
    std::string itemId;
    std::string userId;
    int64_t lockedAt = 0;
    std::string holderName;
};

// Letters granted to a user ("U") or group ("G") on an item or on the top of
// the library ("0"), spread over the item's subtree according to appRange.
struct Grant {
    std::string id;
    std::string itemId;
    std::string principalKind;
    std::string principalId;
    std::string letters;
    int appRange = 1;
    std::string source = "auth";
    int64_t expiresAt = 0; // 0: never
    std::string createdBy;
    int64_t createdAt = 0;
};

struct Tombstone {
    std::string itemId;
    int64_t removedAt = 0;
};
