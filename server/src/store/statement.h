#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

// One prepared SQLite statement. Values are always bound, never spliced into
// the SQL text. Bind indexes start at 1, column indexes at 0.
class Statement
{
public:
    Statement(sqlite3 *db, const char *sql);

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
    int64_t integer(int column) const;
    bool isNull(int column) const;

private:
    struct Finalizer {
        void operator()(sqlite3_stmt *stmt) const;
    };
    sqlite3 *db;
    std::unique_ptr<sqlite3_stmt, Finalizer> stmt;
};
