#include "store/sessionstore.h"

#include "store/store.h"
#include "store/transaction.h"

namespace {

const Database::Schema &sessionSchema()
{
    static const Database::Schema schema{{R"sql(
CREATE TABLE tokens(
  token_hash TEXT PRIMARY KEY,
  user_id TEXT NOT NULL,
  created_at INTEGER NOT NULL,
  last_used_at INTEGER NOT NULL,
  mac TEXT NOT NULL DEFAULT '',
  ip TEXT NOT NULL DEFAULT '');
CREATE INDEX tokens_last_used ON tokens(last_used_at);
)sql"},
                                         nullptr};
    return schema;
}

} // namespace

SessionStore::SessionStore(const std::string &path, Store &documents) : db(path, sessionSchema())
{
    // Tokens written by a server that kept them with the documents (an older
    // data folder, or an older server run on it since) go on working. They
    // are copied before they are removed there, so a stop in between loses
    // nothing.
    std::vector<Token> old = documents.tokens();
    if (old.empty())
        return;
    {
        Transaction tx(db);
        for (const Token &t : old)
            insertToken(t);
        tx.commit();
    }
    std::lock_guard<std::recursive_mutex> guard(documents.database().mutex());
    documents.clearTokens();
}

void SessionStore::insertToken(const Token &t)
{
    db.prepare(
          "INSERT OR REPLACE INTO tokens(token_hash, user_id, created_at, last_used_at, mac, ip) "
          "VALUES(?, ?, ?, ?, ?, ?)")
        .bind(1, t.hash)
        .bind(2, t.userId)
        .bind(3, t.createdAt)
        .bind(4, t.lastUsedAt)
        .bind(5, t.mac)
        .bind(6, t.ip)
        .run();
}

std::optional<std::pair<std::string, int64_t>> SessionStore::token(const std::string &hash)
{
    Statement q = db.prepare("SELECT user_id, last_used_at FROM tokens WHERE token_hash = ?");
    q.bind(1, hash);
    if (!q.step())
        return std::nullopt;
    return std::make_pair(q.text(0), q.integer(1));
}

void SessionStore::touchToken(const std::string &hash, int64_t now)
{
    db.prepare("UPDATE tokens SET last_used_at = ? WHERE token_hash = ?")
        .bind(1, now)
        .bind(2, hash)
        .run();
}

void SessionStore::deleteToken(const std::string &hash)
{
    db.prepare("DELETE FROM tokens WHERE token_hash = ?").bind(1, hash).run();
}

void SessionStore::deleteTokensIdleSince(int64_t before)
{
    db.prepare("DELETE FROM tokens WHERE last_used_at < ?").bind(1, before).run();
}
