#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// One prepared SQLite statement. Values are always bound, never spliced into
// the SQL text. Bind indexes start at 1, column indexes at 0. A statement
// taken from a connection's cache goes back to it (reset) when it ends.
class Statement
{
public:
    Statement(sqlite3 *db, const char *sql);
    // A cached statement: `inUse` is cleared when this object ends.
    Statement(sqlite3 *db, sqlite3_stmt *cached, bool *inUse);

    Statement &bind(int index, const std::string &value);
    Statement &bind(int index, const char *value);
    Statement &bind(int index, int64_t value);
    Statement &bind(int index, int value) { return bind(index, static_cast<int64_t>(value)); }
    Statement &bindNull(int index);

    // Advances to the next row; false when the statement is done.
    bool step();
    // Runs a statement that returns no rows.
    void run();
    void reset();

    std::string text(int column) const;
    // The column's bytes without a copy, valid until the next step.
    const char *textData(int column, size_t &length) const;
    int64_t integer(int column) const;
    bool isNull(int column) const;

private:
    struct Release
    {
        bool *inUse; // null: a statement of its own, finalized
        void operator()(sqlite3_stmt *stmt) const;
    };
    sqlite3 *db;
    std::unique_ptr<sqlite3_stmt, Release> stmt;
};
