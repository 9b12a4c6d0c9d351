#include "store/database.h"

#include "store/storeerror.h"
#include "store/transaction.h"

#include <sqlite3.h>

#include <atomic>
#include <iterator>
#include <unordered_map>

namespace {

// Each entry moves the schema from version i to i + 1. New entries are only
// ever appended, so a data folder of any older version is brought up to date.
// (The tokens table is read once at start and emptied: sign-in tokens live in
// a file of their own, see SessionStore.)
const char *const migrations[] = {
    R"sql(
CREATE TABLE users(
  id TEXT PRIMARY KEY,
  account TEXT NOT NULL UNIQUE COLLATE NOCASE,
  nickname TEXT NOT NULL,
  password_hash TEXT NOT NULL,
  is_admin INTEGER NOT NULL DEFAULT 0,
  max_upload_num INTEGER NOT NULL DEFAULT 300,
  avatar BLOB,
  created_at INTEGER NOT NULL);
CREATE TABLE user_groups(
  id TEXT PRIMARY KEY,
  name TEXT NOT NULL,
  parent_id TEXT REFERENCES user_groups(id) ON DELETE CASCADE,
  sort INTEGER NOT NULL DEFAULT 0);
CREATE TABLE memberships(
  user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  group_id TEXT NOT NULL REFERENCES user_groups(id) ON DELETE CASCADE,
  PRIMARY KEY(user_id, group_id));
CREATE TABLE tokens(
  token_hash TEXT PRIMARY KEY,
  user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  created_at INTEGER NOT NULL,
  last_used_at INTEGER NOT NULL,
  mac TEXT NOT NULL DEFAULT '',
  ip TEXT NOT NULL DEFAULT '');
CREATE TABLE items(
  id TEXT PRIMARY KEY,
  space TEXT NOT NULL,
  parent_id TEXT NOT NULL,
  kind INTEGER NOT NULL CHECK(kind IN (1, 2)),
  name TEXT NOT NULL,
  ext TEXT NOT NULL DEFAULT '',
  creator_id TEXT NOT NULL REFERENCES users(id),
  created_at INTEGER NOT NULL,
  modified_at INTEGER NOT NULL,
  current_version INTEGER NOT NULL DEFAULT 0);
CREATE UNIQUE INDEX items_name ON items(space, parent_id, name COLLATE NOCASE);
CREATE INDEX items_parent ON items(parent_id);
CREATE INDEX items_folders ON items(space, kind, modified_at);
CREATE TABLE versions(
  id TEXT PRIMARY KEY,
  item_id TEXT NOT NULL REFERENCES items(id) ON DELETE CASCADE,
  number INTEGER NOT NULL,
  md5 TEXT NOT NULL,
  size INTEGER NOT NULL,
  memo TEXT NOT NULL DEFAULT '',
  creator_id TEXT NOT NULL,
  created_at INTEGER NOT NULL,
  UNIQUE(item_id, number));
CREATE INDEX versions_md5 ON versions(md5);
CREATE TABLE locks(
  item_id TEXT PRIMARY KEY REFERENCES items(id) ON DELETE CASCADE,
  user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  locked_at INTEGER NOT NULL);
CREATE TABLE grants(
  id TEXT PRIMARY KEY,
  item_id TEXT NOT NULL,
  principal_kind TEXT NOT NULL CHECK(principal_kind IN ('U', 'G')),
  principal_id TEXT NOT NULL,
  letters TEXT NOT NULL,
  app_range INTEGER NOT NULL CHECK(app_range BETWEEN 1 AND 7),
  source TEXT NOT NULL DEFAULT 'auth',
  expires_at INTEGER,
  created_by TEXT NOT NULL DEFAULT '',
  created_at INTEGER NOT NULL);
CREATE INDEX grants_item ON grants(item_id);
CREATE TABLE tombstones(
  item_id TEXT NOT NULL,
  space TEXT NOT NULL,
  removed_at INTEGER NOT NULL);
CREATE INDEX tombstones_time ON tombstones(space, removed_at);
)sql",
    // Sharing, publishing, favourites, subscriptions, use counts, notices,
    // external links and the full-text index. Grants gain the time they were
    // replaced, so the rights of any moment can be worked out again, and the
    // share or publication they come from.
    R"sql(
ALTER TABLE grants ADD COLUMN revoked_at INTEGER;
ALTER TABLE grants ADD COLUMN share_id TEXT;
CREATE INDEX grants_share ON grants(share_id);
CREATE TABLE shares(
  id TEXT PRIMARY KEY,
  kind TEXT NOT NULL CHECK(kind IN ('share', 'publish', 'netshare')),
  sender_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  letters TEXT NOT NULL,
  memo TEXT NOT NULL DEFAULT '',
  created_at INTEGER NOT NULL,
  starts_at INTEGER NOT NULL,
  expires_at INTEGER);
CREATE INDEX shares_sender ON shares(sender_id, kind);
CREATE TABLE share_items(
  share_id TEXT NOT NULL REFERENCES shares(id) ON DELETE CASCADE,
  item_id TEXT NOT NULL REFERENCES items(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  PRIMARY KEY(share_id, item_id));
CREATE INDEX share_items_item ON share_items(item_id);
CREATE TABLE share_recipients(
  share_id TEXT NOT NULL REFERENCES shares(id) ON DELETE CASCADE,
  principal_kind TEXT NOT NULL CHECK(principal_kind IN ('U', 'G')),
  principal_id TEXT NOT NULL,
  position INTEGER NOT NULL,
  PRIMARY KEY(share_id, principal_kind, principal_id));
CREATE INDEX share_recipients_principal ON share_recipients(principal_kind, principal_id);
CREATE TABLE fav_categories(
  id TEXT PRIMARY KEY,
  user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  sort INTEGER NOT NULL DEFAULT 0,
  UNIQUE(user_id, name));
CREATE TABLE favourites(
  user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  item_id TEXT NOT NULL REFERENCES items(id) ON DELETE CASCADE,
  category_id TEXT NOT NULL REFERENCES fav_categories(id) ON DELETE CASCADE,
  created_at INTEGER NOT NULL,
  PRIMARY KEY(user_id, item_id));
CREATE INDEX favourites_item ON favourites(item_id);
CREATE INDEX favourites_category ON favourites(category_id);
CREATE TABLE subscriptions(
  user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  folder_id TEXT NOT NULL REFERENCES items(id) ON DELETE CASCADE,
  created_at INTEGER NOT NULL,
  PRIMARY KEY(user_id, folder_id));
CREATE INDEX subscriptions_folder ON subscriptions(folder_id);
CREATE TABLE file_uses(
  user_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  item_id TEXT NOT NULL REFERENCES items(id) ON DELETE CASCADE,
  uses INTEGER NOT NULL,
  last_used_at INTEGER NOT NULL,
  PRIMARY KEY(user_id, item_id));
CREATE INDEX file_uses_item ON file_uses(item_id);
CREATE TABLE notices(
  id TEXT PRIMARY KEY,
  title TEXT NOT NULL,
  content TEXT NOT NULL,
  notice_time INTEGER NOT NULL,
  creator_id TEXT NOT NULL DEFAULT '');
CREATE INDEX notices_time ON notices(notice_time);
CREATE TABLE links(
  id TEXT PRIMARY KEY,
  code TEXT NOT NULL UNIQUE,
  creator_id TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,
  link_type INTEGER NOT NULL CHECK(link_type IN (1, 2)),
  password_hash TEXT NOT NULL DEFAULT '',
  max_visit INTEGER NOT NULL DEFAULT 0,
  visits INTEGER NOT NULL DEFAULT 0,
  rights TEXT NOT NULL,
  description TEXT NOT NULL DEFAULT '',
  created_at INTEGER NOT NULL,
  expires_at INTEGER NOT NULL);
CREATE TABLE link_items(
  link_id TEXT NOT NULL REFERENCES links(id) ON DELETE CASCADE,
  item_id TEXT NOT NULL REFERENCES items(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  PRIMARY KEY(link_id, item_id));
CREATE INDEX link_items_item ON link_items(item_id);
CREATE TABLE search_rows(
  id INTEGER PRIMARY KEY,
  item_id TEXT NOT NULL UNIQUE);
CREATE VIRTUAL TABLE search_docs USING fts5(name, body, tokenize='trigram');
CREATE TABLE server_state(
  key TEXT PRIMARY KEY,
  value TEXT NOT NULL);
)sql",
};

// Indexes that any schema version may have: created when missing at every
// start, so they need no migration of their own.
const char *const indexes = R"sql(
CREATE INDEX IF NOT EXISTS items_children ON items(space, parent_id, kind, name);
CREATE INDEX IF NOT EXISTS grants_principal ON grants(principal_kind, principal_id);
CREATE INDEX IF NOT EXISTS tokens_last_used ON tokens(last_used_at);
)sql";

} // namespace

const Database::Schema &Database::documents()
{
    static const Schema schema{
        std::vector<const char *>(std::begin(migrations), std::end(migrations)), indexes};
    return schema;
}

struct Database::Connection
{
    struct Cached
    {
        sqlite3_stmt *stmt = nullptr;
        bool inUse = false;
    };
    sqlite3 *db = nullptr;
    std::unordered_map<std::string, Cached> statements;

    ~Connection()
    {
        for (auto &entry : statements)
            sqlite3_finalize(entry.second.stmt);
        sqlite3_close_v2(db);
    }
};

namespace {

std::atomic<uint64_t> nextSerial{1};

// This thread's connection to each database, by the database's serial number
// (never reused, so a connection of a closed database is never found again).
thread_local std::unordered_map<uint64_t, void *> threadConnections;

} // namespace

Database::Database(const std::string &path, const Schema &schema) : path(path), serial(nextSerial++)
{
    exec("PRAGMA journal_mode=WAL");
    migrate(schema);
    if (schema.indexes)
        exec(schema.indexes);
}

Database::~Database()
{
    // Connections close with their owner; threads that still hold the serial
    // never use it again.
    threadConnections.erase(serial);
}

Database::Connection &Database::open()
{
    auto c = std::make_unique<Connection>();
    int rc =
        sqlite3_open_v2(path.c_str(), &c->db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        throw StoreError("cannot open " + path + ": " +
                         (c->db ? sqlite3_errmsg(c->db) : "no memory"));
    sqlite3_busy_timeout(c->db, 5000);
    for (const char *pragma : {"PRAGMA foreign_keys=ON", "PRAGMA synchronous=NORMAL"}) {
        char *error = nullptr;
        if (sqlite3_exec(c->db, pragma, nullptr, nullptr, &error) != SQLITE_OK) {
            std::string message = error ? error : "unknown error";
            sqlite3_free(error);
            throw StoreError(message);
        }
    }
    std::lock_guard<std::mutex> guard(connectionsLock);
    connections.push_back(std::move(c));
    return *connections.back();
}

Database::Connection &Database::connection()
{
    auto it = threadConnections.find(serial);
    if (it != threadConnections.end())
        return *static_cast<Connection *>(it->second);
    Connection &c = open();
    threadConnections[serial] = &c;
    return c;
}

Statement Database::prepare(const char *sql)
{
    Connection &c = connection();
    auto &entry = c.statements[sql];
    if (!entry.stmt) {
        if (sqlite3_prepare_v3(c.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &entry.stmt, nullptr) !=
            SQLITE_OK) {
            std::string message = std::string("prepare: ") + sqlite3_errmsg(c.db) + " in " + sql;
            c.statements.erase(sql);
            throw StoreError(message);
        }
    }
    // The same text may be running further up the stack (a query inside a
    // loop over its own kind): that use gets a statement of its own.
    if (entry.inUse)
        return Statement(c.db, sql);
    entry.inUse = true;
    return Statement(c.db, entry.stmt, &entry.inUse);
}

void Database::exec(const char *sql)
{
    sqlite3 *db = connection().db;
    char *error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw StoreError(message);
    }
}

int64_t Database::changes()
{
    return sqlite3_changes(connection().db);
}

bool Database::inTransaction()
{
    return sqlite3_get_autocommit(connection().db) == 0;
}

int Database::schemaVersion()
{
    Statement q = prepare("PRAGMA user_version");
    q.step();
    return static_cast<int>(q.integer(0));
}

void Database::migrate(const Schema &schema)
{
    std::lock_guard<std::recursive_mutex> guard(writeLock);
    const int target = static_cast<int>(schema.migrations.size());
    int version = schemaVersion();
    if (version > target)
        throw StoreError("the data folder was written by a newer server (schema " +
                         std::to_string(version) + ")");
    while (version < target) {
        Transaction tx(*this);
        exec(schema.migrations[version]);
        ++version;
        exec(("PRAGMA user_version=" + std::to_string(version)).c_str());
        tx.commit();
    }
}
