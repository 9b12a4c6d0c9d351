#include "store/statement.h"

#include "store/storeerror.h"

#include <sqlite3.h>

void Statement::Release::operator()(sqlite3_stmt *s) const
{
    if (!inUse) {
        sqlite3_finalize(s);
        return;
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    *inUse = false;
}

Statement::Statement(sqlite3 *db, const char *sql) : db(db), stmt(nullptr, Release{nullptr})
{
    sqlite3_stmt *raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        throw StoreError(std::string("prepare: ") + sqlite3_errmsg(db) + " in " + sql);
    stmt.reset(raw);
}

Statement::Statement(sqlite3 *db, sqlite3_stmt *cached, bool *inUse)
    : db(db), stmt(cached, Release{inUse})
{
}

Statement &Statement::bind(int index, const std::string &value)
{
    if (sqlite3_bind_text(stmt.get(), index, value.data(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT) != SQLITE_OK)
        throw StoreError(std::string("bind: ") + sqlite3_errmsg(db));
    return *this;
}

Statement &Statement::bind(int index, const char *value)
{
    return bind(index, std::string(value));
}

Statement &Statement::bind(int index, int64_t value)
{
    if (sqlite3_bind_int64(stmt.get(), index, value) != SQLITE_OK)
        throw StoreError(std::string("bind: ") + sqlite3_errmsg(db));
    return *this;
}

Statement &Statement::bindNull(int index)
{
    sqlite3_bind_null(stmt.get(), index);
    return *this;
}

bool Statement::step()
{
    int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    if (rc == SQLITE_CONSTRAINT)
        throw ConstraintError(sqlite3_errmsg(db));
    throw StoreError(std::string("step: ") + sqlite3_errmsg(db));
}

void Statement::run()
{
    while (step()) {
    }
}

void Statement::reset()
{
    sqlite3_reset(stmt.get());
    sqlite3_clear_bindings(stmt.get());
}

std::string Statement::text(int column) const
{
    const unsigned char *t = sqlite3_column_text(stmt.get(), column);
    if (!t)
        return std::string();
    return std::string(reinterpret_cast<const char *>(t),
                       static_cast<size_t>(sqlite3_column_bytes(stmt.get(), column)));
}

const char *Statement::textData(int column, size_t &length) const
{
    const unsigned char *t = sqlite3_column_text(stmt.get(), column);
    length = t ? static_cast<size_t>(sqlite3_column_bytes(stmt.get(), column)) : 0;
    return t ? reinterpret_cast<const char *>(t) : "";
}

int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(stmt.get(), column);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(stmt.get(), column) == SQLITE_NULL;
}
