#include "store/transaction.h"

#include "store/database.h"

Transaction::Transaction(Database &db) : db(db), writer(db.mutex())
{
    nested = db.inTransaction();
    db.exec(nested ? "SAVEPOINT nested" : "BEGIN IMMEDIATE");
}

Transaction::~Transaction()
{
    if (!done) {
        try {
            db.exec(nested ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK");
        } catch (...) {
            // A failed rollback leaves SQLite to roll back on close; nothing
            // better can be done in a destructor.
        }
    }
}

void Transaction::commit()
{
    db.exec(nested ? "RELEASE nested" : "COMMIT");
    done = true;
}
