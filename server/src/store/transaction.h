#pragma once

#include <mutex>

class Database;

// Runs the writes of its scope as one SQLite transaction: it rolls back unless
// commit() was called, so an exception never leaves half of a change behind.
// It holds the database's writer lock for its whole life; inside another
// transaction of the same thread it is a savepoint of that one.
class Transaction
{
public:
    explicit Transaction(Database &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void commit();

private:
    Database &db;
    std::lock_guard<std::recursive_mutex> writer;
    bool nested = false;
    bool done = false;
};
