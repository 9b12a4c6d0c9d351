#pragma once

#include "store/statement.h"

#include <memory>
#include <mutex>
#include <string>

// The SQLite connection of the server: WAL, foreign keys, a busy timeout, and
// the schema migrations. One connection is shared by all request threads; the
// callers serialise access with mutex() (held only for metadata work, never
// while a file body streams).
class Database
{
public:
    explicit Database(const std::string &path);

    Statement prepare(const char *sql) { return Statement(db.get(), sql); }
    void exec(const char *sql);
    int64_t changes() const;
    std::recursive_mutex &mutex() { return lock; }
    int schemaVersion();

private:
    void migrate();

    struct Closer {
        void operator()(sqlite3 *db) const;
    };
    std::unique_ptr<sqlite3, Closer> db;
    std::recursive_mutex lock;
};
