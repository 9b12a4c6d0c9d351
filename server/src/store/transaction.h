#pragma once

class Database;

// Runs the writes of its scope as one SQLite transaction: it rolls back unless
// commit() was called, so an exception never leaves half of a change behind.
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
    bool done = false;
};
