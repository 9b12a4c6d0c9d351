#pragma once

#include "store/statement.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;

// The SQLite database of the server: WAL, foreign keys, a busy timeout, and
// the schema migrations. Every thread gets a connection of its own, opened on
// its first use, so readers never wait for each other or for a writer (WAL
// lets them read the last committed state). Writers are serialised by
// mutex(): a service holds it around a unit of work that writes, so the
// checks it makes before writing still hold when it writes.
class Database
{
public:
    // The steps that bring a file's schema from version i to i + 1 (only ever
    // appended), and indexes that any version may have, made when missing.
    struct Schema
    {
        std::vector<const char *> migrations;
        const char *indexes = nullptr;
    };
    // The documents' database.
    static const Schema &documents();

    explicit Database(const std::string &path, const Schema &schema = documents());
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Prepares on the calling thread's connection; statements are cached per
    // connection and reset when they end.
    Statement prepare(const char *sql);
    Statement prepare(const std::string &sql) { return prepare(sql.c_str()); }
    void exec(const char *sql);
    int64_t changes();
    // True while the calling thread's connection is inside a transaction.
    bool inTransaction();
    std::recursive_mutex &mutex() { return writeLock; }
    int schemaVersion();

private:
    struct Connection;
    Connection &connection();
    Connection &open();
    void migrate(const Schema &schema);

    std::string path;
    uint64_t serial;
    std::mutex connectionsLock;
    std::vector<std::unique_ptr<Connection>> connections;
    std::recursive_mutex writeLock;
};
