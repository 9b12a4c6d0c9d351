#include "store/transaction.h"

#include "store/database.h"

Transaction::Transaction(Database &db) : db(db)
{
    db.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (!done) {
        try {
            db.exec("ROLLBACK");
        } catch (...) {
            // A failed rollback leaves SQLite to roll back on close; nothing
            // better can be done in a destructor.
        }
    }
}

void Transaction::commit()
{
    db.exec("COMMIT");
    done = true;
}
