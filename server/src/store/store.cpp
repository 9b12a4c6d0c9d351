#include "store/store.h"

namespace {

#define FOLVANE_ITEM_SELECT                                                                        \
    "i.id, i.space, i.parent_id, i.kind, i.name, i.ext, i.creator_id, i.created_at, "              \
    "i.modified_at, i.current_version, COALESCE(v.size, 0), COALESCE(v.md5, ''), "                 \
    "COALESCE(v.memo, ''), COALESCE(u.nickname, '') "
#define FOLVANE_ITEM_FROM                                                                          \
    "FROM items i LEFT JOIN versions v ON v.item_id = i.id AND v.number = i.current_version "      \
    "LEFT JOIN users u ON u.id = i.creator_id "

const char *const itemColumns = FOLVANE_ITEM_SELECT FOLVANE_ITEM_FROM;

std::string itemQuery(const char *tail)
{
    return std::string("SELECT ") + itemColumns + tail;
}

// Item columns 0 to 13, then `extra` columns from 14 on.
std::string itemQueryWith(const char *extra, const char *tail)
{
    return std::string("SELECT " FOLVANE_ITEM_SELECT ", ") + extra + " " FOLVANE_ITEM_FROM + tail;
}

// Reads into an existing item, so that a loop over many rows reuses its
// strings' storage.
void readItemInto(const Statement &q, Item &it)
{
    size_t n;
    auto assign = [&](std::string &to, int column) {
        const char *t = q.textData(column, n);
        to.assign(t, n);
    };
    assign(it.id, 0);
    assign(it.space, 1);
    assign(it.parentId, 2);
    it.kind = static_cast<int>(q.integer(3));
    assign(it.name, 4);
    assign(it.ext, 5);
    assign(it.creatorId, 6);
    it.createdAt = q.integer(7);
    it.modifiedAt = q.integer(8);
    it.currentVersion = static_cast<int>(q.integer(9));
    it.size = q.integer(10);
    assign(it.md5, 11);
    assign(it.memo, 12);
    assign(it.creatorName, 13);
}

Item readItem(const Statement &q)
{
    Item it;
    it.id = q.text(0);
    it.space = q.text(1);
    it.parentId = q.text(2);
    it.kind = static_cast<int>(q.integer(3));
    it.name = q.text(4);
    it.ext = q.text(5);
    it.creatorId = q.text(6);
    it.createdAt = q.integer(7);
    it.modifiedAt = q.integer(8);
    it.currentVersion = static_cast<int>(q.integer(9));
    it.size = q.integer(10);
    it.md5 = q.text(11);
    it.memo = q.text(12);
    it.creatorName = q.text(13);
    return it;
}

User readUser(const Statement &q)
{
    User u;
    u.id = q.text(0);
    u.account = q.text(1);
    u.nickname = q.text(2);
    u.passwordHash = q.text(3);
    u.isAdmin = q.integer(4) != 0;
    u.maxUploadNum = static_cast<int>(q.integer(5));
    u.createdAt = q.integer(6);
    return u;
}

const char *const userColumns =
    "SELECT id, account, nickname, password_hash, is_admin, max_upload_num, created_at FROM users ";

Version readVersion(const Statement &q)
{
    Version v;
    v.id = q.text(0);
    v.itemId = q.text(1);
    v.number = static_cast<int>(q.integer(2));
    v.md5 = q.text(3);
    v.size = q.integer(4);
    v.memo = q.text(5);
    v.creatorId = q.text(6);
    v.createdAt = q.integer(7);
    v.creatorName = q.text(8);
    return v;
}

const char *const versionColumns =
    "SELECT v.id, v.item_id, v.number, v.md5, v.size, v.memo, v.creator_id, v.created_at, "
    "COALESCE(u.nickname, '') FROM versions v LEFT JOIN users u ON u.id = v.creator_id ";

} // namespace

Store::Store(const std::string &dbPath) : db(dbPath) {}

void Store::insertUser(const User &u)
{
    db.prepare("INSERT INTO users(id, account, nickname, password_hash, is_admin, max_upload_num, "
               "created_at) VALUES(?, ?, ?, ?, ?, ?, ?)")
        .bind(1, u.id)
        .bind(2, u.account)
        .bind(3, u.nickname)
        .bind(4, u.passwordHash)
        .bind(5, u.isAdmin ? 1 : 0)
        .bind(6, u.maxUploadNum)
        .bind(7, u.createdAt)
        .run();
}

std::optional<User> Store::userById(const std::string &id)
{
    Statement q = db.prepare((std::string(userColumns) + "WHERE id = ?").c_str());
    q.bind(1, id);
    if (!q.step())
        return std::nullopt;
    return readUser(q);
}

std::optional<User> Store::userByAccount(const std::string &account)
{
    Statement q = db.prepare((std::string(userColumns) + "WHERE account = ?").c_str());
    q.bind(1, account);
    if (!q.step())
        return std::nullopt;
    return readUser(q);
}

std::vector<User> Store::allUsers()
{
    Statement q = db.prepare((std::string(userColumns) + "ORDER BY created_at, account").c_str());
    std::vector<User> out;
    while (q.step())
        out.push_back(readUser(q));
    return out;
}

std::string Store::avatar(const std::string &userId)
{
    Statement q = db.prepare("SELECT avatar FROM users WHERE id = ? AND avatar IS NOT NULL");
    q.bind(1, userId);
    return q.step() ? q.text(0) : std::string();
}

void Store::setAvatar(const std::string &userId, const std::string &png)
{
    db.prepare("UPDATE users SET avatar = CAST(? AS BLOB) WHERE id = ?")
        .bind(1, png)
        .bind(2, userId)
        .run();
}

bool Store::hasUsers()
{
    Statement q = db.prepare("SELECT 1 FROM users LIMIT 1");
    return q.step();
}

void Store::insertGroup(const Group &g)
{
    Statement q =
        db.prepare("INSERT INTO user_groups(id, name, parent_id, sort) VALUES(?, ?, ?, ?)");
    q.bind(1, g.id).bind(2, g.name).bind(4, g.sort);
    if (g.parentId.empty())
        q.bindNull(3);
    else
        q.bind(3, g.parentId);
    q.run();
}

std::vector<Group> Store::allGroups()
{
    Statement q = db.prepare(
        "SELECT id, name, COALESCE(parent_id, ''), sort FROM user_groups ORDER BY sort, name");
    std::vector<Group> out;
    while (q.step())
        out.push_back(Group{q.text(0), q.text(1), q.text(2), static_cast<int>(q.integer(3))});
    return out;
}

std::optional<Group> Store::groupById(const std::string &id)
{
    Statement q =
        db.prepare("SELECT id, name, COALESCE(parent_id, ''), sort FROM user_groups WHERE id = ?");
    q.bind(1, id);
    if (!q.step())
        return std::nullopt;
    return Group{q.text(0), q.text(1), q.text(2), static_cast<int>(q.integer(3))};
}

void Store::addMember(const std::string &userId, const std::string &groupId)
{
    db.prepare("INSERT OR IGNORE INTO memberships(user_id, group_id) VALUES(?, ?)")
        .bind(1, userId)
        .bind(2, groupId)
        .run();
}

std::vector<std::string> Store::groupsOf(const std::string &userId)
{
    // Membership of a group counts for every group above it as well.
    Statement q =
        db.prepare("WITH RECURSIVE up(id) AS (SELECT group_id FROM memberships WHERE user_id = ? "
                   "UNION SELECT g.parent_id FROM user_groups g JOIN up ON g.id = up.id "
                   "WHERE g.parent_id IS NOT NULL) SELECT id FROM up");
    q.bind(1, userId);
    std::vector<std::string> out;
    while (q.step())
        out.push_back(q.text(0));
    return out;
}

std::vector<User> Store::membersOf(const std::string &groupId)
{
    Statement q =
        db.prepare("SELECT u.id, u.account, u.nickname, u.password_hash, u.is_admin, "
                   "u.max_upload_num, u.created_at FROM users u JOIN memberships m ON "
                   "m.user_id = u.id WHERE m.group_id = ? ORDER BY u.created_at, u.account");
    q.bind(1, groupId);
    std::vector<User> out;
    while (q.step())
        out.push_back(readUser(q));
    return out;
}

std::vector<Token> Store::tokens()
{
    Statement q =
        db.prepare("SELECT token_hash, user_id, created_at, last_used_at, mac, ip FROM tokens");
    std::vector<Token> out;
    while (q.step())
        out.push_back(
            Token{q.text(0), q.text(1), q.integer(2), q.integer(3), q.text(4), q.text(5)});
    return out;
}

void Store::clearTokens()
{
    db.exec("DELETE FROM tokens");
}

void Store::insertItem(const Item &it)
{
    db.prepare("INSERT INTO items(id, space, parent_id, kind, name, ext, creator_id, created_at, "
               "modified_at, current_version) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
        .bind(1, it.id)
        .bind(2, it.space)
        .bind(3, it.parentId)
        .bind(4, it.kind)
        .bind(5, it.name)
        .bind(6, it.ext)
        .bind(7, it.creatorId)
        .bind(8, it.createdAt)
        .bind(9, it.modifiedAt)
        .bind(10, it.currentVersion)
        .run();
}

std::optional<Item> Store::item(const std::string &id)
{
    Statement q = db.prepare(itemQuery("WHERE i.id = ?").c_str());
    q.bind(1, id);
    if (!q.step())
        return std::nullopt;
    return readItem(q);
}

std::vector<Item> Store::children(const std::string &space, const std::string &parentId)
{
    std::vector<Item> out;
    eachChild(space, parentId, [&](const Item &item) { out.push_back(item); });
    return out;
}

void Store::eachChild(const std::string &space, const std::string &parentId,
                      const std::function<void(const Item &)> &take)
{
    // The children index serves both the filter and the order, whatever the
    // size of the library.
    Statement q =
        db.prepare(itemQuery("WHERE i.space = ? AND i.parent_id = ? ORDER BY i.kind, i.name"));
    q.bind(1, space).bind(2, parentId);
    Item item;
    while (q.step()) {
        readItemInto(q, item);
        take(item);
    }
}

std::vector<Item> Store::folders(const std::string &space, int64_t changedSince)
{
    Statement q = db.prepare(
        itemQuery("WHERE i.space = ? AND i.kind = 1 AND i.modified_at >= ? ORDER BY i.name")
            .c_str());
    q.bind(1, space).bind(2, changedSince);
    std::vector<Item> out;
    while (q.step())
        out.push_back(readItem(q));
    return out;
}

std::vector<Item> Store::subtree(const std::string &id)
{
    Statement q = db.prepare(
        (std::string("WITH RECURSIVE below(id, depth) AS (SELECT ?, 0 UNION ALL "
                     "SELECT c.id, below.depth + 1 FROM items c JOIN below ON c.parent_id = "
                     "below.id) SELECT ") +
         itemColumns + "JOIN below b ON b.id = i.id ORDER BY b.depth")
            .c_str());
    q.bind(1, id);
    std::vector<Item> out;
    while (q.step())
        out.push_back(readItem(q));
    return out;
}

std::optional<std::string> Store::idByName(const std::string &space, const std::string &parentId,
                                           const std::string &name)
{
    Statement q = db.prepare(
        "SELECT id FROM items WHERE space = ? AND parent_id = ? AND name = ? COLLATE NOCASE");
    q.bind(1, space).bind(2, parentId).bind(3, name);
    if (!q.step())
        return std::nullopt;
    return q.text(0);
}

void Store::renameItem(const std::string &id, const std::string &name, const std::string &ext,
                       int64_t now)
{
    db.prepare("UPDATE items SET name = ?, ext = ?, modified_at = ? WHERE id = ?")
        .bind(1, name)
        .bind(2, ext)
        .bind(3, now)
        .bind(4, id)
        .run();
}

void Store::moveItem(const std::string &id, const std::string &parentId, const std::string &name,
                     int64_t now)
{
    db.prepare("UPDATE items SET parent_id = ?, name = ?, modified_at = ? WHERE id = ?")
        .bind(1, parentId)
        .bind(2, name)
        .bind(3, now)
        .bind(4, id)
        .run();
}

void Store::touchItem(const std::string &id, int version, int64_t now)
{
    db.prepare("UPDATE items SET current_version = ?, modified_at = ? WHERE id = ?")
        .bind(1, version)
        .bind(2, now)
        .bind(3, id)
        .run();
}

void Store::deleteItem(const std::string &id)
{
    db.prepare("DELETE FROM items WHERE id = ?").bind(1, id).run();
}

std::vector<std::string> Store::deleteTrees(const std::vector<std::string> &rootIds, int64_t now)
{
    std::string roots = "[";
    for (const std::string &id : rootIds) {
        if (roots.size() > 1)
            roots += ',';
        roots += '"';
        for (char c : id)
            if (c != '"' && c != '\\')
                roots += c;
        roots += '"';
    }
    roots += ']';
    db.exec("CREATE TEMP TABLE IF NOT EXISTS doomed(id TEXT PRIMARY KEY)");
    db.exec("DELETE FROM doomed");
    db.prepare("INSERT OR IGNORE INTO doomed(id) WITH RECURSIVE below(id) AS (SELECT value FROM "
               "json_each(?) UNION SELECT c.id FROM items c JOIN below ON c.parent_id = below.id) "
               "SELECT id FROM below")
        .bind(1, roots)
        .run();
    std::vector<std::string> md5s;
    Statement q = db.prepare("SELECT DISTINCT md5 FROM versions WHERE item_id IN doomed");
    while (q.step())
        md5s.push_back(q.text(0));
    db.prepare("INSERT INTO tombstones(item_id, space, removed_at) SELECT id, space, ? FROM items "
               "WHERE kind = 1 AND id IN doomed")
        .bind(1, now)
        .run();
    db.exec("DELETE FROM search_docs WHERE rowid IN (SELECT r.id FROM search_rows r JOIN doomed d "
            "ON d.id = r.item_id); DELETE FROM search_rows WHERE item_id IN doomed; "
            "DELETE FROM grants WHERE item_id IN doomed; DELETE FROM items WHERE id IN doomed; "
            "DELETE FROM doomed");
    return md5s;
}

std::vector<Item> Store::ancestors(const std::string &id)
{
    Statement q = db.prepare(
        (std::string("WITH RECURSIVE up(id, depth) AS (SELECT parent_id, 1 FROM items WHERE id = ? "
                     "UNION ALL SELECT p.parent_id, up.depth + 1 FROM items p JOIN up ON p.id = "
                     "up.id WHERE up.depth < 1000) SELECT ") +
         itemColumns + "JOIN up a ON a.id = i.id ORDER BY a.depth")
            .c_str());
    q.bind(1, id);
    std::vector<Item> out;
    while (q.step())
        out.push_back(readItem(q));
    return out;
}

void Store::insertVersion(const Version &v)
{
    db.prepare("INSERT INTO versions(id, item_id, number, md5, size, memo, creator_id, created_at) "
               "VALUES(?, ?, ?, ?, ?, ?, ?, ?)")
        .bind(1, v.id)
        .bind(2, v.itemId)
        .bind(3, v.number)
        .bind(4, v.md5)
        .bind(5, v.size)
        .bind(6, v.memo)
        .bind(7, v.creatorId)
        .bind(8, v.createdAt)
        .run();
}

std::vector<Version> Store::versionsOf(const std::string &itemId)
{
    Statement q = db.prepare(
        (std::string(versionColumns) + "WHERE v.item_id = ? ORDER BY v.number DESC").c_str());
    q.bind(1, itemId);
    std::vector<Version> out;
    while (q.step())
        out.push_back(readVersion(q));
    return out;
}

std::optional<Version> Store::version(const std::string &id)
{
    Statement q = db.prepare((std::string(versionColumns) + "WHERE v.id = ?").c_str());
    q.bind(1, id);
    if (!q.step())
        return std::nullopt;
    return readVersion(q);
}

std::optional<Version> Store::versionOf(const std::string &itemId, int number)
{
    Statement q =
        db.prepare((std::string(versionColumns) + "WHERE v.item_id = ? AND v.number = ?").c_str());
    q.bind(1, itemId).bind(2, number);
    if (!q.step())
        return std::nullopt;
    return readVersion(q);
}

void Store::replaceVersionContent(const std::string &id, const std::string &md5, int64_t size,
                                  const std::string &memo, int64_t now, const std::string &userId)
{
    db.prepare("UPDATE versions SET md5 = ?, size = ?, memo = ?, created_at = ?, creator_id = ? "
               "WHERE id = ?")
        .bind(1, md5)
        .bind(2, size)
        .bind(3, memo)
        .bind(4, now)
        .bind(5, userId)
        .bind(6, id)
        .run();
}

int64_t Store::blobReferences(const std::string &md5)
{
    Statement q = db.prepare("SELECT COUNT(*) FROM versions WHERE md5 = ?");
    q.bind(1, md5);
    q.step();
    return q.integer(0);
}

std::unordered_set<std::string> Store::blobsInUse()
{
    std::unordered_set<std::string> out;
    Statement q = db.prepare("SELECT DISTINCT md5 FROM versions");
    while (q.step())
        out.insert(q.text(0));
    return out;
}

std::optional<Lock> Store::lockOf(const std::string &itemId)
{
    Statement q =
        db.prepare("SELECT l.item_id, l.user_id, l.locked_at, COALESCE(u.nickname, '') "
                   "FROM locks l LEFT JOIN users u ON u.id = l.user_id WHERE l.item_id = ?");
    q.bind(1, itemId);
    if (!q.step())
        return std::nullopt;
    return Lock{q.text(0), q.text(1), q.integer(2), q.text(3)};
}

std::vector<Lock> Store::locksIn(const std::string &space, const std::string &parentId)
{
    Statement q = db.prepare(
        "SELECT l.item_id, l.user_id, l.locked_at, COALESCE(u.nickname, '') "
        "FROM locks l JOIN items i ON i.id = l.item_id LEFT JOIN users u ON u.id = l.user_id "
        "WHERE i.space = ? AND i.parent_id = ?");
    q.bind(1, space);
    q.bind(2, parentId);
    std::vector<Lock> locks;
    while (q.step())
        locks.push_back(Lock{q.text(0), q.text(1), q.integer(2), q.text(3)});
    return locks;
}

void Store::setLock(const std::string &itemId, const std::string &userId, int64_t now)
{
    db.prepare("INSERT OR REPLACE INTO locks(item_id, user_id, locked_at) VALUES(?, ?, ?)")
        .bind(1, itemId)
        .bind(2, userId)
        .bind(3, now)
        .run();
}

void Store::clearLock(const std::string &itemId)
{
    db.prepare("DELETE FROM locks WHERE item_id = ?").bind(1, itemId).run();
}

void Store::insertGrant(const Grant &g)
{
    Statement q =
        db.prepare("INSERT INTO grants(id, item_id, principal_kind, principal_id, letters, "
                   "app_range, source, expires_at, created_by, created_at, share_id) "
                   "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    q.bind(1, g.id)
        .bind(2, g.itemId)
        .bind(3, g.principalKind)
        .bind(4, g.principalId)
        .bind(5, g.letters)
        .bind(6, g.appRange)
        .bind(7, g.source)
        .bind(9, g.createdBy)
        .bind(10, g.createdAt);
    if (g.expiresAt > 0)
        q.bind(8, g.expiresAt);
    else
        q.bindNull(8);
    if (g.shareId.empty())
        q.bindNull(11);
    else
        q.bind(11, g.shareId);
    q.run();
}

namespace {

Grant readGrant(const Statement &q)
{
    Grant g;
    g.id = q.text(0);
    g.itemId = q.text(1);
    g.principalKind = q.text(2);
    g.principalId = q.text(3);
    g.letters = q.text(4);
    g.appRange = static_cast<int>(q.integer(5));
    g.source = q.text(6);
    g.expiresAt = q.integer(7);
    g.createdBy = q.text(8);
    g.createdAt = q.integer(9);
    g.shareId = q.text(10);
    return g;
}

const char *const grantColumns =
    "SELECT id, item_id, principal_kind, principal_id, letters, app_range, source, "
    "COALESCE(expires_at, 0), created_by, created_at, COALESCE(share_id, '') FROM grants "
    "WHERE (expires_at IS NULL OR expires_at > ?1) AND created_at <= ?1 "
    "AND (revoked_at IS NULL OR revoked_at > ?1) ";

} // namespace

std::vector<Grant> Store::grantsOn(const std::string &itemId, int64_t now)
{
    Statement q = db.prepare((std::string(grantColumns) + "AND item_id = ?2").c_str());
    q.bind(1, now).bind(2, itemId);
    std::vector<Grant> out;
    while (q.step())
        out.push_back(readGrant(q));
    return out;
}

std::vector<Grant> Store::grantsFor(const std::string &userId,
                                    const std::vector<std::string> &groupIds, int64_t at)
{
    // One query per principal keeps each on the principal index; a user is in
    // a handful of groups.
    std::vector<Grant> out;
    auto read = [&](const char *kind, const std::string &id) {
        Statement q =
            db.prepare(std::string(grantColumns) + "AND principal_kind = ?2 AND principal_id = ?3");
        q.bind(1, at).bind(2, kind).bind(3, id);
        while (q.step())
            out.push_back(readGrant(q));
    };
    read("U", userId);
    for (const std::string &group : groupIds)
        read("G", group);
    return out;
}

void Store::deleteGrantsOn(const std::string &itemId)
{
    db.prepare("DELETE FROM grants WHERE item_id = ?").bind(1, itemId).run();
}

void Store::addTombstone(const std::string &itemId, const std::string &space, int64_t now)
{
    db.prepare("INSERT INTO tombstones(item_id, space, removed_at) VALUES(?, ?, ?)")
        .bind(1, itemId)
        .bind(2, space)
        .bind(3, now)
        .run();
}

std::vector<Tombstone> Store::tombstonesSince(const std::string &space, int64_t since)
{
    Statement q = db.prepare(
        "SELECT item_id, MAX(removed_at) FROM tombstones WHERE space = ? AND removed_at >= ? "
        "GROUP BY item_id ORDER BY 2");
    q.bind(1, space).bind(2, since);
    std::vector<Tombstone> out;
    while (q.step())
        out.push_back(Tombstone{q.text(0), q.integer(1)});
    return out;
}

void Store::revokeGrants(const std::string &itemId, const std::string &kind,
                         const std::string &principalId, const std::string &source, int64_t now)
{
    db.prepare("UPDATE grants SET revoked_at = ? WHERE item_id = ? AND principal_kind = ? AND "
               "principal_id = ? AND source = ? AND revoked_at IS NULL")
        .bind(1, now)
        .bind(2, itemId)
        .bind(3, kind)
        .bind(4, principalId)
        .bind(5, source)
        .run();
}

bool Store::groupExists(const std::string &id)
{
    Statement q = db.prepare("SELECT 1 FROM user_groups WHERE id = ?");
    q.bind(1, id);
    return q.step();
}

namespace {

const char *const shareColumns =
    "SELECT s.id, s.kind, s.sender_id, s.letters, s.memo, s.created_at, s.starts_at, "
    "COALESCE(s.expires_at, 0), COALESCE(u.nickname, '') FROM shares s "
    "LEFT JOIN users u ON u.id = s.sender_id ";

Share readShare(const Statement &q)
{
    Share sh;
    sh.id = q.text(0);
    sh.kind = q.text(1);
    sh.senderId = q.text(2);
    sh.letters = q.text(3);
    sh.memo = q.text(4);
    sh.createdAt = q.integer(5);
    sh.startsAt = q.integer(6);
    sh.expiresAt = q.integer(7);
    sh.senderName = q.text(8);
    return sh;
}

} // namespace

void Store::insertShare(const Share &sh)
{
    Statement q = db.prepare("INSERT INTO shares(id, kind, sender_id, letters, memo, created_at, "
                             "starts_at, expires_at) VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    q.bind(1, sh.id)
        .bind(2, sh.kind)
        .bind(3, sh.senderId)
        .bind(4, sh.letters)
        .bind(5, sh.memo)
        .bind(6, sh.createdAt)
        .bind(7, sh.startsAt);
    if (sh.expiresAt > 0)
        q.bind(8, sh.expiresAt);
    else
        q.bindNull(8);
    q.run();
}

void Store::addShareItem(const std::string &shareId, const std::string &itemId, int position)
{
    db.prepare("INSERT OR IGNORE INTO share_items(share_id, item_id, position) VALUES(?, ?, ?)")
        .bind(1, shareId)
        .bind(2, itemId)
        .bind(3, position)
        .run();
}

void Store::addShareRecipient(const std::string &shareId, const std::string &kind,
                              const std::string &principalId, int position)
{
    db.prepare("INSERT OR IGNORE INTO share_recipients(share_id, principal_kind, principal_id, "
               "position) VALUES(?, ?, ?, ?)")
        .bind(1, shareId)
        .bind(2, kind)
        .bind(3, principalId)
        .bind(4, position)
        .run();
}

std::vector<Share> Store::sharesFrom(const std::string &userId, const std::string &kind,
                                     int64_t now)
{
    Statement q = db.prepare(
        (std::string(shareColumns) +
         "WHERE s.sender_id = ?1 AND s.kind = ?2 AND (s.expires_at IS NULL OR s.expires_at > ?3) "
         "AND EXISTS(SELECT 1 FROM share_items si WHERE si.share_id = s.id) "
         "ORDER BY s.created_at DESC, s.id")
            .c_str());
    q.bind(1, userId).bind(2, kind).bind(3, now);
    std::vector<Share> out;
    while (q.step())
        out.push_back(readShare(q));
    return out;
}

std::vector<Share> Store::sharesTo(const std::string &userId, const std::string &kind, int64_t now)
{
    // A group reaches its members and the members of its subgroups: the
    // user's groups are taken with every group above them.
    Statement q = db.prepare(
        (std::string(
             "WITH RECURSIVE up(id) AS (SELECT group_id FROM memberships WHERE user_id = ?1 "
             "UNION SELECT g.parent_id FROM user_groups g JOIN up ON g.id = up.id "
             "WHERE g.parent_id IS NOT NULL) ") +
         shareColumns +
         "WHERE s.kind = ?2 AND s.starts_at <= ?3 AND (s.expires_at IS NULL OR s.expires_at > ?3) "
         "AND EXISTS(SELECT 1 FROM share_items si WHERE si.share_id = s.id) "
         "AND EXISTS(SELECT 1 FROM share_recipients r WHERE r.share_id = s.id AND "
         "((r.principal_kind = 'U' AND r.principal_id = ?1) OR "
         "(r.principal_kind = 'G' AND r.principal_id IN (SELECT id FROM up)))) "
         "ORDER BY s.created_at DESC, s.id")
            .c_str());
    q.bind(1, userId).bind(2, kind).bind(3, now);
    std::vector<Share> out;
    while (q.step())
        out.push_back(readShare(q));
    return out;
}

std::vector<Item> Store::shareItems(const std::string &shareId)
{
    Statement q =
        db.prepare(itemQuery("JOIN share_items si ON si.item_id = i.id WHERE si.share_id = ? "
                             "ORDER BY si.position")
                       .c_str());
    q.bind(1, shareId);
    std::vector<Item> out;
    while (q.step())
        out.push_back(readItem(q));
    return out;
}

std::vector<Recipient> Store::shareRecipients(const std::string &shareId)
{
    Statement q =
        db.prepare("SELECT r.principal_kind, r.principal_id, COALESCE(u.nickname, g.name, '') "
                   "FROM share_recipients r "
                   "LEFT JOIN users u ON r.principal_kind = 'U' AND u.id = r.principal_id "
                   "LEFT JOIN user_groups g ON r.principal_kind = 'G' AND g.id = r.principal_id "
                   "WHERE r.share_id = ? ORDER BY r.position");
    q.bind(1, shareId);
    std::vector<Recipient> out;
    while (q.step())
        out.push_back(Recipient{q.text(0), q.text(1), q.text(2)});
    return out;
}

void Store::insertCategory(const FavCategory &c)
{
    db.prepare("INSERT INTO fav_categories(id, user_id, name, sort) VALUES(?, ?, ?, ?)")
        .bind(1, c.id)
        .bind(2, c.userId)
        .bind(3, c.name)
        .bind(4, c.sort)
        .run();
}

std::vector<FavCategory> Store::categoriesOf(const std::string &userId)
{
    Statement q = db.prepare(
        "SELECT id, user_id, name, sort FROM fav_categories WHERE user_id = ? ORDER BY sort, name");
    q.bind(1, userId);
    std::vector<FavCategory> out;
    while (q.step())
        out.push_back(FavCategory{q.text(0), q.text(1), q.text(2), static_cast<int>(q.integer(3))});
    return out;
}

std::optional<FavCategory> Store::category(const std::string &id)
{
    Statement q = db.prepare("SELECT id, user_id, name, sort FROM fav_categories WHERE id = ?");
    q.bind(1, id);
    if (!q.step())
        return std::nullopt;
    return FavCategory{q.text(0), q.text(1), q.text(2), static_cast<int>(q.integer(3))};
}

bool Store::insertFavourite(const std::string &userId, const std::string &itemId,
                            const std::string &categoryId, int64_t now)
{
    db.prepare("INSERT OR IGNORE INTO favourites(user_id, item_id, category_id, created_at) "
               "VALUES(?, ?, ?, ?)")
        .bind(1, userId)
        .bind(2, itemId)
        .bind(3, categoryId)
        .bind(4, now)
        .run();
    return db.changes() == 1;
}

std::vector<Favourite> Store::favouritesOf(const std::string &userId)
{
    Statement q = db.prepare(
        itemQueryWith("f.category_id, c.name, f.created_at",
                      "JOIN favourites f ON f.item_id = i.id JOIN fav_categories c ON "
                      "c.id = f.category_id WHERE f.user_id = ? ORDER BY f.created_at DESC, i.name")
            .c_str());
    q.bind(1, userId);
    std::vector<Favourite> out;
    while (q.step())
        out.push_back(Favourite{readItem(q), q.text(14), q.text(15), q.integer(16)});
    return out;
}

void Store::insertSubscription(const std::string &userId, const std::string &folderId, int64_t now)
{
    db.prepare(
          "INSERT OR IGNORE INTO subscriptions(user_id, folder_id, created_at) VALUES(?, ?, ?)")
        .bind(1, userId)
        .bind(2, folderId)
        .bind(3, now)
        .run();
}

std::vector<std::string> Store::subscribedFolders(const std::string &userId)
{
    Statement q = db.prepare(
        "SELECT folder_id FROM subscriptions WHERE user_id = ? ORDER BY created_at, folder_id");
    q.bind(1, userId);
    std::vector<std::string> out;
    while (q.step())
        out.push_back(q.text(0));
    return out;
}

void Store::countUse(const std::string &userId, const std::string &itemId, int64_t now)
{
    db.prepare("INSERT INTO file_uses(user_id, item_id, uses, last_used_at) VALUES(?1, ?2, 1, ?3) "
               "ON CONFLICT(user_id, item_id) DO UPDATE SET uses = uses + 1, last_used_at = ?3")
        .bind(1, userId)
        .bind(2, itemId)
        .bind(3, now)
        .run();
}

std::vector<Item> Store::mostUsed(const std::string &userId, int limit)
{
    Statement q = db.prepare(
        itemQuery("JOIN file_uses f ON f.item_id = i.id WHERE f.user_id = ? AND i.kind = 2 "
                  "ORDER BY f.uses DESC, f.last_used_at DESC LIMIT ?")
            .c_str());
    q.bind(1, userId).bind(2, limit);
    std::vector<Item> out;
    while (q.step())
        out.push_back(readItem(q));
    return out;
}

std::vector<Item> Store::latestFiles(const std::string &space, int limit, int offset)
{
    Statement q =
        db.prepare(itemQuery("WHERE i.space = ? AND i.kind = 2 ORDER BY i.modified_at DESC, i.id "
                             "LIMIT ? OFFSET ?")
                       .c_str());
    q.bind(1, space).bind(2, limit).bind(3, offset);
    std::vector<Item> out;
    while (q.step())
        out.push_back(readItem(q));
    return out;
}

std::vector<Item> Store::allFiles(const std::string &space)
{
    Statement q = db.prepare(itemQuery("WHERE i.space = ? AND i.kind = 2").c_str());
    q.bind(1, space);
    std::vector<Item> out;
    while (q.step())
        out.push_back(readItem(q));
    return out;
}

void Store::insertNotice(const Notice &n)
{
    db.prepare("INSERT INTO notices(id, title, content, notice_time) VALUES(?, ?, ?, ?)")
        .bind(1, n.id)
        .bind(2, n.title)
        .bind(3, n.content)
        .bind(4, n.noticeTime)
        .run();
}

std::vector<Notice> Store::notices(int limit)
{
    Statement q = db.prepare("SELECT id, title, content, notice_time FROM notices "
                             "ORDER BY notice_time DESC, id LIMIT ?");
    q.bind(1, limit);
    std::vector<Notice> out;
    while (q.step())
        out.push_back(Notice{q.text(0), q.text(1), q.text(2), q.integer(3)});
    return out;
}

std::optional<Notice> Store::notice(const std::string &id)
{
    Statement q = db.prepare("SELECT id, title, content, notice_time FROM notices WHERE id = ?");
    q.bind(1, id);
    if (!q.step())
        return std::nullopt;
    return Notice{q.text(0), q.text(1), q.text(2), q.integer(3)};
}

void Store::insertLink(const Link &l)
{
    db.prepare("INSERT INTO links(id, code, creator_id, link_type, password_hash, max_visit, "
               "visits, rights, description, created_at, expires_at) "
               "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
        .bind(1, l.id)
        .bind(2, l.code)
        .bind(3, l.creatorId)
        .bind(4, l.type)
        .bind(5, l.passwordHash)
        .bind(6, l.maxVisit)
        .bind(7, l.visits)
        .bind(8, l.rights)
        .bind(9, l.description)
        .bind(10, l.createdAt)
        .bind(11, l.expiresAt)
        .run();
}

void Store::addLinkItem(const std::string &linkId, const std::string &itemId, int position)
{
    db.prepare("INSERT OR IGNORE INTO link_items(link_id, item_id, position) VALUES(?, ?, ?)")
        .bind(1, linkId)
        .bind(2, itemId)
        .bind(3, position)
        .run();
}

std::optional<Link> Store::linkByCode(const std::string &code)
{
    Statement q = db.prepare("SELECT id, code, creator_id, link_type, password_hash, max_visit, "
                             "visits, rights, description, created_at, expires_at FROM links "
                             "WHERE code = ?");
    q.bind(1, code);
    if (!q.step())
        return std::nullopt;
    Link l;
    l.id = q.text(0);
    l.code = q.text(1);
    l.creatorId = q.text(2);
    l.type = static_cast<int>(q.integer(3));
    l.passwordHash = q.text(4);
    l.maxVisit = q.integer(5);
    l.visits = q.integer(6);
    l.rights = q.text(7);
    l.description = q.text(8);
    l.createdAt = q.integer(9);
    l.expiresAt = q.integer(10);
    return l;
}

std::vector<Item> Store::linkItems(const std::string &linkId)
{
    Statement q = db.prepare(
        itemQuery(
            "JOIN link_items li ON li.item_id = i.id WHERE li.link_id = ? ORDER BY li.position")
            .c_str());
    q.bind(1, linkId);
    std::vector<Item> out;
    while (q.step())
        out.push_back(readItem(q));
    return out;
}

bool Store::countVisit(const std::string &linkId)
{
    db.prepare("UPDATE links SET visits = visits + 1 WHERE id = ? AND "
               "(max_visit = 0 OR visits < max_visit)")
        .bind(1, linkId)
        .run();
    return db.changes() == 1;
}

// The index is keyed by rowid (search_rows maps item ids to rowids), so that
// replacing or dropping one document never scans the whole index.
void Store::indexDoc(const SearchDoc &doc)
{
    db.prepare("INSERT OR IGNORE INTO search_rows(item_id) VALUES(?)").bind(1, doc.itemId).run();
    Statement row = db.prepare("SELECT id FROM search_rows WHERE item_id = ?");
    row.bind(1, doc.itemId);
    row.step();
    int64_t id = row.integer(0);
    db.prepare("DELETE FROM search_docs WHERE rowid = ?").bind(1, id).run();
    db.prepare("INSERT INTO search_docs(rowid, name, body) VALUES(?, ?, ?)")
        .bind(1, id)
        .bind(2, doc.name)
        .bind(3, doc.body)
        .run();
}

bool Store::copyDoc(const std::string &sourceId, const std::string &itemId, const std::string &name)
{
    db.prepare("INSERT OR IGNORE INTO search_rows(item_id) VALUES(?)").bind(1, itemId).run();
    db.prepare("INSERT INTO search_docs(rowid, name, body) SELECT "
               "(SELECT id FROM search_rows WHERE item_id = ?1), ?2, body FROM search_docs "
               "WHERE rowid = (SELECT id FROM search_rows WHERE item_id = ?3)")
        .bind(1, itemId)
        .bind(2, name)
        .bind(3, sourceId)
        .run();
    if (db.changes() > 0)
        return true;
    db.prepare("DELETE FROM search_rows WHERE item_id = ?").bind(1, itemId).run();
    return false;
}

void Store::renameDoc(const std::string &itemId, const std::string &name)
{
    db.prepare("UPDATE search_docs SET name = ? WHERE rowid = "
               "(SELECT id FROM search_rows WHERE item_id = ?)")
        .bind(1, name)
        .bind(2, itemId)
        .run();
}

void Store::dropDoc(const std::string &itemId)
{
    db.prepare(
          "DELETE FROM search_docs WHERE rowid = (SELECT id FROM search_rows WHERE item_id = ?)")
        .bind(1, itemId)
        .run();
    db.prepare("DELETE FROM search_rows WHERE item_id = ?").bind(1, itemId).run();
}

std::vector<SearchDoc> Store::matchDocs(const std::string &phrase, int limit)
{
    // The phrase is one quoted FTS5 string: quotes inside are doubled, so no
    // word of the user's text is read as query syntax.
    std::string quoted = "\"";
    for (char c : phrase) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    quoted += '"';
    // Only the first `limit` matches are ranked: ranking every match of a
    // word found in half of the documents would cost more than scanning them.
    Statement q = db.prepare(
        "SELECT r.item_id, d.name, d.body FROM (SELECT rowid, rank FROM search_docs WHERE "
        "search_docs MATCH ?1 LIMIT ?2) m JOIN search_docs d ON d.rowid = m.rowid JOIN "
        "search_rows r ON r.id = m.rowid ORDER BY m.rank");
    q.bind(1, quoted).bind(2, limit);
    std::vector<SearchDoc> out;
    while (q.step())
        out.push_back(SearchDoc{q.text(0), q.text(1), q.text(2)});
    return out;
}

std::vector<SearchDoc> Store::scanDocs(const std::string &word, int limit)
{
    Statement q =
        db.prepare("SELECT r.item_id, d.name, d.body FROM search_docs d JOIN search_rows r "
                   "ON r.id = d.rowid WHERE instr(lower(d.name), lower(?1)) > 0 OR "
                   "instr(lower(d.body), lower(?1)) > 0 LIMIT ?2");
    q.bind(1, word).bind(2, limit);
    std::vector<SearchDoc> out;
    while (q.step())
        out.push_back(SearchDoc{q.text(0), q.text(1), q.text(2)});
    return out;
}

std::string Store::state(const std::string &key)
{
    Statement q = db.prepare("SELECT value FROM server_state WHERE key = ?");
    q.bind(1, key);
    return q.step() ? q.text(0) : std::string();
}

void Store::setState(const std::string &key, const std::string &value)
{
    db.prepare("INSERT OR REPLACE INTO server_state(key, value) VALUES(?, ?)")
        .bind(1, key)
        .bind(2, value)
        .run();
}
