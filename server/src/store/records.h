#pragma once

// Plain rows of the store. Times are milliseconds since 1970.

#include <cstdint>
#include <string>

struct User
{
    std::string id;
    std::string account;
    std::string nickname;
    std::string passwordHash;
    bool isAdmin = false;
    int maxUploadNum = 300;
    int64_t createdAt = 0;
};

// A sign-in token, kept as a hash of the token the client holds.
struct Token
{
    std::string hash;
    std::string userId;
    int64_t createdAt = 0;
    int64_t lastUsedAt = 0;
    std::string mac;
    std::string ip;
};

struct Group
{
    std::string id;
    std::string name;
    std::string parentId; // empty for the organisation's top group
    int sort = 0;
};

// A folder or file of the library (space "lib") or of one user's net disk
// (space = the owner's user id). The top of a space has the id "0" and no row.
struct Item
{
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

struct Version
{
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

struct Lock
{
    std::string itemId;
    std::string userId;
    int64_t lockedAt = 0;
    std::string holderName;
};

// Letters granted to a user ("U") or group ("G") on an item or on the top of
// the library ("0"), spread over the item's subtree according to appRange.
struct Grant
{
    std::string id;
    std::string itemId;
    std::string principalKind;
    std::string principalId;
    std::string letters;
    int appRange = 1;
    std::string source = "auth";
    int64_t expiresAt = 0; // 0: never
    std::string createdBy;
    int64_t createdAt = 0; // also the moment the grant starts to count
    std::string shareId;   // the share or publication it comes from, if any
};

struct Tombstone
{
    std::string itemId;
    int64_t removedAt = 0;
};

// A share ("share": library items to colleagues; "netshare": net disk items)
// or a publication ("publish"). Its grants carry its id and its period.
struct Share
{
    std::string id;
    std::string kind;
    std::string senderId;
    std::string letters;
    std::string memo;
    int64_t createdAt = 0;
    int64_t startsAt = 0;
    int64_t expiresAt = 0; // 0: never
    std::string senderName;
};

// A receiver of a share: a user ("U") or a group ("G") and its display name.
struct Recipient
{
    std::string kind;
    std::string id;
    std::string name;
};

struct FavCategory
{
    std::string id;
    std::string userId;
    std::string name;
    int sort = 0;
};

struct Favourite
{
    Item item;
    std::string categoryId;
    std::string categoryName;
    int64_t createdAt = 0;
};

struct Notice
{
    std::string id;
    std::string title;
    std::string content;
    int64_t noticeTime = 0;
};

// An external link: a random code, an optional password (stored hashed), a
// visit limit (0: none), an expiry and the rights "1" preview, "2" download,
// "3" upload joined with ",".
struct Link
{
    std::string id;
    std::string code;
    std::string creatorId;
    int type = 1;
    std::string passwordHash;
    int64_t maxVisit = 0;
    int64_t visits = 0;
    std::string rights;
    std::string description;
    int64_t createdAt = 0;
    int64_t expiresAt = 0;
};

// One row of the full-text index: a library file's name and text.
struct SearchDoc
{
    std::string itemId;
    std::string name;
    std::string body;
};
